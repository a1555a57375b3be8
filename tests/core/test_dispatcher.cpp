// The receive dispatcher on its own: how a datagram's bytes become a text,
// which keyword tests match, and what one copy does with datagrams of every
// shape from a foreign sender.
#include "support/ConferencePeer.h"

#include "core/DatagramParser.h"

#include <QRandomGenerator>
#include <QSet>
#include <QTest>

using namespace Qt::StringLiterals;
using DatagramParser::Keyword;
using DatagramParser::KeywordMatch;

Q_DECLARE_METATYPE(QList<KeywordMatch>)

namespace {

const QString kOwnIP = u"10.0.0.1"_s;
const QString kForeignIP = u"10.0.0.7"_s;

QByteArray bytes(const QString& text) {
    return Cp1251::encode(text);
}

}  // namespace

class DispatcherTest : public QObject {
    Q_OBJECT
  private slots:
    void matchKeywords_data();
    void matchKeywords();
    void receivedDatagram_data();
    void receivedDatagram();
    void shortDatagramAfterLongOne();
    void datagramLongerThanTheBuffer();
    void relayedEntries_data();
    void relayedEntries();
    void relayedFloodIsBoundedPerSender();
    void randomDatagramsKeepTheListsSound();
};

void DispatcherTest::matchKeywords_data() {
    QTest::addColumn<QString>("controlText");
    QTest::addColumn<QList<KeywordMatch>>("matches");
    QTest::newRow("none") << u"HELLO"_s << QList<KeywordMatch>{};
    QTest::newRow("request and answer")
        << u"AUTODETECT1 MYNAMEIS1:ПЕТР"_s
        << QList<KeywordMatch>{{Keyword::AutoDetect1, {}},
                               {Keyword::MyNameIs1, u"AUTODETECT1 ПЕТР"_s}};
    // Every test runs on what the earlier ones left.
    QTest::newRow("chained names") << u"MYNAMEIS2: A IAMEXIT: B"_s
                                   << QList<KeywordMatch>{{Keyword::MyNameIs2, u"A IAMEXIT: B"_s},
                                                          {Keyword::IAmExit, u"A  B"_s}};
    QTest::newRow("keyword in the middle")
        << u"X MYNAMEIS3:Y"_s << QList<KeywordMatch>{{Keyword::MyNameIs3, u"X Y"_s}};
    QTest::newRow("relay without separator") << u"NEWADDR:ИВАН A _|_ 1"_s << QList<KeywordMatch>{};
    QTest::newRow("relayed entry") << u"NEWADDR: ИВАН ~_^B  A _|_ 1 "_s
                                   << QList<KeywordMatch>{{Keyword::NewAddr, u"A _|_ 1"_s}};
    QTest::newRow("first separator counts")
        << u"EDITADDR:N~_^BA~_^BB"_s << QList<KeywordMatch>{{Keyword::EditAddr, u"A~_^BB"_s}};
    QTest::newRow("both requests")
        << u"AUTODETECT0AUTODETECT1"_s
        << QList<KeywordMatch>{{Keyword::AutoDetect1, {}}, {Keyword::AutoDetect0, {}}};
}

void DispatcherTest::matchKeywords() {
    QFETCH(QString, controlText);
    QTEST(DatagramParser::matchKeywords(controlText), "matches");
}

