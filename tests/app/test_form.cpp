#include "app/ClockText.h"
#include "app/ConversationLog.h"
#include "app/TForm1.h"
#include "support/FakeEndpoint.h"
#include "support/FakeNetwork.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
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

// Every window of these tests gets an endpoint of its own on one in-process
// network, so nothing touches a real port.
std::unique_ptr<UdpEndpoint> offlineEndpoint() {
    static FakeNetwork network;
    static int next = 1;
    return std::make_unique<FakeEndpoint>(network, u"10.0.0.%1"_s.arg(next++));
}

// A main window on a fresh temporary program directory, shown and active.
struct ShownForm {
    QTemporaryDir dir;
    std::unique_ptr<TForm1> form;

    ShownForm() : form(std::make_unique<TForm1>(dir.path() + u'/', offlineEndpoint())) {
        form->show();
        QApplication::setActiveWindow(form.get());
    }
    TForm1* operator->() const { return form.get(); }
    bool active() const { return QTest::qWaitForWindowActive(form.get()); }
};

void typeText(QWidget* widget, const QString& text) {
    for (const QChar ch : text) {
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
}

}  // namespace

class FormTest : public QObject {
    Q_OBJECT
  private slots:
    void componentTexts_data();
    void componentTexts();
    void componentSizes_data();
    void componentSizes();
    void initialState();
    void directoryMenuHasElevenLinesEndingInSeparator();
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
};

void FormTest::componentTexts_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QString>("expected");
    const auto row = [](const QString& name, const char* property, const QString& expected) {
        QTest::addRow("%s.%s", qPrintable(name), property)
            << name << QByteArray(property) << expected;
    };
    row(u"Label5"_s, "text", u"    "_s);
    row(u"Label6"_s, "text", u"Правая кнопка мыши - меню"_s);
    row(u"GroupBox1"_s, "title", u"Корреспонденты : "_s);
    row(u"Label3"_s, "text", u"Участвуют : "_s);
    row(u"SpeedButton2"_s, "text", u"Зарегистрироваться"_s);
    row(u"SpeedButton2"_s, "toolTip",
        u"В принципе, эта кнопка не нужна. Так как регистрация производится при запуске "
        u"программы автоматически."_s);
    row(u"GroupBox2"_s, "title", u"Ваше имя :"_s);
    row(u"GroupBox3"_s, "title", u"Отправить : "_s);
    row(u"Label4"_s, "text", u"Сообщение : "_s);
    row(u"BitBtn1"_s, "text", u"Отправить (Enter)"_s);
    row(u"RadioGroup1"_s, "title", u"Кому : "_s);
    row(u"RadioGroup1Item0"_s, "text", u"Всем"_s);
    row(u"RadioGroup1Item1"_s, "text", u"Выборочно"_s);
    row(u"GroupBox4"_s, "title", u"Информация : "_s);
    row(u"GroupBox5"_s, "title", u"Всплывание, если : "_s);
    row(u"GroupBox6"_s, "title", u"Звук, если : "_s);
    row(u"GroupBox7"_s, "title", u"Прочее : "_s);
    row(u"GroupBox8"_s, "title", u"Список корреспондентов : "_s);
    row(u"Label2"_s, "text", u"Полный список : "_s);
    for (const QString& n : {u"1"_s, u"3"_s}) {
        row(u"CheckBox"_s + n, "text", u"Сообщение от корреспондента :"_s);
    }
    for (const QString& n : {u"2"_s, u"4"_s}) {
        row(u"CheckBox"_s + n, "text", u"Новый корреспондент :"_s);
    }
    for (const QString& n : {u"1"_s, u"2"_s, u"3"_s, u"4"_s}) {
        row(u"Edit"_s + n, "toolTip", u"Имя корреспондента"_s);
    }
    row(u"CheckBox5"_s, "text", u"Минимизировать при запуске"_s);
}

void FormTest::componentTexts() {
    QFETCH(QString, name);
    QFETCH(QByteArray, property);
    QFETCH(QString, expected);
    TForm1 form(QDir::tempPath() + u'/', offlineEndpoint());
    QObject* component = form.findChild<QObject*>(name);
    QVERIFY2(component, qPrintable(name));
    QCOMPARE(component->property(property.constData()).toString(), expected);
}

