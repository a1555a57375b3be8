#include "app/window/MainWindow.h"

#include "app/commands/DirectoryCommands.h"
#include "app/commands/LogCommands.h"
#include "app/commands/NetworkSweep.h"
#include "app/desktop/AttentionAlerts.h"
#include "app/dialogs/AboutBox.h"
#include "app/dialogs/CorrespondentDialog.h"
#include "app/dialogs/LogSaveDialog.h"
#include "app/dialogs/PlainMessage.h"
#include "app/program/Application.h"
#include "app/program/ErrorReport.h"
#include "app/views/ConversationLog.h"
#include "app/views/UniformListView.h"
#include "app/window/ClockText.h"
#include "core/Entry.h"
#include "core/SelfName.h"
#include "core/Settings.h"
#include "net/BindFailureMessage.h"
#include "net/UdpSocketEndpoint.h"
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

MainWindow::MainWindow(QString programDirectory, std::unique_ptr<UdpEndpoint> endpoint,
                       QWidget* parent)
    : QWidget(parent),
      endpoint_(std::move(endpoint)),
      programDirectory_(std::move(programDirectory)),
      conference_(*endpoint_, [this] { return recipientIndex(); }),
      dataFiles_(programDirectory_) {
    setupUi(this);
    if (QScreen* screen = this->screen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    directoryView->setModel(directory().model());
    directoryView->setSelectionModel(directory().selectionModel());
    rosterView->setModel(roster().model());
    rosterView->setSelectionModel(roster().selectionModel());
    alerts_ = std::make_unique<AttentionAlerts>(
        AttentionAlerts::Widgets{messagePopUpBox, messagePopUpFilter, correspondentPopUpBox,
                                 correspondentPopUpFilter, messageBeepBox, messageBeepFilter,
                                 correspondentBeepBox, correspondentBeepFilter, this, pages});
    logCommands_ = std::make_unique<LogCommands>(
        *logView,
        [this] {
            if (saveLogDialog == nullptr) {
                saveLogDialog = createLogSaveDialog(this);
            }
            return saveLogDialog;
        },
        this);
    networkSweep_ =
        std::make_unique<NetworkSweep>(conference_, *sweepLine, *findOnNetworkAction, this);
    connectEndpoint();
    connectCommands();
    connectConference();
    connectContextMenus();
    try {
        startUp();
    } catch (...) {
        startupError_ = std::current_exception();
    }
}

MainWindow::~MainWindow() {
    // The views let go of the lists before the lists go.
    directoryView->setModel(nullptr);
    rosterView->setModel(nullptr);
    endpoint_->receiveHandler = nullptr;
    endpoint_->lossHandler = nullptr;
    endpoint_->invalidHostHandler = nullptr;
    endpoint_->invalidBufferHandler = nullptr;
}

void MainWindow::attachDialogs(CorrespondentDialog* dialog, AboutBox* aboutBox) {
    correspondentDialog_ = dialog;
    aboutBox_ = aboutBox;
    directoryCommands_ =
        dialog ? std::make_unique<DirectoryCommands>(directory(), *dialog, this) : nullptr;
}

void MainWindow::connectEndpoint() {
    // The window repairs nothing: an unresolved host and an empty send stay
    // failures after the box.
    endpoint_->receiveHandler = [this](QObject* /*sender*/, int numberBytes, const QString& fromIP,
                                       int /*port*/) { receiveDatagram(numberBytes, fromIP); };
    endpoint_->lossHandler = [this](quint64 lost) { showLostDatagrams(lost); };
    endpoint_->invalidHostHandler = [this](bool& /*retry*/) { reportInvalidHost(); };
    endpoint_->invalidBufferHandler = [this](bool& /*repaired*/, std::span<char> /*buffer*/,
                                             int& /*count*/) { reportInvalidBuffer(); };
    // A close asked for while a send waits for a name lookup takes effect
    // once the wait is over, so the window is never destroyed under the
    // waiting handler.
    if (auto* udp = dynamic_cast<UdpSocketEndpoint*>(endpoint_.get())) {
        connect(udp, &UdpSocketEndpoint::lookupWaitEnded, this, [this] {
            if (closeDeferred_ && !waitingForLookup()) {
                closeDeferred_ = false;
                close();
            }
        });
    }
    receiveOffLabel->setVisible(endpoint_->bindState() != UdpEndpoint::BindState::Bound);
}

bool MainWindow::waitingForLookup() const {
    const auto* udp = dynamic_cast<const UdpSocketEndpoint*>(endpoint_.get());
    return udp != nullptr && udp->isWaitingForLookup();
}

void MainWindow::connectCommands() {
    connect(tickTimer, &QTimer::timeout, this, &MainWindow::tick);
    connect(aboutButton, &QToolButton::clicked, this, &MainWindow::showAbout);
    connect(registerButton, &QToolButton::clicked, this, &MainWindow::registerWithDirectory);
    connect(selfNameEdit, &QLineEdit::textChanged, this, &MainWindow::updateSelfName);
    // A click on a roster line or on a recipient choice leaves the keyboard in
    // the message line.
    connect(rosterView, &QAbstractItemView::clicked, this, &MainWindow::moveFocusToMessage);
    connect(recipientChoice, &QButtonGroup::idClicked, this, &MainWindow::moveFocusToMessage);
    connect(sendButton, &QPushButton::clicked, this, &MainWindow::sendMessage);
    connect(sendAction, &QAction::triggered, this, &MainWindow::sendMessage);
    connect(editEntryAction, &QAction::triggered, this, &MainWindow::editEntry);
    connect(addEntryAction, &QAction::triggered, this, &MainWindow::addEntry);
    connect(insertEntryAction, &QAction::triggered, this, &MainWindow::insertEntry);
    connect(deleteEntryAction, &QAction::triggered, this, &MainWindow::deleteEntry);
    connect(deleteAllAction, &QAction::triggered, this, &MainWindow::deleteAllEntries);
    connect(checkLinkAction, &QAction::triggered, this, &MainWindow::checkLink);
    connect(findOnNetworkAction, &QAction::triggered, this, &MainWindow::findOnNetwork);
    connect(shareDirectoryAction, &QAction::triggered, this, &MainWindow::shareDirectory);
    connect(shareEntryAction, &QAction::triggered, this, &MainWindow::shareSelectedEntry);
    connect(copyToClipboardAction, &QAction::triggered, this, &MainWindow::copyLogToClipboard);
    connect(saveLogAction, &QAction::triggered, this, &MainWindow::saveLog);
    connect(clearLogAction, &QAction::triggered, this, &MainWindow::clearLog);
    // The alert check boxes are AttentionAlerts': each greys or clears its
    // filter edit on every change, by a click or by the program.

    // Enter sends from every control of the conference page. On the settings page the
    // message line is out of sight, and Enter typed into a filter there must
    // not send it.
    connect(pages, &QTabWidget::currentChanged, this,
            [this](int page) { sendAction->setEnabled(page == 0); });
}

void MainWindow::connectConference() {
    connect(&conference_, &Conference::chatLineReceived, this, [this](const QString& line) {
        logView->appendLine(line);
        alerts_->alertMessage(line);
    });
    connect(&conference_, &Conference::correspondentAdded, alerts_.get(),
            &AttentionAlerts::alertNewCorrespondent);
    connect(&conference_, &Conference::linkCheckAnswered, this, &MainWindow::showLinkCheckResult);
}

void MainWindow::connectContextMenus() {
    const auto popup = [](QMenu* menu, QWidget* at) {
        return [menu, at](const QPoint& pos) { menu->popup(at->mapToGlobal(pos)); };
    };
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, popup(windowMenu, this));
    sendPanel->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(sendPanel, &QWidget::customContextMenuRequested, this, popup(windowMenu, sendPanel));
    // Scroll areas report the position in their viewport's coordinates.
    directoryView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(directoryView, &QWidget::customContextMenuRequested, this,
            popup(directoryMenu, directoryView->viewport()));
    logView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(logView, &QWidget::customContextMenuRequested, this,
            popup(logMenu, logView->viewport()));

    // The menu key and Shift+F10 open the focused control's menu. Where the
    // platform turns the menu key into a context-menu event itself (X11),
    // the menu it opens takes the keyboard first and this shortcut stays quiet.
    for (const QKeySequence& key :
         {QKeySequence(Qt::SHIFT | Qt::Key_F10), QKeySequence(Qt::Key_Menu)}) {
        auto* shortcut = new QShortcut(key, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, &MainWindow::openContextMenuFromKeyboard);
    }
}

