#include "net/HostResolver.h"

#include "net/Ipv4Address.h"
#include "net/platform/NativeUdpSocket.h"
#include "text/Cp1251.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <utility>

HostResolver::HostResolver(Starter start) : start_(std::move(start)) {}

std::optional<quint32> HostResolver::resolve(const QString& host) {
    // The host text as a C string: it ends at its first NUL.
    QString name = host;
    if (const qsizetype nul = name.indexOf(QChar(u'\0')); nul >= 0) {
        name.truncate(nul);
    }
    if (name.size() > kNameLength) {
        return std::nullopt;
    }
    // 255.255.255.255 gives nothing here and is looked up like a name.
    if (const auto address = NativeUdpSocket::parseNumericAddress(Cp1251::encode(name))) {
        return address;
    }
    // A dotted quad (255.255.255.255 is the one that gets here) is its own
    // answer, without a trip to the resolver.
    if (const auto literal = Ipv4Address::dottedQuad(name)) {
        return literal;
    }
    return lookUp(name);
}

std::optional<quint32> HostResolver::lookUp(const QString& name) {
    struct Answer {
        bool done = false;
        std::optional<quint32> address;
    };
    Answer answer;
    QEventLoop loop;
    // The answer is delivered to this wait only; the callback dies with it.
    QObject waitContext;
    start_(name, &waitContext, [&answer, &loop](std::optional<quint32> address) {
        answer.done = true;
        answer.address = address;
        loop.quit();
    });

    ++waits_;
    const struct WaitEnd {
        HostResolver* resolver;
        ~WaitEnd() { resolver->endWait(); }
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

void HostResolver::endWait() {
    if (--waits_ > 0) {
        return;
    }
    QMetaObject::invokeMethod(
        &context_,
        [this] {
            if (waits_ == 0 && waitEnded) {
                waitEnded();
            }
        },
        Qt::QueuedConnection);
}
