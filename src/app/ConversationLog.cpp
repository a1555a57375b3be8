#include "app/ConversationLog.h"

ConversationLog::ConversationLog(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
}

void ConversationLog::appendLine(const QString& text) {
    appendPlainText(text);
}
