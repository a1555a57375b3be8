#include "core/Receipts.h"

#include <QRandomGenerator>

#include <algorithm>
#include <numeric>

namespace {

// How often tracked lines are looked at: well below the shortest pause.
constexpr int kResolutionMs = 250;

}  // namespace

Receipts::Receipts(SendBytes send, QObject* parent) : QObject(parent), send_(std::move(send)) {
    timer_.setInterval(kResolutionMs);
    connect(&timer_, &QTimer::timeout, this, &Receipts::resendDue);
}

// ---- the sender's side ----------------------------------------------------

quint32 Receipts::newLineId() const {
    // From the system's source, so that the ids one recipient sees tell
    // nothing about those of the others.
    for (;;) {
        const quint32 id = QRandomGenerator::system()->generate();
        if (!byId_.contains(id)) {
            return id;
        }
    }
}

void Receipts::track(const QList<Copy>& copies) {
    if (copies.isEmpty()) {
        return;
    }
    const quint64 serial = nextSerial_++;
    Line& line = lines_[serial];
    line.sentAtMs = clock_();
    for (const Copy& copy : copies) {
        // Two copies of one line with the same id are as likely as guessing
        // one; the second would only go unconfirmed.
        if (byId_.contains(copy.id)) {
            continue;
        }
        byId_.insert(copy.id, {serial, line.copies.size()});
        line.copies.append({copy, false});
        ++line.waiting;
    }
    armTimer();
}

bool Receipts::receiptReceived(const QString& address, quint32 id) {
    const auto found = byId_.constFind(id);
    if (found == byId_.cend()) {
        return false;
    }
    const auto line = lines_.find(found->first);
    if (line == lines_.end()) {
        return false;
    }
    Waiting& waiting = line->second.copies[found->second];
    // A receipt from any other address, another recipient's above all,
    // counts for nothing.
    if (waiting.copy.address != address) {
        return false;
    }
    waiting.confirmed = true;
    --line->second.waiting;
    byId_.erase(found);
    // A line everybody confirmed is settled at the next look; nothing to say.
    return true;
}

qint64 Receipts::nextSendAt(const Line& line) const {
    const int pauses = line.sends;  // the pauses behind the sends so far
    return line.sentAtMs + std::accumulate(kPausesMs.begin(), kPausesMs.begin() + pauses, 0);
}

void Receipts::settle(std::map<quint64, Line>::iterator line) {
    for (const Waiting& waiting : line->second.copies) {
        if (!waiting.confirmed) {
            byId_.remove(waiting.copy.id);
        }
    }
    lines_.erase(line);
}

void Receipts::resendDue() {
    const qint64 now = clock_();
    // Sending may not run an event loop, but a slot of notDelivered may;
    // the outcomes are collected first and told after the list is settled.
    QList<QStringList> outcomes;
    for (auto it = lines_.begin(); it != lines_.end();) {
        Line& line = it->second;
        if (line.waiting == 0) {
            settle(it++);
            continue;
        }
        if (now - line.sentAtMs >= kOutcomeAfterMs) {
            QStringList names;
            for (const Waiting& waiting : line.copies) {
                if (!waiting.confirmed) {
                    names.append(waiting.copy.name);
                }
            }
            notDeliveredInAll_ += static_cast<int>(names.size());
            outcomes.append(names);
            settle(it++);
            continue;
        }
        while (line.sends < kSends && now >= nextSendAt(line)) {
            ++line.sends;
            for (const Waiting& waiting : line.copies) {
                if (!waiting.confirmed && (!mayResend_ || mayResend_(waiting.copy.address))) {
                    send_(waiting.copy.address, waiting.copy.bytes);
                }
            }
        }
        ++it;
    }
    if (lines_.empty()) {
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

bool Receipts::makeRoom(qint64 nowMs) {
    // Kept senders met at the old end go to the new end, so that they are
    // passed over once, not at every look; the others stay in the order
    // they were used, so the first of them that is recent ends the search.
    for (qsizetype left = seenOrder_.size(); left > 0; --left) {
        const auto oldest = seenOrder_.begin();
        if (keepsSender_ && keepsSender_(*oldest)) {
            seenOrder_.splice(seenOrder_.end(), seenOrder_, oldest);
            continue;
        }
        const auto sender = seen_.find(*oldest);
        if (sender != seen_.end() && nowMs - sender->usedAtMs < kOutcomeAfterMs) {
            return false;
        }
        if (sender != seen_.end()) {
            seen_.erase(sender);
        }
        seenOrder_.erase(oldest);
        return true;
    }
    return false;
}

bool Receipts::firstCopy(const QString& address, quint32 id) {
    const qint64 now = clock_();
    auto found = seen_.find(address);
    if (found == seen_.end()) {
        if (seen_.size() >= kRememberedSenders && !makeRoom(now)) {
            // Shown, as an older copy would: a line lost is worse than a
            // line shown twice.
            return true;
        }
        const auto place = seenOrder_.insert(seenOrder_.end(), address);
        found = seen_.insert(address, Sender{{}, 0, now, place});
    } else {
        seenOrder_.splice(seenOrder_.end(), seenOrder_, found->place);
        found->usedAtMs = now;
    }
    Sender& sender = *found;
    if (std::find(sender.ids.begin(), sender.ids.end(), id) != sender.ids.end()) {
        return false;
    }
    if (sender.ids.size() < static_cast<size_t>(kRememberedIds)) {
        sender.ids.push_back(id);
    } else {
        sender.ids[sender.next] = id;
        sender.next = (sender.next + 1) % sender.ids.size();
    }
    return true;
}
