#pragma once

#include "core/Settings.h"

#include <QString>
#include <QStringList>

// The two data files of the program directory, Vesmar.ini and ListCorr.dat,
// as the main window loads them when it is created and saves them when it is
// destroyed. Nothing here throws: every failure becomes a text for the window
// to show, and the remaining steps still run.
//
// A file that was not read whole at load is never written by save: a settings
// file that existed but could not be read, a directory file that existed but
// could not be read or whose text stopped at a NUL with more after it. The
// person's data is not replaced by defaults or by a shortened copy.
//
//     DataFiles files(programDirectory);
//     const DataFiles::Loaded loaded = files.load();   // when the window opens
//     ... show loaded.settings, loaded.directoryLines; report loaded.errors ...
//     const DataFiles::SaveReport report = files.save(lines, settings);   // when it closes
//     ... send the exit notices, then report what the report holds ...
class DataFiles {
  public:
    struct Loaded {
        // The values of the settings file, or the defaults for those it lacks;
        // myName as stored (the conference normalises it).
        Settings settings;
        // The lines of the directory file, unchanged; none when it is missing.
        QStringList directoryLines;
        // Texts to report, in the order the steps met them ("Cannot open file
        // <full path>"); empty when all went well. A missing file is no error.
        QStringList errors;
    };

    // The files in the folder dir (with or without its final separator).
    explicit DataFiles(const QString& dir);

    [[nodiscard]] const QString& settingsPath() const { return settingsPath_; }
    [[nodiscard]] const QString& directoryPath() const { return directoryPath_; }

    // Reads the settings, then the directory file, and remembers which of
    // them were read whole.
    [[nodiscard]] Loaded load();

    // After load(): false when that file must not be saved over.
    [[nodiscard]] bool settingsReadWhole() const { return settingsReadWhole_; }
    [[nodiscard]] bool directoryReadWhole() const { return directoryReadWhole_; }

    // What save() has to tell the person, each list in step order.
    struct SaveReport {
        // "Cannot create file <path>" or "Unable to write to <path>" for a
        // failed write: shown as errors.
        QStringList errors;
        // For a file that load() did not read whole (or when load() never
        // ran), "Список корреспондентов не сохранён: файл <path> не был
        // прочитан полностью при запуске." or "Настройки не сохранены: файл
        // <path> не удалось прочитать при запуске." instead of writing it.
        QStringList notSaved;
    };

    // Writes the directory file from lines, then the settings file from
    // settings, myName as given. Each step runs even when the one before it
    // failed.
    [[nodiscard]] SaveReport save(const QStringList& directoryLines, Settings settings);

  private:
    QString settingsPath_;
    QString directoryPath_;
    bool settingsReadWhole_ = false;
    bool directoryReadWhole_ = false;
};
