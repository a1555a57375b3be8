// The settings file: the settings read from any file, saved onto it, read
// back as saved (the self name normalised, a NUL as "?"), and a second
// save writes the same bytes as the first.

#include "FuzzFiles.h"
#include "core/Entry.h"
#include "core/SettingsFile.h"

#include <cstdint>
#include <cstdlib>

namespace {

Settings asSaved(Settings settings) {
    settings.myName = normalizeSelfName(settings.myName);
    for (QString* text : {&settings.myName, &settings.textPopUpMess, &settings.textPopUpCorr,
                          &settings.textBeepMess, &settings.textBeepCorr}) {
        text->replace(QChar(u'\0'), u'?');
    }
    return settings;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    FuzzFiles::initialize(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString path = FuzzFiles::path(u"Vesmar.ini");
    FuzzFiles::write(path,
                     QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    const Settings read = SettingsFile::load(path);
    const Settings saved = asSaved(read);
    SettingsFile::save(path, saved);
    const QByteArray once = FuzzFiles::read(path);
    const Settings readBack = SettingsFile::load(path);
    if (readBack != saved) {
        std::abort();
    }
    SettingsFile::save(path, asSaved(readBack));
    if (FuzzFiles::read(path) != once) {
        std::abort();
    }
    return 0;
}
