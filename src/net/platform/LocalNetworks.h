#pragma once

#include <QList>
#include <QtGlobal>

// One IPv4 address of this machine and the length of its subnet's prefix
// (24 for a netmask of 255.255.255.0). Addresses are in host byte order.
struct LocalNetwork {
    quint32 address = 0;
    int prefixLength = 32;

    friend bool operator==(const LocalNetwork&, const LocalNetwork&) = default;
};

// The IPv4 addresses of the machine's interfaces that are up, loopback left
// out, each with its netmask's prefix length. Asks the system every time it
// is called; nothing is read at start.
[[nodiscard]] QList<LocalNetwork> localIPv4Networks();
