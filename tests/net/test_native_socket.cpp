// The datagram socket itself, on loopback, as the endpoint uses it: drained
// until empty, a datagram too long discarded whole, an exclusive port, a
// socket that goes on receiving after its sends met a closed port, and the
// numeric address rules that every system must read alike, and the list of
// the machine's own networks.
#include "net/platform/LocalNetworks.h"
#include "net/platform/NativeUdpSocket.h"
#include "net/platform/NumericAddress.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QTest>
#include <QThread>

#include <array>
#include <vector>

namespace {

constexpr quint32 kLoopback = 0x7F000001;
constexpr size_t kSlot = 1024;

std::span<const char> bytesOf(const QByteArray& bytes) {
    return {bytes.constData(), static_cast<size_t>(bytes.size())};
}

// A socket bound to a port the system chose.
struct Bound {
    NativeUdpSocket socket;
    quint16 port = 0;
    Bound() {
        if (socket.open() == 0 && socket.bindAny(0) == 0) {
            port = socket.localPort();
        }
    }
};

// Reads until count datagrams came or a second passed; the sizes read.
std::vector<int> receive(NativeUdpSocket& socket, size_t count, size_t slotCount = 8) {
    std::vector<char> area(slotCount * kSlot);
    std::vector<NativeUdpSocket::Datagram> out(slotCount);
    std::vector<int> sizes;
    const QDeadlineTimer deadline(1000);
    while (sizes.size() < count && !deadline.hasExpired()) {
        const NativeUdpSocket::Batch batch = socket.receiveMany(area, kSlot, out);
        if (batch.count == 0) {
            if (batch.error != 0 && !NativeUdpSocket::isTolerated(batch.error)) {
                sizes.push_back(-1000 - batch.error);  // a failed read shows as such
                return sizes;
            }
            QThread::msleep(5);
        }
        for (int i = 0; i < batch.count; ++i) {
            sizes.push_back(out[static_cast<size_t>(i)].size);
        }
    }
    return sizes;
}

}  // namespace

class NativeSocketTest : public QObject {
    Q_OBJECT
  private slots:
    // More datagrams than slots come in several reads, each read taking
    // what waits up to its slots, in order, each with its sender.
    void drainsEveryWaitingDatagram() {
        Bound receiver;
        Bound sender;
        QVERIFY(receiver.port != 0 && sender.port != 0);
        for (int i = 0; i < 20; ++i) {
            const QByteArray bytes(i + 1, 'x');
            QCOMPARE(sender.socket.sendTo(bytesOf(bytes), kLoopback, receiver.port), 0);
        }
        QThread::msleep(50);
        std::array<char, 8 * kSlot> area{};
        std::array<NativeUdpSocket::Datagram, 8> out{};
        const NativeUdpSocket::Batch first = receiver.socket.receiveMany(area, kSlot, out);
        QCOMPARE(first.count, 8);
        QCOMPARE(out[0].size, 1);
        QCOMPARE(out[7].size, 8);
        QCOMPARE(out[0].address, kLoopback);
        QCOMPARE(out[0].port, sender.port);
        std::vector<int> rest = receive(receiver.socket, 12);
        QCOMPARE(rest.size(), size_t{12});
        QCOMPARE(rest.back(), 20);
        const NativeUdpSocket::Batch empty = receiver.socket.receiveMany(area, kSlot, out);
        QCOMPARE(empty.count, 0);
        QVERIFY(NativeUdpSocket::isTolerated(empty.error));
    }

    // A datagram longer than its slot is reported as failed, never handed
    // on cut; the next one is read whole.
    void tooLongDatagramIsDiscardedNotCut() {
        Bound receiver;
        NativeUdpSocket sender;
        QCOMPARE(sender.open(), 0);
        QCOMPARE(sender.sendTo(bytesOf(QByteArray(3000, 'L')), kLoopback, receiver.port), 0);
        QCOMPARE(sender.sendTo(bytesOf(QByteArray("after")), kLoopback, receiver.port), 0);
        const std::vector<int> sizes = receive(receiver.socket, 2);
        QCOMPARE(sizes, (std::vector<int>{-1, 5}));
    }

