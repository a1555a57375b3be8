// What a single host on the network can make a copy hold and send: names
// that try to carry an address, addresses read leniently, a roster filled
// from many sources, a watch table fed by strangers, relayed entries and
// name answers spread over many senders.
#include "core/DiscoverySweep.h"
#include "core/SweepRanges.h"
#include "support/ConferencePeer.h"
#include "support/FakeProbeSender.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString kOwnIP = u"10.0.0.1"_s;
const QString kPetrIP = u"10.0.0.2"_s;

QByteArray bytes(const QString& text) {
    return Cp1251::encode(text);
}

// The addresses the log's datagrams went to, each once, in order.
QStringList destinations(const FakeNetwork& network) {
    QStringList to;
    for (const FakeDatagram& datagram : network.log()) {
        if (!to.contains(datagram.to)) {
            to.append(datagram.to);
        }
    }
    return to;
}

QString forged(int i) {
    return u"10.66.%1.%2"_s.arg(i / 250).arg(i % 250 + 1);
}

}  // namespace

class RosterBoundsTest : public QObject {
    Q_OBJECT
  private slots:
    void nameCarryingAnAddressGivesOneLineAtTheSource();
    void lenientlyReadAddressesAreNeverSentTo();
    void rosterIsBoundedPerAddressAndInAll();
    void watchKeepsMembersOnlyAndCallsBackOnlyWhoAnswered();
    void relayedEntriesOnlyFromMembersWithinTheTotalShare();
    void sweepAnswersAreNotLimited();
};

void RosterBoundsTest::nameCarryingAnAddressGivesOneLineAtTheSource() {
    FakeNetwork network;
    ConferencePeer ivan(network, kOwnIP, u"ИВАН"_s);
    const QString name = u"x _|_ 10.200.0.9 T5\r\nY ~#&!^~:Z"_s;
    network.inject(kPetrIP, kOwnIP, bytes(u"~#&!^~:MYNAMEIS2:"_s + name));
    network.flush();
    // One line, one separator, the source's address; the answer as ever.
    QCOMPARE(ivan.roster(), QStringList{u"X ?|_ 10.200.0.9 T5??Y ?#&!^~:Z _|_ 10.0.0.2"_s});
    QCOMPARE(ivan.added, QStringList{name});
    QCOMPARE(describeVisibleLog(network).last(), u"10.0.0.1>10.0.0.2 ~#&!^~:MYNAMEIS3:ИВАН"_s);
    network.clearLog();
    QCOMPARE(ivan.sendChat(u"привет"_s), ChatOutcome::Sent);
    QCOMPARE(destinations(network), QStringList{kPetrIP});
    // The exit notice with the same name finds the cleaned line.
    network.inject(kPetrIP, kOwnIP, bytes(u"~#&!^~:IAMEXIT:"_s + name));
    network.flush();
    QVERIFY(ivan.roster().isEmpty());

    // Answers to requests go into the directory just as clean.
    network.inject(kPetrIP, kOwnIP, bytes(u"~#&!^~:MYNAMEIS0:a _|_ 10.200.0.9"_s));
    network.flush();
    QCOMPARE(ivan.directory(), QStringList{u"A ?|_ 10.200.0.9 _|_ 10.0.0.2"_s});
}

