#pragma once

#include <QString>

#include <functional>
#include <optional>

class QObject;

// IPv4 name lookup without Qt Network: the system's resolver (NameService)
// runs on a worker thread of its own, and the answer comes back as an event
// to the thread of a context object.
namespace HostLookup {

// The first IPv4 address of the answer in host byte order, or nothing.
using Answer = std::function<void(std::optional<quint32>)>;

// Starts a lookup of name (a non-ASCII name in its ACE form, as IDNA asks).
// answer runs once, in the thread of context, unless context is destroyed
// before the answer arrives: then it never runs.
void start(const QString& name, QObject* context, Answer answer);

}  // namespace HostLookup
