#include "core/DirectoryFile.h"

#include "core/FileErrorTexts.h"
#include "text/Cp1251.h"
#include "text/Exception.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

DirectoryFile::Contents DirectoryFile::read(const QString& path) {
    Contents contents;
    if (!QFileInfo::exists(path)) {
        return contents;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw Exception(cannotOpenFileText(path));
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        throw Exception(cannotOpenFileText(path));
    }
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0) {
        contents.whole = nul + 1 == bytes.size();
        bytes.truncate(nul);
    }

    qsizetype start = 0;
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char byte = bytes.at(i);
        if (byte != '\r' && byte != '\n') {
            continue;
        }
        contents.lines.append(Cp1251::decode(bytes.sliced(start, i - start)));
        if (byte == '\r' && i + 1 < size && bytes.at(i + 1) == '\n') {
            ++i;
        }
        start = i + 1;
    }
    if (start < size) {
        contents.lines.append(Cp1251::decode(bytes.sliced(start)));
    }
    return contents;
}

void DirectoryFile::write(const QString& path, const QStringList& lines) {
    QByteArray bytes;
    for (const QString& line : lines) {
        // A line stays one line: NUL would end the file early and CR or LF
        // would split it into lines of someone else's choosing.
        QByteArray encoded = Cp1251::encode(line);
        for (char& byte : encoded) {
            if (byte == '\0' || byte == '\r' || byte == '\n') {
                byte = '?';
            }
        }
        bytes += encoded;
        bytes += "\r\n";
    }
    // All or nothing: where no temporary file can be made beside it, the old
    // file is kept as it is and the save reported as failed.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        throw Exception(cannotCreateFileText(path));
    }
}
