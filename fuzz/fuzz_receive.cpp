// The receive path: arbitrary bytes from a peer through an endpoint into the
// dispatcher of a copy whose directory and roster hold lines, its own address
// among them, and whose self name tries to hold protocol text. Every answer
// is delivered in turn, to the copy itself or to a second copy; the traffic
// must settle within a few rounds, or the input started a reply storm.

#include "core/Conference.h"
#include "core/Protocol.h"
#include "net/UdpEndpoint.h"
#include "net/UdpSocketError.h"
#include "text/Exception.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>
#include <deque>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

const QString kOwnAddress = u"10.0.0.1"_s;
const QString kPeerAddress = u"10.0.0.2"_s;
// One datagram in, its answers, their answers...: far fewer than this.
constexpr int kMostDeliveries = 64;

struct Datagram {
    QString from;
    QString to;
    QByteArray bytes;
};

// A network of two addresses: sends are queued and delivered in turn.
class HarnessEndpoint final : public UdpEndpoint {
  public:
    HarnessEndpoint(QString address, std::deque<Datagram>& outbox)
        : address_(std::move(address)), outbox_(outbox) {}

    void send(const QString& host, QByteArrayView bytes) override {
        if (bytes.isEmpty()) {
            throw EmptyDatagramError(u"Invalid buffer"_s);
        }
        if (host != kOwnAddress && host != kPeerAddress) {
            throw HostNotFoundError(u"Host Lookup Canceled"_s);
        }
        outbox_.push_back({address_, host, bytes.toByteArray()});
    }
    [[nodiscard]] bool isWaitingForLookup() const override { return false; }
    [[nodiscard]] BindState bindState() const override { return BindState::Bound; }
    [[nodiscard]] QString bindFailureReason() const override { return {}; }
    [[nodiscard]] quint64 lostDatagrams() const override { return 0; }

  private:
    QString address_;
    std::deque<Datagram>& outbox_;
};

struct Copy {
    Copy(const QString& address, const QString& typedName, std::deque<Datagram>& outbox)
        : endpoint(address, outbox), conference(endpoint) {
        conference.setSelfName(typedName);
        reset();
    }

    void reset() {
        conference.directory().setLines({u"Я _|_ 10.0.0.1"_s, u"ДРУГ _|_ 10.0.0.2"_s,
                                         u"ДАЛЬНИЙ _|_ 10.9.9.9"_s, u"ИМЯ _|_ host.name"_s});
        conference.directory().setSelectedIndex(1);
        conference.roster().setLines({u"ДРУГ _|_ 10.0.0.2"_s, u"Я _|_ 10.0.0.1"_s});
    }

    void deliver(const QByteArray& bytes, const QString& from) {
        try {
            conference.dispatch({bytes, static_cast<int>(bytes.size()), from, Protocol::kPort});
        } catch (const Exception&) {
            // Reported in a box by the program; nothing more happens here.
        }
    }

    HarnessEndpoint endpoint;
    Conference conference;
};

std::deque<Datagram> outbox;
std::optional<Copy> own;
std::optional<Copy> peer;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    own.emplace(kOwnAddress, u"autodetect0 mynameis2: ~#&!^~: ~_^B"_s, outbox);
    peer.emplace(kPeerAddress, u"AUTODETECT1"_s, outbox);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    own->reset();
    peer->reset();
    outbox.clear();
    own->deliver(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)),
                 kPeerAddress);
    for (int delivered = 0; !outbox.empty(); ++delivered) {
        if (delivered == kMostDeliveries) {
            std::abort();  // a reply storm
        }
        const Datagram next = std::move(outbox.front());
        outbox.pop_front();
        (next.to == kOwnAddress ? *own : *peer).deliver(next.bytes, next.from);
    }
    return 0;
}
