#include "net/UdpSocketEndpoint.h"

#include "net/HostLookup.h"
#include "net/UdpSocketError.h"
#include "text/Cp1251.h"
#include "text/Exception.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>

#include <algorithm>
#include <array>
#include <functional>
#include <utility>
#include <vector>

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

// Status levels of the status texts.
constexpr int kLevelSending = 2;
constexpr int kLevelStartup = 8;
constexpr int kLevelErrorMessage = 8;
constexpr int kLevelErrorCheck = 16;

quint16 low16(int value) {
    return static_cast<quint16>(value & 0xFFFF);
}

// The address as "%d.%d.%d.%d": four decimal numbers without leading zeros.
// Written out by hand; a formatted print costs more than the whole receive.
QString dottedAddress(quint32 address) {
    std::array<char, 16> text{};
    size_t length = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned part = (address >> shift) & 0xFFu;
        if (part >= 100) {
            text[length++] = static_cast<char>('0' + part / 100);
        }
        if (part >= 10) {
            text[length++] = static_cast<char>('0' + part / 10 % 10);
        }
        text[length++] = static_cast<char>('0' + part % 10);
        if (shift > 0) {
            text[length++] = '.';
        }
    }
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(length));
}

[[noreturn]] void raiseInvalidBuffer() {
    throw Exception(u"Invalid buffer"_s);
}

[[noreturn]] void raiseLookupCanceled() {
    throw UdpSocketError(u"Host Lookup Canceled"_s);
}

}  // namespace

UdpSocketEndpoint::UdpSocketEndpoint(QObject* owner) : QObject(owner) {
    reportStatus(kLevelStartup, u"Initializing Winsock"_s);
    openSocket();
}

UdpSocketEndpoint::~UdpSocketEndpoint() {
    delete notifier_;
    notifier_ = nullptr;
    socket_.close();
}

void UdpSocketEndpoint::setRemoteHost(const QString& host) {
    remoteHost_ = host;
}

QString UdpSocketEndpoint::remoteHost() const {
    return remoteHost_;
}

void UdpSocketEndpoint::setRemotePort(int port) {
    remotePort_ = port;
}

int UdpSocketEndpoint::remotePort() const {
    return remotePort_;
}

void UdpSocketEndpoint::setLocalPort(int port) {
    closeSocket();
    bindState_ = BindState::NotBound;
    bindFailureReason_.clear();
    openSocket();
    localPort_ = port;
    bindLocal();
}

int UdpSocketEndpoint::localPort() const {
    return localPort_;
}

void UdpSocketEndpoint::setReportLevel(int level) {
    reportLevel_ = level;
}

int UdpSocketEndpoint::reportLevel() const {
    return reportLevel_;
}

quint16 UdpSocketEndpoint::boundPort() const {
    return bindState_ == BindState::Bound ? socket_.localPort() : quint16{0};
}

void UdpSocketEndpoint::openSocket() {
    const int error = socket_.open();
    if (error != 0) {
        checkSocketError(error);
        return;  // tolerated: the endpoint goes on without a socket
    }
    // Both are best efforts: without them datagrams still arrive, a burst
    // is only more likely to overflow, or to overflow uncounted.
    (void)socket_.countKernelDrops();
    (void)socket_.growReceiveBuffer(kReceiveBufferBytes);
    kernelCounter_ = 0;
    notifier_ = new ReadabilityNotifier(socket_.handle(), this, [this] { receivePending(); });
}

void UdpSocketEndpoint::closeSocket() {
    if (notifier_ != nullptr) {
        // This may run inside the notifier's own activation (a receive
        // handler that rewrites localPort), so the object goes later; once
        // disabled it no longer watches the descriptor.
        notifier_->setEnabled(false);
        notifier_->deleteLater();
        notifier_ = nullptr;
    }
    socket_.close();
}

void UdpSocketEndpoint::bindLocal() {
    // A socket is bound once: a second attempt on a bound socket could only
    // fail, and one after a failure would report the same failure again.
    if (!socket_.isOpen() || bindState_ != BindState::NotBound) {
        return;
    }
    const int error = socket_.bindAny(low16(localPort_));
    bindState_ = NativeUdpSocket::bindStateFor(error);
    if (error == 0) {
        bindFailureReason_.clear();
        return;
    }
    bindFailureReason_ = Cp1251::fromTyped(NativeUdpSocket::errorText(error));
    emit bindFailed();
}

