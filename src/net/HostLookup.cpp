#include "net/HostLookup.h"

#include <QByteArray>
#include <QObject>
#include <QUrl>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <memory>
#include <mutex>
#include <thread>

namespace {

// What a worker and the context's thread share. The receiver is a child of
// the context: when the context goes, the receiver's destructor clears it
// here first, so a worker that finishes later posts nothing.
struct Delivery {
    std::mutex mutex;
    QObject* receiver = nullptr;
};

class Receiver final : public QObject {
  public:
    Receiver(QObject* context, std::shared_ptr<Delivery> delivery)
        : QObject(context), delivery_(std::move(delivery)) {
        delivery_->receiver = this;
    }
    ~Receiver() override {
        const std::lock_guard lock(delivery_->mutex);
        delivery_->receiver = nullptr;
    }

  private:
    std::shared_ptr<Delivery> delivery_;
};

std::optional<quint32> resolve(const QByteArray& name) {
    if (name.isEmpty()) {
        return std::nullopt;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(name.constData(), nullptr, &hints, &list) != 0) {
        return std::nullopt;
    }
    std::optional<quint32> address;
    for (const addrinfo* item = list; item != nullptr; item = item->ai_next) {
        if (item->ai_family == AF_INET && item->ai_addr != nullptr) {
            const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(item->ai_addr);
            address = ntohl(ipv4->sin_addr.s_addr);
            break;
        }
    }
    freeaddrinfo(list);
    return address;
}

}  // namespace

namespace HostLookup {

void start(const QString& name, QObject* context, Answer answer) {
    auto delivery = std::make_shared<Delivery>();
    auto* receiver = new Receiver(context, delivery);
    // The receiver goes with the answer, or with the context.
    auto deliver = [receiver, answer = std::move(answer)](std::optional<quint32> address) {
        receiver->deleteLater();
        answer(address);
    };
    std::thread([ace = QUrl::toAce(name), delivery, deliver = std::move(deliver)]() mutable {
        const std::optional<quint32> address = resolve(ace);
        const std::lock_guard lock(delivery->mutex);
        if (delivery->receiver != nullptr) {
            QMetaObject::invokeMethod(
                delivery->receiver, [deliver = std::move(deliver), address] { deliver(address); },
                Qt::QueuedConnection);
        }
    }).detach();
}

std::optional<quint32> dottedQuad(const QString& text) {
    // A character outside Latin-1 becomes '?', which no address holds.
    in_addr address{};
    if (inet_pton(AF_INET, text.toLatin1().constData(), &address) != 1) {
        return std::nullopt;
    }
    return ntohl(address.s_addr);
}

}  // namespace HostLookup
