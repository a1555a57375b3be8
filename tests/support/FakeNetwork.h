#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class FakeEndpoint;

// One datagram as it was sent: the sender's address, the destination address
// it went to, its bytes and the port it went to (and came from).
struct FakeDatagram {
    QString from;
    QString to;
    QByteArray bytes;
    quint16 port = 333;
};

// An in-process network of fake UDP endpoints for tests: no sockets, no
// root. Every datagram sent is recorded in the log and delivered through the
// event loop (one queued call per datagram, in order) to the endpoint that
// owns the destination address and port; a datagram to an address or port
// without an endpoint is recorded and dropped. An endpoint sends from its
// own port to the same port of the destination, as the program's do.
class FakeNetwork : public QObject {
    Q_OBJECT
  public:
    explicit FakeNetwork(QObject* parent = nullptr);
    ~FakeNetwork() override;

    // Every datagram sent so far, oldest first.
    [[nodiscard]] const QList<FakeDatagram>& log() const { return log_; }
    void clearLog() { log_.clear(); }

    // Lets a host name resolve to an address. Names not added here cannot be
    // resolved.
    void addHostName(const QString& name, const QString& address);

    // Decides for each datagram sent from now on whether the network loses
    // it: a lost datagram is in the log but never delivered. None: no loss.
    using LossRule = std::function<bool(const FakeDatagram&)>;
    void setLoss(LossRule rule) { loss_ = std::move(rule); }
    // Datagrams lost so far.
    [[nodiscard]] int lost() const { return lost_; }

    // Number of datagrams sent but not yet delivered (or dropped).
    [[nodiscard]] int pending() const { return pending_; }

    // Processes events until every datagram sent, including those sent while
    // delivering, has been delivered or dropped. Returns how many were.
    int flush();

    // Sends the posted events and processes pending events once, as a wait
    // of the real endpoint does.
    static void processPending();

    // Sends bytes from an address that has no endpoint, as a foreign peer would.
    void inject(const QString& from, const QString& to, const QByteArray& bytes,
                quint16 port = 333);

    // Used by FakeEndpoint.
    void attach(FakeEndpoint* endpoint);
    void detach(FakeEndpoint* endpoint);
    void transmit(const QString& from, const QString& to, const QByteArray& bytes, quint16 port);
    // The address for a host name; empty when it cannot be resolved.
    [[nodiscard]] QString lookUp(const QString& name) const;

  private:
    void deliver(const QString& from, const QString& to, const QByteArray& bytes, quint16 port);
    [[nodiscard]] static QString key(const QString& address, quint16 port);

    QHash<QString, FakeEndpoint*> endpoints_;
    QHash<QString, QString> hostNames_;
    QList<FakeDatagram> log_;
    LossRule loss_;
    int lost_ = 0;
    int pending_ = 0;
    int delivered_ = 0;
};
