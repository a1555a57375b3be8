#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

// The file targets' scratch folder: in memory where the system has one, so
// that a million round trips take minutes.
namespace FuzzFiles {

inline std::unique_ptr<QTemporaryDir>& folder() {
    static std::unique_ptr<QTemporaryDir> dir;
    return dir;
}

inline void initialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    const QString base =
        QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    folder() = std::make_unique<QTemporaryDir>(base + QStringLiteral("/vesmar-fuzz-XXXXXX"));
    if (!folder()->isValid()) {
        std::abort();
    }
}

inline QString path(const char16_t* name) {
    return folder()->filePath(QString::fromUtf16(name));
}

inline void write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        std::abort();
    }
}

inline QByteArray read(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::abort();
    }
    return file.readAll();
}

}  // namespace FuzzFiles
