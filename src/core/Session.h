#pragma once

#include "core/Conference.h"
#include "core/DataFiles.h"
#include "core/Settings.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>

class UdpEndpoint;

// One running copy of the program without its window: the endpoint, the
// conference on it, the two data files and the life of the three from start
// to end. A window shows what it reports and hands it what the person does;
// a test drives it the same way without any window.
//
//     Session session(dataFolder, std::move(endpoint));
//     const Settings shown = session.start();  // files read, ticks running
//     ... the ticks register once, then only tick the clock ...
//     if (session.mayClose()) {                 // else wait for closeAllowed()
//         const Session::EndReport report = session.end(settingsFromWidgets);
//     }
class Session : public QObject {
    Q_OBJECT
  public:
    // The first tick comes this long after the start and registers; the
    // later ones refresh the clock.
    static constexpr int kFirstTickMs = 500;
    static constexpr int kClockTickMs = 1000;
    // The liveness probes among newer copies move on this often.
    static constexpr int kLivenessTickMs = 500;

    // dataFolder: where Vesmar.ini and ListCorr.dat are (ending in "/" or
    // not). endpoint: the network, owned from now on; its datagrams go to
    // the conference.
    Session(const QString& dataFolder, std::unique_ptr<UdpEndpoint> endpoint,
            QObject* parent = nullptr);
    ~Session() override;

    // The endpoint of the handshake port, owned from now on; its datagrams
    // go to the conference. Without one (the default), or with one whose
    // port is not bound, this copy behaves exactly as an older one.
    void setHandshakeEndpoint(std::unique_ptr<UdpEndpoint> endpoint);

    [[nodiscard]] Conference& conference() { return conference_; }
    [[nodiscard]] const UdpEndpoint& endpoint() const { return *endpoint_; }
    [[nodiscard]] DataFiles& dataFiles() { return dataFiles_; }

    // Reads the data files: the directory and the self name go to the
    // conference, the rest comes back for the window to show (myName as the
    // conference now holds it). Then starts the ticks. Every failure is
    // kept for loadErrors(); nothing here throws.
    [[nodiscard]] Settings start();

    // What start() met that the person must be told: errors reading the
    // data files, a self name that had to be cleaned. Standard error reports.
    [[nodiscard]] const QStringList& loadErrors() const { return loadErrors_; }
    // The plain message for a port that could not be bound; empty when it
    // was bound. executablePath goes into the advice how to grant the port.
    [[nodiscard]] QString bindFailureNotice(const QString& executablePath) const;

    // One tick: clockTicked(), and at the first tick the registration, then
    // firstTickDone(). The next tick is armed whatever the registration did;
    // its error is raised after that.
    void tick();
    [[nodiscard]] bool firstTick() const { return firstTick_; }
    // The timer of the ticks; a test stops it to tick by hand.
    [[nodiscard]] QTimer& tickTimer() { return tickTimer_; }
    // The timer of the roster watch's looks, from start() to end().
    [[nodiscard]] QTimer& watchTimer() { return watchTimer_; }

    // Registration to every directory address (the first tick, and the
    // window's button). A self name too long to send is told by notice().
    void registerWithDirectory();

    // True when the program may end now. While a send waits for a name
    // lookup it may not (the send would resume inside what was destroyed):
    // false, and closeAllowed() follows once the wait is over.
    [[nodiscard]] bool mayClose();

    // What ending has to tell the person, in this order, after the exit
    // notices have gone out: plain messages for files that were not saved,
    // then standard error reports.
    struct EndReport {
        QStringList notSaved;
        QStringList errors;
    };
    // Stops the ticks, saves the directory and the settings (whose myName is
    // the self-name field's text as it stands) and sends the exit notices.
    // Runs once; a second call does nothing and reports nothing.
    [[nodiscard]] EndReport end(Settings settings);

  signals:
    // Every tick: refresh the clock.
    void clockTicked();
    // The first tick has registered: the keyboard goes to the message line.
    void firstTickDone();
    // A plain message for the person.
    void notice(const QString& text);
    // Datagrams were lost on arrival: the total since the start.
    void datagramsLost(quint64 lostInAll);
    // A close refused by mayClose() may now go ahead.
    void closeAllowed();

  private:
    std::unique_ptr<UdpEndpoint> endpoint_;
    std::unique_ptr<UdpEndpoint> handshakeEndpoint_;
    Conference conference_;
    DataFiles dataFiles_;
    QTimer tickTimer_;
    QTimer watchTimer_;
    QTimer livenessTimer_;
    QStringList loadErrors_;
    bool firstTick_ = true;
    bool closeDeferred_ = false;
    bool ended_ = false;
};
