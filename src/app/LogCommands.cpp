#include "app/LogCommands.h"

#include "app/ConfirmBox.h"
#include "app/ConversationLog.h"
#include "text/Cp1251.h"
#include "text/Exception.h"

#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace {

// Writes text to the file as Windows-1251 bytes, replacing what the file
// held. The new content goes to a temporary file that replaces the old one
// only when written whole, so a full disk never leaves a cut-off file behind;
// in a folder where no temporary file can be made, the file is written in
// place. Any failure is reported as the file not being created.
void WriteTextFile(const QString& fileName, const QString& text) {
    const QString fullName = QFileInfo(fileName).absoluteFilePath();
    const QByteArray bytes = Cp1251::encode(text);
    QSaveFile file(fullName);
    file.setDirectWriteFallback(true);
    bool done = file.open(QIODevice::WriteOnly);
    if (done) {
        if (file.write(bytes) != bytes.size()) {
            file.cancelWriting();
        }
        done = file.commit();
    }
    if (!done) {
        throw Exception(u"Cannot create file %1"_s.arg(fullName));
    }
}

}  // namespace

LogCommands::LogCommands(ConversationLog& log, QFileDialog& saveDialog, QWidget* boxParent)
    : log_(log), saveDialog_(saveDialog), boxParent_(boxParent) {}

void LogCommands::Clipboard1Click() {
    log_.selectAll();
    // The view would give LF line ends; the clipboard gets the log's own text.
    QGuiApplication::clipboard()->setText(log_.text(), QClipboard::Clipboard);
}

void LogCommands::N9Click() {
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
    WriteTextFile(lastFileName_, log_.text());
}

void LogCommands::N11Click() {
    if (log_.isEmpty()) {
        return;
    }
    if (ConfirmBox::ask(u"Вы желаете удалить все содержание Вашей \"беседы\" ?"_s, boxParent_)) {
        log_.clear();
    }
}