void FormTest::componentSizes_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("width");  // -1: stretches
    QTest::addColumn<int>("height");
    QTest::newRow("status line") << u"Panel1"_s << 653 << 31;
    QTest::newRow("correspondents") << u"GroupBox1"_s << 255 << -1;
    QTest::newRow("roster header") << u"Panel5"_s << -1 << 28;
    QTest::newRow("self name") << u"GroupBox2"_s << -1 << 42;
    QTest::newRow("send group") << u"GroupBox3"_s << -1 << 111;
    QTest::newRow("recipients") << u"RadioGroup1"_s << -1 << 32;
    QTest::newRow("pop-up rules") << u"GroupBox5"_s << -1 << 65;
    QTest::newRow("beep rules") << u"GroupBox6"_s << -1 << 65;
    QTest::newRow("other") << u"GroupBox7"_s << -1 << 39;
    QTest::newRow("directory") << u"GroupBox8"_s << 297 << -1;
    QTest::newRow("filter edit") << u"Edit3"_s << 201 << -1;
}

void FormTest::componentSizes() {
    QFETCH(QString, name);
    QFETCH(int, width);
    QFETCH(int, height);
    ShownForm form;
    QCOMPARE(form->size(), QSize(653, 482));
    form->TN1->setCurrentIndex(1);  // lays out the settings page too
    auto* widget = form->findChild<QWidget*>(name);
    QVERIFY(widget);
    if (width >= 0) {
        QCOMPARE(widget->width(), width);
    }
    if (height >= 0) {
        QCOMPARE(widget->height(), height);
    }
}

void FormTest::initialState() {
    ShownForm form;
    QCOMPARE(form->windowTitle(), u"Зовница"_s);
    QCOMPARE(form->TN1->count(), 2);
    QCOMPARE(form->TN1->tabText(0), u"Зовница"_s);
    QCOMPARE(form->TN1->tabText(1), u"Настройка"_s);
    QCOMPARE(form->TN1->currentIndex(), 0);
    QCOMPARE(form->RadioGroup1ItemIndex(), 0);
    QVERIFY(form->RadioGroup1Items[0]->isChecked());
    for (QCheckBox* box : {form->CheckBox1, form->CheckBox2, form->CheckBox3, form->CheckBox4}) {
        QVERIFY(box->isChecked());
    }
    QVERIFY(!form->CheckBox5->isChecked());
    QVERIFY(form->Timer1->isActive());
    QCOMPARE(form->Timer1->interval(), 500);
    QVERIFY(form->firstTick());
    QCOMPARE(form->selfName(), u"???"_s);
    QCOMPARE(form->EditSelfName->text(), u"???"_s);
    QVERIFY(form->Label1->text() != u"____"_s);
    QVERIFY(form->Label1->text().contains(u"  "_s));
    QCOMPARE(form->SpeedButton1->focusPolicy(), Qt::NoFocus);
    QCOMPARE(form->SpeedButton2->focusPolicy(), Qt::NoFocus);
    QVERIFY(form->Memo1->isReadOnly());

    // The settings page shows no "Прочее : " group.
    form->TN1->setCurrentIndex(1);
    QVERIFY(form->GroupBox5->isVisible());
    QVERIFY(!form->GroupBox7->isVisible());

    // The views show the window's lists and share their selection.
    QCOMPARE(form->ListBox1->model(), form->directory().model());
    QCOMPARE(form->ListBox2->model(), form->roster().model());
    QCOMPARE(form->ListBox2->selectionModel(), form->roster().selectionModel());
    QCOMPARE(form->ListBox1->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(form->ListBox1->editTriggers(), QAbstractItemView::NoEditTriggers);
}

void FormTest::directoryMenuHasElevenLinesEndingInSeparator() {
    ShownForm form;
    const QList<QAction*> actions = form->PopupMenu2->actions();
    const QStringList expected{u"Редактировать"_s,
                               u"Добавить"_s,
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
    QCOMPARE(actions.last(), form->N19);

    // Shown, the menu keeps its last separator instead of collapsing it.
    form->PopupMenu2->popup(form->mapToGlobal(QPoint(10, 10)));
    QVERIFY(QTest::qWaitForWindowExposed(form->PopupMenu2));
    QVERIFY(form->PopupMenu2->actionGeometry(form->N19).height() > 0);
    QVERIFY(form->PopupMenu2->actionGeometry(form->N19).top() >
            form->PopupMenu2->actionGeometry(form->N14).top());
    form->PopupMenu2->close();
}

void FormTest::logMenuOrderAndWindowMenu() {
    TForm1 form(QDir::tempPath() + u'/', offlineEndpoint());
    const QList<QAction*> top = form.PopupMenu3->actions();
    QCOMPARE(top.size(), 3);
    QCOMPARE(top[0], form.N8->menuAction());
    QCOMPARE(top[0]->text(), u"Скопировать в"_s);
    QCOMPARE(top[1], form.N10);
    QVERIFY(top[1]->isSeparator());
    QCOMPARE(top[2], form.N11);
    QCOMPARE(top[2]->text(), u"Очистить"_s);
    QCOMPARE(form.N8->actions(), (QList<QAction*>{form.Clipboard1, form.N9}));
    QCOMPARE(form.Clipboard1->text(), u"Clipboard"_s);
    QCOMPARE(form.N9->text(), u"Текстовый файл"_s);

    QCOMPARE(form.PopupMenu1->actions(), QList<QAction*>{form.N4});
    QCOMPARE(form.N4->text(), u"Отправить сообщение"_s);
    QVERIFY(form.N4->shortcuts().contains(QKeySequence(Qt::Key_Return)));
    QVERIFY(form.N4->shortcuts().contains(QKeySequence(Qt::Key_Enter)));
}

void FormTest::enterOnChatPageSends_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    for (const QString& name : {u"EditMessage"_s, u"EditSelfName"_s, u"ListBox2"_s, u"BitBtn1"_s,
                                u"Memo1"_s, u"RadioGroup1Item1"_s}) {
        QTest::addRow("%s Return", qPrintable(name)) << name << int(Qt::Key_Return) << 0;
        QTest::addRow("%s keypad Enter", qPrintable(name))
            << name << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
    }
}

void FormTest::enterOnChatPageSends() {
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    ShownForm form;
    QVERIFY(form.active());
    form->roster().add(u"A _|_ 10.0.0.1"_s);
    auto* target = form->findChild<QWidget*>(focus);
    QVERIFY(target);
    target->setFocus();
    QCOMPARE(QApplication::focusWidget(), target);
    QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(form->N4ClickCount(), 1);

    QTest::mouseClick(form->BitBtn1, Qt::LeftButton);
    QCOMPARE(form->N4ClickCount(), 2);
}

void FormTest::enterOnSettingsPageDoesNotSend() {
    ShownForm form;
    QVERIFY(form.active());
    form->TN1->setCurrentIndex(1);
    for (QWidget* target :
         {static_cast<QWidget*>(form->Edit1), static_cast<QWidget*>(form->ListBox1),
          static_cast<QWidget*>(form->CheckBox2)}) {
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Return);
        QTest::keyClick(target, Qt::Key_Enter, Qt::KeypadModifier);
    }
    QCOMPARE(form->N4ClickCount(), 0);

    form->TN1->setCurrentIndex(0);
    form->EditMessage->setFocus();
    QTest::keyClick(form->EditMessage, Qt::Key_Return);
    QCOMPARE(form->N4ClickCount(), 1);
}

