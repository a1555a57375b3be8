#include "app/program/OrderlyShutdown.h"

#include <QApplication>
#include <QDialog>
#include <QThread>
#include <QTimer>

namespace {
// While a nested event loop other than a modal box runs (a host-name lookup
// waiting for its answer), or a box did not close when asked, the sequence
// looks again after this pause.
constexpr int kNestedLoopRetryMs = 20;
}  // namespace

OrderlyShutdown::OrderlyShutdown(QWidget* mainWindow, QObject* parent)
    : QObject(parent), mainWindow_(mainWindow) {}

void OrderlyShutdown::start() {
    if (running_) {
        return;
    }
    running_ = true;
    scheduleStep(0);
}

void OrderlyShutdown::scheduleStep(int delayMs) {
    QTimer::singleShot(delayMs, this, &OrderlyShutdown::step);
}

void OrderlyShutdown::step() {
    if (QWidget* modal = QApplication::activeModalWidget()) {
        // Closed as by its close box, so a question box answers what Escape
        // would answer. A box that refuses (no button stands for Escape) is
        // rejected at the second attempt, and asked again a little later
        // rather than at once, so it never spins the loop.
        const bool askedBefore = modal == lastModal_;
        lastModal_ = modal;
        auto* dialog = qobject_cast<QDialog*>(modal);
        if (askedBefore && dialog) {
            dialog->reject();
        } else {
            modal->close();
        }
        scheduleStep(askedBefore ? kNestedLoopRetryMs : 0);
        return;
    }
    // The loop of a box just closed returns only after this event; the main
    // window is closed from the application's own loop alone (level 1).
    if (QThread::currentThread()->loopLevel() > 1) {
        scheduleStep(kNestedLoopRetryMs);
        return;
    }
    running_ = false;
    if (mainWindow_) {
        mainWindow_->close();
    }
}
