#pragma once

#include "core/SteadyClock.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QQueue>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <array>
#include <functional>

// Delivery receipts between copies that understand them, on both sides:
//
// - Who confirms. An address confirms from its hello or from a receipt or an
//   id-tagged line it sent. A newer copy sends its hello right before every
//   answer to a registration, before every registration to an address that
//   confirms, and once back to an address whose hello told it first.
//   Registrations and answers that keep coming without a hello mean an
//   older copy now answers there, and it stops confirming.
// - The sender's side. A chat line to confirming peers carries an id; each
//   such peer that has not sent the id back is sent the same datagram again
//   after 1, 2, 4, 8, 8, 8, 8, 8 and 8 s, ten sends over 55 s. At 63 s the
//   line's outcome is known: notDelivered() names those that never
//   confirmed it. Peers that do not confirm get each line once, untracked.
// - The receiver's side. Every copy of a tagged line is confirmed, and the
//   line is shown only for the first copy of its id from that sender.
class Receipts : public QObject {
    Q_OBJECT
  public:
    static constexpr int kSends = 10;
    static constexpr std::array<int, kSends - 1> kPausesMs = {1000, 2000, 4000, 8000, 8000,
                                                              8000, 8000, 8000, 8000};
    static constexpr qint64 kOutcomeAfterMs = 63'000;
    // Registrations or answers in a row without a hello before an address
    // stops confirming: one lost hello must not cost a peer its receipts.
    static constexpr int kMissedHellosToForget = 3;
    // A hello counts for the registration or answer that follows it this
    // soon.
    static constexpr qint64 kHelloBeforeMs = 1000;
    // Ids remembered per sender, to tell a resent line from a new one.
    static constexpr int kRememberedIds = 4096;
    // Addresses known to confirm, at most.
    static constexpr int kRememberedConfirming = 4096;
    // Senders whose ids are remembered; the oldest is forgotten beyond.
    static constexpr int kRememberedSenders = 1024;

    struct Recipient {
        QString address;
        QString name;
    };
    // Sends bytes to an address; errors are the sender's own to swallow.
    using SendBytes = std::function<void(const QString& address, const QByteArray& bytes)>;

    explicit Receipts(SendBytes send, QObject* parent = nullptr);

    void setClock(SteadyClock clock) { clock_ = std::move(clock); }

    // ---- who confirms
    [[nodiscard]] bool confirms(const QString& address) const;
    // True when the address did not confirm until now.
    bool helloReceived(const QString& address);
    // A registration or an answer arrived. A fresh registration (from an
    // address not in the roster) without a hello right before it is an
    // older copy starting there.
    void presenceReceived(const QString& address, bool freshRegistration);

    // ---- the sender's side
    // The id for the next line; ids start at a random number each run.
    [[nodiscard]] quint32 takeLineId() { return nextId_++; }
    // Starts tracking a line that went out (once) to these recipients.
    void track(quint32 id, const QByteArray& bytes, const QList<Recipient>& recipients);
    void receiptReceived(const QString& address, quint32 id);
    // Resends what is due and settles the lines whose time is up; the timer
    // calls it while lines are tracked.
    void resendDue();
    [[nodiscard]] int trackedLines() const { return static_cast<int>(lines_.size()); }
    // Recipients that never confirmed a line, counted once per line and
    // recipient, since the start.
    [[nodiscard]] int notDeliveredInAll() const { return notDeliveredInAll_; }

    // ---- the receiver's side
    // A tagged line arrived: the address confirms. True for the first copy
    // of the id from this address, false for every later one.
    bool firstCopy(const QString& address, quint32 id);

  signals:
    // A line's tries ended; these recipients (their names, in roster order)
    // never confirmed it.
    void notDelivered(const QStringList& names);

  private:
    struct Line {
        quint32 id = 0;
        QByteArray bytes;
        QList<Recipient> waiting;
        QStringList failed;
        qint64 sentAtMs = 0;
        int sends = 1;
    };
    struct SeenIds {
        QSet<quint32> ids;
        QQueue<quint32> order;
    };

    void confirm(const QString& address);
    [[nodiscard]] qint64 nextSendAt(const Line& line) const;
    void armTimer();

    SendBytes send_;
    SteadyClock clock_ = systemSteadyClock();
    QTimer timer_;
    quint32 nextId_;
    QList<Line> lines_;  // oldest first
    int notDeliveredInAll_ = 0;

    QSet<QString> confirming_;
    QHash<QString, qint64> helloAt_;  // when the last hello came, until used
    QHash<QString, int> missedHellos_;

    QHash<QString, SeenIds> seen_;
    QQueue<QString> seenOrder_;
};
