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
void ShowRuleState(const QCheckBox& box, QLineEdit& edit) {
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
    connect(w_.CheckBox1, &QCheckBox::toggled, this, &AttentionAlerts::CheckBox1Click);
    connect(w_.CheckBox2, &QCheckBox::toggled, this, &AttentionAlerts::CheckBox2Click);
    connect(w_.CheckBox3, &QCheckBox::toggled, this, &AttentionAlerts::CheckBox3Click);
    connect(w_.CheckBox4, &QCheckBox::toggled, this, &AttentionAlerts::CheckBox4Click);
    CheckBox1Click();
    CheckBox2Click();
    CheckBox3Click();
    CheckBox4Click();

    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                applicationActive_ = state == Qt::ApplicationActive;
            });
}

void AttentionAlerts::CheckBox1Click() {
    ShowRuleState(*w_.CheckBox1, *w_.Edit1);
}

void AttentionAlerts::CheckBox2Click() {
    ShowRuleState(*w_.CheckBox2, *w_.Edit2);
}

void AttentionAlerts::CheckBox3Click() {
    ShowRuleState(*w_.CheckBox3, *w_.Edit3);
}

void AttentionAlerts::CheckBox4Click() {
    ShowRuleState(*w_.CheckBox4, *w_.Edit4);
}

bool AttentionAlerts::FilterMatches(const QString& filter, const QString& subject) {
    QString wanted = filter;
    CutSpaces(wanted);
    if (wanted.isEmpty()) {
        return true;
    }
    UpCaseCyr(wanted);
    return wanted == UpCaseCyrCopy(subject);
}

void AttentionAlerts::MessageAlert(const QString& subject) {
    alert(w_.CheckBox1, w_.Edit1, w_.CheckBox3, w_.Edit3, subject);
}

void AttentionAlerts::NewCorrespondentAlert(const QString& name) {
    alert(w_.CheckBox2, w_.Edit2, w_.CheckBox4, w_.Edit4, name);
}

void AttentionAlerts::alert(QCheckBox* popUpBox, QLineEdit* popUpFilter, QCheckBox* beepBox,
                            QLineEdit* beepFilter, const QString& subject) {
    // Read once: the pop-up may activate the program, and the beep rule must
    // still act in the same call.
    const bool active = isActive_ ? isActive_() : applicationActive_;
    if (active) {
        return;
    }
    if (popUpBox->isChecked() && FilterMatches(popUpFilter->text(), subject)) {
        PopUp();
    }
    if (beepBox->isChecked() && FilterMatches(beepFilter->text(), subject)) {
        Beep();
    }
}

void AttentionAlerts::PopUp() {
    if (restoreWindow_) {
        restoreWindow_();
    } else {
        restoreWindow();
    }
    w_.TN1->setCurrentIndex(0);
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

void AttentionAlerts::Beep() {
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
