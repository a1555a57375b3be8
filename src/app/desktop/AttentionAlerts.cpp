#include "app/desktop/AttentionAlerts.h"

#include "text/Normalization.h"

#include <QApplication>
#include <QCheckBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPalette>
#include <QTabWidget>
#include <QTimer>
#include <QWidget>

#include <utility>

using namespace Qt::StringLiterals;

namespace {

// After this long an activation that the desktop granted has arrived.
constexpr int kActivationWaitMs = 300;

// A desktop operation that a test or another platform may replace: the hook
// with the arguments when one is set, the default otherwise.
template <typename Hook, typename Default, typename... Args>
auto hookOr(const Hook& hook, const Default& fallback, Args&&... args) {
    return hook ? hook(std::forward<Args>(args)...) : fallback();
}

// Gives a filter edit the look of its rule: the theme's edit background and
// enabled when the rule is on, the theme's button face and disabled when it
// is off. Both colours come from the theme together with the text colour
// drawn on them, so the text stays readable under light and dark themes. The
// colours are set for every colour group, so a disabled edit shows them too.
void showRuleState(const QCheckBox& box, QLineEdit& edit) {
    const QPalette theme = QApplication::palette(&edit);
    QPalette palette = edit.palette();
    if (box.isChecked()) {
        palette.setColor(QPalette::Base, theme.color(QPalette::Active, QPalette::Base));
        palette.setColor(QPalette::Disabled, QPalette::Text,
                         theme.color(QPalette::Disabled, QPalette::Text));
        edit.setPalette(palette);
        edit.setEnabled(true);
    } else {
        palette.setColor(QPalette::Base, theme.color(QPalette::Active, QPalette::Button));
        palette.setColor(QPalette::Disabled, QPalette::Text,
                         theme.color(QPalette::Disabled, QPalette::ButtonText));
        edit.setPalette(palette);
        edit.setEnabled(false);
    }
}

}  // namespace

AttentionAlerts::AttentionAlerts(const Widgets& widgets, QObject* parent)
    : QObject(parent), w_(widgets) {
    // Each filter edit follows its box, changed by a click or by the program
    // alike; an unchanged state runs nothing.
    const auto follow = [this](QCheckBox* box, QLineEdit* filter) {
        connect(box, &QCheckBox::toggled, this, [box, filter] { showRuleState(*box, *filter); });
        showRuleState(*box, *filter);
    };
    follow(w_.messagePopUpBox, w_.messagePopUpFilter);
    follow(w_.correspondentPopUpBox, w_.correspondentPopUpFilter);
    follow(w_.messageBeepBox, w_.messageBeepFilter);
    follow(w_.correspondentBeepBox, w_.correspondentBeepFilter);

    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                applicationActive_ = state == Qt::ApplicationActive;
            });
}

void AttentionAlerts::takeApplicationState() {
    applicationActive_ = QGuiApplication::applicationState() == Qt::ApplicationActive;
}

bool AttentionAlerts::filterMatches(const QString& filter, const QString& subject) {
    QString wanted = filter;
    cutSpaces(wanted);
    if (wanted.isEmpty()) {
        return true;
    }
    upperCaseRussianLatin(wanted);
    return wanted == upperCaseRussianLatinCopy(subject);
}

QString AttentionAlerts::newCorrespondentNotice(const QString& name) {
    return u"Новый корреспондент : "_s + name;
}

void AttentionAlerts::alertMessage(const QString& subject) {
    alert(w_.messagePopUpBox, w_.messagePopUpFilter, w_.messageBeepBox, w_.messageBeepFilter,
          subject, subject, kMessageSound);
}

void AttentionAlerts::alertNewCorrespondent(const QString& name) {
    alert(w_.correspondentPopUpBox, w_.correspondentPopUpFilter, w_.correspondentBeepBox,
          w_.correspondentBeepFilter, name, newCorrespondentNotice(name), kCorrespondentSound);
}

void AttentionAlerts::alert(QCheckBox* popUpBox, QLineEdit* popUpFilter, QCheckBox* beepBox,
                            QLineEdit* beepFilter, const QString& subject, const QString& notice,
                            const char* soundEvent) {
    // Read once: the pop-up may activate the program, and the beep rule must
    // still act in the same call.
    const bool active = hookOr(isActive_, [this] { return applicationActive_; });
    if (active) {
        return;
    }
    if (popUpBox->isChecked() && filterMatches(popUpFilter->text(), subject)) {
        popUp(notice);
    }
    if (beepBox->isChecked() && filterMatches(beepFilter->text(), subject)) {
        playSound(soundEvent);
    }
}

void AttentionAlerts::popUp(const QString& notice) {
    hookOr(restoreWindow_, [this, &notice] { restoreWindow(notice); });
    w_.pages->setCurrentIndex(0);
}

void AttentionAlerts::bringForward(QWidget& window) {
    // A minimised window goes back to the state it had before (normal or
    // maximised).
    if (window.isMinimized()) {
        window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    }
    window.show();
    window.raise();
    window.activateWindow();
}

void AttentionAlerts::restoreWindow(const QString& notice) {
    bringForward(*w_.window);
    // The desktop's focus-stealing prevention may refuse to bring the window
    // forward, and under Wayland a program cannot activate itself at all.
    // Activation arrives asynchronously, so look again a moment later and,
    // if the window is still not active, tell the user through the desktop's
    // notifications, or flash the task bar entry where there are none.
    QTimer::singleShot(kActivationWaitMs, this, [this, notice] {
        if (w_.window->isActiveWindow()) {
            return;
        }
        hookOr(
            notify_, [this] { requestAttention(); }, notice);
    });
}

void AttentionAlerts::requestAttention() {
    hookOr(requestAttention_, [this] { QApplication::alert(w_.window); });
}

void AttentionAlerts::playSound(const char* soundEvent) {
    hookOr(
        playSound_, [this] { beep(); }, QString::fromLatin1(soundEvent));
}

void AttentionAlerts::beep() {
    hookOr(beep_, [] { QApplication::beep(); });
}

void AttentionAlerts::setActivityHook(std::function<bool()> isActive) {
    isActive_ = std::move(isActive);
}

void AttentionAlerts::setPopUpHook(std::function<void()> restoreWindow) {
    restoreWindow_ = std::move(restoreWindow);
}

void AttentionAlerts::setAttentionHook(std::function<void()> requestAttention) {
    requestAttention_ = std::move(requestAttention);
}

void AttentionAlerts::setBeepHook(std::function<void()> beep) {
    beep_ = std::move(beep);
}

void AttentionAlerts::setSoundHook(std::function<void(const QString& soundEvent)> play) {
    playSound_ = std::move(play);
}

void AttentionAlerts::setNotifyHook(std::function<void(const QString& notice)> notify) {
    notify_ = std::move(notify);
}
