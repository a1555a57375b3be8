#pragma once

#include "net/HostResolver.h"
#include "net/ReceiveQueue.h"
#include "net/UdpEndpoint.h"
#include "net/platform/NativeUdpSocket.h"

#include <QObject>
#include <QString>

#include <array>

class QSocketNotifier;

// The program's UDP endpoint: one IPv4 datagram socket, bound to a local
// port on every local address, that sends to one remote port.
//
// Receiving: each readability notice takes in everything the socket holds
// into a ReceiveQueue, so a burst never overflows the system's buffer while
// a handler works; the queue delivers them one at a time, a slice of time
// per pass of the event loop. What the queue or the system had to drop is counted (lostDatagrams)
// and reported to lossHandler.
//
// Sending: a numeric host is sent to at once; a name is looked up by a
// HostResolver, which waits in a nested event loop.
class UdpSocketEndpoint : public QObject, public UdpEndpoint {
  public:
    // Longer datagrams are received as failed reads (size -1), never cut.
    static constexpr int kMaxDatagramSize = 2048;
    // The receive buffer asked of the system.
    static constexpr int kReceiveBufferBytes = 8 * 1024 * 1024;
    static constexpr int kSendBufferBytes = 4 * 1024 * 1024;

    // Creates the socket, not yet bound, that sends to remotePort. Raises
    // UdpSocketError "Unknown Error No. " + code when no socket can be made.
    explicit UdpSocketEndpoint(quint16 remotePort, QObject* parent = nullptr);
    ~UdpSocketEndpoint() override;

    // Binds the socket to the port (0: one the system picks) on every local
    // address, once. A failed bind is recorded in bindState(); the endpoint
    // then still sends, from a port the system picks.
    void bind(quint16 localPort);
    // The port the socket is bound to; 0 when it is not bound.
    [[nodiscard]] quint16 boundPort() const;

    void send(const QString& host, QByteArrayView bytes) override;
    [[nodiscard]] bool isWaitingForLookup() const override { return resolver_.isWaiting(); }
    [[nodiscard]] BindState bindState() const override { return bindState_; }
    [[nodiscard]] QString bindFailureReason() const override { return bindFailureReason_; }
    [[nodiscard]] quint64 lostDatagrams() const override { return queue_.dropped() + kernelDrops_; }

    // Datagrams taken in but not yet delivered.
    [[nodiscard]] int queuedDatagrams() const { return queue_.size(); }
    // Lowers (or restores) the queue's bound on datagrams; for tests.
    void setQueueLimit(int datagrams) { queue_.setLimit(datagrams); }

  private:
    // Takes in everything the socket holds, then delivers.
    void receivePending();
    void takeIn();
    void noteKernelDrops(quint32 counter);
    void reportLoss();

    NativeUdpSocket socket_;
    QSocketNotifier* notifier_ = nullptr;
    quint16 remotePort_;
    BindState bindState_ = BindState::NotBound;
    QString bindFailureReason_;

    // Datagrams read by one system call, and the area they are read into.
    static constexpr size_t kReadSlots = 32;
    std::array<char, kReadSlots * kMaxDatagramSize> readArea_{};
    ReceiveQueue queue_;
    // Drops the system counted, as its counter for the socket last read.
    quint64 kernelDrops_ = 0;
    quint32 kernelCounter_ = 0;
    quint64 lossReported_ = 0;

    HostResolver resolver_;
};
