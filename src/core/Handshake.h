#pragma once

#include "core/SteadyClock.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <functional>

// Which addresses are newer copies, found out on the handshake port that only
// newer copies bind, so that an older copy never hears a datagram it would
// not have heard from an older copy.
//
// - The proof. An address confirms once it has echoed a random challenge
//   that was sent to it: the hello carries a challenge, its answer echoes it
//   and brings a challenge of its own, and the echo of that one ends the
//   exchange. A hello with a forged sender cannot confirm that sender: the
//   answer with the challenge goes to the real address. A receipt for a line
//   id that was sent to the address is a proof too (see Receipts).
// - When a hello goes. Right after a registration to, or an answer to a
//   registration from, an address that does not confirm yet. Nothing on the
//   conference port changes for it.
// - Keeping the standing. A registration from a confirming address whose copy
//   may have changed (a fresh one, not in the roster, or any one when the
//   last proof is older than kProofFreshForMs) brings a new challenge; while
//   it is out the address is treated as an older copy, and once it has gone
//   unanswered for kAnswerWithinMs the standing is lost: an older copy runs
//   there now. Forged registrations or answers therefore cost a newer copy
//   at most a moment of plain lines, never its standing.
// - Bounds. Only roster and directory addresses (admits) are answered,
//   challenged or remembered; at most kDatagramsPerMinute handshake
//   datagrams go to one address a minute, so one datagram that arrives
//   causes at most one that goes; every table is bounded.
//
// Without a handshake endpoint (setEnabled(false): none, or its port could
// not be bound) nothing is sent and no address ever confirms: the copy
// behaves exactly as an older one.
class Handshake {
  public:
    static constexpr int kDatagramsPerMinute = 6;
    // A challenge can be answered this long after it went.
    static constexpr qint64 kChallengeLifeMs = 60'000;
    // A proof this recent keeps the standing through any registration that
    // is not fresh.
    static constexpr qint64 kProofFreshForMs = 180'000;
    // A challenge sent to re-check a confirming address must be answered
    // this soon.
    static constexpr qint64 kAnswerWithinMs = 10'000;
    // Addresses remembered in each table, at most.
    static constexpr int kRemembered = 4096;

    // Sends bytes to the handshake port of an address; errors are the
    // sender's own to swallow.
    using SendBytes = std::function<void(const QString& address, const QByteArray& bytes)>;
    // True for an address of the roster or the directory.
    using Admits = std::function<bool(const QString& address)>;

    Handshake(SendBytes send, Admits admits);

    void setClock(SteadyClock clock) { clock_ = std::move(clock); }
    void setEnabled(bool enabled);
    [[nodiscard]] bool enabled() const { return enabled_; }

    // True when lines to this address may carry an id: it has proved it is
    // a newer copy and is not being checked again just now.
    [[nodiscard]] bool confirms(const QString& address) const;

    // A registration went to the address, or an answer to its registration:
    // a hello follows unless it confirms already.
    void greet(const QString& address);
    // A registration (fresh: its line was not in the roster) or an answer
    // to ours came from the address.
    void presenceReceived(const QString& address, bool freshRegistration);

    // What arrived on the handshake port.
    void helloReceived(const QString& address, quint32 challenge);
    void answerReceived(const QString& address, quint32 echo, quint32 challenge);
    void echoReceived(const QString& address, quint32 echo);
    // The address sent a receipt for an id that went to it.
    void proven(const QString& address);

    // This copy's own address, once a hello of its own came back to it (it
    // registered with itself); empty until then.
    [[nodiscard]] const QString& selfAddress() const { return selfAddress_; }

    // A line with an id came from an address that does not confirm: it
    // takes this copy for a newer one, so an echo was lost on the way. The
    // next plain line to it (lineSentPlain) brings a hello, so the
    // exchange completes without anything sent in answer to what arrived.
    void taggedLineReceived(const QString& address);
    void lineSentPlain(const QString& address);

    // Forgets what is out of date: challenges, counts, unanswered checks
    // (whose addresses stop confirming), addresses neither in the roster nor
    // in the directory any more. Called every few seconds.
    void look();

  private:
    struct Challenge {
        quint32 value = 0;
        qint64 sentAtMs = 0;
    };
    struct Budget {
        qint64 sinceMs = 0;
        int sent = 0;
    };

    [[nodiscard]] bool mayTalkTo(const QString& address) const;
    // Sends the datagram within the address's budget; false when it did not go.
    bool sendWithinBudget(const QString& address, const QString& text);
    // The challenge that is out to the address, a new one when none is.
    [[nodiscard]] quint32 challengeFor(const QString& address);
    // True, with the challenge used up, when echo is the one out to address.
    bool matches(const QString& address, quint32 echo);
    void confirm(const QString& address);

    SendBytes send_;
    Admits admits_;
    SteadyClock clock_ = systemSteadyClock();
    bool enabled_ = false;

    QHash<QString, qint64> confirmed_;  // address, its last proof
    QHash<QString, qint64> checking_;   // confirmed, challenged again since
    QHash<QString, Challenge> challenges_;
    QHash<QString, Budget> budgets_;
    QHash<QString, qint64> hinted_;  // tagged lines came from there, when
    QString selfAddress_;
};