void UdpSocketEndpoint::reportStatus(int level, const QString& text) {
    if (level > reportLevel_) {
        return;
    }
    lastStatus_ = text;
    if (statusHandler) {
        statusHandler(this, lastStatus_);
    }
}

QString UdpSocketEndpoint::checkSocketError(int lastError) {
    reportStatus(kLevelErrorCheck, u"Checking Error In Error Manager"_s);
    if (NativeUdpSocket::isTolerated(lastError)) {
        return {};
    }
    QString text;
    if (lastError != 0) {
        text = u"Unknown Error No. "_s + QString::number(lastError);
    }
    reportStatus(kLevelErrorMessage, u"Looking Up Error Message"_s + text);
    throw UdpSocketError(text);
}

void UdpSocketEndpoint::sendDatagram(std::span<const char> buffer, int count) {
    // The send's own copy: the caller may refill its buffer while this send
    // waits for a lookup, and invalidBufferHandler repairs the copy only.
    std::vector<char> copy(buffer.begin(), buffer.end());

    bool firstPass = true;
    while (count == 0) {
        if (!firstPass || !invalidBufferHandler) {
            raiseInvalidBuffer();
        }
        firstPass = false;
        bool repaired = false;
        invalidBufferHandler(repaired, std::span<char>(copy), count);
        if (!repaired) {
            raiseInvalidBuffer();
        }
    }
    // Never read past the caller's buffer.
    if (count < 0 || static_cast<size_t>(count) > copy.size()) {
        raiseInvalidBuffer();
    }

    const quint32 remote = resolveRemote();
    if (remote == 0) {
        throw UdpSocketError(u"Null Remote Address"_s);
    }
    reportStatus(kLevelSending, u"Sending Data"_s);
    // As with any datagram, a send the network drops goes unnoticed.
    (void)socket_.sendTo(std::span<const char>(copy).first(static_cast<size_t>(count)), remote,
                         low16(remotePort_));
    if (sentHandler) {
        sentHandler(this);
    }
}

quint32 UdpSocketEndpoint::resolveRemote() {
    // The host text as a C string: it ends at its first NUL.
    QString name = remoteHost_;
    const qsizetype nul = name.indexOf(QChar(u'\0'));
    if (nul >= 0) {
        name.truncate(nul);
    }
    // A text longer than the name area is never cut into another name: it
    // is a name that cannot be resolved.
    const bool fits = name.size() <= kNameArea;
    if (fits) {
        // 255.255.255.255 gives nothing here and is looked up like a name.
        if (const auto address = NativeUdpSocket::parseNumericAddress(Cp1251::encode(name))) {
            return *address;
        }
    }

    bool offered = false;
    for (;;) {
        if (const auto address = fits ? lookUp(name) : std::nullopt) {
            return *address;
        }
        if (offered) {
            raiseLookupCanceled();
        }
        offered = true;
        bool retry = false;
        if (invalidHostHandler) {
            invalidHostHandler(retry);
        }
        if (!retry) {
            raiseLookupCanceled();
        }
    }
}

