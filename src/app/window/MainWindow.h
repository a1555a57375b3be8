#pragma once

#include "app/window/MainWindowUi.h"
#include "core/Conference.h"
#include "core/DataFiles.h"
#include "net/UdpEndpoint.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <exception>
#include <memory>
#include <span>

class AttentionAlerts;
class DirectoryCommands;
class LogCommands;
class NetworkSweep;
class QMessageBox;
class AboutBox;
class CorrespondentDialog;
struct Settings;

// The main window: the conference page, the settings page and the status
// line. Its widgets are the public fields of MainWindowUi. Its slots stay
// thin: they read the widgets, call the conference core or the window's
// helpers (log, alerts, directory editing) and show what comes back.
class MainWindow : public QWidget, public MainWindowUi {
    Q_OBJECT
  public:
    // programDirectory: the folder of the data files, ending in "/".
    // endpoint: the UDP endpoint, owned by the window from now on; its
    // received datagrams and its error events go to the slots below.
    // Builds the window and runs startUp(); an error startUp() raises is kept
    // and reported by showStartupNotices().
    MainWindow(QString programDirectory, std::unique_ptr<UdpEndpoint> endpoint,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    // The dialogs are created after the window; commands that need them do
    // nothing while they are not attached.
    void attachDialogs(CorrespondentDialog* correspondentDialog, AboutBox* aboutBox);

    // From now on nobody answers boxes (an end by signal): what the window
    // would show in a box goes to standard error instead, one line each.
    void endUnattended();

    // Shows, once, what start-up found and the user must know about: errors
    // met while loading the data files, and a port that could not be bound.
    // Called from the event loop once the window is visible.
    void showStartupNotices();

    // Loads the data files into the widgets, shows the conference page and
    // starts the timer. Run once, by the constructor.
    void startUp();
    // Stops the timer, saves the data files and sends the exit notices, then
    // reports what went wrong. Run once, when the window closes.
    void shutDown();
    // The timer: refreshes the clock; the first tick also registers.
    void tick();

    // Commands.
    void showAbout();
    void registerWithDirectory();
    void updateSelfName();
    void moveFocusToMessage();
    void sendMessage();
    void editEntry();
    void addEntry();
    void insertEntry();
    void deleteEntry();
    void deleteAllEntries();
    void checkLink();
    void findOnNetwork();
    void shareDirectory();
    void shareSelectedEntry();
    void copyLogToClipboard();
    void saveLog();
    void clearLog();

    // The endpoint's events.
    void receiveDatagram(int numberBytes, const QString& fromIP);
    void reportInvalidHost();
    // Shows in the status line how many datagrams were lost on arrival.
    void showLostDatagrams(quint64 lost);
    void reportInvalidBuffer();

    // The recipient choice: 0 "Всем", 1 "Выборочно".
    [[nodiscard]] int recipientIndex() const;
    void setRecipientIndex(int index);

    [[nodiscard]] const QString& selfName() const { return conference_.selfName(); }
    [[nodiscard]] const QString& programDirectory() const { return programDirectory_; }
    [[nodiscard]] bool firstTick() const { return firstTick_; }
    [[nodiscard]] Conference& conference() { return conference_; }
    [[nodiscard]] EntryList& directory() { return conference_.directory(); }
    [[nodiscard]] EntryList& roster() { return conference_.roster(); }
    [[nodiscard]] AttentionAlerts& alerts() { return *alerts_; }
    [[nodiscard]] CorrespondentDialog* correspondentDialog() const { return correspondentDialog_; }
    [[nodiscard]] AboutBox* aboutBox() const { return aboutBox_; }
    [[nodiscard]] NetworkSweep& networkSweep() { return *networkSweep_; }

    // How often sendMessage() and registerWithDirectory() have run; for tests.
    [[nodiscard]] int sendMessageCount() const { return messageSends_; }
    [[nodiscard]] int registrationCount() const { return registrations_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void connectEndpoint();
    void connectCommands();
    void connectConference();
    void connectContextMenus();
    void openContextMenuFromKeyboard();
    // A message box with OK, or a line on standard error once unattended.
    void tell(const QString& text);
    void showLinkCheckResult(const QString& fromIP, const QString& name);
    void showSharingOutcome(const SharingOutcome& outcome);
    [[nodiscard]] bool waitingForLookup() const;

    void applySettings(const Settings& settings);
    [[nodiscard]] Settings settingsFromWidgets() const;

    // Destroyed with the window, after shutDown(); first, as the conference
    // is built on it.
    std::unique_ptr<UdpEndpoint> endpoint_;
    QString programDirectory_;
    bool firstTick_ = true;
    bool destroyed_ = false;
    bool closeDeferred_ = false;
    bool startupNoticesShown_ = false;
    bool selfNameNoticeShown_ = false;
    bool unattended_ = false;
    std::exception_ptr startupError_;
    QStringList loadErrors_;
    Conference conference_;
    DataFiles dataFiles_;
    std::unique_ptr<AttentionAlerts> alerts_;
    std::unique_ptr<LogCommands> logCommands_;
    std::unique_ptr<DirectoryCommands> directoryCommands_;
    // Destroyed before the conference, whose answers it counts.
    std::unique_ptr<NetworkSweep> networkSweep_;
    QPointer<QMessageBox> linkCheckBox_;
    CorrespondentDialog* correspondentDialog_ = nullptr;
    AboutBox* aboutBox_ = nullptr;
    int messageSends_ = 0;
    int registrations_ = 0;
};
