#pragma once

#include <QHash>
#include <QString>
#include <QtGlobal>

#include <list>

// How many new directory lines peers may relay to us: one sender at most
// kPerMinute in a window of kWindowMs (one minute) that opens at the sender's
// first line and opens again at its first line after the window has ended;
// all senders together at most kTotalPerMinute in a window that opens and
// ends the same way. Only lines that peers send pass through here; what the
// user types never does. Answers to a name request or a link check that
// nobody here asked for count against the total only (admitAnswer).
//
// Both tables stay bounded whatever the senders do (a peer on the local
// network can write any source address): a sender whose window has ended is
// forgotten, and while kMaxSenders windows are open a new sender is refused
// until one ends; a sender's count is never reset by others arriving.
// Refusals are counted per sender in a second table of at most kMaxSenders
// senders, the one refused longest ago giving way.
//
// Time is given by the caller, in milliseconds of a clock that does not go
// back (QElapsedTimer, for instance).
class RelayLimit {
  public:
    static constexpr int kPerMinute = 1000;
    static constexpr qint64 kWindowMs = 60'000;
    static constexpr int kMaxSenders = 4096;
    static constexpr int kTotalPerMinute = 2000;

    // The bounds are the constants above unless a test asks for others.
    explicit RelayLimit(int perWindow = kPerMinute, qint64 windowMs = kWindowMs,
                        int maxSenders = kMaxSenders, int totalPerWindow = kTotalPerMinute);

    // True, counting the line, while fromIP has had fewer than kPerMinute
    // lines admitted in its current window and all senders fewer than
    // kTotalPerMinute in theirs; false otherwise, counting the refusal.
    // Ask only for a line that would change the list.
    bool admit(const QString& fromIP, qint64 nowMs);
    // The same against the total only: for an answer nobody asked for.
    bool admitAnswer(const QString& fromIP, qint64 nowMs);
    // Counts a refusal for a reason of the caller's (a sender that may not
    // relay at all), so that the status line tells it with the others.
    void refuse(const QString& fromIP);

    // Lines refused from fromIP since it was first refused; 0 for a sender
    // never refused or forgotten from the full table of refusals.
    [[nodiscard]] int refused(const QString& fromIP) const;

    // Senders with a window that has not been seen to end (at most
    // kMaxSenders).
    [[nodiscard]] int trackedSenders() const { return static_cast<int>(windows_.size()); }
    // Senders whose refusals are counted (at most kMaxSenders).
    [[nodiscard]] int refusingSenders() const { return static_cast<int>(refusals_.size()); }

  private:
    // The senders, oldest first: windows by the time they opened, refusals
    // by the time of the sender's latest refusal.
    using Order = std::list<QString>;

    struct Window {
        qint64 openedMs = 0;
        int admitted = 0;
    };
    struct Refusals {
        int count = 0;
        Order::iterator place;
    };

    void forgetEndedWindows(qint64 nowMs);
    // True while the total window has room, after opening a new one if the
    // last has ended.
    bool totalHasRoom(qint64 nowMs);
    void countRefusal(const QString& fromIP);

    int perWindow_;
    qint64 windowMs_;
    int maxSenders_;
    int totalPerWindow_;
    Window total_;
    QHash<QString, Window> windows_;
    Order windowOrder_;
    QHash<QString, Refusals> refusals_;
    Order refusalOrder_;
};