std::optional<quint32> UdpSocketEndpoint::lookUp(const QString& name) {
    // An address literal (255.255.255.255 is the one that gets here) is its
    // own answer, without a trip to the resolver.
    if (const auto literal = HostLookup::dottedQuad(name)) {
        return literal;
    }

    struct Answer {
        bool done = false;
        std::optional<quint32> address;
    };
    Answer answer;
    QEventLoop loop;
    // The answer is delivered to this wait only; the callback dies with it.
    QObject context;
    HostLookup::start(name, &context, [&answer, &loop](std::optional<quint32> address) {
        answer.done = true;
        answer.address = address;
        loop.quit();
    });

    ++lookupWaits_;
    struct WaitEnd {
        UdpSocketEndpoint* endpoint;
        ~WaitEnd() {
            if (--endpoint->lookupWaits_ == 0) {
                QMetaObject::invokeMethod(
                    endpoint,
                    [e = endpoint] {
                        if (e->lookupWaits_ == 0) {
                            emit e->lookupWaitEnded();
                        }
                    },
                    Qt::QueuedConnection);
            }
        }
    } waitEnd{this};

    // Sleeps until events arrive; other events run meanwhile, nested sends
    // included, each with a wait of its own.
    while (!answer.done) {
        if (loop.exec() != 0 && !answer.done) {
            // Event loops refuse to start while the application quits; the
            // answer still comes as an event.
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }
    return answer.address;
}

void UdpSocketEndpoint::receivePending() {
    takeIn();
    if (!queue_.empty() && !passTimerActive(deliveryDepth_)) {
        deliverNext();
    }
    reportLoss();
}

void UdpSocketEndpoint::takeIn() {
    std::array<NativeUdpSocket::Datagram, kReadSlots> received{};
    const std::span<char> area(readArea_);
    for (;;) {
        const NativeUdpSocket::Batch batch =
            socket_.receiveMany(area, kDatagramArea, std::span(received));
        if (batch.kernelDrops) {
            noteKernelDrops(*batch.kernelDrops);
        }
        if (batch.count <= 0) {
            if (batch.error != 0 && !NativeUdpSocket::isTolerated(batch.error)) {
                // A failed read is delivered as such, as a single read would.
                enqueue(NativeUdpSocket::Datagram{-1, 0, 0, batch.error}, nullptr);
            }
            return;
        }
        for (int i = 0; i < batch.count; ++i) {
            enqueue(received[static_cast<size_t>(i)], area.data() + i * kDatagramArea);
        }
        if (static_cast<size_t>(batch.count) < kReadSlots) {
            return;  // the socket is empty; the next datagram brings a notice
        }
    }
}

void UdpSocketEndpoint::enqueue(const NativeUdpSocket::Datagram& datagram, const char* bytes) {
    const qint64 size = std::max(datagram.size, 0);
    if (std::cmp_greater_equal(queue_.size(), std::max(queueLimit_, 0)) ||
        queuedBytes_ + size > kQueueBytes) {
        ++queueDrops_;
        return;
    }
    Queued queued;
    queued.size = datagram.size;
    queued.address = datagram.address;
    queued.port = datagram.port;
    if (size > 0) {
        queued.bytes = QByteArray(bytes, size);
    }
    queuedBytes_ += size;
    queue_.push_back(std::move(queued));
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

bool UdpSocketEndpoint::passTimerActive(int depth) const {
    return std::cmp_less(depth, passTimers_.size()) &&
           passTimers_[static_cast<size_t>(depth)].isActive();
}

void UdpSocketEndpoint::schedulePasses() {
    if (queue_.empty()) {
        return;
    }
    if (std::cmp_greater_equal(deliveryDepth_, passTimers_.size())) {
        passTimers_.resize(static_cast<size_t>(deliveryDepth_) + 1);
    }
    QBasicTimer& timer = passTimers_[static_cast<size_t>(deliveryDepth_)];
    if (!timer.isActive()) {
        // A zero timer fires once per pass of the event loop, after the
        // window's own events, and costs no system call to arm.
        timer.start(0, this);
    }
}

void UdpSocketEndpoint::timerEvent(QTimerEvent* event) {
    for (QBasicTimer& timer : passTimers_) {
        if (timer.timerId() == event->timerId()) {
            if (queue_.empty()) {
                timer.stop();
            } else {
                deliverNext();
            }
            return;
        }
    }
    QObject::timerEvent(event);
}

void UdpSocketEndpoint::deliverNext() {
    Queued queued = std::move(queue_.front());
    queue_.pop_front();
    queuedBytes_ -= std::max(queued.size, 0);
    receivedLength_ = queued.size;
    current_ = std::move(queued.bytes);
    if (receiveHandler) {
        // A timer does not fire again while its own handler runs, so a
        // handler's nested event loop gets a timer of its own for the next
        // datagrams; it stops once the handler has returned.
        const int depth = deliveryDepth_++;
        schedulePasses();
        // A text of this call's own: a nested delivery must not change the
        // fromIP of a handler that is still running.
        const QString fromIP = dottedAddress(queued.address);
        struct DepthEnd {
            UdpSocketEndpoint* endpoint;
            int depth;
            ~DepthEnd() {
                endpoint->deliveryDepth_ = depth;
                for (size_t i = static_cast<size_t>(depth) + 1; i < endpoint->passTimers_.size();
                     ++i) {
                    endpoint->passTimers_[i].stop();
                }
            }
        } depthEnd{this, depth};
        receiveHandler(this, receivedLength_, fromIP, queued.port);
    }
    schedulePasses();
}

void UdpSocketEndpoint::readDatagram(std::span<char> buffer, int& count) {
    if (receivedLength_ <= 0) {
        count = receivedLength_;
        return;
    }
    const size_t copied = std::min(static_cast<size_t>(current_.size()), buffer.size());
    std::copy_n(current_.constBegin(), copied, buffer.begin());
    count = static_cast<int>(copied);
}
