#pragma once

#include <QString>

#include <functional>

class ConversationLog;
class QFileDialog;
class QWidget;

// The commands of the log's pop-up menu: copy to the clipboard, save to a
// text file, clear after a confirmation. They work on the log view and on the
// window's log save dialog, which the window configures (createLogSaveDialog)
// and owns.
class LogCommands {
  public:
    // Gives the save dialog; called at each save, so the window can build the
    // dialog on first use and hand out the same one afterwards.
    using SaveDialogSource = std::function<QFileDialog*()>;

    // boxParent is the window the confirmation box belongs to.
    LogCommands(ConversationLog& log, SaveDialogSource saveDialog, QWidget* boxParent = nullptr);

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
    SaveDialogSource saveDialog_;
    QWidget* boxParent_;
    QString lastFileName_;
};
