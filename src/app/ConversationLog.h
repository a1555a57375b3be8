#pragma once

#include <QPlainTextEdit>

// The conversation log Memo1: read-only plain text, one line per received chat text.
class ConversationLog : public QPlainTextEdit {
    Q_OBJECT
  public:
    explicit ConversationLog(QWidget* parent = nullptr);

    // Adds text verbatim followed by CR LF at the end of the log.
    void appendLine(const QString& text);
};
