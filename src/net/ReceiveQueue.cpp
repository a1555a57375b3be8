#include "net/ReceiveQueue.h"

#include "net/Ipv4Address.h"

#include <QElapsedTimer>
#include <QTimerEvent>

#include <algorithm>
#include <utility>

ReceiveQueue::ReceiveQueue(Deliver deliver, QObject* parent)
    : QObject(parent), deliver_(std::move(deliver)) {}

bool ReceiveQueue::push(QByteArrayView bytes, int size, quint32 address, quint16 port) {
    const qint64 length = std::max(size, 0);
    if (std::cmp_greater_equal(queue_.size(), std::max(limit_, 0)) || bytes_ + length > kMaxBytes) {
        ++dropped_;
        return false;
    }
    Queued queued;
    queued.size = size;
    queued.address = address;
    queued.port = port;
    if (length > 0) {
        queued.bytes = bytes.first(length).toByteArray();
    }
    bytes_ += length;
    queue_.push_back(std::move(queued));
    return true;
}

void ReceiveQueue::deliver() {
    if (!queue_.empty() && !passScheduled(depth_)) {
        deliverNext();
    }
}

bool ReceiveQueue::passScheduled(int depth) const {
    return std::cmp_less(depth, passTimers_.size()) &&
           passTimers_[static_cast<size_t>(depth)].isActive();
}

void ReceiveQueue::schedulePass() {
    if (queue_.empty()) {
        return;
    }
    if (std::cmp_greater_equal(depth_, passTimers_.size())) {
        passTimers_.resize(static_cast<size_t>(depth_) + 1);
    }
    QBasicTimer& timer = passTimers_[static_cast<size_t>(depth_)];
    if (!timer.isActive()) {
        // A zero timer fires once per pass of the event loop, after the
        // window's own events, and costs no system call to arm.
        timer.start(0, this);
    }
}

void ReceiveQueue::timerEvent(QTimerEvent* event) {
    for (QBasicTimer& timer : passTimers_) {
        if (timer.timerId() == event->timerId()) {
            if (queue_.empty()) {
                timer.stop();
                return;
            }
            // A pass delivers what is queued for up to a slice of time, one
            // datagram after the other, each handler run to its end first:
            // the window's own events still come between slices, and a flood
            // costs one pass of the event loop per slice, not per datagram.
            QElapsedTimer slice;
            slice.start();
            do {
                deliverNext();
            } while (!queue_.empty() && slice.nsecsElapsed() < kSliceNs);
            return;
        }
    }
    QObject::timerEvent(event);
}

void ReceiveQueue::deliverNext() {
    Queued queued = std::move(queue_.front());
    queue_.pop_front();
    bytes_ -= std::max(queued.size, 0);
    // The datagram and its sender's text are this call's own: a nested
    // delivery cannot change what a handler still running was given.
    if (lastDotted_.isEmpty() || queued.address != lastAddress_) {
        lastAddress_ = queued.address;
        lastDotted_ = Ipv4Address::dotted(queued.address);
    }
    const ReceivedDatagram datagram{queued.bytes, queued.size, lastDotted_, queued.port};
    {
        // A timer does not fire again while its own handler runs, so a
        // handler's nested event loop gets a timer of its own for the next
        // datagrams; it stops once the handler has returned.
        const int depth = depth_++;
        schedulePass();
        const struct DepthEnd {
            ReceiveQueue* queue;
            int depth;
            ~DepthEnd() {
                queue->depth_ = depth;
                for (size_t i = static_cast<size_t>(depth) + 1; i < queue->passTimers_.size();
                     ++i) {
                    queue->passTimers_[i].stop();
                }
            }
        } depthEnd{this, depth};
        deliver_(datagram);
    }
    schedulePass();
}
