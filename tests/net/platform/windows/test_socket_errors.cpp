// The error codes of the Winsock socket: which ones the endpoint tolerates,
// how a failed bind is reported, and the system's words for them.
#include "net/platform/NativeUdpSocket.h"

#include <QTest>

#include <winsock2.h>

class SocketErrorsTest : public QObject {
    Q_OBJECT
  private slots:
    // "Would block", "interrupted", and the ICMP reports about earlier sends
    // mean "not now"; a datagram too long for its slot is a failed read.
    void toleratedErrors() {
        QVERIFY(NativeUdpSocket::isTolerated(WSAEWOULDBLOCK));
        QVERIFY(NativeUdpSocket::isTolerated(WSAEINTR));
        QVERIFY(NativeUdpSocket::isTolerated(WSAECONNRESET));
        QVERIFY(NativeUdpSocket::isTolerated(WSAENETRESET));
        QVERIFY(!NativeUdpSocket::isTolerated(WSAEMSGSIZE));
        QVERIFY(!NativeUdpSocket::isTolerated(WSAENOTSOCK));
    }

    // Windows needs no right for a port: a refused bind means the port is
    // held, never the Linux advice about capabilities.
    void bindStates() {
        using S = UdpEndpoint::BindState;
        QCOMPARE(NativeUdpSocket::bindStateFor(0), S::Bound);
        QCOMPARE(NativeUdpSocket::bindStateFor(WSAEADDRINUSE), S::PortTaken);
        QCOMPARE(NativeUdpSocket::bindStateFor(WSAEACCES), S::PortTaken);
        QCOMPARE(NativeUdpSocket::bindStateFor(WSAEADDRNOTAVAIL), S::OtherFailure);
    }

    // The text goes into a sentence of its own: no line break, no full stop.
    void errorTextsAreOneClause() {
        for (const int error : {WSAEADDRINUSE, WSAEACCES, WSAENETUNREACH}) {
            const QString text = NativeUdpSocket::errorText(error);
            QVERIFY2(!text.isEmpty(), qPrintable(QString::number(error)));
            QVERIFY2(!text.contains(u'\n') && !text.contains(u'\r') && !text.endsWith(u'.'),
                     qPrintable(text));
        }
    }
};

QTEST_GUILESS_MAIN(SocketErrorsTest)
#include "test_socket_errors.moc"
