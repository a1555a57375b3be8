#include "core/FileErrorTexts.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

QString FullFilePath(const QString& path) {
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

QString CannotOpenFileText(const QString& path) {
    return u"Cannot open file %1"_s.arg(FullFilePath(path));
}

QString CannotCreateFileText(const QString& path) {
    return u"Cannot create file %1"_s.arg(FullFilePath(path));
}

QString UnableToWriteText(const QString& path) {
    return u"Unable to write to %1"_s.arg(FullFilePath(path));
}