// One datagram from a foreign address to a copy named ИВАН whose directory
// holds one selected line.
void DispatcherTest::receivedDatagram_data() {
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QStringList>("roster");
    QTest::addColumn<QStringList>("directory");
    QTest::addColumn<QStringList>("replies");

    const QStringList directory{u"Петя _|_ 10.0.0.2"_s};
    const QStringList none;
    const QStringList registered{u"ПЕТР _|_ 10.0.0.7"_s};
    const QStringList answered{u"~#&!^~:MYNAMEIS3:ИВАН"_s};

    QTest::newRow("registration") << bytes(u"~#&!^~:MYNAMEIS2:ПЕТР"_s) << none << registered
                                  << directory << answered;
    QTest::newRow("blanks around prefix, keyword and name")
        << bytes(u"   ~#&!^~:   MYNAMEIS2:   петр   "_s) << none << registered << directory
        << answered;
    QTest::newRow("character before the prefix")
        << bytes(u"x~#&!^~:MYNAMEIS2:ПЕТР"_s) << QStringList{u"x~#&!^~:MYNAMEIS2:ПЕТР"_s} << none
        << directory << none;
    QTest::newRow("tab before the prefix")
        << bytes(u"\t~#&!^~:MYNAMEIS2:ПЕТР"_s) << QStringList{u"\t~#&!^~:MYNAMEIS2:ПЕТР"_s} << none
        << directory << none;
    QTest::newRow("keyword in small letters")
        << bytes(u"~#&!^~:mynameis2:ПЕТР"_s) << none << none << directory << none;
    QTest::newRow("prefix alone") << bytes(u"~#&!^~:"_s) << none << none << directory << none;
    QTest::newRow("no keyword") << bytes(u"~#&!^~:HELLO"_s) << none << none << directory << none;
    QTest::newRow("link check answered and applied")
        << bytes(u"~#&!^~:AUTODETECT1 MYNAMEIS1:ПЕТР"_s) << none << none
        << QStringList{u"AUTODETECT1 ПЕТР _|_ 10.0.0.7"_s}
        << QStringList{u"~#&!^~:MYNAMEIS1:ИВАН"_s};
    QTest::newRow("second kind of request") << bytes(u"~#&!^~:AUTODETECT0"_s) << none << none
                                            << directory << QStringList{u"~#&!^~:MYNAMEIS0:ИВАН"_s};
    QTest::newRow("second kind of answer")
        << bytes(u"~#&!^~:MYNAMEIS0:Петя"_s) << none << none
        << QStringList{directory.first(), u"ПЕТЯ _|_ 10.0.0.7"_s} << none;
    QTest::newRow("NUL in the fifth position")
        << QByteArray("abcd\0~#&!^~:MYNAMEIS2:X", 24) << QStringList{u"abcd"_s} << none << directory
        << none;
    QTest::newRow("empty name") << bytes(u"~#&!^~:MYNAMEIS2:"_s) << none
                                << QStringList{u" _|_ 10.0.0.7"_s} << directory << answered;
    QTest::newRow("prefix later in a chat text")
        << bytes(u"привет ~#&!^~:MYNAMEIS2:X"_s) << QStringList{u"привет ~#&!^~:MYNAMEIS2:X"_s}
        << none << directory << none;
    QTest::newRow("private chat keeps its marker")
        << bytes(u"*>ПЕТР: тсс"_s) << QStringList{u"*>ПЕТР: тсс"_s} << none << directory << none;
    QTest::newRow("exit of someone absent")
        << bytes(u"~#&!^~:IAMEXIT:ПЕТР"_s) << none << none << directory << none;
    QTest::newRow("blanks only") << bytes(u"    "_s) << QStringList{QString()} << none << directory
                                 << none;
    QTest::newRow("empty datagram") << QByteArray() << none << none << directory << none;
}

void DispatcherTest::receivedDatagram() {
    QFETCH(QByteArray, datagram);
    FakeNetwork network;
    ConferencePeer ivan(network, kOwnIP, u"ИВАН"_s, {u"Петя _|_ 10.0.0.2"_s});
    ivan.conference.directory().setSelectedIndex(0);
    network.inject(kForeignIP, kOwnIP, datagram);
    network.flush();

    QTEST(ivan.log, "log");
    QTEST(ivan.roster(), "roster");
    QTEST(ivan.directory(), "directory");
    QStringList replies;
    for (const FakeDatagram& sent : visibleLog(network).mid(1)) {
        QCOMPARE(sent.from, kOwnIP);
        QCOMPARE(sent.to, kForeignIP);
        replies.append(Cp1251::decode(sent.bytes));
    }
    QTEST(replies, "replies");
    QVERIFY(ivan.errors.isEmpty());
}

void DispatcherTest::shortDatagramAfterLongOne() {
    FakeNetwork network;
    ConferencePeer ivan(network, kOwnIP, u"ИВАН"_s);
    network.inject(kForeignIP, kOwnIP, QByteArray(100, 'L'));
    network.inject(kForeignIP, kOwnIP, QByteArray(20, 's'));
    network.flush();
    QCOMPARE(ivan.log, (QStringList{QString(100, u'L'), QString(20, u's')}));
}