void FormTest::firstTickRegistersOnceAndFocusesMessage() {
    ShownForm form;
    QVERIFY(form.active());
    form->EditSelfName->setFocus();
    const QString before = form->Label1->text();

    form->Timer1Timer();
    QCOMPARE(form->SpeedButton2ClickCount(), 1);
    QCOMPARE(QApplication::focusWidget(), form->EditMessage);
    QVERIFY(!form->firstTick());
    QVERIFY(form->Timer1->isActive());
    QCOMPARE(form->Timer1->interval(), 1000);
    QVERIFY(!before.isEmpty());

    form->EditSelfName->setFocus();
    form->Timer1Timer();
    QCOMPARE(form->SpeedButton2ClickCount(), 1);
    QCOMPARE(QApplication::focusWidget(), form->EditSelfName);
    QVERIFY(form->Timer1->isActive());
}

void FormTest::firstTickOnSettingsPageLeavesFocusThere() {
    ShownForm form;
    QVERIFY(form.active());
    form->TN1->setCurrentIndex(1);
    form->Edit1->setFocus();
    form->Timer1Timer();
    QCOMPARE(form->SpeedButton2ClickCount(), 1);
    QCOMPARE(QApplication::focusWidget(), form->Edit1);
    QVERIFY(!form->firstTick());
    QCOMPARE(form->Timer1->interval(), 1000);
}

void FormTest::timerRunsFirstTickByItself() {
    ShownForm form;
    QVERIFY(form.active());
    QTRY_COMPARE(form->SpeedButton2ClickCount(), 1);
    QCOMPARE(form->Timer1->interval(), 1000);
    QCOMPARE(QApplication::focusWidget(), form->EditMessage);
}

