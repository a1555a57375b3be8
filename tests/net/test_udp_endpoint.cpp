// The real endpoint beyond what the contract suite checks on both
// endpoints: bursts against slow handlers, the bounded queue, the bind, and
// the address texts it reads and writes.
#include "net/BindFailureMessage.h"
#include "net/Ipv4Address.h"
#include "net/UdpSocketEndpoint.h"
#include "net/platform/NativeUdpSocket.h"

#include <QElapsedTimer>
#include <QTest>

#include <thread>

using namespace Qt::StringLiterals;

namespace {

// An endpoint on a port the system chose that records every datagram.
struct Listener {
    UdpSocketEndpoint udp{0};
    QList<QByteArray> arrivals;

    Listener() {
        udp.bind(0);
        udp.receiveHandler = [this](const ReceivedDatagram& datagram) {
            arrivals.append(datagram.bytes.toByteArray());
        };
    }
    quint16 port() const { return udp.boundPort(); }
};

void sendRaw(quint16 port, const QByteArray& bytes) {
    NativeUdpSocket raw;
    QCOMPARE(raw.open(), 0);
    QCOMPARE(raw.sendTo(std::span<const char>(bytes.constData(), bytes.size()), 0x7F000001, port),
             0);
}

}  // namespace

class UdpEndpointTest : public QObject {
    Q_OBJECT
  private slots:
    // A burst sent while every handler is slow is delivered whole, in order,
    // one datagram per handler call, and nothing is counted as lost.
    void aBurstAgainstSlowHandlersIsDeliveredWholeAndInOrder() {
        Listener listener;
        listener.udp.lossHandler = [](quint64) { QFAIL("nothing may be lost"); };
        constexpr int kBurst = 5000;
        std::thread sender([port = listener.port()] {
            NativeUdpSocket raw;
            (void)raw.open();
            for (int i = 0; i < kBurst; ++i) {
                const QByteArray text = QByteArray::number(i);
                (void)raw.sendTo(std::span<const char>(text.constData(), text.size()), 0x7F000001,
                                 port);
            }
        });
        int depth = 0;
        int deepest = 0;
        QElapsedTimer busy;
        const auto record = listener.udp.receiveHandler;
        listener.udp.receiveHandler = [&](const ReceivedDatagram& datagram) {
            deepest = std::max(deepest, ++depth);
            record(datagram);
            busy.start();
            while (busy.nsecsElapsed() < 20'000) {
            }
            --depth;
        };
        sender.join();
        QTRY_COMPARE_WITH_TIMEOUT(listener.arrivals.size(), kBurst, 60000);
        for (int i = 0; i < kBurst; ++i) {
            QCOMPARE(listener.arrivals[i], QByteArray::number(i));
        }
        QCOMPARE(deepest, 1);
        QCOMPARE(listener.udp.lostDatagrams(), quint64{0});
    }

    // Beyond the queue's bound datagrams are dropped, counted and reported;
    // those taken in still arrive, first come first served.
    void whatTheQueueCannotHoldIsCountedAndReported() {
        Listener listener;
        listener.udp.setQueueLimit(10);
        QList<quint64> reports;
        listener.udp.lossHandler = [&](quint64 lost) { reports.append(lost); };
        for (int i = 0; i < 100; ++i) {
            sendRaw(listener.port(), QByteArray::number(i));
        }
        QTRY_COMPARE(listener.arrivals.size(), 10);
        QTest::qWait(50);
        QCOMPARE(listener.arrivals.size(), 10);
        for (int i = 0; i < 10; ++i) {
            QCOMPARE(listener.arrivals[i], QByteArray::number(i));
        }
        QCOMPARE(listener.udp.lostDatagrams(), quint64{90});
        QCOMPARE(reports, QList<quint64>{90});
        listener.udp.setQueueLimit(ReceiveQueue::kMaxDatagrams);
        sendRaw(listener.port(), "after");
        QTRY_COMPARE(listener.arrivals.last(), QByteArray("after"));
        QCOMPARE(reports, QList<quint64>{90});
    }

    // A port held by another socket is recorded, not shared and not raised;
    // the endpoint still sends, and the first holder still receives.
    void bindFailureIsRecorded() {
        Listener holder;
        UdpSocketEndpoint second(holder.port());
        second.bind(holder.port());
        QCOMPARE(second.bindState(), UdpEndpoint::BindState::PortTaken);
        QVERIFY(!second.bindFailureReason().isEmpty());
        QCOMPARE(second.boundPort(), quint16{0});

        // Binding again repeats nothing, on either endpoint.
        second.bind(0);
        holder.udp.bind(0);
        QCOMPARE(second.bindState(), UdpEndpoint::BindState::PortTaken);
        QCOMPARE(holder.udp.bindState(), UdpEndpoint::BindState::Bound);

        second.send(u"127.0.0.1"_s, "still sends");
        QTRY_COMPARE(holder.arrivals.size(), 1);
        QCOMPARE(holder.arrivals[0], QByteArray("still sends"));
    }

    void bindFailureMessages_data() {
        using S = UdpEndpoint::BindState;
        QTest::addColumn<S>("state");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no permission")
            << S::NoPermission
            << u"Не удалось открыть UDP-порт 333: нет прав. Приём сообщений отключён. Дайте "
               u"программе право на порт командой: sudo setcap cap_net_bind_service=+ep "
               u"/opt/Зовница/vesmar"_s;
        QTest::newRow("port taken") << S::PortTaken
                                    << u"Не удалось открыть UDP-порт 333: порт уже занят другой "
                                       u"программой. Приём сообщений отключён."_s;
        QTest::newRow("other") << S::OtherFailure
                               << u"Не удалось открыть UDP-порт 333: Cannot assign requested "
                                  u"address. Приём сообщений отключён."_s;
        QTest::newRow("bound") << S::Bound << QString();
    }

    void bindFailureMessages() {
        QFETCH(UdpEndpoint::BindState, state);
        QFETCH(QString, expected);
        QCOMPARE(bindFailureMessage(state, u"Cannot assign requested address"_s,
                                    u"/opt/Зовница/vesmar"_s, 333),
                 expected);
    }

    // The address texts the endpoint writes and takes as literals.
    void addressTexts() {
        QCOMPARE(Ipv4Address::dotted(0x0A00FF07u), u"10.0.255.7"_s);
        QCOMPARE(Ipv4Address::dotted(0), u"0.0.0.0"_s);
        QCOMPARE(Ipv4Address::dottedQuad(u"255.255.255.255"_s),
                 std::optional<quint32>(0xFFFFFFFFu));
        QCOMPARE(Ipv4Address::dottedQuad(u"10.0.0.1"_s), std::optional<quint32>(0x0A000001u));
        for (const QString& text : {u"10.0.1"_s, u"localhost"_s, u"1.2.3.256"_s, u"1.2.3.4 "_s,
                                    u"１.2.3.4"_s, u"01.2.3.4"_s, u"1.2.3.4.5"_s, QString()}) {
            QVERIFY2(!Ipv4Address::dottedQuad(text), qPrintable(text));
        }
    }
};

QTEST_GUILESS_MAIN(UdpEndpointTest)
#include "test_udp_endpoint.moc"
