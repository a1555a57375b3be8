#include "core/Conference.h"

#include "core/PeerAddress.h"
#include "text/Cp1251.h"

#include <QSet>

// Who is still there: the liveness probes among newer copies and the roster
// watch for the others.

void Conference::tickLiveness() {
    if (handshake_.enabled()) {
        liveness_.tick(clock_(), wallClock_());
    }
}

QStringList Conference::newerMembers() {
    QStringList members = rosterIndex_.addresses();
    members.removeIf([this](const QString& address) { return !handshake_.confirms(address); });
    return members;
}

bool Conference::isNewerMember(const QString& address) {
    return handshake_.confirms(address) && rosterIndex_.isMember(address);
}

void Conference::removeGoneMember(const QString& address) {
    for (const QString& line : rosterIndex_.linesOf(address)) {
        roster_.remove(roster_.indexOf(line));
    }
    rosterIndex_.forget(address);
    watch_.vanished(address, clock_());
}

void Conference::watchRoster() {
    handshake_.look();
    const qint64 now = clock_();
    if (watch_.members() != rosterIndex_.addressCount()) {
        // The roster was changed behind the conference's back: the watch
        // follows it again.
        const QStringList addresses = rosterIndex_.addresses();
        const QSet<QString> current(addresses.begin(), addresses.end());
        for (const QString& address : watch_.memberAddresses()) {
            if (!current.contains(address)) {
                watch_.left(address);
            }
        }
        for (const QString& address : addresses) {
            if (PeerAddress::isRosterAddress(address)) {
                watch_.joined(address, now);
            }
        }
    }
    const RosterWatch::Plan plan =
        watch_.look(now, [this](const QString& address) { return handshake_.confirms(address); });
    for (const QString& address : plan.gone) {
        for (const QString& line : rosterIndex_.linesOf(address)) {
            roster_.remove(roster_.indexOf(line));
        }
        rosterIndex_.forget(address);
    }
    if (!plan.probe.isEmpty() && Protocol::selfNameFits(selfName_)) {
        const QByteArray registration =
            Cp1251::encode(Protocol::controlText(Protocol::kMyNameIs2, selfName_));
        for (const QString& address : plan.probe) {
            if (!PeerAddress::isRosterAddress(address)) {
                continue;
            }
            reachability_.requestSent(address, now);
            sendOrDrop(address, registration);
            handshake_.greet(address);
        }
    }
}
