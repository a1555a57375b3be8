#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QCheckBox;
class QLineEdit;
class QTabWidget;
class QWidget;

// The four attention rules of the settings page. While the program is not
// the active application, a received chat line (alertMessage) or a new
// correspondent in the roster (alertNewCorrespondent) can pop the main window
// up and sound the desktop's event sound, each rule switched by its check box
// and narrowed by the filter in its edit. The rules read the widgets at every
// event.
//
// Desktops refuse to let a background window activate itself, so a pop-up
// that did not bring the window forward is reported through a notification
// (the notify hook) with the event's text, and, where nothing takes the
// notification, by the task bar's attention flag.
class AttentionAlerts : public QObject {
    Q_OBJECT
  public:
    // The widgets the rules live in; all owned by the main window.
    struct Widgets {
        // Each rule: the box that switches it and the edit that filters it.
        QCheckBox* messagePopUpBox;
        QLineEdit* messagePopUpFilter;
        QCheckBox* correspondentPopUpBox;
        QLineEdit* correspondentPopUpFilter;
        QCheckBox* messageBeepBox;
        QLineEdit* messageBeepFilter;
        QCheckBox* correspondentBeepBox;
        QLineEdit* correspondentBeepFilter;
        QWidget* window;    // the main window that pops up
        QTabWidget* pages;  // its pages; the conference page is shown on a pop-up
    };

    // Connects the check boxes (a click and a programmatic change alike; an
    // unchanged state runs nothing) and gives each edit the look of its
    // box's current state. The activity flag starts true and then follows
    // the application's activation.
    explicit AttentionAlerts(const Widgets& widgets, QObject* parent = nullptr);

    // Subject: the chat line as appended to the log.
    void alertMessage(const QString& subject);
    // Subject: the new correspondent's name as received.
    void alertNewCorrespondent(const QString& name);

    // True when the subject passes the filter text: a filter of blanks only
    // passes everything; otherwise both, upper-cased, must be equal.
    [[nodiscard]] static bool filterMatches(const QString& filter, const QString& subject);

    // The sound theme's events the beep rules play.
    static constexpr const char* kMessageSound = "message-new-instant";
    static constexpr const char* kCorrespondentSound = "service-login";

    // The text that reports a new correspondent in a notification.
    [[nodiscard]] static QString newCorrespondentNotice(const QString& name);

    // Restores and raises the main window, then shows its conference page.
    // When the desktop has not activated the window a moment later, notice
    // goes to the notify hook; without one, the desktop is asked for
    // attention (the task bar entry flashes).
    void popUp(const QString& notice = {});
    // One default beep: the chat command's empty-message beep.
    void beep();
    // The beep rules' sound: the sound theme's event through the sound hook,
    // the default beep without one.
    void playSound(const char* soundEvent);
    // The task bar's attention flag on the main window.
    void requestAttention();

    // Replace the desktop operations, for tests or another platform. Each
    // default is restored by passing an empty function.
    void setActivityHook(std::function<bool()> isActive);
    void setPopUpHook(std::function<void()> restoreWindow);
    void setBeepHook(std::function<void()> beep);
    void setAttentionHook(std::function<void()> requestAttention);
    void setSoundHook(std::function<void(const QString& soundEvent)> play);
    void setNotifyHook(std::function<void(const QString& notice)> notify);

    // Brings a window forward: a minimised one is restored to the state it
    // had, then shown, raised and activated. The desktop may refuse the
    // activation; that is not an error.
    static void bringForward(QWidget& window);

    // The activity flag as recorded from the application's activation.
    [[nodiscard]] bool applicationActive() const { return applicationActive_; }
    // Takes the flag from the application's state as the platform reports
    // it now. Called once the window has been up for a while: a window that
    // the desktop never activated (a compositor that gives it no focus, a
    // start in the background) then counts as inactive, where the flag would
    // otherwise stay at its starting value for good.
    void takeApplicationState();

  private:
    // Runs one event's pair of rules with the activity flag read once.
    void alert(QCheckBox* popUpBox, QLineEdit* popUpFilter, QCheckBox* beepBox,
               QLineEdit* beepFilter, const QString& subject, const QString& notice,
               const char* soundEvent);
    void restoreWindow(const QString& notice);

    Widgets w_;
    bool applicationActive_ = true;
    std::function<bool()> isActive_;
    std::function<void()> restoreWindow_;
    std::function<void()> beep_;
    std::function<void()> requestAttention_;
    std::function<void(const QString&)> playSound_;
    std::function<void(const QString&)> notify_;
};
