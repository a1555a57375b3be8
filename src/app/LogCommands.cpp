#include "app/LogCommands.h"

#include "app/ConfirmBox.h"
#include "app/ConversationLog.h"
#include "core/LogFile.h"
#include "text/Exception.h"

#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>

using namespace Qt::StringLiterals;

LogCommands::LogCommands(ConversationLog& log, QFileDialog& saveDialog, QWidget* boxParent)
    : log_(log), saveDialog_(saveDialog), boxParent_(boxParent) {}

void LogCommands::copyLogToClipboard() {
    log_.selectAll();
    // The view would give LF line ends; the clipboard gets the log's own text.
    QGuiApplication::clipboard()->setText(log_.text(), QClipboard::Clipboard);
}

void LogCommands::saveLog() {
    if (!lastFileName_.isEmpty()) {
        saveDialog_.selectFile(lastFileName_);
    }
    if (saveDialog_.exec() != QDialog::Accepted) {
        return;
    }
    const QStringList chosen = saveDialog_.selectedFiles();
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
    if (ConfirmBox::ask(u"Вы желаете удалить все содержание Вашей \"беседы\" ?"_s, boxParent_)) {
        log_.clear();
    }
}
