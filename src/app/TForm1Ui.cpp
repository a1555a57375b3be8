#include "app/TForm1Ui.h"

#include "app/CodePageValidator.h"
#include "app/ConversationLog.h"
#include "app/Glyphs.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

// Sizes of the window and of the docked components, in pixels.
constexpr int kFormWidth = 653;
constexpr int kFormHeight = 482;
constexpr int kStatusLineHeight = 31;
constexpr int kCorrespondentsWidth = 255;
constexpr int kRosterHeaderHeight = 28;
constexpr int kSelfNameHeight = 42;
constexpr int kSendGroupHeight = 111;
constexpr int kRecipientHeight = 32;
constexpr int kAlertGroupHeight = 65;
constexpr int kOtherGroupHeight = 39;
constexpr int kDirectoryWidth = 297;
constexpr int kAlertEditWidth = 201;
constexpr int kTimerStartMs = 500;

template <typename W, typename... Args>
W* make(const QString& name, QWidget* parent, Args&&... args) {
    auto* widget = new W(std::forward<Args>(args)..., parent);
    widget->setObjectName(name);
    return widget;
}

QFrame* makePanel(const QString& name, QWidget* parent, int shape, int lineWidth = 1) {
    auto* panel = make<QFrame>(name, parent);
    panel->setFrameStyle(shape);
    panel->setLineWidth(lineWidth);
    return panel;
}

QLabel* makeBoldLabel(const QString& name, const QString& text, QWidget* parent) {
    auto* label = make<QLabel>(name, parent, text);
    QFont bold;  // only the weight is set; the rest comes from the parent
    bold.setBold(true);
    label->setFont(bold);
    return label;
}

// A single-selection list that shows lines and never edits them.
QListView* makeList(const QString& name, QWidget* parent) {
    auto* list = make<QListView>(name, parent);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setUniformItemSizes(true);
    return list;
}

QLineEdit* makeEdit(const QString& name, QWidget* parent) {
    auto* edit = make<QLineEdit>(name, parent);
    CodePageValidator::restrict(edit);
    return edit;
}

template <typename L>
L* makeLayout(QWidget* owner, int margin, int spacing) {
    auto* layout = new L(owner);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(spacing);
    return layout;
}

QAction* makeAction(const QString& name, const QString& text, QMenu* menu) {
    QAction* action = menu->addAction(text);
    action->setObjectName(name);
    return action;
}

QAction* makeSeparator(const QString& name, QMenu* menu) {
    QAction* action = menu->addSeparator();
    action->setObjectName(name);
    return action;
}

}  // namespace

void TForm1Ui::setupUi(QWidget* form) {
    form->setObjectName(u"Form1"_s);
    form->setWindowTitle(u"Зовница"_s);
    form->setWindowIcon(ProgramIcon());
    QFont font(u"MS Sans Serif"_s, 8);
    font.setStyleHint(QFont::SansSerif);
    form->setFont(font);
    form->resize(kFormWidth, kFormHeight);

    auto* layout = makeLayout<QVBoxLayout>(form, 0, 0);
    TN1 = make<QTabWidget>(u"TN1"_s, form);
    TN1->setTabPosition(QTabWidget::North);
    auto* page0 = make<QWidget>(u"TN1Page0"_s, TN1);
    auto* page1 = make<QWidget>(u"TN1Page1"_s, TN1);
    TN1->addTab(page0, u"Зовница"_s);
    TN1->addTab(page1, u"Настройка"_s);
    layout->addWidget(TN1, 1);

    setupStatusLine(form);
    layout->addWidget(Panel1);
    setupChatPage(page0);
    setupSettingsPage(page1);
    setupMenus(form);

    Timer1 = new QTimer(form);
    Timer1->setObjectName(u"Timer1"_s);
    Timer1->setInterval(kTimerStartMs);

    SD1 = make<QFileDialog>(u"SD1"_s, form);
    SD1->setAcceptMode(QFileDialog::AcceptSave);
    SD1->setFileMode(QFileDialog::AnyFile);
    SD1->setDefaultSuffix(u"TXT"_s);
    SD1->setNameFilters({u"Текстовые файлы (*.TXT)"_s, u"Все файлы (*)"_s});
    SD1->setOption(QFileDialog::DontConfirmOverwrite, false);
    SD1->setSizeGripEnabled(true);
}

