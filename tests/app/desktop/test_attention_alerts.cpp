#include "app/desktop/AttentionAlerts.h"

#include <QApplication>
#include <QCheckBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPalette>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTest>
#include <QWidget>

#include <array>
#include <memory>

using namespace Qt::StringLiterals;

class AttentionAlertsTest : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();

    void filterMatch_data();
    void filterMatch();
    void rulesActOnlyWhileInactive_data();
    void rulesActOnlyWhileInactive();
    void activityIsReadOncePerCall();
    void activityFollowsTheApplication();
    void popUpShowsTheConferencePage();
    void popUpRestoresAMinimisedWindow();
    void checkBoxesGreyTheirFilters();
    void filtersStayReadableOnADarkTheme();
    void refusedActivationAsksForAttention_data();
    void refusedActivationAsksForAttention();
    void rulesPlayTheThemesEvents();

  private:
    // The actions the rules took, in order: "popup" and "beep".
    QStringList actions_;
    bool active_ = false;
    int activityReads_ = 0;
    std::unique_ptr<QWidget> window_;
    QTabWidget* pages = nullptr;
    std::array<QCheckBox*, 4> boxes_{};
    std::array<QLineEdit*, 4> edits_{};
    std::unique_ptr<AttentionAlerts> alerts_;
};

void AttentionAlertsTest::init() {
    actions_.clear();
    active_ = false;
    activityReads_ = 0;
    window_ = std::make_unique<QWidget>();
    pages = new QTabWidget(window_.get());
    pages->addTab(new QWidget, u"Зовница"_s);
    auto* settings = new QWidget;
    pages->addTab(settings, u"Настройка"_s);
    for (std::size_t i = 0; i < 4; ++i) {
        boxes_[i] = new QCheckBox(settings);
        boxes_[i]->setChecked(true);
        edits_[i] = new QLineEdit(settings);
    }
    alerts_ = std::make_unique<AttentionAlerts>(
        AttentionAlerts::Widgets{boxes_[0], edits_[0], boxes_[1], edits_[1], boxes_[2], edits_[2],
                                 boxes_[3], edits_[3], window_.get(), pages});
    alerts_->setActivityHook([this] {
        ++activityReads_;
        return active_;
    });
    alerts_->setPopUpHook([this] { actions_.append(u"popup"_s); });
    alerts_->setBeepHook([this] { actions_.append(u"plain beep"_s); });
    alerts_->setSoundHook([this](const QString& /*soundEvent*/) { actions_.append(u"beep"_s); });
}

void AttentionAlertsTest::cleanup() {
    alerts_.reset();
    window_.reset();
}

void AttentionAlertsTest::filterMatch_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("subject");
    QTest::addColumn<bool>("matches");
    QTest::newRow("empty matches all") << QString() << u"ИВАН: привет"_s << true;
    QTest::newRow("blanks match all") << u"   "_s << u"ИВАН"_s << true;
    QTest::newRow("case of both sides") << u"  иван "_s << u"ИВАН"_s << true;
    QTest::newRow("latin and ё") << u"ёжик Bob"_s << u"ЁЖИК bob"_s << true;
    QTest::newRow("no search inside") << u"ИВАН"_s << u"ИВАН: привет"_s << false;
    QTest::newRow("inner blanks count") << u"ИВАН  ПЕТРОВ"_s << u"ИВАН ПЕТРОВ"_s << false;
    QTest::newRow("subject blanks not cut") << u"ИВАН"_s << u" ИВАН"_s << false;
    QTest::newRow("tab is no blank") << u"\tИВАН"_s << u"ИВАН"_s << false;
    QTest::newRow("other letters keep case") << u"і"_s << u"І"_s << false;
}

void AttentionAlertsTest::filterMatch() {
    QFETCH(QString, filter);
    QFETCH(QString, subject);
    QFETCH(bool, matches);
    QCOMPARE(AttentionAlerts::filterMatches(filter, subject), matches);
}

