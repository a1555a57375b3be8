#include "app/window/ClockText.h"
#include "support/ConferencePeer.h"
#include "support/ModalWatch.h"
#include "support/WindowCopy.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A main window on a fresh data folder of its own, its endpoint on a network
// of its own, shown and active. Its directory holds one address where
// nobody answers, so a registration shows on the network.
struct ShownWindow {
    FakeNetwork network;
    WindowCopy copy{network, u"10.0.0.1"_s, {}, QByteArray("Nobody _|_ 10.0.0.99\r\n")};

    ShownWindow() {
        copy.window->show();
        QApplication::setActiveWindow(copy.window.get());
    }
    const MainWindowUi* operator->() const { return &copy.ui; }
    [[nodiscard]] MainWindow& window() const { return *copy.window; }
    bool active() const { return QTest::qWaitForWindowActive(copy.window.get()); }

    // What the window sent so far: chat lines and registrations.
    [[nodiscard]] int sent(const QString& part) const {
        int count = 0;
        for (const FakeDatagram& datagram : visibleLog(network)) {
            count += Cp1251::decode(datagram.bytes).contains(part) ? 1 : 0;
        }
        return count;
    }
    [[nodiscard]] int chatLines() const { return sent(u": "_s); }
    [[nodiscard]] int registrations() const { return sent(u"MYNAMEIS2:"_s); }
};

void typeText(QWidget* widget, const QString& text) {
    for (const QChar ch : text) {
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void componentTexts_data();
    void componentTexts();
    void componentSizes_data();
    void componentSizes();
    void initialState();
    void directoryMenuHasTwelveLinesEndingInSeparator();
    void logMenuOrderAndWindowMenu();
    void enterOnChatPageSends_data();
    void enterOnChatPageSends();
    void enterOnSettingsPageDoesNotSend();
    void firstTickRegistersOnceAndFocusesMessage();
    void firstTickOnSettingsPageLeavesFocusThere();
    void timerRunsFirstTickByItself();
    void rosterAndRecipientClicksFocusMessage();
    void selfNameFollowsTypedText();
    void typedTextIsRestrictedToCodePage();
    void contextMenus_data();
    void contextMenus();
    void closingStopsTimerOnce();
    void saveOverAnExistingFileAsksFirst_data();
    void saveOverAnExistingFileAsksFirst();
};

void MainWindowTest::componentTexts_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QString>("expected");
    const auto row = [](const QString& name, const char* property, const QString& expected) {
        QTest::addRow("%s.%s", qPrintable(name), property)
            << name << QByteArray(property) << expected;
    };
    row(u"rightEdgeSpacer"_s, "text", u"    "_s);
    row(u"menuHint"_s, "text", u"Правая кнопка мыши - меню"_s);
    row(u"correspondentsGroup"_s, "title", u"Корреспонденты : "_s);
    row(u"rosterLabel"_s, "text", u"Участвуют : "_s);
    row(u"registerButton"_s, "text", u"Зарегистрироваться"_s);
    row(u"registerButton"_s, "toolTip",
        u"В принципе, эта кнопка не нужна. Так как регистрация производится при запуске "
        u"программы автоматически."_s);
    row(u"selfNameGroup"_s, "title", u"Ваше имя :"_s);
    row(u"sendGroup"_s, "title", u"Отправить : "_s);
    row(u"messageLabel"_s, "text", u"Сообщение : "_s);
    row(u"sendButton"_s, "text", u"Отправить (Enter)"_s);
    row(u"recipientGroup"_s, "title", u"Кому : "_s);
    row(u"toEveryoneButton"_s, "text", u"Всем"_s);
    row(u"toSelectedButton"_s, "text", u"Выборочно"_s);
    row(u"logGroup"_s, "title", u"Информация : "_s);
    row(u"popUpGroup"_s, "title", u"Всплывание, если : "_s);
    row(u"beepGroup"_s, "title", u"Звук, если : "_s);
    row(u"otherGroup"_s, "title", u"Прочее : "_s);
    row(u"directoryGroup"_s, "title", u"Список корреспондентов : "_s);
    row(u"directoryLabel"_s, "text", u"Полный список : "_s);
    for (const QString& rule : {u"messagePopUp"_s, u"messageBeep"_s}) {
        row(rule + u"Box"_s, "text", u"Сообщение от корреспондента :"_s);
    }
    for (const QString& rule : {u"correspondentPopUp"_s, u"correspondentBeep"_s}) {
        row(rule + u"Box"_s, "text", u"Новый корреспондент :"_s);
    }
    for (const QString& rule :
         {u"messagePopUp"_s, u"correspondentPopUp"_s, u"messageBeep"_s, u"correspondentBeep"_s}) {
        row(rule + u"Filter"_s, "toolTip", u"Имя корреспондента"_s);
    }
    row(u"minimizeOnStartBox"_s, "text", u"Минимизировать при запуске"_s);
}

