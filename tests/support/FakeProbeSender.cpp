#include "support/FakeProbeSender.h"

#include "support/FakeNetwork.h"

using namespace Qt::StringLiterals;

FakeProbeSender::FakeProbeSender(FakeNetwork& network, QString fromAddress)
    : network_(network), from_(std::move(fromAddress)) {}

ProbeSender::Result FakeProbeSender::send(quint32 address, const QByteArray& datagram) {
    if (busyCount > 0) {
        --busyCount;
        return Result::Busy;
    }
    const QString to = u"%1.%2.%3.%4"_s.arg(address >> 24)
                           .arg((address >> 16) & 0xFF)
                           .arg((address >> 8) & 0xFF)
                           .arg(address & 0xFF);
    if (failing.contains(to)) {
        return Result::Failed;
    }
    sentTo.append(to);
    network_.transmit(from_, to, datagram, 333);
    return Result::Sent;
}