void AttentionAlertsTest::rulesActOnlyWhileInactive_data() {
    QTest::addColumn<bool>("message");  // which event: chat line or new correspondent
    QTest::addColumn<bool>("active");
    QTest::addColumn<bool>("popUpOn");
    QTest::addColumn<QString>("popUpFilter");
    QTest::addColumn<bool>("beepOn");
    QTest::addColumn<QString>("beepFilter");
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QStringList>("actions");
    const QStringList both{u"popup"_s, u"beep"_s};
    QTest::newRow("message, both rules")
        << true << false << true << QString() << true << QString() << u"ИВАН: привет"_s << both;
    QTest::newRow("message, beep only") << true << false << false << QString() << true << QString()
                                        << u"ИВАН: привет"_s << QStringList{u"beep"_s};
    QTest::newRow("message, name filter does not match the line")
        << true << false << true << u"ИВАН"_s << true << QString() << u"ИВАН: привет"_s
        << QStringList{u"beep"_s};
    QTest::newRow("message, whole line filter")
        << true << false << true << u"иван: ПРИВЕТ"_s << false << QString() << u"ИВАН: привет"_s
        << QStringList{u"popup"_s};
    QTest::newRow("correspondent, active")
        << false << true << true << QString() << true << QString() << u"ИВАН"_s << QStringList{};
    QTest::newRow("correspondent, lower-case filter")
        << false << false << true << u"иван"_s << true << u" иван "_s << u"ИВАН"_s << both;
    QTest::newRow("correspondent, other name") << false << false << true << u"иван"_s << true
                                               << QString() << u"ПЁТР"_s << QStringList{u"beep"_s};
}

void AttentionAlertsTest::rulesActOnlyWhileInactive() {
    QFETCH(bool, message);
    QFETCH(bool, active);
    QFETCH(bool, popUpOn);
    QFETCH(QString, popUpFilter);
    QFETCH(bool, beepOn);
    QFETCH(QString, beepFilter);
    QFETCH(QString, subject);
    QFETCH(QStringList, actions);
    // Message rules: boxes 1 and 3; new-correspondent rules: boxes 2 and 4.
    // The other event's rules are set to match nothing, so crossed wires show.
    const std::size_t popUp = message ? 0 : 1;
    const std::size_t beep = message ? 2 : 3;
    const std::size_t otherPopUp = message ? 1 : 0;
    const std::size_t otherBeep = message ? 3 : 2;
    boxes_[popUp]->setChecked(popUpOn);
    edits_[popUp]->setText(popUpFilter);
    boxes_[beep]->setChecked(beepOn);
    edits_[beep]->setText(beepFilter);
    boxes_[otherPopUp]->setChecked(!popUpOn);
    edits_[otherPopUp]->setText(popUpOn ? u"никто"_s : QString());
    boxes_[otherBeep]->setChecked(!beepOn);
    edits_[otherBeep]->setText(beepOn ? u"никто"_s : QString());
    active_ = active;
    if (message) {
        alerts_->alertMessage(subject);
    } else {
        alerts_->alertNewCorrespondent(subject);
    }
    QCOMPARE(actions_, actions);
}

void AttentionAlertsTest::activityIsReadOncePerCall() {
    // The pop-up activates the program; the beep of the same call still sounds.
    alerts_->setPopUpHook([this] {
        actions_.append(u"popup"_s);
        active_ = true;
    });
    alerts_->alertMessage(u"ИВАН: привет"_s);
    QCOMPARE(actions_, (QStringList{u"popup"_s, u"beep"_s}));
    QCOMPARE(activityReads_, 1);
}

void AttentionAlertsTest::activityFollowsTheApplication() {
    alerts_->setActivityHook({});
    QVERIFY(alerts_->applicationActive());
    alerts_->alertNewCorrespondent(u"ИВАН"_s);
    QCOMPARE(actions_, QStringList{});

    emit qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
    QVERIFY(!alerts_->applicationActive());
    alerts_->alertNewCorrespondent(u"ИВАН"_s);
    QCOMPARE(actions_, (QStringList{u"popup"_s, u"beep"_s}));

    emit qGuiApp->applicationStateChanged(Qt::ApplicationActive);
    QVERIFY(alerts_->applicationActive());
}

void AttentionAlertsTest::popUpShowsTheConferencePage() {
    pages->setCurrentIndex(1);
    alerts_->alertMessage(u"ИВАН: привет"_s);
    QCOMPARE(pages->currentIndex(), 0);
}

void AttentionAlertsTest::popUpRestoresAMinimisedWindow() {
    alerts_->setPopUpHook({});
    window_->showMaximized();
    window_->showMinimized();
    QVERIFY(window_->isMinimized());
    alerts_->popUp();
    QVERIFY(!window_->isMinimized());
    // Restored to its former state, not to a normal window.
    QVERIFY(window_->isMaximized());
    QVERIFY(window_->isVisible());
}

