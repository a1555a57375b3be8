#pragma once

#include <QString>

class ConversationLog;
class QFileDialog;
class QWidget;

// The commands of the log's pop-up menu: copy to the clipboard, save to a
// text file, clear after a confirmation. They work on the log view and on the
// window's log save dialog, which the window configures (save mode, default
// suffix TXT, the two filters, overwrite prompt) and owns.
class LogCommands {
  public:
    // boxParent is the window the confirmation box belongs to.
    LogCommands(ConversationLog& log, QFileDialog& saveDialog, QWidget* boxParent = nullptr);

    // Selects the whole log and puts its exact text on the clipboard as plain
    // text. The whole log stays selected.
    void copyLogToClipboard();

    // Shows the save dialog (offering the name chosen last) and writes the
    // exact log text, as it stands when the dialog closes, to the chosen file
    // in Windows-1251.
    // Throws Exception("Cannot create file <full name>") when the file cannot
    // be created or written whole.
    void saveLog();

    // Clears the log after the confirmation box is answered "OK". An empty
    // log is left alone without a question.
    void clearLog();

    // The name chosen in the last save of this run; empty before the first.
    [[nodiscard]] const QString& lastFileName() const { return lastFileName_; }

  private:
    ConversationLog& log_;
    QFileDialog& saveDialog_;
    QWidget* boxParent_;
    QString lastFileName_;
};
