#include "app/platform/InstanceLock.h"

#include <QCryptographicHash>
#include <QDir>

#include <windows.h>

namespace {

// Windows paths are case-blind: C:\Vesmar and c:\vesmar are one folder.
QString lockName(const QString& directory) {
    const QString canonical = QDir(directory).canonicalPath();
    const QString folder =
        QDir::cleanPath(canonical.isEmpty() ? QDir(directory).absolutePath() : canonical);
    const QByteArray key = QDir::toNativeSeparators(folder).toCaseFolded().toUtf8();
    return QStringLiteral("Vesmar-") +
           QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex());
}

HANDLE handleOf(qintptr handle) {
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

InstanceLock::~InstanceLock() {
    if (handle_ != -1) {
        ::CloseHandle(handleOf(handle_));
    }
}

InstanceLock::Result InstanceLock::acquire(const QString& directory) {
    if (handle_ != -1) {
        return Result::Acquired;
    }
    if (!QDir(directory).exists()) {
        return Result::Unavailable;
    }
    // A named mutex lives while a handle to it is open: the system closes
    // the handles of a process that ends, crashed or not, so nothing is
    // ever left stuck. Its name is the folder's, within this desktop
    // session; only whether the name already existed matters.
    const QString name = lockName(directory);
    const HANDLE mutex =
        ::CreateMutexW(nullptr, FALSE, reinterpret_cast<const wchar_t*>(name.utf16()));
    const DWORD error = ::GetLastError();
    if (mutex == nullptr) {
        return error == ERROR_ACCESS_DENIED ? Result::HeldByAnother : Result::Unavailable;
    }
    if (error == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);
        return Result::HeldByAnother;
    }
    handle_ = reinterpret_cast<qintptr>(mutex);
    return Result::Acquired;
}
