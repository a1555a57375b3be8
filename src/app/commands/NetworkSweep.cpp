#include "app/commands/NetworkSweep.h"

#include "app/dialogs/SweepDialog.h"
#include "app/widgets/SweepProgressLine.h"
#include "core/DiscoverySweep.h"
#include "core/Protocol.h"
#include "net/platform/ProbeSocket.h"

#include <QAction>

NetworkSweep::NetworkSweep(Conference& conference, SweepProgressLine& line, QAction& command,
                           QWidget* window, QObject* parent)
    : QObject(parent),
      conference_(conference),
      line_(line),
      command_(command),
      window_(window),
      networks_(localIPv4Networks),
      makeSender_([] { return std::make_unique<ProbeSocket>(Protocol::kPort); }) {
    connect(&line_, &SweepProgressLine::stopRequested, this, &NetworkSweep::cancel);
}

NetworkSweep::~NetworkSweep() = default;

bool NetworkSweep::isRunning() const {
    return sweep_ && sweep_->isRunning();
}

void NetworkSweep::run() {
    if (isRunning() || (dialog_ != nullptr && dialog_->isVisible())) {
        return;
    }
    if (dialog_ == nullptr) {
        dialog_ = new SweepDialog(window_);
    }
    const std::optional<QList<quint32>> addresses = dialog_->ask(networks_());
    // A sweep started meanwhile (the dialog runs an event loop) goes first.
    if (!addresses || isRunning()) {
        return;
    }
    sweep_.reset();
    sender_ = makeSender_();
    sweep_ = std::make_unique<DiscoverySweep>(*sender_, conference_);
    connect(sweep_.get(), &DiscoverySweep::progressChanged, this, &NetworkSweep::showProgress);
    connect(sweep_.get(), &DiscoverySweep::waitingForLateAnswers, this,
            [this] { showProgress(sweep_->progress()); });
    connect(sweep_.get(), &DiscoverySweep::finished, this, &NetworkSweep::showSummary);
    command_.setEnabled(false);
    sweep_->start(*addresses);
}

void NetworkSweep::cancel() {
    if (sweep_) {
        sweep_->cancel();
    }
}

void NetworkSweep::showProgress(const SweepProgress& progress) {
    line_.showProgress(progress, sweep_->state() == DiscoverySweep::State::Waiting);
}

void NetworkSweep::showSummary(const SweepProgress& progress, bool cancelled) {
    line_.showSummary(progress, cancelled);
    command_.setEnabled(true);
}
