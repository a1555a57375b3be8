#include "core/PeerAddress.h"

#include "net/Ipv4Address.h"

namespace PeerAddress {

bool isRosterAddress(QStringView address) {
    return Ipv4Address::dottedQuad(address).has_value();
}

bool isDirectoryAddress(QStringView address) {
    if (address.isEmpty()) {
        return false;
    }
    for (const QChar c : address) {
        const char16_t u = c.unicode();
        const bool allowed = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') ||
                             (u >= u'0' && u <= u'9') || u == u'-' || u == u'.';
        if (!allowed) {
            return false;
        }
    }
    return true;
}

}  // namespace PeerAddress
