#include "app/commands/LogCommands.h"
#include "app/dialogs/LogSaveDialog.h"
#include "app/views/ConversationLog.h"
#include "support/FileBytes.h"
#include "support/ModalWatch.h"
#include "text/Cp1251.h"
#include "text/Exception.h"

#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/resource.h>

#include <csignal>
#endif

using namespace Qt::StringLiterals;

namespace {

// Types the name into the save dialog and presses Enter, as a person would.
void chooseFile(QFileDialog* dialog, const QString& typed) {
    auto* edit = dialog->findChild<QLineEdit*>(u"fileNameEdit"_s);
    QVERIFY(edit != nullptr);
    edit->setText(typed);
    QTest::keyClick(edit, Qt::Key_Return);
}

}  // namespace

class ConversationLogTest : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();

    void appendKeepsTheExactText_data();
    void appendKeepsTheExactText();
    void appendFollowsTheNewestLine();
    void clipboardGetsTheExactText();
    void saveWritesTheExactBytes_data();
    void saveWritesTheExactBytes();
    void saveAddsTxtAndOffersTheLastName();
    void saveReplacesAnExistingFileAfterThePrompt();
    void cancelledSaveWritesNothing();
    void textFilterShowsTxtOfAnyCase();
    void saveToAFolderThatCannotHoldTheFileFails();
    void saveCutShortKeepsTheOldFileAndFails();
    void clearAsksFirst_data();
    void clearAsksFirst();
    void clearOfAnEmptyLogAsksNothing();

  private:
    // Runs saveLog, choosing the typed name in the dialog and, when the
    // file exists, answering the replace prompt with Yes.
    void saveAs(const QString& typed, bool replace = false);

    std::unique_ptr<QTemporaryDir> dir_;
    ConversationLog* log_ = nullptr;
    QFileDialog* saveLogDialog = nullptr;
    LogCommands* commands_ = nullptr;
};

void ConversationLogTest::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    log_ = new ConversationLog;
    // The main window's own save dialog, opening in the temporary folder.
    saveLogDialog = createLogSaveDialog(nullptr);
    saveLogDialog->setDirectory(dir_->path());
    commands_ = new LogCommands(*log_, [this] { return saveLogDialog; });
}

void ConversationLogTest::cleanup() {
    delete commands_;
    delete saveLogDialog;
    delete log_;
    dir_.reset();
}

void ConversationLogTest::saveAs(const QString& typed, bool replace) {
    std::unique_ptr<ModalWatch<QMessageBox>> prompt;
    ModalWatch<QFileDialog> watch([&](QFileDialog* dialog) {
        if (replace) {
            prompt = std::make_unique<ModalWatch<QMessageBox>>(
                [](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
        }
        chooseFile(dialog, typed);
    });
    // Checked on every way out, the exception of a failed save included.
    const auto check = qScopeGuard([&] {
        QVERIFY(watch.ran());
        QVERIFY(!replace || (prompt && prompt->ran()));
    });
    commands_->saveLog();
}

void ConversationLogTest::appendKeepsTheExactText_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("exact");
    QTest::addColumn<QString>("shown");
    QTest::newRow("two lines") << QStringList{u"A"_s, u"B"_s} << u"A\r\nB\r\n"_s << u"A\nB\n"_s;
    QTest::newRow("empty line") << QStringList{QString()} << u"\r\n"_s << u"\n"_s;
    QTest::newRow("CR LF inside") << QStringList{u"X\r\nY"_s, u"Z"_s} << u"X\r\nY\r\nZ\r\n"_s
                                  << u"X\nY\nZ\n"_s;
    QTest::newRow("lone CR and LF break too") << QStringList{u"a\rb\nc\r"_s, u"\nd"_s}
                                              << u"a\rb\nc\r\r\n\nd\r\n"_s << u"a\nb\nc\n\n\nd\n"_s;
    QTest::newRow("markup stays text") << QStringList{u"<b>ИВАН</b> &amp;"_s}
                                       << u"<b>ИВАН</b> &amp;\r\n"_s << u"<b>ИВАН</b> &amp;\n"_s;
}

void ConversationLogTest::appendKeepsTheExactText() {
    QFETCH(QStringList, lines);
    QFETCH(QString, exact);
    QFETCH(QString, shown);
    QVERIFY(log_->isEmpty());
    for (const QString& line : lines) {
        log_->appendLine(line);
    }
    QCOMPARE(log_->text(), exact);
    QCOMPARE(log_->toPlainText(), shown);
    QVERIFY(!log_->isEmpty());
    log_->clear();
    QVERIFY(log_->isEmpty());
    QCOMPARE(log_->text(), QString());
    QCOMPARE(log_->toPlainText(), QString());
}

void ConversationLogTest::appendFollowsTheNewestLine() {
    log_->resize(200, 80);
    log_->show();
    for (int i = 0; i < 200; ++i) {
        log_->appendLine(u"строка %1"_s.arg(i));
    }
    log_->selectAll();
    log_->appendLine(u"последняя"_s);
    QVERIFY(!log_->hasSelection());
    QVERIFY(log_->isCaretAtEnd());
    // The view follows within a moment.
    QTRY_VERIFY(log_->verticalScrollBar()->maximum() > 150);
    QCOMPARE(log_->verticalScrollBar()->value(), log_->verticalScrollBar()->maximum());
    QVERIFY(log_->isReadOnly());
}

void ConversationLogTest::clipboardGetsTheExactText() {
    log_->appendLine(u"A"_s);
    log_->appendLine(u"B"_s);
    QGuiApplication::clipboard()->clear();
    commands_->copyLogToClipboard();
    QCOMPARE(QGuiApplication::clipboard()->text(), u"A\r\nB\r\n"_s);
    // The whole log stays selected; the log itself is unchanged.
    QCOMPARE(log_->selectedText().size(), log_->toPlainText().size());
    QCOMPARE(log_->text(), u"A\r\nB\r\n"_s);

    // Ctrl+C copies the selection as the view shows it.
    log_->show();
    QTest::keyClick(log_, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), u"A\nB\n"_s);
}

