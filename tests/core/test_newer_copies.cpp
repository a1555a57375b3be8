// Newer copies among older ones on the in-process network: the handshake on
// its own port, receipts and resends between copies that confirm, exactly
// what an older copy always got for one that does not, the roster watch and
// what reachability tells.
#include "support/ConferencePeer.h"

#include "core/DatagramParser.h"
#include "core/ListAddresses.h"

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
            peer->conference.setWallClock([this] { return now; });
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

bool confirms(ConferencePeer& peer, const QString& address) {
    return peer.conference.handshake().confirms(address);
}

// The id behind the NUL of the last tagged line that went to an address.
quint32 lastIdTo(const FakeNetwork& network, const QString& address) {
    quint32 id = 0;
    for (const FakeDatagram& d : network.log()) {
        if (d.to == address) {
            if (const auto tagged =
                    DatagramParser::lineId(d.bytes, static_cast<int>(d.bytes.size()))) {
                id = *tagged;
            }
        }
    }
    return id;
}

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
    void strictOldPeerHearsOnlyTheOldAnswers();
    void standingSurvivesForgeriesButNotAnOlderCopy();
    void spoofedHelloConfirmsNothing();
    void forgedReceiptOfAnotherRecipientCountsForNothing();
    void aHalfDoneHandshakeCompletesWithTheNextLine();
    void blockedHandshakePortLeavesOlderBehaviour();
    void seenIdsKeepRosterMembersAndRecentSenders();
    void listAddressesFollowEveryChange();
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
    QTest::newRow("hello") << QByteArray("~#&!^~: VSHELLO:0000002A ") << false << true;
    QTest::newRow("answer") << QByteArray("~#&!^~:VSHELLO:0000002AFFFFFFFF") << false << true;
    QTest::newRow("echo") << QByteArray("~#&!^~:VSECHO:0000002A") << false << true;
    QTest::newRow("receipt") << QByteArray("~#&!^~:VSACK:0000002A") << false << true;
    QTest::newRow("receipt, bad id") << QByteArray("~#&!^~:VSACK:2A") << false << false;
    QTest::newRow("bare hello") << QByteArray("~#&!^~:VSHELLO:1") << false << false;
    QTest::newRow("answer, short") << QByteArray("~#&!^~:VSHELLO:0000002AFFFF") << false << false;
    QTest::newRow("hello with more") << QByteArray("~#&!^~:VSHELLO:0000002Ax") << false << false;
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
    QStringList texts;
    auto add = [&](quint32 a, quint32 b) {
        texts << Protocol::receiptText(a) << Protocol::helloText(a)
              << Protocol::helloAnswerText(a, b) << Protocol::echoText(b);
    };
    for (quint32 id : {0u, 0xFFFFFFFFu, 0xABCDEF01u}) {
        add(id, ~id);
    }
    for (int i = 0; i < 10'000; ++i) {
        add(random.generate(), random.generate());
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
    QVERIFY(confirms(m.ivan, kPetrIP));
    QVERIFY(confirms(m.petr, kIvanIP));
    QVERIFY(!confirms(m.ivan, kOldIP));
    // The conference port carries exactly what older copies exchange.
    QCOMPARE(describeVisibleLog(m.network),
             (QStringList{u"10.0.0.1>10.0.0.2 ~#&!^~:MYNAMEIS2:ИВАН"_s,
                          u"10.0.0.1>10.0.0.9 ~#&!^~:MYNAMEIS2:ИВАН"_s,
                          u"10.0.0.2>10.0.0.1 ~#&!^~:MYNAMEIS3:ПЕТР"_s,
                          u"10.0.0.9>10.0.0.1 ~#&!^~:MYNAMEIS3:СТАРЫЙ"_s}));
    // Everything else went to the handshake port: a hello to each address
    // that was registered with, a hello back with the answer, and the
    // answers and echoes that complete both exchanges. Each challenge that
    // went to ПЕТР came back from it, and the reverse.
    QStringList handshake;
    for (const FakeDatagram& d : m.network.log()) {
        if (d.port == Protocol::kHandshakePort) {
            QVERIFY2(d.from != kOldIP, qPrintable(describe(d)));
            handshake.append(d.from + u'>' + d.to + u' ' +
                             Cp1251::decode(d.bytes).section(u':', 1, 1));
        }
    }
    QCOMPARE(handshake, (QStringList{u"10.0.0.1>10.0.0.2 VSHELLO"_s, u"10.0.0.1>10.0.0.9 VSHELLO"_s,
                                     u"10.0.0.2>10.0.0.1 VSHELLO"_s, u"10.0.0.2>10.0.0.1 VSHELLO"_s,
                                     u"10.0.0.1>10.0.0.2 VSHELLO"_s, u"10.0.0.1>10.0.0.2 VSECHO"_s,
                                     u"10.0.0.2>10.0.0.1 VSECHO"_s}));
    // From now on a registration to ПЕТР needs no hello: the exchange has
    // settled. The older copy, which never answered, is greeted again.
    m.network.clearLog();
    m.ivan.conference.registerAll();
    m.network.flush();
    QCOMPARE(describeVisibleLog(m.network).size(), 4);
    QCOMPARE(m.network.log().size(), 5);
    for (const FakeDatagram& d : m.network.log()) {
        QVERIFY2(d.port == Protocol::kPort || d.to == kOldIP, qPrintable(describe(d)));
    }
}

