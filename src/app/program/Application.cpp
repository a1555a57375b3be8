#include "app/program/Application.h"

#include "app/dialogs/ErrorReport.h"
#include "app/dialogs/MessageBoxes.h"
#include "text/Exception.h"

#include <QFileInfo>

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv),
      // Until the program sets its title, the executable's name stands in,
      // as a system would show it.
      title_(QFileInfo(applicationFilePath()).completeBaseName()),
      presenter_(&showErrorBox) {
    // The desktop file's id: Wayland compositors and notification services
    // find the program's name and icon by it.
    setDesktopFileName(QStringLiteral("org.vesmar.Vesmar"));
    // The window's reports come here, to this object's presenter.
    setErrorReporter([this](const QString& message) {
        reportError(std::make_exception_ptr(Exception(message)));
    });
}

Application::~Application() {
    setErrorReporter({});
}

bool Application::notify(QObject* receiver, QEvent* event) {
    std::exception_ptr error;
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        error = std::current_exception();
        ++escapedExceptions_;
    }
    // The box runs its own event loop, so it is shown outside the handler.
    reportError(error);
    return false;
}

void Application::reportError(const std::exception_ptr& error) {
    const QString text = errorReportText(exceptionMessage(error));
    if (!presenter_) {
        return;
    }
    try {
        presenter_(title_, text);
    } catch (...) {
        // Nothing is left to report with; the program goes on.
    }
}
