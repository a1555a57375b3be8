#include "net/BindFailureMessage.h"
#include "net/UdpSocketEndpoint.h"
#include "net/UdpSocketError.h"
#include "net/platform/NativeUdpSocket.h"

#include <QEventLoop>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <QElapsedTimer>

#include <cerrno>
#include <memory>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

// The blank makes it no valid host name, so the lookup fails without asking
// a name server (whose answer may take seconds).
const QString kUnresolvable = u"no such host.invalid"_s;

struct Arrival {
    int bytes;
    QString fromIP;
    int port;
    QByteArray data;  // what readDatagram copied inside the handler
    int depth;        // how many handlers were running, this one included
};

// An endpoint on a port the system chose that records every datagram.
struct Listener {
    UdpSocketEndpoint udp{nullptr};
    QList<Arrival> arrivals;
    int depth = 0;
    std::function<void()> whileHandling;  // run inside the handler, once

    Listener() {
        udp.setLocalPort(0);
        udp.receiveHandler = [this](QObject*, int bytes, const QString& ip, int port) {
            ++depth;
            QByteArray data(4096, '\x7f');
            int count = 0;
            udp.readDatagram(std::span<char>(data.data(), data.size()), count);
            data.truncate(std::max(count, 0));
            arrivals.append({bytes, ip, port, data, depth});
            if (auto run = std::exchange(whileHandling, nullptr)) {
                run();
            }
            --depth;
        };
    }
    quint16 port() const { return udp.boundPort(); }
    // Waits for the marker that a test sends last, so anything sent before
    // it has been received by then.
    QList<QByteArray> payloadsUntil(const QByteArray& marker) {
        [&] { QTRY_VERIFY(!arrivals.isEmpty() && arrivals.last().data == marker); }();
        QList<QByteArray> payloads;
        for (const Arrival& a : arrivals) {
            payloads.append(a.data);
        }
        return payloads;
    }
};

// A sender endpoint aimed at the listener.
std::unique_ptr<UdpSocketEndpoint> senderTo(const Listener& listener,
                                            const QString& host = u"127.0.0.1"_s) {
    auto udp = std::make_unique<UdpSocketEndpoint>(nullptr);
    udp->setLocalPort(0);
    udp->setRemoteHost(host);
    udp->setRemotePort(listener.port());
    return udp;
}

void send(UdpSocketEndpoint& udp, const QByteArray& text) {
    QByteArray buffer(256, '\0');
    buffer.replace(0, text.size(), text);
    udp.sendDatagram(std::span<const char>(buffer.constData(), buffer.size()),
                     static_cast<int>(text.size()));
}

void sendRaw(const Listener& listener, const QByteArray& bytes) {
    NativeUdpSocket raw;
    QCOMPARE(raw.open(), 0);
    QCOMPARE(raw.sendTo(std::span<const char>(bytes.constData(), bytes.size()), 0x7F000001,
                        listener.port()),
             0);
}

}  // namespace

enum class Repair { None, LeavesUnhandled, HandledKeepsZero, RepairsToFive, RepairsPastCapacity };
enum class OnInvalid { None, LeavesUnhandled, Handles, HandlesAndRedirects };