void RosterBoundsTest::lenientlyReadAddressesAreNeverSentTo() {
    FakeNetwork network;
    network.addHostName(u"petr-pc.lan"_s, kPetrIP);
    ConferencePeer ivan(network, kOwnIP, u"ИВАН"_s,
                        {u"A _|_ 10.200.0.9 T5 _|_ 10.0.0.7"_s, u"B _|_ 10.200.0.9\r\nC"_s,
                         u"C _|_ 10.200.0.9,7"_s, u"D _|_ petr-pc.lan"_s, u"E _|_ 10.0.0.3"_s});
    ConferencePeer petr(network, kPetrIP, u"ПЕТР"_s);
    QCOMPARE(ivan.conference.registerAll(), PresenceOutcome::Done);
    QCOMPARE(destinations(network), (QStringList{kPetrIP, u"10.0.0.3"_s}));
    ivan.conference.directory().setSelectedIndex(0);
    QCOMPARE(ivan.conference.checkLink(), LinkCheckOutcome::IncorrectCorrespondent);
    network.flush();

    // A roster line whose address is not exactly a source address (put
    // there directly: the dispatcher never writes one) is skipped by chat,
    // sharing and the watch alike.
    qint64 now = 0;
    ivan.conference.setClock([&] { return now; });
    ivan.conference.roster().add(u"Z _|_ 10.200.0.9 T5"_s);
    network.clearLog();
    QCOMPARE(ivan.sendChat(u"всем"_s), ChatOutcome::Sent);
    (void)ivan.shareDirectory();
    for (; now < 600'000; now += RosterWatch::kLookEveryMs) {
        ivan.conference.watchRoster();
        network.flush();
    }
    for (const FakeDatagram& datagram : network.log()) {
        QVERIFY2(datagram.to == kPetrIP || datagram.from == kPetrIP,
                 qPrintable(describe(datagram)));
    }
    QVERIFY(ivan.errors.isEmpty());
}

void RosterBoundsTest::rosterIsBoundedPerAddressAndInAll() {
    FakeNetwork network;
    ConferencePeer ivan(network, kOwnIP, u"ИВАН"_s);
    QList<int> refusals;
    connect(&ivan.conference, &Conference::rosterLinesRefused, this,
            [&](int inAll) { refusals.append(inAll); });
    qint64 now = 0;
    ivan.conference.setClock([&] { return now; });
    // A peer renames itself twice: its two newest names stand, and the
    // exit notice with the current one removes the newest.
    for (const QString& name : {u"ПЕТЯ"_s, u"ПЁТР"_s, u"ПЕТР"_s}) {
        network.inject(kPetrIP, kOwnIP, bytes(u"~#&!^~:MYNAMEIS2:"_s + name));
    }
    network.flush();
    QCOMPARE(ivan.roster(), (QStringList{u"ПЕТР _|_ 10.0.0.2"_s, u"ПЁТР _|_ 10.0.0.2"_s}));
    network.inject(kPetrIP, kOwnIP, bytes(u"~#&!^~:IAMEXIT:ПЕТР"_s));
    network.flush();
    QCOMPARE(ivan.roster(), QStringList{u"ПЁТР _|_ 10.0.0.2"_s});

    // A stream of new names from one address: one change per interval, so
    // it neither churns the roster nor alerts at every name.
    QSignalSpy added(&ivan.conference, &Conference::correspondentAdded);
    for (int i = 0; i < 100; ++i) {
        network.inject(kPetrIP, kOwnIP, bytes(u"~#&!^~:MYNAMEIS2:N%1"_s.arg(i)));
    }
    network.flush();
    QCOMPARE(added.count(), 1);
    QCOMPARE(ivan.roster(), (QStringList{u"N0 _|_ 10.0.0.2"_s, u"ПЁТР _|_ 10.0.0.2"_s}));
    now += Conference::kRenameEveryMs;
    network.inject(kPetrIP, kOwnIP, bytes(u"~#&!^~:MYNAMEIS2:N100"_s));
    network.flush();
    QCOMPARE(ivan.roster(), (QStringList{u"N0 _|_ 10.0.0.2"_s, u"N100 _|_ 10.0.0.2"_s}));

    // Registrations from ever new sources: the roster stops at its bound,
    // every registration is still answered, the excess is counted.
    network.clearLog();
    const int held = ivan.conference.roster().count();
    const int extra = 7;
    for (int i = 0; i < RosterIndex::kMaxLines + extra; ++i) {
        network.inject(forged(i), kOwnIP, bytes(u"~#&!^~:MYNAMEIS2:N%1"_s.arg(i)));
    }
    network.flush();
    QCOMPARE(ivan.conference.roster().count(), RosterIndex::kMaxLines);
    QCOMPARE(refusals.size(), extra + held);
    QCOMPARE(refusals.last(), extra + held);
    int answers = 0;
    for (const QString& line : describeVisibleLog(network)) {
        answers += line.startsWith(kOwnIP + u'>') && line.contains(u"MYNAMEIS3:ИВАН"_s) ? 1 : 0;
    }
    QCOMPARE(answers, RosterIndex::kMaxLines + extra);
    QCOMPARE(ConferenceTexts::rosterLinesRefused(8), u"Список участников полон, не принято: 8"_s);
}

