#include "support/FakeEndpoint.h"

#include "net/UDPSockError.h"
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

void FakeEndpoint::SendDatagram(std::span<const char> Buff, int count) {
    // The send's own copy, so the caller's buffer may change while it waits.
    std::vector<char> copy(Buff.begin(), Buff.end());
    const auto capacity = static_cast<int>(copy.size());

    bool firstPass = true;
    while (count <= 0 || count > capacity) {
        if (!firstPass || !OnBufferInvalid) {
            throw Exception(u"Invalid buffer"_s);
        }
        firstPass = false;
        bool handled = false;
        const TBuffInvalid handler = OnBufferInvalid;
        handler(handled, std::span<char>(copy), count);
        if (!handled) {
            throw Exception(u"Invalid buffer"_s);
        }
    }

    const QString to = resolve(remoteHost_);
    if (to == u"0.0.0.0"_s) {
        throw UDPSockError(u"Null Remote Address"_s);
    }
    ++sentCount_;
    network_.transmit(address_, to, QByteArray(copy.data(), count));
}

QString FakeEndpoint::resolve(QString host) {  // a copy: RemoteHost may change while it waits
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
            throw UDPSockError(u"Host Lookup Canceled"_s);
        }
        failedOnce = true;
        bool handled = false;
        if (OnInvalidHost) {
            const THandlerEvent handler = OnInvalidHost;
            handler(handled);
        }
        if (!handled) {
            throw UDPSockError(u"Host Lookup Canceled"_s);
        }
    }
}

void FakeEndpoint::ReadDatagram(std::span<char> Buff, int& count) {
    const auto size = std::min(static_cast<std::size_t>(lastDatagram_.size()), Buff.size());
    std::copy_n(lastDatagram_.constData(), size, Buff.begin());
    count = static_cast<int>(size);
}

void FakeEndpoint::receive(const QString& from, const QByteArray& bytes) {
    lastDatagram_ = bytes;
    if (OnDataReceived) {
        const TOnReceive handler = OnDataReceived;
        handler(this, static_cast<int>(bytes.size()), from, kPort);
    }
}
