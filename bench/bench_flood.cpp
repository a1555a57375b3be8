// A flood of chat datagrams against the real main window, on loopback:
// 100,000 chat texts sent by a peer as fast as its socket takes them. Prints
// how many reached the log (and how many the program counted as lost), that
// they are in order, how long the window took to take them in, how often it
// repainted and the longest pause of a 10 ms timer meanwhile (a pause is
// time the window could not take input), and how long a link check sent
// after the flood waits for its answer. The rows for the benchmark table say
// whether a screen reader's bus was active (AT-SPI on: the accessibility
// bridge sends what the window tells it), since the goal differs.
//
// Usage: bench_flood [datagrams]. Runs offscreen unless QT_QPA_PLATFORM says
// otherwise; bench/flood_with_screen_reader.py runs it with AT-SPI on.

#include "BenchTable.h"
#include "PaintCounter.h"
#include "app/views/AccessibleViews.h"
#include "app/views/ConversationLog.h"
#include "app/window/MainWindow.h"
#include "core/Session.h"
#include "net/UdpSocketEndpoint.h"
#include "net/platform/NativeUdpSocket.h"

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

constexpr int kDefaultFlood = 100'000;
const QByteArray kPrefix = "~#&!^~:";

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    installAccessibleViews();  // as the program does at start
    const int flood = argc > 1 ? std::atoi(argv[1]) : kDefaultFlood;

    NativeUdpSocket peer;
    if (peer.open() != 0 || peer.bindAny(0) != 0) {
        std::puts("no peer socket");
        return 1;
    }
    // Answers go back to the peer.
    auto endpoint = std::make_unique<UdpSocketEndpoint>(peer.localPort());
    UdpSocketEndpoint* udp = endpoint.get();
    udp->bind(0);
    const quint16 port = udp->boundPort();

    QTemporaryDir folder;
    Session session(folder.path(), std::move(endpoint));
    MainWindow window(session);
    window.show();
    auto* log = window.findChild<ConversationLog*>(u"logView"_s);
    PaintCounter paints;
    log->viewport()->installEventFilter(&paints);
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }

    // The pauses the window makes while the flood lasts.
    QElapsedTimer sinceTick;
    qint64 longestPause = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longestPause = std::max(longestPause, sinceTick.restart()); });

    std::atomic<bool> sent{false};
    QElapsedTimer clock;
    clock.start();
    sinceTick.start();
    ticker.start(10);
    const int paintsBefore = paints.paints;
    std::thread sender([&] {
        for (int i = 0; i < flood; ++i) {
            const QByteArray line = "FLOOD: line " + QByteArray::number(i).rightJustified(6, '0') +
                                    " of the flood, sixty characters long....";
            (void)peer.sendTo(std::span<const char>(line.constData(), line.size()), 0x7F000001,
                              port);
        }
        sent = true;
    });
    const auto lines = [&] { return log->text().count(u"\r\n"_s); };
    while (!sent || (lines() + static_cast<qsizetype>(udp->lostDatagrams()) < flood &&
                     clock.elapsed() < 600'000)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (sent && udp->queuedDatagrams() == 0) {
            // Whatever is still on its way arrives within a pass or two.
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            if (udp->queuedDatagrams() == 0 && lines() + udp->lostDatagrams() < quint64(flood)) {
                break;
            }
        }
    }
    sender.join();
    const double absorbed = clock.nsecsElapsed() / 1e9;
    ticker.stop();

    const QStringList logged = log->text().split(u"\r\n"_s, Qt::SkipEmptyParts);
    bool inOrder = true;
    for (qsizetype i = 1; i < logged.size(); ++i) {
        if (logged[i].mid(12, 6).toInt() <= logged[i - 1].mid(12, 6).toInt()) {
            inOrder = false;
            break;
        }
    }

    // A link check after the flood.
    const QByteArray request = kPrefix + "AUTODETECT1";
    QElapsedTimer answer;
    answer.start();
    (void)peer.sendTo(std::span<const char>(request.constData(), request.size()), 0x7F000001, port);
    std::array<char, 2048> area{};
    std::array<NativeUdpSocket::Datagram, 1> got{};
    double answeredAfter = -1;
    while (answer.elapsed() < 10'000 && answeredAfter < 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        const NativeUdpSocket::Batch batch = peer.receiveMany(area, area.size(), got);
        if (batch.count == 1 && QByteArray(area.data(), got[0].size).contains("MYNAMEIS1:")) {
            answeredAfter = answer.nsecsElapsed() / 1e6;
        }
    }

    std::printf("flood of %d chat datagrams, sent in one burst over loopback\n", flood);
    std::printf("  in the log             %lld (lost and counted: %llu)\n",
                static_cast<long long>(logged.size()),
                static_cast<unsigned long long>(udp->lostDatagrams()));
    std::printf("  in order               %s\n", inOrder ? "yes" : "NO");
    std::printf("  taken in within        %.2f s (%.1f us a line)\n", absorbed,
                absorbed * 1e6 / std::max<qsizetype>(1, logged.size()));
    std::printf("  log repaints meanwhile %d\n", paints.paints - paintsBefore);
    std::printf("  longest pause of a 10 ms timer  %lld ms\n",
                static_cast<long long>(longestPause));
    std::printf("  link check answered after the flood in %.1f ms\n", answeredAfter);

    const bool screenReader = QAccessible::isActive();
    const std::string where = screenReader ? "AT-SPI on" : "AT-SPI off";
    const double goal = screenReader ? 2.0 : 1.0;
    const bool whole = logged.size() == flood && inOrder;
    bench::row(bench::format("flood of %.0f chat lines into the window, ", flood) + where,
               bench::format("%.2f s", absorbed) + (whole ? "" : " (lines missing)"),
               bench::format(screenReader ? "<= %.0f s" : "< %.0f s", goal),
               absorbed < goal && whole);
    bench::row("flood, longest pause of the window, " + where,
               bench::format("%.0f ms", static_cast<double>(longestPause)), "<= 50 ms (responsive)",
               longestPause <= 50);
    return 0;
}
