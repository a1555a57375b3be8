#pragma once

#include "net/UdpEndpoint.h"
#include "net/UdpEvents.h"
#include "net/platform/NativeUdpSocket.h"

#include <QBasicTimer>
#include <QObject>
#include <QString>

#include <array>
#include <deque>
#include <optional>
#include <span>
#include <vector>

class QSocketNotifier;

// The program's UDP endpoint: one IPv4 datagram socket bound to localPort on
// every local address. sendDatagram() sends a buffer to remoteHost:remotePort,
// resolving a host name first; every datagram that arrives goes to
// receiveHandler, from which the owner copies it with readDatagram().
// Everything runs on the GUI thread.
//
// Receiving: each readability notice takes in everything the socket holds,
// into a bounded queue, so a burst never overflows the system's buffer while
// a handler works. The queued datagrams go to receiveHandler one per pass of
// the event loop, in arrival order; the passes go on while a handler runs a
// nested event loop (a modal box), so datagrams are then delivered nested.
// What the queue or the system had to drop is counted (lostDatagrams) and
// reported to lossHandler.
//
// Name lookup: a send to a name waits for the answer in a nested event loop,
// so GUI events (datagrams, timers, commands) are handled meanwhile; each
// waiting send gets the answer to its own lookup.
class UdpSocketEndpoint : public QObject, public UdpEndpoint {
    Q_OBJECT

  public:
    // Size of the datagram area: longer datagrams are read as failed (-1).
    static constexpr int kDatagramArea = 2048;
    // The longest host text; a longer one is a name that cannot be resolved.
    static constexpr int kNameArea = 127;
    // The receive queue holds at most this many datagrams and bytes.
    static constexpr int kQueueDatagrams = 100'000;
    static constexpr qint64 kQueueBytes = 64LL * 1024 * 1024;
    // The receive buffer asked of the system.
    static constexpr int kReceiveBufferBytes = 8 * 1024 * 1024;

    // Creates the socket (not yet bound; writing localPort binds it).
    // Raises UdpSocketError when no socket can be created.
    explicit UdpSocketEndpoint(QObject* owner);
    ~UdpSocketEndpoint() override;

    void setRemoteHost(const QString& host) override;
    [[nodiscard]] QString remoteHost() const override;
    // Only the low 16 bits are used.
    void setRemotePort(int port);
    [[nodiscard]] int remotePort() const;
    // Rebuilds the socket and binds it to the port (low 16 bits) on every
    // local address. Raises UdpSocketError only when no socket can be created;
    // a failed bind is recorded in bindState() and signalled by bindFailed().
    void setLocalPort(int port);
    [[nodiscard]] int localPort() const;
    // The highest status level passed on to statusHandler.
    void setReportLevel(int level);
    [[nodiscard]] int reportLevel() const;

    // Sends the first count characters of buffer as one datagram. Works on its
    // own copy of buffer. A count of 0 is offered to invalidBufferHandler for repair;
    // an unrepaired count, and a count outside 0..buffer.size(), raise Exception
    // "Invalid buffer". Raises UdpSocketError "Host Lookup Canceled" when the
    // name cannot be resolved, "Null Remote Address" for 0.0.0.0.
    void sendDatagram(std::span<const char> buffer, int count) override;
    // Copies the last datagram read, at most buffer.size() bytes, to buffer.
    // count := the number of bytes copied, or -1 when the read failed.
    void readDatagram(std::span<char> buffer, int& count) override;

    // Binds the socket to localPort. A socket is bound once: after a bind,
    // successful or failed, this does nothing until localPort is written
    // again, so the owner's second call after loading its settings neither
    // fails nor reports a failure twice.
    void bindLocal();

    // The error text for a socket error code: empty for a tolerated code
    // (would block, interrupted); otherwise raises UdpSocketError
    // "Unknown Error No. " + code.
    QString checkSocketError(int lastError);

    [[nodiscard]] BindState bindState() const override { return bindState_; }
    [[nodiscard]] QString bindFailureReason() const override { return bindFailureReason_; }
    // The port the socket is bound to; 0 when it is not bound.
    [[nodiscard]] quint16 boundPort() const;

    // True while a send waits for a name lookup. The endpoint and its owner
    // must not be destroyed then (the waiting send would resume inside them):
    // defer a close until lookupWaitEnded().
    [[nodiscard]] bool isWaitingForLookup() const { return lookupWaits_ > 0; }

    [[nodiscard]] quint64 lostDatagrams() const override { return queueDrops_ + kernelDrops_; }
    // Datagrams taken in but not yet delivered.
    [[nodiscard]] int queuedDatagrams() const { return static_cast<int>(queue_.size()); }
    // Lowers (or restores) the queue's bound on datagrams; for tests.
    void setQueueLimit(int datagrams) { queueLimit_ = datagrams; }

    // The last status text passed on to statusHandler.
    [[nodiscard]] QString lastStatus() const { return lastStatus_; }

    SentHandler sentHandler;
    StatusHandler statusHandler;

  signals:
    // A bind failed; bindState() and bindFailureReason() say why.
    void bindFailed();
    // No send waits for a lookup any more. Posted through the event queue, so
    // it never runs inside the send that waited, and dropped if another wait
    // has begun by the time it would be delivered.
    void lookupWaitEnded();

  protected:
    void timerEvent(QTimerEvent* event) override;

  private:
    struct Queued {
        QByteArray bytes;
        int size = -1;  // -1: a failed read
        quint32 address = 0;
        quint16 port = 0;
    };

    void reportStatus(int level, const QString& text);
    void openSocket();
    void closeSocket();
    // Takes in everything the socket holds, then delivers the next datagram
    // unless a delivery is already on its way.
    void receivePending();
    void takeIn();
    void enqueue(const NativeUdpSocket::Datagram& datagram, const char* bytes);
    // Delivers the queue's first datagram. While more wait, a zero timer of
    // the current delivery depth delivers one per pass of the event loop,
    // nested loops of a running handler included.
    void deliverNext();
    void schedulePasses();
    [[nodiscard]] bool passTimerActive(int depth) const;
    void noteKernelDrops(quint32 counter);
    void reportLoss();
    // The destination of a send, in host byte order.
    [[nodiscard]] quint32 resolveRemote();
    // One lookup of the name, waited for in a nested event loop; the first
    // IPv4 address of the answer, or nothing.
    [[nodiscard]] std::optional<quint32> lookUp(const QString& name);

    NativeUdpSocket socket_;
    QSocketNotifier* notifier_ = nullptr;

    // Datagrams read by one system call, and the area they are read into.
    static constexpr size_t kReadSlots = 32;
    std::array<char, kReadSlots * kDatagramArea> readArea_{};
    std::deque<Queued> queue_;
    qint64 queuedBytes_ = 0;
    int queueLimit_ = kQueueDatagrams;
    // One zero timer per depth of handlers running inside each other.
    std::vector<QBasicTimer> passTimers_;
    int deliveryDepth_ = 0;
    quint64 queueDrops_ = 0;
    // Drops the system counted on earlier sockets, and the current socket's
    // counter as last read.
    quint64 kernelDrops_ = 0;
    quint32 kernelCounter_ = 0;
    quint64 lossReported_ = 0;

    // The datagram being delivered, as readDatagram copies it.
    QByteArray current_;
    int receivedLength_ = 0;

    QString remoteHost_;
    int remotePort_ = 0;
    int localPort_ = 0;
    int reportLevel_ = 1;
    QString lastStatus_;

    BindState bindState_ = BindState::NotBound;
    QString bindFailureReason_;

    int lookupWaits_ = 0;
};
