#include "core/DataFiles.h"

#include "core/DirectoryFile.h"
#include "core/FileErrorTexts.h"
#include "core/SettingsFile.h"
#include "text/Exception.h"

#include <QDir>

using namespace Qt::StringLiterals;

namespace {
const QString kSettingsFileName = u"Vesmar.ini"_s;
const QString kDirectoryFileName = u"ListCorr.dat"_s;
}  // namespace

DataFiles::DataFiles(const QString& dir)
    : settingsPath_(QDir(dir).filePath(kSettingsFileName)),
      directoryPath_(QDir(dir).filePath(kDirectoryFileName)) {}

DataFiles::Loaded DataFiles::load() {
    Loaded loaded;
    try {
        loaded.settings = SettingsFile::load(settingsPath_);
        settingsReadWhole_ = true;
    } catch (const Exception& error) {
        settingsReadWhole_ = false;
        loaded.errors.append(error.message());
    }

    try {
        DirectoryFile::Contents contents = DirectoryFile::read(directoryPath_);
        loaded.directoryLines = std::move(contents.lines);
        directoryReadWhole_ = contents.whole;
    } catch (const Exception& error) {
        directoryReadWhole_ = false;
        loaded.errors.append(error.message());
    }
    return loaded;
}

DataFiles::SaveReport DataFiles::save(const QStringList& directoryLines, Settings settings) {
    SaveReport report;
    if (!directoryReadWhole_) {
        report.notSaved.append(
            u"Список корреспондентов не сохранён: файл %1 не был прочитан полностью при запуске."_s
                .arg(fullFilePath(directoryPath_)));
    } else {
        try {
            DirectoryFile::write(directoryPath_, directoryLines);
        } catch (const Exception& error) {
            report.errors.append(error.message());
        }
    }

    if (!settingsReadWhole_) {
        report.notSaved.append(
            u"Настройки не сохранены: файл %1 не удалось прочитать при запуске."_s.arg(
                fullFilePath(settingsPath_)));
    } else {
        try {
            SettingsFile::save(settingsPath_, settings);
        } catch (const Exception& error) {
            report.errors.append(error.message());
        }
    }
    return report;
}
