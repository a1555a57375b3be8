#pragma once

#include "net/UdpEvents.h"

#include <QString>

#include <span>

// What the conference needs from the network: set the destination, send a
// buffer as one datagram, read the datagram that was just announced, and be
// told of every datagram received. UdpSocketEndpoint implements it on a real
// socket; tests plug in endpoints of an in-process network.
class UdpEndpoint {
  public:
    // Outcome of binding the local port; sending works whatever it says.
    enum class BindState { NotBound, Bound, NoPermission, PortTaken, OtherFailure };

    virtual ~UdpEndpoint();

    virtual void setRemoteHost(const QString& host) = 0;
    [[nodiscard]] virtual QString remoteHost() const = 0;

    // Sends the first count characters of buffer (capacity = buffer.size()) to
    // remoteHost. Raises Exception or UdpSocketError on failure.
    virtual void sendDatagram(std::span<const char> buffer, int count) = 0;

    // Copies the last received datagram into buffer, at most buffer.size() bytes;
    // count := the number of bytes copied, or the failed read's negative size.
    virtual void readDatagram(std::span<char> buffer, int& count) = 0;

    [[nodiscard]] virtual BindState bindState() const = 0;
    // The system's words for a failed bind; empty when bound.
    [[nodiscard]] virtual QString bindFailureReason() const = 0;

    // How many datagrams arrived but were lost before delivery.
    [[nodiscard]] virtual quint64 lostDatagrams() const { return 0; }

    // Where the endpoint reports; see UdpEvents.h.
    ReceiveHandler receiveHandler;
    LossHandler lossHandler;
    InvalidHostHandler invalidHostHandler;
    InvalidBufferHandler invalidBufferHandler;

  protected:
    UdpEndpoint() = default;
    UdpEndpoint(const UdpEndpoint&) = delete;
    UdpEndpoint& operator=(const UdpEndpoint&) = delete;
};
