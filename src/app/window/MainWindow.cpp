#include "app/window/MainWindow.h"

#include "app/commands/ConferenceCommands.h"
#include "app/commands/DirectoryCommands.h"
#include "app/commands/LogCommands.h"
#include "app/commands/NetworkSweep.h"
#include "app/desktop/AttentionAlerts.h"
#include "app/desktop/DesktopNotifications.h"
#include "app/desktop/EventSounds.h"
#include "app/desktop/TrayIcon.h"
#include "app/dialogs/AboutBox.h"
#include "app/dialogs/CorrespondentDialog.h"
#include "app/dialogs/LogSaveDialog.h"
#include "app/views/ConversationLog.h"
#include "app/views/UniformListView.h"
#include "app/window/ClockText.h"
#include "app/window/ReachabilityTips.h"
#include "core/ConferenceTexts.h"
#include "core/Session.h"
#include "net/UdpEndpoint.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

using namespace Qt::StringLiterals;

MainWindow::MainWindow(Session& session, QWidget* parent)
    : QWidget(parent), session_(session), messages_(this) {
    ui_.setupUi(this);
    if (QScreen* screen = this->screen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    Conference& conference = session_.conference();
    ui_.directoryView->setModel(conference.directory().model());
    ui_.directoryView->setSelectionModel(conference.directory().selectionModel());
    ui_.rosterView->setModel(conference.roster().model());
    ui_.rosterView->setSelectionModel(conference.roster().selectionModel());
    new ReachabilityTips(ui_.directoryView, conference.reachability(), this);

    alerts_ = new AttentionAlerts(
        AttentionAlerts::Widgets{
            ui_.messagePopUpBox, ui_.messagePopUpFilter, ui_.correspondentPopUpBox,
            ui_.correspondentPopUpFilter, ui_.messageBeepBox, ui_.messageBeepFilter,
            ui_.correspondentBeepBox, ui_.correspondentBeepFilter, this, ui_.pages},
        this);
    alerts_->setObjectName(u"attentionAlerts"_s);
    conferenceCommands_ = std::make_unique<ConferenceCommands>(
        session_,
        ConferenceCommands::Widgets{ui_.messageEdit, ui_.selfNameEdit, ui_.recipientChoice},
        messages_, [this] { alerts_->beep(); }, [this] { moveFocusToMessage(); });
    logCommands_ = std::make_unique<LogCommands>(
        *ui_.logView,
        [this] {
            if (ui_.saveLogDialog == nullptr) {
                ui_.saveLogDialog = createLogSaveDialog(this);
            }
            return ui_.saveLogDialog;
        },
        this);
    networkSweep_ =
        new NetworkSweep(conference, *ui_.sweepLine, *ui_.findOnNetworkAction, this, this);
    networkSweep_->setObjectName(u"networkSweep"_s);

    connectDesktop();
    connectSession();

    // Start: the files into the widgets, the clock, the conference page, the
    // ticks. The dialogs are built when first used (nothing of them is on the
    // first screen), then kept, hidden, until the window goes.
    ui_.showSettings(session_.start());
    ui_.clockLabel->setText(clockText());
    ui_.pages->setCurrentIndex(0);
    ui_.receiveOffLabel->setVisible(session_.endpoint().bindState() !=
                                    UdpEndpoint::BindState::Bound);
    directoryCommands_ = std::make_unique<DirectoryCommands>(
        conference.directory(),
        [this]() -> CorrespondentDialog& {
            if (correspondentDialog_ == nullptr) {
                correspondentDialog_ = new CorrespondentDialog(this);
            }
            return *correspondentDialog_;
        },
        this);

    connectActions();
    connectContextMenus();
}

MainWindow::~MainWindow() {
    // The views let go of the lists before the session's lists go.
    ui_.directoryView->setModel(nullptr);
    ui_.rosterView->setModel(nullptr);
}

void MainWindow::connectSession() {
    connect(&session_, &Session::clockTicked, this,
            [this] { ui_.clockLabel->setText(clockText()); });
    connect(&session_, &Session::firstTickDone, this, &MainWindow::moveFocusToMessage);
    // Half a second after start the desktop has activated the window, or
    // will not.
    connect(&session_, &Session::firstTickDone, alerts_, &AttentionAlerts::takeApplicationState);
    connect(&session_, &Session::failed, this,
            [this](const std::exception_ptr& error) { messages_.reportFailure(error); });
    connect(&session_, &Session::notice, this,
            [this](const QString& text) { messages_.tell(text); });
    connect(&session_, &Session::datagramsLost, this, &MainWindow::showLostDatagrams);
    // A close asked for while a send waited for a name lookup.
    connect(&session_, &Session::closeAllowed, this, &QWidget::close);

    const Conference& conference = session_.conference();
    connect(&conference, &Conference::chatLineReceived, this, [this](const QString& line) {
        ui_.logView->appendLine(line);
        if (tray_ != nullptr && QGuiApplication::applicationState() != Qt::ApplicationActive) {
            tray_->addUnread();
        }
        alerts_->alertMessage(line);
    });
    connect(&conference, &Conference::correspondentAdded, alerts_,
            &AttentionAlerts::alertNewCorrespondent);
    // The directory has taken the answer already.
    connect(&conference, &Conference::linkCheckAnswered, this,
            [this](const QString& fromIP, const QString& name) {
                messages_.showLinkCheckResult(ConferenceTexts::linkCheckResult(fromIP, name));
            });
    connect(&conference, &Conference::sendRefused, this,
            [this](const QString& notice) { messages_.tell(notice); });
    connect(&conference.receipts(), &Receipts::notDelivered, this, &MainWindow::showNotDelivered);
    connect(&conference, &Conference::entriesRefused, this, &MainWindow::noteRefusedEntries);
    connect(&conference, &Conference::rosterLinesRefused, this,
            &MainWindow::noteRefusedRosterLines);
}

void MainWindow::connectDesktop() {
    // The pop-up rules that could not bring the window forward tell the
    // desktop's notifications; the beep rules play the sound theme's events.
    // The bus is first used by the first notification, the sound library
    // loaded by the first sound.
    notifications_ = new DesktopNotifications(this);
    notifications_->setObjectName(u"desktopNotifications"_s);
    alerts_->setNotifyHook([this](const QString& notice) { notifications_->show(notice); });
    connect(notifications_, &DesktopNotifications::unavailable, alerts_,
            &AttentionAlerts::requestAttention);
    connect(notifications_, &DesktopNotifications::activated, this, &MainWindow::bringForward);
    sounds_ = new EventSounds(this);
    sounds_->setObjectName(u"eventSounds"_s);
    alerts_->setSoundHook([this](const QString& soundEvent) { sounds_->play(soundEvent); });
    connect(sounds_, &EventSounds::silent, alerts_, &AttentionAlerts::beep);

    // The tray icon comes with the first tick, once the window is on screen:
    // the tray's bus calls are no part of the start.
    connect(&session_, &Session::firstTickDone, this, &MainWindow::showTrayIcon);

    // The user has come: the notification and the unread mark go.
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state == Qt::ApplicationActive) {
                    notifications_->withdraw();
                    if (tray_ != nullptr) {
                        tray_->clearUnread();
                    }
                }
            });
}

