#pragma once

#include <QString>
#include <QStringList>

// The directory file (ListCorr.dat): one directory line per text line, in
// Windows-1251, no header. Lines are kept exactly as they are: empty lines and
// lines that are not entries included.
class DirectoryFile {
  public:
    struct Contents {
        QStringList lines;
        // False when a NUL byte ended the text with more of the file after it:
        // the lines are then only a part of the file, which must not be saved
        // over.
        bool whole = true;
    };

    // Reads the file at path. A line ends at CR LF, at a lone CR or at a lone
    // LF; a last line without a line end still counts, a line end at the very
    // end adds no empty line; a NUL byte ends the text. A missing file gives no
    // lines. Throws Exception("Cannot open file <full path>") when the file
    // exists but cannot be read.
    [[nodiscard]] static Contents read(const QString& path);

    // Writes every line followed by CR LF; no lines give an empty file. The
    // file is replaced all or nothing, through a temporary file renamed over
    // it (in place only when the folder allows no new file but the file itself
    // is writable). A NUL inside a line is written as "?", so that the file
    // reads back whole. Throws Exception("Cannot create file <full path>")
    // when the file cannot be written whole; success is never reported then.
    static void write(const QString& path, const QStringList& lines);
};
