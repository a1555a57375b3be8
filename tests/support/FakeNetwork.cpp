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

void FakeNetwork::attach(FakeEndpoint* endpoint) {
    Q_ASSERT_X(!endpoints_.contains(endpoint->address()), "FakeNetwork::attach",
               "two endpoints with one address");
    endpoints_.insert(endpoint->address(), endpoint);
}

void FakeNetwork::detach(FakeEndpoint* endpoint) {
    if (endpoints_.value(endpoint->address()) == endpoint) {
        endpoints_.remove(endpoint->address());
    }
}

void FakeNetwork::transmit(const QString& from, const QString& to, const QByteArray& bytes) {
    log_.append(FakeDatagram{from, to, bytes});
    if (loss_ && loss_(log_.constLast())) {
        ++lost_;
        return;
    }
    ++pending_;
    // The receiver is looked up at delivery, so an endpoint that goes away in
    // between simply misses the datagram, as a closed program would.
    QMetaObject::invokeMethod(
        this, [this, from, to, bytes] { deliver(from, to, bytes); }, Qt::QueuedConnection);
}

void FakeNetwork::inject(const QString& from, const QString& to, const QByteArray& bytes) {
    transmit(from, to, bytes);
}

void FakeNetwork::deliver(const QString& from, const QString& to, const QByteArray& bytes) {
    --pending_;
    ++delivered_;
    if (FakeEndpoint* endpoint = endpoints_.value(to)) {
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
