#include "support/FakeNetwork.h"

#include "support/FakeEndpoint.h"

#include <QCoreApplication>

FakeNetwork::FakeNetwork(QObject* parent) : QObject(parent) {}

FakeNetwork::~FakeNetwork() = default;

void FakeNetwork::addHostName(const QString& name, const QString& address) {
    hostNames_.insert(name, address);
}

QString FakeNetwork::lookUp(const QString& name) const {
    return hostNames_.value(name);
}

QString FakeNetwork::key(const QString& address, quint16 port) {
    return address + u':' + QString::number(port);
}

void FakeNetwork::attach(FakeEndpoint* endpoint) {
    const QString at = key(endpoint->address(), endpoint->port());
    Q_ASSERT_X(!endpoints_.contains(at), "FakeNetwork::attach",
               "two endpoints with one address and port");
    endpoints_.insert(at, endpoint);
}

void FakeNetwork::detach(FakeEndpoint* endpoint) {
    const QString at = key(endpoint->address(), endpoint->port());
    if (endpoints_.value(at) == endpoint) {
        endpoints_.remove(at);
    }
}

void FakeNetwork::transmit(const QString& from, const QString& to, const QByteArray& bytes,
                           quint16 port) {
    log_.append(FakeDatagram{from, to, bytes, port});
    if (loss_ && loss_(log_.constLast())) {
        ++lost_;
        return;
    }
    ++pending_;
    // The receiver is looked up at delivery, so an endpoint that goes away in
    // between simply misses the datagram, as a closed program would.
    QMetaObject::invokeMethod(
        this, [this, from, to, bytes, port] { deliver(from, to, bytes, port); },
        Qt::QueuedConnection);
}

void FakeNetwork::inject(const QString& from, const QString& to, const QByteArray& bytes,
                         quint16 port) {
    transmit(from, to, bytes, port);
}

void FakeNetwork::deliver(const QString& from, const QString& to, const QByteArray& bytes,
                          quint16 port) {
    --pending_;
    ++delivered_;
    if (FakeEndpoint* endpoint = endpoints_.value(key(to, port))) {
        endpoint->receive(from, bytes);
    }
}

// Posted calls are sent directly rather than from the glib event source:
// under QtTest, a handler that runs a nested event loop (as a modal box does)
// inside a call sent from that source would not see later posted calls.
void FakeNetwork::processPending() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

int FakeNetwork::flush() {
    const int before = delivered_;
    while (pending_ > 0) {
        const int deliveredBefore = delivered_;
        QCoreApplication::sendPostedEvents();
        if (delivered_ == deliveredBefore) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            if (delivered_ == deliveredBefore) {
                break;  // nothing can be delivered from here
            }
        }
    }
    return delivered_ - before;
}
