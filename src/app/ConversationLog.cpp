#include "app/ConversationLog.h"

#include <QScrollBar>
#include <QTextCursor>

ConversationLog::ConversationLog(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // The log only grows by appends and a clear; an undo history would keep a
    // second copy of every line for nothing.
    setUndoRedoEnabled(false);
}

void ConversationLog::appendLine(const QString& text) {
    text_.append(text);
    text_.append(u"\r\n");

    // The document shows the log as a memo does: each line ends with a block
    // break, so the caret after the last line stands on an empty last block.
    // A CR LF, lone CR or lone LF inside the text becomes a break as well.
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertText(text);
    end.insertBlock();
    // The caret goes to the end (dropping any selection) and the view to the
    // bottom, so the newest line is in sight.
    moveCursor(QTextCursor::End);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void ConversationLog::clear() {
    text_.clear();
    QPlainTextEdit::clear();
}