void DispatcherTest::datagramLongerThanTheBuffer() {
    FakeNetwork network;
    ConferencePeer ivan(network, kOwnIP, u"ИВАН"_s);
    QByteArray datagram = bytes(u"~#&!^~:MYNAMEIS2:"_s) + QByteArray(300, 'N');
    network.inject(kForeignIP, kOwnIP, QByteArray(300, 'x'));
    network.inject(kForeignIP, kOwnIP, datagram);
    network.flush();
    // Handled as its first 255 characters.
    QCOMPARE(ivan.log, QStringList{QString(255, u'x')});
    QCOMPARE(ivan.roster(), QStringList{QString(255 - 17, u'N') + u" _|_ 10.0.0.7"_s});
}

void DispatcherTest::relayedEntries_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("directory");
    const QString prefix = u"~#&!^~:"_s;
    QTest::newRow("new entry is appended")
        << prefix + u"NEWADDR:ПЕТР~_^BD _|_ 4"_s
        << QStringList{u"A _|_ 1"_s, u"B _|_ 2"_s, u"C _|_ 3"_s, u"D _|_ 4"_s};
    QTest::newRow("held entry in other case is kept")
        << prefix + u"NEWADDR:ПЕТР~_^Bb _|_ 2"_s
        << QStringList{u"A _|_ 1"_s, u"B _|_ 2"_s, u"C _|_ 3"_s};
    QTest::newRow("edit moves a held entry to the end")
        << prefix + u"EDITADDR:ПЕТР~_^B  b _|_ 2  "_s
        << QStringList{u"A _|_ 1"_s, u"C _|_ 3"_s, u"b _|_ 2"_s};
    QTest::newRow("edit of the last entry")
        << prefix + u"EDITADDR:~_^BC _|_ 3"_s
        << QStringList{u"A _|_ 1"_s, u"B _|_ 2"_s, u"C _|_ 3"_s};
    QTest::newRow("edit of a new entry appends")
        << prefix + u"EDITADDR:ПЕТР~_^Bnot an entry"_s
        << QStringList{u"A _|_ 1"_s, u"B _|_ 2"_s, u"C _|_ 3"_s, u"not an entry"_s};
    QTest::newRow("no separator") << prefix + u"NEWADDR:ПЕТР D _|_ 4"_s
                                  << QStringList{u"A _|_ 1"_s, u"B _|_ 2"_s, u"C _|_ 3"_s};
}

void DispatcherTest::relayedEntries() {
    QFETCH(QString, text);
    FakeNetwork network;
    ConferencePeer petr(network, kOwnIP, u"ПЕТР"_s, {u"A _|_ 1"_s, u"B _|_ 2"_s, u"C _|_ 3"_s});
    petr.conference.roster().add(u"X _|_ "_s + kForeignIP);  // only members relay
    network.inject(kForeignIP, kOwnIP, bytes(text));
    network.flush();
    QTEST(petr.directory(), "directory");
    QCOMPARE(visibleLog(network).size(), 1);  // no answer
}

