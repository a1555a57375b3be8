#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

class Conference;
class ProbeSender;

// How far a sweep has come.
struct SweepProgress {
    int total = 0;     // addresses to ask
    int asked = 0;     // requests sent or given up (failed)
    int failed = 0;    // requests the system refused to send
    int answered = 0;  // asked addresses that answered with their name
    int added = 0;     // of those, answers that added a line to the directory
};

// A discovery sweep: sends the name request ("AUTODETECT0") once to every
// address of a list, paced, then waits for late answers. The answers are the
// conference's: it adds each to the directory once and reports it through
// Conference::nameAnswered, which the sweep counts. The conference takes the
// first answer of each asked address without the limit it puts on answers
// nobody asked for.
//
// Pacing: a timer ticks every millisecond on the event loop; each tick sends
// what is due at one request per kRequestIntervalNs since the start, at most
// kMaxPerTick, so the answers never come in faster than the endpoint takes
// them and the window stays usable. A send the system cannot take now is
// tried again on a later tick.
class DiscoverySweep : public QObject {
    Q_OBJECT
  public:
    static constexpr qint64 kRequestIntervalNs = 250'000;
    static constexpr int kTickMs = 1;
    static constexpr int kMaxPerTick = 4;
    static constexpr int kLateAnswerWaitMs = 2000;

    enum class State { Idle, Sending, Waiting };

    DiscoverySweep(ProbeSender& sender, Conference& conference, QObject* parent = nullptr);

    // Starts a sweep over the addresses (host byte order); does nothing while
    // one runs.
    void start(const QList<quint32>& addresses);
    // Stops at once: nothing more is sent, finished() reports cancelled.
    void cancel();

    [[nodiscard]] State state() const { return state_; }
    [[nodiscard]] bool isRunning() const { return state_ != State::Idle; }
    [[nodiscard]] const SweepProgress& progress() const { return progress_; }
    // Whether this sweep runs and asked fromIP, which has not answered yet.
    [[nodiscard]] bool asked(const QString& fromIP) const {
        return isRunning() && pending_.contains(fromIP);
    }

  signals:
    void progressChanged(const SweepProgress& progress);
    // The last request has gone out; late answers are awaited.
    void waitingForLateAnswers();
    void finished(const SweepProgress& progress, bool cancelled);

  private:
    void sendDue();
    void countAnswer(const QString& fromIP, bool added);
    void finish(bool cancelled);

    ProbeSender& sender_;
    QByteArray request_;
    QList<quint32> addresses_;
    QSet<QString> pending_;  // asked, not yet answered
    State state_ = State::Idle;
    SweepProgress progress_;
    QElapsedTimer clock_;
    QTimer sendTimer_;
    QTimer lateTimer_;
};