void MainWindow::showTrayIcon() {
    if (tray_ != nullptr) {
        return;
    }
    tray_ = new TrayIcon(this);
    tray_->setObjectName(u"trayIcon"_s);
    connect(tray_, &TrayIcon::openRequested, this, &MainWindow::bringForward);
    connect(tray_, &TrayIcon::quitRequested, this, &MainWindow::quitRequested);
}

void MainWindow::bringForward() {
    AttentionAlerts::bringForward(*this);
}

void MainWindow::connectActions() {
    // Every command runs inside its own edge, which reports what it raised.
    const auto edge = [this](std::function<void()> command) {
        return [this, command = std::move(command)] { messages_.runCommand(command); };
    };
    ConferenceCommands* chat = conferenceCommands_.get();
    connect(ui_.aboutButton, &QToolButton::clicked, this, edge([this] {
                if (aboutBox_ == nullptr) {
                    aboutBox_ = new AboutBox(this);
                }
                aboutBox_->exec();
            }));
    connect(ui_.registerButton, &QToolButton::clicked, this,
            edge([chat] { chat->registerWithDirectory(); }));
    connect(ui_.selfNameEdit, &QLineEdit::textChanged, this,
            edge([chat] { chat->updateSelfName(); }));
    // A click on a roster line or on a recipient choice leaves the keyboard in
    // the message line.
    connect(ui_.rosterView, &QAbstractItemView::clicked, this, &MainWindow::moveFocusToMessage);
    connect(ui_.recipientChoice, &QButtonGroup::idClicked, this, &MainWindow::moveFocusToMessage);
    connect(ui_.sendButton, &QPushButton::clicked, this, edge([chat] { chat->sendMessage(); }));
    connect(ui_.sendAction, &QAction::triggered, this, edge([chat] { chat->sendMessage(); }));
    connect(ui_.checkLinkAction, &QAction::triggered, this, edge([chat] { chat->checkLink(); }));
    connect(ui_.shareDirectoryAction, &QAction::triggered, this,
            edge([chat] { chat->shareDirectory(); }));
    connect(ui_.shareEntryAction, &QAction::triggered, this,
            edge([chat] { chat->shareSelectedEntry(); }));
    NetworkSweep* sweep = networkSweep_;
    connect(ui_.findOnNetworkAction, &QAction::triggered, this, edge([sweep] { sweep->run(); }));

    DirectoryCommands* directory = directoryCommands_.get();
    connect(ui_.editEntryAction, &QAction::triggered, this,
            edge([directory] { directory->editEntry(); }));
    connect(ui_.addEntryAction, &QAction::triggered, this,
            edge([directory] { directory->addEntry(); }));
    connect(ui_.insertEntryAction, &QAction::triggered, this,
            edge([directory] { directory->insertEntry(); }));
    connect(ui_.deleteEntryAction, &QAction::triggered, this,
            edge([directory] { directory->deleteEntry(); }));
    connect(ui_.deleteAllAction, &QAction::triggered, this,
            edge([directory] { directory->deleteAllEntries(); }));

    LogCommands* log = logCommands_.get();
    connect(ui_.copyToClipboardAction, &QAction::triggered, this,
            edge([log] { log->copyLogToClipboard(); }));
    connect(ui_.saveLogAction, &QAction::triggered, this, edge([log] { log->saveLog(); }));
    connect(ui_.clearLogAction, &QAction::triggered, this, edge([log] { log->clearLog(); }));

    // Enter sends from every control of the conference page. On the settings
    // page the message line is out of sight, and Enter typed into a filter
    // there must not send it.
    connect(ui_.pages, &QTabWidget::currentChanged, this,
            [this](int page) { ui_.sendAction->setEnabled(page == 0); });
}

