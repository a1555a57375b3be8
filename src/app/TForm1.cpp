#include "app/TForm1.h"

#include "app/ClockText.h"
#include "app/ConversationLog.h"
#include "app/TAboutBox.h"
#include "core/Entry.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

namespace {
constexpr int kClockIntervalMs = 1000;
}  // namespace

TForm1::TForm1(QString programDirectory, std::unique_ptr<UdpEndpoint> endpoint, QWidget* parent)
    : QWidget(parent),
      NMUDP1(std::move(endpoint)),
      programDirectory_(std::move(programDirectory)),
      selfName_(kDefaultSelfName) {
    setupUi(this);
    if (QScreen* screen = this->screen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    attachLists(directory_, roster_);
    connectHandlers();
    connectContextMenus();
    // The endpoint's events reach the datagram handlers once the protocol
    // core is connected here.
    try {
        FormCreate();
    } catch (...) {
        startupError_ = std::current_exception();
    }
}

TForm1::~TForm1() {
    // The views let go of the lists, whichever is destroyed first.
    ListBox1->setModel(nullptr);
    ListBox2->setModel(nullptr);
}

void TForm1::attachDialogs(TDlgCorr1* dlgCorr, TAboutBox* aboutBox) {
    dlgCorr1_ = dlgCorr;
    aboutBox_ = aboutBox;
}

void TForm1::attachLists(EntryList& directory, EntryList& roster) {
    ListBox1->setModel(directory.model());
    ListBox1->setSelectionModel(directory.selectionModel());
    ListBox2->setModel(roster.model());
    ListBox2->setSelectionModel(roster.selectionModel());
}

void TForm1::connectHandlers() {
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    connect(SpeedButton1, &QToolButton::clicked, this, &TForm1::SpeedButton1Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &TForm1::SpeedButton2Click);
    connect(EditSelfName, &QLineEdit::textChanged, this, &TForm1::EditSelfNameChange);
    connect(ListBox2, &QListView::clicked, this, &TForm1::ListBox2Click);
    connect(RadioGroup1Buttons, &QButtonGroup::idClicked, this, &TForm1::RadioGroup1Click);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm1::N4Click);
    connect(N4, &QAction::triggered, this, &TForm1::N4Click);
    connect(N3, &QAction::triggered, this, &TForm1::N3Click);
    connect(N1, &QAction::triggered, this, &TForm1::N1Click);
    connect(N7, &QAction::triggered, this, &TForm1::N7Click);
    connect(N2, &QAction::triggered, this, &TForm1::N2Click);
    connect(N17, &QAction::triggered, this, &TForm1::N17Click);
    connect(N6, &QAction::triggered, this, &TForm1::N6Click);
    connect(N13, &QAction::triggered, this, &TForm1::N13Click);
    connect(N14, &QAction::triggered, this, &TForm1::N14Click);
    connect(Clipboard1, &QAction::triggered, this, &TForm1::Clipboard1Click);
    connect(N9, &QAction::triggered, this, &TForm1::N9Click);
    connect(N11, &QAction::triggered, this, &TForm1::N11Click);
    // toggled, not clicked: a change made by the program runs the handler too.
    connect(CheckBox1, &QCheckBox::toggled, this, &TForm1::CheckBox1Click);
    connect(CheckBox2, &QCheckBox::toggled, this, &TForm1::CheckBox2Click);
    connect(CheckBox3, &QCheckBox::toggled, this, &TForm1::CheckBox3Click);
    connect(CheckBox4, &QCheckBox::toggled, this, &TForm1::CheckBox4Click);

    // Enter sends from every control of page 0. On the settings page the
    // message line is out of sight, and Enter typed into a filter there must
    // not send it.
    connect(TN1, &QTabWidget::currentChanged, this,
            [this](int page) { N4->setEnabled(page == 0); });
}

void TForm1::connectContextMenus() {
    const auto popup = [](QMenu* menu, QWidget* at) {
        return [menu, at](const QPoint& pos) { menu->popup(at->mapToGlobal(pos)); };
    };
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, popup(PopupMenu1, this));
    Panel4->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Panel4, &QWidget::customContextMenuRequested, this, popup(PopupMenu1, Panel4));
    // Scroll areas report the position in their viewport's coordinates.
    ListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListBox1, &QWidget::customContextMenuRequested, this,
            popup(PopupMenu2, ListBox1->viewport()));
    Memo1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Memo1, &QWidget::customContextMenuRequested, this,
            popup(PopupMenu3, Memo1->viewport()));

    // The menu key and Shift+F10 open the focused control's menu. Where the
    // platform turns the menu key into a context-menu event itself (X11),
    // the menu it opens takes the keyboard first and this shortcut stays quiet.
    for (const QKeySequence& key :
         {QKeySequence(Qt::SHIFT | Qt::Key_F10), QKeySequence(Qt::Key_Menu)}) {
        auto* shortcut = new QShortcut(key, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, &TForm1::openContextMenuFromKeyboard);
    }
}

