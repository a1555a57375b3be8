#pragma once

#include "net/UdpEndpoint.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class FakeNetwork;

// A UDP endpoint of the in-process FakeNetwork with its own IPv4 address.
// It sends like the real endpoint in everything the conference relies on:
//  - count 0 (or more than the buffer holds, or negative) calls
//    invalidBufferHandler and then raises Exception "Invalid buffer" unless
//    the handler sets repaired and a usable count;
//  - a remoteHost that is not a numeric address is looked up in the network's
//    host names while pending events are processed, as the real lookup wait
//    does; an unknown name calls invalidHostHandler once, then raises
//    UdpSocketError "Host Lookup Canceled" unless the handler sets retry (the
//    name is then looked up once more, and a second failure raises without a
//    second call);
//  - a destination of 0.0.0.0 raises UdpSocketError "Null Remote Address".
// Every received datagram is kept until the next one arrives and announced
// to receiveHandler(this, size, sender address, 333).
class FakeEndpoint : public QObject, public UdpEndpoint {
    Q_OBJECT
  public:
    static constexpr int kPort = 333;

    FakeEndpoint(FakeNetwork& network, const QString& address, QObject* parent = nullptr);
    ~FakeEndpoint() override;

    [[nodiscard]] const QString& address() const { return address_; }

    void setRemoteHost(const QString& host) override { remoteHost_ = host; }
    [[nodiscard]] QString remoteHost() const override { return remoteHost_; }
    void sendDatagram(std::span<const char> buffer, int count) override;
    void readDatagram(std::span<char> buffer, int& count) override;
    [[nodiscard]] BindState bindState() const override { return BindState::Bound; }
    [[nodiscard]] QString bindFailureReason() const override { return {}; }

    // Called by the network for every datagram addressed to this endpoint.
    void receive(const QString& from, const QByteArray& bytes);

    // Number of sends that reached the network.
    [[nodiscard]] int sentCount() const { return sentCount_; }

  private:
    [[nodiscard]] QString resolve(QString host);

    FakeNetwork& network_;
    QString address_;
    QString remoteHost_;
    QByteArray lastDatagram_;
    int sentCount_ = 0;
};
