#include "app/commands/DirectoryCommands.h"
#include "app/dialogs/CorrespondentDialog.h"
#include "core/EntryList.h"
#include "support/ModalWatch.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// How a test ends the correspondent dialog.
enum class DialogEnd { OkButton, EnterInName, EnterInAddress, CloseBox };

void endDialog(CorrespondentDialog* dialog, DialogEnd end) {
    switch (end) {
        case DialogEnd::OkButton:
            QTest::mouseClick(dialog->okButton, Qt::LeftButton);
            break;
        case DialogEnd::EnterInName:
            QTest::keyClick(dialog->nameEdit, Qt::Key_Return);
            break;
        case DialogEnd::EnterInAddress:
            QTest::keyClick(dialog->addressEdit, Qt::Key_Enter, Qt::KeypadModifier);
            break;
        case DialogEnd::CloseBox:
            dialog->close();
            break;
    }
}

enum class Command { Add, Insert, Edit, Delete, DeleteAll };

}  // namespace

class DirectoryEditingTest : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();

    void dialogLooksAsDesigned();
    void dialogReturnsCutTexts_data();
    void dialogReturnsCutTexts();
    void dialogRestrictsTypedText();

    void addAndInsertPlaceTheEntry_data();
    void addAndInsertPlaceTheEntry();
    void editReplacesTheSelectedLine_data();
    void editReplacesTheSelectedLine();
    void commandsWithoutSelectionDoNothing_data();
    void commandsWithoutSelectionDoNothing();
    void editAndDeleteActOnTheSelectionAtClose_data();
    void editAndDeleteActOnTheSelectionAtClose();
    void deleteAsksUnlessBlank_data();
    void deleteAsksUnlessBlank();
    void deleteAllAsks_data();
    void deleteAllAsks();

  private:
    void run(Command command);

    EntryList* directory_ = nullptr;
    CorrespondentDialog* dialog_ = nullptr;
    DirectoryCommands* commands_ = nullptr;
};

void DirectoryEditingTest::init() {
    directory_ = new EntryList(EntryList::Order::AsGiven);
    dialog_ = new CorrespondentDialog;
    commands_ = new DirectoryCommands(*directory_, *dialog_);
}

void DirectoryEditingTest::cleanup() {
    delete commands_;
    delete dialog_;
    delete directory_;
}

void DirectoryEditingTest::run(Command command) {
    switch (command) {
        case Command::Add:
            commands_->addEntry();
            break;
        case Command::Insert:
            commands_->insertEntry();
            break;
        case Command::Edit:
            commands_->editEntry();
            break;
        case Command::Delete:
            commands_->deleteEntry();
            break;
        case Command::DeleteAll:
            commands_->deleteAllEntries();
            break;
    }
}

void DirectoryEditingTest::dialogLooksAsDesigned() {
    QCOMPARE(dialog_->minimumSize(), QSize(349, 105));
    QCOMPARE(dialog_->maximumSize(), QSize(349, 105));
    QVERIFY(dialog_->okButton->isDefault());

    QList<QWidget*> order;
    QRect frame;
    ModalWatch<CorrespondentDialog> watch([&](CorrespondentDialog* dialog) {
        frame = dialog->frameGeometry();
        // Tab order: OK, the name, the address; each use starts on OK.
        for (int i = 0; i < 3; ++i) {
            order.append(dialog->focusWidget());
            QTest::keyClick(dialog->focusWidget(), Qt::Key_Tab);
        }
        // Escape does nothing.
        QTest::keyClick(dialog->addressEdit, Qt::Key_Escape);
        QVERIFY(dialog->isVisible());
        dialog->close();
    });
    QString name;
    QString address;
    QVERIFY(!dialog_->ask(name, address));
    QVERIFY(watch.ran());
    QCOMPARE(order, (QList<QWidget*>{dialog_->okButton, dialog_->nameEdit, dialog_->addressEdit}));
    const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
    QVERIFY2((frame.center() - screenCentre).manhattanLength() <= 2, "not centred on the screen");
}