void MainWindowTest::componentTexts() {
    QFETCH(QString, name);
    QFETCH(QByteArray, property);
    QFETCH(QString, expected);
    FakeNetwork network;
    const WindowCopy form(network, u"10.0.0.1"_s);
    QObject* component = form.window->findChild<QObject*>(name);
    QVERIFY2(component, qPrintable(name));
    QCOMPARE(component->property(property.constData()).toString(), expected);
}

void MainWindowTest::componentSizes_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("width");  // -1: stretches
    QTest::addColumn<int>("height");
    QTest::newRow("status line") << u"statusLine"_s << 653 << 31;
    QTest::newRow("correspondents") << u"correspondentsGroup"_s << 255 << -1;
    QTest::newRow("roster header") << u"rosterHeader"_s << -1 << 28;
    QTest::newRow("self name") << u"selfNameGroup"_s << -1 << 42;
    QTest::newRow("send group") << u"sendGroup"_s << -1 << 111;
    QTest::newRow("recipients") << u"recipientGroup"_s << -1 << 32;
    QTest::newRow("pop-up rules") << u"popUpGroup"_s << -1 << 65;
    QTest::newRow("beep rules") << u"beepGroup"_s << -1 << 65;
    QTest::newRow("other") << u"otherGroup"_s << -1 << 39;
    QTest::newRow("directory") << u"directoryGroup"_s << 297 << -1;
    QTest::newRow("filter edit") << u"messageBeepFilter"_s << 201 << -1;
}

void MainWindowTest::componentSizes() {
    QFETCH(QString, name);
    QFETCH(int, width);
    QFETCH(int, height);
    ShownWindow form;
    QCOMPARE(form.window().size(), QSize(653, 482));
    form->pages->setCurrentIndex(1);  // lays out the settings page too
    auto* widget = form.window().findChild<QWidget*>(name);
    QVERIFY(widget);
    if (width >= 0) {
        QCOMPARE(widget->width(), width);
    }
    if (height >= 0) {
        QCOMPARE(widget->height(), height);
    }
}

