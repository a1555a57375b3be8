#pragma once

#include <QByteArray>
#include <QString>

#include <span>

// Windows-1251, the one code page of the program: on the wire, in the data
// files, in saved logs. Our own table, because Qt's converter for this code
// page exists only in ICU builds and maps some codes differently.
//
// decode and encode are inverse on bytes 0x01..0xFF (the unassigned code 0x98
// maps to U+0098 and back), so a file or datagram read and written again is
// unchanged byte for byte.
namespace Cp1251 {

// The character for one byte.
[[nodiscard]] QChar toChar(unsigned char byte);

// True when the character has a byte in the code page (U+0000 included).
[[nodiscard]] bool contains(QChar ch);

// The byte for one character; '?' for a character outside the code page.
[[nodiscard]] char toByte(QChar ch);

[[nodiscard]] QString decode(std::span<const char> bytes);
[[nodiscard]] QString decode(const QByteArray& bytes);
[[nodiscard]] QByteArray encode(const QString& text);

// Text that a person typed or pasted: normalised to NFC (a decomposed "й"
// stays one letter), then every character outside the code page, and NUL,
// becomes "?", one "?" per character (a surrogate pair counts once).
[[nodiscard]] QString fromTyped(const QString& text);

}  // namespace Cp1251
