#pragma once

#include "app/TForm1Ui.h"
#include "core/EntryList.h"
#include "net/UdpEndpoint.h"

#include <QString>
#include <QWidget>

#include <exception>
#include <memory>

class TAboutBox;
class TDlgCorr1;

// The main window. Its components are the public fields of TForm1Ui; its
// behaviour is one handler per component event, named component + event.
// Handlers stay thin: they read the widgets, call the core and show what
// comes back.
class TForm1 : public QWidget, public TForm1Ui {
    Q_OBJECT
  public:
    // programDirectory: the folder of the data files, ending in "/".
    // endpoint: the UDP endpoint, kept as NMUDP1; may be null, in which case
    // nothing is sent or received.
    // Builds the window and runs FormCreate; an error FormCreate raises is
    // kept and reported by showStartupNotices().
    TForm1(QString programDirectory, std::unique_ptr<UdpEndpoint> endpoint,
           QWidget* parent = nullptr);
    ~TForm1() override;

    // The dialogs are created after the window; handlers that need them do
    // nothing while they are not attached.
    void attachDialogs(TDlgCorr1* dlgCorr, TAboutBox* aboutBox);

    // Shows the directory in ListBox1 and the roster in ListBox2, sharing
    // their selection models. The lists must outlive the window or be
    // replaced by another call first.
    void attachLists(EntryList& directory, EntryList& roster);

    // Shows, once, what start-up found and the user must know about. Called
    // from the event loop once the window is visible.
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
    void CheckBox1Click();
    void CheckBox2Click();
    void CheckBox3Click();
    void CheckBox4Click();

    // The recipient choice: 0 "Всем", 1 "Выборочно".
    [[nodiscard]] int RadioGroup1ItemIndex() const;
    void setRadioGroup1ItemIndex(int index);

    [[nodiscard]] const QString& selfName() const { return selfName_; }
    [[nodiscard]] const QString& programDirectory() const { return programDirectory_; }
    [[nodiscard]] bool firstTick() const { return firstTick_; }
    [[nodiscard]] EntryList& directory() { return directory_; }
    [[nodiscard]] EntryList& roster() { return roster_; }
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
    void connectHandlers();
    void connectContextMenus();
    void openContextMenuFromKeyboard();
    void moveFocusToMessage();

    QString programDirectory_;
    QString selfName_;
    bool firstTick_ = true;
    bool destroyed_ = false;
    std::exception_ptr startupError_;
    EntryList directory_{EntryList::Order::AsGiven};
    EntryList roster_{EntryList::Order::Sorted};
    TDlgCorr1* dlgCorr1_ = nullptr;
    TAboutBox* aboutBox_ = nullptr;
    int n4Clicks_ = 0;
    int speedButton2Clicks_ = 0;
};
