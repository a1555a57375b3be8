#pragma once

#include "net/ProbeSender.h"

// A ProbeSender on a socket of its own: IPv4, UDP, not bound (the system
// picks the source port), non-blocking. A request to an address nobody holds
// stays in the system's queue until address resolution gives up, seconds
// later; on the program's own socket a few hundred of them would fill the
// send queue and block every later send, chat lines included. Here a full
// queue only makes send() answer Busy.
class ProbeSocket : public ProbeSender {
  public:
    // Opens the socket that sends to port; raises Exception when that fails.
    explicit ProbeSocket(quint16 port);
    ~ProbeSocket() override;

    Result send(quint32 address, const QByteArray& datagram) override;

  private:
    qintptr handle_ = -1;
    quint16 port_;
};