void ConversationLogTest::saveWritesTheExactBytes_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("A and B") << QStringList{u"A"_s, u"B"_s} << QByteArray("A\r\nB\r\n");
    QTest::newRow("empty log") << QStringList{} << QByteArray();
    QTest::newRow("CR LF inside kept") << QStringList{u"X\r\nY"_s} << QByteArray("X\r\nY\r\n");
    QTest::newRow("Windows-1251")
        << QStringList{u"ИВАН: Привет ё №"_s}
        << QByteArray("\xC8\xC2\xC0\xCD: \xCF\xF0\xE8\xE2\xE5\xF2 \xB8 \xB9\r\n");
}

void ConversationLogTest::saveWritesTheExactBytes() {
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, bytes);
    for (const QString& line : lines) {
        log_->appendLine(line);
    }
    const QString name = dir_->filePath(u"log.TXT"_s);
    QFile::remove(name);
    saveAs(name);
    QCOMPARE(readBytes(name), bytes);
    QCOMPARE(log_->text(), Cp1251::decode(bytes));
}

void ConversationLogTest::saveAddsTxtAndOffersTheLastName() {
    log_->appendLine(u"A"_s);
    saveAs(u"беседа"_s);
    const QString saved = dir_->filePath(u"беседа.TXT"_s);
    QCOMPARE(commands_->lastFileName(), saved);
    QCOMPARE(readBytes(saved), QByteArray("A\r\n"));

    // The next save offers the same name.
    QString offered;
    ModalWatch<QFileDialog> watch([&](QFileDialog* dialog) {
        offered = dialog->selectedFiles().value(0);
        dialog->reject();
    });
    commands_->saveLog();
    QVERIFY(watch.ran());
    QCOMPARE(offered, saved);
}

void ConversationLogTest::saveReplacesAnExistingFileAfterThePrompt() {
    const QString name = dir_->filePath(u"old.TXT"_s);
    writeBytes(name, QByteArray(100, 'x'));
    log_->appendLine(u"A"_s);

    saveAs(name, true);
    QCOMPARE(readBytes(name), QByteArray("A\r\n"));
}

void ConversationLogTest::cancelledSaveWritesNothing() {
    log_->appendLine(u"A"_s);
    ModalWatch<QFileDialog> watch([](QFileDialog* dialog) { dialog->reject(); });
    commands_->saveLog();
    QVERIFY(watch.ran());
    QCOMPARE(commands_->lastFileName(), QString());
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), QStringList());
}

