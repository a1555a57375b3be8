#pragma once

#include "net/ProbeSender.h"
#include "net/platform/LocalNetworks.h"

#include <QObject>

#include <functional>
#include <memory>

class Conference;
class DiscoverySweep;
class QAction;
class QWidget;
class SweepDialog;
class SweepProgressLine;
struct SweepProgress;

// The command "Найти в сети ...": asks for the ranges in the sweep dialog,
// then runs the sweep and shows it in the progress line. The machine's
// networks are read, and the request socket opened, only when the command
// runs. The command is disabled while a sweep runs.
class NetworkSweep : public QObject {
    Q_OBJECT
  public:
    using NetworkSource = std::function<QList<LocalNetwork>()>;
    using SenderFactory = std::function<std::unique_ptr<ProbeSender>()>;

    // window: the parent of the dialog and its messages.
    NetworkSweep(Conference& conference, SweepProgressLine& line, QAction& command, QWidget* window,
                 QObject* parent = nullptr);
    ~NetworkSweep() override;

    // Where the networks and the request sender come from; tests plug in
    // their own instead of the machine's interfaces and a real socket.
    void setNetworkSource(NetworkSource source) { networks_ = std::move(source); }
    void setSenderFactory(SenderFactory factory) { makeSender_ = std::move(factory); }

    // Opens the dialog and, when the user starts, the sweep.
    void run();
    // Stops a running sweep at once.
    void cancel();

    [[nodiscard]] bool isRunning() const;
    [[nodiscard]] SweepDialog* dialog() const { return dialog_; }

  private:
    void showProgress(const SweepProgress& progress);
    void showSummary(const SweepProgress& progress, bool cancelled);

    Conference& conference_;
    SweepProgressLine& line_;
    QAction& command_;
    QWidget* window_;
    SweepDialog* dialog_ = nullptr;
    NetworkSource networks_;
    SenderFactory makeSender_;
    // The sweep is destroyed before its sender.
    std::unique_ptr<ProbeSender> sender_;
    std::unique_ptr<DiscoverySweep> sweep_;
};
