#include "app/desktop/DesktopNotifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

#include <utility>

using namespace Qt::StringLiterals;

namespace {

const QString kService = u"org.freedesktop.Notifications"_s;
const QString kPath = u"/org/freedesktop/Notifications"_s;
const QString kInterface = u"org.freedesktop.Notifications"_s;

// The service is told of new events at most this often; what arrives in
// between waits and goes out in one update.
constexpr int kUpdateIntervalMs = 1000;
// A service that has not answered by then is taken as absent.
constexpr int kCallTimeoutMs = 5000;
// The urgency hint's "normal".
constexpr uchar kNormalUrgency = 1;

QDBusMessage call(const QString& method) {
    return QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
}

}  // namespace

struct DesktopNotifications::Bus {
    explicit Bus(const QDBusConnection& bus) : connection(bus) {}
    explicit Bus(const QString& name) : connection(name) {}
    QDBusConnection connection;
};

DesktopNotifications::DesktopNotifications(QObject* parent)
    : QObject(parent), bus_(std::make_unique<Bus>(QString())), sessionBus_(true) {
    updateTimer_.setSingleShot(true);
    connect(&updateTimer_, &QTimer::timeout, this, &DesktopNotifications::sendWhenDue);
}

DesktopNotifications::DesktopNotifications(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), bus_(std::make_unique<Bus>(bus)) {
    updateTimer_.setSingleShot(true);
    connect(&updateTimer_, &QTimer::timeout, this, &DesktopNotifications::sendWhenDue);
}

DesktopNotifications::~DesktopNotifications() = default;

void DesktopNotifications::show(const QString& text) {
    latest_ = text;
    ++count_;
    pending_ = true;
    if (std::exchange(sessionBus_, false)) {
        bus_->connection = QDBusConnection::sessionBus();
    }
    if (!bus_->connection.isConnected()) {
        failed();
        return;
    }
    if (!connected_) {
        connected_ = true;
        bus_->connection.connect(kService, kPath, kInterface, u"ActionInvoked"_s, this,
                                 SLOT(onActionInvoked(uint, QString)));
        bus_->connection.connect(kService, kPath, kInterface, u"ActivationToken"_s, this,
                                 SLOT(onActivationToken(uint, QString)));
        bus_->connection.connect(kService, kPath, kInterface, u"NotificationClosed"_s, this,
                                 SLOT(onClosed(uint, uint)));
    }
    if (!capabilitiesKnown_) {
        requestCapabilities();
        return;
    }
    sendWhenDue();
}

void DesktopNotifications::requestCapabilities() {
    if (askingCapabilities_) {
        return;
    }
    askingCapabilities_ = true;
    auto* watcher = new QDBusPendingCallWatcher(
        bus_->connection.asyncCall(call(u"GetCapabilities"_s), kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* answer) {
                answer->deleteLater();
                askingCapabilities_ = false;
                const QDBusPendingReply<QStringList> reply = *answer;
                if (reply.isError()) {
                    failed();
                    return;
                }
                capabilitiesKnown_ = true;
                // A service that reads markup shows peer text as typed only
                // when its markup characters are escaped.
                markup_ = reply.value().contains(u"body-markup"_s);
                sendWhenDue();
            });
}

void DesktopNotifications::sendWhenDue() {
    if (!pending_ || inFlight_ || !capabilitiesKnown_) {
        return;
    }
    if (lastSent_.isValid() && lastSent_.elapsed() < kUpdateIntervalMs) {
        if (!updateTimer_.isActive()) {
            updateTimer_.start(static_cast<int>(kUpdateIntervalMs - lastSent_.elapsed()));
        }
        return;
    }
    send();
}

void DesktopNotifications::send() {
    const QString body = bodyText(latest_, count_);
    QVariantMap hints;
    hints.insert(u"desktop-entry"_s, QString::fromLatin1(kDesktopEntry));
    hints.insert(u"category"_s, u"im.received"_s);
    hints.insert(u"urgency"_s, QVariant::fromValue(kNormalUrgency));
    QDBusMessage notify = call(u"Notify"_s);
    notify << u"Зовница"_s << id_ << u"vesmar"_s << u"Зовница"_s
           << (markup_ ? body.toHtmlEscaped() : body) << QStringList{u"default"_s, u"Открыть"_s}
           << hints << -1;
    pending_ = false;
    inFlight_ = true;
    lastSent_.start();
    auto* watcher =
        new QDBusPendingCallWatcher(bus_->connection.asyncCall(notify, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, generation = generation_](QDBusPendingCallWatcher* answer) {
                sent(answer, generation);
            });
}

void DesktopNotifications::sent(QDBusPendingCallWatcher* answer, quint64 generation) {
    answer->deleteLater();
    inFlight_ = false;
    const QDBusPendingReply<uint> reply = *answer;
    if (reply.isError()) {
        failed();
        return;
    }
    if (generation != generation_) {
        // Withdrawn while the service was creating it.
        bus_->connection.asyncCall(call(u"CloseNotification"_s) << reply.value());
        sendWhenDue();
        return;
    }
    if (reply.value() != id_) {
        token_.clear();
    }
    id_ = reply.value();
    chosenId_ = id_;
    sendWhenDue();
}

void DesktopNotifications::failed() {
    // Counted afresh, so a service that starts later shows only what comes
    // after it.
    pending_ = false;
    count_ = 0;
    id_ = 0;
    updateTimer_.stop();
    emit unavailable();
}

void DesktopNotifications::withdraw() {
    ++generation_;
    updateTimer_.stop();
    pending_ = false;
    count_ = 0;
    lastSent_.invalidate();
    token_.clear();
    chosenId_ = 0;
    if (id_ != 0) {
        bus_->connection.asyncCall(call(u"CloseNotification"_s) << std::exchange(id_, 0u));
    }
}

// A service may report the notification closed before the action that
// closed it, so the action is taken for the last notification shown even
// after its close.
void DesktopNotifications::onActionInvoked(uint id, const QString& action) {
    if (id == 0 || id != chosenId_ || action != u"default"_s) {
        return;
    }
    emit activated(token_);
}

void DesktopNotifications::onActivationToken(uint id, const QString& token) {
    if (id != 0 && id == chosenId_) {
        token_ = token;
    }
}

void DesktopNotifications::onClosed(uint id, uint /*reason*/) {
    if (id == 0 || id != id_) {
        return;
    }
    // Dismissed or expired: the next event opens a new one, counted from
    // what still waits to be told.
    id_ = 0;
    count_ = pending_ ? 1 : 0;
    lastSent_.invalidate();
}
