#pragma once

#include "core/SteadyClock.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <array>
#include <functional>
#include <list>
#include <map>
#include <vector>

// Delivery receipts between newer copies, on both sides (which addresses
// are newer copies is the Handshake's to say):
//
// - The sender's side. A chat line to a confirming peer carries an id of its
//   own, drawn at random for that recipient and that line, so that no other
//   recipient can know it; only a receipt from the address the id went to
//   counts. Each recipient that has not sent its id back is sent the same
//   datagram again after 1, 2, 4, 8, 8, 8, 8, 8 and 8 s, ten sends over
//   55 s, as long as its address may be resent to (mayResend). At 63 s the
//   line's outcome is known: notDelivered() names those that never
//   confirmed it. Peers that do not confirm get each line once, untracked.
// - The receiver's side. Every copy of a tagged line is confirmed, and the
//   line is shown only for the first copy of its id from that sender. The
//   ids of kRememberedSenders senders are kept; to make room the least
//   recently used sender is forgotten, but never one that is kept
//   (keepsSender: a roster member) and never one heard within the time a
//   line can still be resent.
class Receipts : public QObject {
    Q_OBJECT
  public:
    static constexpr int kSends = 10;
    static constexpr std::array<int, kSends - 1> kPausesMs = {1000, 2000, 4000, 8000, 8000,
                                                              8000, 8000, 8000, 8000};
    static constexpr qint64 kOutcomeAfterMs = 63'000;
    // Ids remembered per sender, to tell a resent line from a new one.
    static constexpr int kRememberedIds = 1024;
    // Senders whose ids are remembered, at most.
    static constexpr int kRememberedSenders = 2048;

    // One recipient's copy of a line: its own id and datagram.
    struct Copy {
        QString address;
        QString name;
        quint32 id = 0;
        QByteArray bytes;
    };
    // Sends bytes to an address; errors are the sender's own to swallow.
    using SendBytes = std::function<void(const QString& address, const QByteArray& bytes)>;
    using AddressTest = std::function<bool(const QString& address)>;

    explicit Receipts(SendBytes send, QObject* parent = nullptr);

    void setClock(SteadyClock clock) { clock_ = std::move(clock); }
    // Resends go only to the addresses this admits; the others wait.
    void setMayResend(AddressTest test) { mayResend_ = std::move(test); }
    // The senders this names are never forgotten to make room.
    void setKeepsSender(AddressTest test) { keepsSender_ = std::move(test); }

    // ---- the sender's side
    // A random id, none of those still waited for.
    [[nodiscard]] quint32 newLineId() const;
    // Starts tracking the copies of one line that went out (once each).
    void track(const QList<Copy>& copies);
    // True when the id went to this address and was still waited for.
    bool receiptReceived(const QString& address, quint32 id);
    // Resends what is due and settles the lines whose time is up; the timer
    // calls it while lines are tracked.
    void resendDue();
    [[nodiscard]] int trackedLines() const { return static_cast<int>(lines_.size()); }
    // Recipients that never confirmed a line, counted once per line and
    // recipient, since the start.
    [[nodiscard]] int notDeliveredInAll() const { return notDeliveredInAll_; }

    // ---- the receiver's side
    // A tagged line arrived. True for the first copy of the id from this
    // address, false for every later one (and true for every copy from a
    // sender there was no room to remember).
    bool firstCopy(const QString& address, quint32 id);
    [[nodiscard]] int rememberedSenders() const { return static_cast<int>(seen_.size()); }

  signals:
    // A line's tries ended; these recipients (their names, in roster order)
    // never confirmed it.
    void notDelivered(const QStringList& names);

  private:
    struct Waiting {
        Copy copy;
        bool confirmed = false;
    };
    struct Line {
        QList<Waiting> copies;
        int waiting = 0;
        qint64 sentAtMs = 0;
        int sends = 1;
    };
    struct Sender {
        std::vector<quint32> ids;  // a ring once full
        size_t next = 0;
        qint64 usedAtMs = 0;
        std::list<QString>::iterator place;
    };

    [[nodiscard]] qint64 nextSendAt(const Line& line) const;
    void settle(std::map<quint64, Line>::iterator line);
    void armTimer();
    // Forgets one sender to make room; false when none may be forgotten.
    bool makeRoom(qint64 nowMs);

    SendBytes send_;
    AddressTest mayResend_;
    AddressTest keepsSender_;
    SteadyClock clock_ = systemSteadyClock();
    QTimer timer_;
    std::map<quint64, Line> lines_;  // by serial: oldest first
    quint64 nextSerial_ = 0;
    // Every id still waited for: its line and its place there.
    QHash<quint32, std::pair<quint64, qsizetype>> byId_;
    int notDeliveredInAll_ = 0;

    QHash<QString, Sender> seen_;
    std::list<QString> seenOrder_;  // least recently used first
};
