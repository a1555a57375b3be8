#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>

// The system's name resolver. It may take seconds; HostLookup calls it on a
// worker thread.
namespace NameService {

// The first IPv4 address the resolver gives for name (ASCII, IDNA's ACE form
// for other names), in host byte order; nothing when it gives none.
[[nodiscard]] std::optional<quint32> lookUpIPv4(const QByteArray& name);

}  // namespace NameService