    // Sends to a port where nothing listens draw ICMP port-unreachable
    // reports; none of them may fail or hold up the reads that follow.
    // Windows hands them to an unconnected socket as failed reads; Linux
    // and Wine do not, where this only checks that nothing else breaks.
    void closedPortsDoNotStopReceiving() {
        quint16 closedPort = 0;
        {
            Bound gone;
            closedPort = gone.port;
        }
        Bound self;
        Bound peer;
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(self.socket.sendTo(bytesOf(QByteArray("anyone?")), kLoopback, closedPort), 0);
        }
        QThread::msleep(50);
        QCOMPARE(peer.socket.sendTo(bytesOf(QByteArray("hello")), kLoopback, self.port), 0);
        QCOMPARE(receive(self.socket, 1), std::vector<int>{5});
        // And the socket still sends after the reports.
        QCOMPARE(self.socket.sendTo(bytesOf(QByteArray("back")), kLoopback, peer.port), 0);
        QCOMPARE(receive(peer.socket, 1), std::vector<int>{4});
    }

    // A bound port is held alone: a second socket cannot bind it, and the
    // failure reads as a taken port.
    void portIsHeldExclusively() {
        Bound holder;
        QVERIFY(holder.port != 0);
        NativeUdpSocket second;
        QCOMPARE(second.open(), 0);
        const int error = second.bindAny(holder.port);
        QVERIFY(error != 0);
        QCOMPARE(NativeUdpSocket::bindStateFor(error), UdpEndpoint::BindState::PortTaken);
        QVERIFY(!NativeUdpSocket::errorText(error).isEmpty());
    }

    // The machine's own networks, as the search proposes them: never the
    // loopback, each once, each prefix a netmask's.
    void localNetworksLeaveOutTheLoopback() {
        const QList<LocalNetwork> networks = localIPv4Networks();
        for (qsizetype i = 0; i < networks.size(); ++i) {
            QVERIFY((networks[i].address >> 24) != 127);
            QVERIFY(networks[i].prefixLength >= 0 && networks[i].prefixLength <= 32);
            QCOMPARE(networks.indexOf(networks[i]), i);
        }
    }

    void numericAddresses_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<qint64>("expected");  // -1: no address
        QTest::newRow("dotted") << QByteArray("192.168.1.2") << qint64{0xC0A80102};
        QTest::newRow("one part") << QByteArray("3232235778") << qint64{0xC0A80102};
        QTest::newRow("two parts") << QByteArray("10.65535") << qint64{0x0A00FFFF};
        QTest::newRow("three parts") << QByteArray("10.1.258") << qint64{0x0A010102};
        QTest::newRow("octal") << QByteArray("010.0.0.1") << qint64{0x08000001};
        QTest::newRow("hex") << QByteArray("0x7f.0X0.0.0xA") << qint64{0x7F00000A};
        QTest::newRow("zero") << QByteArray("0") << qint64{0};
        QTest::newRow("blank ends it") << QByteArray("1.2.3.4 junk") << qint64{0x01020304};
        QTest::newRow("tab ends it") << QByteArray("1.2.3.4\tx") << qint64{0x01020304};
        QTest::newRow("none address") << QByteArray("255.255.255.255") << qint64{-1};
        QTest::newRow("leading blank") << QByteArray(" 1.2.3.4") << qint64{-1};
        QTest::newRow("octal 8") << QByteArray("08.0.0.1") << qint64{-1};
        QTest::newRow("bare 0x") << QByteArray("0x.1") << qint64{-1};
        QTest::newRow("byte too big") << QByteArray("256.0.0.1") << qint64{-1};
        QTest::newRow("last part too big") << QByteArray("1.2.65536") << qint64{-1};
        QTest::newRow("32 bits exceeded") << QByteArray("4294967296") << qint64{-1};
        QTest::newRow("five parts") << QByteArray("1.2.3.4.5") << qint64{-1};
        QTest::newRow("trailing dot") << QByteArray("1.2.3.4.") << qint64{-1};
        QTest::newRow("empty part") << QByteArray("1..2") << qint64{-1};
        QTest::newRow("trailing letter") << QByteArray("1.2.3.4x") << qint64{-1};
        QTest::newRow("sign") << QByteArray("+1.2.3.4") << qint64{-1};
        QTest::newRow("name") << QByteArray("localhost") << qint64{-1};
        QTest::newRow("empty") << QByteArray() << qint64{-1};
    }

    // The rules of inet_addr, read by the system on Linux and by the
    // program's own parser elsewhere: both give the same for every text.
    void numericAddresses() {
        QFETCH(QByteArray, text);
        QFETCH(qint64, expected);
        const std::optional<quint32> got = NativeUdpSocket::parseNumericAddress(text);
        QCOMPARE(got ? qint64{*got} : qint64{-1}, expected);
        // The parser gives the all-ones address too; only the caller sets
        // it apart.
        const std::optional<quint32> own = parseInetAddress(text.constData());
        QCOMPARE(own && *own != 0xFFFFFFFFu ? qint64{*own} : qint64{-1}, expected);
    }

    // Every short text of address characters reads alike by both.
    void parsersAgreeOnEveryShortText() {
        const QByteArray alphabet("0189.xa \t");
        QByteArray text;
        std::vector<int> digits(5, 0);
        for (;;) {
            for (size_t length = 1; length <= digits.size(); ++length) {
                text.clear();
                for (size_t i = 0; i < length; ++i) {
                    text.append(alphabet[digits[i]]);
                }
                const std::optional<quint32> system = NativeUdpSocket::parseNumericAddress(text);
                std::optional<quint32> own = parseInetAddress(text.constData());
                if (own == 0xFFFFFFFFu) {
                    own.reset();
                }
                QVERIFY2(system == own, text.constData());
            }
            size_t i = 0;
            while (i < digits.size() && ++digits[i] == alphabet.size()) {
                digits[i++] = 0;
            }
            if (i == digits.size()) {
                break;
            }
        }
    }
};

QTEST_GUILESS_MAIN(NativeSocketTest)
#include "test_native_socket.moc"
