#pragma once

#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <optional>

// IPv4 addresses as the program writes and reads them. An address is a
// 32-bit number in host byte order: 127.0.0.1 is 0x7F000001.
namespace Ipv4Address {

// The address as "%d.%d.%d.%d": four decimal numbers without leading zeros.
[[nodiscard]] QString dotted(quint32 address);

// The text as exactly four decimal parts of 0 to 255, without signs, blanks or
// leading zeros (the form dotted() writes). Nothing for any other text.
[[nodiscard]] std::optional<quint32> dottedQuad(QStringView text);

}  // namespace Ipv4Address
