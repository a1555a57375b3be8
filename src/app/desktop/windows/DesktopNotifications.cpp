#include "app/desktop/DesktopNotifications.h"

#include <QSystemTrayIcon>

using namespace Qt::StringLiterals;

// Windows has no notification service to call: the notification is a
// message of the program's own tray icon (Qt's QSystemTrayIcon, which the
// window's TrayIcon shows beside this object). Where no icon stands in a
// tray, unavailable() lets the caller flash the task bar instead. Windows
// shows one message at a time and takes it back by itself, so each event
// replaces the text, a count included, and withdraw() only starts counting
// afresh.

namespace {

// A message more often than this would only replace itself unread.
constexpr int kMinimumGapMs = 1000;
constexpr int kMessageShownMs = 10000;

QSystemTrayIcon* shownTrayIcon(const QObject* window) {
    if (window == nullptr) {
        return nullptr;
    }
    for (QSystemTrayIcon* icon : window->findChildren<QSystemTrayIcon*>()) {
        if (icon->isVisible()) {
            return icon;
        }
    }
    return nullptr;
}

}  // namespace

struct DesktopNotifications::Bus {};

DesktopNotifications::DesktopNotifications(QObject* parent) : QObject(parent) {
    updateTimer_.setSingleShot(true);
    connect(&updateTimer_, &QTimer::timeout, this, &DesktopNotifications::sendWhenDue);
}

DesktopNotifications::~DesktopNotifications() = default;

void DesktopNotifications::show(const QString& text) {
    latest_ = text;
    ++count_;
    pending_ = true;
    sendWhenDue();
}

void DesktopNotifications::withdraw() {
    count_ = 0;
    pending_ = false;
    latest_.clear();
    updateTimer_.stop();
}

void DesktopNotifications::sendWhenDue() {
    if (!pending_) {
        return;
    }
    if (lastSent_.isValid() && lastSent_.elapsed() < kMinimumGapMs) {
        updateTimer_.start(static_cast<int>(kMinimumGapMs - lastSent_.elapsed()));
        return;
    }
    send();
}

void DesktopNotifications::send() {
    pending_ = false;
    QSystemTrayIcon* icon = shownTrayIcon(parent());
    if (icon == nullptr || !QSystemTrayIcon::supportsMessages()) {
        failed();
        return;
    }
    if (!connected_) {
        connected_ = true;
        connect(icon, &QSystemTrayIcon::messageClicked, this, [this] {
            count_ = 0;
            emit activated(QString());
        });
    }
    lastSent_.start();
    icon->showMessage(u"Зовница"_s, bodyText(latest_, count_), QSystemTrayIcon::Information,
                      kMessageShownMs);
}

void DesktopNotifications::failed() {
    emit unavailable();
}

// The service's signals exist only on a D-Bus desktop; moc lists the slots
// all the same.
void DesktopNotifications::onActionInvoked(uint /*id*/, const QString& /*action*/) {}
void DesktopNotifications::onActivationToken(uint /*id*/, const QString& /*token*/) {}
void DesktopNotifications::onClosed(uint /*id*/, uint /*reason*/) {}
