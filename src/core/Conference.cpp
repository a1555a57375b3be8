#include "core/Conference.h"

#include "core/DiscoverySweep.h"
#include "core/PeerAddress.h"
#include "net/UdpEndpoint.h"
#include "net/UdpSocketError.h"
#include "text/Cp1251.h"
#include "text/Exception.h"
#include "text/Normalization.h"

#include <QDateTime>

using namespace Qt::StringLiterals;

Conference::Conference(UdpEndpoint& endpoint, QObject* parent)
    : QObject(parent),
      endpoint_(endpoint),
      directory_(EntryList::Order::AsGiven, this),
      roster_(EntryList::Order::Sorted, this),
      directoryAddresses_(directory_),
      rosterAddresses_(roster_),
      handshake_([this](const QString& address,
                        const QByteArray& bytes) { sendToHandshakePortOrDrop(address, bytes); },
                 [this](const QString& address) {
                     return rosterAddresses_.contains(address) ||
                            directoryAddresses_.contains(address);
                 }),
      liveness_(Liveness::Peers{
          .members = [this] { return newerMembers(); },
          .isMember = [this](const QString& address) { return isNewerMember(address); },
          .admits =
              [this](const QString& address) {
                  return rosterAddresses_.contains(address) ||
                         directoryAddresses_.contains(address);
              },
          .send =
              [this](const QString& address, const QString& text) {
                  sendToHandshakePortOrDrop(address, Cp1251::encode(text));
              },
          .proven = [this](const QString& address) { handshake_.proven(address); },
          .gone = [this](const QString& address) { removeGoneMember(address); },
      }),
      receipts_(
          [this](const QString& address, const QByteArray& bytes) { sendOrDrop(address, bytes); },
          this) {
    wallClock_ = [] { return QDateTime::currentMSecsSinceEpoch(); };
    // A recipient whose copy is being checked again gets no resends until
    // it has answered: an older copy may have started there.
    receipts_.setMayResend([this](const QString& address) { return handshake_.confirms(address); });
    receipts_.setKeepsSender(
        [this](const QString& address) { return rosterAddresses_.contains(address); });
}

void Conference::setSweep(DiscoverySweep* sweep) {
    sweep_ = sweep;
}

void Conference::setClock(SteadyClock clock) {
    clock_ = clock;
    handshake_.setClock(clock);
    receipts_.setClock(std::move(clock));
}

void Conference::setHandshakeEndpoint(UdpEndpoint* endpoint) {
    handshakeEndpoint_ = endpoint;
    handshake_.setEnabled(endpoint != nullptr &&
                          endpoint->bindState() == UdpEndpoint::BindState::Bound);
}

// ---- the send step --------------------------------------------------------

void Conference::sendOrRaise(const QString& address, const QString& text) {
    // A text longer than a datagram is never cut; callers check first.
    if (!Protocol::fits(text)) {
        throw Exception(
            u"Датаграмма длиннее %1 знаков не отправляется."_s.arg(Protocol::kMaxTextLength));
    }
    endpoint_.send(address, Cp1251::encode(text));
}

void Conference::sendOrDrop(const QString& address, const QByteArray& bytes) {
    try {
        endpoint_.send(address, bytes);
    } catch (const Exception&) {
        // Nobody waits for it; the peer simply does not get it.
    }
}

void Conference::sendToHandshakePortOrDrop(const QString& address, const QByteArray& bytes) {
    if (handshakeEndpoint_ == nullptr) {
        return;
    }
    try {
        handshakeEndpoint_->send(address, bytes);
    } catch (const Exception&) {
        // Nobody waits for it; the peer simply does not get it.
    }
}

void Conference::sendTellingRefusal(const QString& address, const QString& text) {
    if (!Protocol::fits(text)) {
        sendOrRaise(address, text);  // raises
    }
    sendBytesTellingRefusal(address, Cp1251::encode(text));
}

void Conference::sendBytesTellingRefusal(const QString& address, const QByteArray& bytes) {
    try {
        endpoint_.send(address, bytes);
    } catch (const HostNotFoundError&) {
        emit sendRefused(ConferenceTexts::invalidHost());
        throw;
    } catch (const EmptyDatagramError&) {
        emit sendRefused(ConferenceTexts::bufferInvalid());
        throw;
    }
}

// ---- presence -------------------------------------------------------------

PresenceOutcome Conference::registerAll() {
    return sendToDirectory(Protocol::kMyNameIs2);
}

PresenceOutcome Conference::sendExitNotices() {
    return sendToDirectory(Protocol::kIAmExit);
}

PresenceOutcome Conference::sendToDirectory(const QString& keyword) {
    if (directory_.count() == 0) {
        return PresenceOutcome::NothingToDo;
    }
    if (!Protocol::selfNameFits(selfName_)) {
        return PresenceOutcome::NameTooLong;
    }
    const QString text = Protocol::controlText(keyword, selfName_);
    // One line that cannot be sent to (a host name that does not resolve)
    // must not cut off every line after it, so the loop goes on and the
    // failures are reported once at its end, without a notice of their own.
    QList<ConferenceTexts::SendFailure> failures;
    for (int i = 0; i < directory_.count(); ++i) {
        const QString address = splitEntry(directory_.line(i)).address;
        if (!PeerAddress::isDirectoryAddress(address)) {
            continue;
        }
        try {
            if (keyword == Protocol::kMyNameIs2) {
                reachability_.requestSent(address, clock_());
            }
            sendOrRaise(address, text);
            // The hello goes to the handshake port only: the conference port
            // gets exactly the registration, as ever.
            if (keyword == Protocol::kMyNameIs2) {
                handshake_.greet(address);
            }
        } catch (const Exception& error) {
            failures.append({address, error.message()});
        }
    }
    if (!failures.isEmpty()) {
        throw Exception(ConferenceTexts::sendFailures(failures));
    }
    return PresenceOutcome::Done;
}