void DirectoryEditingTest::dialogReturnsCutTexts_data() {
    QTest::addColumn<DialogEnd>("end");
    QTest::addColumn<bool>("confirmed");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("address");
    QTest::newRow("OK") << DialogEnd::OkButton << true << u"пётр"_s << u"10.0.0.7"_s;
    QTest::newRow("Enter in name") << DialogEnd::EnterInName << true << u"пётр"_s << u"10.0.0.7"_s;
    QTest::newRow("Enter in address")
        << DialogEnd::EnterInAddress << true << u"пётр"_s << u"10.0.0.7"_s;
    // Not confirmed: the variables keep the input, with its blanks cut.
    QTest::newRow("close box") << DialogEnd::CloseBox << false << u"иван"_s << u"1.2.3.4"_s;
}

void DirectoryEditingTest::dialogReturnsCutTexts() {
    QFETCH(DialogEnd, end);
    QFETCH(bool, confirmed);
    QFETCH(QString, name);
    QFETCH(QString, address);
    QString shownName;
    QString shownAddress;
    ModalWatch<CorrespondentDialog> watch([&](CorrespondentDialog* dialog) {
        shownName = dialog->nameEdit->text();
        shownAddress = dialog->addressEdit->text();
        QTest::keyClick(dialog, Qt::Key_Escape);
        dialog->nameEdit->setText(u"  пётр   "_s);
        dialog->addressEdit->setText(u" 10.0.0.7"_s);
        endDialog(dialog, end);
    });
    QString nameInOut = u"  иван "_s;
    QString addressInOut = u" 1.2.3.4  "_s;
    QCOMPARE(dialog_->ask(nameInOut, addressInOut), confirmed);
    QVERIFY(watch.ran());
    QCOMPARE(shownName, u"иван"_s);
    QCOMPARE(shownAddress, u"1.2.3.4"_s);
    QCOMPARE(nameInOut, name);
    QCOMPARE(addressInOut, address);
}

void DirectoryEditingTest::dialogRestrictsTypedText() {
    QString typed;
    ModalWatch<CorrespondentDialog> watch([&](CorrespondentDialog* dialog) {
        dialog->nameEdit->setFocus();
        for (const QString& ch : {u"П"_s, u"ё"_s, u"中"_s, u"😀"_s, u"x"_s}) {
            QTest::sendKeyEvent(QTest::Click, dialog->nameEdit, Qt::Key_unknown, ch,
                                Qt::NoModifier);
        }
        QTest::keyClick(dialog->nameEdit, Qt::Key_Left);
        QTest::sendKeyEvent(QTest::Click, dialog->nameEdit, Qt::Key_unknown, u"ж"_s,
                            Qt::NoModifier);
        typed = dialog->nameEdit->text();
        endDialog(dialog, DialogEnd::OkButton);
    });
    QString name;
    QString address;
    QVERIFY(dialog_->ask(name, address));
    // One "?" per character outside the code page; the caret stays in place.
    QCOMPARE(typed, u"Пё??жx"_s);
    QCOMPARE(name, typed);
}

void DirectoryEditingTest::addAndInsertPlaceTheEntry_data() {
    QTest::addColumn<Command>("command");
    QTest::addColumn<int>("selected");
    QTest::addColumn<DialogEnd>("end");
    QTest::addColumn<QString>("typedName");
    QTest::addColumn<QStringList>("expected");
    const QString entry = u"ИВАН _|_ 192.168.0.5"_s;
    const QStringList abcd{u"A _|_ 1"_s, u"B _|_ 2"_s, u"C _|_ 3"_s, u"D _|_ 4"_s};
    QTest::newRow("add appends") << Command::Add << 1 << DialogEnd::OkButton << u"  иван "_s
                                 << abcd + QStringList{entry};
    QTest::newRow("add of empty fields") << Command::Add << -1 << DialogEnd::EnterInName
                                         << QString() << abcd + QStringList{u" _|_ "_s};
    QTest::newRow("add closed") << Command::Add << -1 << DialogEnd::CloseBox << u"иван"_s << abcd;
    QTest::newRow("insert without selection")
        << Command::Insert << -1 << DialogEnd::OkButton << u"иван"_s << QStringList{entry} + abcd;
    QTest::newRow("insert above line 3") << Command::Insert << 2 << DialogEnd::OkButton << u"иван"_s
                                         << QStringList{abcd[0], abcd[1], entry, abcd[2], abcd[3]};
    QTest::newRow("insert closed")
        << Command::Insert << 2 << DialogEnd::CloseBox << u"иван"_s << abcd;
}

