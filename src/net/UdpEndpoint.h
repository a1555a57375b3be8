#pragma once

#include "net/ReceivedDatagram.h"

#include <QByteArrayView>
#include <QString>

#include <functional>

// What the conference needs from the network: send bytes as one datagram to
// a host, and be told of every datagram received. UdpSocketEndpoint
// implements it on a real socket; tests plug in endpoints of an in-process
// network that keep the same rules (tests/net/test_endpoint_contract.cpp
// runs one suite against both).
//
// Everything runs on the GUI thread. Received datagrams are delivered one at
// a time from the event loop, in arrival order; a handler that runs a nested
// event loop (a modal box) gets the next datagrams delivered inside it.
class UdpEndpoint {
  public:
    // Outcome of binding the local port; sending works whatever it says.
    enum class BindState { NotBound, Bound, NoPermission, PortTaken, OtherFailure };

    virtual ~UdpEndpoint();

    // Sends bytes as one datagram to the conference port of host: a numeric
    // IPv4 address in any form inet_addr reads ("10.0.0.7", "10.7",
    // "0x0a.0.0.7"), or a name, which is looked up while GUI events are
    // handled in a nested event loop (see isWaitingForLookup). The text ends
    // at its first NUL; one longer than 127 characters is a name that cannot
    // be resolved; 255.255.255.255 is taken as a name. Raises
    //   EmptyDatagramError "Invalid buffer" for no bytes,
    //   HostNotFoundError "Host Lookup Canceled" for a name without answer,
    //   UdpSocketError "Null Remote Address" for a host that means 0.0.0.0.
    // A datagram the network then drops goes unnoticed, as with any UDP.
    virtual void send(const QString& host, QByteArrayView bytes) = 0;

    // True while a send waits for a name lookup. The endpoint and its owner
    // must not be destroyed then (the waiting send would resume inside
    // them): wait for lookupWaitEndedHandler.
    [[nodiscard]] virtual bool isWaitingForLookup() const = 0;

    [[nodiscard]] virtual BindState bindState() const = 0;
    // The system's words for a failed bind; empty when bound.
    [[nodiscard]] virtual QString bindFailureReason() const = 0;

    // How many datagrams arrived but were lost before delivery.
    [[nodiscard]] virtual quint64 lostDatagrams() const = 0;

    // Each handler is optional: one that is not set is skipped.
    // A datagram arrived.
    std::function<void(const ReceivedDatagram& datagram)> receiveHandler;
    // Datagrams were lost before they could be delivered (the receive queue
    // or the system's buffer was full): the total lost since the start.
    std::function<void(quint64 lostInAll)> lossHandler;
    // No send waits for a lookup any more. Runs from the event loop, never
    // inside the send that waited, and not at all if another wait has begun
    // by then.
    std::function<void()> lookupWaitEndedHandler;

  protected:
    UdpEndpoint() = default;
    UdpEndpoint(const UdpEndpoint&) = delete;
    UdpEndpoint& operator=(const UdpEndpoint&) = delete;
};
