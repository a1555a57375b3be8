#include "core/Liveness.h"

#include "core/Protocol.h"
#include "net/Ipv4Address.h"

#include <QRandomGenerator>

#include <algorithm>
#include <numeric>
#include <vector>

namespace {

constexpr qint64 kBudgetPeriodMs = 60'000;
// A tick this much later than the one before means this copy itself was
// stopped: its probes had no chance to hear an answer meanwhile.
constexpr qint64 kStalledAfterMs = 2'000;
constexpr int kRememberedBudgets = 4096;
constexpr int kRememberedHelpers = 32;

// A 64-bit mix (splitmix64): the same numbers on every copy for the same seed.
quint64 mix(quint64 x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

// Entry index of a shuffled round of 0 .. count - 1, the round given by its
// number: Fisher-Yates with the mix above, so that every copy draws the
// same order.
qint64 shuffledAt(qint64 round, qint64 count, qint64 index) {
    std::vector<qint64> order(static_cast<std::size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    quint64 state =
        mix(static_cast<quint64>(round) * 0x100000001B3ULL ^ static_cast<quint64>(count));
    for (qint64 i = count - 1; i > 0; --i) {
        state = mix(state);
        const auto j = static_cast<qint64>(state % static_cast<quint64>(i + 1));
        std::swap(order[static_cast<std::size_t>(i)], order[static_cast<std::size_t>(j)]);
    }
    return order[static_cast<std::size_t>(index)];
}

QString dotted(quint32 address) {
    return Ipv4Address::dotted(address);
}

}  // namespace

Liveness::Liveness(Peers peers)
    : peers_(std::move(peers)),
      selfKey_(QRandomGenerator::global()->generate()),
      phaseMs_(QRandomGenerator::global()->bounded(kPeriodSpreadMs)) {}

quint32 Liveness::nonce() {
    // From the system's source: only the member and the helpers asked may
    // know it, so nobody else can answer for a member that is gone.
    return QRandomGenerator::system()->generate();
}

QString Liveness::targetOf(const QStringList& members, const QString& self, quint32 selfKey,
                           qint64 period) {
    std::vector<quint32> ring;
    ring.reserve(static_cast<std::size_t>(members.size()) + 1);
    if (const auto own = Ipv4Address::dottedQuad(self)) {
        selfKey = *own;
    }
    for (const QString& member : members) {
        const auto key = Ipv4Address::dottedQuad(member);
        if (key && *key != selfKey) {
            ring.push_back(*key);
        }
    }
    std::sort(ring.begin(), ring.end());
    ring.erase(std::unique(ring.begin(), ring.end()), ring.end());
    const auto others = static_cast<qint64>(ring.size());
    if (others == 0 || period < 0) {
        return {};
    }
    // This copy's place in the ring, among the others.
    const auto place =
        static_cast<qint64>(std::lower_bound(ring.begin(), ring.end(), selfKey) - ring.begin());
    const qint64 step = 1 + shuffledAt(period / others, others, period % others);
    // The ring of others plus this copy at place: step places after this
    // copy is the others' entry place + step - 1, round the ring.
    return dotted(ring[static_cast<std::size_t>((place + step - 1) % others)]);
}

void Liveness::tick(qint64 nowMs, qint64 wallMs) {
    if (lastTickMs_ >= 0 && nowMs - lastTickMs_ > kStalledAfterMs) {
        // Stopped a while: whatever answers came in meanwhile are read only
        // now, so the probes' time starts again where it stopped.
        const qint64 gap = nowMs - lastTickMs_;
        for (Probe& probe : probes_) {
            probe.startMs += gap;
            probe.nextPingMs = std::min(probe.nextPingMs + gap, nowMs);
        }
    }
    lastTickMs_ = nowMs;

    const qint64 period = (wallMs - phaseMs_) / kPeriodMs;
    if (period != lastPeriod_) {
        lastPeriod_ = period;
        const QString target = targetOf(peers_.members(), self_, selfKey_, period);
        if (!target.isEmpty()) {
            start(target, false, nowMs);
        }
        relays_.removeIf([&](const auto& item) { return item.value().untilMs <= nowMs; });
        checkedAlive_.removeIf(
            [&](const auto& item) { return nowMs - item.value() >= kCheckedAliveForMs; });
        for (auto* budgets : {&pingBudgets_, &askBudgets_}) {
            budgets->removeIf(
                [&](const auto& item) { return nowMs - item.value().sinceMs >= kBudgetPeriodMs; });
        }
    }
    for (auto it = probes_.begin(); it != probes_.end();) {
        it = advance(*it, nowMs) ? std::next(it) : probes_.erase(it);
    }
}

void Liveness::start(const QString& member, bool check, qint64 nowMs) {
    const bool running = std::any_of(probes_.cbegin(), probes_.cend(),
                                     [&](const Probe& probe) { return probe.member == member; });
    if (running || probes_.size() >= kMaxProbes || member == self_) {
        return;
    }
    probes_.append(Probe{member, nonce(), check, nowMs, nowMs, {}});
}

bool Liveness::advance(Probe& probe, qint64 nowMs) {
    if (!peers_.isMember(probe.member)) {
        return false;  // it left by itself (an exit notice), or another way
    }
    const qint64 elapsed = nowMs - probe.startMs;
    if (elapsed >= (probe.check ? kCheckWithinMs : kGoneAfterMs)) {
        const QString member = probe.member;
        peers_.gone(member);
        if (!probe.check) {
            announce(member);
        }
        return false;
    }
    if (nowMs < probe.nextPingMs) {
        return true;
    }
    peers_.send(probe.member, Protocol::pingText(probe.nonce));
    if (probe.check) {
        probe.nextPingMs = nowMs + kCheckPingEveryMs;
    } else if (elapsed < kAnswerWithinMs) {
        probe.nextPingMs = probe.startMs + kAnswerWithinMs;
    } else {
        ask(probe);
        probe.nextPingMs = nowMs + kRetryEveryMs;
    }
    return true;
}

void Liveness::ask(Probe& probe) {
    const auto target = Ipv4Address::dottedQuad(probe.member);
    if (!target) {
        return;
    }
    QStringList candidates = peers_.members();
    candidates.removeIf([&](const QString& address) {
        return address == probe.member || address == self_ ||
               !Ipv4Address::dottedQuad(address).has_value();
    });
    auto* random = QRandomGenerator::global();
    for (int i = 0; i < kHelpers && !candidates.isEmpty(); ++i) {
        const QString helper = candidates.takeAt(random->bounded(candidates.size()));
        peers_.send(helper, Protocol::askText(probe.nonce, *target));
        if (!probe.helpers.contains(helper)) {
            if (probe.helpers.size() >= kRememberedHelpers) {
                probe.helpers.removeFirst();
            }
            probe.helpers.append(helper);
        }
    }
}

void Liveness::announce(const QString& member) {
    const auto gone = Ipv4Address::dottedQuad(member);
    if (!gone) {
        return;
    }
    const QString text = Protocol::goneText(*gone);
    for (const QString& address : peers_.members()) {
        if (address != member && address != self_) {
            peers_.send(address, text);
        }
    }
}

bool Liveness::spend(QHash<QString, Budget>& budgets, const QString& address, int perMinute,
                     qint64 nowMs) {
    auto budget = budgets.find(address);
    if (budget == budgets.end()) {
        if (budgets.size() >= kRememberedBudgets) {
            return false;  // forgotten at the next period's clean-up
        }
        budget = budgets.insert(address, {nowMs, 0});
    } else if (nowMs - budget->sinceMs >= kBudgetPeriodMs) {
        *budget = {nowMs, 0};
    }
    if (budget->used >= perMinute) {
        return false;
    }
    ++budget->used;
    return true;
}

void Liveness::pingReceived(const QString& from, quint32 nonce, qint64 nowMs) {
    if (peers_.admits(from) && spend(pingBudgets_, from, kPingsAnsweredPerMinute, nowMs)) {
        peers_.send(from, Protocol::pongText(nonce));
    }
}

void Liveness::pongReceived(const QString& from, quint32 nonce, qint64 nowMs) {
    if (const auto relay = relays_.constFind(nonce); relay != relays_.cend()) {
        if (relay->member == from) {
            peers_.send(relay->asker, Protocol::pongText(relay->askerNonce));
            relays_.erase(relay);
        }
        return;
    }
    const auto probe = std::find_if(probes_.begin(), probes_.end(),
                                    [&](const Probe& p) { return p.nonce == nonce; });
    if (probe == probes_.end() || (probe->member != from && !probe->helpers.contains(from))) {
        return;
    }
    if (probe->member == from) {
        peers_.proven(from);
    }
    if (probe->check) {
        checkedAlive_.insert(probe->member, nowMs);
    }
    probes_.erase(probe);
}

void Liveness::askReceived(const QString& from, quint32 nonce, quint32 member, qint64 nowMs) {
    const QString target = dotted(member);
    // Only a member may ask, and only about a member: nobody can point this
    // copy at an address of their choice.
    if (target == from || target == self_ || !peers_.isMember(from) || !peers_.isMember(target) ||
        relays_.size() >= kMaxRelays || !spend(askBudgets_, from, kAsksPerMinute, nowMs)) {
        return;
    }
    quint32 own = Liveness::nonce();
    while (relays_.contains(own)) {
        own = Liveness::nonce();
    }
    relays_.insert(own, Relay{from, nonce, target, nowMs + kRetryEveryMs});
    peers_.send(target, Protocol::pingText(own));
}

void Liveness::goneReceived(const QString& from, quint32 member, qint64 nowMs) {
    const QString target = dotted(member);
    if (target == self_ || !peers_.isMember(from) || !peers_.isMember(target) ||
        checkedAlive_.contains(target)) {
        return;
    }
    const auto running = std::find_if(probes_.begin(), probes_.end(),
                                      [&](const Probe& probe) { return probe.member == target; });
    if (running != probes_.end()) {
        // Our own probe has not been answered yet either: it ends as a
        // check, so one copy tells the others, not every copy that was
        // probing it.
        if (!running->check) {
            running->check = true;
            running->startMs = nowMs;
            running->nextPingMs = nowMs;
        }
        return;
    }
    if (nowMs - checks_.sinceMs >= kBudgetPeriodMs) {
        checks_ = {nowMs, 0};
    }
    if (checks_.used >= kChecksPerMinute) {
        return;
    }
    ++checks_.used;
    start(target, true, nowMs);
}
