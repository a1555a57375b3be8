#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// Finds the roster members that no longer answer, with what every copy
// already answers: a registration ("MYNAMEIS2:") sent again to a member that
// has been silent a while. Any copy answers it with "MYNAMEIS3:", and since
// the sender is already in its roster, nobody is alerted. A member silent
// for much longer is gone (a crash, a pulled cable, a closed laptop): it
// leaves the roster. It rejoins by itself: a copy that starts again
// registers, and an address that left is sent a registration once a minute
// for an hour, so a copy whose cable came back answers and is in again.
//
// For a roster of up to kFullScaleMembers the times are fixed: a probe to a
// member silent 25 s at a look every 10 s, and gone after 100 s of silence,
// so a vanished member leaves within 110 s. A larger roster stretches both
// times in proportion to its size, and a look sends at most kProbesPerLook
// probes (the longest silent first), so the probes stay below about 200 a
// minute at any size.
class RosterWatch {
  public:
    static constexpr qint64 kLookEveryMs = 10'000;
    static constexpr qint64 kProbeAfterMs = 25'000;
    static constexpr qint64 kGoneAfterMs = 100'000;
    static constexpr int kFullScaleMembers = 100;
    static constexpr int kProbesPerLook = 34;
    // Addresses that left are probed this often, for this long, at most
    // this many of them (the most recent).
    static constexpr qint64 kRejoinProbeEveryMs = 60'000;
    static constexpr qint64 kRejoinForMs = 3'600'000;
    static constexpr int kRejoinAddresses = 100;

    // Something arrived from this address.
    void heard(const QString& address, qint64 nowMs);

    struct Plan {
        QStringList probe;  // send a registration to these
        QStringList gone;   // remove every roster line with these
    };
    // One look at the roster's member addresses (each once).
    [[nodiscard]] Plan look(const QStringList& memberAddresses, qint64 nowMs);

  private:
    QHash<QString, qint64> lastHeard_;
    struct Vanished {
        qint64 goneAtMs = 0;
        qint64 probedAtMs = 0;
    };
    QHash<QString, Vanished> vanished_;
};
