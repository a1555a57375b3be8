#pragma once

#include "app/TForm1Ui.h"
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
class QMessageBox;
class TAboutBox;
class TDlgCorr1;
struct Settings;

// The main window. Its components are the public fields of TForm1Ui; its
// behaviour is one handler per component event, named component + event.
// Handlers stay thin: they read the widgets, call the conference core or the
// window's helpers (log, alerts, directory editing) and show what comes back.
class TForm1 : public QWidget, public TForm1Ui {
    Q_OBJECT
  public:
    // programDirectory: the folder of the data files, ending in "/".
    // endpoint: the UDP endpoint, kept as NMUDP1; its events are bound to the
    // NMUDP1 handlers here.
    // Builds the window and runs FormCreate; an error FormCreate raises is
    // kept and reported by showStartupNotices().
    TForm1(QString programDirectory, std::unique_ptr<UdpEndpoint> endpoint,
           QWidget* parent = nullptr);
    ~TForm1() override;

    // The dialogs are created after the window; handlers that need them do
    // nothing while they are not attached.
    void attachDialogs(TDlgCorr1* dlgCorr, TAboutBox* aboutBox);

    // Shows, once, what start-up found and the user must know about: errors
    // met while loading the data files, and a port that could not be bound.
    // Called from the event loop once the window is visible.
    void showStartupNotices();

    // Handlers.
    void FormCreate();
    void FormDestroy();
    void Timer1Timer();
    void SpeedButton1Click();
    void SpeedButton2Click();
    void EditSelfNameChange();
    void ListBox2Click();
    void RadioGroup1Click();
    void N4Click();
    void N3Click();
    void N1Click();
    void N7Click();
    void N2Click();
    void N17Click();
    void N6Click();
    void N13Click();
    void N14Click();
    void Clipboard1Click();
    void N9Click();
    void N11Click();
    void NMUDP1DataReceived(QObject* Sender, int NumberBytes, const QString& FromIP, int Port);
    void NMUDP1InvalidHost(bool& handled);
    void NMUDP1BufferInvalid(bool& handled, std::span<char> Buff, int& length);

    // The recipient choice: 0 "Всем", 1 "Выборочно".
    [[nodiscard]] int RadioGroup1ItemIndex() const;
    void setRadioGroup1ItemIndex(int index);

    [[nodiscard]] const QString& selfName() const { return conference_.selfName(); }
    [[nodiscard]] const QString& programDirectory() const { return programDirectory_; }
    [[nodiscard]] bool firstTick() const { return firstTick_; }
    [[nodiscard]] Conference& conference() { return conference_; }
    [[nodiscard]] EntryList& directory() { return conference_.directory(); }
    [[nodiscard]] EntryList& roster() { return conference_.roster(); }
    [[nodiscard]] AttentionAlerts& alerts() { return *alerts_; }
    [[nodiscard]] TDlgCorr1* dlgCorr1() const { return dlgCorr1_; }
    [[nodiscard]] TAboutBox* aboutBox() const { return aboutBox_; }

    // How often N4Click and SpeedButton2Click have run; for tests.
    [[nodiscard]] int N4ClickCount() const { return n4Clicks_; }
    [[nodiscard]] int SpeedButton2ClickCount() const { return speedButton2Clicks_; }

    // The UDP endpoint; destroyed with the window, after FormDestroy.
    std::unique_ptr<UdpEndpoint> NMUDP1;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void bindEndpointEvents();
    void connectHandlers();
    void connectConference();
    void connectContextMenus();
    void openContextMenuFromKeyboard();
    void moveFocusToMessage();
    void showLinkCheckResult(const QString& fromIP, const QString& name);
    void showSharingOutcome(const SharingOutcome& outcome);
    [[nodiscard]] bool waitingForLookup() const;

    void applySettings(const Settings& settings);
    [[nodiscard]] Settings settingsFromWidgets() const;

    QString programDirectory_;
    bool firstTick_ = true;
    bool destroyed_ = false;
    bool closeDeferred_ = false;
    bool startupNoticesShown_ = false;
    std::exception_ptr startupError_;
    QStringList loadErrors_;
    Conference conference_;
    DataFiles dataFiles_;
    std::unique_ptr<AttentionAlerts> alerts_;
    std::unique_ptr<LogCommands> logCommands_;
    std::unique_ptr<DirectoryCommands> directoryCommands_;
    QPointer<QMessageBox> linkCheckBox_;
    TDlgCorr1* dlgCorr1_ = nullptr;
    TAboutBox* aboutBox_ = nullptr;
    int n4Clicks_ = 0;
    int speedButton2Clicks_ = 0;
};
