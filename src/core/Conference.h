#pragma once

#include "core/ConferenceTexts.h"
#include "core/DatagramParser.h"
#include "core/Entry.h"
#include "core/EntryList.h"
#include "core/Handshake.h"
#include "core/ListAddresses.h"
#include "core/Liveness.h"
#include "core/Protocol.h"
#include "core/Reachability.h"
#include "core/Receipts.h"
#include "core/RelayLimit.h"
#include "core/RosterIndex.h"
#include "core/RosterWatch.h"
#include "core/SelfName.h"
#include "core/SteadyClock.h"
#include "net/ReceivedDatagram.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

class DiscoverySweep;
class UdpEndpoint;

// Who a chat line or a shared entry goes to: every roster member ("Всем"),
// or the one selected in the roster ("Выборочно").
enum class Recipients { Everyone, Selected };

// What a command that sends the self name to the directory did.
enum class PresenceOutcome {
    Done,         // every directory line with an address was sent to (or failed, see below)
    NothingToDo,  // the directory is empty
    NameTooLong,  // the self name cannot fit; nothing was sent
};

// What the chat command did; the window acts on it.
enum class ChatOutcome {
    Sent,           // clear the field and focus it
    NothingToSend,  // empty roster, or no usable selection: clear and focus, no report
    EmptyMessage,   // beep once, clear and focus
    NameTooLong,    // show ConferenceTexts::nameTooLong(); keep the field
    TooLong,        // show ConferenceTexts::chatTooLong(); keep the field
};

// What the link check did.
enum class LinkCheckOutcome {
    Sent,                    // the request went out
    NothingSelected,         // empty directory or no selection: no report
    IncorrectCorrespondent,  // show ConferenceTexts::incorrectCorrespondent()
};

// What a sharing command did.
struct SharingOutcome {
    // NameTooLong: show ConferenceTexts::nameTooLong(); nothing was sent.
    PresenceOutcome outcome = PresenceOutcome::NothingToDo;
    // Entries left out because their datagram would not fit; when above 0,
    // show ConferenceTexts::entriesNotSent(entriesNotSent).
    int entriesNotSent = 0;
};

// The conference protocol of one copy of the program: the directory, the
// roster, the self name, every sender and the receive dispatcher. It reaches
// the network only through the endpoint, sending each datagram in one call,
// and reports to the window only through the outcomes and signals below; it
// shows nothing and never asks upward.
//
// Errors of the endpoint are exceptions and leave the operation, except in
// registration and exit notices, which go on with the remaining lines and
// raise one Exception naming every failed address after the loop.
//
// With copies that have proved they understand them (see Handshake, on a
// port of its own that only newer copies bind), chat lines are confirmed,
// resent until they are and shown once (see Receipts); every other peer gets
// exactly what it always got, on the conference port. The roster watch (watchRoster) removes
// members that stopped answering, and reachability() tells what each address showed of itself.
//
// What any host on the network can make it hold or send is bounded: names
// from the wire are cleaned (cleanPeerName) and a roster line's address is
// always the datagram's source; only addresses that read strictly
// (PeerAddress) are sent to; the roster holds a few names per address and
// RosterIndex::kMaxLines in all; relayed entries come from roster members
// only, within RelayLimit's shares, and so do answers nobody here asked for.
//
// Dispatch may nest: a slot of chatLineReceived or linkCheckAnswered may run
// an event loop in which further datagrams are dispatched. The dispatcher
// works on its own copy of the text and keeps no index across a signal.
class Conference : public QObject {
    Q_OBJECT
  public:
    // A roster address that holds two names takes a third (in place of the
    // oldest) at most this often.
    static constexpr qint64 kRenameEveryMs = 10'000;

    explicit Conference(UdpEndpoint& endpoint, QObject* parent = nullptr);

    // The correspondent directory, in the user's order.
    [[nodiscard]] EntryList& directory() { return directory_; }
    // Who takes part now, sorted; filled and emptied by received datagrams.
    [[nodiscard]] EntryList& roster() { return roster_; }

