// The rules of UdpEndpoint, checked the same way against the real endpoint
// on loopback and against the fake endpoint of the in-process network that
// the conference and window tests run on: where the two differ, those tests
// prove nothing about the program.
#include "net/UdpSocketEndpoint.h"
#include "net/UdpSocketError.h"
#include "net/platform/NativeUdpSocket.h"
#include "support/FakeEndpoint.h"
#include "support/FakeNetwork.h"

#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

enum class Kind { Real, Fake };

// The blank makes it no valid host name, so the lookup fails without asking
// a name server (whose answer may take seconds).
const QString kUnresolvable = u"no such host.invalid"_s;
const QString kReceiverHost = u"127.0.0.1"_s;

struct Arrival {
    int size;
    QByteArray bytes;
    QString fromIP;
    int depth;  // how many handlers were running, this one included
};

// A sender and a receiver of one kind; the sender reaches the receiver at
// 127.0.0.1, by any of the numeric forms of that address, and by the name
// "localhost".
class Pair {
  public:
    virtual ~Pair() = default;
    [[nodiscard]] virtual UdpEndpoint& sender() = 0;
    [[nodiscard]] virtual UdpEndpoint& receiver() = 0;
    // The sender's address as the receiver sees it.
    [[nodiscard]] virtual QString senderIP() const = 0;
    // A datagram from a third party to the receiver.
    virtual void sendFromOutside(const QByteArray& bytes) = 0;

    QList<Arrival> arrivals;
    std::function<void()> whileHandling;  // run inside the next handler, once

    void record() {
        receiver().receiveHandler = [this](const ReceivedDatagram& datagram) {
            ++depth_;
            arrivals.append({datagram.size, datagram.bytes.toByteArray(), datagram.fromIP, depth_});
            if (auto run = std::exchange(whileHandling, nullptr)) {
                run();
            }
            --depth_;
        };
    }
    // Everything received until the marker, which the test sends last.
    QList<QByteArray> bytesUntil(const QByteArray& marker) {
        [&] { QTRY_VERIFY(!arrivals.isEmpty() && arrivals.last().bytes == marker); }();
        QList<QByteArray> all;
        for (const Arrival& arrival : arrivals) {
            all.append(arrival.bytes);
        }
        return all;
    }

  private:
    int depth_ = 0;
};

class RealPair : public Pair {
  public:
    RealPair() {
        receiver_.bind(0);
        sender_ = std::make_unique<UdpSocketEndpoint>(receiver_.boundPort());
        sender_->bind(0);
        record();
    }
    UdpEndpoint& sender() override { return *sender_; }
    UdpEndpoint& receiver() override { return receiver_; }
    QString senderIP() const override { return u"127.0.0.1"_s; }
    void sendFromOutside(const QByteArray& bytes) override {
        NativeUdpSocket raw;
        QCOMPARE(raw.open(), 0);
        QCOMPARE(raw.sendTo(std::span<const char>(bytes.constData(), bytes.size()), 0x7F000001,
                            receiver_.boundPort()),
                 0);
    }

  private:
    UdpSocketEndpoint receiver_{0};
    std::unique_ptr<UdpSocketEndpoint> sender_;
};

class FakePair : public Pair {
  public:
    FakePair() {
        network_.addHostName(u"localhost"_s, kReceiverHost);
        record();
    }
    UdpEndpoint& sender() override { return sender_; }
    UdpEndpoint& receiver() override { return receiver_; }
    QString senderIP() const override { return sender_.address(); }
    void sendFromOutside(const QByteArray& bytes) override {
        network_.inject(u"10.9.9.9"_s, kReceiverHost, bytes);
    }

  private:
    FakeNetwork network_;
    FakeEndpoint receiver_{network_, kReceiverHost};
    FakeEndpoint sender_{network_, u"10.0.0.1"_s};
};

std::unique_ptr<Pair> makePair(Kind kind) {
    if (kind == Kind::Real) {
        return std::make_unique<RealPair>();
    }
    return std::make_unique<FakePair>();
}

void addKinds() {
    QTest::addColumn<Kind>("kind");
}

// Adds a row for each kind (after addKinds() and the case's own columns);
// name is the case's own part of the row's name.
template <typename... Values>
void addRows(const char* name, Values... values) {
    ((QTest::addRow("real: %s", name) << Kind::Real) << ... << values);
    ((QTest::addRow("fake: %s", name) << Kind::Fake) << ... << values);
}

