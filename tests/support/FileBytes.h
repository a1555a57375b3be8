#pragma once

#include "text/Exception.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

// Helpers of the file tests: files as raw bytes, and the text of an error.

inline void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

inline QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// The message of the Exception that f throws, or "<nothing thrown>".
template <typename F>
QString errorOf(F f) {
    try {
        f();
    } catch (const Exception& error) {
        return error.message();
    }
    return QStringLiteral("<nothing thrown>");
}