void DispatcherTest::relayedFloodIsBoundedPerSender() {
    FakeNetwork network;
    ConferencePeer petr(network, kOwnIP, u"ПЕТР"_s, {u"A _|_ 1"_s});
    petr.conference.roster().setLines({u"X _|_ "_s + kForeignIP, u"Y _|_ 10.0.0.8"_s});
    qint64 now = 0;
    petr.conference.setClock([&] { return now; });
    QList<QPair<QString, int>> refusals;
    connect(&petr.conference, &Conference::entriesRefused, this,
            [&](const QString& from, int count) {
                refusals.append({from, count});
            });
    auto relay = [&](const QString& from, int first, int count, const QString& keyword) {
        for (int i = first; i < first + count; ++i) {
            network.inject(from, kOwnIP,
                           bytes(u"~#&!^~:"_s + keyword +
                                 u"X~_^BN%1 _|_ 10.9.%2.%3"_s.arg(i).arg(i / 250).arg(i % 250)));
        }
        network.flush();
    };
    relay(kForeignIP, 0, 3000, u"NEWADDR:"_s);
    QCOMPARE(petr.directory().size(), 1 + RelayLimit::kPerMinute);
    QCOMPARE(refusals.size(), 2000);
    QCOMPARE(refusals.last(), qMakePair(kForeignIP, 2000));
    // Moves of held lines count too; entries already held cost nothing.
    relay(kForeignIP, 0, 10, u"EDITADDR:"_s);
    relay(kForeignIP, 0, 10, u"NEWADDR:"_s);
    QCOMPARE(refusals.last().second, 2010);
    QCOMPARE(petr.directory().at(1), u"N0 _|_ 10.9.0.0"_s);
    // Another sender has its own share, and a minute later so has the first.
    relay(u"10.0.0.8"_s, 5000, 10, u"NEWADDR:"_s);
    now += RelayLimit::kWindowMs;
    relay(kForeignIP, 3000, 10, u"NEWADDR:"_s);
    QCOMPARE(petr.directory().size(), 1 + RelayLimit::kPerMinute + 20);
    QCOMPARE(refusals.size(), 2010);
}

// Random datagrams built from the protocol's own pieces and random bytes:
// the dispatcher must neither crash nor read or write past a buffer (run
// under the sanitizers), every answer must fit a datagram, and the roster
// must never hold two lines that differ only in letter case.
void DispatcherTest::randomDatagramsKeepTheListsSound() {
    const QList<QByteArray> pieces{"~#&!^~:",
                                   "AUTODETECT1",
                                   "MYNAMEIS1:",
                                   "AUTODETECT0",
                                   "MYNAMEIS0:",
                                   "MYNAMEIS2:",
                                   "MYNAMEIS3:",
                                   "IAMEXIT:",
                                   "NEWADDR:",
                                   "EDITADDR:",
                                   "~_^B",
                                   " _|_ ",
                                   " ",
                                   "   ",
                                   QByteArray(1, '\0'),
                                   "\xC8\xC2\xC0\xCD",
                                   "ivan",
                                   "10.0.0.7"};
    QRandomGenerator random(20240501);
    FakeNetwork network;
    ConferencePeer ivan(network, kOwnIP, u"ИВАН"_s, {u"Петя _|_ 10.0.0.2"_s});
    const QStringList senders{u"10.0.0.7"_s, u"10.0.0.8"_s, u"192.168.1.20"_s};

    for (int round = 0; round < 3000; ++round) {
        QByteArray datagram;
        const int parts = static_cast<int>(random.bounded(12));
        for (int i = 0; i < parts; ++i) {
            if (random.bounded(4) == 0) {
                QByteArray noise(static_cast<int>(random.bounded(80)), Qt::Uninitialized);
                for (char& b : noise) {
                    b = static_cast<char>(random.bounded(256));
                }
                datagram += noise;
            } else {
                datagram += pieces.at(static_cast<int>(random.bounded(pieces.size())));
            }
        }
        if (random.bounded(10) == 0) {
            datagram += QByteArray(static_cast<int>(random.bounded(400)), 'z');
        }
        ivan.conference.directory().setSelectedIndex(
            static_cast<int>(random.bounded(ivan.conference.directory().count() + 1)) - 1);
        network.inject(senders.at(static_cast<int>(random.bounded(senders.size()))), kOwnIP,
                       datagram);
        network.flush();
    }

    QVERIFY(ivan.errors.isEmpty());
    for (const FakeDatagram& sent : visibleLog(network)) {
        if (sent.from == kOwnIP) {
            QVERIFY(sent.bytes.size() > 0 && sent.bytes.size() <= 255);
        }
    }
    QSet<QString> folded;
    for (const QString& line : ivan.roster()) {
        QVERIFY2(!folded.contains(line.toCaseFolded()), qPrintable(line));
        folded.insert(line.toCaseFolded());
    }
    for (const QString& line : ivan.log) {
        QVERIFY(line.size() <= 255);
        QVERIFY(!line.contains(QChar(u'\0')));
    }
}

QTEST_GUILESS_MAIN(DispatcherTest)
#include "test_dispatcher.moc"
