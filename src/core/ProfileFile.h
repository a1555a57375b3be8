#pragma once

#include <QList>
#include <QString>

#include <optional>

// A Windows-style INI file read and written one value at a time, the way the
// Windows private-profile calls do it, so that files written by them and by
// us stay interchangeable:
//
// - section and key names are matched ignoring letter case; the first
//   matching section and, inside it, the first matching key count;
// - a value is read with the blanks (spaces, tabs) around it removed, then
//   one pair of enclosing quotes ("…" or '…') removed, and at most
//   kMaxValueLength characters of it are used;
// - writing a value replaces only the line of that key, or adds the key at
//   the end of its section, or adds the section at the end of the file; every
//   other line (other sections and keys, comments, blank lines, line ends)
//   stays exactly as it was, in its place;
// - the content is Windows-1251; lines may end in CR LF, LF or a lone CR.
//
// Lines before the first section header, lines starting with ';' and lines
// without '=' are kept but hold no key.
//
// The whole file is read when the object is made and written, atomically,
// by close(). Changes that close() did not write are dropped with the object.
class ProfileFile {
  public:
    static constexpr qsizetype kMaxValueLength = 2047;

    // Reads the file. A missing file is an empty profile, not an error.
    // Throws Exception("Cannot open file <full path>") when the file exists but
    // cannot be read: such a file must not be taken for an empty one.
    explicit ProfileFile(QString path);

    [[nodiscard]] const QString& path() const { return path_; }

    // The value of the key, or nullopt when the section or the key is missing.
    // A key that is present with nothing after '=' gives an empty text.
    [[nodiscard]] std::optional<QString> find(const QString& section, const QString& key) const;
    // The value of the key, or defaultValue when it is missing.
    [[nodiscard]] QString value(const QString& section, const QString& key,
                                const QString& defaultValue) const;

    // Sets the key to the value, creating the section and the key as needed.
    // The value is written as it is, except that CR, LF and NUL, which would
    // break the line structure of the file, are written as "?"; a value
    // that reading would change (blanks at its ends, enclosing quotes) is
    // written in quotes, so it reads back as written.
    void setValue(const QString& section, const QString& key, const QString& value);

    // Writes the file if a value changed since it was read: all or nothing,
    // through a temporary file renamed over the old one. Where no temporary
    // file can be made, the old file stays untouched.
    // Throws Exception("Unable to write to <full path>") when that fails.
    void close();

    // The file's content as close() would write it.
    [[nodiscard]] QByteArray content() const;

  private:
    struct Line {
        QString text;
        QString end;  // "\r\n", "\n", "\r", or empty for a last line without one
    };

    // Position of the key's line, and of the section's header and its last
    // key line (or the header when it holds none), in lines_; -1 when missing.
    struct Position {
        qsizetype header = -1;
        qsizetype lastKey = -1;
        qsizetype key = -1;
    };

    [[nodiscard]] Position locate(const QString& section, const QString& key) const;
    void insertLine(qsizetype at, QString text);

    QString path_;
    bool changed_ = false;
    QList<Line> lines_;
};