    // The self name from the text of the self-name field (or the settings
    // file): normalised here, and only here (normalizeSelfName), so no name
    // that goes out reads as a request.
    void setSelfName(const QString& text) { selfName_ = normalizeSelfName(text); }
    [[nodiscard]] const QString& selfName() const { return selfName_; }

    // Registration ("MYNAMEIS2:" + self name) to every directory address.
    PresenceOutcome registerAll();
    // Exit notice ("IAMEXIT:" + self name) to every directory address.
    PresenceOutcome sendExitNotices();

    // Sends the message (blanks cut here) to every roster member, or with the
    // private marker to the selected one.
    ChatOutcome sendChat(const QString& messageText, Recipients recipients);

    // Asks the selected directory line's address for its name ("AUTODETECT1").
    LinkCheckOutcome checkLink();

    // Sends every directory entry ("NEWADDR:") to the recipients.
    SharingOutcome shareDirectory(Recipients recipients);
    // Sends the selected directory entry to the recipients.
    SharingOutcome shareSelectedEntry(Recipients recipients);

    // The receive dispatcher: applies one datagram received on the
    // conference port, exactly as an older copy would, plus the line ids.
    void dispatch(const ReceivedDatagram& datagram);

    // The endpoint of the handshake port (Protocol::kHandshakePort), or
    // none. Without one, or with one whose port could not be bound, this
    // copy behaves exactly as an older one: no address ever confirms. The
    // endpoint must outlive the conference or be set to none before it goes.
    void setHandshakeEndpoint(UdpEndpoint* endpoint);
    // Applies one datagram received on the handshake port: the hello, its
    // answer and echo, and receipts. Everything else is dropped there.
    void dispatchHandshake(const ReceivedDatagram& datagram);

    // One look of the roster watch: a registration to the members silent a
    // while, and the members silent for too long leave the roster. Called
    // every RosterWatch::kLookEveryMs. The newer copies among them are
    // watched by the liveness probes instead (tickLiveness).
    void watchRoster();
    // Moves the liveness probes among newer copies on (see Liveness). Called
    // a few times a second.
    void tickLiveness();

    // The network search whose answers are taken without a limit while it
    // runs (the addresses it asked, once each). The sweep sets itself.
    void setSweep(DiscoverySweep* sweep);

    [[nodiscard]] Receipts& receipts() { return receipts_; }
    [[nodiscard]] const Handshake& handshake() const { return handshake_; }
    [[nodiscard]] const Receipts& receipts() const { return receipts_; }
    [[nodiscard]] const Reachability& reachability() const { return reachability_; }
    [[nodiscard]] const Liveness& liveness() const { return liveness_; }
    // The clock of resends and silences; a test moves its own.
    void setClock(SteadyClock clock);
    // The time of day in ms since the epoch, which the copies on a network
    // share: the liveness probes' periods follow it. A test sets its own.
    void setWallClock(SteadyClock clock) { wallClock_ = std::move(clock); }

  signals:
    // A chat text arrived: append it to the log and alert.
    void chatLineReceived(const QString& line);
    // A new roster line was added for this name (as received): alert.
    void correspondentAdded(const QString& name);
    // A link-check answer was applied to the directory: show
    // ConferenceTexts::linkCheckResult(fromIP, name).
    void linkCheckAnswered(const QString& fromIP, const QString& name);
    // An answer to the name request ("MYNAMEIS0:") was applied to the
    // directory; added is false when its line was there already.
    void nameAnswered(const QString& fromIP, bool added);
    // A single send was refused before anything went out: its host name
    // could not be resolved (ConferenceTexts::invalidHost()) or it had
    // nothing to send (ConferenceTexts::bufferInvalid()). Show the notice;
    // the error itself follows as usual. The loops over the directory stay
    // quiet and report their failures together instead.
    void sendRefused(const QString& notice);
    // A relayed entry from this sender was refused: it sent more new lines
    // within a minute than RelayLimit admits. refusedInAll counts since the
    // start.
    // Relayed entries from a sender that has no roster line, and answers
    // to a name request or link check that nobody here asked for beyond
    // the total share, are refused and told the same way.
    void entriesRefused(const QString& fromIP, int refusedInAll);
    // A new roster line was refused: the roster holds RosterIndex::kMaxLines
    // lines. refusedInAll counts since the start.
    void rosterLinesRefused(int refusedInAll);

