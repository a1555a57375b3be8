#pragma once

#include "core/Settings.h"

#include <QString>

#include <optional>

// The settings file (Vesmar.ini): section "ANY" with MyName, YesPopUp_Mess,
// TextPopUp_Mess, YesPopUp_Corr, TextPopUp_Corr, YesBeep_Mess, TextBeep_Mess,
// YesBeep_Corr, TextBeep_Corr, then section "START" with MinimizeOnStart,
// read and written in that order through ProfileFile, so every other line of
// the file survives a save.
//
// Texts are written as they are; a key present with an empty value reads as
// empty text. Flags are written "1" or "0" and read as an integer, decimal or
// 0x hexadecimal: 0 is false, any other number true, anything else (or a
// missing key) gives the default of Settings.
class SettingsFile {
  public:
    // The values in the file at path; a missing file gives all defaults.
    // Throws Exception("Cannot open file <full path>") when the file exists but
    // cannot be read; the caller must then not save over it.
    [[nodiscard]] static Settings load(const QString& path);

    // Writes every value into the file at path, creating it when missing
    // (section ANY with its nine keys, then START). The file is read again
    // first, so whatever else it holds now is kept. Throws
    // Exception("Unable to write to <full path>") when the file cannot be read
    // or written; the file is then left as it was.
    static void save(const QString& path, const Settings& settings);

    // A flag value as read from the file: an optional sign, then decimal digits
    // or 0x and hexadecimal digits; false for zero, true for any other number
    // however long; nullopt when the text is not such a number.
    [[nodiscard]] static std::optional<bool> parseFlag(const QString& text);
};
