#include "core/LogFile.h"

#include "core/FileErrorTexts.h"
#include "text/Cp1251.h"
#include "text/Exception.h"

#include <QFile>

// A plain file, not a temporary one renamed over it: the person chose this
// path, which may be a file with links or a device, and asked for it to be
// replaced.
void SaveLogFile(const QString& path, const QString& text) {
    const QByteArray bytes = Cp1251::encode(text);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        throw Exception(CannotCreateFileText(path));
    }
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    file.close();
    if (!written || file.error() != QFileDevice::NoError) {
        throw Exception(CannotCreateFileText(path));
    }
}