void DirectoryEditingTest::addAndInsertPlaceTheEntry() {
    QFETCH(Command, command);
    QFETCH(int, selected);
    QFETCH(DialogEnd, end);
    QFETCH(QString, typedName);
    QFETCH(QStringList, expected);
    directory_->setLines({u"A _|_ 1"_s, u"B _|_ 2"_s, u"C _|_ 3"_s, u"D _|_ 4"_s});
    directory_->setSelectedIndex(selected);
    ModalWatch<CorrespondentDialog> watch([&](CorrespondentDialog* dialog) {
        // Each use starts with empty fields.
        QVERIFY(dialog->nameEdit->text().isEmpty());
        QVERIFY(dialog->addressEdit->text().isEmpty());
        dialog->nameEdit->setText(typedName);
        dialog->addressEdit->setText(typedName.isEmpty() ? QString() : u" 192.168.0.5 "_s);
        endDialog(dialog, end);
    });
    run(command);
    QVERIFY(watch.ran());
    QCOMPARE(directory_->lines(), expected);
}

void DirectoryEditingTest::editReplacesTheSelectedLine_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<DialogEnd>("end");
    QTest::addColumn<QString>("shownName");
    QTest::addColumn<QString>("shownAddress");
    QTest::addColumn<QString>("result");
    QTest::newRow("entry") << u"  Пётр _|_ 10.0.0.7 "_s << DialogEnd::OkButton << u"Пётр"_s
                           << u"10.0.0.7"_s << u"ПЁТР НОВЫЙ _|_ 10.0.0.7"_s;
    QTest::newRow("no entry") << u"просто строка"_s << DialogEnd::EnterInAddress << QString()
                              << QString() << u"НОВЫЙ _|_ "_s;
    QTest::newRow("closed") << u"Пётр _|_ 10.0.0.7"_s << DialogEnd::CloseBox << u"Пётр"_s
                            << u"10.0.0.7"_s << u"Пётр _|_ 10.0.0.7"_s;
}

void DirectoryEditingTest::editReplacesTheSelectedLine() {
    QFETCH(QString, line);
    QFETCH(DialogEnd, end);
    QFETCH(QString, shownName);
    QFETCH(QString, shownAddress);
    QFETCH(QString, result);
    directory_->setLines({u"A _|_ 1"_s, line, u"C _|_ 3"_s});
    directory_->setSelectedIndex(1);
    ModalWatch<CorrespondentDialog> watch([&](CorrespondentDialog* dialog) {
        QCOMPARE(dialog->nameEdit->text(), shownName);
        QCOMPARE(dialog->addressEdit->text(), shownAddress);
        dialog->nameEdit->setText(dialog->nameEdit->text() + u" новый"_s);
        endDialog(dialog, end);
    });
    commands_->editEntry();
    QVERIFY(watch.ran());
    QCOMPARE(directory_->lines(), (QStringList{u"A _|_ 1"_s, result, u"C _|_ 3"_s}));
    QCOMPARE(directory_->selectedIndex(), 1);
}

void DirectoryEditingTest::commandsWithoutSelectionDoNothing_data() {
    QTest::addColumn<Command>("command");
    QTest::addColumn<QStringList>("lines");
    const QStringList some{u"A _|_ 1"_s, u"B _|_ 2"_s};
    QTest::newRow("edit, nothing selected") << Command::Edit << some;
    QTest::newRow("edit, empty directory") << Command::Edit << QStringList{};
    QTest::newRow("delete, nothing selected") << Command::Delete << some;
    QTest::newRow("delete, empty directory") << Command::Delete << QStringList{};
    QTest::newRow("delete all, empty directory") << Command::DeleteAll << QStringList{};
}

void DirectoryEditingTest::commandsWithoutSelectionDoNothing() {
    QFETCH(Command, command);
    QFETCH(QStringList, lines);
    directory_->setLines(lines);
    ModalWatch<QDialog> watch([](QDialog* dialog) { dialog->close(); });
    run(command);
    QVERIFY2(!watch.ran(), "a dialog or box was shown");
    QCOMPARE(directory_->lines(), lines);
}

