// The liveness probes among newer copies on the in-process network: what an
// idle network costs, a vanished copy, a paused one, loss, claims from
// members and strangers, and an older copy in the roster.
#include "support/ConferencePeer.h"

#include "core/DatagramParser.h"
#include "core/Liveness.h"
#include "net/Ipv4Address.h"

#include <QRandomGenerator>
#include <QTest>

#include <deque>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

QString addressOf(int i) {
    return u"10.0.1.%1"_s.arg(i + 1);
}

QString lineOf(int i) {
    return u"К%1 _|_ %2"_s.arg(i + 1).arg(addressOf(i));
}

// The kind of a datagram of the network's log on the handshake port, if it
// is one of the liveness probes'.
std::optional<DatagramParser::NewerKind> kindOf(const FakeDatagram& datagram) {
    if (datagram.port != Protocol::kHandshakePort) {
        return std::nullopt;
    }
    const auto control = DatagramParser::controlText(
        DatagramParser::receivedText(datagram.bytes, static_cast<int>(datagram.bytes.size())));
    return control ? DatagramParser::newerKind(*control) : std::nullopt;
}

bool is(const FakeDatagram& datagram, DatagramParser::NewerKind::Kind kind) {
    const auto newer = kindOf(datagram);
    return newer && newer->kind == kind;
}

// Copies that all hold the whole directory (their own address too) and have
// registered with it, on a clock of the test's. A paused copy gets no ticks
// and reads what came meanwhile only when it continues.
struct Network {
    explicit Network(int count, bool oldCopy = false) {
        QStringList directory;
        for (int i = 0; i < count; ++i) {
            directory.append(lineOf(i));
        }
        if (oldCopy) {
            directory.append(u"СТАРЫЙ _|_ 10.0.9.9"_s);
            old = std::make_unique<FakeEndpoint>(network, u"10.0.9.9"_s);
            old->receiveHandler = [this](const ReceivedDatagram& datagram) {
                const QString text = DatagramParser::receivedText(datagram.bytes, datagram.size);
                if (text.contains(u"MYNAMEIS2:"_s)) {
                    old->send(datagram.fromIP, Cp1251::encode(u"~#&!^~:MYNAMEIS3:СТАРЫЙ"_s));
                }
            };
        }
        for (int i = 0; i < count; ++i) {
            auto peer = std::make_unique<ConferencePeer>(network, addressOf(i), u"К%1"_s.arg(i + 1),
                                                         directory);
            peer->conference.setClock([this] { return now; });
            // Copies on one network share the time of day, not the moment
            // they started.
            peer->conference.setWallClock([this] { return 1'700'000'000'000 + now; });
            peers.push_back(std::move(peer));
        }
        paused.resize(peers.size());
        for (auto& peer : peers) {
            peer->conference.registerAll();
            network.flush();
        }
    }

    // Moves the clock in steps of a quarter second: every running copy
    // ticks, and looks at its roster every ten seconds.
    void run(qint64 ms) {
        for (const qint64 end = now + ms; now < end;) {
            now += 250;
            for (std::size_t i = 0; i < peers.size(); ++i) {
                if (paused[i]) {
                    continue;
                }
                peers[i]->conference.tickLiveness();
                if (now % RosterWatch::kLookEveryMs == 0) {
                    peers[i]->conference.watchRoster();
                }
            }
            network.flush();
        }
    }

    // Stops a copy: what comes to it waits, as in a stopped process's socket.
    void pause(int i) {
        paused[static_cast<std::size_t>(i)] = true;
        ConferencePeer& peer = *peers[static_cast<std::size_t>(i)];
        peer.endpoint.receiveHandler = [this](const ReceivedDatagram& d) { waiting.push_back(d); };
        peer.handshakeEndpoint->receiveHandler = [this](const ReceivedDatagram& d) {
            waitingHandshake.push_back(d);
        };
    }
    void resume(int i) {
        paused[static_cast<std::size_t>(i)] = false;
        ConferencePeer& peer = *peers[static_cast<std::size_t>(i)];
        peer.endpoint.receiveHandler = [&peer](const ReceivedDatagram& d) {
            peer.conference.dispatch(d);
        };
        peer.handshakeEndpoint->receiveHandler = [&peer](const ReceivedDatagram& d) {
            peer.conference.dispatchHandshake(d);
        };
        // The stopped process runs its timer first, then reads its socket.
        peer.conference.tickLiveness();
        for (const ReceivedDatagram& d : std::exchange(waiting, {})) {
            peer.conference.dispatch(d);
        }
        for (const ReceivedDatagram& d : std::exchange(waitingHandshake, {})) {
            peer.conference.dispatchHandshake(d);
        }
        network.flush();
    }

    // How many running copies hold a line of the address.
    int holding(const QString& address) {
        int count = 0;
        for (auto& peer : peers) {
            const QStringList lines = peer->roster();
            count += std::any_of(lines.begin(), lines.end(), [&](const QString& line) {
                return line.endsWith(u" _|_ "_s + address);
            });
        }
        return count;
    }
    [[nodiscard]] bool everyRosterComplete(int count) {
        for (auto& peer : peers) {
            for (int i = 0; i < count; ++i) {
                if (!peer->roster().contains(lineOf(i))) {
                    return false;
                }
            }
        }
        return true;
    }

