#include "net/UdpSocketEndpoint.h"

#include "net/UdpSocketError.h"
#include "text/Cp1251.h"

#include <QEvent>
#include <QSocketNotifier>

#include <functional>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// Hands each readability notice straight to the endpoint. Taking the event
// itself rather than the activated signal saves the signal's dispatch on
// every datagram, which is a good part of the receive cost.
class ReadabilityNotifier final : public QSocketNotifier {
  public:
    ReadabilityNotifier(qintptr socket, QObject* parent, std::function<void()> onReadable)
        : QSocketNotifier(socket, QSocketNotifier::Read, parent),
          onReadable_(std::move(onReadable)) {}

  protected:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::SockAct) {
            onReadable_();
            return true;
        }
        return QSocketNotifier::event(event);
    }

  private:
    std::function<void()> onReadable_;
};

}  // namespace

UdpSocketEndpoint::UdpSocketEndpoint(quint16 remotePort, QObject* parent)
    : QObject(parent),
      remotePort_(remotePort),
      queue_(
          [this](const ReceivedDatagram& datagram) {
              if (receiveHandler) {
                  receiveHandler(datagram);
              }
          },
          this) {
    resolver_.waitEnded = [this] {
        if (lookupWaitEndedHandler) {
            lookupWaitEndedHandler();
        }
    };
    if (const int error = socket_.open(); error != 0) {
        throw UdpSocketError(u"Unknown Error No. "_s + QString::number(error));
    }
    // Both are best efforts: without them datagrams still arrive, a burst
    // is only more likely to overflow, or to overflow uncounted.
    (void)socket_.countKernelDrops();
    (void)socket_.growReceiveBuffer(kReceiveBufferBytes);
    (void)socket_.growSendBuffer(kSendBufferBytes);
    notifier_ = new ReadabilityNotifier(socket_.handle(), this, [this] { receivePending(); });
}

UdpSocketEndpoint::~UdpSocketEndpoint() {
    delete notifier_;
    notifier_ = nullptr;
    socket_.close();
}

void UdpSocketEndpoint::bind(quint16 localPort) {
    // A socket is bound once: a second attempt on a bound socket could only
    // fail, and one after a failure would report the same failure again.
    if (bindState_ != BindState::NotBound) {
        return;
    }
    const int error = socket_.bindAny(localPort);
    bindState_ = NativeUdpSocket::bindStateFor(error);
    bindFailureReason_ =
        error == 0 ? QString() : Cp1251::fromTyped(NativeUdpSocket::errorText(error));
}

quint16 UdpSocketEndpoint::boundPort() const {
    return bindState_ == BindState::Bound ? socket_.localPort() : quint16{0};
}

void UdpSocketEndpoint::send(const QString& host, QByteArrayView bytes) {
    if (bytes.isEmpty()) {
        throw EmptyDatagramError(u"Invalid buffer"_s);
    }
    const std::optional<quint32> remote = resolver_.resolve(host);
    if (!remote) {
        throw HostNotFoundError(u"Host Lookup Canceled"_s);
    }
    if (*remote == 0) {
        throw UdpSocketError(u"Null Remote Address"_s);
    }
    // As with any datagram, a send the network drops goes unnoticed.
    (void)socket_.sendTo(std::span<const char>(bytes.data(), static_cast<size_t>(bytes.size())),
                         *remote, remotePort_);
}

void UdpSocketEndpoint::receivePending() {
    takeIn();
    queue_.deliver();
    reportLoss();
}

void UdpSocketEndpoint::takeIn() {
    std::array<NativeUdpSocket::Datagram, kReadSlots> received{};
    const std::span<char> area(readArea_);
    for (;;) {
        const NativeUdpSocket::Batch batch =
            socket_.receiveMany(area, kMaxDatagramSize, std::span(received));
        if (batch.kernelDrops) {
            noteKernelDrops(*batch.kernelDrops);
        }
        if (batch.count <= 0) {
            if (batch.error != 0 && !NativeUdpSocket::isTolerated(batch.error)) {
                // A failed read is delivered as such, as a single read would.
                (void)queue_.push({}, -1, 0, 0);
            }
            return;
        }
        for (int i = 0; i < batch.count; ++i) {
            const NativeUdpSocket::Datagram& datagram = received[static_cast<size_t>(i)];
            const QByteArrayView bytes(area.data() + i * kMaxDatagramSize,
                                       std::max(datagram.size, 0));
            (void)queue_.push(bytes, datagram.size, datagram.address, datagram.port);
        }
        if (static_cast<size_t>(batch.count) < kReadSlots) {
            return;  // the socket is empty; the next datagram brings a notice
        }
    }
}

void UdpSocketEndpoint::noteKernelDrops(quint32 counter) {
    // The counter grows from 0 for each socket and wraps at 2^32.
    kernelDrops_ += static_cast<quint32>(counter - kernelCounter_);
    kernelCounter_ = counter;
}

void UdpSocketEndpoint::reportLoss() {
    const quint64 lost = lostDatagrams();
    if (lost != lossReported_) {
        lossReported_ = lost;
        if (lossHandler) {
            lossHandler(lost);
        }
    }
}
