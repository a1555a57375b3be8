#include "core/DiscoverySweep.h"

#include "core/Conference.h"
#include "core/Protocol.h"
#include "core/SweepRanges.h"
#include "net/ProbeSender.h"
#include "text/Cp1251.h"

DiscoverySweep::DiscoverySweep(ProbeSender& sender, Conference& conference, QObject* parent)
    : QObject(parent),
      sender_(sender),
      request_(Cp1251::encode(Protocol::controlText(Protocol::kAutoDetect0))) {
    sendTimer_.setTimerType(Qt::PreciseTimer);
    sendTimer_.setInterval(kTickMs);
    lateTimer_.setSingleShot(true);
    lateTimer_.setInterval(kLateAnswerWaitMs);
    connect(&sendTimer_, &QTimer::timeout, this, &DiscoverySweep::sendDue);
    connect(&lateTimer_, &QTimer::timeout, this, [this] { finish(false); });
    connect(&conference, &Conference::nameAnswered, this, &DiscoverySweep::countAnswer);
    conference.setSweep(this);
}

void DiscoverySweep::start(const QList<quint32>& addresses) {
    if (isRunning()) {
        return;
    }
    addresses_ = addresses;
    pending_.clear();
    progress_ = SweepProgress{};
    progress_.total = int(addresses_.size());
    state_ = State::Sending;
    clock_.start();
    emit progressChanged(progress_);
    sendDue();
    if (state_ == State::Sending) {
        sendTimer_.start();
    }
}

void DiscoverySweep::cancel() {
    if (isRunning()) {
        finish(true);
    }
}

void DiscoverySweep::sendDue() {
    if (state_ != State::Sending) {
        return;
    }
    // Requests due by now at the pace, counted from the start: one at once,
    // then one per interval; never more than kMaxPerTick in one go, so a late
    // tick does not turn into a burst.
    const qint64 due = clock_.nsecsElapsed() / kRequestIntervalNs + 1 - progress_.asked;
    int sentNow = 0;
    for (qint64 n = 0; n < due && n < kMaxPerTick && progress_.asked < progress_.total; ++n) {
        const quint32 address = addresses_.at(progress_.asked);
        const ProbeSender::Result result = sender_.send(address, request_);
        if (result == ProbeSender::Result::Busy) {
            break;  // the same address again on a later tick
        }
        if (result == ProbeSender::Result::Failed) {
            ++progress_.failed;
        } else {
            pending_.insert(SweepRanges::addressText(address));
        }
        ++progress_.asked;
        ++sentNow;
    }
    if (sentNow > 0) {
        emit progressChanged(progress_);
    }
    if (progress_.asked == progress_.total) {
        sendTimer_.stop();
        state_ = State::Waiting;
        lateTimer_.start();
        emit waitingForLateAnswers();
    }
}

void DiscoverySweep::countAnswer(const QString& fromIP, bool added) {
    // Each asked address counts once, however often it answers.
    if (!isRunning() || !pending_.remove(fromIP)) {
        return;
    }
    ++progress_.answered;
    if (added) {
        ++progress_.added;
    }
    emit progressChanged(progress_);
}

void DiscoverySweep::finish(bool cancelled) {
    sendTimer_.stop();
    lateTimer_.stop();
    state_ = State::Idle;
    pending_.clear();
    emit finished(progress_, cancelled);
}
