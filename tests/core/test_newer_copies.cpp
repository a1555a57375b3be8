// Newer copies among older ones on the in-process network: receipts and
// resends between copies that confirm, exactly what an older copy always got
// for one that does not, the roster watch and what reachability tells.
#include "support/ConferencePeer.h"

#include "core/DatagramParser.h"

#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString kIvanIP = u"10.0.0.1"_s;
const QString kPetrIP = u"10.0.0.2"_s;
const QString kOldIP = u"10.0.0.9"_s;

// An older copy as its dispatcher behaves: a control datagram without a
// keyword is dropped; registrations are answered; a chat text is shown up to
// the first NUL. It records what it shows and what it acts on.
struct OldCopy {
    OldCopy(FakeNetwork& network, const QString& address, const QString& name)
        : endpoint(network, address) {
        endpoint.receiveHandler = [this, name](const ReceivedDatagram& datagram) {
            const QString text = DatagramParser::receivedText(datagram.bytes, datagram.size);
            const std::optional<QString> control = DatagramParser::controlText(text);
            if (!control) {
                shown.append(text);
                return;
            }
            for (const auto& match : DatagramParser::matchKeywords(*control)) {
                actedOn.append(match.keyword);
                if (match.keyword == DatagramParser::Keyword::MyNameIs2) {
                    endpoint.send(datagram.fromIP, Cp1251::encode(u"~#&!^~:MYNAMEIS3:"_s + name));
                }
            }
        };
    }
    FakeEndpoint endpoint;
    QStringList shown;
    QList<DatagramParser::Keyword> actedOn;
};

// Two newer copies and an older one, every one in ИВАН's directory; ИВАН
// has registered, so every roster holds the others. The clock is the test's.
struct Mixed {
    Mixed()
        : ivan(network, kIvanIP, u"ИВАН"_s, {u"Петя _|_ 10.0.0.2"_s, u"Старый _|_ 10.0.0.9"_s}),
          petr(network, kPetrIP, u"ПЕТР"_s),
          old(network, kOldIP, u"СТАРЫЙ"_s) {
        for (ConferencePeer* peer : {&ivan, &petr}) {
            peer->conference.setClock([this] { return now; });
        }
        ivan.conference.registerAll();
        network.flush();
    }
    // Moves the clock in steps of a quarter second, resending what is due.
    void run(qint64 ms) {
        for (const qint64 end = now + ms; now < end;) {
            now += 250;
            ivan.conference.receipts().resendDue();
            petr.conference.receipts().resendDue();
            network.flush();
        }
    }
    FakeNetwork network;
    qint64 now = 0;
    ConferencePeer ivan;
    ConferencePeer petr;
    OldCopy old;
};

// Each datagram lost with the given chance, the same draw for every run.
FakeNetwork::LossRule lossOf(int percent, quint32 seed) {
    auto random = std::make_shared<QRandomGenerator>(seed);
    return [random, percent](const FakeDatagram&) { return random->bounded(100) < percent; };
}

}  // namespace

class NewerCopiesTest : public QObject {
    Q_OBJECT
  private slots:
    void newerDatagramsAreParsedStrictly_data();
    void newerDatagramsAreParsedStrictly();
    void noNewerDatagramReadsAsAKeyword();
    void registrationTellsWhoConfirms();
    void olderCopyGetsExactlyWhatItAlwaysGot();
    void everyLineShownOnceDespiteLoss();
    void sameTextTwiceOnPurposeArrivesTwice();
    void unconfirmedLineIsReportedOnceItsTriesEnd();
    void olderCopyAnsweringWithoutHelloStopsConfirming();
    void vanishedMemberLeavesTheRosterAndRejoins();
    void probesStayBoundedForLargeRosters();
    void reachabilityTellsLastAnswerAndRoundTrip();
};