void TForm1Ui::setupStatusLine(QWidget* form) {
    Panel1 = makePanel(u"Panel1"_s, form, QFrame::Panel | QFrame::Sunken);
    Panel1->setFixedHeight(kStatusLineHeight);
    auto* layout = makeLayout<QHBoxLayout>(Panel1, 2, 4);
    layout->setContentsMargins(6, 2, 0, 2);

    Label1 = make<QLabel>(u"Label1"_s, Panel1, u"____"_s);
    Label6 = make<QLabel>(u"Label6"_s, Panel1, u"Правая кнопка мыши - меню"_s);
    SpeedButton1 = make<QToolButton>(u"SpeedButton1"_s, Panel1);
    SpeedButton1->setIcon(AboutGlyph());
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    SpeedButton1->setAccessibleName(u"About"_s);
    Label5 = make<QLabel>(u"Label5"_s, Panel1, u"    "_s);
    LabelReceiveOff = make<QLabel>(u"LabelReceiveOff"_s, Panel1, u"Приём отключён"_s);
    LabelReceiveOff->setStyleSheet(u"color: #b00000; font-weight: bold;"_s);
    LabelReceiveOff->hide();

    layout->addWidget(Label1);
    layout->addSpacing(16);
    layout->addWidget(LabelReceiveOff);
    layout->addStretch(1);
    layout->addWidget(Label6);
    layout->addSpacing(8);
    layout->addWidget(SpeedButton1);
    layout->addWidget(Label5);
}

void TForm1Ui::setupChatPage(QWidget* page) {
    auto* pageLayout = makeLayout<QVBoxLayout>(page, 0, 0);
    Panel2 = makePanel(u"Panel2"_s, page, QFrame::Panel | QFrame::Sunken, 2);
    pageLayout->addWidget(Panel2);
    auto* panel2Layout = makeLayout<QHBoxLayout>(Panel2, 2, 2);

    // Left side: what to send, to whom, and the log.
    Panel3 = makePanel(u"Panel3"_s, Panel2, QFrame::NoFrame);
    auto* panel3Layout = makeLayout<QVBoxLayout>(Panel3, 0, 2);

    GroupBox3 = make<QGroupBox>(u"GroupBox3"_s, Panel3, u"Отправить : "_s);
    GroupBox3->setFixedHeight(kSendGroupHeight);
    auto* group3Layout = makeLayout<QVBoxLayout>(GroupBox3, 4, 2);
    group3Layout->setContentsMargins(4, 2, 4, 4);

    Panel4 = makePanel(u"Panel4"_s, GroupBox3, QFrame::NoFrame);
    auto* panel4Layout = makeLayout<QGridLayout>(Panel4, 2, 4);
    Label4 = makeBoldLabel(u"Label4"_s, u"Сообщение : "_s, Panel4);
    BitBtn1 = make<QPushButton>(u"BitBtn1"_s, Panel4, u"Отправить (Enter)"_s);
    BitBtn1->setIcon(SendGlyph());
    BitBtn1->setAutoDefault(false);
    EditMessage = makeEdit(u"EditMessage"_s, Panel4);
    panel4Layout->addWidget(Label4, 0, 0);
    panel4Layout->addWidget(BitBtn1, 0, 1);
    panel4Layout->setColumnStretch(2, 1);
    panel4Layout->addWidget(EditMessage, 1, 0, 1, 3);
    group3Layout->addWidget(Panel4, 1);

    RadioGroup1 = make<QGroupBox>(u"RadioGroup1"_s, GroupBox3, u"Кому : "_s);
    RadioGroup1->setFixedHeight(kRecipientHeight);
    auto* radioLayout = makeLayout<QHBoxLayout>(RadioGroup1, 0, 0);
    radioLayout->setContentsMargins(8, 0, 8, 0);
    RadioGroup1Buttons = new QButtonGroup(RadioGroup1);
    RadioGroup1Buttons->setObjectName(u"RadioGroup1Buttons"_s);
    const std::array<QString, 2> recipients{u"Всем"_s, u"Выборочно"_s};
    for (int i = 0; i < 2; ++i) {
        auto* item = make<QRadioButton>(u"RadioGroup1Item%1"_s.arg(i), RadioGroup1, recipients[i]);
        RadioGroup1Items[i] = item;
        RadioGroup1Buttons->addButton(item, i);
        radioLayout->addWidget(item, 1, Qt::AlignLeft);  // two columns of equal width
    }
    RadioGroup1Items[0]->setChecked(true);
    group3Layout->addWidget(RadioGroup1);
    panel3Layout->addWidget(GroupBox3);

    GroupBox4 = make<QGroupBox>(u"GroupBox4"_s, Panel3, u"Информация : "_s);
    auto* group4Layout = makeLayout<QVBoxLayout>(GroupBox4, 4, 0);
    Memo1 = make<ConversationLog>(u"Memo1"_s, GroupBox4);
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    group4Layout->addWidget(Memo1);
    panel3Layout->addWidget(GroupBox4, 1);
    panel2Layout->addWidget(Panel3, 1);

    // Right side: who takes part, and the self name.
    GroupBox1 = make<QGroupBox>(u"GroupBox1"_s, Panel2, u"Корреспонденты : "_s);
    GroupBox1->setFixedWidth(kCorrespondentsWidth);
    auto* group1Layout = makeLayout<QVBoxLayout>(GroupBox1, 4, 2);

    Panel5 = makePanel(u"Panel5"_s, GroupBox1, QFrame::NoFrame);
    Panel5->setFixedHeight(kRosterHeaderHeight);
    auto* panel5Layout = makeLayout<QHBoxLayout>(Panel5, 0, 4);
    Label3 = makeBoldLabel(u"Label3"_s, u"Участвуют : "_s, Panel5);
    SpeedButton2 = make<QToolButton>(u"SpeedButton2"_s, Panel5);
    SpeedButton2->setText(u"Зарегистрироваться"_s);
    SpeedButton2->setToolTip(
        u"В принципе, эта кнопка не нужна. Так как регистрация производится при запуске "
        u"программы автоматически."_s);
    SpeedButton2->setAutoRaise(true);
    SpeedButton2->setFocusPolicy(Qt::NoFocus);
    panel5Layout->addWidget(Label3);
    panel5Layout->addStretch(1);
    panel5Layout->addWidget(SpeedButton2);
    group1Layout->addWidget(Panel5);

    // Any font shows Cyrillic; the lists need no character-set setting.
    ListBox2 = makeList(u"ListBox2"_s, GroupBox1);
    group1Layout->addWidget(ListBox2, 1);

    GroupBox2 = make<QGroupBox>(u"GroupBox2"_s, GroupBox1, u"Ваше имя :"_s);
    GroupBox2->setFixedHeight(kSelfNameHeight);
    auto* group2Layout = makeLayout<QVBoxLayout>(GroupBox2, 0, 0);
    group2Layout->setContentsMargins(4, 0, 4, 2);
    EditSelfName = makeEdit(u"EditSelfName"_s, GroupBox2);
    group2Layout->addWidget(EditSelfName);
    group1Layout->addWidget(GroupBox2);
    panel2Layout->addWidget(GroupBox1);
}

