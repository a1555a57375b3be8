#include "core/LogFile.h"

#include "core/FileErrorTexts.h"
#include "text/Cp1251.h"
#include "text/Exception.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

// A device or other special file chosen as the target is written in place:
// there is nothing to replace atomically, and renaming over it would destroy it.
bool writeInPlace(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    file.close();
    return written && file.error() == QFileDevice::NoError;
}

// A regular file gets the new content through a temporary file that replaces
// it only when written whole, so a full disk never leaves a cut-off log behind
// and the earlier file stays as it was.
bool replaceWhole(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
    }
    return file.commit();
}

}  // namespace

void saveLogFile(const QString& path, const QString& text) {
    const QByteArray bytes = Cp1251::encode(text);
    const QFileInfo target(path);
    const bool special = target.exists() && !target.isFile() && !target.isDir();
    if (!(special ? writeInPlace(path, bytes) : replaceWhole(path, bytes))) {
        throw Exception(cannotCreateFileText(path));
    }
}
