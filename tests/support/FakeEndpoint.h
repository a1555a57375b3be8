#pragma once

#include "net/HostResolver.h"
#include "net/UdpEndpoint.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class FakeNetwork;

// A UDP endpoint of the in-process FakeNetwork with its own IPv4 address. It
// keeps the rules of UdpEndpoint exactly as the real endpoint does (the
// contract suite in tests/net runs against both): the same host forms, the
// same refusals, names looked up while events are handled (in the network's
// host names), datagrams longer than the real endpoint takes delivered as
// failed reads. Every datagram addressed to it is handed to receiveHandler
// from the event loop, one at a time, in order.
class FakeEndpoint : public QObject, public UdpEndpoint {
    Q_OBJECT
  public:
    // On the conference port.
    FakeEndpoint(FakeNetwork& network, const QString& address, QObject* parent = nullptr);
    // On another port: it sends to that port and hears only that port.
    FakeEndpoint(FakeNetwork& network, const QString& address, quint16 port,
                 QObject* parent = nullptr);
    ~FakeEndpoint() override;

    [[nodiscard]] const QString& address() const { return address_; }
    [[nodiscard]] quint16 port() const { return port_; }

    void send(const QString& host, QByteArrayView bytes) override;
    [[nodiscard]] bool isWaitingForLookup() const override { return resolver_.isWaiting(); }
    [[nodiscard]] BindState bindState() const override { return bindState_; }
    [[nodiscard]] QString bindFailureReason() const override { return bindFailureReason_; }
    [[nodiscard]] quint64 lostDatagrams() const override { return lost_; }

    // Plays a port that could not be bound.
    void failBind(BindState state, const QString& reason);
    // Plays datagrams lost on arrival: the total lost, reported as the real
    // endpoint reports it.
    void loseDatagrams(quint64 lostInAll);

    // Called by the network for every datagram addressed to this endpoint.
    void receive(const QString& from, const QByteArray& bytes);

    // Number of sends that reached the network.
    [[nodiscard]] int sentCount() const { return sentCount_; }

  private:
    FakeNetwork& network_;
    QString address_;
    quint16 port_;
    HostResolver resolver_;
    BindState bindState_ = BindState::Bound;
    QString bindFailureReason_;
    quint64 lost_ = 0;
    int sentCount_ = 0;
};