void NewerCopiesTest::strictOldPeerHearsOnlyTheOldAnswers() {
    FakeNetwork network;
    ConferencePeer ivan(network, kIvanIP, u"ИВАН"_s);
    // A registration from a peer that speaks the old protocol only, then a
    // chat line tagged in its name, as anyone on the network could forge.
    network.inject(kOldIP, kIvanIP, Cp1251::encode(u"~#&!^~:MYNAMEIS2:СТРОГИЙ"_s));
    network.inject(kOldIP, kIvanIP, QByteArray("X: hi\0VSID:0000002A", 19));
    network.inject(kOldIP, kIvanIP, QByteArray("X: hi\0VSID:0000002A", 19));
    network.flush();
    QCOMPARE(ivan.log, QStringList{u"X: hi"_s});
    QStringList onConferencePort;
    for (const FakeDatagram& d : network.log()) {
        if (d.to == kOldIP && d.port == Protocol::kPort) {
            onConferencePort.append(describe(d));
        }
    }
    QCOMPARE(onConferencePort, QStringList{u"10.0.0.1>10.0.0.9 ~#&!^~:MYNAMEIS3:ИВАН"_s});
    // Its lines go plain, exactly once each, and it never confirms (the
    // forged tagged line earns it one more hello on the closed port).
    QCOMPARE(ivan.sendChat(u"привет"_s), ChatOutcome::Sent);
    network.flush();
    QCOMPARE(describeVisibleLog(network).last(), u"10.0.0.1>10.0.0.9 ИВАН: привет"_s);
    QVERIFY(!confirms(ivan, kOldIP));
    QCOMPARE(ivan.conference.receipts().trackedLines(), 0);
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
        if (d.to != kOldIP || d.port != Protocol::kPort) {
            continue;  // the handshake port: an older copy does not bind it
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

void NewerCopiesTest::standingSurvivesForgeriesButNotAnOlderCopy() {
    Mixed m;
    // Answers and registrations forged in ПЕТР's name, old or fresh (a
    // name not in the roster): each fresh one brings a new challenge, which
    // the real ПЕТР answers, so it keeps confirming.
    for (int i = 0; i < 10; ++i) {
        m.network.inject(kPetrIP, kIvanIP, Cp1251::encode(u"~#&!^~:MYNAMEIS3:ПЕТР"_s));
        m.network.inject(kPetrIP, kIvanIP, Cp1251::encode(u"~#&!^~:MYNAMEIS2:ЛЖЕПЕТР%1"_s.arg(i)));
        m.network.flush();
        m.now += 1'000;
        m.ivan.conference.watchRoster();
        QVERIFY(confirms(m.ivan, kPetrIP));
    }
    // A forged answer with a wrong echo confirms nothing and is not answered.
    m.network.clearLog();
    m.network.inject(kOldIP, kIvanIP, "~#&!^~:VSHELLO:0000002A0000002B", Protocol::kHandshakePort);
    m.network.flush();
    QCOMPARE(m.network.log().size(), 1);
    QVERIFY(!confirms(m.ivan, kOldIP));

    // An older copy starts at ПЕТР's address: the challenge that its fresh
    // registration brings goes unanswered, and its lines go plain.
    m.petr.conference.setHandshakeEndpoint(nullptr);
    m.petr.handshakeEndpoint.reset();
    m.now += Handshake::kProofFreshForMs;
    m.network.inject(kPetrIP, kIvanIP, Cp1251::encode(u"~#&!^~:MYNAMEIS2:СТАРЫЙПЕТР"_s));
    m.network.flush();
    QVERIFY(!confirms(m.ivan, kPetrIP));  // in question from the start
    m.now += Handshake::kAnswerWithinMs;
    m.ivan.conference.watchRoster();
    m.network.clearLog();
    m.ivan.conference.roster().setLines({u"СТАРЫЙПЕТР _|_ 10.0.0.2"_s});
    QCOMPARE(m.ivan.sendChat(u"ау"_s), ChatOutcome::Sent);
    m.run(20'000);
    QCOMPARE(describeLog(m.network), QStringList{u"10.0.0.1>10.0.0.2 ИВАН: ау"_s});
}

void NewerCopiesTest::spoofedHelloConfirmsNothing() {
    Mixed m;
    // A hello in the older copy's name: the answer, with a challenge, goes
    // to the older copy's handshake port, where nobody hears it, so nothing
    // can echo it back.
    m.network.clearLog();
    m.network.inject(kOldIP, kIvanIP, "~#&!^~:VSHELLO:0000002A", Protocol::kHandshakePort);
    m.network.flush();
    QCOMPARE(m.network.log().size(), 2);
    const FakeDatagram answer = m.network.log().at(1);
    QCOMPARE(answer.to, kOldIP);
    QCOMPARE(answer.port, Protocol::kHandshakePort);
    QVERIFY(Cp1251::decode(answer.bytes).startsWith(u"~#&!^~:VSHELLO:0000002A"_s));
    // Echoes guessed at, and receipts for ids never sent there, do nothing.
    for (quint32 guess : {0u, 0x2Au, 0xFFFFFFFFu}) {
        m.network.inject(kOldIP, kIvanIP, Cp1251::encode(Protocol::echoText(guess)),
                         Protocol::kHandshakePort);
        m.network.inject(kOldIP, kIvanIP, Cp1251::encode(Protocol::receiptText(guess)),
                         Protocol::kHandshakePort);
    }
    m.network.flush();
    QVERIFY(!confirms(m.ivan, kOldIP));
    // Strangers, in neither list, get no answer at all, however many.
    m.network.clearLog();
    for (int i = 0; i < 100; ++i) {
        m.network.inject(u"10.7.0.%1"_s.arg(i), kIvanIP, "~#&!^~:VSHELLO:0000002A",
                         Protocol::kHandshakePort);
    }
    m.network.flush();
    QCOMPARE(m.network.log().size(), 100);
    // And handshake datagrams on the conference port are dropped as an
    // older copy drops them.
    m.network.clearLog();
    m.network.inject(kPetrIP, kIvanIP, "~#&!^~:VSHELLO:0000002A");
    m.network.flush();
    QCOMPARE(m.network.log().size(), 1);
}

void NewerCopiesTest::forgedReceiptOfAnotherRecipientCountsForNothing() {
    FakeNetwork network;
    qint64 now = 0;
    const QString sidorIP = u"10.0.0.3"_s;
    ConferencePeer ivan(network, kIvanIP, u"ИВАН"_s,
                        {u"Петя _|_ 10.0.0.2"_s, u"Сидор _|_ 10.0.0.3"_s});
    ConferencePeer petr(network, kPetrIP, u"ПЕТР"_s);
    ConferencePeer sidor(network, sidorIP, u"СИДОР"_s);
    for (ConferencePeer* peer : {&ivan, &petr, &sidor}) {
        peer->conference.setClock([&] { return now; });
    }
    ivan.conference.registerAll();
    network.flush();
    QVERIFY(confirms(ivan, kPetrIP) && confirms(ivan, sidorIP));
    QStringList undelivered;
    connect(&ivan.conference.receipts(), &Receipts::notDelivered, this,
            [&](const QStringList& names) { undelivered += names; });

    // ПЕТР gets nothing; СИДОР gets its copy and, in ПЕТР's name, sends
    // the receipt for it (and for the ids next to it).
    network.setLoss([&](const FakeDatagram& d) { return d.to == kPetrIP; });
    network.clearLog();
    QCOMPARE(ivan.sendChat(u"кому-то"_s), ChatOutcome::Sent);
    network.flush();
    const quint32 sidorsId = lastIdTo(network, sidorIP);
    QVERIFY(sidorsId != lastIdTo(network, kPetrIP));
    for (quint32 id : {sidorsId, sidorsId + 1, sidorsId - 1}) {
        network.inject(kPetrIP, kIvanIP, Cp1251::encode(Protocol::receiptText(id)),
                       Protocol::kHandshakePort);
    }
    network.flush();
    for (; now <= Receipts::kOutcomeAfterMs; now += 250) {
        ivan.conference.receipts().resendDue();
        network.flush();
    }
    int toPetr = 0;
    int toSidor = 0;
    for (const FakeDatagram& d : network.log()) {
        toPetr += d.to == kPetrIP && d.bytes.contains('\0');
        toSidor += d.to == sidorIP && d.bytes.contains('\0');
    }
    QCOMPARE(toPetr, Receipts::kSends);
    QCOMPARE(toSidor, 1);
    QCOMPARE(undelivered, QStringList{u"ПЕТР"_s});
}

void NewerCopiesTest::aHalfDoneHandshakeCompletesWithTheNextLine() {
    FakeNetwork network;
    ConferencePeer ivan(network, kIvanIP, u"ИВАН"_s, {u"Петя _|_ 10.0.0.2"_s});
    ConferencePeer petr(network, kPetrIP, u"ПЕТР"_s);
    // ИВАН's hello reaches ПЕТР, but its answer and echo are lost: ИВАН has
    // its proof, ПЕТР has none.
    const qsizetype helloSize = Protocol::helloText(0).size();
    network.setLoss([helloSize](const FakeDatagram& d) {
        return d.to == kPetrIP && d.port == Protocol::kHandshakePort && d.bytes.size() != helloSize;
    });
    ivan.conference.registerAll();
    network.flush();
    QVERIFY(confirms(ivan, kPetrIP) && !confirms(petr, kIvanIP));
    network.setLoss({});
    // ИВАН's tagged line tells ПЕТР that an echo went missing; ПЕТР's next
    // line goes plain, with a hello after it, and the one after that
    // carries an id.
    QCOMPARE(ivan.sendChat(u"раз"_s), ChatOutcome::Sent);
    network.flush();
    QCOMPARE(petr.sendChat(u"два"_s), ChatOutcome::Sent);
    network.flush();
    QVERIFY(confirms(petr, kIvanIP));
    QCOMPARE(petr.sendChat(u"три"_s), ChatOutcome::Sent);
    network.flush();
    QStringList fromPetr;
    for (const FakeDatagram& d : visibleLog(network)) {
        if (d.from == kPetrIP && !d.bytes.startsWith("~#&!^~:")) {
            fromPetr.append(Cp1251::decode(d.bytes));
        }
    }
    QCOMPARE(fromPetr, (QStringList{u"ПЕТР: два"_s, u"ПЕТР: три"_s}));
    QVERIFY(lastIdTo(network, kIvanIP) != 0);
    QCOMPARE(ivan.log, (QStringList{u"ПЕТР: два"_s, u"ПЕТР: три"_s}));
}

void NewerCopiesTest::blockedHandshakePortLeavesOlderBehaviour() {
    // A firewall drops the handshake port both ways; the second pair has
    // one copy that could not bind it.
    for (const bool bothBind : {true, false}) {
        FakeNetwork network;
        ConferencePeer ivan(network, kIvanIP, u"ИВАН"_s, {u"Петя _|_ 10.0.0.2"_s});
        ConferencePeer petr(network, kPetrIP, u"ПЕТР"_s, {}, bothBind);
        network.setLoss([](const FakeDatagram& d) { return d.port == Protocol::kHandshakePort; });
        ivan.conference.registerAll();
        network.flush();
        QVERIFY(!confirms(ivan, kPetrIP) && !confirms(petr, kIvanIP));
        QCOMPARE(ivan.sendChat(u"раз"_s), ChatOutcome::Sent);
        QCOMPARE(petr.sendChat(u"два"_s), ChatOutcome::Sent);
        network.flush();
        QCOMPARE(petr.log, QStringList{u"ИВАН: раз"_s});
        QCOMPARE(ivan.log, QStringList{u"ПЕТР: два"_s});
        // The conference port carried what two older copies exchange.
        QCOMPARE(describeVisibleLog(network),
                 (QStringList{u"10.0.0.1>10.0.0.2 ~#&!^~:MYNAMEIS2:ИВАН"_s,
                              u"10.0.0.2>10.0.0.1 ~#&!^~:MYNAMEIS3:ПЕТР"_s,
                              u"10.0.0.1>10.0.0.2 ИВАН: раз"_s, u"10.0.0.2>10.0.0.1 ПЕТР: два"_s}));
        for (const FakeDatagram& d : visibleLog(network)) {
            QVERIFY(!d.bytes.contains('\0'));
        }
        QCOMPARE(ivan.conference.receipts().trackedLines(), 0);
    }
}

void NewerCopiesTest::seenIdsKeepRosterMembersAndRecentSenders() {
    qint64 now = 0;
    const QString member = u"10.0.0.2"_s;
    Receipts receipts([](const QString&, const QByteArray&) {});
    receipts.setClock([&] { return now; });
    receipts.setKeepsSender([&](const QString& address) { return address == member; });
    QVERIFY(receipts.firstCopy(member, 7));
    QVERIFY(receipts.firstCopy(u"10.5.0.1"_s, 7));
    auto stranger = [](int i) { return u"10.6.%1.%2"_s.arg(i / 250).arg(i % 250); };
    // Senders beyond the table within a minute: the ones in it stay (a
    // replay is not shown twice); the newcomers go unremembered.
    for (int i = 0; i < Receipts::kRememberedSenders + 100; ++i) {
        (void)receipts.firstCopy(stranger(i), 1);
    }
    QCOMPARE(receipts.rememberedSenders(), Receipts::kRememberedSenders);
    QVERIFY(!receipts.firstCopy(u"10.5.0.1"_s, 7));
    QVERIFY(!receipts.firstCopy(stranger(0), 1));
    // Once they could no longer be resent, strangers make room, the least
    // recently used first; the roster member is never forgotten.
    now += Receipts::kOutcomeAfterMs;
    for (int i = 0; i < 2 * Receipts::kRememberedSenders; ++i) {
        (void)receipts.firstCopy(u"10.8.%1.%2"_s.arg(i / 250).arg(i % 250), 1);
        now += 1;
    }
    QCOMPARE(receipts.rememberedSenders(), Receipts::kRememberedSenders);
    QVERIFY(!receipts.firstCopy(member, 7));
    QVERIFY(receipts.firstCopy(u"10.5.0.1"_s, 7));
}

void NewerCopiesTest::vanishedMemberLeavesTheRosterAndRejoins() {
    Mixed m;
    const QString petrLine = u"ПЕТР _|_ 10.0.0.2"_s;
    const QString oldLine = u"СТАРЫЙ _|_ 10.0.0.9"_s;
    QVERIFY(m.ivan.roster().contains(petrLine));
    QVERIFY(m.ivan.roster().contains(oldLine));
    // The newer ПЕТР is left to the liveness probes, the older copy to the
    // watch.
    auto look = [&](qint64 ms) {
        for (const qint64 end = m.now + ms; m.now < end;) {
            m.run(250);
            m.ivan.conference.tickLiveness();
            m.petr.conference.tickLiveness();
            if (m.now % RosterWatch::kLookEveryMs == 0) {
                m.ivan.conference.watchRoster();
                m.petr.conference.watchRoster();
            }
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

void NewerCopiesTest::listAddressesFollowEveryChange() {
    // Only roster and directory addresses take part in the handshake; the
    // set that says which must follow the list however it changes.
    EntryList roster(EntryList::Order::Sorted);
    const ListAddresses addresses(roster);
    roster.setLines({u"Б _|_ 10.0.0.2"_s, u"А _|_ 10.0.0.1"_s});
    QVERIFY(addresses.contains(u"10.0.0.1"_s) && addresses.contains(u"10.0.0.2"_s));
    roster.add(u"В _|_ 10.0.0.1"_s);  // a renamed peer: two lines, one address
    roster.remove(roster.indexOf(u"А _|_ 10.0.0.1"_s));
    QVERIFY(addresses.contains(u"10.0.0.1"_s));
    roster.replace(roster.indexOf(u"В _|_ 10.0.0.1"_s), u"В _|_ 10.0.0.3"_s);
    QVERIFY(!addresses.contains(u"10.0.0.1"_s) && addresses.contains(u"10.0.0.3"_s));
    roster.model()->setData(roster.model()->index(0), u"Г _|_  10.0.0.4 "_s);
    QCOMPARE(roster.line(0), u"Г _|_  10.0.0.4 "_s);
    QVERIFY(!addresses.contains(u"10.0.0.2"_s) && addresses.contains(u"10.0.0.4"_s));
    roster.clear();
    QVERIFY(!addresses.contains(u"10.0.0.3"_s) && !addresses.contains(u"10.0.0.4"_s));
}

QTEST_GUILESS_MAIN(NewerCopiesTest)
#include "test_newer_copies.moc"