void DirectoryEditingTest::editAndDeleteActOnTheSelectionAtClose_data() {
    QTest::addColumn<Command>("command");
    QTest::addColumn<int>("selectAtClose");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("edit, selection moved")
        << Command::Edit << 2 << QStringList{u"A _|_ 1"_s, u"B _|_ 2"_s, u"X _|_ 9"_s};
    QTest::newRow("edit, selection gone")
        << Command::Edit << -1 << QStringList{u"A _|_ 1"_s, u"B _|_ 2"_s, u"C _|_ 3"_s};
    QTest::newRow("delete, selection moved")
        << Command::Delete << 2 << QStringList{u"A _|_ 1"_s, u"B _|_ 2"_s};
    QTest::newRow("delete, selection gone")
        << Command::Delete << -1 << QStringList{u"A _|_ 1"_s, u"B _|_ 2"_s, u"C _|_ 3"_s};
}

void DirectoryEditingTest::editAndDeleteActOnTheSelectionAtClose() {
    QFETCH(Command, command);
    QFETCH(int, selectAtClose);
    QFETCH(QStringList, expected);
    directory_->setLines({u"A _|_ 1"_s, u"B _|_ 2"_s, u"C _|_ 3"_s});
    directory_->setSelectedIndex(1);
    // While the dialog or box is open, something else changes the selection.
    ModalWatch<CorrespondentDialog> dialogWatch([&](CorrespondentDialog* dialog) {
        directory_->setSelectedIndex(selectAtClose);
        dialog->nameEdit->setText(u"x"_s);
        dialog->addressEdit->setText(u"9"_s);
        endDialog(dialog, DialogEnd::OkButton);
    });
    ModalWatch<QMessageBox> boxWatch([&](QMessageBox* box) {
        directory_->setSelectedIndex(selectAtClose);
        answerBox(box, Answer::Ok);
    });
    run(command);
    QVERIFY(dialogWatch.ran() || boxWatch.ran());
    QCOMPARE(directory_->lines(), expected);
}

void DirectoryEditingTest::deleteAsksUnlessBlank_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("asks");
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<bool>("removed");
    QTest::newRow("empty entry") << u" _|_ "_s << false << Answer::Cancel << true;
    QTest::newRow("no separator") << u"просто строка"_s << false << Answer::Cancel << true;
    QTest::newRow("address only") << u" _|_ 1.2.3.4"_s << true << Answer::Ok << true;
    QTest::newRow("entry, OK") << u"ИВАН _|_ 192.168.0.5"_s << true << Answer::Ok << true;
    QTest::newRow("entry, Cancel") << u"ИВАН _|_ 192.168.0.5"_s << true << Answer::Cancel << false;
    QTest::newRow("entry, close box")
        << u"ИВАН _|_ 192.168.0.5"_s << true << Answer::CloseBox << false;
}

void DirectoryEditingTest::deleteAsksUnlessBlank() {
    QFETCH(QString, line);
    QFETCH(bool, asks);
    QFETCH(Answer, answer);
    QFETCH(bool, removed);
    directory_->setLines({u"A _|_ 1"_s, line, u"C _|_ 3"_s});
    directory_->setSelectedIndex(1);
    ModalWatch<QMessageBox> watch([&](QMessageBox* box) {
        QCOMPARE(box->windowTitle(), u"Confirm"_s);
        QCOMPARE(box->text(), u"Вы желаете удалить эту строку из списка ?"_s);
        answerBox(box, answer);
    });
    commands_->deleteEntry();
    QCOMPARE(watch.ran(), asks);
    const QStringList expected = removed ? QStringList{u"A _|_ 1"_s, u"C _|_ 3"_s}
                                         : QStringList{u"A _|_ 1"_s, line, u"C _|_ 3"_s};
    QCOMPARE(directory_->lines(), expected);
}

void DirectoryEditingTest::deleteAllAsks_data() {
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<bool>("cleared");
    QTest::newRow("OK") << Answer::Ok << true;
    QTest::newRow("Cancel") << Answer::Cancel << false;
}

void DirectoryEditingTest::deleteAllAsks() {
    QFETCH(Answer, answer);
    QFETCH(bool, cleared);
    const QStringList lines{u"A _|_ 1"_s, u"без разделителя"_s};
    directory_->setLines(lines);
    ModalWatch<QMessageBox> watch([&](QMessageBox* box) {
        QCOMPARE(box->text(), u"Вы желаете очистить ВЕСЬ список ?"_s);
        answerBox(box, answer);
    });
    commands_->deleteAllEntries();
    QVERIFY(watch.ran());
    QCOMPARE(directory_->lines(), cleared ? QStringList{} : lines);
}

QTEST_MAIN(DirectoryEditingTest)
#include "test_directory_editing.moc"
