#include "net/HostLookup.h"

#include "net/platform/NameService.h"

#include <QByteArray>
#include <QObject>
#include <QUrl>

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
        const std::optional<quint32> address = NameService::lookUpIPv4(ace);
        const std::lock_guard lock(delivery->mutex);
        if (delivery->receiver != nullptr) {
            QMetaObject::invokeMethod(
                delivery->receiver, [deliver = std::move(deliver), address] { deliver(address); },
                Qt::QueuedConnection);
        }
    }).detach();
}

}  // namespace HostLookup
