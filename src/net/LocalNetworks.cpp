#include "net/LocalNetworks.h"

#include <QHostAddress>
#include <QNetworkAddressEntry>
#include <QNetworkInterface>

QList<LocalNetwork> localIPv4Networks() {
    QList<LocalNetwork> networks;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& interface : interfaces) {
        const QNetworkInterface::InterfaceFlags flags = interface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) ||
            flags.testFlag(QNetworkInterface::IsLoopBack)) {
            continue;
        }
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            const QHostAddress ip = entry.ip();
            if (ip.protocol() != QAbstractSocket::IPv4Protocol || ip.isLoopback()) {
                continue;
            }
            const int prefix = entry.prefixLength();
            const LocalNetwork network{ip.toIPv4Address(), prefix < 0 || prefix > 32 ? 32 : prefix};
            if (!networks.contains(network)) {
                networks.append(network);
            }
        }
    }
    return networks;
}