void TForm1::openContextMenuFromKeyboard() {
    // The window delivers a keyboard context-menu event to the focused
    // control at its cursor, and from there up to the first control that
    // has a menu.
    if (QWindow* window = windowHandle()) {
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(), QCursor::pos());
        QCoreApplication::sendEvent(window, &event);
    }
}

void TForm1::moveFocusToMessage() {
    // The message line takes the focus only while its page is shown; a hidden
    // line would swallow what is typed on the settings page.
    if (TN1->currentIndex() == 0) {
        EditMessage->setFocus(Qt::OtherFocusReason);
    }
}

void TForm1::showStartupNotices() {
    // The endpoint's report of a failed bind of the local port comes here.
    if (startupError_) {
        std::rethrow_exception(std::exchange(startupError_, nullptr));
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (!event->isAccepted() || destroyed_) {
        return;
    }
    destroyed_ = true;
    FormDestroy();
}

void TForm1::FormCreate() {
    firstTick_ = true;
    selfName_ = kDefaultSelfName;
    // Reading the settings file (self name, alert settings) comes here.
    EditSelfName->setText(selfName_);
    Label1->setText(ClockText());
    // Loading the directory file into the directory comes here.
    TN1->setCurrentIndex(0);
    Timer1->start();
}

void TForm1::FormDestroy() {
    Timer1->stop();
    // Writing the directory file and the settings file comes here, then the
    // exit notices to every directory address.
}

void TForm1::Timer1Timer() {
    Timer1->stop();
    Label1->setText(ClockText());
    if (firstTick_) {
        // The tick is finished whatever registration does; its error is
        // reported afterwards.
        std::exception_ptr failure;
        try {
            SpeedButton2Click();
        } catch (...) {
            failure = std::current_exception();
        }
        moveFocusToMessage();
        Timer1->setInterval(kClockIntervalMs);
        firstTick_ = false;
        Timer1->start();
        if (failure) {
            std::rethrow_exception(failure);
        }
        return;
    }
    Timer1->start();
}

void TForm1::SpeedButton1Click() {
    if (aboutBox_) {
        aboutBox_->exec();
    }
}

void TForm1::SpeedButton2Click() {
    ++speedButton2Clicks_;
    // Registration comes here: announce the self name to every directory address.
}

void TForm1::EditSelfNameChange() {
    selfName_ = NormalizeSelfName(EditSelfName->text());
}

void TForm1::ListBox2Click() {
    moveFocusToMessage();
}

void TForm1::RadioGroup1Click() {
    moveFocusToMessage();
}

void TForm1::N4Click() {
    ++n4Clicks_;
    // Sending the message line to every roster member or the selected one comes here.
}

void TForm1::N3Click() {
    // Editing the selected directory line comes here.
}

void TForm1::N1Click() {
    // Adding a directory line comes here.
}

void TForm1::N7Click() {
    // Inserting a directory line before the selected one comes here.
}

void TForm1::N2Click() {
    // Deleting the selected directory line comes here.
}

void TForm1::N17Click() {
    // Deleting the whole directory after confirmation comes here.
}

void TForm1::N6Click() {
    // The link check of the selected directory address comes here.
}

void TForm1::N13Click() {
    // Passing the whole directory to the chosen recipients comes here.
}

void TForm1::N14Click() {
    // Passing the selected directory line to the chosen recipients comes here.
}

void TForm1::Clipboard1Click() {
    // Copying the log to the clipboard comes here.
}

void TForm1::N9Click() {
    // Saving the log to a text file comes here.
}

void TForm1::N11Click() {
    // Clearing the log after confirmation comes here.
}

void TForm1::CheckBox1Click() {
    // Enabling the message pop-up filter edit comes here.
}

void TForm1::CheckBox2Click() {
    // Enabling the new-correspondent pop-up filter edit comes here.
}

void TForm1::CheckBox3Click() {
    // Enabling the message beep filter edit comes here.
}

void TForm1::CheckBox4Click() {
    // Enabling the new-correspondent beep filter edit comes here.
}

int TForm1::RadioGroup1ItemIndex() const {
    return RadioGroup1Buttons->checkedId();
}

void TForm1::setRadioGroup1ItemIndex(int index) {
    if (QAbstractButton* button = RadioGroup1Buttons->button(index)) {
        button->setChecked(true);
    }
}
