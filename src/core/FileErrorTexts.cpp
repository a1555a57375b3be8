#include "core/FileErrorTexts.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

QString fullFilePath(const QString& path) {
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

QString cannotOpenFileText(const QString& path) {
    return u"Cannot open file %1"_s.arg(fullFilePath(path));
}

QString cannotCreateFileText(const QString& path) {
    return u"Cannot create file %1"_s.arg(fullFilePath(path));
}

QString unableToWriteText(const QString& path) {
    return u"Unable to write to %1"_s.arg(fullFilePath(path));
}