  private:
    enum class Delivery { Sent, NoRecipient, TooLong };

    // One text on its way to the recipients of a command. A chat line to a
    // confirming peer carries an id of that recipient's own.
    struct Outgoing {
        QString text;
        bool confirmable = false;
        QList<Receipts::Copy> tracked;
    };

    // Sends keyword + self name to every directory address; failures are
    // collected and raised together after the loop.
    PresenceOutcome sendToDirectory(const QString& keyword);
    // Sends text to the selected roster member (selective) or to every one.
    Delivery sendToRecipients(Recipients recipients, Outgoing& outgoing);
    void deliver(const QString& name, const QString& address, Outgoing& outgoing);
    // Shares one entry, already cut; false when its datagram would not fit.
    bool shareEntry(const QString& entry, Recipients recipients);
    // Sends text to address, telling sendRefused what the endpoint refused.
    void send(const QString& address, const QString& text);
    void sendBytes(const QString& address, const QByteArray& bytes);
    // The same, quietly: the caller reports the failure.
    void sendQuietly(const QString& address, const QString& text);
    // For what a peer does not wait for (a probe): a failure is only a
    // datagram that did not go.
    void sendIfPossible(const QString& address, const QByteArray& bytes);
    // The same to the handshake port; nothing without its endpoint.
    void sendToHandshakePort(const QString& address, const QByteArray& bytes);

    void receiveChat(const ReceivedDatagram& datagram, const QString& text);
    void receiveNewer(const DatagramParser::NewerKind& newer, const QString& fromIP);
    void apply(const DatagramParser::KeywordMatch& match, const QString& fromIP);
    // Sends keyword + self name to a peer, unless the name cannot fit.
    void reply(const QString& fromIP, const QString& keyword);
    // The roster line of a name from the wire: cleaned, at the source.
    [[nodiscard]] static QString rosterEntry(const QString& name, const QString& fromIP);
    void addToRoster(const QString& name, const QString& fromIP);
    // Removes one line (text as held) and tells the index and the watch.
    void removeFromRoster(const QString& line, const QString& address);
    // Removes every line of a member that the liveness probes found gone.
    void removeGoneMember(const QString& address);
    // The newer copies in the roster: the members the liveness probes watch.
    [[nodiscard]] QStringList newerMembers();
    [[nodiscard]] bool isNewerMember(const QString& address);
    void addNameAnswer(const QString& name, const QString& fromIP);
    // False, with entriesRefused told, when the sender is no roster member
    // or has had its share, or all senders together have.
    bool admitRelayed(const QString& fromIP);
    // For an answer to a request: true when it was asked for (and the
    // request is used up), or else fits the total share of relayed lines.
    bool admitAnswer(const QString& fromIP, bool asked);
    // True once for a link-check answer from an address asked lately.
    bool takeLinkCheck(const QString& fromIP);

    UdpEndpoint& endpoint_;
    UdpEndpoint* handshakeEndpoint_ = nullptr;
    EntryList directory_;
    EntryList roster_;
    ListAddresses directoryAddresses_;
    ListAddresses rosterAddresses_;
    QString selfName_ = kDefaultSelfName;
    SteadyClock clock_ = systemSteadyClock();
    SteadyClock wallClock_;
    Handshake handshake_;
    Liveness liveness_;
    Receipts receipts_;
    RosterWatch watch_;
    Reachability reachability_;
    RelayLimit relayLimit_;
    RosterIndex rosterIndex_{roster_};
    int rosterLinesRefused_ = 0;
    // When each roster address last had its oldest name replaced; only
    // addresses that hold two names are here, and only recently.
    QHash<QString, qint64> renamedAt_;
    // Link checks sent and not yet answered: address, time sent.
    QHash<QString, qint64> linkChecks_;
    QPointer<DiscoverySweep> sweep_;
};