// What a send raised: "none", or the error's kind and text.
QString attempt(UdpEndpoint& endpoint, const QString& host, const QByteArray& bytes) {
    try {
        endpoint.send(host, bytes);
        return u"none"_s;
    } catch (const HostNotFoundError& e) {
        return u"HostNotFoundError "_s + e.message();
    } catch (const UdpSocketError& e) {
        return u"UdpSocketError "_s + e.message();
    } catch (const EmptyDatagramError& e) {
        return u"EmptyDatagramError "_s + e.message();
    }
}

}  // namespace

Q_DECLARE_METATYPE(Kind)

class EndpointContractTest : public QObject {
    Q_OBJECT
  private slots:
    void everyNumericFormReachesTheAddress_data() {
        addKinds();
        QTest::addColumn<QString>("host");
        addRows("dotted", u"127.0.0.1"_s);
        addRows("short form", u"127.1"_s);
        // Read as decimal, 0177 would send to 177.0.0.1.
        addRows("leading zero is octal", u"0177.0.0.01"_s);
        addRows("hexadecimal", u"0x7f.0.0.1"_s);
        addRows("one number", u"2130706433"_s);
        addRows("the text ends at a NUL", u"127.0.0.1\0junk"_s);
    }
    void everyNumericFormReachesTheAddress() {
        QFETCH(Kind, kind);
        QFETCH(QString, host);
        const auto pair = makePair(kind);
        bool eventRan = false;
        QTimer::singleShot(0, [&] { eventRan = true; });
        QCOMPARE(attempt(pair->sender(), host, "hello"), u"none"_s);
        QVERIFY(!eventRan);  // no lookup, no wait
        QCOMPARE(pair->bytesUntil("hello"), QList<QByteArray>{"hello"});
        QCOMPARE(pair->arrivals.first().fromIP, pair->senderIP());
        QCOMPARE(pair->arrivals.first().size, 5);
    }

    // A name is looked up while events run; the end of the wait is told
    // afterwards, from the event loop.
    void namesAreLookedUpWhileEventsRun_data() {
        addKinds();
        addRows("localhost");
    }
    void namesAreLookedUpWhileEventsRun() {
        QFETCH(Kind, kind);
        const auto pair = makePair(kind);
        int waitEnded = 0;
        pair->sender().lookupWaitEndedHandler = [&] { ++waitEnded; };
        bool sawWait = false;
        QTimer::singleShot(0, [&] { sawWait = pair->sender().isWaitingForLookup(); });
        QCOMPARE(attempt(pair->sender(), u"localhost"_s, "named"), u"none"_s);
        QVERIFY(sawWait);
        QVERIFY(!pair->sender().isWaitingForLookup());
        QCOMPARE(waitEnded, 0);
        QCOMPARE(pair->bytesUntil("named"), QList<QByteArray>{"named"});
        QTRY_COMPARE(waitEnded, 1);
    }