void MainWindow::connectContextMenus() {
    const auto popup = [](QMenu* menu, QWidget* at) {
        return [menu, at](const QPoint& pos) { menu->popup(at->mapToGlobal(pos)); };
    };
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, popup(ui_.windowMenu, this));
    ui_.sendPanel->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui_.sendPanel, &QWidget::customContextMenuRequested, this,
            popup(ui_.windowMenu, ui_.sendPanel));
    // Scroll areas report the position in their viewport's coordinates.
    ui_.directoryView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui_.directoryView, &QWidget::customContextMenuRequested, this,
            popup(ui_.directoryMenu, ui_.directoryView->viewport()));
    ui_.logView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui_.logView, &QWidget::customContextMenuRequested, this,
            popup(ui_.logMenu, ui_.logView->viewport()));

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
    if (ui_.pages->currentIndex() == 0) {
        ui_.messageEdit->setFocus(Qt::OtherFocusReason);
    }
}

void MainWindow::showStartupNotices() {
    if (std::exchange(startupNoticesShown_, true)) {
        return;
    }
    for (const QString& error : session_.loadErrors()) {
        messages_.reportError(error);
    }
    const QString bindFailure = session_.bindFailureNotice(QCoreApplication::applicationFilePath());
    if (!bindFailure.isEmpty()) {
        messages_.tell(bindFailure);
    }
}

void MainWindow::showLostDatagrams(quint64 lost) {
    ui_.lostDatagramsLabel->setText(ConferenceTexts::lostDatagrams(lost));
    ui_.lostDatagramsLabel->setVisible(lost > 0);
}

void MainWindow::showNotDelivered(const QStringList& names) {
    const QString text = ConferenceTexts::notDelivered(names);
    showInStatus(ui_.undeliveredLabel, text,
                 text + u'\n' +
                     ConferenceTexts::notDeliveredInAll(
                         session_.conference().receipts().notDeliveredInAll()));
}

void MainWindow::noteRefusedEntries(const QString& fromIP, int refusedInAll) {
    refusedFrom_ = fromIP;
    refusedInAll_ = refusedInAll;
    if (refusedEntriesTimer_ == nullptr) {
        refusedEntriesTimer_ = new QTimer(this);
        refusedEntriesTimer_->setSingleShot(true);
        refusedEntriesTimer_->setInterval(250);
        connect(refusedEntriesTimer_, &QTimer::timeout, this, [this] {
            const QString text = ConferenceTexts::entriesRefused(refusedFrom_, refusedInAll_);
            showInStatus(ui_.refusedEntriesLabel, text, text);
        });
    }
    if (!refusedEntriesTimer_->isActive()) {
        refusedEntriesTimer_->start();
    }
}

void MainWindow::noteRefusedRosterLines(int refusedInAll) {
    rosterRefusedInAll_ = refusedInAll;
    if (rosterFullTimer_ == nullptr) {
        rosterFullTimer_ = new QTimer(this);
        rosterFullTimer_->setSingleShot(true);
        rosterFullTimer_->setInterval(250);
        connect(rosterFullTimer_, &QTimer::timeout, this, [this] {
            const QString text = ConferenceTexts::rosterLinesRefused(rosterRefusedInAll_);
            showInStatus(ui_.rosterFullLabel, text, text);
        });
    }
    if (!rosterFullTimer_->isActive()) {
        rosterFullTimer_->start();
    }
}

void MainWindow::showInStatus(QLabel* label, const QString& text, const QString& toolTip) {
    // The status line is one row; a long list of names must not push the
    // clock and the About button out of the window.
    constexpr int kMaxWidth = 320;
    label->setText(label->fontMetrics().elidedText(text, Qt::ElideRight, kMaxWidth));
    label->setToolTip(toolTip);
    label->setAccessibleName(text);
    label->setVisible(true);
}

void MainWindow::endUnattended() {
    messages_.endUnattended();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The window is never destroyed under a send waiting for its lookup.
    if (!session_.mayClose()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
    if (event->isAccepted()) {
        end();
    }
}

void MainWindow::end() {
    networkSweep_->cancel();
    const Session::EndReport report = session_.end(ui_.settings());
    for (const QString& notice : report.notSaved) {
        messages_.tell(notice);
    }
    for (const QString& error : report.errors) {
        messages_.reportError(error);
    }
}
