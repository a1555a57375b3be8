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
// up and sound a beep, each rule switched by its check box and narrowed by
// the filter in its edit. The rules read the widgets at every event.
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

    // Restores and raises the main window, then shows its conference page.
    // When the desktop has not activated the window a moment later, it asks
    // the desktop for attention instead (the task bar entry flashes).
    void popUp();
    // One default beep. The chat command's empty-message beep goes here too.
    void beep();

    // Replace the desktop operations, for tests or another platform. Each
    // default is restored by passing an empty function.
    void setActivityHook(std::function<bool()> isActive);
    void setPopUpHook(std::function<void()> restoreWindow);
    void setBeepHook(std::function<void()> beep);
    void setAttentionHook(std::function<void()> requestAttention);

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
    std::function<void()> requestAttention_;
};