void NewerCopiesTest::newerDatagramsAreParsedStrictly_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("hasId");
    QTest::addColumn<bool>("isNewer");

    QTest::newRow("tagged chat") << QByteArray("A: hi\0VSID:00ABCDEF", 19) << true << false;
    QTest::newRow("lower-case id") << QByteArray("A: hi\0VSID:00abcdef", 19) << false << false;
    QTest::newRow("short id") << QByteArray("A: hi\0VSID:ABCDEF", 17) << false << false;
    QTest::newRow("junk after id") << QByteArray("A: hi\0VSID:00ABCDEF!", 20) << false << false;
    QTest::newRow("other tail") << QByteArray("A: hi\0XX", 8) << false << false;
    QTest::newRow("hello") << QByteArray("~#&!^~: VSHELLO:1 ") << false << true;
    QTest::newRow("receipt") << QByteArray("~#&!^~:VSACK:0000002A") << false << true;
    QTest::newRow("receipt, bad id") << QByteArray("~#&!^~:VSACK:2A") << false << false;
    QTest::newRow("hello with more") << QByteArray("~#&!^~:VSHELLO:1x") << false << false;
}

void NewerCopiesTest::newerDatagramsAreParsedStrictly() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, hasId);
    QFETCH(bool, isNewer);
    const int size = static_cast<int>(bytes.size());
    QCOMPARE(DatagramParser::lineId(bytes, size).has_value(), hasId);
    const auto control = DatagramParser::controlText(DatagramParser::receivedText(bytes, size));
    QCOMPARE(control && DatagramParser::newerKind(*control).has_value(), isNewer);
    // Whatever an older copy makes of it: never a keyword.
    if (control) {
        QVERIFY(DatagramParser::matchKeywords(*control).isEmpty());
    }
}

void NewerCopiesTest::noNewerDatagramReadsAsAKeyword() {
    // Every text that a newer copy sends and an older one may see, with ids
    // all over their range: the older dispatcher finds no keyword in it.
    QRandomGenerator random(1);
    QStringList texts{Protocol::controlText(Protocol::kHello)};
    for (quint32 id : {0u, 0xFFFFFFFFu, 0xABCDEF01u}) {
        texts.append(Protocol::receiptText(id));
    }
    for (int i = 0; i < 10'000; ++i) {
        texts.append(Protocol::receiptText(random.generate()));
    }
    for (const QString& text : texts) {
        const auto control = DatagramParser::controlText(text);
        QVERIFY(control);
        QVERIFY2(DatagramParser::matchKeywords(*control).isEmpty(), qPrintable(text));
        QVERIFY(DatagramParser::newerKind(*control));
    }
}

void NewerCopiesTest::registrationTellsWhoConfirms() {
    Mixed m;
    QVERIFY(m.ivan.conference.receipts().confirms(kPetrIP));
    QVERIFY(m.petr.conference.receipts().confirms(kIvanIP));
    QVERIFY(!m.ivan.conference.receipts().confirms(kOldIP));
    // ИВАН's registration goes bare, as to any address not known to confirm;
    // ПЕТР's answer comes after a hello, and ИВАН tells it back once.
    QCOMPARE(describeLog(m.network).mid(0, 6),
             (QStringList{u"10.0.0.1>10.0.0.2 ~#&!^~:MYNAMEIS2:ИВАН"_s,
                          u"10.0.0.1>10.0.0.9 ~#&!^~:MYNAMEIS2:ИВАН"_s,
                          u"10.0.0.2>10.0.0.1 ~#&!^~:VSHELLO:1"_s,
                          u"10.0.0.2>10.0.0.1 ~#&!^~:MYNAMEIS3:ПЕТР"_s,
                          u"10.0.0.9>10.0.0.1 ~#&!^~:MYNAMEIS3:СТАРЫЙ"_s,
                          u"10.0.0.1>10.0.0.2 ~#&!^~:VSHELLO:1"_s}));
    // From now on a registration to ПЕТР goes with a hello, and the
    // exchange has settled.
    m.network.clearLog();
    m.ivan.conference.registerAll();
    m.network.flush();
    QCOMPARE(describeLog(m.network), (QStringList{u"10.0.0.1>10.0.0.2 ~#&!^~:VSHELLO:1"_s,
                                                  u"10.0.0.1>10.0.0.2 ~#&!^~:MYNAMEIS2:ИВАН"_s,
                                                  u"10.0.0.1>10.0.0.9 ~#&!^~:MYNAMEIS2:ИВАН"_s,
                                                  u"10.0.0.2>10.0.0.1 ~#&!^~:VSHELLO:1"_s,
                                                  u"10.0.0.2>10.0.0.1 ~#&!^~:MYNAMEIS3:ПЕТР"_s,
                                                  u"10.0.0.9>10.0.0.1 ~#&!^~:MYNAMEIS3:СТАРЫЙ"_s}));
}

