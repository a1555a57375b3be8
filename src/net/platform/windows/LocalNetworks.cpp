#include "net/platform/LocalNetworks.h"

// winsock2.h must come before windows.h, which would bring the old Winsock.
#include <winsock2.h>

#include <windows.h>
#include <ws2tcpip.h>

#include <iphlpapi.h>

#include <vector>

QList<LocalNetwork> localIPv4Networks() {
    QList<LocalNetwork> networks;
    constexpr ULONG kFlags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST |
                             GAA_FLAG_SKIP_DNS_SERVER | GAA_FLAG_SKIP_FRIENDLY_NAME;
    // The list's size is known only by asking; it may grow between two
    // calls, so a few attempts are made.
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        result =
            ::GetAdaptersAddresses(AF_INET, kFlags, nullptr,
                                   reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (result != NO_ERROR) {
        return networks;
    }
    for (auto* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data());
         adapter != nullptr; adapter = adapter->Next) {
        if (adapter->OperStatus != IfOperStatusUp || adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK) {
            continue;
        }
        for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter->FirstUnicastAddress;
             unicast != nullptr; unicast = unicast->Next) {
            const sockaddr* sa = unicast->Address.lpSockaddr;
            if (sa == nullptr || sa->sa_family != AF_INET) {
                continue;
            }
            const quint32 address =
                ntohl(reinterpret_cast<const sockaddr_in*>(sa)->sin_addr.s_addr);
            if ((address >> 24) == 127) {
                continue;
            }
            const int prefix = unicast->OnLinkPrefixLength <= 32
                                   ? static_cast<int>(unicast->OnLinkPrefixLength)
                                   : 32;
            const LocalNetwork network{address, prefix};
            if (!networks.contains(network)) {
                networks.append(network);
            }
        }
    }
    return networks;
}
