#pragma once

#include <QFrame>

class QLabel;
class QProgressBar;
class QPushButton;
struct SweepProgress;

// The line under the pages that shows a running network search: a progress
// bar of the addresses asked, the counts, and a button that stops the search.
// Once the search is over the line shows its result until it is hidden.
class SweepProgressLine : public QFrame {
    Q_OBJECT
  public:
    explicit SweepProgressLine(QWidget* parent = nullptr);

    void showProgress(const SweepProgress& progress, bool waiting);
    void showSummary(const SweepProgress& progress, bool cancelled);

    [[nodiscard]] bool isRunning() const { return running_; }

    QProgressBar* bar = nullptr;
    QLabel* label = nullptr;
    QPushButton* button = nullptr;  // "Прервать" while running, then "Скрыть"

  signals:
    void stopRequested();

  private:
    bool running_ = false;
};