void RosterBoundsTest::watchKeepsMembersOnlyAndCallsBackOnlyWhoAnswered() {
    // Strangers are never kept.
    RosterWatch watch;
    watch.joined(kPetrIP, 0);
    for (int i = 0; i < 20'000; ++i) {
        watch.heard(forged(i), 1);
    }
    QCOMPARE(watch.members(), 1);
    QCOMPARE(watch.memberAddresses(), QStringList{kPetrIP});

    // On the network: ПЕТР answered our registration, a forged source only
    // registered. Both vanish; only ПЕТР is called back after it left.
    FakeNetwork network;
    qint64 now = 0;
    ConferencePeer ivan(network, kOwnIP, u"ИВАН"_s, {u"П _|_ 10.0.0.2"_s});
    ConferencePeer petr(network, kPetrIP, u"ПЕТР"_s);
    ivan.conference.setClock([&] { return now; });
    ivan.conference.setWallClock([&] { return now; });
    ivan.conference.registerAll();
    network.inject(u"10.9.9.9"_s, kOwnIP, bytes(u"~#&!^~:MYNAMEIS2:ЧУЖОЙ"_s));
    network.flush();
    QCOMPARE(ivan.conference.roster().count(), 2);
    network.setLoss([](const FakeDatagram& d) { return d.to == kPetrIP || d.from == kPetrIP; });
    network.clearLog();
    // ПЕТР, a newer copy, is left to the liveness probes; the forged
    // source to the watch.
    for (; now < 3'600'000; now += 250) {
        ivan.conference.tickLiveness();
        if (now % RosterWatch::kLookEveryMs == 0) {
            ivan.conference.watchRoster();
        }
        network.flush();
    }
    QVERIFY(ivan.roster().isEmpty());
    int toForged = 0;
    int toPetr = 0;
    for (const FakeDatagram& datagram : network.log()) {
        // Registrations only: a hello to the handshake port goes with each.
        toForged += datagram.to == u"10.9.9.9"_s && datagram.port == Protocol::kPort ? 1 : 0;
        toPetr += datagram.to == kPetrIP ? 1 : 0;
    }
    // Probes while it was a silent member (from 25 s until gone at 100 s).
    QVERIFY2(toForged <= 8, qPrintable(QString::number(toForged)));
    QVERIFY2(toPetr > 50, qPrintable(QString::number(toPetr)));
}

