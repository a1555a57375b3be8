#pragma once

#include <QObject>

#include <memory>

// A request from outside to end the program, as a Qt signal on the GUI
// thread: on Linux SIGTERM, SIGINT and SIGHUP, on Windows the end of the
// session (log-off, shut-down) and the console's Ctrl+C, Ctrl+Break and
// close. A second request, while the first is still being handled, ends the
// process at once.
//
// On Linux the signal handler only writes one byte to a pipe; a socket
// notifier on the pipe's other end emits requested() from the event loop.
// On Windows, where the process is killed soon after the session's end has
// been announced, the announcement itself runs the event loop until the
// program has ended its own way (see the Windows file).
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
    // The first request arrived; signalNumber says which (SIGTERM for the
    // end of a Windows session, SIGINT for Ctrl+C).
    void requested(int signalNumber);

  private:
    // What the system's side holds: the pipe, or the session's watch.
    struct Watch;
    std::unique_ptr<Watch> watch_;
};
