#include "app/platform/FolderAccess.h"

#include <QFile>

#include <unistd.h>

bool isWritableFolder(const QString& path) {
    return ::access(QFile::encodeName(path).constData(), W_OK | X_OK) == 0;
}
