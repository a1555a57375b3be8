#include "core/Conference.h"

#include "core/DiscoverySweep.h"
#include "core/PeerAddress.h"
#include "net/UdpEndpoint.h"
#include "net/UdpSocketError.h"
#include "text/Cp1251.h"
#include "text/Exception.h"
#include "text/Normalization.h"

#include <QDateTime>
#include <QSet>

using DatagramParser::Keyword;
using DatagramParser::KeywordMatch;

using namespace Qt::StringLiterals;

Conference::Conference(UdpEndpoint& endpoint, QObject* parent)
    : QObject(parent),
      endpoint_(endpoint),
      directory_(EntryList::Order::AsGiven, this),
      roster_(EntryList::Order::Sorted, this),
      directoryAddresses_(directory_),
      rosterAddresses_(roster_),
      handshake_([this](const QString& address,
                        const QByteArray& bytes) { sendToHandshakePort(address, bytes); },
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
          .send = [this](
                      const QString& address,
                      const QString& text) { sendToHandshakePort(address, Cp1251::encode(text)); },
          .proven = [this](const QString& address) { handshake_.proven(address); },
          .gone = [this](const QString& address) { removeGoneMember(address); },
      }),
      receipts_([this](const QString& address,
                       const QByteArray& bytes) { sendIfPossible(address, bytes); },
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

void Conference::sendQuietly(const QString& address, const QString& text) {
    // A text longer than a datagram is never cut; callers check first.
    if (!Protocol::fits(text)) {
        throw Exception(
            u"Датаграмма длиннее %1 знаков не отправляется."_s.arg(Protocol::kMaxTextLength));
    }
    endpoint_.send(address, Cp1251::encode(text));
}

void Conference::sendIfPossible(const QString& address, const QByteArray& bytes) {
    try {
        endpoint_.send(address, bytes);
    } catch (const Exception&) {
        // Nobody waits for it; the peer simply does not get it.
    }
}

void Conference::sendToHandshakePort(const QString& address, const QByteArray& bytes) {
    if (handshakeEndpoint_ == nullptr) {
        return;
    }
    try {
        handshakeEndpoint_->send(address, bytes);
    } catch (const Exception&) {
        // Nobody waits for it; the peer simply does not get it.
    }
}

void Conference::send(const QString& address, const QString& text) {
    if (!Protocol::fits(text)) {
        sendQuietly(address, text);  // raises
    }
    sendBytes(address, Cp1251::encode(text));
}

void Conference::sendBytes(const QString& address, const QByteArray& bytes) {
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
        QString name;
        QString address;
        splitEntry(directory_.line(i), name, address);
        if (!PeerAddress::isDirectoryAddress(address)) {
            continue;
        }
        try {
            if (keyword == Protocol::kMyNameIs2) {
                reachability_.requestSent(address, clock_());
            }
            sendQuietly(address, text);
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
        send(address, outgoing.text);
        if (outgoing.confirmable) {
            handshake_.lineSentPlain(address);
        }
        return;
    }
    // An id of this recipient's own: no other recipient can confirm it.
    const quint32 id = receipts_.newLineId();
    const QByteArray tagged = Protocol::chatWithLineId(Cp1251::encode(outgoing.text), id);
    sendBytes(address, tagged);
    outgoing.tracked.append({address, name, id, tagged});
}

Conference::Delivery Conference::sendToRecipients(Recipients recipients, Outgoing& outgoing) {
    if (recipients == Recipients::Selected) {
        const int selected = roster_.selectedIndex();
        if (selected < 0) {
            return Delivery::NoRecipient;
        }
        QString name;
        QString address;
        splitEntry(roster_.line(selected), name, address);
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
        QString name;
        QString address;
        splitEntry(roster_.line(i), name, address);
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
    QString name;
    QString address;
    splitEntry(line, name, address);
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
    send(address, Protocol::controlText(Protocol::kAutoDetect1));
    reachability_.requestSent(address, clock_());
    return LinkCheckOutcome::Sent;
}

// ---- receive dispatcher ---------------------------------------------------

void Conference::dispatch(const ReceivedDatagram& datagram) {
    if (datagram.size <= 0) {
        return;  // an empty datagram, or a failed read
    }
    // From here on only this copy is used: nested dispatches come with
    // datagrams of their own.
    const QString text = DatagramParser::receivedText(datagram.bytes, datagram.size);
    reachability_.heard(datagram.fromIP, QDateTime::currentDateTimeUtc());
    watch_.heard(datagram.fromIP, clock_());
    const std::optional<QString> control = DatagramParser::controlText(text);
    if (!control) {
        receiveChat(datagram, text);
        return;
    }
    // The handshake and receipts belong to the other port: here, as in an
    // older copy, a control text without a keyword does nothing.
    for (const KeywordMatch& match : DatagramParser::matchKeywords(*control)) {
        apply(match, datagram.fromIP);
    }
}

void Conference::receiveChat(const ReceivedDatagram& datagram, const QString& text) {
    const auto id = DatagramParser::lineId(datagram.bytes, datagram.size);
    if (id && handshake_.enabled()) {
        // Every copy is confirmed, since the sender resends until one of
        // the receipts reaches it; only the first is shown. The receipt goes
        // to the handshake port, so a line tagged in an older copy's name
        // makes nothing new reach that older copy. A tagged line proves
        // nothing of its sender: anyone can write one.
        sendToHandshakePort(datagram.fromIP, Cp1251::encode(Protocol::receiptText(*id)));
        handshake_.taggedLineReceived(datagram.fromIP);
        if (!receipts_.firstCopy(datagram.fromIP, *id)) {
            return;
        }
    }
    emit chatLineReceived(text);
}

void Conference::dispatchHandshake(const ReceivedDatagram& datagram) {
    if (datagram.size <= 0 || !handshake_.enabled()) {
        return;
    }
    const QString text = DatagramParser::receivedText(datagram.bytes, datagram.size);
    const std::optional<QString> control = DatagramParser::controlText(text);
    if (!control) {
        return;  // chat has no business here
    }
    if (const auto newer = DatagramParser::newerKind(*control)) {
        receiveNewer(*newer, datagram.fromIP);
    }
}

void Conference::receiveNewer(const DatagramParser::NewerKind& newer, const QString& fromIP) {
    using Kind = DatagramParser::NewerKind::Kind;
    switch (newer.kind) {
        case Kind::Hello:
            handshake_.helloReceived(fromIP, newer.lineId);
            if (liveness_.self().isEmpty()) {
                liveness_.setSelf(handshake_.selfAddress());
            }
            break;
        case Kind::HelloAnswer:
            handshake_.answerReceived(fromIP, newer.echo, newer.lineId);
            break;
        case Kind::Echo:
            handshake_.echoReceived(fromIP, newer.echo);
            break;
        case Kind::Receipt:
            // Only the recipient the id went to knows it: its receipt proves
            // that a newer copy is at that address.
            if (receipts_.receiptReceived(fromIP, newer.lineId)) {
                handshake_.proven(fromIP);
            }
            break;
        case Kind::Ping:
            liveness_.pingReceived(fromIP, newer.lineId, clock_());
            break;
        case Kind::Pong:
            liveness_.pongReceived(fromIP, newer.lineId, clock_());
            break;
        case Kind::Ask:
            liveness_.askReceived(fromIP, newer.lineId, newer.address, clock_());
            break;
        case Kind::Gone:
            liveness_.goneReceived(fromIP, newer.address, clock_());
            break;
    }
}

void Conference::tickLiveness() {
    if (handshake_.enabled()) {
        liveness_.tick(clock_(), wallClock_());
    }
}

QStringList Conference::newerMembers() {
    QStringList members = rosterIndex_.addresses();
    members.removeIf([this](const QString& address) { return !handshake_.confirms(address); });
    return members;
}

bool Conference::isNewerMember(const QString& address) {
    return handshake_.confirms(address) && rosterIndex_.isMember(address);
}

void Conference::removeGoneMember(const QString& address) {
    for (const QString& line : rosterIndex_.linesOf(address)) {
        roster_.remove(roster_.indexOf(line));
    }
    rosterIndex_.forget(address);
    watch_.vanished(address, clock_());
}

void Conference::watchRoster() {
    handshake_.look();
    const qint64 now = clock_();
    if (watch_.members() != rosterIndex_.addressCount()) {
        // The roster was changed behind the conference's back: the watch
        // follows it again.
        const QStringList addresses = rosterIndex_.addresses();
        const QSet<QString> current(addresses.begin(), addresses.end());
        for (const QString& address : watch_.memberAddresses()) {
            if (!current.contains(address)) {
                watch_.left(address);
            }
        }
        for (const QString& address : addresses) {
            if (PeerAddress::isRosterAddress(address)) {
                watch_.joined(address, now);
            }
        }
    }
    const RosterWatch::Plan plan =
        watch_.look(now, [this](const QString& address) { return handshake_.confirms(address); });
    for (const QString& address : plan.gone) {
        for (const QString& line : rosterIndex_.linesOf(address)) {
            roster_.remove(roster_.indexOf(line));
        }
        rosterIndex_.forget(address);
    }
    if (!plan.probe.isEmpty() && Protocol::selfNameFits(selfName_)) {
        const QByteArray registration =
            Cp1251::encode(Protocol::controlText(Protocol::kMyNameIs2, selfName_));
        for (const QString& address : plan.probe) {
            if (!PeerAddress::isRosterAddress(address)) {
                continue;
            }
            reachability_.requestSent(address, now);
            sendIfPossible(address, registration);
            handshake_.greet(address);
        }
    }
}

void Conference::apply(const KeywordMatch& match, const QString& fromIP) {
    switch (match.keyword) {
        case Keyword::AutoDetect1:
            reply(fromIP, Protocol::kMyNameIs1);
            break;
        case Keyword::MyNameIs1:
            reachability_.answerReceived(fromIP, clock_());
            if (!admitAnswer(fromIP, takeLinkCheck(fromIP))) {
                break;
            }
            // Whichever line is selected now takes the answer; with none
            // selected it is appended and nothing becomes selected.
            directory_.replace(directory_.selectedIndex(),
                               makeEntry(cleanPeerName(match.argument), fromIP));
            emit linkCheckAnswered(fromIP, match.argument);
            break;
        case Keyword::AutoDetect0:
            reply(fromIP, Protocol::kMyNameIs0);
            break;
        case Keyword::MyNameIs0:
            addNameAnswer(match.argument, fromIP);
            break;
        case Keyword::MyNameIs2:
            handshake_.presenceReceived(fromIP,
                                        roster_.indexOf(rosterEntry(match.argument, fromIP)) < 0);
            addToRoster(match.argument, fromIP);
            reply(fromIP, Protocol::kMyNameIs3);
            break;
        case Keyword::MyNameIs3: {
            // An answer to a registration we sent there lately: the address
            // hears us, so the watch may call it back once it left.
            const bool toOurs = reachability_.answerReceived(fromIP, clock_());
            handshake_.presenceReceived(fromIP, false);
            addToRoster(match.argument, fromIP);
            if (toOurs) {
                watch_.answered(fromIP);
            }
            break;
        }
        case Keyword::IAmExit:
            if (const int at = roster_.indexOf(rosterEntry(match.argument, fromIP)); at >= 0) {
                removeFromRoster(roster_.line(at), fromIP);
            }
            break;
        case Keyword::NewAddr:
            if (!directory_.contains(match.argument) && admitRelayed(fromIP)) {
                directory_.add(match.argument);
            }
            break;
        case Keyword::EditAddr:
            // A move costs a search of the directory, so moves count too.
            if (admitRelayed(fromIP)) {
                directory_.remove(directory_.indexOf(match.argument));
                directory_.add(match.argument);
            }
            break;
    }
}

void Conference::reply(const QString& fromIP, const QString& keyword) {
    // A self name too long for the reply is not cut; the peer gets nothing.
    // The commands that send the name tell the user.
    if (Protocol::selfNameFits(selfName_)) {
        send(fromIP, Protocol::controlText(keyword, selfName_));
        // Whoever registered learns on the handshake port that this copy
        // confirms lines; on the conference port it gets exactly the answer.
        if (keyword == Protocol::kMyNameIs3) {
            handshake_.greet(fromIP);
        }
    }
}

QString Conference::rosterEntry(const QString& name, const QString& fromIP) {
    return makeEntry(cleanPeerName(name), fromIP);
}

void Conference::addToRoster(const QString& name, const QString& fromIP) {
    const QString entry = rosterEntry(name, fromIP);
    if (roster_.indexOf(entry) >= 0) {
        return;
    }
    const QStringList held = rosterIndex_.linesOf(fromIP);
    if (held.size() >= RosterIndex::kLinesPerAddress) {
        // A peer that renamed itself once more: its oldest name gives way,
        // so the newest is always there and the exit notice finds it. A
        // person renames seldom; a stream of new names from one address
        // would only churn the roster, repaint its view and alert at every
        // name, so one change per kRenameEveryMs is taken and the others
        // wait for the peer's next answer.
        const qint64 now = clock_();
        const auto last = renamedAt_.constFind(fromIP);
        if (last != renamedAt_.cend() && now - *last < kRenameEveryMs) {
            return;
        }
        if (renamedAt_.size() >= RosterIndex::kMaxLines) {
            renamedAt_.removeIf(
                [&](const auto& item) { return now - item.value() >= kRenameEveryMs; });
        }
        renamedAt_.insert(fromIP, now);
        removeFromRoster(held.first(), fromIP);
    } else if (roster_.count() >= RosterIndex::kMaxLines) {
        emit rosterLinesRefused(++rosterLinesRefused_);
        return;
    }
    roster_.add(entry);
    rosterIndex_.added(fromIP, entry);
    watch_.joined(fromIP, clock_());
    emit correspondentAdded(name);
}

void Conference::removeFromRoster(const QString& line, const QString& address) {
    roster_.remove(roster_.indexOf(line));
    rosterIndex_.removed(address, line);
    if (!rosterIndex_.isMember(address)) {
        watch_.left(address);
    }
}

bool Conference::admitRelayed(const QString& fromIP) {
    // Peers share with their roster, so a sender that is in none of ours
    // has nothing to share with us.
    if (rosterIndex_.isMember(fromIP)) {
        if (relayLimit_.admit(fromIP, clock_())) {
            return true;
        }
    } else {
        relayLimit_.refuse(fromIP);
    }
    emit entriesRefused(fromIP, relayLimit_.refused(fromIP));
    return false;
}

bool Conference::admitAnswer(const QString& fromIP, bool asked) {
    if (asked || relayLimit_.admitAnswer(fromIP, clock_())) {
        return true;
    }
    emit entriesRefused(fromIP, relayLimit_.refused(fromIP));
    return false;
}

bool Conference::takeLinkCheck(const QString& fromIP) {
    const auto found = linkChecks_.find(fromIP);
    if (found == linkChecks_.end()) {
        return false;
    }
    const bool inTime = clock_() - found.value() <= Reachability::kAnswerWithinMs;
    linkChecks_.erase(found);
    return inTime;
}

void Conference::addNameAnswer(const QString& name, const QString& fromIP) {
    // Every sweep asks everyone again; a line that is there already is
    // selected instead of being added a second time.
    const QString entry = makeEntry(cleanPeerName(name), fromIP);
    int index = directory_.indexOf(entry);
    const bool added = index < 0;
    if (added) {
        const bool asked = sweep_ != nullptr && sweep_->asked(fromIP);
        if (!admitAnswer(fromIP, asked)) {
            return;
        }
        index = directory_.add(entry);
    }
    directory_.setSelectedIndex(index);
    emit nameAnswered(fromIP, added);
}
