#pragma once

#include <QString>
#include <QStringList>

// The folder of the two data files (Vesmar.ini, ListCorr.dat) and of the
// single-instance lock.
//
// A portable copy, whose executable sits in a folder it may write, keeps its
// files there. An installed copy (the folder cannot be written, or it is the
// folder the program was installed to) keeps them in the per-user
// configuration folder, ~/.config/Vesmar/ (%APPDATA%\Vesmar\ on Windows).
// A data file missing there is first copied in from the executable's folder
// or from the package's shared data folder, so an administrator can hand out
// a starting directory and settings; those copies are read, never written.
struct DataFolderPlaces {
    QString programDirectory;  // the executable's folder, ending in "/"
    bool programDirectoryWritable = false;
    bool installed = false;       // the executable is in the installed program folder
    QString userDirectory;        // the per-user folder, ending in "/"; empty when unknown
    QStringList seedDirectories;  // where starting files may lie, first match wins
};

// The places of the running program. Needs the application object.
[[nodiscard]] DataFolderPlaces dataFolderPlaces(const QString& programDirectory);

struct DataFolder {
    QString path;  // ending in "/"
    bool perUser = false;
    QStringList copied;  // the starting files copied in, full paths
    QStringList errors;  // what could not be prepared, for standard error
};

// Chooses the folder; the per-user one is created when it is missing, so it
// can be locked.
[[nodiscard]] DataFolder chooseDataFolder(const DataFolderPlaces& places);

// For the per-user folder: copies in each data file it lacks from the first
// seed directory that holds one. Run once the folder is locked, so a copy
// that is refused never touches the files of the one that runs.
void copyStartingFiles(DataFolder& folder, const DataFolderPlaces& places);
