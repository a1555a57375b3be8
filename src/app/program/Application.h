#pragma once

#include "app/widgets/ApplicationTitle.h"

#include <QApplication>
#include <QString>

#include <exception>
#include <functional>

// The application object. Every command, timer and receive handler catches
// its own errors and reports them; as a last resort, an exception that a
// handler lets escape anyway is kept from crossing Qt's event dispatch:
// notify() catches it, shows the standard error report, and the program goes
// on.
//
// The title is kept here rather than in QGuiApplication's display name, which
// Qt would append to the caption of every other window.
class Application : public QApplication {
    Q_OBJECT
  public:
    // Shows one report: caption and text, the "." rule already applied.
    using ErrorPresenter = std::function<void(const QString& title, const QString& text)>;

    Application(int& argc, char** argv);
    ~Application() override;

    bool notify(QObject* receiver, QEvent* event) override;

    [[nodiscard]] const QString& title() const { return title_; }
    void setTitle(const QString& title) { title_ = title; }

    // The default presenter shows the modal error box; tests replace it.
    void setErrorPresenter(ErrorPresenter presenter) { presenter_ = std::move(presenter); }

    // Shows the standard error report for an exception.
    void reportError(const std::exception_ptr& error);

    // Exceptions that reached notify(): every handler reports its own
    // errors, so this stays 0 unless one forgot to.
    [[nodiscard]] int escapedExceptions() const { return escapedExceptions_; }

  private:
    QString title_;
    ErrorPresenter presenter_;
    int escapedExceptions_ = 0;
};
