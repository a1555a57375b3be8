#include "app/commands/LogCommands.h"
#include "app/dialogs/LogSaveDialog.h"
#include "app/views/ConversationLog.h"
#include "support/FileBytes.h"
#include "support/FileSizeLimit.h"
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
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Different chat lines of about 250 characters: words of Cyrillic letters.
QStringList longLines(int count) {
    QStringList lines;
    QRandomGenerator random(17);
    for (int i = 0; i < count; ++i) {
        QString line = u"ИВАН: строка %1"_s.arg(i);
        while (line.size() < 245) {
            line.append(u' ');
            for (int letters = 2 + random.bounded(9); letters > 0; --letters) {
                line.append(QChar(static_cast<char16_t>(u'а' + random.bounded(32))));
            }
        }
        lines.append(line);
    }
    return lines;
}

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
    void everyRowComesIntoViewOnTheWayUp();
    void resizingKeepsTheTopLine();
    void everyCharacterOfTheCodePageWrapsAsLaidOut();
    void keysMoveTheCaretAndShiftSelects();
    void mouseSelectsWordsAndLinesAndScrollsPastTheEdge();
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
}

void ConversationLogTest::everyRowComesIntoViewOnTheWayUp() {
    log_->resize(380, 300);
    log_->show();
    QVERIFY(QTest::qWaitForWindowExposed(log_));
    const QStringList lines = longLines(40);
    for (const QString& line : lines) {
        log_->appendLine(line);
    }
    QScrollBar* bar = log_->verticalScrollBar();
    QTRY_COMPARE(bar->maximum(), int(log_->rowCount()) - log_->pageRows());
    // The thumb stands for the wrapped height: each line takes several rows.
    QCOMPARE(bar->pageStep(), log_->pageRows());
    QVERIFY(log_->rowCount() > 3 * lines.size());
    const QRect inSight = log_->viewport()->rect();

    for (const bool byKey : {true, false}) {
        log_->setFocus();
        QTest::keyClick(log_, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(bar->value(), bar->maximum());
        // Every character of every line is seen whole in the view on the way.
        std::vector<std::vector<bool>> seen;
        for (const QString& line : lines) {
            seen.emplace_back(line.size(), false);
        }
        const auto look = [&] {
            const qsizetype top = log_->topRow();
            const qsizetype last = std::min<qsizetype>(top + log_->pageRows(), log_->rowCount());
            for (qsizetype row = top; row < last; ++row) {
                ConversationLog::Position at = log_->rowStart(row);
                const ConversationLog::Position next = log_->rowStart(row + 1);
                for (; at.line < lines.size() && at < next && at.column < lines[at.line].size();
                     ++at.column) {
                    if (!seen[at.line][at.column] && inSight.contains(log_->characterRect(at))) {
                        seen[at.line][at.column] = true;
                    }
                }
            }
        };
        look();
        for (int step = 0; step < 5000 && (bar->value() > 0 || log_->rowStart(0) < log_->caret());
             ++step) {
            const int before = bar->value();
            if (byKey) {
                QTest::keyClick(log_, Qt::Key_Up);
            } else {
                bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
            }
            // One step moves the view by one row at most, never past rows.
            QVERIFY2(before - bar->value() == 0 || before - bar->value() == 1,
                     qPrintable(u"step %1: %2 -> %3"_s.arg(step).arg(before).arg(bar->value())));
            look();
            if (!byKey && bar->value() == 0) {
                break;
            }
        }
        QCOMPARE(bar->value(), 0);
        for (qsizetype line = 0; line < lines.size(); ++line) {
            const auto unseen = std::find(seen[line].begin(), seen[line].end(), false);
            QVERIFY2(unseen == seen[line].end(),
                     qPrintable(u"line %1, column %2 never shown"_s.arg(line).arg(
                         unseen - seen[line].begin())));
        }
        // The top reached that way is the top that Ctrl+Home shows.
        QTest::keyClick(log_, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(log_, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(bar->value(), 0);
        QCOMPARE(log_->caret(), ConversationLog::Position{});
    }
}

void ConversationLogTest::resizingKeepsTheTopLine() {
    log_->resize(380, 300);
    log_->show();
    QVERIFY(QTest::qWaitForWindowExposed(log_));
    for (const QString& line : longLines(40)) {
        log_->appendLine(line);
    }
    QScrollBar* bar = log_->verticalScrollBar();
    QTRY_COMPARE(bar->maximum(), int(log_->rowCount()) - log_->pageRows());
    log_->scrollToShow({0, 0});
    // The view's top at the row where line 20 begins, a view higher up.
    log_->scrollToShow(ConversationLog::Position{20, 0});
    bar->setValue(int(log_->topRow() + log_->pageRows() - 1));
    QCOMPARE(log_->rowStart(log_->topRow()), (ConversationLog::Position{20, 0}));
    const int rows = int(log_->rowCount());
    for (const int width : {250, 600, 380}) {
        log_->resize(width, 300);
        QCOMPARE(log_->rowStart(log_->topRow()).line, 20);
    }
    QCOMPARE(int(log_->rowCount()), rows);
    QVERIFY(bar->value() < bar->maximum());

    // At the end the view stays at the end.
    bar->setValue(bar->maximum());
    log_->resize(250, 300);
    QCOMPARE(bar->value(), bar->maximum());
    QCOMPARE(bar->maximum(), int(log_->rowCount()) - log_->pageRows());
}

void ConversationLogTest::everyCharacterOfTheCodePageWrapsAsLaidOut() {
    // Every character the log can hold, blanks, controls and no-break space
    // among them, in lines cut at many widths: each row is laid out from
    // exactly the characters counted for it (checked as it is laid out), and
    // each character of a row but a blank it hangs stands inside the view.
    QByteArray all;
    for (int byte = 1; byte < 256; ++byte) {
        if (byte != '\r' && byte != '\n') {
            all.append(char(byte));
        }
    }
    const QString repertoire = Cp1251::decode(all);
    QRandomGenerator random(5);
    QStringList lines{repertoire};
    for (int i = 0; i < 20; ++i) {
        QString line;
        for (int length = 20 + random.bounded(300); length > 0; --length) {
            // Many blanks, so that rows break at them too.
            line.append(random.bounded(4) == 0 ? QChar(u' ')
                                               : repertoire[random.bounded(repertoire.size())]);
        }
        lines.append(line);
    }
    for (const QString& line : lines) {
        log_->appendLine(line);
    }
    log_->show();
    for (const int width : {30, 97, 230, 611}) {
        log_->resize(width, 200);
        const QRect inSight = log_->viewport()->rect();
        for (qsizetype row = 0; row < log_->rowCount(); ++row) {
            const ConversationLog::Position start = log_->rowStart(row);
            const ConversationLog::Position next = log_->rowStart(row + 1);
            log_->scrollToShow(start);
            for (ConversationLog::Position at = start;
                 at.line < lines.size() && at.column < lines[at.line].size() &&
                 (row + 1 == log_->rowCount() || at < next);
                 ++at.column) {
                const QRect box = log_->characterRect(at);
                QVERIFY(!box.isEmpty());
                if (!lines[at.line][at.column].isSpace() && box.width() < inSight.width() / 2) {
                    QVERIFY2(inSight.contains(box),
                             qPrintable(u"width %1, row %2, column %3"_s.arg(width).arg(row).arg(
                                 at.column)));
                }
            }
        }
    }
}

void ConversationLogTest::keysMoveTheCaretAndShiftSelects() {
    log_->resize(300, 200);
    log_->show();
    QVERIFY(QTest::qWaitForWindowExposed(log_));
    log_->appendLine(u"первая строка"_s);
    log_->appendLine(u"вторая"_s);
    log_->setFocus();
    using P = ConversationLog::Position;
    QCOMPARE(log_->caret(), (P{2, 0}));  // the empty line after the last break

    QTest::keyClick(log_, Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(log_->caret(), (P{0, 0}));
    QTest::keyClick(log_, Qt::Key_Right, Qt::ControlModifier);
    QCOMPARE(log_->caret(), (P{0, 7}));  // after "первая "
    QTest::keyClick(log_, Qt::Key_End, Qt::ShiftModifier);
    QCOMPARE(log_->selectedText(), u"строка"_s);
    QTest::keyClick(log_, Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(log_->selectedText(), u"строка\nвторая"_s);
    // Ctrl+C copies the selection as shown.
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(log_, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), u"строка\nвторая"_s);
    // A move without Shift drops the selection.
    QTest::keyClick(log_, Qt::Key_Left);
    QVERIFY(!log_->hasSelection());
    QCOMPARE(log_->caret(), (P{1, 5}));
    QTest::keyClick(log_, Qt::Key_Up);
    QCOMPARE(log_->caret(), (P{0, 5}));  // Up keeps the place in the row
    QTest::keyClick(log_, Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(log_->selectedText(), u"я строка\nвторая\n"_s);
    QVERIFY(log_->isCaretAtEnd());
    // The log takes no typing.
    QTest::keyClicks(log_, u"x"_s);
    QCOMPARE(log_->text(), u"первая строка\r\nвторая\r\n"_s);
}

void ConversationLogTest::mouseSelectsWordsAndLinesAndScrollsPastTheEdge() {
    log_->resize(300, 120);
    log_->show();
    QVERIFY(QTest::qWaitForWindowExposed(log_));
    for (int i = 0; i < 60; ++i) {
        log_->appendLine(u"строка %1 слово"_s.arg(i));
    }
    QScrollBar* bar = log_->verticalScrollBar();
    QTRY_COMPARE(bar->maximum(), int(log_->rowCount()) - log_->pageRows());
    bar->setValue(0);
    QWidget* view = log_->viewport();
    // The middle of "строка" in the first row, found from its characters.
    const QPoint word = log_->characterRect({0, 3}).center();
    QTest::mouseDClick(view, Qt::LeftButton, {}, log_->characterRect({0, 6}).center());
    QCOMPARE(log_->selectedText(), u" "_s);  // the blank after the word, alone
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    QTest::mouseDClick(view, Qt::LeftButton, {}, word);
    QCOMPARE(log_->selectedText(), u"строка"_s);
    QTest::mouseClick(view, Qt::LeftButton, {}, word);  // the third click
    QCOMPARE(log_->selectedText(), u"строка 0 слово"_s);

    // Past the bottom edge the view keeps scrolling while the mouse rests.
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    QTest::mousePress(view, Qt::LeftButton, {}, word);
    // Sent straight to the view, as its grab of the mouse delivers it.
    const QPoint below(word.x(), view->height() + 20);
    QMouseEvent move(QEvent::MouseMove, below, view->mapToGlobal(below), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &move);
    const int start = bar->value();
    QTRY_VERIFY(bar->value() >= start + 5);
    QTest::mouseRelease(view, Qt::LeftButton, {}, below);
    const int stopped = bar->value();
    QTest::qWait(200);
    QCOMPARE(bar->value(), stopped);
    // The selection runs from the pressed place to the row at the edge.
    QCOMPARE(log_->anchor(), (ConversationLog::Position{0, 3}));
    QVERIFY(log_->caret().line >= stopped);
    QVERIFY(log_->selectedText().startsWith(u"ока 0 слово\nстрока 1 слово\n"_s));
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
        QCOMPARE(error.message(), u"Cannot create file "_s + QDir::toNativeSeparators(name));
    }
    QVERIFY(!QFile::exists(name));
    QCOMPARE(log_->text(), u"A\r\n"_s);
}

void ConversationLogTest::saveCutShortKeepsTheOldFileAndFails() {
    // A file size limit makes the write fail part-way, as a full disk would.
    const QString name = dir_->filePath(u"big.TXT"_s);
    writeBytes(name, "old content\r\n");
    for (int i = 0; i < 1000; ++i) {
        log_->appendLine(QString(80, u'ж'));
    }
    QString message;
    const bool limited = runWithFileSizeLimit(4096, [&] {
        try {
            saveAs(name, true);
        } catch (const Exception& error) {
            message = error.message();
        }
    });
    if (!limited) {
        QSKIP("needs a file size limit");
    }
    QCOMPARE(message, u"Cannot create file "_s + QDir::toNativeSeparators(name));
    QCOMPARE(readBytes(name), QByteArray("old content\r\n"));
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), QStringList{u"big.TXT"_s});
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