// ---- chat and sharing -----------------------------------------------------

void Conference::deliver(const QString& name, const QString& address, Outgoing& outgoing) {
    if (!outgoing.confirmable || !handshake_.confirms(address)) {
        sendTellingRefusal(address, outgoing.text);
        if (outgoing.confirmable) {
            handshake_.lineSentPlain(address);
        }
        return;
    }
    // An id of this recipient's own: no other recipient can confirm it.
    const quint32 id = receipts_.newLineId();
    const QByteArray tagged = Protocol::chatWithLineId(Cp1251::encode(outgoing.text), id);
    sendBytesTellingRefusal(address, tagged);
    outgoing.tracked.append({address, name, id, tagged});
}

Conference::Delivery Conference::sendToRecipients(Recipients recipients, Outgoing& outgoing) {
    if (recipients == Recipients::Selected) {
        const int selected = roster_.selectedIndex();
        if (selected < 0) {
            return Delivery::NoRecipient;
        }
        const auto [name, address, isEntry] = splitEntry(roster_.line(selected));
        if (!PeerAddress::isRosterAddress(address)) {
            return Delivery::NoRecipient;
        }
        if (!Protocol::fits(outgoing.text)) {
            return Delivery::TooLong;
        }
        deliver(name, address, outgoing);
        return Delivery::Sent;
    }
    Delivery delivery = Delivery::NoRecipient;
    for (int i = 0; i < roster_.count(); ++i) {
        const auto [name, address, isEntry] = splitEntry(roster_.line(i));
        if (!PeerAddress::isRosterAddress(address)) {
            continue;
        }
        if (!Protocol::fits(outgoing.text)) {
            return Delivery::TooLong;
        }
        deliver(name, address, outgoing);
        delivery = Delivery::Sent;
    }
    return delivery;
}

ChatOutcome Conference::sendChat(const QString& messageText, Recipients recipients) {
    QString message = messageText;
    cutSpaces(message);
    if (message.isEmpty()) {
        return ChatOutcome::EmptyMessage;
    }
    if (roster_.count() == 0) {
        return ChatOutcome::NothingToSend;
    }
    if (!Protocol::selfNameFits(selfName_)) {
        return ChatOutcome::NameTooLong;
    }
    const bool isPrivate = recipients == Recipients::Selected;
    Outgoing line;
    line.text = Protocol::chatText(selfName_, message, isPrivate);
    line.confirmable = true;
    Delivery delivery = Delivery::NoRecipient;
    try {
        delivery = sendToRecipients(recipients, line);
    } catch (...) {
        // What went out before the failure is still waited for.
        receipts_.track(line.tracked);
        throw;
    }
    receipts_.track(line.tracked);
    switch (delivery) {
        case Delivery::Sent:
            return ChatOutcome::Sent;
        case Delivery::TooLong:
            return ChatOutcome::TooLong;
        case Delivery::NoRecipient:
            break;
    }
    return ChatOutcome::NothingToSend;
}

bool Conference::shareEntry(const QString& entry, Recipients recipients) {
    Outgoing sharing;
    sharing.text = Protocol::sharingText(selfName_, entry);
    return sendToRecipients(recipients, sharing) != Delivery::TooLong;
}

SharingOutcome Conference::shareDirectory(Recipients recipients) {
    SharingOutcome result;
    if (directory_.count() == 0 || roster_.count() == 0) {
        return result;
    }
    if (!Protocol::selfNameFits(selfName_)) {
        result.outcome = PresenceOutcome::NameTooLong;
        return result;
    }
    result.outcome = PresenceOutcome::Done;
    for (int i = 0; i < directory_.count(); ++i) {
        QString entry = directory_.line(i);
        cutSpaces(entry);
        if (!entry.isEmpty() && !shareEntry(entry, recipients)) {
            ++result.entriesNotSent;
        }
    }
    return result;
}

SharingOutcome Conference::shareSelectedEntry(Recipients recipients) {
    SharingOutcome result;
    if (directory_.count() == 0 || roster_.count() == 0 || directory_.selectedIndex() < 0) {
        return result;
    }
    QString entry = directory_.line(directory_.selectedIndex());
    cutSpaces(entry);
    if (entry.isEmpty()) {
        return result;
    }
    if (!Protocol::selfNameFits(selfName_)) {
        result.outcome = PresenceOutcome::NameTooLong;
        return result;
    }
    result.outcome = PresenceOutcome::Done;
    if (!shareEntry(entry, recipients)) {
        result.entriesNotSent = 1;
    }
    return result;
}

// ---- link check -----------------------------------------------------------

LinkCheckOutcome Conference::checkLink() {
    const int selected = directory_.selectedIndex();
    if (directory_.count() == 0 || selected < 0) {
        return LinkCheckOutcome::NothingSelected;
    }
    QString line = directory_.line(selected);
    cutSpaces(line);
    const QString address = splitEntry(line).address;
    if (!PeerAddress::isDirectoryAddress(address)) {
        return LinkCheckOutcome::IncorrectCorrespondent;
    }
    // Its answer is taken without a limit; a few checks a second at most
    // come from a person, so the table holds the last few seconds' only.
    const qint64 now = clock_();
    linkChecks_.removeIf(
        [now](const auto& item) { return now - item.value() > Reachability::kAnswerWithinMs; });
    if (linkChecks_.size() < 64) {
        linkChecks_.insert(address, now);
    }
    sendTellingRefusal(address, Protocol::controlText(Protocol::kAutoDetect1));
    reachability_.requestSent(address, clock_());
    return LinkCheckOutcome::Sent;
}
