#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <span>

// Event types of the UDP endpoint. An event is an optional handler: one that
// is not set is skipped.

// A datagram was read: its size (or -1 when the read failed), the sender's
// dotted address and port.
using TOnReceive =
    std::function<void(QObject* Sender, int NumberBytes, const QString& FromIP, int Port)>;
using TNotifyEvent = std::function<void(QObject* Sender)>;
using TOnStatus = std::function<void(QObject* Sender, const QString& status)>;
// handled is false on entry.
using THandlerEvent = std::function<void(bool& handled)>;
// A send was asked to send 0 characters. Buff is the send's own copy of the
// caller's buffer (same capacity); the handler may change its characters and
// the count, and must set handled for the send to go on.
using TBuffInvalid = std::function<void(bool& handled, std::span<char> Buff, int& length)>;