void MainWindow::openContextMenuFromKeyboard() {
    // The window delivers a keyboard context-menu event to the focused
    // control at its cursor, and from there up to the first control that
    // has a menu.
    if (QWindow* window = windowHandle()) {
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(), QCursor::pos());
        QCoreApplication::sendEvent(window, &event);
    }
}

void MainWindow::moveFocusToMessage() {
    // The message line takes the focus only while its page is shown; a hidden
    // line would swallow what is typed on the settings page.
    if (pages->currentIndex() == 0) {
        messageEdit->setFocus(Qt::OtherFocusReason);
    }
}

void MainWindow::showStartupNotices() {
    if (startupError_) {
        std::rethrow_exception(std::exchange(startupError_, nullptr));
    }
    if (std::exchange(startupNoticesShown_, true)) {
        return;
    }
    for (const QString& error : std::exchange(loadErrors_, {})) {
        Application::reportErrorMessage(error);
    }
    const QString bindFailure =
        bindFailureMessage(endpoint_->bindState(), endpoint_->bindFailureReason(),
                           QCoreApplication::applicationFilePath());
    if (!bindFailure.isEmpty()) {
        tell(bindFailure);
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
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
    shutDown();
}

void MainWindow::startUp() {
    firstTick_ = true;
    conference_.setSelfName(kDefaultSelfName);
    const DataFiles::Loaded loaded = dataFiles_.load();
    loadErrors_ = loaded.errors;
    applySettings(loaded.settings);
    selfNameEdit->setText(loaded.settings.myName);
    conference_.setSelfName(loaded.settings.myName);
    clockLabel->setText(clockText());
    directory().setLines(loaded.directoryLines);
    pages->setCurrentIndex(0);
    tickTimer->start();
}

void MainWindow::shutDown() {
    tickTimer->stop();
    networkSweep_->cancel();
    // The files are written first; what went wrong is shown only after the
    // exit notices have gone out, so a box nobody answers holds nothing back.
    const DataFiles::SaveReport saved = dataFiles_.save(directory().lines(), settingsFromWidgets());
    conference_.setSelfName(normalizeSelfName(selfNameEdit->text()));
    QStringList errors = saved.errors;
    try {
        if (conference_.sendExitNotices() == PresenceOutcome::NameTooLong) {
            errors.append(ConferenceTexts::nameTooLong());
        }
    } catch (const Exception& error) {
        errors.append(error.message());
    }
    for (const QString& notice : saved.notSaved) {
        tell(notice);
    }
    for (const QString& error : errors) {
        Application::reportErrorMessage(error);
    }
}

void MainWindow::applySettings(const Settings& settings) {
    // A check box set to another state greys or clears its filter edit, so
    // each edit takes the look of its loaded rule.
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

Settings MainWindow::settingsFromWidgets() const {
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

void MainWindow::tick() {
    tickTimer->stop();
    clockLabel->setText(clockText());
    if (firstTick_) {
        // The tick is finished whatever registration does, so the clock never
        // stops; its error is reported afterwards.
        std::exception_ptr failure;
        try {
            registerWithDirectory();
        } catch (...) {
            failure = std::current_exception();
        }
        moveFocusToMessage();
        tickTimer->setInterval(kClockIntervalMs);
        firstTick_ = false;
        tickTimer->start();
        if (failure) {
            std::rethrow_exception(failure);
        }
        return;
    }
    tickTimer->start();
}

void MainWindow::showAbout() {
    if (aboutBox_) {
        aboutBox_->exec();
    }
}

void MainWindow::registerWithDirectory() {
    ++registrations_;
    if (conference_.registerAll() == PresenceOutcome::NameTooLong) {
        tell(ConferenceTexts::nameTooLong());
    }
}

void MainWindow::updateSelfName() {
    const QString typed = selfNameEdit->text();
    const QString cleaned = cleanTypedSelfName(typed);
    if (cleaned != typed) {
        // Setting the text comes back here with the clean name. The user is
        // told once, after the keystroke has been handled.
        selfNameEdit->setText(cleaned);
        if (!std::exchange(selfNameNoticeShown_, true)) {
            QTimer::singleShot(0, this,
                               [this] { tell(ConferenceTexts::selfNameCleaned(selfName())); });
        }
        return;
    }
    conference_.setSelfName(normalizeSelfName(typed));
}

void MainWindow::sendMessage() {
    ++messageSends_;
    switch (conference_.sendChat(messageEdit->text())) {
        case ChatOutcome::EmptyMessage:
            alerts_->beep();
            [[fallthrough]];
        case ChatOutcome::Sent:
        case ChatOutcome::NothingToSend:
            messageEdit->clear();
            moveFocusToMessage();
            break;
        case ChatOutcome::NameTooLong:
            tell(ConferenceTexts::nameTooLong());
            break;
        case ChatOutcome::TooLong:
            tell(ConferenceTexts::chatTooLong());
            break;
    }
}

void MainWindow::editEntry() {
    if (directoryCommands_) {
        directoryCommands_->editEntry();
    }
}

void MainWindow::addEntry() {
    if (directoryCommands_) {
        directoryCommands_->addEntry();
    }
}

void MainWindow::insertEntry() {
    if (directoryCommands_) {
        directoryCommands_->insertEntry();
    }
}

void MainWindow::deleteEntry() {
    if (directoryCommands_) {
        directoryCommands_->deleteEntry();
    }
}

void MainWindow::deleteAllEntries() {
    if (directoryCommands_) {
        directoryCommands_->deleteAllEntries();
    }
}

void MainWindow::checkLink() {
    if (conference_.checkLink() == LinkCheckOutcome::IncorrectCorrespondent) {
        tell(ConferenceTexts::incorrectCorrespondent());
    }
}

void MainWindow::findOnNetwork() {
    networkSweep_->run();
}

void MainWindow::shareDirectory() {
    showSharingOutcome(conference_.shareDirectory());
}

void MainWindow::shareSelectedEntry() {
    showSharingOutcome(conference_.shareSelectedEntry());
}

void MainWindow::showSharingOutcome(const SharingOutcome& outcome) {
    if (outcome.outcome == PresenceOutcome::NameTooLong) {
        tell(ConferenceTexts::nameTooLong());
    } else if (outcome.entriesNotSent > 0) {
        tell(ConferenceTexts::entriesNotSent(outcome.entriesNotSent));
    }
}

void MainWindow::showLinkCheckResult(const QString& fromIP, const QString& name) {
    // The directory has taken the answer already. One result box at a time:
    // answers that arrive while it is open show in it instead of stacking
    // boxes inside boxes without bound.
    const QString text = ConferenceTexts::linkCheckResult(fromIP, name);
    if (unattended_) {
        tell(text);
        return;
    }
    if (linkCheckBox_) {
        linkCheckBox_->setText(text);
        return;
    }
    const std::unique_ptr<QMessageBox> box = makePlainMessage(text, this);
    linkCheckBox_ = box.get();
    box->exec();
}

void MainWindow::copyLogToClipboard() {
    logCommands_->copyLogToClipboard();
}

void MainWindow::saveLog() {
    logCommands_->saveLog();
}

void MainWindow::clearLog() {
    logCommands_->clearLog();
}

void MainWindow::receiveDatagram(int numberBytes, const QString& fromIP) {
    conference_.dispatch(numberBytes, fromIP);
}

void MainWindow::showLostDatagrams(quint64 lost) {
    lostDatagramsLabel->setText(ConferenceTexts::lostDatagrams(lost));
    lostDatagramsLabel->setVisible(lost > 0);
}

void MainWindow::reportInvalidHost() {
    tell(ConferenceTexts::invalidHost());
}

void MainWindow::reportInvalidBuffer() {
    tell(ConferenceTexts::bufferInvalid());
}

void MainWindow::endUnattended() {
    unattended_ = true;
}

void MainWindow::tell(const QString& text) {
    if (unattended_) {
        writeErrorLine(text);
    } else {
        showPlainMessage(text, this);
    }
}

int MainWindow::recipientIndex() const {
    return recipientChoice->checkedId();
}

void MainWindow::setRecipientIndex(int index) {
    if (QAbstractButton* button = recipientChoice->button(index)) {
        button->setChecked(true);
    }
}