void TForm1Ui::setupSettingsPage(QWidget* page) {
    auto* layout = makeLayout<QVBoxLayout>(page, 2, 2);

    // Two groups of the same arrangement: a check box above an edit, twice.
    auto alertGroup = [page](const QString& name, const QString& title, QCheckBox*& leftBox,
                             QLineEdit*& leftEdit, const QString& leftName, QCheckBox*& rightBox,
                             QLineEdit*& rightEdit, const QString& rightName) {
        auto* group = make<QGroupBox>(name, page, title);
        group->setFixedHeight(kAlertGroupHeight);
        auto* grid = makeLayout<QGridLayout>(group, 4, 0);
        grid->setContentsMargins(8, 0, 8, 2);
        grid->setHorizontalSpacing(16);
        const auto column = [group, grid](int col, const QString& boxName, QCheckBox*& box,
                                          const QString& editName, QLineEdit*& edit) {
            box = make<QCheckBox>(
                u"CheckBox"_s + boxName, group,
                col == 0 ? u"Сообщение от корреспондента :"_s : u"Новый корреспондент :"_s);
            box->setChecked(true);
            edit = makeEdit(u"Edit"_s + editName, group);
            edit->setFixedWidth(kAlertEditWidth);
            edit->setToolTip(u"Имя корреспондента"_s);
            QPalette white = edit->palette();
            white.setColor(QPalette::Base, Qt::white);
            edit->setPalette(white);
            grid->addWidget(box, 0, col);
            grid->addWidget(edit, 1, col);
        };
        column(0, leftName, leftBox, leftName, leftEdit);
        column(1, rightName, rightBox, rightName, rightEdit);
        grid->setColumnStretch(2, 1);
        return group;
    };

    GroupBox5 = alertGroup(u"GroupBox5"_s, u"Всплывание, если : "_s, CheckBox1, Edit1, u"1"_s,
                           CheckBox2, Edit2, u"2"_s);
    GroupBox6 = alertGroup(u"GroupBox6"_s, u"Звук, если : "_s, CheckBox3, Edit3, u"3"_s, CheckBox4,
                           Edit4, u"4"_s);
    layout->addWidget(GroupBox5);
    layout->addWidget(GroupBox6);

    GroupBox7 = make<QGroupBox>(u"GroupBox7"_s, page, u"Прочее : "_s);
    GroupBox7->setFixedHeight(kOtherGroupHeight);
    auto* group7Layout = makeLayout<QHBoxLayout>(GroupBox7, 0, 0);
    group7Layout->setContentsMargins(8, 0, 8, 2);
    CheckBox5 = make<QCheckBox>(u"CheckBox5"_s, GroupBox7, u"Минимизировать при запуске"_s);
    group7Layout->addWidget(CheckBox5);
    GroupBox7->setVisible(false);
    layout->addWidget(GroupBox7);

    GroupBox8 = make<QGroupBox>(u"GroupBox8"_s, page, u"Список корреспондентов : "_s);
    GroupBox8->setFixedWidth(kDirectoryWidth);
    auto* group8Layout = makeLayout<QVBoxLayout>(GroupBox8, 4, 2);
    Label2 = makeBoldLabel(u"Label2"_s, u"Полный список : "_s, GroupBox8);
    ListBox1 = makeList(u"ListBox1"_s, GroupBox8);
    group8Layout->addWidget(Label2);
    group8Layout->addWidget(ListBox1, 1);
    layout->addWidget(GroupBox8, 1, Qt::AlignLeft);
}

