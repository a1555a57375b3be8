// The discovery sweep: the ranges it proposes and reads, and the sweep
// itself on the in-process network (answers added once, failed and refused
// sends, cancel). The interface lists are made up here; no real network.
#include "core/DiscoverySweep.h"
#include "core/SweepRanges.h"
#include "support/ConferencePeer.h"
#include "support/FakeProbeSender.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using SweepRanges::Plan;

namespace {

quint32 ip(const QString& text) {
    return SweepRanges::parseAddress(text).value();
}

LocalNetwork net(const QString& address, int prefix) {
    return {ip(address), prefix};
}

QStringList texts(const QList<quint32>& addresses) {
    QStringList result;
    for (const quint32 address : addresses) {
        result.append(SweepRanges::addressText(address));
    }
    return result;
}

QList<quint32> range(const QString& first, int count) {
    QList<quint32> result;
    for (int i = 0; i < count; ++i) {
        result.append(ip(first) + quint32(i));
    }
    return result;
}

}  // namespace

class TestSweep : public QObject {
    Q_OBJECT
  private slots:
    void proposedRanges_data();
    void proposedRanges();
    void planSkipsAndLimits();
    void malformedLines_data();
    void malformedLines();
    void answersAreAddedOnce();
    void refusedAndFailedSends();
    void cancelStopsSendingAtOnce();
};

void TestSweep::proposedRanges_data() {
    QTest::addColumn<QList<LocalNetwork>>("networks");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("a /24 whole") << QList{net(u"10.0.5.7"_s, 24)} << QStringList{u"10.0.5.0/24"_s};
    QTest::newRow("a /22 whole") << QList{net(u"10.0.6.7"_s, 22)} << QStringList{u"10.0.4.0/22"_s};
    QTest::newRow("a /16: 1024 around the own address")
        << QList{net(u"172.16.200.7"_s, 16)} << QStringList{u"172.16.198.7-172.16.202.7"_s};
    QTest::newRow("a /16 near its start slides inside")
        << QList{net(u"172.16.0.3"_s, 16)} << QStringList{u"172.16.0.1-172.16.4.1"_s};
    QTest::newRow("a /8 near its end slides inside")
        << QList{net(u"10.255.255.250"_s, 8)} << QStringList{u"10.255.251.254-10.255.255.254"_s};
    QTest::newRow("a /31 both, a /32 nothing, one subnet once")
        << QList{net(u"10.9.9.0"_s, 31), net(u"10.8.8.8"_s, 32), net(u"192.168.1.5"_s, 24),
                 net(u"192.168.1.6"_s, 24)}
        << QStringList{u"10.9.9.0-10.9.9.1"_s, u"192.168.1.0/24"_s};
}

void TestSweep::proposedRanges() {
    QFETCH(QList<LocalNetwork>, networks);
    QFETCH(QStringList, expected);
    const QStringList proposed = SweepRanges::proposedRanges(networks);
    QCOMPARE(proposed, expected);
    // What is proposed is accepted as it stands, and never more than the
    // nearest 1024 besides the own address.
    const Plan plan = SweepRanges::plan(proposed.join(u'\n'), networks);
    QCOMPARE(plan.status, Plan::Status::Ready);
    QVERIFY(plan.addresses.size() <= SweepRanges::kNearestLimit * qsizetype(proposed.size()));
    for (const LocalNetwork& own : networks) {
        QVERIFY(!plan.addresses.contains(own.address));
    }
}

