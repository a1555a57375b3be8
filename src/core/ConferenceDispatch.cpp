#include "core/Conference.h"

#include "core/DiscoverySweep.h"
#include "core/PeerAddress.h"
#include "text/Cp1251.h"

#include <QDateTime>

using DatagramParser::Keyword;
using DatagramParser::KeywordMatch;

// The receive side of the conference: the dispatcher of both ports and what
// it does to the roster and the directory.

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
        sendToHandshakePortOrDrop(datagram.fromIP, Cp1251::encode(Protocol::receiptText(*id)));
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
        sendTellingRefusal(fromIP, Protocol::controlText(keyword, selfName_));
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
