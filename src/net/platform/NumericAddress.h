#pragma once

#include <QtGlobal>

#include <optional>

// A numeric IPv4 address in the classic inet_aton notation, parsed the same
// way on every system: one to four parts separated by dots, each decimal,
// octal (a leading 0) or hexadecimal (a leading 0x or 0X). The last part
// fills the bytes the earlier ones leave (a.b.c takes c as 16 bits, a.b takes
// b as 24 bits, a alone is 32 bits). The text ends at its NUL or at its first
// blank, whatever follows the blank. Gives the address in host byte order,
// or nothing for any other text; 255.255.255.255 is given like any other.
[[nodiscard]] std::optional<quint32> parseInetAddress(const char* text);
