#include "net/platform/windows/Winsock.h"

// winsock2.h must come before windows.h, which would bring the old Winsock.
#include <winsock2.h>

#include <windows.h>

int startWinsock() {
    // Once per process; a thread-safe static, so the look-up thread and the
    // GUI thread may race to it.
    static const int result = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data);
    }();
    return result;
}

QString windowsErrorText(int error) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (length == 0 || buffer == nullptr) {
        return QStringLiteral("Error %1").arg(error);
    }
    QString text = QString::fromWCharArray(buffer, static_cast<qsizetype>(length));
    ::LocalFree(buffer);
    text = text.trimmed();
    while (text.endsWith(u'.')) {
        text.chop(1);
    }
    return text;
}