void ConversationLogTest::textFilterShowsTxtOfAnyCase() {
    for (const QString& name : {u"a.txt"_s, u"b.TxT"_s, u"c.TXT"_s, u"d.doc"_s, u"txt"_s}) {
        writeBytes(dir_->filePath(name), QByteArray("x"));
    }
    QStringList shown;
    ModalWatch<QFileDialog> watch([&](QFileDialog* dialog) {
        const auto close = qScopeGuard([dialog] { dialog->reject(); });
        QCOMPARE(dialog->selectedNameFilter(), u"Текстовые файлы"_s);
        auto* list = dialog->findChild<QListView*>(u"listView"_s);
        QVERIFY(list != nullptr);
        // The folder is read in the background; wait until its files show.
        QTRY_COMPARE(list->model()->rowCount(list->rootIndex()), 3);
        for (int row = 0; row < 3; ++row) {
            shown.append(list->model()->index(row, 0, list->rootIndex()).data().toString());
        }
    });
    commands_->saveLog();
    QVERIFY(watch.ran());
    shown.sort();
    QCOMPARE(shown, (QStringList{u"a.txt"_s, u"b.TxT"_s, u"c.TXT"_s}));
}

void ConversationLogTest::saveToAFolderThatCannotHoldTheFileFails() {
    log_->appendLine(u"A"_s);
    // A folder that does not exist: nothing can be created there (even for
    // root, unlike a folder without write permission).
    const QString name = dir_->filePath(u"нет такой папки/log.TXT"_s);
    try {
        saveAs(name);
        QFAIL("the save reported success");
    } catch (const Exception& error) {
        QCOMPARE(error.message(), u"Cannot create file "_s + name);
    }
    QVERIFY(!QFile::exists(name));
    QCOMPARE(log_->text(), u"A\r\n"_s);
}

void ConversationLogTest::saveCutShortKeepsTheOldFileAndFails() {
#ifdef Q_OS_UNIX
    // A file size limit makes the write fail part-way, as a full disk would.
    const QString name = dir_->filePath(u"big.TXT"_s);
    writeBytes(name, "old content\r\n");
    for (int i = 0; i < 1000; ++i) {
        log_->appendLine(QString(80, u'ж'));
    }
    rlimit previous{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit limited = previous;
    limited.rlim_cur = 4096;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);

    QString message;
    try {
        saveAs(name, true);
    } catch (const Exception& error) {
        message = error.message();
    }
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, oldHandler);

    QCOMPARE(message, u"Cannot create file "_s + name);
    QCOMPARE(readBytes(name), QByteArray("old content\r\n"));
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), QStringList{u"big.TXT"_s});
#else
    QSKIP("needs a file size limit");
#endif
}

void ConversationLogTest::clearAsksFirst_data() {
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<bool>("cleared");
    QTest::newRow("OK") << Answer::Ok << true;
    QTest::newRow("Enter") << Answer::Enter << true;
    QTest::newRow("Cancel") << Answer::Cancel << false;
    QTest::newRow("Escape") << Answer::Escape << false;
    QTest::newRow("close box") << Answer::CloseBox << false;
}

void ConversationLogTest::clearAsksFirst() {
    QFETCH(Answer, answer);
    QFETCH(bool, cleared);
    log_->appendLine(u"A"_s);
    ModalWatch<QMessageBox> watch([&](QMessageBox* box) {
        QCOMPARE(box->windowTitle(), u"Confirm"_s);
        QCOMPARE(box->text(), u"Вы желаете удалить все содержание Вашей \"беседы\" ?"_s);
        QCOMPARE(box->icon(), QMessageBox::Question);
        QCOMPARE(box->textFormat(), Qt::PlainText);
        QCOMPARE(box->defaultButton()->text(), u"OK"_s);
        // A line that arrives while the box is open goes with the rest.
        log_->appendLine(u"B"_s);
        answerBox(box, answer);
    });
    commands_->clearLog();
    QVERIFY(watch.ran());
    QCOMPARE(log_->isEmpty(), cleared);
    QCOMPARE(log_->text(), cleared ? QString() : u"A\r\nB\r\n"_s);
}

void ConversationLogTest::clearOfAnEmptyLogAsksNothing() {
    ModalWatch<QMessageBox> watch([](QMessageBox* box) { box->reject(); });
    commands_->clearLog();
    QVERIFY(!watch.ran());
    QVERIFY(log_->isEmpty());
}

QTEST_MAIN(ConversationLogTest)
#include "test_conversation_log.moc"
