#include "support/FakeEndpoint.h"

#include "core/Protocol.h"
#include "net/Ipv4Address.h"
#include "net/UdpSocketEndpoint.h"
#include "net/UdpSocketError.h"
#include "support/FakeNetwork.h"

#include <QTimer>

using namespace Qt::StringLiterals;

FakeEndpoint::FakeEndpoint(FakeNetwork& network, const QString& address, QObject* parent)
    : FakeEndpoint(network, address, Protocol::kPort, parent) {}

FakeEndpoint::FakeEndpoint(FakeNetwork& network, const QString& address, quint16 port,
                           QObject* parent)
    : QObject(parent),
      network_(network),
      address_(address),
      port_(port),
      // The network's names answer from the event loop, as a resolver's
      // answer comes, so events run while a send waits.
      resolver_([&network](const QString& name, QObject* context, HostLookup::Answer answer) {
          QTimer::singleShot(0, context,
                             [answer = std::move(answer), found = network.lookUp(name)] {
                                 answer(Ipv4Address::dottedQuad(found));
                             });
      }) {
    resolver_.waitEnded = [this] {
        if (lookupWaitEndedHandler) {
            lookupWaitEndedHandler();
        }
    };
    network_.attach(this);
}

FakeEndpoint::~FakeEndpoint() {
    network_.detach(this);
}

void FakeEndpoint::send(const QString& host, QByteArrayView bytes) {
    if (bytes.isEmpty()) {
        throw EmptyDatagramError(u"Invalid buffer"_s);
    }
    const std::optional<quint32> to = resolver_.resolve(host);
    if (!to) {
        throw HostNotFoundError(u"Host Lookup Canceled"_s);
    }
    if (*to == 0) {
        throw UdpSocketError(u"Null Remote Address"_s);
    }
    ++sentCount_;
    network_.transmit(address_, Ipv4Address::dotted(*to), bytes.toByteArray(), port_);
}

void FakeEndpoint::failBind(BindState state, const QString& reason) {
    bindState_ = state;
    bindFailureReason_ = reason;
}

void FakeEndpoint::loseDatagrams(quint64 lostInAll) {
    lost_ = lostInAll;
    if (lossHandler) {
        lossHandler(lost_);
    }
}

void FakeEndpoint::receive(const QString& from, const QByteArray& bytes) {
    if (!receiveHandler) {
        return;
    }
    // As the real endpoint: what does not fit its datagram area is a failed
    // read, never a cut datagram.
    const bool fits = bytes.size() <= UdpSocketEndpoint::kMaxDatagramSize;
    const ReceivedDatagram datagram{fits ? QByteArrayView(bytes) : QByteArrayView(),
                                    fits ? static_cast<int>(bytes.size()) : -1, from, port_};
    // A copy: the handler may replace itself.
    const auto handler = receiveHandler;
    handler(datagram);
}