    void refusedSends_data() {
        addKinds();
        QTest::addColumn<QString>("host");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("raised");
        const QString null = u"UdpSocketError Null Remote Address"_s;
        const QString canceled = u"HostNotFoundError Host Lookup Canceled"_s;
        addRows("nothing to send", kReceiverHost, QByteArray(),
                u"EmptyDatagramError Invalid buffer"_s);
        addRows("0.0.0.0", u"0.0.0.0"_s, QByteArray("x"), null);
        addRows("0 (short form)", u"0"_s, QByteArray("x"), null);
        addRows("unresolvable name", kUnresolvable, QByteArray("x"), canceled);
        // Cut to 127 characters, this would be a valid numeric address.
        addRows("over-long text", kReceiverHost + QString(130, u' '), QByteArray("x"), canceled);
        // All ones is no numeric address; as a dotted quad it is its own
        // answer, and the broadcast it names is not sent to.
        addRows("all ones", u"255.255.255.255"_s, QByteArray("x"), u"none"_s);
    }
    void refusedSends() {
        QFETCH(Kind, kind);
        QFETCH(QString, host);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, raised);
        const auto pair = makePair(kind);
        QCOMPARE(attempt(pair->sender(), host, bytes), raised);
        QCOMPARE(attempt(pair->sender(), kReceiverHost, "end"), u"none"_s);
        QCOMPARE(pair->bytesUntil("end"), QList<QByteArray>{"end"});
    }

    // A datagram longer than an endpoint takes is a failed read (size -1, no
    // bytes), never cut; the next one is unaffected.
    void receivesEveryDatagramWholeOrAsAFailedRead_data() {
        addKinds();
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("size");
        addRows("empty", 0, 0);
        addRows("one byte", 1, 1);
        addRows("fills the area", 2048, 2048);
        addRows("one byte too long", 2049, -1);
    }
    void receivesEveryDatagramWholeOrAsAFailedRead() {
        QFETCH(Kind, kind);
        QFETCH(int, length);
        QFETCH(int, size);
        const auto pair = makePair(kind);
        QByteArray bytes(length, '\0');
        for (int i = 0; i < length; ++i) {
            bytes[i] = static_cast<char>(i % 251);
        }
        pair->sendFromOutside(bytes);
        pair->sendFromOutside("end");
        pair->bytesUntil("end");
        QCOMPARE(pair->arrivals.size(), 2);
        QCOMPARE(pair->arrivals.first().size, size);
        QCOMPARE(pair->arrivals.first().bytes, size < 0 ? QByteArray() : bytes);
    }

    // Datagrams come one per handler call, in order; one that arrives while a
    // handler runs a modal loop is delivered inside that loop.
    void deliversInOrderAndNestedInAModalLoop_data() {
        addKinds();
        addRows("order and nesting");
    }
    void deliversInOrderAndNestedInAModalLoop() {
        QFETCH(Kind, kind);
        const auto pair = makePair(kind);
        pair->sendFromOutside("first");
        pair->sendFromOutside("second");
        QTRY_COMPARE(pair->arrivals.size(), 2);
        QCOMPARE(pair->arrivals[0].bytes, QByteArray("first"));
        QCOMPARE(pair->arrivals[1].bytes, QByteArray("second"));
        QCOMPARE(pair->arrivals[1].depth, 1);

        pair->whileHandling = [&] {
            QEventLoop modal;
            const auto before = pair->arrivals.size();
            QTimer guard;  // ends a broken test instead of hanging it
            QObject::connect(&guard, &QTimer::timeout, &modal, &QEventLoop::quit);
            guard.start(10000);
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, &modal, [&] {
                if (pair->arrivals.size() > before) {
                    modal.quit();
                }
            });
            poll.start(1);
            pair->sendFromOutside("nested");
            modal.exec();
        };
        pair->sendFromOutside("modal");
        pair->bytesUntil("nested");
        QCOMPARE(pair->arrivals.size(), 4);
        QCOMPARE(pair->arrivals[2].bytes, QByteArray("modal"));
        QCOMPARE(pair->arrivals[3].depth, 2);
        QCOMPARE(pair->receiver().lostDatagrams(), quint64{0});
    }

    // A send started while another waits for its lookup waits for its own
    // answer; the outer send then goes on with its own.
    void nestedLookupsGetTheirOwnAnswers_data() {
        addKinds();
        QTest::addColumn<QString>("outerHost");
        QTest::addColumn<QString>("innerHost");
        addRows("outer resolves, inner fails", u"localhost"_s, kUnresolvable);
        addRows("outer fails, inner resolves", kUnresolvable, u"localhost"_s);
    }
    void nestedLookupsGetTheirOwnAnswers() {
        QFETCH(Kind, kind);
        QFETCH(QString, outerHost);
        QFETCH(QString, innerHost);
        const auto pair = makePair(kind);
        int waitEnded = 0;
        pair->sender().lookupWaitEndedHandler = [&] { ++waitEnded; };
        bool innerRanDuringWait = false;
        QString inner;
        QTimer::singleShot(0, [&] {
            innerRanDuringWait = pair->sender().isWaitingForLookup();
            inner = attempt(pair->sender(), innerHost, "inner");
        });
        const QString outer = attempt(pair->sender(), outerHost, "outer");

        QVERIFY(innerRanDuringWait);
        const auto expectedFor = [](const QString& host) {
            return host == kUnresolvable ? u"HostNotFoundError Host Lookup Canceled"_s : u"none"_s;
        };
        QCOMPARE(outer, expectedFor(outerHost));
        QCOMPARE(inner, expectedFor(innerHost));
        QVERIFY(!pair->sender().isWaitingForLookup());
        QTRY_COMPARE(waitEnded, 1);

        (void)attempt(pair->sender(), kReceiverHost, "end");
        const QByteArray delivered = outerHost == kUnresolvable ? "inner" : "outer";
        QCOMPARE(pair->bytesUntil("end"), (QList<QByteArray>{delivered, "end"}));
    }
};

QTEST_GUILESS_MAIN(EndpointContractTest)
#include "test_endpoint_contract.moc"
