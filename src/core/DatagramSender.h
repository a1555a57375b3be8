#pragma once

#include "core/Protocol.h"

#include <QString>

#include <array>

class UdpEndpoint;

// The send step every datagram goes through: set the endpoint's remoteHost
// to the destination, copy the text into the send buffer followed by a NUL,
// and send the text's characters (the NUL stays behind). All three are done
// again for every datagram, so a send nested inside another one's wait (a
// host-name lookup dispatches events) cannot redirect or overwrite it.
class DatagramSender {
  public:
    explicit DatagramSender(UdpEndpoint& endpoint);

    // Sends text to address. Raises what the endpoint raises; raises
    // Exception for a text longer than a datagram, which is never cut:
    // callers check with Protocol::fits first.
    void send(const QString& address, const QString& text);

  private:
    UdpEndpoint& endpoint_;
    std::array<char, Protocol::kBufferSize> buffer_{};
};
