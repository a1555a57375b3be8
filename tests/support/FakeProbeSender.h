#pragma once

#include "net/ProbeSender.h"

#include <QList>
#include <QSet>
#include <QString>

class FakeNetwork;

// A ProbeSender on the in-process FakeNetwork: every request goes out from
// the given address (the sweeping copy's), so answers come back to that
// copy's endpoint. Tests can make chosen addresses fail, or make the next
// sends answer Busy.
class FakeProbeSender : public ProbeSender {
  public:
    FakeProbeSender(FakeNetwork& network, QString fromAddress);

    Result send(quint32 address, const QByteArray& datagram) override;

    QSet<QString> failing;  // addresses whose send fails
    int busyCount = 0;      // the next this many sends answer Busy
    QList<QString> sentTo;  // every address a request went to, in order

  private:
    FakeNetwork& network_;
    QString from_;
};