    FakeNetwork network;
    qint64 now = 0;
    std::unique_ptr<FakeEndpoint> old;
    std::vector<std::unique_ptr<ConferencePeer>> peers;
    std::vector<bool> paused;
    std::vector<ReceivedDatagram> waiting;
    std::vector<ReceivedDatagram> waitingHandshake;
};

// Datagrams sent per copy per minute in the network's log, the largest.
double mostSentPerMinute(const FakeNetwork& network, qint64 ms) {
    QHash<QString, int> sent;
    for (const FakeDatagram& datagram : network.log()) {
        ++sent[datagram.from];
    }
    int most = 0;
    for (const int count : sent) {
        most = std::max(most, count);
    }
    return most * 60'000.0 / static_cast<double>(ms);
}

}  // namespace

class LivenessTest : public QObject {
    Q_OBJECT
  private slots:
    void everyMemberIsPingedOncePerPeriod();
    void idleCostPerCopyDoesNotGrowWithTheNetwork();
    void aVanishedCopyLeavesEveryRosterWithinAMinuteAndRejoins();
    void aPausedCopyIsDroppedByNobody();
    void lossDropsNobody();
    void claimsAndAsksComeOnlyFromMembersAndCostOneProbe();
    void anOlderCopyGetsNothingNewAndIsStillWatched();
};

void LivenessTest::everyMemberIsPingedOncePerPeriod() {
    // Seven copies with the same roster: in every period the targets of all
    // of them are all of them, and in one round each copy pings every other.
    QStringList members;
    for (int i = 0; i < 7; ++i) {
        members.append(addressOf(i));
    }
    for (qint64 period = 1000; period < 1000 + 3 * 6; ++period) {
        QStringList targets;
        for (const QString& self : members) {
            const QString target = Liveness::targetOf(members, self, 0, period);
            QVERIFY(target != self);
            targets.append(target);
        }
        targets.sort();
        QCOMPARE(targets, members);
    }
    QStringList round;
    for (qint64 period = 6 * 200; period < 6 * 201; ++period) {
        round.append(Liveness::targetOf(members, members.first(), 0, period));
    }
    round.sort();
    QCOMPARE(round, members.mid(1));
    // Without its own address in the roster a copy still pings one member.
    QVERIFY(!Liveness::targetOf(members.mid(1), {}, 0x0A000105, 5).isEmpty());
    QVERIFY(Liveness::targetOf({}, {}, 1, 5).isEmpty());
}

