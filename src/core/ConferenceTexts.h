#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The texts the main window shows for what the conference reports. Peer
// names and addresses inside them must be shown as plain text.
namespace ConferenceTexts {

// A chat text that would not fit one datagram; nothing was sent.
[[nodiscard]] QString chatTooLong();

// A self name that cannot fit a registration; the command sent nothing.
[[nodiscard]] QString nameTooLong();

// Sharing: entries whose datagram would not fit were left out.
[[nodiscard]] QString entriesNotSent(int count);

// Link check of a directory line without an address.
[[nodiscard]] QString incorrectCorrespondent();

// The answers of the main window to the endpoint's error events.
[[nodiscard]] QString invalidHost();
[[nodiscard]] QString bufferInvalid();

// The result of a link check: who answered from which address. The name is
// shown as received, not upper-cased.
[[nodiscard]] QString linkCheckResult(const QString& fromIP, const QString& name);

// The status line's count of datagrams lost on arrival.
[[nodiscard]] QString lostDatagrams(quint64 count);

// The status line once a line's tries ended without a receipt from these
// recipients: "Не доставлено: " and the names.
[[nodiscard]] QString notDelivered(const QStringList& names);
// Its tooltip: how many lines and recipients went unconfirmed since the start.
[[nodiscard]] QString notDeliveredInAll(int count);

// The status line once relayed entries from one sender were refused.
[[nodiscard]] QString entriesRefused(const QString& fromIP, int count);

// The status line once registrations were refused because the roster is full.
[[nodiscard]] QString rosterLinesRefused(int count);

// The self name held text that peers read as a request; cleaned is what is
// sent instead.
[[nodiscard]] QString selfNameCleaned(const QString& cleaned);

// One address a loop could not send to, and the endpoint's reason.
struct SendFailure {
    QString address;
    QString reason;
};

// One report for every failed send of a loop, one address a line.
[[nodiscard]] QString sendFailures(const QList<SendFailure>& failures);

}  // namespace ConferenceTexts
