#pragma once

#include "net/UdpEvents.h"

#include <QString>

#include <span>

// What the conference needs from the network: set the destination, send a
// buffer as one datagram, read the datagram that was just announced, and be
// told of every datagram received. TNMUDP implements it on a real socket;
// tests plug in endpoints of an in-process network.
class UdpEndpoint {
  public:
    // Outcome of binding the local port; sending works whatever it says.
    enum class BindState { NotBound, Bound, NoPermission, PortTaken, OtherFailure };

    virtual ~UdpEndpoint();

    virtual void SetRemoteHost(const QString& host) = 0;
    [[nodiscard]] virtual QString RemoteHost() const = 0;

    // Sends the first count characters of Buff (capacity = Buff.size()) to
    // RemoteHost. Raises Exception or UDPSockError on failure.
    virtual void SendDatagram(std::span<const char> Buff, int count) = 0;

    // Copies the last received datagram into Buff, at most Buff.size() bytes;
    // count := the number of bytes copied, or the failed read's negative size.
    virtual void ReadDatagram(std::span<char> Buff, int& count) = 0;

    [[nodiscard]] virtual BindState bindState() const = 0;
    // The system's words for a failed bind; empty when bound.
    [[nodiscard]] virtual QString bindFailureReason() const = 0;

    TOnReceive OnDataReceived;
    THandlerEvent OnInvalidHost;
    TBuffInvalid OnBufferInvalid;

  protected:
    UdpEndpoint() = default;
    UdpEndpoint(const UdpEndpoint&) = delete;
    UdpEndpoint& operator=(const UdpEndpoint&) = delete;
};
