#include "core/Receipts.h"

#include <QRandomGenerator>

#include <numeric>

namespace {

// How often tracked lines are looked at: well below the shortest pause.
constexpr int kResolutionMs = 250;

}  // namespace

Receipts::Receipts(SendBytes send, QObject* parent)
    : QObject(parent), send_(std::move(send)), nextId_(QRandomGenerator::global()->generate()) {
    timer_.setInterval(kResolutionMs);
    connect(&timer_, &QTimer::timeout, this, &Receipts::resendDue);
}

// ---- who confirms ---------------------------------------------------------

bool Receipts::confirms(const QString& address) const {
    return confirming_.contains(address);
}

void Receipts::confirm(const QString& address) {
    // Bounded against hellos from ever new (forged) addresses: beyond the
    // bound a new address is treated as an older copy, which is always safe.
    if (confirming_.size() < kRememberedConfirming || confirming_.contains(address)) {
        confirming_.insert(address);
    }
    missedHellos_.remove(address);
}

bool Receipts::helloReceived(const QString& address) {
    const bool fresh = !confirming_.contains(address);
    confirm(address);
    if (helloAt_.size() >= kRememberedConfirming) {
        helloAt_.clear();  // each is needed for a second only
    }
    helloAt_.insert(address, clock_());
    return fresh && confirming_.contains(address);
}

void Receipts::presenceReceived(const QString& address, bool freshRegistration) {
    // The hello goes right before the registration or answer it belongs
    // to; one that came long before (told back on its own) does not count.
    const auto hello = helloAt_.constFind(address);
    const bool withHello = hello != helloAt_.cend() && clock_() - *hello <= kHelloBeforeMs;
    helloAt_.remove(address);
    if (withHello) {
        return;
    }
    if (!confirming_.contains(address)) {
        return;
    }
    if (freshRegistration || ++missedHellos_[address] >= kMissedHellosToForget) {
        confirming_.remove(address);
        missedHellos_.remove(address);
    }
}

// ---- the sender's side ----------------------------------------------------

void Receipts::track(quint32 id, const QByteArray& bytes, const QList<Recipient>& recipients) {
    if (recipients.isEmpty()) {
        return;
    }
    lines_.append({id, bytes, recipients, {}, clock_(), 1});
    armTimer();
}

void Receipts::receiptReceived(const QString& address, quint32 id) {
    confirm(address);
    for (Line& line : lines_) {
        if (line.id != id) {
            continue;
        }
        line.waiting.removeIf([&](const Recipient& r) { return r.address == address; });
        break;
    }
    // A line everybody confirmed is settled at the next look; nothing to say.
}

qint64 Receipts::nextSendAt(const Line& line) const {
    const int pauses = line.sends;  // the pauses behind the sends so far
    return line.sentAtMs + std::accumulate(kPausesMs.begin(), kPausesMs.begin() + pauses, 0);
}

void Receipts::resendDue() {
    const qint64 now = clock_();
    // Sending may not run an event loop, but a slot of notDelivered may;
    // the outcomes are collected first and told after the list is settled.
    QList<QStringList> outcomes;
    for (qsizetype i = 0; i < lines_.size();) {
        Line& line = lines_[i];
        if (line.waiting.isEmpty()) {
            lines_.removeAt(i);
            continue;
        }
        if (now - line.sentAtMs >= kOutcomeAfterMs) {
            QStringList names;
            for (const Recipient& r : line.waiting) {
                names.append(r.name);
            }
            notDeliveredInAll_ += static_cast<int>(names.size());
            outcomes.append(names);
            lines_.removeAt(i);
            continue;
        }
        while (line.sends < kSends && now >= nextSendAt(line)) {
            ++line.sends;
            for (const Recipient& r : line.waiting) {
                send_(r.address, line.bytes);
            }
        }
        ++i;
    }
    if (lines_.isEmpty()) {
        timer_.stop();
    }
    for (const QStringList& names : outcomes) {
        emit notDelivered(names);
    }
}

void Receipts::armTimer() {
    if (!timer_.isActive()) {
        timer_.start();
    }
}

// ---- the receiver's side --------------------------------------------------

bool Receipts::firstCopy(const QString& address, quint32 id) {
    confirm(address);
    auto found = seen_.find(address);
    if (found == seen_.end()) {
        if (seenOrder_.size() >= kRememberedSenders) {
            seen_.remove(seenOrder_.dequeue());
        }
        seenOrder_.enqueue(address);
        found = seen_.insert(address, {});
    }
    SeenIds& seen = *found;
    if (seen.ids.contains(id)) {
        return false;
    }
    if (seen.order.size() >= kRememberedIds) {
        seen.ids.remove(seen.order.dequeue());
    }
    seen.ids.insert(id);
    seen.order.enqueue(id);
    return true;
}
