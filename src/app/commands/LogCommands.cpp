#include "app/commands/LogCommands.h"

#include "app/dialogs/MessageBoxes.h"
#include "app/views/ConversationLog.h"
#include "core/LogFile.h"
#include "text/Exception.h"

#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>

#include <utility>

using namespace Qt::StringLiterals;

LogCommands::LogCommands(ConversationLog& log, SaveDialogSource saveDialog, QWidget* boxParent)
    : log_(log), saveDialog_(std::move(saveDialog)), boxParent_(boxParent) {}

void LogCommands::copyLogToClipboard() {
    log_.selectAll();
    // The view would give LF line ends; the clipboard gets the log's own text.
    QGuiApplication::clipboard()->setText(log_.text(), QClipboard::Clipboard);
}

void LogCommands::saveLog() {
    QFileDialog& dialog = *saveDialog_();
    if (!lastFileName_.isEmpty()) {
        dialog.selectFile(lastFileName_);
    }
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty()) {
        return;
    }
    lastFileName_ = chosen.first();
    saveLogFile(QFileInfo(lastFileName_).absoluteFilePath(), log_.text());
}

void LogCommands::clearLog() {
    if (log_.isEmpty()) {
        return;
    }
    if (confirm(u"Вы желаете удалить все содержание Вашей \"беседы\" ?"_s, boxParent_)) {
        log_.clear();
    }
}