void MainWindowTest::initialState() {
    ShownWindow form;
    QCOMPARE(form.window().windowTitle(), u"Зовница"_s);
    QCOMPARE(form->pages->count(), 2);
    QCOMPARE(form->pages->tabText(0), u"Зовница"_s);
    QCOMPARE(form->pages->tabText(1), u"Настройка"_s);
    QCOMPARE(form->pages->currentIndex(), 0);
    QCOMPARE(form->recipientChoice->checkedId(), 0);
    QVERIFY(form->toEveryoneButton->isChecked());
    for (QCheckBox* box : {form->messagePopUpBox, form->correspondentPopUpBox, form->messageBeepBox,
                           form->correspondentBeepBox}) {
        QVERIFY(box->isChecked());
    }
    QVERIFY(!form->minimizeOnStartBox->isChecked());
    QCOMPARE(form.copy.session->tickTimer().interval(), 500);
    QVERIFY(form.copy.session->firstTick());
    QCOMPARE(form.copy.selfName(), u"???"_s);
    QCOMPARE(form->selfNameEdit->text(), u"???"_s);
    QVERIFY(form->clockLabel->text() != u"____"_s);
    QVERIFY(form->clockLabel->text().contains(u"  "_s));
    QCOMPARE(form->aboutButton->focusPolicy(), Qt::NoFocus);
    QCOMPARE(form->registerButton->focusPolicy(), Qt::NoFocus);

    // The settings page shows no "Прочее : " group.
    form->pages->setCurrentIndex(1);
    QVERIFY(form.window().findChild<QWidget*>(u"popUpGroup"_s)->isVisible());
    QVERIFY(!form.window().findChild<QWidget*>(u"otherGroup"_s)->isVisible());

    // The views show the session's lists and share their selection.
    QCOMPARE(form->directoryView->model(), form.copy.directory().model());
    QCOMPARE(form->rosterView->model(), form.copy.roster().model());
    QCOMPARE(form->rosterView->selectionModel(), form.copy.roster().selectionModel());
    QCOMPARE(form->directoryView->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(form->directoryView->editTriggers(), QAbstractItemView::NoEditTriggers);
}

void MainWindowTest::directoryMenuHasTwelveLinesEndingInSeparator() {
    ShownWindow form;
    const QList<QAction*> actions = form->directoryMenu->actions();
    const QStringList expected{u"Редактировать"_s,
                               u"Добавить"_s,
                               u"Найти в сети ..."_s,
                               u"Вставить"_s,
                               u"Удалить"_s,
                               u"Удалить ВСЕ"_s,
                               QString(),
                               u"Проверить связь ..."_s,
                               QString(),
                               u"Передать ВЕСЬ список корреспондентов"_s,
                               u"Передать данного корреспондента"_s,
                               QString()};
    QCOMPARE(actions.size(), expected.size());
    for (int i = 0; i < actions.size(); ++i) {
        QCOMPARE(actions[i]->isSeparator(), expected[i].isEmpty());
        QCOMPARE(actions[i]->text(), expected[i]);
    }
    // Each command stands on the line that names it.
    const QList<QAction*> commands{
        form->editEntryAction,   form->addEntryAction,       form->findOnNetworkAction,
        form->insertEntryAction, form->deleteEntryAction,    form->deleteAllAction,
        form->checkLinkAction,   form->shareDirectoryAction, form->shareEntryAction};
    QList<QAction*> shownCommands = actions;
    shownCommands.removeIf([](const QAction* action) { return action->isSeparator(); });
    QCOMPARE(shownCommands, commands);

    // Shown, the menu keeps its last separator instead of collapsing it.
    form->directoryMenu->popup(form.window().mapToGlobal(QPoint(10, 10)));
    QVERIFY(QTest::qWaitForWindowExposed(form->directoryMenu));
    QVERIFY(form->directoryMenu->actionGeometry(actions.last()).height() > 0);
    QVERIFY(form->directoryMenu->actionGeometry(actions.last()).top() >
            form->directoryMenu->actionGeometry(form->shareEntryAction).top());
    form->directoryMenu->close();
}

void MainWindowTest::logMenuOrderAndWindowMenu() {
    FakeNetwork network;
    const WindowCopy copy(network, u"10.0.0.1"_s);
    const MainWindowUi& form = copy.ui;
    const QList<QAction*> top = form.logMenu->actions();
    QCOMPARE(top.size(), 3);
    QCOMPARE(top[0], form.copyToMenu->menuAction());
    QCOMPARE(top[0]->text(), u"Скопировать в"_s);
    QVERIFY(top[1]->isSeparator());
    QCOMPARE(top[2], form.clearLogAction);
    QCOMPARE(top[2]->text(), u"Очистить"_s);
    QCOMPARE(form.copyToMenu->actions(),
             (QList<QAction*>{form.copyToClipboardAction, form.saveLogAction}));
    QCOMPARE(form.copyToClipboardAction->text(), u"Clipboard"_s);
    QCOMPARE(form.saveLogAction->text(), u"Текстовый файл"_s);

    QCOMPARE(form.windowMenu->actions(), QList<QAction*>{form.sendAction});
    QCOMPARE(form.sendAction->text(), u"Отправить сообщение"_s);
    QVERIFY(form.sendAction->shortcuts().contains(QKeySequence(Qt::Key_Return)));
    QVERIFY(form.sendAction->shortcuts().contains(QKeySequence(Qt::Key_Enter)));
}

void MainWindowTest::enterOnChatPageSends_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    for (const QString& name : {u"messageEdit"_s, u"selfNameEdit"_s, u"rosterView"_s,
                                u"sendButton"_s, u"logView"_s, u"toSelectedButton"_s}) {
        QTest::addRow("%s Return", qPrintable(name)) << name << int(Qt::Key_Return) << 0;
        QTest::addRow("%s keypad Enter", qPrintable(name))
            << name << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
    }
}

