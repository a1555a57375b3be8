#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <span>

// The handlers through which a UDP endpoint reports to its owner. Each is
// optional: one that is not set is skipped.

// A datagram was read: the endpoint, the datagram's size (or -1 when the read
// failed), the sender's dotted address and port.
using ReceiveHandler =
    std::function<void(QObject* endpoint, int numberBytes, const QString& fromIP, int port)>;
// A datagram was handed to the socket, whatever the result.
using SentHandler = std::function<void(QObject* endpoint)>;
// A status text of the endpoint's work.
using StatusHandler = std::function<void(QObject* endpoint, const QString& status)>;
// The destination name of a send could not be resolved. retry is false on
// entry; a handler that sets it has the name looked up once more.
using InvalidHostHandler = std::function<void(bool& retry)>;
// A send was asked to send 0 characters. buffer is the send's own copy of the
// caller's buffer (same capacity); the handler may change its characters and
// the count, and must set repaired for the send to go on.
using InvalidBufferHandler =
    std::function<void(bool& repaired, std::span<char> buffer, int& count)>;
// Datagrams were lost before they could be delivered (the receive queue or
// the system's buffer was full): the total lost since the endpoint was made.
using LossHandler = std::function<void(quint64 lostInAll)>;
