#include "app/TForm1.h"

#include "app/AttentionAlerts.h"
#include "app/ClockText.h"
#include "app/ConversationLog.h"
#include "app/DirectoryCommands.h"
#include "app/ErrorReport.h"
#include "app/LogCommands.h"
#include "app/PlainMessage.h"
#include "app/TAboutBox.h"
#include "app/TDlgCorr1.h"
#include "core/Entry.h"
#include "core/Settings.h"
#include "net/BindFailureMessage.h"
#include "net/TNMUDP.h"
#include "text/Exception.h"

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
#include <QMessageBox>
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
      conference_(*NMUDP1, [this] { return RadioGroup1ItemIndex(); }),
      dataFiles_(programDirectory_) {
    setupUi(this);
    if (QScreen* screen = this->screen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    ListBox1->setModel(directory().model());
    ListBox1->setSelectionModel(directory().selectionModel());
    ListBox2->setModel(roster().model());
    ListBox2->setSelectionModel(roster().selectionModel());
    alerts_ = std::make_unique<AttentionAlerts>(AttentionAlerts::Widgets{
        CheckBox1, CheckBox2, CheckBox3, CheckBox4, Edit1, Edit2, Edit3, Edit4, this, TN1});
    logCommands_ = std::make_unique<LogCommands>(*Memo1, *SD1, this);
    bindEndpointEvents();
    connectHandlers();
    connectConference();
    connectContextMenus();
    try {
        FormCreate();
    } catch (...) {
        startupError_ = std::current_exception();
    }
}

TForm1::~TForm1() {
    // The views let go of the lists before the lists go.
    ListBox1->setModel(nullptr);
    ListBox2->setModel(nullptr);
    NMUDP1->OnDataReceived = nullptr;
    NMUDP1->OnInvalidHost = nullptr;
    NMUDP1->OnBufferInvalid = nullptr;
}

void TForm1::attachDialogs(TDlgCorr1* dlgCorr, TAboutBox* aboutBox) {
    dlgCorr1_ = dlgCorr;
    aboutBox_ = aboutBox;
    directoryCommands_ =
        dlgCorr ? std::make_unique<DirectoryCommands>(directory(), *dlgCorr, this) : nullptr;
}

void TForm1::bindEndpointEvents() {
    NMUDP1->OnDataReceived = [this](QObject* sender, int numberBytes, const QString& fromIP,
                                    int port) {
        NMUDP1DataReceived(sender, numberBytes, fromIP, port);
    };
    NMUDP1->OnInvalidHost = [this](bool& handled) { NMUDP1InvalidHost(handled); };
    NMUDP1->OnBufferInvalid = [this](bool& handled, std::span<char> buff, int& length) {
        NMUDP1BufferInvalid(handled, buff, length);
    };
    // A close asked for while a send waits for a name lookup takes effect
    // once the wait is over, so the window is never destroyed under the
    // waiting handler.
    if (auto* udp = dynamic_cast<TNMUDP*>(NMUDP1.get())) {
        connect(udp, &TNMUDP::lookupWaitEnded, this, [this] {
            if (closeDeferred_ && !waitingForLookup()) {
                closeDeferred_ = false;
                close();
            }
        });
    }
    LabelReceiveOff->setVisible(NMUDP1->bindState() != UdpEndpoint::BindState::Bound);
}

bool TForm1::waitingForLookup() const {
    const auto* udp = dynamic_cast<const TNMUDP*>(NMUDP1.get());
    return udp != nullptr && udp->isWaitingForLookup();
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
    // CheckBox1Click .. CheckBox4Click are AttentionAlerts', which runs them on
    // every change of a box, by a click or by the program.

    // Enter sends from every control of page 0. On the settings page the
    // message line is out of sight, and Enter typed into a filter there must
    // not send it.
    connect(TN1, &QTabWidget::currentChanged, this,
            [this](int page) { N4->setEnabled(page == 0); });
}

void TForm1::connectConference() {
    connect(&conference_, &Conference::chatLineReceived, this, [this](const QString& line) {
        Memo1->appendLine(line);
        alerts_->MessageAlert(line);
    });
    connect(&conference_, &Conference::correspondentAdded, alerts_.get(),
            &AttentionAlerts::NewCorrespondentAlert);
    connect(&conference_, &Conference::linkCheckAnswered, this, &TForm1::showLinkCheckResult);
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
    if (startupError_) {
        std::rethrow_exception(std::exchange(startupError_, nullptr));
    }
    if (std::exchange(startupNoticesShown_, true)) {
        return;
    }
    for (const QString& error : std::exchange(loadErrors_, {})) {
        ReportError(error);
    }
    const QString bindFailure = bindFailureMessage(NMUDP1->bindState(), NMUDP1->bindFailureReason(),
                                                   QCoreApplication::applicationFilePath());
    if (!bindFailure.isEmpty()) {
        ShowPlainMessage(bindFailure, this);
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (waitingForLookup()) {
        closeDeferred_ = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
    if (!event->isAccepted() || destroyed_) {
        return;
    }
    destroyed_ = true;
    FormDestroy();
}

void TForm1::FormCreate() {
    firstTick_ = true;
    conference_.setSelfName(kDefaultSelfName);
    const DataFiles::Loaded loaded = dataFiles_.load();
    loadErrors_ = loaded.errors;
    applySettings(loaded.settings);
    EditSelfName->setText(loaded.settings.myName);
    conference_.setSelfName(loaded.settings.myName);
    Label1->setText(ClockText());
    directory().setLines(loaded.directoryLines);
    TN1->setCurrentIndex(0);
    Timer1->start();
}

void TForm1::FormDestroy() {
    Timer1->stop();
    // The files are written first; what went wrong is shown only after the
    // exit notices have gone out, so a box nobody answers holds nothing back.
    const DataFiles::SaveReport saved = dataFiles_.save(directory().lines(), settingsFromWidgets());
    conference_.setSelfName(NormalizeSelfName(EditSelfName->text()));
    QStringList errors = saved.errors;
    try {
        if (conference_.sendExitNotices() == PresenceOutcome::NameTooLong) {
            errors.append(ConferenceTexts::nameTooLong());
        }
    } catch (const Exception& error) {
        errors.append(error.message());
    }
    for (const QString& notice : saved.notSaved) {
        ShowPlainMessage(notice, this);
    }
    for (const QString& error : errors) {
        ReportError(error);
    }
}

void TForm1::applySettings(const Settings& settings) {
    // A check box set to another state runs its handler, so each filter edit
    // takes the look of its loaded rule.
    CheckBox1->setChecked(settings.yesPopUpMess);
    Edit1->setText(settings.textPopUpMess);
    CheckBox2->setChecked(settings.yesPopUpCorr);
    Edit2->setText(settings.textPopUpCorr);
    CheckBox3->setChecked(settings.yesBeepMess);
    Edit3->setText(settings.textBeepMess);
    CheckBox4->setChecked(settings.yesBeepCorr);
    Edit4->setText(settings.textBeepCorr);
    CheckBox5->setChecked(settings.minimizeOnStart);
}

Settings TForm1::settingsFromWidgets() const {
    Settings settings;
    settings.myName = EditSelfName->text();
    settings.yesPopUpMess = CheckBox1->isChecked();
    settings.textPopUpMess = Edit1->text();
    settings.yesPopUpCorr = CheckBox2->isChecked();
    settings.textPopUpCorr = Edit2->text();
    settings.yesBeepMess = CheckBox3->isChecked();
    settings.textBeepMess = Edit3->text();
    settings.yesBeepCorr = CheckBox4->isChecked();
    settings.textBeepCorr = Edit4->text();
    settings.minimizeOnStart = CheckBox5->isChecked();
    return settings;
}

void TForm1::Timer1Timer() {
    Timer1->stop();
    Label1->setText(ClockText());
    if (firstTick_) {
        // The tick is finished whatever registration does, so the clock never
        // stops; its error is reported afterwards.
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
    if (conference_.registerAll() == PresenceOutcome::NameTooLong) {
        ShowPlainMessage(ConferenceTexts::nameTooLong(), this);
    }
}

void TForm1::EditSelfNameChange() {
    conference_.setSelfName(NormalizeSelfName(EditSelfName->text()));
}

void TForm1::ListBox2Click() {
    moveFocusToMessage();
}

void TForm1::RadioGroup1Click() {
    moveFocusToMessage();
}

void TForm1::N4Click() {
    ++n4Clicks_;
    switch (conference_.sendChat(EditMessage->text())) {
        case ChatOutcome::EmptyMessage:
            alerts_->Beep();
            [[fallthrough]];
        case ChatOutcome::Sent:
        case ChatOutcome::NothingToSend:
            EditMessage->clear();
            moveFocusToMessage();
            break;
        case ChatOutcome::NameTooLong:
            ShowPlainMessage(ConferenceTexts::nameTooLong(), this);
            break;
        case ChatOutcome::TooLong:
            ShowPlainMessage(ConferenceTexts::chatTooLong(), this);
            break;
    }
}

void TForm1::N3Click() {
    if (directoryCommands_) {
        directoryCommands_->N3Click();
    }
}

void TForm1::N1Click() {
    if (directoryCommands_) {
        directoryCommands_->N1Click();
    }
}

void TForm1::N7Click() {
    if (directoryCommands_) {
        directoryCommands_->N7Click();
    }
}

void TForm1::N2Click() {
    if (directoryCommands_) {
        directoryCommands_->N2Click();
    }
}

void TForm1::N17Click() {
    if (directoryCommands_) {
        directoryCommands_->N17Click();
    }
}

void TForm1::N6Click() {
    if (conference_.checkLink() == LinkCheckOutcome::IncorrectCorrespondent) {
        ShowPlainMessage(ConferenceTexts::incorrectCorrespondent(), this);
    }
}

void TForm1::N13Click() {
    showSharingOutcome(conference_.shareDirectory());
}

void TForm1::N14Click() {
    showSharingOutcome(conference_.shareSelectedEntry());
}

void TForm1::showSharingOutcome(const SharingOutcome& outcome) {
    if (outcome.outcome == PresenceOutcome::NameTooLong) {
        ShowPlainMessage(ConferenceTexts::nameTooLong(), this);
    } else if (outcome.entriesNotSent > 0) {
        ShowPlainMessage(ConferenceTexts::entriesNotSent(outcome.entriesNotSent), this);
    }
}

void TForm1::showLinkCheckResult(const QString& fromIP, const QString& name) {
    // The directory has taken the answer already. One result box at a time:
    // answers that arrive while it is open show in it instead of stacking
    // boxes inside boxes without bound.
    const QString text = ConferenceTexts::linkCheckResult(fromIP, name);
    if (linkCheckBox_) {
        linkCheckBox_->setText(text);
        return;
    }
    const std::unique_ptr<QMessageBox> box = MakePlainMessage(text, this);
    linkCheckBox_ = box.get();
    box->exec();
}

void TForm1::Clipboard1Click() {
    logCommands_->Clipboard1Click();
}

void TForm1::N9Click() {
    logCommands_->N9Click();
}

void TForm1::N11Click() {
    logCommands_->N11Click();
}

void TForm1::NMUDP1DataReceived(QObject* /*Sender*/, int NumberBytes, const QString& FromIP,
                                int /*Port*/) {
    conference_.dispatch(NumberBytes, FromIP);
}

void TForm1::NMUDP1InvalidHost(bool& /*handled*/) {
    ShowPlainMessage(ConferenceTexts::invalidHost(), this);
}

void TForm1::NMUDP1BufferInvalid(bool& /*handled*/, std::span<char> /*Buff*/, int& /*length*/) {
    ShowPlainMessage(ConferenceTexts::bufferInvalid(), this);
}

int TForm1::RadioGroup1ItemIndex() const {
    return RadioGroup1Buttons->checkedId();
}

void TForm1::setRadioGroup1ItemIndex(int index) {
    if (QAbstractButton* button = RadioGroup1Buttons->button(index)) {
        button->setChecked(true);
    }
}
