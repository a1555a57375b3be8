#include "core/RosterWatch.h"

#include <QSet>

#include <algorithm>

void RosterWatch::heard(const QString& address, qint64 nowMs) {
    lastHeard_.insert(address, nowMs);
}

RosterWatch::Plan RosterWatch::look(const QStringList& memberAddresses, qint64 nowMs) {
    const qint64 members = memberAddresses.size();
    const qint64 scale = std::max<qint64>(members, kFullScaleMembers);
    const qint64 probeAfter = kProbeAfterMs * scale / kFullScaleMembers;
    const qint64 goneAfter = kGoneAfterMs * scale / kFullScaleMembers;

    Plan plan;
    QList<std::pair<qint64, QString>> silent;  // silence, address
    QSet<QString> current;
    for (const QString& address : memberAddresses) {
        current.insert(address);
        // A member never heard from (its line came before this watch began)
        // starts its silence now.
        auto found = lastHeard_.find(address);
        if (found == lastHeard_.end()) {
            found = lastHeard_.insert(address, nowMs);
        }
        const qint64 since = *found;
        const qint64 silence = nowMs - since;
        if (silence >= goneAfter) {
            plan.gone.append(address);
        } else if (silence >= probeAfter) {
            silent.append({silence, address});
        }
    }
    std::sort(silent.begin(), silent.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    for (qsizetype i = 0; i < silent.size() && i < kProbesPerLook; ++i) {
        plan.probe.append(silent.at(i).second);
    }
    // Those that left, with what the budget leaves.
    vanished_.removeIf([&](const auto& item) {
        return current.contains(item.key()) || nowMs - item.value().goneAtMs >= kRejoinForMs;
    });
    for (auto it = vanished_.begin(); it != vanished_.end(); ++it) {
        if (plan.probe.size() >= kProbesPerLook) {
            break;
        }
        if (nowMs - it->probedAtMs >= kRejoinProbeEveryMs) {
            it->probedAtMs = nowMs;
            plan.probe.append(it.key());
        }
    }
    // What is neither a member nor recent is forgotten, so that datagrams
    // from ever new addresses cannot grow the table without end.
    lastHeard_.removeIf([&](const auto& item) {
        return !current.contains(item.key()) && nowMs - item.value() >= goneAfter;
    });
    for (const QString& address : plan.gone) {
        lastHeard_.remove(address);
        if (vanished_.size() >= kRejoinAddresses) {
            const auto oldest = std::min_element(
                vanished_.begin(), vanished_.end(),
                [](const Vanished& a, const Vanished& b) { return a.goneAtMs < b.goneAtMs; });
            vanished_.erase(oldest);
        }
        vanished_.insert(address, {nowMs, nowMs});
    }
    return plan;
}
