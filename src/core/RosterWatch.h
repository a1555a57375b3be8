#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <list>

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
// times in proportion to its size, but by kMaxStretch at most (300 s to
// leave from 300 members on); a look sends at most kProbesPerLook probes
// (the longest silent first), more in proportion beyond the stretch, so
// that every quiet member is still probed well before it would be gone.
//
// The table holds the roster's member addresses (the conference tells it who
// joins and who leaves) and the addresses that left recently, never an
// address that is only heard from: datagrams from ever new sources cost
// nothing here. The members are kept in the order they were last heard, so
// a look reads only the silent ones: the gone and the probed, whatever the
// roster's size.
//
// Only an address that once answered a registration of ours (see
// answered()) is probed after it left: a source that was never seen to
// receive what we send, a forged one for instance, is not sent to for an
// hour. Those probes share a budget of their own, kRejoinProbesPerLook, so
// many copies that vanished at once cost little.
//
// Members that another watch looks after (the newer copies, see Liveness)
// are passed over: the roster size that stretches the times and the budget
// counts only the members left to this watch.
class RosterWatch {
  public:
    static constexpr qint64 kLookEveryMs = 10'000;
    static constexpr qint64 kProbeAfterMs = 25'000;
    static constexpr qint64 kGoneAfterMs = 100'000;
    static constexpr int kFullScaleMembers = 100;
    static constexpr int kMaxStretch = 3;
    static constexpr int kProbesPerLook = 34;
    // Addresses that left are probed this often, for this long, at most
    // this many of them (the most recent).
    static constexpr qint64 kRejoinProbeEveryMs = 60'000;
    static constexpr qint64 kRejoinForMs = 3'600'000;
    static constexpr int kRejoinAddresses = 100;
    static constexpr int kRejoinProbesPerLook = 1;

    // The address has a roster line now (again). Its silence starts now.
    void joined(const QString& address, qint64 nowMs);
    // The address has no roster line any more (an exit notice).
    void left(const QString& address);
    // Something arrived from this address; only a member's time is kept.
    void heard(const QString& address, qint64 nowMs);
    // A member answered a registration we had sent to it: it takes part
    // in a two-way exchange, and once gone it is probed to rejoin.
    void answered(const QString& address);
    // Another watch found the member gone: it leaves, and is probed to
    // rejoin as one that answered.
    void vanished(const QString& address, qint64 nowMs);

    [[nodiscard]] int members() const { return static_cast<int>(members_.size()); }
    [[nodiscard]] QStringList memberAddresses() const { return members_.keys(); }
    [[nodiscard]] int rejoining() const { return static_cast<int>(vanished_.size()); }

    struct Plan {
        QStringList probe;  // send a registration to these
        QStringList gone;   // remove every roster line with these
    };
    // True for a member that another watch looks after.
    using WatchedElsewhere = std::function<bool(const QString& address)>;
    // One look: the gone are no members any more when it returns.
    [[nodiscard]] Plan look(qint64 nowMs, const WatchedElsewhere& watchedElsewhere = {});

  private:
    using Order = std::list<QString>;  // least recently heard first
    struct Member {
        qint64 heardMs = 0;
        bool answered = false;
        Order::iterator place;
    };
    struct Vanished {
        qint64 goneAtMs = 0;
        qint64 probedAtMs = 0;
    };
    void vanish(const QString& address, qint64 nowMs);

    QHash<QString, Member> members_;
    Order order_;
    QHash<QString, Vanished> vanished_;
};
