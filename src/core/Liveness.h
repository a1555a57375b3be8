#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Finds the newer copies of the roster that are gone, at a cost per copy that
// does not depend on how many there are, in the manner of SWIM: every period
// this copy pings one member (kPeriodMs); a member that does not answer soon
// is pinged again and asked about through a few others (kHelpers), so that
// one lost datagram or one bad path removes nobody; a member that answers
// nobody for kGoneAfterMs is gone. The copy that found it tells the other
// members, and each of them pings it itself before it removes it: no single
// host can make a copy drop a live member, and a claim costs a copy one
// short probe at most.
//
// Who pings whom. The members and this copy stand in one ring, in the order
// of their addresses; in each period every copy pings the member a given
// number of places after itself. The number goes through a shuffled round
// of 1 .. ring size - 1, the same on every copy: it depends only on the
// period (wall-clock time / kPeriodMs) and the ring's size. So when the copies
// agree on the roster and the time, every member is pinged by exactly one
// copy in every period, answers exactly one ping, and a copy that vanished
// is missed within one period. Where they disagree, each copy still pings
// one member a period; only the spread is less even. The periods start at
// the same time on every copy, give or take kPeriodSpreadMs so that the
// pings of a network do not come all at once: a copy that vanished is
// pinged within kPeriodMs + kPeriodSpreadMs.
//
// Traffic: a copy sends one ping and, on average, one answer a period, so
// 2 * 60'000 / kPeriodMs datagrams a minute, whatever the roster's size;
// more only while a member does not answer.
//
// Bounds: pings are answered for roster and directory addresses only,
// kPingsAnsweredPerMinute a minute each; asks and gone notices are taken
// from members only, and only about members; every table is bounded.
class Liveness {
  public:
    static constexpr qint64 kPeriodMs = 15'000;
    static constexpr qint64 kPeriodSpreadMs = 1'000;
    // A ping unanswered this long brings the asks and a second ping.
    static constexpr qint64 kAnswerWithinMs = 1'000;
    static constexpr int kHelpers = 3;
    // Then pings and asks again this often, ...
    static constexpr qint64 kRetryEveryMs = 3'000;
    // ... until the member is gone this long after the first ping. Longer
    // than a copy is paused by a slow disk or a debugger now and then.
    static constexpr qint64 kGoneAfterMs = 28'000;
    // A gone notice is checked with a ping every kCheckPingEveryMs, and
    // the member is gone if none is answered within kCheckWithinMs.
    static constexpr qint64 kCheckPingEveryMs = 1'000;
    static constexpr qint64 kCheckWithinMs = 3'000;
    // A member found alive after a notice is not checked again for so long.
    static constexpr qint64 kCheckedAliveForMs = 30'000;
    static constexpr int kPingsAnsweredPerMinute = 40;
    static constexpr int kAsksPerMinute = 20;
    static constexpr int kChecksPerMinute = 120;
    static constexpr int kMaxProbes = 256;
    static constexpr int kMaxRelays = 256;

    struct Peers {
        // The newer copies in the roster now (addresses), this copy's too.
        std::function<QStringList()> members;
        // One of them.
        std::function<bool(const QString& address)> isMember;
        // A roster or directory address: its pings are answered.
        std::function<bool(const QString& address)> admits;
        // Sends text to the address's handshake port; errors are swallowed.
        std::function<void(const QString& address, const QString& text)> send;
        // The member answered a ping itself: it is a newer copy there.
        std::function<void(const QString& address)> proven;
        // The member is gone: remove it from the roster.
        std::function<void(const QString& address)> gone;
    };

    explicit Liveness(Peers peers);

    // The address this copy has in the ring (a datagram of its own came back
    // from there); until it is known, a random place stands for it.
    void setSelf(const QString& address) { self_ = address; }
    [[nodiscard]] const QString& self() const { return self_; }

    // Starts the period's ping when a new period has begun and moves the
    // probes on. nowMs: the steady clock; wallMs: the time of day, which
    // the copies share, in ms since the epoch. Called a few times a second.
    void tick(qint64 nowMs, qint64 wallMs);

    // What arrived on the handshake port from the address.
    void pingReceived(const QString& from, quint32 nonce, qint64 nowMs);
    void pongReceived(const QString& from, quint32 nonce, qint64 nowMs);
    void askReceived(const QString& from, quint32 nonce, quint32 member, qint64 nowMs);
    void goneReceived(const QString& from, quint32 member, qint64 nowMs);

    // The member that this copy's ring would ping in the period, empty when
    // it has none; the same on every copy with the same ring.
    [[nodiscard]] static QString targetOf(const QStringList& members, const QString& self,
                                          quint32 selfKey, qint64 period);

    [[nodiscard]] int probing() const { return static_cast<int>(probes_.size()); }

  private:
    struct Probe {
        QString member;
        quint32 nonce = 0;
        bool check = false;  // checks a gone notice: no asks, no notice of its own
        qint64 startMs = 0;
        qint64 nextPingMs = 0;
        QStringList helpers;
    };
    struct Relay {
        QString asker;
        quint32 askerNonce = 0;
        QString member;
        qint64 untilMs = 0;
    };
    struct Budget {
        qint64 sinceMs = 0;
        int used = 0;
    };

    void start(const QString& member, bool check, qint64 nowMs);
    // Moves one probe on; false when it has ended.
    bool advance(Probe& probe, qint64 nowMs);
    void ask(Probe& probe);
    void announce(const QString& member);
    [[nodiscard]] static bool spend(QHash<QString, Budget>& budgets, const QString& address,
                                    int perMinute, qint64 nowMs);
    [[nodiscard]] static quint32 nonce();

    Peers peers_;
    QString self_;
    quint32 selfKey_;
    qint64 phaseMs_;
    qint64 lastPeriod_ = -1;
    qint64 lastTickMs_ = -1;
    QList<Probe> probes_;
    QHash<quint32, Relay> relays_;  // by the nonce of our ping
    QHash<QString, qint64> checkedAlive_;
    QHash<QString, Budget> pingBudgets_;
    QHash<QString, Budget> askBudgets_;
    Budget checks_;
};
