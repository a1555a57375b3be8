#include "support/FakeEndpoint.h"

#include "net/UdpSocketError.h"
#include "support/FakeNetwork.h"
#include "text/Exception.h"

#include <QStringList>

#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Dotted decimal with four parts of 0..255, as a numeric destination is
// written. 255.255.255.255 is not taken as numeric, like inet_addr's all-ones
// result, so it goes to name lookup.
bool isNumericAddress(const QString& host) {
    const QStringList parts = host.split(u'.');
    if (parts.size() != 4) {
        return false;
    }
    for (const QString& part : parts) {
        if (part.isEmpty() || part.size() > 3) {
            return false;
        }
        for (const QChar ch : part) {
            if (ch < u'0' || ch > u'9') {
                return false;
            }
        }
        if (part.toInt() > 255) {
            return false;
        }
    }
    return host != u"255.255.255.255"_s;
}

}  // namespace

FakeEndpoint::FakeEndpoint(FakeNetwork& network, const QString& address, QObject* parent)
    : QObject(parent), network_(network), address_(address) {
    network_.attach(this);
}

FakeEndpoint::~FakeEndpoint() {
    network_.detach(this);
}

void FakeEndpoint::sendDatagram(std::span<const char> buffer, int count) {
    // The send's own copy, so the caller's buffer may change while it waits.
    std::vector<char> copy(buffer.begin(), buffer.end());
    const auto capacity = static_cast<int>(copy.size());

    bool firstPass = true;
    while (count <= 0 || count > capacity) {
        if (!firstPass || !invalidBufferHandler) {
            throw Exception(u"Invalid buffer"_s);
        }
        firstPass = false;
        bool repaired = false;
        const InvalidBufferHandler handler = invalidBufferHandler;
        handler(repaired, std::span<char>(copy), count);
        if (!repaired) {
            throw Exception(u"Invalid buffer"_s);
        }
    }

    const QString to = resolve(remoteHost_);
    if (to == u"0.0.0.0"_s) {
        throw UdpSocketError(u"Null Remote Address"_s);
    }
    ++sentCount_;
    network_.transmit(address_, to, QByteArray(copy.data(), count));
}

QString FakeEndpoint::resolve(QString host) {  // a copy: remoteHost may change while it waits
    if (isNumericAddress(host)) {
        return host;
    }
    bool failedOnce = false;
    for (;;) {
        // The real lookup waits for its answer while dispatching events, so
        // datagrams may be handled in the middle of a send.
        FakeNetwork::processPending();
        const QString found = network_.lookUp(host);
        if (!found.isEmpty()) {
            return found;
        }
        if (failedOnce) {
            throw UdpSocketError(u"Host Lookup Canceled"_s);
        }
        failedOnce = true;
        bool retry = false;
        if (invalidHostHandler) {
            const InvalidHostHandler handler = invalidHostHandler;
            handler(retry);
        }
        if (!retry) {
            throw UdpSocketError(u"Host Lookup Canceled"_s);
        }
    }
}

void FakeEndpoint::readDatagram(std::span<char> buffer, int& count) {
    const auto size = std::min(static_cast<std::size_t>(lastDatagram_.size()), buffer.size());
    std::copy_n(lastDatagram_.constData(), size, buffer.begin());
    count = static_cast<int>(size);
}

void FakeEndpoint::receive(const QString& from, const QByteArray& bytes) {
    lastDatagram_ = bytes;
    if (receiveHandler) {
        const ReceiveHandler handler = receiveHandler;
        handler(this, static_cast<int>(bytes.size()), from, kPort);
    }
}
