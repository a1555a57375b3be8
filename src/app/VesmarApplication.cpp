#include "app/VesmarApplication.h"

#include "app/ErrorReport.h"

#include <QFileInfo>

VesmarApplication::VesmarApplication(int& argc, char** argv)
    : QApplication(argc, argv),
      // Until the program sets its title, the executable's name stands in,
      // as a system would show it.
      title_(QFileInfo(applicationFilePath()).completeBaseName()),
      presenter_(&ShowErrorBox) {}

bool VesmarApplication::notify(QObject* receiver, QEvent* event) {
    std::exception_ptr error;
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        error = std::current_exception();
    }
    // The box runs its own event loop, so it is shown outside the handler.
    reportError(error);
    return false;
}

void VesmarApplication::reportError(const std::exception_ptr& error) {
    const QString text = ErrorReportText(ExceptionMessage(error));
    if (!presenter_) {
        return;
    }
    try {
        presenter_(title_, text);
    } catch (...) {
        // Nothing is left to report with; the program goes on.
    }
}
