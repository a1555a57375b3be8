#pragma once

#include <QPointer>
#include <QString>

#include <exception>
#include <functional>

class QMessageBox;
class QWidget;

// What the main window tells the person: in a modal box while someone is
// there to answer it, as one line on standard error once nobody is (an end
// by signal).
class UserMessages {
  public:
    // window: the parent of the boxes.
    explicit UserMessages(QWidget* window);

    // A plain message.
    void tell(const QString& text);
    // The standard error report of the application.
    void reportError(const QString& message);
    // The same for an exception that was caught.
    void reportFailure(const std::exception_ptr& error);
    // Runs one command of the person's and reports what it raised, at the
    // command's own edge: no exception crosses the event loop.
    void runCommand(const std::function<void()>& command);
    // A link-check result. One box at a time: results that arrive while it
    // is open show in it instead of stacking boxes inside boxes without end.
    void showLinkCheckResult(const QString& text);

    // From now on nobody answers boxes.
    void endUnattended() { unattended_ = true; }

  private:
    QWidget* window_;
    bool unattended_ = false;
    QPointer<QMessageBox> linkCheckBox_;
};