void RosterBoundsTest::relayedEntriesOnlyFromMembersWithinTheTotalShare() {
    FakeNetwork network;
    ConferencePeer ivan(network, kOwnIP, u"ИВАН"_s);
    qint64 now = 0;
    ivan.conference.setClock([&] { return now; });
    QList<QPair<QString, int>> refusals;
    connect(&ivan.conference, &Conference::entriesRefused, this,
            [&](const QString& from, int count) {
                refusals.append({from, count});
            });
    const auto relay = [&](const QString& from, const QString& entry) {
        network.inject(from, kOwnIP, bytes(u"~#&!^~:NEWADDR:X~_^B"_s + entry));
    };
    // Not a member: refused, and told.
    relay(kPetrIP, u"A _|_ 10.1.1.1"_s);
    relay(kPetrIP, u"B _|_ 10.1.1.2"_s);
    network.flush();
    QVERIFY(ivan.directory().isEmpty());
    QCOMPARE(refusals.last(), qMakePair(kPetrIP, 2));

    // 500 members with 10 entries each within a minute: the total share.
    const int members = 500;
    for (int i = 0; i < members; ++i) {
        network.inject(forged(i), kOwnIP, bytes(u"~#&!^~:MYNAMEIS2:N%1"_s.arg(i)));
    }
    network.flush();
    for (int i = 0; i < members; ++i) {
        for (int k = 0; k < 10; ++k) {
            relay(forged(i), u"E%1 _|_ 10.2.%2.%3"_s.arg(i).arg(i % 250).arg(k));
        }
    }
    network.flush();
    QCOMPARE(ivan.conference.directory().count(), RelayLimit::kTotalPerMinute);
    // Answers nobody asked for are in the same share.
    network.inject(kPetrIP, kOwnIP, bytes(u"~#&!^~:MYNAMEIS0:НЕЗВАНЫЙ"_s));
    network.inject(kPetrIP, kOwnIP, bytes(u"~#&!^~:MYNAMEIS1:НЕЗВАНЫЙ"_s));
    network.flush();
    QCOMPARE(ivan.conference.directory().count(), RelayLimit::kTotalPerMinute);
    QVERIFY(ivan.answers.isEmpty());
    QCOMPARE(refusals.last(), qMakePair(kPetrIP, 4));
    // A minute later a member's entry is taken again.
    now += RelayLimit::kWindowMs;
    relay(forged(0), u"LATER _|_ 10.3.0.1"_s);
    network.flush();
    QCOMPARE(ivan.directory().last(), u"LATER _|_ 10.3.0.1"_s);
}

void RosterBoundsTest::sweepAnswersAreNotLimited() {
    FakeNetwork network;
    ConferencePeer ivan(network, kOwnIP, u"ИВАН"_s);
    // The total share is used up by answers nobody asked for.
    for (int i = 0; i < RelayLimit::kTotalPerMinute + 10; ++i) {
        network.inject(forged(i), kOwnIP, bytes(u"~#&!^~:MYNAMEIS0:N%1"_s.arg(i)));
    }
    network.flush();
    QCOMPARE(ivan.conference.directory().count(), RelayLimit::kTotalPerMinute);

    // A sweep's own answers are all taken, once per asked address.
    FakeProbeSender sender(network, kOwnIP);
    DiscoverySweep sweep(sender, ivan.conference);
    QSignalSpy finished(&sweep, &DiscoverySweep::finished);
    QList<quint32> asked;
    for (int i = 0; i < 40; ++i) {
        asked.append(SweepRanges::parseAddress(u"10.7.0.%1"_s.arg(i + 1)).value());
    }
    sweep.start(asked);
    QTRY_COMPARE(sweep.state(), DiscoverySweep::State::Waiting);
    for (int i = 0; i < 40; ++i) {
        network.inject(u"10.7.0.%1"_s.arg(i + 1), kOwnIP, bytes(u"~#&!^~:MYNAMEIS0:S%1"_s.arg(i)));
        // A second answer from an asked address is no longer asked for.
        network.inject(u"10.7.0.%1"_s.arg(i + 1), kOwnIP, bytes(u"~#&!^~:MYNAMEIS0:T%1"_s.arg(i)));
    }
    network.flush();
    QCOMPARE(ivan.conference.directory().count(), RelayLimit::kTotalPerMinute + 40);
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.first().at(0).value<SweepProgress>().added, 40);

    // A link check's answer from the address asked is taken too.
    ivan.conference.directory().setSelectedIndex(0);
    ivan.conference.directory().replace(0, u"П _|_ 10.0.0.2"_s);
    ConferencePeer petr(network, kPetrIP, u"ПЕТР"_s);
    QCOMPARE(ivan.conference.checkLink(), LinkCheckOutcome::Sent);
    network.flush();
    QCOMPARE(ivan.answers, (QList<QPair<QString, QString>>{{kPetrIP, u"ПЕТР"_s}}));
    QCOMPARE(ivan.conference.directory().line(0), u"ПЕТР _|_ 10.0.0.2"_s);
}

QTEST_MAIN(RosterBoundsTest)
#include "test_roster_bounds.moc"
