#include "core/RelayLimit.h"

#include <algorithm>
#include <limits>

RelayLimit::RelayLimit(int perWindow, qint64 windowMs, int maxSenders, int totalPerWindow)
    : perWindow_(std::max(perWindow, 0)),
      windowMs_(std::max<qint64>(windowMs, 1)),
      maxSenders_(std::max(maxSenders, 1)),
      totalPerWindow_(std::max(totalPerWindow, 0)) {}

bool RelayLimit::totalHasRoom(qint64 nowMs) {
    if (total_.admitted > 0 && nowMs - total_.openedMs >= windowMs_) {
        total_ = Window{};
    }
    return total_.admitted < totalPerWindow_;
}

bool RelayLimit::admit(const QString& fromIP, qint64 nowMs) {
    forgetEndedWindows(nowMs);
    if (!totalHasRoom(nowMs)) {
        countRefusal(fromIP);
        return false;
    }
    auto found = windows_.find(fromIP);
    if (found == windows_.end()) {
        if (windows_.size() >= maxSenders_) {
            // Making room would give some sender a fresh count.
            countRefusal(fromIP);
            return false;
        }
        windowOrder_.push_back(fromIP);
        found = windows_.insert(fromIP, Window{nowMs, 0});
    }
    Window& window = found.value();
    if (window.admitted < perWindow_) {
        ++window.admitted;
        if (total_.admitted++ == 0) {
            total_.openedMs = nowMs;
        }
        return true;
    }
    countRefusal(fromIP);
    return false;
}

bool RelayLimit::admitAnswer(const QString& fromIP, qint64 nowMs) {
    if (!totalHasRoom(nowMs)) {
        countRefusal(fromIP);
        return false;
    }
    if (total_.admitted++ == 0) {
        total_.openedMs = nowMs;
    }
    return true;
}

void RelayLimit::refuse(const QString& fromIP) {
    countRefusal(fromIP);
}

int RelayLimit::refused(const QString& fromIP) const {
    const auto found = refusals_.constFind(fromIP);
    return found == refusals_.constEnd() ? 0 : found.value().count;
}

void RelayLimit::forgetEndedWindows(qint64 nowMs) {
    // Windows are kept in the order they opened, so the ended ones are at
    // the front. A window is never moved: a sender comes back after its
    // window ended as a new sender, at the back.
    while (!windowOrder_.empty()) {
        const auto found = windows_.constFind(windowOrder_.front());
        if (found != windows_.constEnd() && nowMs - found.value().openedMs < windowMs_) {
            return;
        }
        windows_.remove(windowOrder_.front());
        windowOrder_.pop_front();
    }
}

void RelayLimit::countRefusal(const QString& fromIP) {
    auto found = refusals_.find(fromIP);
    if (found == refusals_.end()) {
        if (refusals_.size() >= maxSenders_) {
            refusals_.remove(refusalOrder_.front());
            refusalOrder_.pop_front();
        }
        refusalOrder_.push_back(fromIP);
        found = refusals_.insert(fromIP, Refusals{0, std::prev(refusalOrder_.end())});
    } else {
        // The latest refused goes last, so a sender still refused stays.
        refusalOrder_.splice(refusalOrder_.end(), refusalOrder_, found.value().place);
    }
    Refusals& refusals = found.value();
    if (refusals.count < std::numeric_limits<int>::max()) {
        ++refusals.count;
    }
}
