#pragma once

#include "core/ConferenceTexts.h"
#include "core/DatagramParser.h"
#include "core/DatagramSender.h"
#include "core/Entry.h"
#include "core/EntryList.h"
#include "core/Protocol.h"
#include "core/SelfName.h"

#include <QObject>
#include <QString>

#include <array>
#include <functional>

class UdpEndpoint;

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
// roster, the self name, the two datagram buffers, every sender and the
// receive dispatcher. It reaches the network only through the endpoint and
// the window only through the outcomes and signals below; it shows nothing.
//
// Errors of the endpoint are exceptions and leave the operation, except in
// registration and exit notices, which go on with the remaining lines and
// raise one Exception naming every failed address after the loop.
//
// Dispatch may nest: a slot of chatLineReceived or linkCheckAnswered may run
// an event loop in which further datagrams are dispatched. The dispatcher
// works on its own copy of the text and keeps no index across a signal.
class Conference : public QObject {
    Q_OBJECT
  public:
    // recipientChoice gives the index of the recipient choice: above 0 is
    // "Выборочно" (the selected roster member), anything else "Всем". It is
    // read anew wherever the choice is needed.
    Conference(UdpEndpoint& endpoint, std::function<int()> recipientChoice,
               QObject* parent = nullptr);

    // The correspondent directory, in the user's order.
    [[nodiscard]] EntryList& directory() { return directory_; }
    // Who takes part now, sorted; filled and emptied by received datagrams.
    [[nodiscard]] EntryList& roster() { return roster_; }

    // The self name as sent, already normalised (normalizeSelfName). It is
    // cleaned here once more, so no name that goes out reads as a request.
    void setSelfName(const QString& name) { selfName_ = cleanSelfName(name); }
    [[nodiscard]] const QString& selfName() const { return selfName_; }

    // Registration ("MYNAMEIS2:" + self name) to every directory address.
    PresenceOutcome registerAll();
    // Exit notice ("IAMEXIT:" + self name) to every directory address.
    PresenceOutcome sendExitNotices();

    // Sends the message (blanks cut here) to every roster member, or with the
    // private marker to the selected one.
    ChatOutcome sendChat(const QString& messageText);

    // Asks the selected directory line's address for its name ("AUTODETECT1").
    LinkCheckOutcome checkLink();

    // Sends every directory entry ("NEWADDR:") to the chosen recipients.
    SharingOutcome shareDirectory();
    // Sends the selected directory entry to the chosen recipients.
    SharingOutcome shareSelectedEntry();

    // The receive dispatcher: reads the datagram just announced by the
    // endpoint and applies it. Call it from the endpoint's receiveHandler.
    void dispatch(int numberBytes, const QString& fromIP);

  signals:
    // A chat text arrived: append it to the log and alert.
    void chatLineReceived(const QString& line);
    // A new roster line was added for this name (as received): alert.
    void correspondentAdded(const QString& name);
    // A link-check answer was applied to the directory: show
    // ConferenceTexts::linkCheckResult(fromIP, name).
    void linkCheckAnswered(const QString& fromIP, const QString& name);

  private:
    enum class Delivery { Sent, NoRecipient, TooLong };

    // Sends keyword + self name to every directory address; failures are
    // collected and raised together after the loop.
    PresenceOutcome sendToDirectory(const QString& keyword);
    // Sends text to the selected roster member (selective) or to every one.
    Delivery sendToRecipients(bool selective, const QString& text);
    // Shares one entry, already cut; false when its datagram would not fit.
    bool shareEntry(const QString& entry);
    [[nodiscard]] bool selective() const;

    void apply(const DatagramParser::KeywordMatch& match, const QString& fromIP);
    // Sends keyword + self name to a peer, unless the name cannot fit.
    void reply(const QString& fromIP, const QString& keyword);
    void addToRoster(const QString& name, const QString& fromIP);

    DatagramSender sender_;
    UdpEndpoint& endpoint_;
    std::function<int()> recipientChoice_;
    EntryList directory_;
    EntryList roster_;
    QString selfName_ = kDefaultSelfName;
    std::array<char, Protocol::kBufferSize> receiveBuffer_{};
};
