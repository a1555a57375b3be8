#include "core/Session.h"

#include "core/ConferenceTexts.h"
#include "core/Protocol.h"
#include "core/SelfName.h"
#include "net/BindFailureMessage.h"
#include "net/UdpEndpoint.h"
#include "text/Exception.h"

#include <exception>
#include <utility>

Session::Session(const QString& dataFolder, std::unique_ptr<UdpEndpoint> endpoint, QObject* parent)
    : QObject(parent),
      endpoint_(std::move(endpoint)),
      conference_(*endpoint_),
      dataFiles_(dataFolder) {
    tickTimer_.setObjectName(QStringLiteral("tickTimer"));
    tickTimer_.setInterval(kFirstTickMs);
    connect(&tickTimer_, &QTimer::timeout, this, &Session::tick);
    watchTimer_.setObjectName(QStringLiteral("watchTimer"));
    watchTimer_.setInterval(static_cast<int>(RosterWatch::kLookEveryMs));
    connect(&watchTimer_, &QTimer::timeout, &conference_, &Conference::watchRoster);
    livenessTimer_.setObjectName(QStringLiteral("livenessTimer"));
    livenessTimer_.setInterval(kLivenessTickMs);
    connect(&livenessTimer_, &QTimer::timeout, &conference_, &Conference::tickLiveness);
    endpoint_->receiveHandler = [this](const ReceivedDatagram& datagram) {
        conference_.dispatch(datagram);
    };
    endpoint_->lossHandler = [this](quint64 lost) { emit datagramsLost(lost); };
    endpoint_->lookupWaitEndedHandler = [this] {
        if (closeDeferred_ && !endpoint_->isWaitingForLookup()) {
            closeDeferred_ = false;
            emit closeAllowed();
        }
    };
}

Session::~Session() {
    setHandshakeEndpoint(nullptr);
    endpoint_->receiveHandler = nullptr;
    endpoint_->lossHandler = nullptr;
    endpoint_->lookupWaitEndedHandler = nullptr;
}

void Session::setHandshakeEndpoint(std::unique_ptr<UdpEndpoint> endpoint) {
    conference_.setHandshakeEndpoint(nullptr);
    if (handshakeEndpoint_) {
        handshakeEndpoint_->receiveHandler = nullptr;
    }
    handshakeEndpoint_ = std::move(endpoint);
    if (handshakeEndpoint_) {
        handshakeEndpoint_->receiveHandler = [this](const ReceivedDatagram& datagram) {
            conference_.dispatchHandshake(datagram);
        };
        conference_.setHandshakeEndpoint(handshakeEndpoint_.get());
    }
}

Settings Session::start() {
    firstTick_ = true;
    const DataFiles::Loaded loaded = dataFiles_.load();
    loadErrors_ = loaded.errors;
    Settings settings = loaded.settings;
    conference_.setSelfName(settings.myName);
    if (cleanTypedSelfName(settings.myName) != settings.myName) {
        loadErrors_.append(ConferenceTexts::selfNameCleaned(conference_.selfName()));
    }
    settings.myName = conference_.selfName();
    conference_.directory().setLines(loaded.directoryLines);
    tickTimer_.setInterval(kFirstTickMs);
    tickTimer_.start();
    watchTimer_.start();
    livenessTimer_.start();
    return settings;
}

QString Session::bindFailureNotice(const QString& executablePath) const {
    return bindFailureMessage(endpoint_->bindState(), endpoint_->bindFailureReason(),
                              executablePath, Protocol::kPort);
}

void Session::tick() {
    tickTimer_.stop();
    emit clockTicked();
    if (!firstTick_) {
        tickTimer_.start();
        return;
    }
    // The tick is finished whatever registration does, so the clock never
    // stops; its error is raised afterwards.
    std::exception_ptr failure;
    try {
        registerWithDirectory();
    } catch (...) {
        failure = std::current_exception();
    }
    firstTick_ = false;
    tickTimer_.setInterval(kClockTickMs);
    tickTimer_.start();
    emit firstTickDone();
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void Session::registerWithDirectory() {
    if (conference_.registerAll() == PresenceOutcome::NameTooLong) {
        emit notice(ConferenceTexts::nameTooLong());
    }
}

bool Session::mayClose() {
    if (endpoint_->isWaitingForLookup()) {
        closeDeferred_ = true;
        return false;
    }
    return true;
}

Session::EndReport Session::end(Settings settings) {
    EndReport report;
    if (std::exchange(ended_, true)) {
        return report;
    }
    tickTimer_.stop();
    watchTimer_.stop();
    livenessTimer_.stop();
    conference_.setSelfName(settings.myName);
    settings.myName = conference_.selfName();
    // The files are written first; what went wrong is told only after the
    // exit notices have gone out, so a box nobody answers holds nothing back.
    const DataFiles::SaveReport saved = dataFiles_.save(conference_.directory().lines(), settings);
    report.notSaved = saved.notSaved;
    report.errors = saved.errors;
    try {
        if (conference_.sendExitNotices() == PresenceOutcome::NameTooLong) {
            report.errors.append(ConferenceTexts::nameTooLong());
        }
    } catch (const Exception& error) {
        report.errors.append(error.message());
    }
    return report;
}
