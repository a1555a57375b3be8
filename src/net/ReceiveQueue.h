#pragma once

#include "net/ReceivedDatagram.h"

#include <QBasicTimer>
#include <QByteArray>
#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <vector>

// The datagrams an endpoint has taken in but not yet handed over, and their
// delivery: in arrival order, each handler run to its end before the next
// datagram, as many as a slice of time holds per pass of the event loop. The
// passes go on while a handler runs a nested event loop (a modal box), so
// datagrams are then delivered nested, one level deeper. Bounded in
// datagrams and bytes; what does not fit is counted and dropped.
class ReceiveQueue : public QObject {
  public:
    static constexpr int kMaxDatagrams = 100'000;
    static constexpr qint64 kMaxBytes = 64LL * 1024 * 1024;
    // How long one pass of the event loop may deliver datagrams.
    static constexpr qint64 kSliceNs = 2'000'000;

    using Deliver = std::function<void(const ReceivedDatagram& datagram)>;

    explicit ReceiveQueue(Deliver deliver, QObject* parent = nullptr);

    // Appends a datagram (size -1: a failed read, without bytes) from the
    // address (host byte order) and port; false, counted in dropped(), when
    // the queue is full.
    bool push(QByteArrayView bytes, int size, quint32 address, quint16 port);

    // Delivers the first datagram now, unless a pass of the current delivery
    // depth is already on its way; the rest follow pass by pass.
    void deliver();

    [[nodiscard]] int size() const { return static_cast<int>(queue_.size()); }
    [[nodiscard]] quint64 dropped() const { return dropped_; }
    // Lowers (or restores) the bound on datagrams; for tests.
    void setLimit(int datagrams) { limit_ = datagrams; }

  protected:
    void timerEvent(QTimerEvent* event) override;

  private:
    struct Queued {
        QByteArray bytes;
        int size = -1;
        quint32 address = 0;
        quint16 port = 0;
    };

    void deliverNext();
    void schedulePass();
    [[nodiscard]] bool passScheduled(int depth) const;

    Deliver deliver_;
    std::deque<Queued> queue_;
    qint64 bytes_ = 0;
    int limit_ = kMaxDatagrams;
    quint64 dropped_ = 0;
    // One zero timer per depth of handlers running inside each other.
    std::vector<QBasicTimer> passTimers_;
    int depth_ = 0;
    // The sender's address as text, kept for the next datagram: a burst
    // mostly comes from one sender, and the text is shared, not rebuilt.
    quint32 lastAddress_ = 0;
    QString lastDotted_;
};
