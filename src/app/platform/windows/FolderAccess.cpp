#include "app/platform/FolderAccess.h"

#include <QDir>

#include <windows.h>

bool isWritableFolder(const QString& path) {
    // Access control lists make the attribute bits meaningless, and Windows
    // has no call that answers the question for this process: the answer
    // is a file actually created there. The probe is deleted when its handle
    // closes, also when the process dies in between.
    const QString probe = QDir::toNativeSeparators(QDir(path).absoluteFilePath(
        QStringLiteral(".vesmar-write-test-%1").arg(::GetCurrentProcessId())));
    const HANDLE handle = ::CreateFileW(
        reinterpret_cast<const wchar_t*>(probe.utf16()), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    ::CloseHandle(handle);
    return true;
}
