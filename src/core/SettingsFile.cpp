#include "core/SettingsFile.h"

#include "core/FileErrorTexts.h"
#include "core/ProfileFile.h"
#include "text/Exception.h"

using namespace Qt::StringLiterals;

namespace {

const QString kAny = u"ANY"_s;
const QString kStart = u"START"_s;

bool readFlag(const ProfileFile& file, const QString& section, const QString& key,
              bool defaultValue) {
    const std::optional<QString> text = file.find(section, key);
    if (!text) {
        return defaultValue;
    }
    return SettingsFile::parseFlag(*text).value_or(defaultValue);
}

QString flagText(bool value) {
    return value ? u"1"_s : u"0"_s;
}

}  // namespace

std::optional<bool> SettingsFile::parseFlag(const QString& text) {
    QStringView digits(text);
    if (digits.startsWith(u'-') || digits.startsWith(u'+')) {
        digits = digits.sliced(1);
    }
    bool hex = false;
    if (digits.startsWith(u"0x", Qt::CaseInsensitive)) {
        hex = true;
        digits = digits.sliced(2);
    }
    if (digits.isEmpty()) {
        return std::nullopt;
    }
    // Only the digits decide, so a number of any length is read without overflow.
    bool nonZero = false;
    for (const QChar ch : digits) {
        const bool decimal = ch >= u'0' && ch <= u'9';
        const bool hexLetter = (ch >= u'a' && ch <= u'f') || (ch >= u'A' && ch <= u'F');
        if (!decimal && !(hex && hexLetter)) {
            return std::nullopt;
        }
        nonZero = nonZero || ch != u'0';
    }
    return nonZero;
}

Settings SettingsFile::load(const QString& path) {
    const ProfileFile file(path);
    const Settings defaults;
    Settings settings;
    settings.myName = file.value(kAny, u"MyName"_s, defaults.myName);
    settings.yesPopUpMess = readFlag(file, kAny, u"YesPopUp_Mess"_s, defaults.yesPopUpMess);
    settings.textPopUpMess = file.value(kAny, u"TextPopUp_Mess"_s, defaults.textPopUpMess);
    settings.yesPopUpCorr = readFlag(file, kAny, u"YesPopUp_Corr"_s, defaults.yesPopUpCorr);
    settings.textPopUpCorr = file.value(kAny, u"TextPopUp_Corr"_s, defaults.textPopUpCorr);
    settings.yesBeepMess = readFlag(file, kAny, u"YesBeep_Mess"_s, defaults.yesBeepMess);
    settings.textBeepMess = file.value(kAny, u"TextBeep_Mess"_s, defaults.textBeepMess);
    settings.yesBeepCorr = readFlag(file, kAny, u"YesBeep_Corr"_s, defaults.yesBeepCorr);
    settings.textBeepCorr = file.value(kAny, u"TextBeep_Corr"_s, defaults.textBeepCorr);
    settings.minimizeOnStart =
        readFlag(file, kStart, u"MinimizeOnStart"_s, defaults.minimizeOnStart);
    return settings;
}

void SettingsFile::save(const QString& path, const Settings& settings) {
    std::optional<ProfileFile> file;
    try {
        file.emplace(path);
    } catch (const Exception&) {
        throw Exception(unableToWriteText(path));
    }
    file->setValue(kAny, u"MyName"_s, settings.myName);
    file->setValue(kAny, u"YesPopUp_Mess"_s, flagText(settings.yesPopUpMess));
    file->setValue(kAny, u"TextPopUp_Mess"_s, settings.textPopUpMess);
    file->setValue(kAny, u"YesPopUp_Corr"_s, flagText(settings.yesPopUpCorr));
    file->setValue(kAny, u"TextPopUp_Corr"_s, settings.textPopUpCorr);
    file->setValue(kAny, u"YesBeep_Mess"_s, flagText(settings.yesBeepMess));
    file->setValue(kAny, u"TextBeep_Mess"_s, settings.textBeepMess);
    file->setValue(kAny, u"YesBeep_Corr"_s, flagText(settings.yesBeepCorr));
    file->setValue(kAny, u"TextBeep_Corr"_s, settings.textBeepCorr);
    file->setValue(kStart, u"MinimizeOnStart"_s, flagText(settings.minimizeOnStart));
    file->close();
}