void NewerCopiesTest::olderCopyGetsExactlyWhatItAlwaysGot() {
    Mixed m;
    m.network.setLoss(lossOf(20, 7));
    for (int i = 0; i < 30; ++i) {
        QCOMPARE(m.ivan.sendChat(u"строка %1"_s.arg(i)), ChatOutcome::Sent);
    }
    m.run(20'000);  // probes go out meanwhile
    m.ivan.conference.watchRoster();
    m.run(70'000);
    m.ivan.conference.watchRoster();
    m.network.flush();
    (void)m.ivan.conference.sendExitNotices();
    m.network.flush();

    // Every datagram to the older copy: a chat line exactly as an older
    // copy sends it, once, or one of the datagrams it always got.
    int chatLines = 0;
    for (const FakeDatagram& d : m.network.log()) {
        if (d.to != kOldIP) {
            continue;
        }
        QVERIFY2(!d.bytes.contains('\0'), qPrintable(describe(d)));
        const QString text = Cp1251::decode(d.bytes);
        if (const auto control = DatagramParser::controlText(text)) {
            // It never answered a registration of ours with a hello, so
            // nothing new ever went to it.
            QVERIFY2(!DatagramParser::newerKind(*control), qPrintable(text));
            for (const auto& match : DatagramParser::matchKeywords(*control)) {
                QVERIFY2(match.keyword == DatagramParser::Keyword::MyNameIs2 ||
                             match.keyword == DatagramParser::Keyword::IAmExit,
                         qPrintable(text));
            }
        } else {
            QCOMPARE(text, u"ИВАН: строка %1"_s.arg(chatLines++));
        }
    }
    QCOMPARE(chatLines, 30);
    // And every newer datagram anyone sent is invisible to an older copy.
    for (const FakeDatagram& d : m.network.log()) {
        const QString text =
            DatagramParser::receivedText(d.bytes, static_cast<int>(d.bytes.size()));
        const auto control = DatagramParser::controlText(text);
        if (control && DatagramParser::newerKind(*control)) {
            QVERIFY2(DatagramParser::matchKeywords(*control).isEmpty(), qPrintable(text));
        }
    }
    QCOMPARE(m.ivan.conference.receipts().notDeliveredInAll(), 0);
}

void NewerCopiesTest::everyLineShownOnceDespiteLoss() {
    Mixed m;
    m.network.setLoss(lossOf(20, 42));
    QStringList undelivered;
    connect(&m.ivan.conference.receipts(), &Receipts::notDelivered, this,
            [&](const QStringList& names) { undelivered += names; });
    QStringList expected;
    for (int i = 0; i < 200; ++i) {
        const QString text = u"строка %1"_s.arg(i);
        m.ivan.sendChat(text);
        expected.append(u"ИВАН: "_s + text);
        m.run(250);
    }
    m.run(70'000);
    QVERIFY(m.network.lost() > 100);
    QStringList shown = m.petr.log;
    shown.sort();
    expected.sort();
    QCOMPARE(shown, expected);
    QVERIFY2(undelivered.size() <= 1, qPrintable(undelivered.join(u", "_s)));
    QCOMPARE(m.ivan.conference.receipts().trackedLines(), 0);
}

void NewerCopiesTest::sameTextTwiceOnPurposeArrivesTwice() {
    Mixed m;
    m.ivan.sendChat(u"да"_s);
    m.ivan.sendChat(u"да"_s);
    m.run(10'000);
    QCOMPARE(m.petr.log, QStringList({u"ИВАН: да"_s, u"ИВАН: да"_s}));
    // Private lines carry their marker before the NUL, as ever.
    m.ivan.choice = 1;
    m.ivan.conference.roster().setSelectedIndex(
        m.ivan.conference.roster().indexOf(u"ПЕТР _|_ 10.0.0.2"_s));
    m.ivan.sendChat(u"тихо"_s);
    m.run(1'000);
    QCOMPARE(m.petr.log.last(), u"*>ИВАН: тихо"_s);
}

void NewerCopiesTest::unconfirmedLineIsReportedOnceItsTriesEnd() {
    Mixed m;
    QList<QStringList> reports;
    connect(&m.ivan.conference.receipts(), &Receipts::notDelivered, this,
            [&](const QStringList& names) { reports.append(names); });
    m.network.setLoss([](const FakeDatagram& d) { return d.to == kPetrIP; });
    m.network.clearLog();
    m.ivan.sendChat(u"алло"_s);
    m.run(62'000);
    QVERIFY(reports.isEmpty());
    m.run(2'000);
    QCOMPARE(reports, QList<QStringList>({{u"ПЕТР"_s}}));
    int sendsToPetr = 0;
    for (const FakeDatagram& d : m.network.log()) {
        sendsToPetr += d.to == kPetrIP && d.bytes.contains('\0');
    }
    QCOMPARE(sendsToPetr, Receipts::kSends);
    QCOMPARE(m.ivan.conference.receipts().notDeliveredInAll(), 1);
}

void NewerCopiesTest::olderCopyAnsweringWithoutHelloStopsConfirming() {
    Mixed m;
    Receipts& receipts = m.ivan.conference.receipts();
    // One lost hello does not cost the receipts; answers without one, again
    // and again, mean an older copy answers there now. (The hello ПЕТР told
    // back at the start is long past: it counts for no answer.)
    m.now += 5'000;
    receipts.presenceReceived(kPetrIP, false);
    QVERIFY(receipts.confirms(kPetrIP));
    receipts.presenceReceived(kPetrIP, false);
    receipts.presenceReceived(kPetrIP, false);
    QVERIFY(!receipts.confirms(kPetrIP));
    receipts.helloReceived(kPetrIP);
    receipts.presenceReceived(kPetrIP, false);
    QVERIFY(receipts.confirms(kPetrIP));
    // An older copy starting at that address registers without a hello.
    receipts.presenceReceived(kPetrIP, true);
    QVERIFY(!receipts.confirms(kPetrIP));

    // Hellos from ever new (forged) addresses: the table stays bounded, and
    // an address beyond it is treated as an older copy, never told back.
    int toldBack = 0;
    for (int i = 0; i < Receipts::kRememberedConfirming + 100; ++i) {
        toldBack += receipts.helloReceived(u"10.7.%1.%2"_s.arg(i / 250).arg(i % 250)) ? 1 : 0;
    }
    QVERIFY(toldBack <= Receipts::kRememberedConfirming);
    QVERIFY(!receipts.confirms(u"10.7.16.99"_s));
}

void NewerCopiesTest::vanishedMemberLeavesTheRosterAndRejoins() {
    Mixed m;
    const QString petrLine = u"ПЕТР _|_ 10.0.0.2"_s;
    const QString oldLine = u"СТАРЫЙ _|_ 10.0.0.9"_s;
    QVERIFY(m.ivan.roster().contains(petrLine));
    QVERIFY(m.ivan.roster().contains(oldLine));
    auto look = [&](qint64 ms) {
        for (const qint64 end = m.now + ms; m.now < end;) {
            m.run(RosterWatch::kLookEveryMs);
            m.ivan.conference.watchRoster();
            m.petr.conference.watchRoster();
            m.network.flush();
        }
    };
    // Silent but answering: both stay, and nobody is alerted again.
    m.petr.added.clear();
    look(300'000);
    QVERIFY(m.ivan.roster().contains(petrLine));
    QVERIFY(m.ivan.roster().contains(oldLine));
    QVERIFY(m.petr.added.isEmpty());

    // ПЕТР vanishes without an exit notice: gone within 110 s.
    m.network.setLoss([](const FakeDatagram& d) { return d.to == kPetrIP || d.from == kPetrIP; });
    const qint64 vanished = m.now;
    while (m.ivan.roster().contains(petrLine)) {
        look(RosterWatch::kLookEveryMs);
        QVERIFY(m.now - vanished <= 110'000 + RosterWatch::kLookEveryMs);
    }
    QVERIFY(m.ivan.roster().contains(oldLine));

    // The cable comes back: the probes to the address that left find it
    // within a minute, and both rosters hold each other again.
    m.network.setLoss({});
    const qint64 back = m.now;
    while (!m.ivan.roster().contains(petrLine)) {
        look(RosterWatch::kLookEveryMs);
        QVERIFY(m.now - back <= RosterWatch::kRejoinProbeEveryMs + RosterWatch::kLookEveryMs);
    }
    QVERIFY(m.petr.roster().contains(u"ИВАН _|_ 10.0.0.1"_s));
}

void NewerCopiesTest::probesStayBoundedForLargeRosters() {
    RosterWatch watch;
    const int members = 1000;
    for (int i = 0; i < members; ++i) {
        watch.joined(u"10.1.%1.%2"_s.arg(i / 250).arg(i % 250 + 1), 0);
    }
    // Nobody answers: count the probes of every look until all are gone.
    const qint64 perLook = (RosterWatch::kProbesPerLook * members +
                            RosterWatch::kFullScaleMembers * RosterWatch::kMaxStretch - 1) /
                           (RosterWatch::kFullScaleMembers * RosterWatch::kMaxStretch);
    int probes = 0;
    int gone = 0;
    qint64 now = 0;
    for (; watch.members() > 0; now += RosterWatch::kLookEveryMs) {
        const RosterWatch::Plan plan = watch.look(now);
        QVERIFY(plan.probe.size() <= perLook);
        probes += static_cast<int>(plan.probe.size());
        gone += static_cast<int>(plan.gone.size());
    }
    // 1,000 members: the stretch stops at three times the full-scale
    // silence, so a vanished copy still leaves within about five minutes.
    QCOMPARE(gone, members);
    QCOMPARE(now, RosterWatch::kGoneAfterMs * RosterWatch::kMaxStretch + RosterWatch::kLookEveryMs);
    QVERIFY(probes * 60'000 / now <= 6 * perLook);
    // None of them ever answered a registration: none is called back.
    QCOMPARE(watch.rejoining(), 0);
}

void NewerCopiesTest::reachabilityTellsLastAnswerAndRoundTrip() {
    Mixed m;
    const Reachability& reach = m.ivan.conference.reachability();
    QCOMPARE(reach.describe(u"10.0.0.77"_s), u"Ответов не было с момента запуска"_s);
    QVERIFY(reach.lastHeard(kOldIP).isValid());
    m.ivan.conference.directory().setSelectedIndex(0);
    QCOMPARE(m.ivan.conference.checkLink(), LinkCheckOutcome::Sent);
    m.now += 7;
    m.network.flush();
    QCOMPARE(reach.roundTripMs(kPetrIP), 7);
    QVERIFY(reach.describe(kPetrIP).startsWith(u"Последний ответ: "_s));
    QVERIFY(reach.describe(kPetrIP).endsWith(u"\nПроверка связи: 7 мс"_s));
}

QTEST_GUILESS_MAIN(NewerCopiesTest)
#include "test_newer_copies.moc"
