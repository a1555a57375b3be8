#pragma once

#include "app/dialogs/UserMessages.h"
#include "app/window/MainWindowUi.h"

#include <QWidget>

#include <memory>

class AboutBox;
class AttentionAlerts;
class ConferenceCommands;
class CorrespondentDialog;
class DesktopNotifications;
class DirectoryCommands;
class EventSounds;
class LogCommands;
class NetworkSweep;
class QLabel;
class QTimer;
class Session;
class TrayIcon;

// The main window: the conference page, the settings page and the status
// line, on a session that does the work. It starts the session and shows
// what it reads, hands each action to the command object that does it, and
// shows what the session and its conference report. It builds its dialogs
// itself (the correspondent dialog, the About box) when they are first used.
//
// Its helpers are children with an objectName, so a test can reach them:
// "attentionAlerts" (AttentionAlerts), "networkSweep" (NetworkSweep), and
// what meets the desktop: "desktopNotifications" (DesktopNotifications),
// "eventSounds" (EventSounds) and "trayIcon" (TrayIcon).
class MainWindow : public QWidget {
    Q_OBJECT
  public:
    // Builds the window and starts the session: its data files are read
    // into the widgets, the conference page is shown and the ticks run.
    explicit MainWindow(Session& session, QWidget* parent = nullptr);
    ~MainWindow() override;

    // From now on nobody answers boxes (an end by signal): what the window
    // would show in a box goes to standard error instead, one line each.
    void endUnattended();

    // Shows, once, what start-up found and the person must know about:
    // errors met while loading the data files, and a port that could not be
    // bound. Called from the event loop once the window is visible.
    void showStartupNotices();

  signals:
    // The tray's «Выход»: the program is to end the normal way, as when the
    // window is closed.
    void quitRequested();

  protected:
    // A close waits while a send waits for a name lookup; the window closes
    // once the wait is over. Closing ends the session once: the files are
    // saved, the exit notices sent, and what went wrong is shown after them.
    void closeEvent(QCloseEvent* event) override;

  private:
    void connectSession();
    void connectActions();
    void connectContextMenus();
    void connectDesktop();
    void showTrayIcon();
    void bringForward();
    void openContextMenuFromKeyboard();
    void moveFocusToMessage();
    void showLostDatagrams(quint64 lost);
    void showNotDelivered(const QStringList& names);
    // A flood of refused entries updates the status line a few times a
    // second, not once per datagram.
    void noteRefusedEntries(const QString& fromIP, int refusedInAll);
    void noteRefusedRosterLines(int refusedInAll);
    // A status label's text, cut to fit with its whole text in the tooltip.
    static void showInStatus(QLabel* label, const QString& text, const QString& toolTip);
    void end();

    Session& session_;
    MainWindowUi ui_;
    UserMessages messages_;
    AttentionAlerts* alerts_ = nullptr;
    NetworkSweep* networkSweep_ = nullptr;
    DesktopNotifications* notifications_ = nullptr;
    EventSounds* sounds_ = nullptr;
    TrayIcon* tray_ = nullptr;
    std::unique_ptr<ConferenceCommands> conferenceCommands_;
    std::unique_ptr<DirectoryCommands> directoryCommands_;
    std::unique_ptr<LogCommands> logCommands_;
    CorrespondentDialog* correspondentDialog_ = nullptr;
    AboutBox* aboutBox_ = nullptr;
    bool startupNoticesShown_ = false;
    QTimer* refusedEntriesTimer_ = nullptr;
    QString refusedFrom_;
    int refusedInAll_ = 0;
    QTimer* rosterFullTimer_ = nullptr;
    int rosterRefusedInAll_ = 0;
};
