#pragma once

#include "net/platform/LocalNetworks.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

// The address ranges of a discovery sweep: what the sweep dialog proposes,
// how the lines a person edits are read, and the addresses they come to.
//
// A line is one of
//   10.0.5.0/24              a subnet (prefix 0 to 32)
//   10.0.5.1-10.0.5.200      a range, first address not above the last
//   10.0.5.7                 one address
// with blanks allowed around the parts; empty lines are ignored. Addresses
// are dotted decimal, four parts of 0 to 255.
namespace SweepRanges {

// A proposed range holds at most this many addresses besides the own one.
inline constexpr int kNearestLimit = 1024;
// More addresses than this in total are refused.
inline constexpr qint64 kMaxAddresses = 4096;
// More addresses to ask than this need the user's confirmation.
inline constexpr int kConfirmAbove = 256;

struct Plan {
    enum class Status { Ready, Malformed, TooMany };
    Status status = Status::Ready;
    // Malformed: the 1-based number and the text of the first bad line.
    int badLineNumber = 0;
    QString badLine;
    // The number of addresses the lines cover, before skipping anything.
    qint64 covered = 0;
    // Ready: the addresses to ask, in the order of the lines, each once
    // (host byte order). Empty otherwise.
    QList<quint32> addresses;
};

// One line per own network: the subnet as "a.b.c.d/n" when it holds at most
// kNearestLimit addresses besides the own one, else the kNearestLimit
// addresses of the subnet nearest to the own address as "first-last".
// Networks with a 32-bit prefix hold nobody else and propose nothing.
[[nodiscard]] QStringList proposedRanges(const QList<LocalNetwork>& networks);

// Reads the lines and lists the addresses to ask. Skipped: the own
// addresses, the network and broadcast addresses of every subnet line and of
// every own subnet, and addresses that are never a single host (0.0.0.0/8,
// 127.0.0.0/8, multicast and above). Nothing is expanded when the lines
// cover more than kMaxAddresses.
[[nodiscard]] Plan plan(const QString& text, const QList<LocalNetwork>& networks);

[[nodiscard]] std::optional<quint32> parseAddress(QStringView text);
[[nodiscard]] QString addressText(quint32 address);

}  // namespace SweepRanges
