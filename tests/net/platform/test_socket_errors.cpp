// The error codes of the Linux socket: which ones the endpoint tolerates.
#include "net/platform/NativeUdpSocket.h"

#include <QTest>

#include <cerrno>

class SocketErrorsTest : public QObject {
    Q_OBJECT
  private slots:
    // Only "would block" and "interrupted" mean "not now"; a code that holds
    // every bit of EAGAIN is still another error.
    void toleratedErrors() {
        static_assert((ENOTBLK & EAGAIN) == EAGAIN);
        QVERIFY(NativeUdpSocket::isTolerated(EWOULDBLOCK));
        QVERIFY(NativeUdpSocket::isTolerated(EINTR));
        QVERIFY(!NativeUdpSocket::isTolerated(ENOTBLK));
        QVERIFY(!NativeUdpSocket::isTolerated(EBADF));
    }
};

QTEST_GUILESS_MAIN(SocketErrorsTest)
#include "test_socket_errors.moc"