void LivenessTest::idleCostPerCopyDoesNotGrowWithTheNetwork() {
    for (const int count : {4, 24}) {
        Network net(count);
        net.run(60'000);
        QVERIFY(net.everyRosterComplete(count));
        for (auto& peer : net.peers) {
            QCOMPARE(peer->conference.liveness().self(), peer->address());
        }
        net.network.clearLog();
        const qint64 window = 10 * 60'000;
        net.run(window);
        // A ping and its answer a period, and nothing on the conference port.
        const double most = mostSentPerMinute(net.network, window);
        QVERIFY2(most <= 2 * 60'000.0 / Liveness::kPeriodMs + 1, qPrintable(QString::number(most)));
        for (const FakeDatagram& datagram : net.network.log()) {
            QCOMPARE(datagram.port, Protocol::kHandshakePort);
            QVERIFY(is(datagram, DatagramParser::NewerKind::Kind::Ping) ||
                    is(datagram, DatagramParser::NewerKind::Kind::Pong));
        }
        QVERIFY(net.everyRosterComplete(count));
    }
}

void LivenessTest::aVanishedCopyLeavesEveryRosterWithinAMinuteAndRejoins() {
    const int count = 16;
    Network net(count);
    net.run(30'000);
    const QString vanished = addressOf(5);
    net.network.setLoss(
        [&](const FakeDatagram& d) { return d.to == vanished || d.from == vanished; });
    net.network.clearLog();
    const qint64 since = net.now;
    while (net.holding(vanished) > 1) {  // its own roster holds it still
        net.run(250);
        QVERIFY2(net.now - since <= 60'000, qPrintable(QString::number(net.holding(vanished))));
    }
    qDebug() << "gone from every roster after" << net.now - since << "ms";
    QVERIFY(net.now - since <= Liveness::kPeriodMs + Liveness::kPeriodSpreadMs +
                                   Liveness::kGoneAfterMs + Liveness::kCheckWithinMs + 1'000);
    // One copy tells the others; each checks with a few pings of its own.
    int notices = 0;
    int pingsToIt = 0;
    for (const FakeDatagram& d : net.network.log()) {
        notices += d.from != vanished && is(d, DatagramParser::NewerKind::Kind::Gone);
        pingsToIt += d.to == vanished && is(d, DatagramParser::NewerKind::Kind::Ping);
    }
    QVERIFY(notices <= count);
    // The prober's pings and asks (twice, at most, for two probers), and
    // each other copy's check.
    const int probe = static_cast<int>(Liveness::kGoneAfterMs / Liveness::kRetryEveryMs + 1) *
                      (1 + Liveness::kHelpers);
    QVERIFY2(pingsToIt <= 2 * probe + 3 * count, qPrintable(QString::number(pingsToIt)));

    // Its cable comes back: the rejoin probes find it.
    net.network.setLoss({});
    const qint64 back = net.now;
    while (net.holding(vanished) < count) {
        net.run(1'000);
        QVERIFY(net.now - back <= 3 * 60'000);
    }
    QVERIFY(net.everyRosterComplete(count));
}

void LivenessTest::aPausedCopyIsDroppedByNobody() {
    const int count = 10;
    Network net(count);
    net.run(30'000);
    for (int round = 0; round < 3; ++round) {
        // A pause of 20 s from any moment of a period.
        net.run(round * 4'000 + 1'000);
        net.network.clearLog();
        net.pause(3);
        net.run(20'000);
        net.resume(3);
        net.run(40'000);
        QVERIFY(net.everyRosterComplete(count));
        for (const FakeDatagram& d : net.network.log()) {
            QVERIFY(!is(d, DatagramParser::NewerKind::Kind::Gone));
        }
    }
}

void LivenessTest::lossDropsNobody() {
    const int count = 8;
    Network net(count);
    net.run(30'000);
    QVERIFY(net.everyRosterComplete(count));
    QRandomGenerator random(27);
    net.network.setLoss([&](const FakeDatagram&) { return random.bounded(100) < 20; });
    net.run(20 * 60'000);
    net.network.setLoss({});
    QVERIFY(net.everyRosterComplete(count));
}

void LivenessTest::claimsAndAsksComeOnlyFromMembersAndCostOneProbe() {
    const int count = 5;
    Network net(count);
    net.run(30'000);
    const QString target = addressOf(2);
    const quint32 key = *Ipv4Address::dottedQuad(target);
    auto pingsTo = [&](const QString& to) {
        int pings = 0;
        for (const FakeDatagram& d : net.network.log()) {
            pings += d.to == to && d.from != to && is(d, DatagramParser::NewerKind::Kind::Ping);
        }
        return pings;
    };
    QSet<QByteArray> injected;
    auto inject = [&](const QString& from, const QString& to, const QString& text) {
        injected.insert(Cp1251::encode(text));
        net.network.inject(from, to, Cp1251::encode(text), Protocol::kHandshakePort);
        net.network.flush();
    };
    // A stranger: neither its claims nor its asks move anybody. A member
    // cannot point a copy at an address outside the roster either.
    net.network.clearLog();
    for (int i = 0; i < count; ++i) {
        inject(u"10.0.7.7"_s, addressOf(i), Protocol::goneText(key));
        inject(u"10.0.7.7"_s, addressOf(i), Protocol::askText(1, key));
        inject(addressOf(0), addressOf(i), Protocol::askText(1, 0x0A000707));
        inject(addressOf(0), addressOf(i), Protocol::goneText(0x0A000707));
    }
    net.run(5'000);
    for (const FakeDatagram& d : net.network.log()) {
        if (!injected.contains(d.bytes)) {  // sent by a copy: the periods' pings, answers
            QVERIFY2(is(d, DatagramParser::NewerKind::Kind::Ping) ||
                         is(d, DatagramParser::NewerKind::Kind::Pong),
                     qPrintable(d.from + u'>' + d.to + u' ' + QString::fromLatin1(d.bytes)));
        }
    }
    QCOMPARE(pingsTo(u"10.0.7.7"_s), 0);
    QVERIFY(pingsTo(target) <= 1);

    // A member claims a live member gone, twice: each other copy pings it
    // once or so, and nobody drops it.
    net.network.clearLog();
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < count; ++i) {
            if (addressOf(i) != target) {
                inject(addressOf(0), addressOf(i), Protocol::goneText(key));
            }
        }
        net.run(5'000);
    }
    QVERIFY(net.everyRosterComplete(count));
    QVERIFY2(pingsTo(target) <= (count - 1) + 2, qPrintable(QString::number(pingsTo(target))));
}

void LivenessTest::anOlderCopyGetsNothingNewAndIsStillWatched() {
    const int count = 4;
    Network net(count, true);
    net.run(60'000);
    QVERIFY(net.holding(u"10.0.9.9"_s) == count);
    net.network.clearLog();
    net.run(5 * 60'000);
    int registrations = 0;
    for (const FakeDatagram& d : net.network.log()) {
        if (d.to == u"10.0.9.9"_s) {
            QVERIFY(!kindOf(d).has_value() || is(d, DatagramParser::NewerKind::Kind::Hello));
            registrations += d.port == Protocol::kPort;
        }
    }
    // Silent, it is probed with registrations as before, and stays.
    QVERIFY(registrations >= count);
    QCOMPARE(net.holding(u"10.0.9.9"_s), count);
    // It vanishes: the old watch removes it.
    net.old.reset();
    net.run(130'000);
    QCOMPARE(net.holding(u"10.0.9.9"_s), 0);
}

QTEST_GUILESS_MAIN(LivenessTest)
#include "test_liveness.moc"
