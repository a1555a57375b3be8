#pragma once

#include <QStringView>

// Which address texts of the roster and the directory are sent to. The
// endpoint reads a numeric address leniently (as inet_addr does, up to the
// first character that is not part of a number), so a line whose address
// part is "10.0.0.9 T5 ..." or has a line break after the number would
// reach 10.0.0.9. Every send to a line's address asks here first, and a line
// whose address does not pass is left out like a line without an address.
namespace PeerAddress {

// A roster line's address is the source of a datagram: four decimal parts of
// 0 to 255, without leading zeros, and nothing else.
[[nodiscard]] bool isRosterAddress(QStringView address);

// A directory line's address is typed by the user or relayed by a peer: a
// roster address, or a host name made only of the Latin letters, digits,
// '-' and '.' (the endpoint looks it up).
[[nodiscard]] bool isDirectoryAddress(QStringView address);

}  // namespace PeerAddress