void AttentionAlertsTest::checkBoxesGreyTheirFilters() {
    const QColor buttonFace = edits_[0]->palette().color(QPalette::Active, QPalette::Button);
    for (std::size_t i = 0; i < 4; ++i) {
        QLineEdit* edit = edits_[i];
        edit->setText(u"иван"_s);
        QCOMPARE(edit->palette().color(QPalette::Base), QColor(Qt::white));
        QVERIFY(edit->isEnabled());

        // A settings load sets the state programmatically.
        boxes_[i]->setChecked(false);
        QVERIFY(!edit->isEnabled());
        QCOMPARE(edit->palette().color(QPalette::Base), buttonFace);
        QCOMPARE(edit->palette().color(QPalette::Disabled, QPalette::Base), buttonFace);

        // A click ticks it again; the text was kept.
        boxes_[i]->click();
        QVERIFY(boxes_[i]->isChecked());
        QVERIFY(edit->isEnabled());
        QCOMPARE(edit->palette().color(QPalette::Base), QColor(Qt::white));
        QCOMPARE(edit->text(), u"иван"_s);

        // An unchanged state runs nothing.
        QPalette marked = edit->palette();
        marked.setColor(QPalette::Base, Qt::red);
        edit->setPalette(marked);
        boxes_[i]->setChecked(true);
        QCOMPARE(edit->palette().color(QPalette::Base), QColor(Qt::red));
    }
}

// Under a dark theme the filters take the theme's own background and text
// colours, never a white field under light text.
void AttentionAlertsTest::filtersStayReadableOnADarkTheme() {
    const QPalette light = QApplication::palette();
    const auto restore = qScopeGuard([&] { QApplication::setPalette(light); });
    QPalette dark(QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0xa0, 0xa0, 0xa0));
    QApplication::setPalette(dark);
    cleanup();
    init();

    const auto readable = [](const QColor& text, const QColor& back) {
        return std::abs(text.lightness() - back.lightness()) >= 64;
    };
    for (std::size_t i = 0; i < 4; ++i) {
        QLineEdit* edit = edits_[i];
        QCOMPARE(edit->palette().color(QPalette::Base), dark.color(QPalette::Base));
        QVERIFY(
            readable(edit->palette().color(QPalette::Text), edit->palette().color(QPalette::Base)));
        boxes_[i]->setChecked(false);
        const QPalette off = edit->palette();
        QCOMPARE(off.color(QPalette::Disabled, QPalette::Base), dark.color(QPalette::Button));
        QVERIFY(readable(off.color(QPalette::Disabled, QPalette::Text),
                         off.color(QPalette::Disabled, QPalette::Base)));
        boxes_[i]->setChecked(true);
        QCOMPARE(edit->palette().color(QPalette::Base), dark.color(QPalette::Base));
    }
}

void AttentionAlertsTest::refusedActivationAsksForAttention_data() {
    QTest::addColumn<bool>("granted");
    QTest::addColumn<bool>("notifications");
    QTest::newRow("activation granted") << true << true;
    QTest::newRow("activation refused, no notifications") << false << false;
    QTest::newRow("activation refused, notifications") << false << true;
}

// A pop-up the desktop refused calls the user back through a notification
// that names the event, and flashes the task bar only where there is none.
void AttentionAlertsTest::refusedActivationAsksForAttention() {
    QFETCH(bool, granted);
    QFETCH(bool, notifications);
    int requests = 0;
    QStringList notices;
    alerts_->setPopUpHook({});  // the real restore
    alerts_->setAttentionHook([&] { ++requests; });
    if (notifications) {
        alerts_->setNotifyHook([&](const QString& notice) { notices.append(notice); });
    }
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);

    alerts_->alertNewCorrespondent(u"ИВАН"_s);
    // The desktop decides: the window stays active, or focus-stealing
    // prevention gives the activation back to the other window at once.
    QTest::qWait(50);
    QApplication::setActiveWindow(granted ? window_.get() : &other);
    QTest::qWait(600);
    QCOMPARE(window_->isActiveWindow(), granted);
    QCOMPARE(requests, !granted && !notifications ? 1 : 0);
    QCOMPARE(notices, !granted && notifications ? QStringList{u"Новый корреспондент : ИВАН"_s}
                                                : QStringList{});
}

void AttentionAlertsTest::rulesPlayTheThemesEvents() {
    QStringList sounds;
    alerts_->setSoundHook([&](const QString& soundEvent) { sounds.append(soundEvent); });
    alerts_->alertMessage(u"ИВАН: привет"_s);
    alerts_->alertNewCorrespondent(u"ИВАН"_s);
    QCOMPARE(sounds, (QStringList{u"message-new-instant"_s, u"service-login"_s}));
    // The chat command's beep stays the plain one.
    alerts_->beep();
    QCOMPARE(actions_, (QStringList{u"popup"_s, u"popup"_s, u"plain beep"_s}));
}

QTEST_MAIN(AttentionAlertsTest)
#include "test_attention_alerts.moc"