void MainWindowTest::enterOnChatPageSends() {
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    ShownWindow form;
    QVERIFY(form.active());
    form.copy.roster().add(u"A _|_ 10.0.0.1"_s);
    auto* target = form.window().findChild<QWidget*>(focus);
    QVERIFY(target);
    target->setFocus();
    QCOMPARE(QApplication::focusWidget(), target);
    // An empty line sends nothing but beeps; a typed one is sent.
    form->messageEdit->setText(u"привет"_s);
    QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(form.chatLines(), 1);

    form->messageEdit->setText(u"ещё"_s);
    QTest::mouseClick(form->sendButton, Qt::LeftButton);
    QCOMPARE(form.chatLines(), 2);
}

void MainWindowTest::enterOnSettingsPageDoesNotSend() {
    ShownWindow form;
    QVERIFY(form.active());
    form.copy.roster().add(u"A _|_ 10.0.0.1"_s);
    form->messageEdit->setText(u"привет"_s);
    form->pages->setCurrentIndex(1);
    for (QWidget* target : {static_cast<QWidget*>(form->messagePopUpFilter),
                            static_cast<QWidget*>(form->directoryView),
                            static_cast<QWidget*>(form->correspondentPopUpBox)}) {
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Return);
        QTest::keyClick(target, Qt::Key_Enter, Qt::KeypadModifier);
    }
    QCOMPARE(form.chatLines(), 0);

    form->pages->setCurrentIndex(0);
    form->messageEdit->setFocus();
    QTest::keyClick(form->messageEdit, Qt::Key_Return);
    QCOMPARE(form.chatLines(), 1);
}

void MainWindowTest::firstTickRegistersOnceAndFocusesMessage() {
    ShownWindow form;
    QVERIFY(form.active());
    form->selfNameEdit->setFocus();
    const QString before = form->clockLabel->text();

    form.copy.tick();
    QCOMPARE(form.registrations(), 1);
    QCOMPARE(QApplication::focusWidget(), form->messageEdit);
    QVERIFY(!form.copy.session->firstTick());
    QVERIFY(form.copy.session->tickTimer().isActive());
    QCOMPARE(form.copy.session->tickTimer().interval(), 1000);
    QVERIFY(!before.isEmpty());

    form->selfNameEdit->setFocus();
    form.copy.tick();
    QCOMPARE(form.registrations(), 1);
    QCOMPARE(QApplication::focusWidget(), form->selfNameEdit);
    QVERIFY(form.copy.session->tickTimer().isActive());
}

void MainWindowTest::firstTickOnSettingsPageLeavesFocusThere() {
    ShownWindow form;
    QVERIFY(form.active());
    form->pages->setCurrentIndex(1);
    form->messagePopUpFilter->setFocus();
    form.copy.tick();
    QCOMPARE(form.registrations(), 1);
    QCOMPARE(QApplication::focusWidget(), form->messagePopUpFilter);
    QVERIFY(!form.copy.session->firstTick());
    QCOMPARE(form.copy.session->tickTimer().interval(), 1000);
}

void MainWindowTest::timerRunsFirstTickByItself() {
    ShownWindow form;
    QVERIFY(form.active());
    form.copy.session->tickTimer().start();
    QTRY_COMPARE(form.registrations(), 1);
    QCOMPARE(form.copy.session->tickTimer().interval(), 1000);
    QCOMPARE(QApplication::focusWidget(), form->messageEdit);
}

