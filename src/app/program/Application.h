#pragma once

#include <QApplication>
#include <QString>

#include <exception>
#include <functional>

// The program's title, shown in the task bar and as the caption of the
// standard error report.
inline const QString kApplicationTitle = QStringLiteral("Зовница");

// The application object. It keeps every exception that a handler lets escape
// from crossing Qt's event dispatch: notify() catches it and shows the
// standard error report, and the program goes on.
//
// The title is kept here rather than in QGuiApplication's display name, which
// Qt would append to the caption of every other window.
class Application : public QApplication {
    Q_OBJECT
  public:
    // Shows one report: caption and text, the "." rule already applied.
    using ErrorPresenter = std::function<void(const QString& title, const QString& text)>;

    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    [[nodiscard]] const QString& title() const { return title_; }
    void setTitle(const QString& title) { title_ = title; }

    // The default presenter shows the modal error box; tests replace it.
    void setErrorPresenter(ErrorPresenter presenter) { presenter_ = std::move(presenter); }

    // Shows the standard error report for an exception.
    void reportError(const std::exception_ptr& error);

    // Shows the standard error report for a message: through the running
    // Application's presenter, or in a box of its own where the application
    // object is another one (a test of a single window).
    static void reportErrorMessage(const QString& message);

  private:
    QString title_;
    ErrorPresenter presenter_;
};
