#pragma once

#include <QPlainTextEdit>
#include <QString>

// The conversation log: a read-only plain-text view with one line per
// received chat text. The view shows the lines; the exact text (every
// appended text followed by CR LF, verbatim) is kept beside it, because the
// document turns CR and LF into block breaks and gives back LF only.
class ConversationLog : public QPlainTextEdit {
    Q_OBJECT
  public:
    explicit ConversationLog(QWidget* parent = nullptr);

    // Adds text verbatim followed by CR LF at the end of the log, moves the
    // caret there (any selection is lost) and scrolls to it. Costs the same
    // however long the log already is.
    void appendLine(const QString& text);

    // The exact log text: every appended text followed by CR LF.
    [[nodiscard]] const QString& text() const { return text_; }
    [[nodiscard]] bool isEmpty() const { return text_.isEmpty(); }

    // Removes the whole log. Hides QPlainTextEdit::clear, which would leave
    // the exact text behind: call it through a ConversationLog.
    void clear();

  private:
    QString text_;
};
