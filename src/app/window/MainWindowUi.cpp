#include "app/window/MainWindowUi.h"

#include "app/views/ConversationLog.h"
#include "app/views/UniformListView.h"
#include "app/widgets/CodePageValidator.h"
#include "app/widgets/Glyphs.h"
#include "app/widgets/SweepProgressLine.h"
#include "core/Settings.h"
#include "core/SweepTexts.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <type_traits>

using namespace Qt::StringLiterals;

namespace {

// Sizes of the window and of the docked components, in pixels.
constexpr int kWindowWidth = 653;
constexpr int kWindowHeight = 482;
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
template <typename View>
View* makeList(const QString& name, QWidget* parent) {
    auto* list = make<View>(name, parent);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    if constexpr (std::is_same_v<View, QListView>) {
        list->setUniformItemSizes(true);
    }
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

}  // namespace

void MainWindowUi::setupUi(QWidget* window) {
    window->setObjectName(u"MainWindow"_s);
    window->setWindowTitle(u"Зовница"_s);
    // The window shows the application's icon where the start-up gave it one
    // (drawing it twice would cost the start as much again).
    if (QGuiApplication::windowIcon().isNull()) {
        window->setWindowIcon(programIcon());
    }
    QFont font(u"MS Sans Serif"_s, 8);
    font.setStyleHint(QFont::SansSerif);
    window->setFont(font);
    window->resize(kWindowWidth, kWindowHeight);

    auto* layout = makeLayout<QVBoxLayout>(window, 0, 0);
    pages = make<QTabWidget>(u"pages"_s, window);
    pages->setTabPosition(QTabWidget::North);
    auto* chatPage = make<QWidget>(u"chatPage"_s, pages);
    auto* settingsPage = make<QWidget>(u"settingsPage"_s, pages);
    pages->addTab(chatPage, u"Зовница"_s);
    pages->addTab(settingsPage, u"Настройка"_s);
    layout->addWidget(pages, 1);
    sweepLine = new SweepProgressLine(window);
    layout->addWidget(sweepLine);

    layout->addWidget(setupStatusLine(window));
    setupChatPage(chatPage);
    setupSettingsPage(settingsPage);
    setupMenus(window);
}

QWidget* MainWindowUi::setupStatusLine(QWidget* window) {
    QFrame* statusLine = makePanel(u"statusLine"_s, window, QFrame::Panel | QFrame::Sunken);
    statusLine->setFixedHeight(kStatusLineHeight);
    auto* layout = makeLayout<QHBoxLayout>(statusLine, 2, 4);
    layout->setContentsMargins(6, 2, 0, 2);

    clockLabel = make<QLabel>(u"clockLabel"_s, statusLine, u"____"_s);
    auto* menuHint = make<QLabel>(u"menuHint"_s, statusLine, u"Правая кнопка мыши - меню"_s);
    aboutButton = make<QToolButton>(u"aboutButton"_s, statusLine);
    aboutButton->setIcon(aboutGlyph());
    aboutButton->setAutoRaise(true);
    aboutButton->setFocusPolicy(Qt::NoFocus);
    aboutButton->setAccessibleName(u"О программе"_s);
    auto* rightEdgeSpacer = make<QLabel>(u"rightEdgeSpacer"_s, statusLine, u"    "_s);
    receiveOffLabel = make<QLabel>(u"receiveOffLabel"_s, statusLine, u"Приём отключён"_s);
    // Text and background together, so the notice reads the same on light
    // and dark themes.
    receiveOffLabel->setStyleSheet(
        u"color: white; background-color: #b00000; font-weight: bold; padding: 0px 4px;"_s);
    receiveOffLabel->hide();
    lostDatagramsLabel = make<QLabel>(u"lostDatagramsLabel"_s, statusLine);
    lostDatagramsLabel->setStyleSheet(u"color: #b00000;"_s);
    lostDatagramsLabel->hide();
    undeliveredLabel = make<QLabel>(u"undeliveredLabel"_s, statusLine);
    undeliveredLabel->setStyleSheet(u"color: #b00000;"_s);
    undeliveredLabel->hide();
    refusedEntriesLabel = make<QLabel>(u"refusedEntriesLabel"_s, statusLine);
    refusedEntriesLabel->setStyleSheet(u"color: #b00000;"_s);
    refusedEntriesLabel->hide();
    rosterFullLabel = make<QLabel>(u"rosterFullLabel"_s, statusLine);
    rosterFullLabel->setStyleSheet(u"color: #b00000;"_s);
    rosterFullLabel->hide();

    layout->addWidget(clockLabel);
    layout->addSpacing(16);
    layout->addWidget(receiveOffLabel);
    layout->addWidget(lostDatagramsLabel);
    layout->addWidget(undeliveredLabel);
    layout->addWidget(refusedEntriesLabel);
    layout->addWidget(rosterFullLabel);
    layout->addStretch(1);
    layout->addWidget(menuHint);
    layout->addSpacing(8);
    layout->addWidget(aboutButton);
    layout->addWidget(rightEdgeSpacer);
    return statusLine;
}

void MainWindowUi::setupChatPage(QWidget* page) {
    auto* pageLayout = makeLayout<QVBoxLayout>(page, 0, 0);
    QFrame* chatPanel = makePanel(u"chatPanel"_s, page, QFrame::Panel | QFrame::Sunken, 2);
    pageLayout->addWidget(chatPanel);
    auto* chatLayout = makeLayout<QHBoxLayout>(chatPanel, 2, 2);

    // Left side: what to send, to whom, and the log.
    QFrame* messagesPanel = makePanel(u"messagesPanel"_s, chatPanel, QFrame::NoFrame);
    auto* messagesLayout = makeLayout<QVBoxLayout>(messagesPanel, 0, 2);

    auto* sendGroup = make<QGroupBox>(u"sendGroup"_s, messagesPanel, u"Отправить : "_s);
    sendGroup->setFixedHeight(kSendGroupHeight);
    auto* sendGroupLayout = makeLayout<QVBoxLayout>(sendGroup, 4, 2);
    sendGroupLayout->setContentsMargins(4, 2, 4, 4);

    sendPanel = makePanel(u"sendPanel"_s, sendGroup, QFrame::NoFrame);
    auto* sendLayout = makeLayout<QGridLayout>(sendPanel, 2, 4);
    QLabel* messageLabel = makeBoldLabel(u"messageLabel"_s, u"Сообщение : "_s, sendPanel);
    sendButton = make<QPushButton>(u"sendButton"_s, sendPanel, u"Отправить (Enter)"_s);
    sendButton->setIcon(sendGlyph());
    sendButton->setAutoDefault(false);
    messageEdit = makeEdit(u"messageEdit"_s, sendPanel);
    messageLabel->setBuddy(messageEdit);
    messageEdit->setAccessibleName(u"Сообщение"_s);
    sendLayout->addWidget(messageLabel, 0, 0);
    sendLayout->addWidget(sendButton, 0, 1);
    sendLayout->setColumnStretch(2, 1);
    sendLayout->addWidget(messageEdit, 1, 0, 1, 3);
    sendGroupLayout->addWidget(sendPanel, 1);

    auto* recipientGroup = make<QGroupBox>(u"recipientGroup"_s, sendGroup, u"Кому : "_s);
    recipientGroup->setFixedHeight(kRecipientHeight);
    auto* recipientLayout = makeLayout<QHBoxLayout>(recipientGroup, 0, 0);
    recipientLayout->setContentsMargins(8, 0, 8, 0);
    recipientChoice = new QButtonGroup(recipientGroup);
    recipientChoice->setObjectName(u"recipientChoice"_s);
    toEveryoneButton = make<QRadioButton>(u"toEveryoneButton"_s, recipientGroup, u"Всем"_s);
    toSelectedButton = make<QRadioButton>(u"toSelectedButton"_s, recipientGroup, u"Выборочно"_s);
    recipientChoice->addButton(toEveryoneButton, 0);
    recipientChoice->addButton(toSelectedButton, 1);
    for (QRadioButton* button : {toEveryoneButton, toSelectedButton}) {
        recipientLayout->addWidget(button, 1, Qt::AlignLeft);  // two columns of equal width
    }
    toEveryoneButton->setChecked(true);
    sendGroupLayout->addWidget(recipientGroup);
    messagesLayout->addWidget(sendGroup);

    auto* logGroup = make<QGroupBox>(u"logGroup"_s, messagesPanel, u"Информация : "_s);
    auto* logGroupLayout = makeLayout<QVBoxLayout>(logGroup, 4, 0);
    logView = make<ConversationLog>(u"logView"_s, logGroup);
    logView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    logView->setAccessibleName(u"Информация"_s);
    logGroupLayout->addWidget(logView);
    messagesLayout->addWidget(logGroup, 1);
    chatLayout->addWidget(messagesPanel, 1);

    // Right side: who takes part, and the self name.
    auto* correspondentsGroup =
        make<QGroupBox>(u"correspondentsGroup"_s, chatPanel, u"Корреспонденты : "_s);
    correspondentsGroup->setFixedWidth(kCorrespondentsWidth);
    auto* correspondentsLayout = makeLayout<QVBoxLayout>(correspondentsGroup, 4, 2);

    QFrame* rosterHeader = makePanel(u"rosterHeader"_s, correspondentsGroup, QFrame::NoFrame);
    rosterHeader->setFixedHeight(kRosterHeaderHeight);
    auto* rosterHeaderLayout = makeLayout<QHBoxLayout>(rosterHeader, 0, 4);
    QLabel* rosterLabel = makeBoldLabel(u"rosterLabel"_s, u"Участвуют : "_s, rosterHeader);
    registerButton = make<QToolButton>(u"registerButton"_s, rosterHeader);
    registerButton->setText(u"Зарегистрироваться"_s);
    registerButton->setToolTip(
        u"В принципе, эта кнопка не нужна. Так как регистрация производится при запуске "
        u"программы автоматически."_s);
    registerButton->setAutoRaise(true);
    registerButton->setFocusPolicy(Qt::NoFocus);
    rosterHeaderLayout->addWidget(rosterLabel);
    rosterHeaderLayout->addStretch(1);
    rosterHeaderLayout->addWidget(registerButton);
    correspondentsLayout->addWidget(rosterHeader);

    // Any font shows Cyrillic; the lists need no character-set setting.
    rosterView = makeList<UniformListView>(u"rosterView"_s, correspondentsGroup);
    rosterLabel->setBuddy(rosterView);
    rosterView->setAccessibleName(u"Участвуют"_s);
    correspondentsLayout->addWidget(rosterView, 1);

    auto* selfNameGroup = make<QGroupBox>(u"selfNameGroup"_s, correspondentsGroup, u"Ваше имя :"_s);
    selfNameGroup->setFixedHeight(kSelfNameHeight);
    auto* selfNameLayout = makeLayout<QVBoxLayout>(selfNameGroup, 0, 0);
    selfNameLayout->setContentsMargins(4, 0, 4, 2);
    selfNameEdit = makeEdit(u"selfNameEdit"_s, selfNameGroup);
    selfNameEdit->setAccessibleName(u"Ваше имя"_s);
    selfNameLayout->addWidget(selfNameEdit);
    correspondentsLayout->addWidget(selfNameGroup);
    chatLayout->addWidget(correspondentsGroup);
}

void MainWindowUi::setupSettingsPage(QWidget* page) {
    auto* layout = makeLayout<QVBoxLayout>(page, 2, 2);

    // One rule: its switch above its filter, in one column of a group.
    struct Rule {
        QString boxName;
        QCheckBox*& box;
        QString filterName;
        QLineEdit*& filter;
    };
    // Two groups of the same arrangement: the message rule on the left, the
    // new-correspondent rule on the right.
    const auto ruleGroup = [page](const QString& name, const QString& title, const Rule& left,
                                  const Rule& right) {
        auto* group = make<QGroupBox>(name, page, title);
        group->setFixedHeight(kAlertGroupHeight);
        auto* grid = makeLayout<QGridLayout>(group, 4, 0);
        grid->setContentsMargins(8, 0, 8, 2);
        grid->setHorizontalSpacing(16);
        const auto column = [group, grid](int col, const Rule& rule) {
            rule.box = make<QCheckBox>(
                rule.boxName, group,
                col == 0 ? u"Сообщение от корреспондента :"_s : u"Новый корреспондент :"_s);
            rule.box->setChecked(true);
            rule.filter = makeEdit(rule.filterName, group);
            rule.filter->setFixedWidth(kAlertEditWidth);
            rule.filter->setToolTip(u"Имя корреспондента"_s);
            grid->addWidget(rule.box, 0, col);
            grid->addWidget(rule.filter, 1, col);
        };
        column(0, left);
        column(1, right);
        grid->setColumnStretch(2, 1);
        return group;
    };

    layout->addWidget(ruleGroup(
        u"popUpGroup"_s, u"Всплывание, если : "_s,
        {u"messagePopUpBox"_s, messagePopUpBox, u"messagePopUpFilter"_s, messagePopUpFilter},
        {u"correspondentPopUpBox"_s, correspondentPopUpBox, u"correspondentPopUpFilter"_s,
         correspondentPopUpFilter}));
    layout->addWidget(
        ruleGroup(u"beepGroup"_s, u"Звук, если : "_s,
                  {u"messageBeepBox"_s, messageBeepBox, u"messageBeepFilter"_s, messageBeepFilter},
                  {u"correspondentBeepBox"_s, correspondentBeepBox, u"correspondentBeepFilter"_s,
                   correspondentBeepFilter}));
    // Each filter is named by its group and its rule, its caption above it.
    messagePopUpFilter->setAccessibleName(u"Всплывание, если сообщение от корреспондента"_s);
    correspondentPopUpFilter->setAccessibleName(u"Всплывание, если новый корреспондент"_s);
    messageBeepFilter->setAccessibleName(u"Звук, если сообщение от корреспондента"_s);
    correspondentBeepFilter->setAccessibleName(u"Звук, если новый корреспондент"_s);

    // Kept in the settings file, never shown.
    auto* otherGroup = make<QGroupBox>(u"otherGroup"_s, page, u"Прочее : "_s);
    otherGroup->setFixedHeight(kOtherGroupHeight);
    auto* otherLayout = makeLayout<QHBoxLayout>(otherGroup, 0, 0);
    otherLayout->setContentsMargins(8, 0, 8, 2);
    minimizeOnStartBox =
        make<QCheckBox>(u"minimizeOnStartBox"_s, otherGroup, u"Минимизировать при запуске"_s);
    otherLayout->addWidget(minimizeOnStartBox);
    otherGroup->setVisible(false);
    layout->addWidget(otherGroup);

    auto* directoryGroup =
        make<QGroupBox>(u"directoryGroup"_s, page, u"Список корреспондентов : "_s);
    directoryGroup->setFixedWidth(kDirectoryWidth);
    auto* directoryLayout = makeLayout<QVBoxLayout>(directoryGroup, 4, 2);
    QLabel* directoryLabel =
        makeBoldLabel(u"directoryLabel"_s, u"Полный список : "_s, directoryGroup);
    directoryView = makeList<QListView>(u"directoryView"_s, directoryGroup);
    directoryLabel->setBuddy(directoryView);
    directoryView->setAccessibleName(u"Полный список"_s);
    directoryLayout->addWidget(directoryLabel);
    directoryLayout->addWidget(directoryView, 1);
    layout->addWidget(directoryGroup, 1, Qt::AlignLeft);
}

void MainWindowUi::setupMenus(QWidget* window) {
    windowMenu = make<QMenu>(u"windowMenu"_s, window);
    sendAction = makeAction(u"sendAction"_s, u"Отправить сообщение"_s, windowMenu);
    // Enter first, so the menu shows "Enter"; Return is the main keyboard's key.
    sendAction->setShortcuts({QKeySequence(Qt::Key_Enter), QKeySequence(Qt::Key_Return)});
    sendAction->setShortcutContext(Qt::WindowShortcut);
    window->addAction(sendAction);  // works from every control, menu shown or not

    directoryMenu = make<QMenu>(u"directoryMenu"_s, window);
    directoryMenu->setSeparatorsCollapsible(false);  // the last line is a separator
    editEntryAction = makeAction(u"editEntryAction"_s, u"Редактировать"_s, directoryMenu);
    addEntryAction = makeAction(u"addEntryAction"_s, u"Добавить"_s, directoryMenu);
    findOnNetworkAction =
        makeAction(u"findOnNetworkAction"_s, SweepTexts::command(), directoryMenu);
    findOnNetworkAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    findOnNetworkAction->setShortcutContext(Qt::WindowShortcut);
    window->addAction(findOnNetworkAction);
    insertEntryAction = makeAction(u"insertEntryAction"_s, u"Вставить"_s, directoryMenu);
    deleteEntryAction = makeAction(u"deleteEntryAction"_s, u"Удалить"_s, directoryMenu);
    deleteAllAction = makeAction(u"deleteAllAction"_s, u"Удалить ВСЕ"_s, directoryMenu);
    directoryMenu->addSeparator();
    checkLinkAction = makeAction(u"checkLinkAction"_s, u"Проверить связь ..."_s, directoryMenu);
    directoryMenu->addSeparator();
    shareDirectoryAction = makeAction(u"shareDirectoryAction"_s,
                                      u"Передать ВЕСЬ список корреспондентов"_s, directoryMenu);
    shareEntryAction =
        makeAction(u"shareEntryAction"_s, u"Передать данного корреспондента"_s, directoryMenu);
    directoryMenu->addSeparator();

    logMenu = make<QMenu>(u"logMenu"_s, window);
    logMenu->setSeparatorsCollapsible(false);
    copyToMenu = make<QMenu>(u"copyToMenu"_s, logMenu, u"Скопировать в"_s);
    copyToMenu->menuAction()->setObjectName(u"copyToMenuAction"_s);
    logMenu->addMenu(copyToMenu);
    copyToClipboardAction = makeAction(u"copyToClipboardAction"_s, u"Clipboard"_s, copyToMenu);
    saveLogAction = makeAction(u"saveLogAction"_s, u"Текстовый файл"_s, copyToMenu);
    logMenu->addSeparator();
    clearLogAction = makeAction(u"clearLogAction"_s, u"Очистить"_s, logMenu);
}

void MainWindowUi::showSettings(const Settings& settings) {
    selfNameEdit->setText(settings.myName);
    messagePopUpBox->setChecked(settings.yesPopUpMess);
    messagePopUpFilter->setText(settings.textPopUpMess);
    correspondentPopUpBox->setChecked(settings.yesPopUpCorr);
    correspondentPopUpFilter->setText(settings.textPopUpCorr);
    messageBeepBox->setChecked(settings.yesBeepMess);
    messageBeepFilter->setText(settings.textBeepMess);
    correspondentBeepBox->setChecked(settings.yesBeepCorr);
    correspondentBeepFilter->setText(settings.textBeepCorr);
    minimizeOnStartBox->setChecked(settings.minimizeOnStart);
}

Settings MainWindowUi::settings() const {
    Settings settings;
    settings.myName = selfNameEdit->text();
    settings.yesPopUpMess = messagePopUpBox->isChecked();
    settings.textPopUpMess = messagePopUpFilter->text();
    settings.yesPopUpCorr = correspondentPopUpBox->isChecked();
    settings.textPopUpCorr = correspondentPopUpFilter->text();
    settings.yesBeepMess = messageBeepBox->isChecked();
    settings.textBeepMess = messageBeepFilter->text();
    settings.yesBeepCorr = correspondentBeepBox->isChecked();
    settings.textBeepCorr = correspondentBeepFilter->text();
    settings.minimizeOnStart = minimizeOnStartBox->isChecked();
    return settings;
}
