#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Sends single request datagrams to the conference port of many addresses
// without ever blocking: a send the system cannot take now says so and is
// tried again later by the caller. Answers do not come back here; the peers
// send them to the conference port, where the program's endpoint receives
// them.
class ProbeSender {
  public:
    enum class Result {
        Sent,
        Busy,    // the system's send queue is full; try the same send later
        Failed,  // this address cannot be sent to (no route, say)
    };

    virtual ~ProbeSender();

    // address in host byte order.
    virtual Result send(quint32 address, const QByteArray& datagram) = 0;

  protected:
    ProbeSender() = default;
    ProbeSender(const ProbeSender&) = delete;
    ProbeSender& operator=(const ProbeSender&) = delete;
};
