// The in-process network that the conference tests run on must fail where
// the real endpoint fails, or those tests prove nothing.
#include "support/FakeEndpoint.h"
#include "support/FakeNetwork.h"

#include "net/UdpSocketError.h"
#include "text/Exception.h"

#include <QTest>

#include <array>

using namespace Qt::StringLiterals;

class FakeNetworkTest : public QObject {
    Q_OBJECT
  private slots:
    void deliversInOrderAndRecordsEverything();
    void refusedSends_data();
    void refusedSends();
    void readIsCutToTheBuffer();
};

void FakeNetworkTest::deliversInOrderAndRecordsEverything() {
    FakeNetwork network;
    FakeEndpoint a(network, u"10.0.0.1"_s);
    FakeEndpoint b(network, u"10.0.0.2"_s);
    network.addHostName(u"pc-b"_s, u"10.0.0.2"_s);
    QStringList received;
    b.receiveHandler = [&](QObject* sender, int size, const QString& from, int port) {
        std::array<char, 16> buffer{};
        int count = 0;
        b.readDatagram(buffer, count);
        QCOMPARE(sender, &b);
        QCOMPARE(port, 333);
        received.append(from + u' ' + QString::number(size) + u' ' +
                        QString::fromLatin1(buffer.data(), count));
    };
    const std::array<char, 8> one{'o', 'n', 'e'};
    const std::array<char, 8> two{'t', 'w', 'o', '!'};
    a.setRemoteHost(u"10.0.0.2"_s);
    a.sendDatagram(one, 3);
    QVERIFY(received.isEmpty());      // only through the event loop
    a.setRemoteHost(u"10.0.0.99"_s);  // nobody there
    a.sendDatagram(one, 2);
    a.setRemoteHost(u"pc-b"_s);
    a.sendDatagram(two, 4);  // the lookup wait lets the earlier ones arrive
    QCOMPARE(received.size(), 1);
    network.flush();
    QCOMPARE(received, (QStringList{u"10.0.0.1 3 one"_s, u"10.0.0.1 4 two!"_s}));
    QCOMPARE(network.log().size(), 3);
    QCOMPARE(network.log().at(1).to, u"10.0.0.99"_s);
    QCOMPARE(network.log().at(2).to, u"10.0.0.2"_s);
}

void FakeNetworkTest::refusedSends_data() {
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("bufferEvents");
    QTest::addColumn<int>("hostEvents");
    QTest::newRow("zero count") << u"10.0.0.2"_s << 0 << u"Invalid buffer"_s << 1 << 0;
    QTest::newRow("count past the buffer") << u"10.0.0.2"_s << 9 << u"Invalid buffer"_s << 1 << 0;
    QTest::newRow("unknown name") << u"no.such.host"_s << 3 << u"Host Lookup Canceled"_s << 0 << 1;
    QTest::newRow("all ones is a name")
        << u"255.255.255.255"_s << 3 << u"Host Lookup Canceled"_s << 0 << 1;
    QTest::newRow("null address") << u"0.0.0.0"_s << 3 << u"Null Remote Address"_s << 0 << 0;
}

void FakeNetworkTest::refusedSends() {
    QFETCH(QString, host);
    QFETCH(int, count);
    QFETCH(int, bufferEvents);
    QFETCH(int, hostEvents);
    FakeNetwork network;
    FakeEndpoint a(network, u"10.0.0.1"_s);
    int buffer = 0;
    int invalidHost = 0;
    a.invalidBufferHandler = [&](bool&, std::span<char>, int&) { ++buffer; };
    a.invalidHostHandler = [&](bool&) { ++invalidHost; };
    const std::array<char, 8> data{'a', 'b', 'c'};
    a.setRemoteHost(host);
    QString error;
    bool socketError = false;
    try {
        a.sendDatagram(data, count);
    } catch (const UdpSocketError& e) {
        error = e.message();
        socketError = true;
    } catch (const Exception& e) {
        error = e.message();
    }
    QTEST(error, "error");
    QCOMPARE(socketError, error != u"Invalid buffer"_s);
    QCOMPARE(buffer, bufferEvents);
    QCOMPARE(invalidHost, hostEvents);
    QVERIFY(network.log().isEmpty());
}

void FakeNetworkTest::readIsCutToTheBuffer() {
    FakeNetwork network;
    FakeEndpoint a(network, u"10.0.0.1"_s);
    int announced = 0;
    int count = 0;
    std::array<char, 8> buffer{};
    a.receiveHandler = [&](QObject*, int size, const QString&, int) {
        announced = size;
        a.readDatagram(buffer, count);
    };
    network.inject(u"10.0.0.7"_s, u"10.0.0.1"_s, QByteArray(300, 'q'));
    network.flush();
    QCOMPARE(announced, 300);
    QCOMPARE(count, 8);
}

QTEST_GUILESS_MAIN(FakeNetworkTest)
#include "test_fake_network.moc"