class UdpEndpointTest : public QObject {
    Q_OBJECT
  private slots:
    void sendsToNumericAndNamedHosts_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("fromIP");
        QTest::addColumn<bool>("looksUp");
        QTest::newRow("dotted") << u"127.0.0.1"_s << u"127.0.0.1"_s << false;
        QTest::newRow("short form") << u"127.1"_s << u"127.0.0.1"_s << false;
        // Read as decimal, 0177 would send to 177.0.0.1.
        QTest::newRow("leading zero is octal") << u"0177.0.0.01"_s << u"127.0.0.1"_s << false;
        QTest::newRow("hexadecimal") << u"0x7f.0.0.1"_s << u"127.0.0.1"_s << false;
        QTest::newRow("name") << u"localhost"_s << u"127.0.0.1"_s << true;
    }

    // A numeric host is sent to at once; a name is looked up while events run.
    // fromIP is the sender's dotted address, port its port; remotePort uses only
    // its low 16 bits.
    void sendsToNumericAndNamedHosts() {
        QFETCH(QString, host);
        QFETCH(QString, fromIP);
        QFETCH(bool, looksUp);
        Listener listener;
        auto sender = senderTo(listener, host);
        sender->setRemotePort(5 * 65536 + listener.port());
        int sent = 0;
        int invalidHost = 0;
        sender->sentHandler = [&](QObject* s) { sent += (s == sender.get()) ? 1 : 100; };
        sender->invalidHostHandler = [&](bool&) { ++invalidHost; };
        QSignalSpy waitEnded(sender.get(), &UdpSocketEndpoint::lookupWaitEnded);
        bool eventRan = false;
        bool sawWait = false;
        QTimer::singleShot(0, sender.get(), [&] {
            eventRan = true;
            sawWait = sender->isWaitingForLookup();
        });

        send(*sender, "hello");
        QCOMPARE(eventRan, looksUp);
        QCOMPARE(sawWait, looksUp);
        QCOMPARE(sent, 1);
        QCOMPARE(invalidHost, 0);
        QVERIFY(!sender->isWaitingForLookup());

        QTRY_COMPARE(listener.arrivals.size(), 1);
        const Arrival& a = listener.arrivals.first();
        QCOMPARE(a.bytes, 5);
        QCOMPARE(a.data, QByteArray("hello"));
        QCOMPARE(a.fromIP, fromIP);
        QCOMPARE(a.port, int(sender->boundPort()));
        QTRY_COMPARE(waitEnded.size(), looksUp ? 1 : 0);
    }

    void zeroCountRepair_data() {
        QTest::addColumn<Repair>("repair");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("handlerCalls");
        QTest::addColumn<QByteArray>("sentPayload");  // empty: refused
        QTest::newRow("no handler") << Repair::None << 0 << 0 << QByteArray();
        QTest::newRow("left unhandled") << Repair::LeavesUnhandled << 0 << 1 << QByteArray();
        QTest::newRow("handled, count stays 0")
            << Repair::HandledKeepsZero << 0 << 1 << QByteArray();
        QTest::newRow("repaired") << Repair::RepairsToFive << 0 << 1 << QByteArray("Jello");
        QTest::newRow("repaired past the buffer")
            << Repair::RepairsPastCapacity << 0 << 1 << QByteArray();
        QTest::newRow("count past the buffer") << Repair::RepairsToFive << 257 << 0 << QByteArray();
        QTest::newRow("negative count") << Repair::RepairsToFive << -1 << 0 << QByteArray();
    }

    // A zero count goes to invalidBufferHandler, which repairs the send's own copy;
    // anything unrepaired, and any count outside the buffer, is "Invalid buffer".
    void zeroCountRepair() {
        QFETCH(Repair, repair);
        QFETCH(int, count);
        QFETCH(int, handlerCalls);
        QFETCH(QByteArray, sentPayload);
        Listener listener;
        auto sender = senderTo(listener);
        int calls = 0;
        if (repair != Repair::None) {
            sender->invalidBufferHandler = [&](bool& handled, std::span<char> buff, int& length) {
                ++calls;
                QCOMPARE(buff.size(), 256u);
                handled = repair != Repair::LeavesUnhandled;
                buff[0] = 'J';
                length = repair == Repair::RepairsToFive         ? 5
                         : repair == Repair::RepairsPastCapacity ? 257
                                                                 : 0;
            };
        }
        int sent = 0;
        sender->sentHandler = [&](QObject*) { ++sent; };
        QByteArray buffer(256, '\0');
        buffer.replace(0, 11, "hello world");
        const QByteArray before = buffer;

        QString error = u"none"_s;
        try {
            sender->sendDatagram(std::span<const char>(buffer.constData(), buffer.size()), count);
        } catch (const UdpSocketError& e) {
            error = u"UdpSocketError "_s + e.message();
        } catch (const Exception& e) {
            error = e.message();
        }
        QCOMPARE(calls, handlerCalls);
        QCOMPARE(error, sentPayload.isEmpty() ? u"Invalid buffer"_s : u"none"_s);
        QCOMPARE(sent, sentPayload.isEmpty() ? 0 : 1);
        QCOMPARE(buffer, before);

        send(*sender, "end");
        QList<QByteArray> expected{"end"};
        if (!sentPayload.isEmpty()) {
            expected.prepend(sentPayload);
        }
        QCOMPARE(listener.payloadsUntil("end"), expected);
    }

    void refusedDestinations_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<OnInvalid>("onInvalid");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("invalidHostCalls");
        const QString null = u"Null Remote Address"_s;
        const QString canceled = u"Host Lookup Canceled"_s;
        QTest::newRow("0.0.0.0") << u"0.0.0.0"_s << OnInvalid::Handles << null << 0;
        QTest::newRow("0 (short form)") << u"0"_s << OnInvalid::Handles << null << 0;
        QTest::newRow("no handler") << kUnresolvable << OnInvalid::None << canceled << 0;
        QTest::newRow("left unhandled")
            << kUnresolvable << OnInvalid::LeavesUnhandled << canceled << 1;
        QTest::newRow("handled: one more lookup, one event")
            << kUnresolvable << OnInvalid::Handles << canceled << 1;
        QTest::newRow("handler's new host is not used")
            << kUnresolvable << OnInvalid::HandlesAndRedirects << canceled << 1;
        // Cut to the name area, this would be a valid numeric address.
        QTest::newRow("over-long text")
            << u"127.0.0.1"_s + QString(130, u' ') << OnInvalid::LeavesUnhandled << canceled << 1;
    }

    void refusedDestinations() {
        QFETCH(QString, host);
        QFETCH(OnInvalid, onInvalid);
        QFETCH(QString, error);
        QFETCH(int, invalidHostCalls);
        Listener listener;
        auto sender = senderTo(listener, host);
        int calls = 0;
        if (onInvalid != OnInvalid::None) {
            sender->invalidHostHandler = [&](bool& handled) {
                QVERIFY(!handled);
                ++calls;
                handled = onInvalid != OnInvalid::LeavesUnhandled;
                if (onInvalid == OnInvalid::HandlesAndRedirects) {
                    sender->setRemoteHost(u"127.0.0.1"_s);
                }
            };
        }
        int sent = 0;
        sender->sentHandler = [&](QObject*) { ++sent; };

        QString raised;
        try {
            send(*sender, "refused");
        } catch (const UdpSocketError& e) {
            raised = e.message();
        }
        QCOMPARE(raised, error);
        QCOMPARE(calls, invalidHostCalls);
        QCOMPARE(sent, 0);

        sender->setRemoteHost(u"127.0.0.1"_s);
        send(*sender, "end");
        QCOMPARE(listener.payloadsUntil("end"), QList<QByteArray>{"end"});
    }

    void nestedLookupsGetTheirOwnAnswers_data() {
        QTest::addColumn<QString>("outerHost");
        QTest::addColumn<QString>("innerHost");
        QTest::newRow("outer resolves, inner fails") << u"localhost"_s << kUnresolvable;
        QTest::newRow("outer fails, inner resolves") << kUnresolvable << u"localhost"_s;
    }

    // A send started while another waits for its lookup waits for its own answer;
    // the outer send then goes on with its own, whichever arrives first.
    void nestedLookupsGetTheirOwnAnswers() {
        QFETCH(QString, outerHost);
        QFETCH(QString, innerHost);
        Listener listener;
        auto sender = senderTo(listener);
        QSignalSpy waitEnded(sender.get(), &UdpSocketEndpoint::lookupWaitEnded);
        const auto attempt = [&](const QString& host, const QByteArray& text) {
            sender->setRemoteHost(host);
            try {
                send(*sender, text);
                return u"sent"_s;
            } catch (const UdpSocketError& e) {
                return e.message();
            }
        };
        bool innerRanDuringWait = false;
        QString inner;
        QTimer::singleShot(0, sender.get(), [&] {
            innerRanDuringWait = sender->isWaitingForLookup();
            inner = attempt(innerHost, "inner");
        });
        const QString outer = attempt(outerHost, "outer");

        QVERIFY(innerRanDuringWait);
        const auto expectedFor = [](const QString& host) {
            return host == kUnresolvable ? u"Host Lookup Canceled"_s : u"sent"_s;
        };
        QCOMPARE(outer, expectedFor(outerHost));
        QCOMPARE(inner, expectedFor(innerHost));
        QVERIFY(!sender->isWaitingForLookup());
        QTRY_COMPARE(waitEnded.size(), 1);

        (void)attempt(u"127.0.0.1"_s, "end");
        const QByteArray delivered = outerHost == kUnresolvable ? "inner" : "outer";
        QCOMPARE(listener.payloadsUntil("end"), (QList<QByteArray>{delivered, "end"}));
    }

    void receivesEachDatagramWholeOrNotAtAll_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("numberBytes");
        QTest::newRow("empty") << 0 << 0;
        QTest::newRow("one byte") << 1 << 1;
        QTest::newRow("fills the area") << 2048 << 2048;
        QTest::newRow("one byte too long") << 2049 << -1;
        QTest::newRow("far too long") << 5000 << -1;
    }

    // An oversized datagram is reported as a failed read (-1), never cut; the
    // next datagram is unaffected.
    void receivesEachDatagramWholeOrNotAtAll() {
        QFETCH(int, size);
        QFETCH(int, numberBytes);
        Listener listener;
        QByteArray bytes(size, '\0');
        for (int i = 0; i < size; ++i) {
            bytes[i] = static_cast<char>(i % 251);
        }
        sendRaw(listener, bytes);
        sendRaw(listener, "end");
        listener.payloadsUntil("end");
        QCOMPARE(listener.arrivals.size(), 2);
        const Arrival& a = listener.arrivals.first();
        QCOMPARE(a.bytes, numberBytes);
        QCOMPARE(a.data, numberBytes < 0 ? QByteArray() : bytes);
        if (numberBytes >= 0) {
            QCOMPARE(a.fromIP, u"127.0.0.1"_s);
        }
    }

    void readDatagramKeepsToTheCallersBuffer() {
        Listener listener;
        sendRaw(listener, QByteArray(100, 'd'));
        QTRY_COMPARE(listener.arrivals.size(), 1);
        // Between two notices every read gives the same datagram.
        for (int read = 0; read < 2; ++read) {
            QByteArray memory(30, 'g');
            int count = 0;
            listener.udp.readDatagram(std::span<char>(memory.data() + 10, 10), count);
            QCOMPARE(count, 10);
            QCOMPARE(memory, QByteArray(10, 'g') + QByteArray(10, 'd') + QByteArray(10, 'g'));
        }
    }

    // Two datagrams queued together give two events, in order, each reading its
    // own bytes; a datagram that arrives while a handler runs a modal loop is
    // delivered inside that loop.
    void deliversDatagramsInOrderAndNestedInAModalLoop() {
        Listener listener;
        sendRaw(listener, "first");
        sendRaw(listener, "second");
        QTRY_COMPARE(listener.arrivals.size(), 2);
        QCOMPARE(listener.arrivals[0].data, QByteArray("first"));
        QCOMPARE(listener.arrivals[1].data, QByteArray("second"));
        QCOMPARE(listener.arrivals[1].depth, 1);

        listener.whileHandling = [&] {
            QEventLoop modal;
            const auto before = listener.arrivals.size();
            QTimer guard;  // ends a broken test instead of hanging it
            QObject::connect(&guard, &QTimer::timeout, &modal, &QEventLoop::quit);
            guard.start(10000);
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, &modal, [&] {
                if (listener.arrivals.size() > before) {
                    modal.quit();
                }
            });
            poll.start(1);
            sendRaw(listener, "nested");
            modal.exec();
        };
        sendRaw(listener, "modal");
        listener.payloadsUntil("nested");
        QCOMPARE(listener.arrivals.size(), 4);
        QCOMPARE(listener.arrivals[2].data, QByteArray("modal"));
        QCOMPARE(listener.arrivals[3].data, QByteArray("nested"));
        QCOMPARE(listener.arrivals[3].depth, 2);
    }

    // A burst sent while every handler is slow is delivered whole, in order,
    // one datagram per event, and nothing is counted as lost.
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
        QElapsedTimer busy;
        listener.whileHandling = nullptr;
        const auto slowHandler = listener.udp.receiveHandler;
        listener.udp.receiveHandler = [&](QObject* e, int bytes, const QString& ip, int port) {
            slowHandler(e, bytes, ip, port);
            busy.start();
            while (busy.nsecsElapsed() < 20'000) {
            }
        };
        sender.join();
        QTRY_COMPARE_WITH_TIMEOUT(listener.arrivals.size(), kBurst, 60000);
        for (int i = 0; i < kBurst; ++i) {
            QCOMPARE(listener.arrivals[i].data, QByteArray::number(i));
            QCOMPARE(listener.arrivals[i].depth, 1);
        }
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
            sendRaw(listener, QByteArray::number(i));
        }
        QTRY_COMPARE(listener.arrivals.size(), 10);
        QTest::qWait(50);
        QCOMPARE(listener.arrivals.size(), 10);
        for (int i = 0; i < 10; ++i) {
            QCOMPARE(listener.arrivals[i].data, QByteArray::number(i));
        }
        QCOMPARE(listener.udp.lostDatagrams(), quint64{90});
        QCOMPARE(reports, QList<quint64>{90});
        listener.udp.setQueueLimit(UdpSocketEndpoint::kQueueDatagrams);
        sendRaw(listener, "after");
        listener.payloadsUntil("after");
        QCOMPARE(reports, QList<quint64>{90});
    }

    // A port held by another socket is reported, not shared and not raised;
    // the endpoint still sends, and the first holder still receives.
    void bindFailureIsRecordedAndSignalled() {
        Listener holder;
        QSignalSpy holderFailed(&holder.udp, &UdpSocketEndpoint::bindFailed);
        UdpSocketEndpoint second(nullptr);
        QSignalSpy failed(&second, &UdpSocketEndpoint::bindFailed);
        second.setLocalPort(holder.port());
        QCOMPARE(second.bindState(), UdpEndpoint::BindState::PortTaken);
        QVERIFY(!second.bindFailureReason().isEmpty());
        QCOMPARE(second.boundPort(), quint16{0});
        QCOMPARE(failed.size(), 1);

        // Binding again after loading repeats nothing, on either endpoint.
        second.bindLocal();
        holder.udp.bindLocal();
        QCOMPARE(failed.size(), 1);
        QCOMPARE(holderFailed.size(), 0);
        QCOMPARE(holder.udp.bindState(), UdpEndpoint::BindState::Bound);
        // Only the low 16 bits of localPort count.
        const quint16 port = holder.port();
        holder.udp.setLocalPort(2 * 65536 + port);
        QCOMPARE(holder.udp.boundPort(), port);

        second.setRemoteHost(u"127.0.0.1"_s);
        second.setRemotePort(holder.port());
        send(second, "still sends");
        QTRY_COMPARE(holder.arrivals.size(), 1);
        QCOMPARE(holder.arrivals[0].data, QByteArray("still sends"));
        QVERIFY(holder.arrivals[0].port != holder.port());
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
                                    u"/opt/Зовница/vesmar"_s),
                 expected);
    }

    void socketErrorsAndStatusTexts_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("reportLevel");
        QTest::addColumn<QString>("raised");  // empty: tolerated
        QTest::addColumn<QStringList>("statuses");
        const QString check = u"Checking Error In Error Manager"_s;
        QTest::newRow("would block") << EWOULDBLOCK << 16 << QString() << QStringList{check};
        QTest::newRow("interrupted") << EINTR << 16 << QString() << QStringList{check};
        const QString bad = u"Unknown Error No. "_s + QString::number(EBADF);
        QTest::newRow("bad descriptor")
            << EBADF << 16 << bad << QStringList{check, u"Looking Up Error Message"_s + bad};
        // Holds every bit of EAGAIN, yet is a different error.
        const QString notBlock = u"Unknown Error No. "_s + QString::number(ENOTBLK);
        QTest::newRow("bits of EAGAIN, level 8")
            << ENOTBLK << 8 << notBlock << QStringList{u"Looking Up Error Message"_s + notBlock};
        QTest::newRow("level 1 passes nothing") << EBADF << 1 << bad << QStringList{};
    }

    void socketErrorsAndStatusTexts() {
        QFETCH(int, code);
        QFETCH(int, reportLevel);
        QFETCH(QString, raised);
        QFETCH(QStringList, statuses);
        static_assert((ENOTBLK & EAGAIN) == EAGAIN);
        UdpSocketEndpoint udp(nullptr);
        udp.setReportLevel(reportLevel);
        QStringList seen;
        udp.statusHandler = [&](QObject*, const QString& status) { seen.append(status); };
        QString error;
        try {
            QCOMPARE(udp.checkSocketError(code), QString());
        } catch (const UdpSocketError& e) {
            error = e.message();
        }
        QCOMPARE(error, raised);
        QCOMPARE(seen, statuses);

        // A send passes "Sending Data" at level 2.
        Listener listener;
        udp.setRemoteHost(u"127.0.0.1"_s);
        udp.setRemotePort(listener.port());
        seen.clear();
        send(udp, "x");
        QCOMPARE(seen, reportLevel >= 2 ? QStringList{u"Sending Data"_s} : QStringList{});
    }
};

QTEST_GUILESS_MAIN(UdpEndpointTest)
#include "test_udp_endpoint.moc"