void TestSweep::planSkipsAndLimits() {
    const QList<LocalNetwork> own{net(u"10.0.5.7"_s, 24), net(u"192.168.0.10"_s, 16)};

    // A subnet without its network, broadcast and own address.
    Plan plan = SweepRanges::plan(u"  10.0.5.0 / 24  "_s, own);
    QCOMPARE(plan.status, Plan::Status::Ready);
    QCOMPARE(plan.addresses.size(), 253);
    QCOMPARE(SweepRanges::addressText(plan.addresses.first()), u"10.0.5.1"_s);
    QCOMPARE(SweepRanges::addressText(plan.addresses.last()), u"10.0.5.254"_s);
    QVERIFY(!plan.addresses.contains(ip(u"10.0.5.7"_s)));

    // Ranges skip the own subnets' network and broadcast addresses, single
    // addresses and overlaps come once, blank lines are ignored, and
    // addresses that are never one host are left out.
    plan = SweepRanges::plan(
        u"10.0.5.253-10.0.6.1\n\n10.0.6.1\n192.168.255.254-192.168.255.255\n"
        u"127.0.0.1\n224.0.0.1\n0.0.0.9\n255.255.255.255\n10.0.5.7"_s,
        own);
    QCOMPARE(plan.status, Plan::Status::Ready);
    QCOMPARE(texts(plan.addresses), (QStringList{u"10.0.5.253"_s, u"10.0.5.254"_s, u"10.0.6.0"_s,
                                                 u"10.0.6.1"_s, u"192.168.255.254"_s}));

    // 4096 addresses are the most; the count is of what the lines cover.
    plan = SweepRanges::plan(u"10.1.0.0/20"_s, own);
    QCOMPARE(plan.status, Plan::Status::Ready);
    QCOMPARE(plan.addresses.size(), 4094);
    plan = SweepRanges::plan(u"10.1.0.0/20\n10.2.0.1"_s, own);
    QCOMPARE(plan.status, Plan::Status::TooMany);
    QCOMPARE(plan.covered, 4097);
    QVERIFY(plan.addresses.isEmpty());
    // The whole address space is refused without being expanded.
    plan = SweepRanges::plan(u"0.0.0.0/0"_s, own);
    QCOMPARE(plan.status, Plan::Status::TooMany);
    QCOMPARE(plan.covered, qint64{1} << 32);
}

void TestSweep::malformedLines_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("bad");
    QTest::newRow("prefix too long") << u"10.0.5.0/24\n10.0.6.0/33"_s << 2 << u"10.0.6.0/33"_s;
    QTest::newRow("three parts") << u"\n10.0.5"_s << 2 << u"10.0.5"_s;
    QTest::newRow("part above 255") << u"10.0.5.256"_s << 1 << u"10.0.5.256"_s;
    QTest::newRow("range backwards") << u"10.0.5.9-10.0.5.1"_s << 1 << u"10.0.5.9-10.0.5.1"_s;
    QTest::newRow("range and prefix")
        << u"10.0.5.1-10.0.5.9/24"_s << 1 << u"10.0.5.1-10.0.5.9/24"_s;
    QTest::newRow("a name") << u"10.0.5.0/24\r\nсервер"_s << 2 << u"сервер"_s;
    QTest::newRow("sign") << u"+10.0.5.1"_s << 1 << u"+10.0.5.1"_s;
    QTest::newRow("five parts") << u"10.0.5.1.2"_s << 1 << u"10.0.5.1.2"_s;
}

void TestSweep::malformedLines() {
    QFETCH(QString, text);
    QFETCH(int, line);
    QFETCH(QString, bad);
    const Plan plan = SweepRanges::plan(text, {});
    QCOMPARE(plan.status, Plan::Status::Malformed);
    QCOMPARE(plan.badLineNumber, line);
    QCOMPARE(plan.badLine, bad);
    QVERIFY(plan.addresses.isEmpty());
}

