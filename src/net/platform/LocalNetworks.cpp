#include "net/platform/LocalNetworks.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <bit>

QList<LocalNetwork> localIPv4Networks() {
    QList<LocalNetwork> networks;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return networks;
    }
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET ||
            (entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) {
            continue;
        }
        const quint32 address =
            ntohl(reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr);
        if ((address >> 24) == 127) {
            continue;
        }
        int prefix = 32;
        if (entry->ifa_netmask != nullptr && entry->ifa_netmask->sa_family == AF_INET) {
            const quint32 mask =
                ntohl(reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask)->sin_addr.s_addr);
            prefix = std::popcount(mask);
        }
        const LocalNetwork network{address, prefix};
        if (!networks.contains(network)) {
            networks.append(network);
        }
    }
    ::freeifaddrs(list);
    return networks;
}