void MainWindowTest::rosterAndRecipientClicksFocusMessage() {
    ShownWindow form;
    QVERIFY(form.active());
    form.copy.roster().add(u"ПЕТРОВ _|_ 10.0.0.2"_s);
    form.copy.roster().add(u"АННА _|_ 10.0.0.3"_s);
    form->selfNameEdit->setFocus();

    const QRect second = form->rosterView->visualRect(form.copy.roster().model()->index(1));
    QTest::mouseClick(form->rosterView->viewport(), Qt::LeftButton, {}, second.center());
    QCOMPARE(form.copy.roster().selectedIndex(), 1);
    QCOMPARE(QApplication::focusWidget(), form->messageEdit);

    form->selfNameEdit->setFocus();
    QTest::mouseClick(form->toSelectedButton, Qt::LeftButton);
    QCOMPARE(form->recipientChoice->checkedId(), 1);
    QCOMPARE(QApplication::focusWidget(), form->messageEdit);
    QTest::mouseClick(form->toEveryoneButton, Qt::LeftButton);
    QCOMPARE(form->recipientChoice->checkedId(), 0);
    QCOMPARE(QApplication::focusWidget(), form->messageEdit);
}

void MainWindowTest::selfNameFollowsTypedText() {
    ShownWindow form;
    QVERIFY(form.active());
    form->selfNameEdit->clear();
    form->selfNameEdit->setFocus();
    typeText(form->selfNameEdit, u"  петров "_s);
    QCOMPARE(form->selfNameEdit->text(), u"  петров "_s);
    QCOMPARE(form.copy.selfName(), u"ПЕТРОВ"_s);
    form->selfNameEdit->clear();
    QCOMPARE(form.copy.selfName(), QString());

    // A name that reads as a request is spoilt where it is typed and the
    // user is told once, however often it happens.
    int boxes = 0;
    QString told;
    ModalWatch<QMessageBox> watch([&](QMessageBox* box) {
        ++boxes;
        told = box->text();
        answerBox(box, Answer::Ok);
    });
    typeText(form->selfNameEdit, u"autodetect0"_s);
    QTRY_VERIFY(watch.ran());
    QCOMPARE(form->selfNameEdit->text(), u"?utodetect0"_s);
    QCOMPARE(form.copy.selfName(), u"?UTODETECT0"_s);
    QCOMPARE(told,
             u"Имя содержит служебные слова сети и было бы принято за команду. "
             u"Оно изменено: ?UTODETECT0"_s);
    typeText(form->selfNameEdit, u" iamexit:"_s);
    QCOMPARE(form->selfNameEdit->text(), u"?utodetect0 ?amexit:"_s);
    QTest::qWait(20);
    QCOMPARE(boxes, 1);
}

void MainWindowTest::typedTextIsRestrictedToCodePage() {
    ShownWindow form;
    QVERIFY(form.active());
    for (QLineEdit* edit :
         {form->messageEdit, form->selfNameEdit, form->messagePopUpFilter,
          form->correspondentPopUpFilter, form->messageBeepFilter, form->correspondentBeepFilter}) {
        const bool onChatPage = edit == form->messageEdit || edit == form->selfNameEdit;
        form->pages->setCurrentIndex(onChatPage ? 0 : 1);
        edit->clear();
        edit->setFocus();
        // A letter outside the code page, a decomposed "й" and a Euro sign.
        typeText(edit, u"a中и\u0306€b"_s);
        QCOMPARE(edit->text(), u"a?й€b"_s);
        QCOMPARE(edit->cursorPosition(), 5);
    }
    QCOMPARE(form.copy.selfName(), u"A?Й€B"_s);

    // Pasted text is restricted the same way, and the cursor stays after it.
    form->pages->setCurrentIndex(0);
    form->messageEdit->setText(u"xy"_s);
    form->messageEdit->setCursorPosition(1);
    form->messageEdit->insert(u"\U0001F600z"_s);
    QCOMPARE(form->messageEdit->text(), u"x?zy"_s);
    QCOMPARE(form->messageEdit->cursorPosition(), 3);
}

void MainWindowTest::contextMenus_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");  // 0: a right click instead
    QTest::addColumn<QString>("menu");
    const int menuKey = Qt::Key_Menu;
    const int shiftF10 = Qt::Key_F10;
    QTest::newRow("directory, menu key")
        << 1 << u"directoryView"_s << menuKey << u"directoryMenu"_s;
    QTest::newRow("directory, Shift+F10")
        << 1 << u"directoryView"_s << shiftF10 << u"directoryMenu"_s;
    QTest::newRow("directory, mouse") << 1 << u"directoryView"_s << 0 << u"directoryMenu"_s;
    QTest::newRow("log, Shift+F10") << 0 << u"logView"_s << shiftF10 << u"logMenu"_s;
    QTest::newRow("log, mouse") << 0 << u"logView"_s << 0 << u"logMenu"_s;
    QTest::newRow("roster, menu key") << 0 << u"rosterView"_s << menuKey << u"windowMenu"_s;
    QTest::newRow("send panel, mouse") << 0 << u"sendPanel"_s << 0 << u"windowMenu"_s;
    QTest::newRow("settings page, mouse") << 1 << u"popUpGroup"_s << 0 << u"windowMenu"_s;
}