void FormTest::rosterAndRecipientClicksFocusMessage() {
    ShownForm form;
    QVERIFY(form.active());
    form->roster().add(u"ПЕТРОВ _|_ 10.0.0.2"_s);
    form->roster().add(u"АННА _|_ 10.0.0.3"_s);
    form->EditSelfName->setFocus();

    const QRect second = form->ListBox2->visualRect(form->roster().model()->index(1));
    QTest::mouseClick(form->ListBox2->viewport(), Qt::LeftButton, {}, second.center());
    QCOMPARE(form->roster().selectedIndex(), 1);
    QCOMPARE(QApplication::focusWidget(), form->EditMessage);

    form->EditSelfName->setFocus();
    QTest::mouseClick(form->RadioGroup1Items[1], Qt::LeftButton);
    QCOMPARE(form->RadioGroup1ItemIndex(), 1);
    QCOMPARE(QApplication::focusWidget(), form->EditMessage);
    QTest::mouseClick(form->RadioGroup1Items[0], Qt::LeftButton);
    QCOMPARE(form->RadioGroup1ItemIndex(), 0);
    QCOMPARE(QApplication::focusWidget(), form->EditMessage);
}

void FormTest::selfNameFollowsTypedText() {
    ShownForm form;
    QVERIFY(form.active());
    form->EditSelfName->clear();
    form->EditSelfName->setFocus();
    typeText(form->EditSelfName, u"  петров "_s);
    QCOMPARE(form->EditSelfName->text(), u"  петров "_s);
    QCOMPARE(form->selfName(), u"ПЕТРОВ"_s);
    form->EditSelfName->clear();
    QCOMPARE(form->selfName(), QString());
}

void FormTest::typedTextIsRestrictedToCodePage() {
    ShownForm form;
    QVERIFY(form.active());
    for (QLineEdit* edit : {form->EditMessage, form->EditSelfName, form->Edit1, form->Edit2,
                            form->Edit3, form->Edit4}) {
        const bool onChatPage = edit == form->EditMessage || edit == form->EditSelfName;
        form->TN1->setCurrentIndex(onChatPage ? 0 : 1);
        edit->clear();
        edit->setFocus();
        // A letter outside the code page, a decomposed "й" and a Euro sign.
        typeText(edit, u"a中и\u0306€b"_s);
        QCOMPARE(edit->text(), u"a?й€b"_s);
        QCOMPARE(edit->cursorPosition(), 5);
    }
    QCOMPARE(form->selfName(), u"A?Й€B"_s);

    // Pasted text is restricted the same way, and the cursor stays after it.
    form->TN1->setCurrentIndex(0);
    form->EditMessage->setText(u"xy"_s);
    form->EditMessage->setCursorPosition(1);
    form->EditMessage->insert(u"\U0001F600z"_s);
    QCOMPARE(form->EditMessage->text(), u"x?zy"_s);
    QCOMPARE(form->EditMessage->cursorPosition(), 3);
}

void FormTest::contextMenus_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");  // 0: a right click instead
    QTest::addColumn<QString>("menu");
    const int menuKey = Qt::Key_Menu;
    const int shiftF10 = Qt::Key_F10;
    QTest::newRow("directory, menu key") << 1 << u"ListBox1"_s << menuKey << u"PopupMenu2"_s;
    QTest::newRow("directory, Shift+F10") << 1 << u"ListBox1"_s << shiftF10 << u"PopupMenu2"_s;
    QTest::newRow("directory, mouse") << 1 << u"ListBox1"_s << 0 << u"PopupMenu2"_s;
    QTest::newRow("log, Shift+F10") << 0 << u"Memo1"_s << shiftF10 << u"PopupMenu3"_s;
    QTest::newRow("log, mouse") << 0 << u"Memo1"_s << 0 << u"PopupMenu3"_s;
    QTest::newRow("roster, menu key") << 0 << u"ListBox2"_s << menuKey << u"PopupMenu1"_s;
    QTest::newRow("send panel, mouse") << 0 << u"Panel4"_s << 0 << u"PopupMenu1"_s;
    QTest::newRow("settings page, mouse") << 1 << u"GroupBox5"_s << 0 << u"PopupMenu1"_s;
}

void FormTest::contextMenus() {
    QFETCH(int, page);
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(QString, menu);
    ShownForm form;
    QVERIFY(form.active());
    form->TN1->setCurrentIndex(page);
    auto* target = form->findChild<QWidget*>(focus);
    auto* expected = form->findChild<QMenu*>(menu);
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

void FormTest::closingStopsTimerOnce() {
    ShownForm form;
    QVERIFY(form.active());
    QVERIFY(form->close());
    QVERIFY(!form->Timer1->isActive());
    QVERIFY(!form->isVisible());
    form->Timer1->start();
    form->close();  // already closed: FormDestroy does not run again
    QVERIFY(form->Timer1->isActive());
}

QTEST_MAIN(FormTest)
#include "test_form.moc"
