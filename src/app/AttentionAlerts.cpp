#include "app/AttentionAlerts.h"

#include "text/Normalization.h"

#include <QApplication>
#include <QCheckBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPalette>
#include <QTabWidget>
#include <QWidget>

#include <utility>

namespace {

// Gives a filter edit the look of its rule: white and enabled when the rule
// is on, the button-face colour and disabled when it is off. The colour is set
// for every colour group, so a disabled edit shows it as well.
void showRuleState(const QCheckBox& box, QLineEdit& edit) {
    QPalette palette = edit.palette();
    if (box.isChecked()) {
        palette.setColor(QPalette::Base, Qt::white);
        edit.setPalette(palette);
        edit.setEnabled(true);
    } else {
        palette.setColor(QPalette::Base, palette.color(QPalette::Active, QPalette::Button));
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

bool AttentionAlerts::filterMatches(const QString& filter, const QString& subject) {
    QString wanted = filter;
    cutSpaces(wanted);
    if (wanted.isEmpty()) {
        return true;
    }
    upperCaseRussianLatin(wanted);
    return wanted == upperCaseRussianLatinCopy(subject);
}

void AttentionAlerts::alertMessage(const QString& subject) {
    alert(w_.messagePopUpBox, w_.messagePopUpFilter, w_.messageBeepBox, w_.messageBeepFilter,
          subject);
}

void AttentionAlerts::alertNewCorrespondent(const QString& name) {
    alert(w_.correspondentPopUpBox, w_.correspondentPopUpFilter, w_.correspondentBeepBox,
          w_.correspondentBeepFilter, name);
}

void AttentionAlerts::alert(QCheckBox* popUpBox, QLineEdit* popUpFilter, QCheckBox* beepBox,
                            QLineEdit* beepFilter, const QString& subject) {
    // Read once: the pop-up may activate the program, and the beep rule must
    // still act in the same call.
    const bool active = isActive_ ? isActive_() : applicationActive_;
    if (active) {
        return;
    }
    if (popUpBox->isChecked() && filterMatches(popUpFilter->text(), subject)) {
        popUp();
    }
    if (beepBox->isChecked() && filterMatches(beepFilter->text(), subject)) {
        beep();
    }
}

void AttentionAlerts::popUp() {
    if (restoreWindow_) {
        restoreWindow_();
    } else {
        restoreWindow();
    }
    w_.pages->setCurrentIndex(0);
}

void AttentionAlerts::restoreWindow() {
    QWidget& window = *w_.window;
    // Restore a minimised window to the state it had before (normal or
    // maximised), then bring it forward. Window managers may refuse the
    // activation; that is not an error.
    if (window.isMinimized()) {
        window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    }
    window.show();
    window.raise();
    window.activateWindow();
}

void AttentionAlerts::beep() {
    if (beep_) {
        beep_();
    } else {
        QApplication::beep();
    }
}

void AttentionAlerts::setActivityHook(std::function<bool()> isActive) {
    isActive_ = std::move(isActive);
}

void AttentionAlerts::setPopUpHook(std::function<void()> restoreWindow) {
    restoreWindow_ = std::move(restoreWindow);
}

void AttentionAlerts::setBeepHook(std::function<void()> beep) {
    beep_ = std::move(beep);
}
