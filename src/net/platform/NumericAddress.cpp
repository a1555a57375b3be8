#include "net/platform/NumericAddress.h"

#include <array>

namespace {

bool isDecimalDigit(char c) {
    return c >= '0' && c <= '9';
}

// The value of c as a digit of base, or -1.
int digitValue(char c, int base) {
    int value = -1;
    if (isDecimalDigit(c)) {
        value = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        value = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        value = c - 'A' + 10;
    }
    return value < base ? value : -1;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::optional<quint32> parseInetAddress(const char* text) {
    std::array<quint64, 4> parts{};
    int count = 0;
    const char* p = text;
    for (;;) {
        if (!isDecimalDigit(*p)) {
            return std::nullopt;
        }
        int base = 10;
        if (*p == '0') {
            base = 8;
            if (p[1] == 'x' || p[1] == 'X') {
                base = 16;
                p += 2;
            }
        }
        quint64 value = 0;
        const char* const digits = p;
        for (;;) {
            const int digit = digitValue(*p, 16);
            if (digit < 0 || digit >= base) {
                // An 8 or 9 spoils an octal part; any other character ends it.
                if (base == 8 && digit >= 8 && digit < 10) {
                    return std::nullopt;
                }
                break;
            }
            value = value * static_cast<quint64>(base) + static_cast<quint64>(digit);
            if (value > 0xFFFFFFFFu) {
                return std::nullopt;
            }
            ++p;
        }
        // "0x" alone is no number; a lone "0" is one.
        if (base == 16 && p == digits) {
            return std::nullopt;
        }
        parts[static_cast<size_t>(count++)] = value;
        if (*p != '.') {
            break;
        }
        if (count == 4) {
            return std::nullopt;
        }
        ++p;
    }
    if (*p != '\0' && !isBlank(*p)) {
        return std::nullopt;
    }

    // Every part but the last is one byte; the last fills the rest.
    const int lastBits = 8 * (5 - count);
    const quint64 lastLimit = lastBits >= 32 ? 0xFFFFFFFFu : (quint64{1} << lastBits) - 1;
    quint64 address = 0;
    for (int i = 0; i < count - 1; ++i) {
        if (parts[static_cast<size_t>(i)] > 0xFF) {
            return std::nullopt;
        }
        address |= parts[static_cast<size_t>(i)] << (24 - 8 * i);
    }
    if (parts[static_cast<size_t>(count - 1)] > lastLimit) {
        return std::nullopt;
    }
    address |= parts[static_cast<size_t>(count - 1)];
    return static_cast<quint32>(address);
}
