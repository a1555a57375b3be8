#include "app/dialogs/UserMessages.h"

#include "app/dialogs/ErrorReport.h"
#include "app/dialogs/MessageBoxes.h"

#include <QMessageBox>

UserMessages::UserMessages(QWidget* window) : window_(window) {}

void UserMessages::tell(const QString& text) {
    if (unattended_) {
        writeErrorLine(text);
    } else {
        showPlainMessage(text, window_);
    }
}

void UserMessages::reportError(const QString& message) {
    reportErrorMessage(message);
}

void UserMessages::reportFailure(const std::exception_ptr& error) {
    reportError(exceptionMessage(error));
}

void UserMessages::runCommand(const std::function<void()>& command) {
    try {
        command();
    } catch (...) {
        // The box runs an event loop of its own: shown once the command
        // has unwound.
        reportFailure(std::current_exception());
    }
}

void UserMessages::showLinkCheckResult(const QString& text) {
    if (unattended_) {
        writeErrorLine(text);
        return;
    }
    if (linkCheckBox_) {
        linkCheckBox_->setText(text);
        return;
    }
    const std::unique_ptr<QMessageBox> box = makePlainMessage(text, window_);
    linkCheckBox_ = box.get();
    box->exec();
}
