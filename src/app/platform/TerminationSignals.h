#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP as a Qt signal on the GUI thread. The signal
// handler only writes one byte to a pipe; a socket notifier on the pipe's
// other end emits requested() from the event loop. A second signal, while the
// first is still being handled, ends the process at once.
//
// One object per process; it restores the default handlers when destroyed.
class TerminationSignals : public QObject {
    Q_OBJECT
  public:
    // Throws Exception when the pipe or the handlers cannot be set up.
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    // Ends the process, with a line on standard error, if it is still running
    // after this many milliseconds: an end by signal must end even where a
    // step of it hangs (a name server that never answers).
    static void armDeadline(int milliseconds);

  signals:
    // The first termination signal arrived; signalNumber says which.
    void requested(int signalNumber);

  private:
    void readPipe();

    int readFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};