void TestSweep::answersAreAddedOnce() {
    FakeNetwork network;
    ConferencePeer ivan(network, u"10.0.0.1"_s, u"ИВАН"_s, {u"ПЕТР _|_ 10.0.0.2"_s});
    ConferencePeer petr(network, u"10.0.0.2"_s, u"ПЕТР"_s);
    ConferencePeer maria(network, u"10.0.0.3"_s, u"мария"_s);
    FakeProbeSender sender(network, ivan.address());
    DiscoverySweep sweep(sender, ivan.conference);
    QSignalSpy finished(&sweep, &DiscoverySweep::finished);

    // Nobody holds 10.0.0.4; the requests go out paced: one at the start.
    sweep.start(range(u"10.0.0.2"_s, 3));
    QCOMPARE(sender.sentTo.size(), 1);
    QVERIFY(sweep.isRunning());
    QVERIFY(finished.wait(10000));
    QCOMPARE(sender.sentTo, (QStringList{u"10.0.0.2"_s, u"10.0.0.3"_s, u"10.0.0.4"_s}));
    QCOMPARE(finished.first().at(1).toBool(), false);
    auto progress = finished.first().at(0).value<SweepProgress>();
    QCOMPARE(progress.asked, 3);
    QCOMPARE(progress.answered, 2);
    QCOMPARE(progress.added, 1);
    // The present line is selected instead of being added again.
    QCOMPARE(ivan.directory(), (QStringList{u"ПЕТР _|_ 10.0.0.2"_s, u"МАРИЯ _|_ 10.0.0.3"_s}));

    // A second sweep adds nothing; an answer that comes unasked, outside a
    // sweep, follows the same rule and selects its line.
    sweep.start(range(u"10.0.0.2"_s, 3));
    QVERIFY(finished.wait(10000));
    progress = finished.last().at(0).value<SweepProgress>();
    QCOMPARE(progress.answered, 2);
    QCOMPARE(progress.added, 0);
    network.inject(u"10.0.0.2"_s, ivan.address(), Cp1251::encode(u"~#&!^~:MYNAMEIS0:Петр"_s));
    network.flush();
    QCOMPARE(ivan.directory(), (QStringList{u"ПЕТР _|_ 10.0.0.2"_s, u"МАРИЯ _|_ 10.0.0.3"_s}));
    QCOMPARE(ivan.conference.directory().selectedIndex(), 0);
    QVERIFY(ivan.errors.isEmpty());
}

void TestSweep::refusedAndFailedSends() {
    FakeNetwork network;
    ConferencePeer ivan(network, u"10.0.0.1"_s, u"ИВАН"_s);
    ConferencePeer petr(network, u"10.0.0.3"_s, u"ПЕТР"_s);
    FakeProbeSender sender(network, ivan.address());
    sender.busyCount = 5;                  // a full send queue: tried again later
    sender.failing.insert(u"10.0.0.2"_s);  // no route: counted, the sweep goes on
    DiscoverySweep sweep(sender, ivan.conference);
    QSignalSpy finished(&sweep, &DiscoverySweep::finished);
    sweep.start(range(u"10.0.0.2"_s, 3));
    QVERIFY(finished.wait(10000));
    QCOMPARE(sender.sentTo, (QStringList{u"10.0.0.3"_s, u"10.0.0.4"_s}));
    const auto progress = finished.first().at(0).value<SweepProgress>();
    QCOMPARE(progress.asked, 3);
    QCOMPARE(progress.failed, 1);
    QCOMPARE(progress.answered, 1);
    QCOMPARE(ivan.directory(), QStringList{u"ПЕТР _|_ 10.0.0.3"_s});
}

void TestSweep::cancelStopsSendingAtOnce() {
    FakeNetwork network;
    ConferencePeer ivan(network, u"10.0.0.1"_s, u"ИВАН"_s);
    FakeProbeSender sender(network, ivan.address());
    DiscoverySweep sweep(sender, ivan.conference);
    QSignalSpy finished(&sweep, &DiscoverySweep::finished);
    sweep.start(range(u"10.0.1.1"_s, 1000));
    QTRY_VERIFY_WITH_TIMEOUT(sender.sentTo.size() >= 8, 5000);
    sweep.cancel();
    const qsizetype sent = sender.sentTo.size();
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().at(1).toBool(), true);
    QCOMPARE(finished.first().at(0).value<SweepProgress>().asked, sent);
    QVERIFY(!sweep.isRunning());
    // Nothing more goes out; a late answer is still taken in, but no longer
    // counted.
    network.inject(u"10.0.1.3"_s, ivan.address(), Cp1251::encode(u"~#&!^~:MYNAMEIS0:ПЕТР"_s));
    network.flush();
    QTest::qWait(50);
    QCOMPARE(sender.sentTo.size(), sent);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(sweep.progress().answered, 0);
    QCOMPARE(ivan.directory(), QStringList{u"ПЕТР _|_ 10.0.1.3"_s});
}

QTEST_GUILESS_MAIN(TestSweep)
#include "test_sweep.moc"
