#include "core/RelayLimit.h"

#include <QTest>

using namespace Qt::StringLiterals;

class RelayLimitTest : public QObject {
    Q_OBJECT
  private slots:
    void windowOpensAtFirstLineAndCountsRefusals();
    void endedWindowsAreForgotten();
    void fullTablesRefuseNewSenders();
    void totalBudgetHoldsAcrossSenders();
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

void RelayLimitTest::fullTablesRefuseNewSenders() {
    // Small bounds, to watch the order: one line per window, four senders.
    RelayLimit limit(1, 60'000, 4);
    const auto sender = [](int i) { return u"10.0.0.%1"_s.arg(i); };
    for (int i = 0; i < 4; ++i) {
        QVERIFY(limit.admit(sender(i), 0));
        QVERIFY(!limit.admit(sender(i), 0));
    }
    // A full table refuses a new sender, and so keeps every count: making
    // room would let sender 0 start again at once.
    QVERIFY(!limit.admit(sender(4), 0));
    QVERIFY(!limit.admit(sender(0), 1));
    QCOMPARE(limit.trackedSenders(), 4);
    QCOMPARE(limit.refused(sender(4)), 1);
    // The refusals table (four senders) gives way to the latest refused:
    // sender 4 took the place of sender 0, and sender 0 then that of 1.
    QCOMPARE(limit.refusingSenders(), 4);
    QCOMPARE(limit.refused(sender(0)), 1);
    QCOMPARE(limit.refused(sender(1)), 0);
    QCOMPARE(limit.refused(sender(2)), 1);
    // Once the windows end, new senders are taken again.
    QVERIFY(limit.admit(sender(4), 60'000));
    QVERIFY(limit.admit(sender(0), 60'000));

    // Any number of source addresses: the program's table holds 4096.
    RelayLimit big(RelayLimit::kPerMinute, RelayLimit::kWindowMs, RelayLimit::kMaxSenders,
                   1'000'000);
    for (int i = 0; i < 3 * RelayLimit::kMaxSenders; ++i) {
        big.admit(u"172.16.%1.%2"_s.arg(i / 256).arg(i % 256), 1);
        QVERIFY(big.trackedSenders() <= RelayLimit::kMaxSenders);
    }
    QCOMPARE(big.trackedSenders(), RelayLimit::kMaxSenders);
    QCOMPARE(big.refused(u"172.16.47.255"_s), 1);
}

void RelayLimitTest::totalBudgetHoldsAcrossSenders() {
    // 4,096 senders with 50 lines each, all within a minute: the total
    // share, no more, whoever sends; answers nobody asked for count too.
    RelayLimit limit;
    int admittedInAll = 0;
    for (int i = 0; i < 4096; ++i) {
        admittedInAll += admitted(limit, u"10.20.%1.%2"_s.arg(i / 256).arg(i % 256), i, 50);
    }
    QCOMPARE(admittedInAll, RelayLimit::kTotalPerMinute);
    QVERIFY(!limit.admitAnswer(u"10.30.0.1"_s, 5'000));
    QCOMPARE(limit.refused(u"10.30.0.1"_s), 1);
    QCOMPARE(limit.refused(u"10.20.0.39"_s), 0);  // the 40th sender came in time
    QCOMPARE(limit.refused(u"10.20.0.40"_s), 50);
    // A minute after the first line there is room again.
    QVERIFY(limit.admitAnswer(u"10.30.0.1"_s, 60'000));
    QCOMPARE(admitted(limit, u"10.20.0.41"_s, 60'000, 1), 1);
}

QTEST_APPLESS_MAIN(RelayLimitTest)
#include "test_relay_limit.moc"
