#include "core/RosterWatch.h"

#include <algorithm>

void RosterWatch::joined(const QString& address, qint64 nowMs) {
    vanished_.remove(address);
    if (members_.contains(address)) {
        return;
    }
    order_.push_back(address);
    members_.insert(address, Member{nowMs, false, std::prev(order_.end())});
}

void RosterWatch::left(const QString& address) {
    const auto found = members_.find(address);
    if (found != members_.end()) {
        order_.erase(found->place);
        members_.erase(found);
    }
}

void RosterWatch::heard(const QString& address, qint64 nowMs) {
    const auto found = members_.find(address);
    if (found == members_.end()) {
        return;
    }
    found->heardMs = nowMs;
    order_.splice(order_.end(), order_, found->place);
}

void RosterWatch::answered(const QString& address) {
    const auto found = members_.find(address);
    if (found != members_.end()) {
        found->answered = true;
    }
}

void RosterWatch::vanished(const QString& address, qint64 nowMs) {
    left(address);
    vanish(address, nowMs);
}

void RosterWatch::vanish(const QString& address, qint64 nowMs) {
    if (vanished_.size() >= kRejoinAddresses) {
        const auto oldest = std::min_element(
            vanished_.begin(), vanished_.end(),
            [](const Vanished& a, const Vanished& b) { return a.goneAtMs < b.goneAtMs; });
        vanished_.erase(oldest);
    }
    vanished_.insert(address, {nowMs, nowMs});
}

RosterWatch::Plan RosterWatch::look(qint64 nowMs, const WatchedElsewhere& watchedElsewhere) {
    qint64 count = members_.size();
    if (watchedElsewhere) {
        // The others' members count as heard: they stand at the back, out
        // of this look's way, and once another watch lets them go they have
        // their whole silence before them.
        auto it = order_.begin();
        for (std::size_t remaining = order_.size(); remaining > 0; --remaining) {
            const auto next = std::next(it);
            if (watchedElsewhere(*it)) {
                const auto found = members_.find(*it);
                found->heardMs = nowMs;
                order_.splice(order_.end(), order_, it);
                --count;
            }
            it = next;
        }
    }
    const qint64 scale =
        std::clamp<qint64>(count, kFullScaleMembers, qint64{kFullScaleMembers} * kMaxStretch);
    const qint64 probeAfter = kProbeAfterMs * scale / kFullScaleMembers;
    const qint64 goneAfter = kGoneAfterMs * scale / kFullScaleMembers;
    // Beyond the stretch the probes grow with the roster instead, so that
    // a quiet member's turn comes as often as at the largest stretched size.
    const qint64 budget =
        std::max<qint64>(kProbesPerLook, (kProbesPerLook * count + scale - 1) / scale);

    Plan plan;
    // The longest silent stand first: the gone, then the ones to probe.
    for (auto it = order_.begin(); it != order_.end();) {
        const auto found = members_.find(*it);
        const qint64 silence = nowMs - found->heardMs;
        if (silence >= goneAfter) {
            plan.gone.append(*it);
            if (found->answered) {
                vanish(*it, nowMs);
            }
            members_.erase(found);
            it = order_.erase(it);
            continue;
        }
        if (silence < probeAfter || plan.probe.size() >= budget) {
            break;
        }
        plan.probe.append(*it);
        ++it;
    }
    // Those that left, within a budget of their own; the ones that left just
    // now are probed a minute later.
    vanished_.removeIf(
        [&](const auto& item) { return nowMs - item.value().goneAtMs >= kRejoinForMs; });
    int rejoinProbes = 0;
    for (auto it = vanished_.begin(); it != vanished_.end() && rejoinProbes < kRejoinProbesPerLook;
         ++it) {
        if (nowMs - it->probedAtMs >= kRejoinProbeEveryMs) {
            ++rejoinProbes;
            it->probedAtMs = nowMs;
            plan.probe.append(it.key());
        }
    }
    return plan;
}
