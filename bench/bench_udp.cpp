// The UDP endpoint against plain socket loops, side by side in one run:
//   fan-out: one 40-byte text to 254 numeric loopback addresses, each send
//            naming its address, against a sendto loop over the same 254;
//   receive: datagrams per second handed to receiveHandler, against a loop
//            that waits with poll and then calls recvfrom, one datagram per
//            wake-up.
// Rounds of the two sides alternate; the medians are printed.

#include "BenchTable.h"
#include "net/UdpSocketEndpoint.h"
#include "net/platform/NativeUdpSocket.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <array>
#include <cstdio>
#include <vector>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int kAddresses = 254;
constexpr int kTextLength = 40;
constexpr int kFanOutRounds = 300;
constexpr int kBatch = 64;
constexpr int kReceiveRounds = 300;

void drain(NativeUdpSocket& socket) {
    std::vector<char> area(32 * 2048);
    std::array<NativeUdpSocket::Datagram, 32> datagrams{};
    while (socket.receiveMany(area, 2048, datagrams).count > 0) {
    }
}

sockaddr_in loopback(int last, quint16 port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(0x7F000000u | static_cast<quint32>(last));
    return sa;
}

void fanOut() {
    NativeUdpSocket receiver;
    if (receiver.open() != 0 || receiver.bindAny(0) != 0) {
        std::puts("fan-out: no receiving socket");
        return;
    }
    const quint16 port = receiver.localPort();

    UdpSocketEndpoint endpoint(port);
    endpoint.bind(0);
    QStringList hosts;
    for (int i = 1; i <= kAddresses; ++i) {
        hosts.append(u"127.0.0.%1"_s.arg(i));
    }
    const QByteArray text(kTextLength, 'x');

    NativeUdpSocket plain;
    (void)plain.open();
    std::vector<sockaddr_in> destinations;
    for (int i = 1; i <= kAddresses; ++i) {
        destinations.push_back(loopback(i, port));
    }

    std::vector<double> endpointTimes;
    std::vector<double> plainTimes;
    QElapsedTimer clock;
    for (int round = 0; round < kFanOutRounds; ++round) {
        clock.start();
        for (const QString& host : hosts) {
            endpoint.send(host, text);
        }
        endpointTimes.push_back(clock.nsecsElapsed() / 1000.0);
        drain(receiver);

        clock.start();
        for (const sockaddr_in& sa : destinations) {
            (void)::sendto(static_cast<int>(plain.handle()), text.constData(), kTextLength, 0,
                           reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
        }
        plainTimes.push_back(clock.nsecsElapsed() / 1000.0);
        drain(receiver);
    }
    const double e = bench::median(endpointTimes);
    const double p = bench::median(plainTimes);
    std::printf("fan-out, %d datagrams of %d bytes (median of %d rounds)\n", kAddresses,
                kTextLength, kFanOutRounds);
    std::printf("  UdpSocketEndpoint send %9.1f us   (%.2f us per datagram)\n", e, e / kAddresses);
    std::printf("  plain sendto loop      %9.1f us   (%.2f us per datagram)\n", p, p / kAddresses);
    std::printf("  ratio                  %9.2f\n", e / p);
}

void sendBatch(NativeUdpSocket& sender, quint16 port) {
    std::array<char, kTextLength> text{};
    std::fill(text.begin(), text.end(), 'r');
    for (int i = 0; i < kBatch; ++i) {
        (void)sender.sendTo(text, 0x7F000001, port);
    }
}

void receive() {
    NativeUdpSocket sender;
    (void)sender.open();

    UdpSocketEndpoint endpoint(0);
    endpoint.bind(0);
    QEventLoop loop;
    int received = 0;
    endpoint.receiveHandler = [&](const ReceivedDatagram& /*datagram*/) {
        if (++received == kBatch) {
            loop.quit();
        }
    };
    QTimer guard;  // a lost datagram must not hang the run
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);

    NativeUdpSocket plain;
    if (plain.open() != 0 || plain.bindAny(0) != 0) {
        std::puts("receive: no receiving socket");
        return;
    }

    std::vector<double> endpointTimes;
    std::vector<double> plainTimes;
    int shortRounds = 0;
    QElapsedTimer clock;
    for (int round = 0; round < kReceiveRounds; ++round) {
        sendBatch(sender, endpoint.boundPort());
        received = 0;
        guard.start(2000);
        clock.start();
        loop.exec();
        const double elapsed = clock.nsecsElapsed() / 1e9;
        guard.stop();
        if (received == kBatch) {
            endpointTimes.push_back(kBatch / elapsed);
        } else {
            ++shortRounds;
        }

        sendBatch(sender, plain.localPort());
        std::array<char, 2048> area{};
        int got = 0;
        clock.start();
        while (got < kBatch) {
            pollfd pfd{static_cast<int>(plain.handle()), POLLIN, 0};
            if (::poll(&pfd, 1, 2000) <= 0) {
                break;
            }
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            if (::recvfrom(static_cast<int>(plain.handle()), area.data(), area.size(), 0,
                           reinterpret_cast<sockaddr*>(&from), &fromLength) >= 0) {
                ++got;
            }
        }
        const double plainElapsed = clock.nsecsElapsed() / 1e9;
        if (got == kBatch) {
            plainTimes.push_back(kBatch / plainElapsed);
        } else {
            ++shortRounds;
        }
    }
    if (endpointTimes.empty() || plainTimes.empty()) {
        std::puts("receive: every round lost datagrams");
        return;
    }
    const double e = bench::median(endpointTimes);
    const double p = bench::median(plainTimes);
    std::printf("receive, batches of %d datagrams of %d bytes (median of %d rounds)\n", kBatch,
                kTextLength, kReceiveRounds);
    std::printf("  UdpSocketEndpoint      %9.0f datagrams/s   (%.2f us each)\n", e, 1e6 / e);
    std::printf("  plain poll + recvfrom  %9.0f datagrams/s   (%.2f us each)\n", p, 1e6 / p);
    std::printf("  ratio (time per datagram) %6.2f\n", p / e);
    if (shortRounds > 0) {
        std::printf("  (%d rounds lost datagrams and were left out)\n", shortRounds);
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // One comparison alone when named ("fan-out" or "receive"), for profiling.
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (only.isEmpty() || only == u"fan-out"_s) {
        fanOut();
    }
    if (only.isEmpty() || only == u"receive"_s) {
        receive();
    }
    return 0;
}