void TForm1Ui::setupMenus(QWidget* form) {
    PopupMenu1 = make<QMenu>(u"PopupMenu1"_s, form);
    N4 = makeAction(u"N4"_s, u"Отправить сообщение"_s, PopupMenu1);
    // Enter first, so the menu shows "Enter"; Return is the main keyboard's key.
    N4->setShortcuts({QKeySequence(Qt::Key_Enter), QKeySequence(Qt::Key_Return)});
    N4->setShortcutContext(Qt::WindowShortcut);
    form->addAction(N4);  // works from every control, menu shown or not

    PopupMenu2 = make<QMenu>(u"PopupMenu2"_s, form);
    PopupMenu2->setSeparatorsCollapsible(false);  // the last line is a separator
    N3 = makeAction(u"N3"_s, u"Редактировать"_s, PopupMenu2);
    N1 = makeAction(u"N1"_s, u"Добавить"_s, PopupMenu2);
    N7 = makeAction(u"N7"_s, u"Вставить"_s, PopupMenu2);
    N2 = makeAction(u"N2"_s, u"Удалить"_s, PopupMenu2);
    N17 = makeAction(u"N17"_s, u"Удалить ВСЕ"_s, PopupMenu2);
    N5 = makeSeparator(u"N5"_s, PopupMenu2);
    N6 = makeAction(u"N6"_s, u"Проверить связь ..."_s, PopupMenu2);
    N12 = makeSeparator(u"N12"_s, PopupMenu2);
    N13 = makeAction(u"N13"_s, u"Передать ВЕСЬ список корреспондентов"_s, PopupMenu2);
    N14 = makeAction(u"N14"_s, u"Передать данного корреспондента"_s, PopupMenu2);
    N19 = makeSeparator(u"N19"_s, PopupMenu2);

    PopupMenu3 = make<QMenu>(u"PopupMenu3"_s, form);
    PopupMenu3->setSeparatorsCollapsible(false);
    N8 = make<QMenu>(u"N8"_s, PopupMenu3, u"Скопировать в"_s);
    N8->menuAction()->setObjectName(u"N8Action"_s);
    PopupMenu3->addMenu(N8);
    Clipboard1 = makeAction(u"Clipboard1"_s, u"Clipboard"_s, N8);
    N9 = makeAction(u"N9"_s, u"Текстовый файл"_s, N8);
    N10 = makeSeparator(u"N10"_s, PopupMenu3);
    N11 = makeAction(u"N11"_s, u"Очистить"_s, PopupMenu3);
}
