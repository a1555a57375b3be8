#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class QDBusConnection;
class QDBusPendingCallWatcher;

// Calls the user back through the desktop's notification service
// (org.freedesktop.Notifications on the session bus). One notification stands
// for everything that happened since the user last looked: each event
// replaces its text and raises its count, and the service is told at most
// once a second, so a flood of lines gives a few updates of one notification
// rather than one notification a line. Its default action asks for the
// window; withdraw() takes it back when the user has come.
//
// Every call is asynchronous: the GUI thread never waits for the service.
// Nothing touches the bus before the first event. Where no service answers,
// unavailable() is emitted and the caller asks for attention its own way.
//
// Windows has no such service: there the notification is a message of the
// program's tray icon, where it shows one (windows/DesktopNotifications.cpp).
class DesktopNotifications : public QObject {
    Q_OBJECT
  public:
    // The desktop file's id, named in each notification so the desktop shows
    // the program's name and icon and files the notification under it.
    static constexpr const char* kDesktopEntry = "org.vesmar.Vesmar";

    // On the session bus, connected at the first event.
    explicit DesktopNotifications(QObject* parent = nullptr);
    // The same on another bus.
    DesktopNotifications(const QDBusConnection& bus, QObject* parent);
    ~DesktopNotifications() override;

    // One more event to report; text is shown as plain text, whatever it holds.
    void show(const QString& text);
    // Withdraws the notification shown and starts counting afresh.
    void withdraw();

    // The notification's body for a count of events, the latest one's text
    // first.
    [[nodiscard]] static QString bodyText(const QString& latest, int count);

  signals:
    // The user chose the notification: bring the window forward. The token
    // is the activation token the service handed over, or empty.
    void activated(const QString& activationToken);
    // No notification service took the event.
    void unavailable();

  private slots:
    void onActionInvoked(uint id, const QString& action);
    void onActivationToken(uint id, const QString& token);
    void onClosed(uint id, uint reason);

  private:
    void requestCapabilities();
    void sendWhenDue();
    void send();
    void sent(QDBusPendingCallWatcher* answer, quint64 generation);
    void failed();

    struct Bus;  // the connection to the bus, where the system has one
    std::unique_ptr<Bus> bus_;
    bool sessionBus_ = false;  // bus_ is to be the session bus, at the first event
    bool connected_ = false;   // the service's signals are connected
    bool capabilitiesKnown_ = false;
    bool askingCapabilities_ = false;
    bool markup_ = false;    // the service reads the body as markup
    uint id_ = 0;            // the notification shown, 0 for none
    uint chosenId_ = 0;      // the last one shown, whose action counts
    bool inFlight_ = false;  // a Notify waits for its answer
    bool pending_ = false;   // an event not yet told to the service
    int count_ = 0;          // events since the user last looked
    QString latest_;
    QString token_;           // the activation token for id_
    quint64 generation_ = 0;  // counts withdrawals; stale answers are closed
    QElapsedTimer lastSent_;
    QTimer updateTimer_;
};
