#include "net/platform/NameService.h"

#include "net/platform/windows/Winsock.h"

// winsock2.h must come before windows.h, which would bring the old Winsock.
#include <winsock2.h>

#include <ws2tcpip.h>

namespace NameService {

std::optional<quint32> lookUpIPv4(const QByteArray& name) {
    if (name.isEmpty() || startWinsock() != 0) {
        return std::nullopt;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(name.constData(), nullptr, &hints, &list) != 0) {
        return std::nullopt;
    }
    std::optional<quint32> address;
    for (const addrinfo* item = list; item != nullptr; item = item->ai_next) {
        if (item->ai_family == AF_INET && item->ai_addr != nullptr) {
            const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(item->ai_addr);
            address = ntohl(ipv4->sin_addr.s_addr);
            break;
        }
    }
    ::freeaddrinfo(list);
    return address;
}

}  // namespace NameService
