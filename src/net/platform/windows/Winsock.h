#pragma once

#include <QString>

// Winsock needs WSAStartup before its first call. Every socket, look-up and
// probe of this folder calls this first; the library stays up until the
// process ends. Gives 0, or the error WSAStartup reported.
[[nodiscard]] int startWinsock();

// The system's words for a Winsock or Win32 error code, in the user's
// language, without the closing full stop and line break.
[[nodiscard]] QString windowsErrorText(int error);