void MainWindowTest::contextMenus() {
    QFETCH(int, page);
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(QString, menu);
    ShownWindow form;
    QVERIFY(form.active());
    form->pages->setCurrentIndex(page);
    auto* target = form.window().findChild<QWidget*>(focus);
    auto* expected = form.window().findChild<QMenu*>(menu);
    QVERIFY(target && expected);
    QSignalSpy shown(expected, &QMenu::aboutToShow);
    if (key == 0) {
        auto* area = qobject_cast<QAbstractScrollArea*>(target);
        QWidget* receiver = area ? area->viewport() : target;
        const QPoint pos(5, 5);
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, receiver->mapToGlobal(pos));
        QApplication::sendEvent(receiver, &event);
    } else {
        target->setFocus();
        QTest::keyClick(target, Qt::Key(key),
                        key == Qt::Key_F10 ? Qt::ShiftModifier : Qt::NoModifier);
    }
    QCOMPARE(shown.count(), 1);
    expected->close();
}

void MainWindowTest::closingStopsTimerOnce() {
    ShownWindow form;
    QVERIFY(form.active());
    QTimer& ticks = form.copy.session->tickTimer();
    ticks.start();
    QVERIFY(form.window().close());
    QVERIFY(!ticks.isActive());
    QVERIFY(!form.window().isVisible());
    ticks.start();
    form.window().close();  // already closed: the end does not run again
    QVERIFY(ticks.isActive());
}

void MainWindowTest::saveOverAnExistingFileAsksFirst_data() {
    QTest::addColumn<bool>("replace");
    QTest::newRow("replaced after Yes") << true;
    QTest::newRow("kept after No") << false;
}

// The window's own save command, a name typed without an extension, and a
// file of that name with ".TXT" already there: the prompt must come, after
// the extension was added, and decide.
void MainWindowTest::saveOverAnExistingFileAsksFirst() {
    QFETCH(bool, replace);
    ShownWindow form;
    QTemporaryDir folder;
    const QString existing = folder.filePath(u"chat.TXT"_s);
    writeBytes(existing, QByteArray("old\r\n"));
    form->logView->appendLine(u"A"_s);
    // Nothing of the dialog exists until the first save.
    QVERIFY(form.window().findChildren<QFileDialog*>().isEmpty());

    std::unique_ptr<ModalWatch<QMessageBox>> prompt;
    QString promptText;
    bool qtDialog = false;
    ModalWatch<QFileDialog> watch([&](QFileDialog* dialog) {
        qtDialog = dialog->testOption(QFileDialog::DontUseNativeDialog);
        dialog->setDirectory(folder.path());
        prompt = std::make_unique<ModalWatch<QMessageBox>>([&, dialog](QMessageBox* box) {
            promptText = box->text();
            box->button(replace ? QMessageBox::Yes : QMessageBox::No)->click();
            if (!replace) {
                QTimer::singleShot(0, dialog, &QDialog::reject);  // then leave the dialog
            }
        });
        auto* edit = dialog->findChild<QLineEdit*>(u"fileNameEdit"_s);
        edit->setText(u"chat"_s);
        QTest::keyClick(edit, Qt::Key_Return);
    });
    form->saveLogAction->trigger();
    QVERIFY(watch.ran());
    QVERIFY(qtDialog);
    QVERIFY(prompt && prompt->ran());
    QVERIFY(promptText.contains(u"chat.TXT"_s));
    QCOMPARE(readBytes(existing), replace ? QByteArray("A\r\n") : QByteArray("old\r\n"));
    QVERIFY(!QFile::exists(folder.filePath(u"chat"_s)));
    QCOMPARE(form.window().findChildren<QFileDialog*>().size(), 1);
}

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
