#pragma once

#include "net/HostLookup.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

// Turns a send's host text into an address, by the rules UdpEndpoint::send
// states: the text ends at its first NUL; a numeric address (inet_addr's
// forms) is its own answer; any other text of at most kNameLength characters
// is a name, looked up while waiting in a nested event loop, so GUI events
// (datagrams, timers, commands) are handled meanwhile. A lookup started
// inside another one's wait waits for its own answer.
//
// Once no wait remains, waitEnded runs from the event loop: never inside the
// send that waited, and not at all if another wait has begun by then.
class HostResolver {
  public:
    // The longest name looked up; a longer text is never cut into another
    // name, it cannot be resolved.
    static constexpr int kNameLength = 127;

    // How a lookup is started; the answer must arrive as an event in the
    // thread of context, and never once context is gone. HostLookup::start
    // asks the system's resolver; tests give names of their own.
    using Starter =
        std::function<void(const QString& name, QObject* context, HostLookup::Answer answer)>;

    explicit HostResolver(Starter start = &HostLookup::start);
    HostResolver(const HostResolver&) = delete;
    HostResolver& operator=(const HostResolver&) = delete;

    // The address of host in host byte order, or nothing when it cannot be
    // resolved.
    [[nodiscard]] std::optional<quint32> resolve(const QString& host);

    [[nodiscard]] bool isWaiting() const { return waits_ > 0; }

    std::function<void()> waitEnded;

  private:
    [[nodiscard]] std::optional<quint32> lookUp(const QString& name);
    void endWait();

    Starter start_;
    int waits_ = 0;
    // Receives the posted end of a wait; it goes with the resolver.
    QObject context_;
};
