#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QCheckBox;
class QLineEdit;
class QTabWidget;
class QWidget;

// The four attention rules of the settings page. While the program is not
// the active application, a received chat line (MessageAlert) or a new
// correspondent in the roster (NewCorrespondentAlert) can pop the main window
// up and sound a beep, each rule switched by its check box and narrowed by
// the filter in its edit. The rules read the widgets at every event.
class AttentionAlerts : public QObject {
    Q_OBJECT
  public:
    // The widgets the rules live in; all owned by the main window.
    struct Widgets {
        QCheckBox* CheckBox1;  // message pop-up
        QCheckBox* CheckBox2;  // new-correspondent pop-up
        QCheckBox* CheckBox3;  // message beep
        QCheckBox* CheckBox4;  // new-correspondent beep
        QLineEdit* Edit1;      // filters, one per check box
        QLineEdit* Edit2;
        QLineEdit* Edit3;
        QLineEdit* Edit4;
        QWidget* window;  // the main window that pops up
        QTabWidget* TN1;  // its notebook; page 0 is shown on a pop-up
    };

    // Connects the check boxes (a click and a programmatic change alike; an
    // unchanged state runs nothing) and gives each edit the look of its
    // box's current state. The activity flag starts true and then follows
    // the application's activation.
    explicit AttentionAlerts(const Widgets& widgets, QObject* parent = nullptr);

    // Subject: the chat line as appended to the log.
    void MessageAlert(const QString& subject);
    // Subject: the new correspondent's name as received.
    void NewCorrespondentAlert(const QString& name);

    // Filter edit white and enabled when the box is ticked, button-face
    // coloured and disabled when not.
    void CheckBox1Click();
    void CheckBox2Click();
    void CheckBox3Click();
    void CheckBox4Click();

    // True when the subject passes the filter text: a filter of blanks only
    // passes everything; otherwise both, upper-cased, must be equal.
    [[nodiscard]] static bool FilterMatches(const QString& filter, const QString& subject);

    // Restores and raises the main window, then shows page 0 of the notebook.
    void PopUp();
    // One default beep. The chat command's empty-message beep goes here too.
    void Beep();

    // Replace the desktop operations, for tests or another platform. Each
    // default is restored by passing an empty function.
    void setActivityHook(std::function<bool()> isActive);
    void setPopUpHook(std::function<void()> restoreWindow);
    void setBeepHook(std::function<void()> beep);

    // The activity flag as recorded from the application's activation.
    [[nodiscard]] bool applicationActive() const { return applicationActive_; }

  private:
    // Runs one event's pair of rules with the activity flag read once.
    void alert(QCheckBox* popUpBox, QLineEdit* popUpFilter, QCheckBox* beepBox,
               QLineEdit* beepFilter, const QString& subject);
    void restoreWindow();

    Widgets w_;
    bool applicationActive_ = true;
    std::function<bool()> isActive_;
    std::function<void()> restoreWindow_;
    std::function<void()> beep_;
};
