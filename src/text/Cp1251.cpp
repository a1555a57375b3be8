#include "text/Cp1251.h"

#include <array>

namespace Cp1251 {
namespace {

// Characters of the bytes 0x80..0xFF.
constexpr std::array<char16_t, 128> kHighHalf = {
    u'\u0402', u'\u0403', u'\u201A', u'\u0453', u'\u201E', u'\u2026', u'\u2020', u'\u2021',  // 80
    u'\u20AC', u'\u2030', u'\u0409', u'\u2039', u'\u040A', u'\u040C', u'\u040B', u'\u040F',  // 88
    u'\u0452', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',  // 90
    u'\u0098', u'\u2122', u'\u0459', u'\u203A', u'\u045A', u'\u045C', u'\u045B', u'\u045F',  // 98
    u'\u00A0', u'\u040E', u'\u045E', u'\u0408', u'\u00A4', u'\u0490', u'\u00A6', u'\u00A7',  // A0
    u'\u0401', u'\u00A9', u'\u0404', u'\u00AB', u'\u00AC', u'\u00AD', u'\u00AE', u'\u0407',  // A8
    u'\u00B0', u'\u00B1', u'\u0406', u'\u0456', u'\u0491', u'\u00B5', u'\u00B6', u'\u00B7',  // B0
    u'\u0451', u'\u2116', u'\u0454', u'\u00BB', u'\u0458', u'\u0405', u'\u0455', u'\u0457',  // B8
    u'\u0410', u'\u0411', u'\u0412', u'\u0413', u'\u0414', u'\u0415', u'\u0416', u'\u0417',  // C0
    u'\u0418', u'\u0419', u'\u041A', u'\u041B', u'\u041C', u'\u041D', u'\u041E', u'\u041F',  // C8
    u'\u0420', u'\u0421', u'\u0422', u'\u0423', u'\u0424', u'\u0425', u'\u0426', u'\u0427',  // D0
    u'\u0428', u'\u0429', u'\u042A', u'\u042B', u'\u042C', u'\u042D', u'\u042E', u'\u042F',  // D8
    u'\u0430', u'\u0431', u'\u0432', u'\u0433', u'\u0434', u'\u0435', u'\u0436', u'\u0437',  // E0
    u'\u0438', u'\u0439', u'\u043A', u'\u043B', u'\u043C', u'\u043D', u'\u043E', u'\u043F',  // E8
    u'\u0440', u'\u0441', u'\u0442', u'\u0443', u'\u0444', u'\u0445', u'\u0446', u'\u0447',  // F0
    u'\u0448', u'\u0449', u'\u044A', u'\u044B', u'\u044C', u'\u044D', u'\u044E', u'\u044F',  // F8
};

constexpr char kReplacement = '?';

// Byte of a character of the high half, or 0 when it has none.
unsigned char highByteOf(char16_t c) {
    if (c >= u'\u0410' && c <= u'\u044F') {
        return static_cast<unsigned char>(0xC0 + (c - u'\u0410'));
    }
    for (std::size_t i = 0; i < 0x40; ++i) {
        if (kHighHalf[i] == c) {
            return static_cast<unsigned char>(0x80 + i);
        }
    }
    return 0;
}

}  // namespace

QChar toChar(unsigned char byte) {
    return byte < 0x80 ? QChar(char16_t(byte)) : QChar(kHighHalf[byte - 0x80]);
}

bool contains(QChar ch) {
    return ch.unicode() < 0x80 || highByteOf(ch.unicode()) != 0;
}

char toByte(QChar ch) {
    const char16_t c = ch.unicode();
    if (c < 0x80) {
        return static_cast<char>(c);
    }
    const unsigned char byte = highByteOf(c);
    return byte != 0 ? static_cast<char>(byte) : kReplacement;
}

QString decode(std::span<const char> bytes) {
    QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char b : bytes) {
        *out++ = toChar(static_cast<unsigned char>(b));
    }
    return text;
}

QString decode(const QByteArray& bytes) {
    return decode(std::span<const char>(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

QByteArray encode(const QString& text) {
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char* out = bytes.data();
    for (const QChar ch : text) {
        *out++ = toByte(ch);
    }
    return bytes;
}

QString fromTyped(const QString& text) {
    const QString composed = text.normalized(QString::NormalizationForm_C);
    QString result;
    result.reserve(composed.size());
    for (qsizetype i = 0; i < composed.size(); ++i) {
        const QChar ch = composed.at(i);
        if (ch.isHighSurrogate() && i + 1 < composed.size() &&
            composed.at(i + 1).isLowSurrogate()) {
            ++i;
            result.append(QChar(u'?'));
        } else if (ch.isNull() || !contains(ch)) {
            result.append(QChar(u'?'));
        } else {
            result.append(ch);
        }
    }
    return result;
}

}  // namespace Cp1251
