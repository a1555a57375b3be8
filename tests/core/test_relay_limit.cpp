#include "core/RelayLimit.h"

#include <QTest>

using namespace Qt::StringLiterals;

class RelayLimitTest : public QObject {
    Q_OBJECT
  private slots:
    void windowOpensAtFirstLineAndCountsRefusals();
    void endedWindowsAreForgotten();
    void fullTablesDropTheOldest();
};

namespace {

int admitted(RelayLimit& limit, const QString& from, qint64 nowMs, int tries) {
    int count = 0;
    for (int i = 0; i < tries; ++i) {
        count += limit.admit(from, nowMs) ? 1 : 0;
    }
    return count;
}

}  // namespace

void RelayLimitTest::windowOpensAtFirstLineAndCountsRefusals() {
    RelayLimit limit;  // the program's bounds: 1000 a minute
    const QString rogue = u"10.0.0.66"_s;
    const QString other = u"10.0.0.7"_s;
    QCOMPARE(admitted(limit, rogue, 5'000, RelayLimit::kPerMinute), RelayLimit::kPerMinute);
    QCOMPARE(limit.refused(rogue), 0);
    QVERIFY(!limit.admit(rogue, 5'000));
    QCOMPARE(admitted(limit, rogue, 64'999, 9), 0);  // the window runs to 5 s + 60 s
    QCOMPARE(limit.refused(rogue), 10);
    // Another sender has a budget and a window of its own.
    QCOMPARE(admitted(limit, other, 30'000, RelayLimit::kPerMinute + 1), RelayLimit::kPerMinute);
    QCOMPARE(limit.refused(other), 1);
    QCOMPARE(limit.refused(u"10.0.0.8"_s), 0);

    // 60 s after its first line the rogue's window opens again; the other's
    // does not until 90 s. Refusals stay counted.
    QVERIFY(limit.admit(rogue, 65'000));
    QVERIFY(!limit.admit(other, 65'000));
    QCOMPARE(limit.refused(rogue), 10);
    QCOMPARE(limit.refused(other), 2);
    QCOMPARE(admitted(limit, other, 90'000, 1), 1);
}

void RelayLimitTest::endedWindowsAreForgotten() {
    RelayLimit limit;
    for (int i = 0; i < 100; ++i) {
        QVERIFY(limit.admit(u"10.0.%1.%2"_s.arg(i / 256).arg(i % 256), i));
    }
    QCOMPARE(limit.trackedSenders(), 100);
    QVERIFY(limit.admit(u"10.9.9.9"_s, 60'050));  // the first 51 windows have ended
    QCOMPARE(limit.trackedSenders(), 50);
    QVERIFY(limit.admit(u"10.9.9.9"_s, 200'000));
    QCOMPARE(limit.trackedSenders(), 1);
}

void RelayLimitTest::fullTablesDropTheOldest() {
    // Any number of source addresses: the program's table holds 4096.
    RelayLimit big;
    const QString first = u"192.168.0.1"_s;
    QCOMPARE(admitted(big, first, 0, RelayLimit::kPerMinute + 1), RelayLimit::kPerMinute);
    for (int i = 0; i < 3 * RelayLimit::kMaxSenders; ++i) {
        big.admit(u"172.16.%1.%2"_s.arg(i / 256).arg(i % 256), 1);
        QVERIFY(big.trackedSenders() <= RelayLimit::kMaxSenders);
    }
    QCOMPARE(big.trackedSenders(), RelayLimit::kMaxSenders);
    QVERIFY(big.admit(first, 2));  // its full window was the oldest, dropped

    // Small bounds, to watch the order: one line per window, four senders.
    RelayLimit limit(1, 60'000, 4);
    const auto sender = [](int i) { return u"10.0.0.%1"_s.arg(i); };
    for (int i = 0; i < 4; ++i) {
        QVERIFY(limit.admit(sender(i), 0));
        QVERIFY(!limit.admit(sender(i), 0));
    }
    QVERIFY(!limit.admit(sender(0), 0));  // refused last now: kept longest
    QVERIFY(limit.admit(sender(4), 0));   // drops the window of sender 0
    QVERIFY(!limit.admit(sender(4), 0));  // drops the refusals of sender 1
    QCOMPARE(limit.refusingSenders(), 4);
    QCOMPARE(limit.refused(sender(0)), 2);
    QCOMPARE(limit.refused(sender(1)), 0);
    QCOMPARE(limit.refused(sender(2)), 1);
    QCOMPARE(limit.refused(sender(4)), 1);
    QCOMPARE(limit.trackedSenders(), 4);
    QVERIFY(limit.admit(sender(0), 0));  // a new window: its old one was dropped
}

QTEST_APPLESS_MAIN(RelayLimitTest)
#include "test_relay_limit.moc"
