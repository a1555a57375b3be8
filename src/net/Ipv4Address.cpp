#include "net/Ipv4Address.h"

#include <array>

namespace Ipv4Address {

QString dotted(quint32 address) {
    // Written out by hand: a formatted print costs more than a whole receive.
    std::array<char16_t, 15> text{};
    qsizetype length = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned part = (address >> shift) & 0xFFu;
        if (part >= 100) {
            text[length++] = static_cast<char16_t>(u'0' + part / 100);
        }
        if (part >= 10) {
            text[length++] = static_cast<char16_t>(u'0' + part / 10 % 10);
        }
        text[length++] = static_cast<char16_t>(u'0' + part % 10);
        if (shift > 0) {
            text[length++] = u'.';
        }
    }
    return QString(reinterpret_cast<const QChar*>(text.data()), length);
}

std::optional<quint32> dottedQuad(QStringView text) {
    quint32 address = 0;
    int parts = 0;
    qsizetype at = 0;
    while (parts < 4) {
        if (parts > 0) {
            if (at >= text.size() || text[at] != u'.') {
                return std::nullopt;
            }
            ++at;
        }
        const qsizetype start = at;
        unsigned value = 0;
        while (at < text.size() && at - start < 4 && text[at] >= u'0' && text[at] <= u'9') {
            value = value * 10 + static_cast<unsigned>(text[at].unicode() - u'0');
            ++at;
        }
        const qsizetype digits = at - start;
        if (digits == 0 || digits > 3 || value > 255 || (digits > 1 && text[start] == u'0')) {
            return std::nullopt;
        }
        address = (address << 8) | value;
        ++parts;
    }
    if (at != text.size()) {
        return std::nullopt;
    }
    return address;
}

}  // namespace Ipv4Address
