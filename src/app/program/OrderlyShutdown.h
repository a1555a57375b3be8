#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

// Ends the program the normal way on request from outside: first the open
// modal boxes are closed, one at a time, each from the event loop after the
// previous one has returned; when none is left and no nested event loop is
// running, the main window is closed as if the user had closed it, so its
// closing handler runs and saves what it saves. Nothing is destroyed under a
// running handler.
class OrderlyShutdown : public QObject {
    Q_OBJECT
  public:
    explicit OrderlyShutdown(QWidget* mainWindow, QObject* parent = nullptr);

    // Starts the sequence; later calls while it runs change nothing.
    void start();

    [[nodiscard]] bool running() const { return running_; }

  private:
    void step();
    void scheduleStep(int delayMs);

    QPointer<QWidget> mainWindow_;
    QPointer<QWidget> lastModal_;
    bool running_ = false;
};
