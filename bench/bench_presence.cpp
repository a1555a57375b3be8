// Presence at scale, over real sockets on loopback (no fixed port, no root):
//   registration of a directory of 254 addresses (127.0.0.1..254): the time
//     from the start of the first tick's registration to the 254th datagram
//     handed to the kernel, and how many a listener on loopback got;
//   a directory of 10,000 lines: saved to and loaded from its file (the load
//     shown in a visible directory view), and registered.
// Medians of several rounds.

#include "BenchTable.h"
#include "core/Conference.h"
#include "core/DataFiles.h"
#include "net/UdpSocketEndpoint.h"
#include "net/platform/NativeUdpSocket.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListView>
#include <QTemporaryDir>

#include <array>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int kSmall = 254;
constexpr int kLarge = 10'000;
constexpr int kSmallRounds = 51;
constexpr int kLargeRounds = 7;

int drain(NativeUdpSocket& socket) {
    std::vector<char> area(32 * 2048);
    std::array<NativeUdpSocket::Datagram, 32> datagrams{};
    int count = 0;
    for (;;) {
        const int got = socket.receiveMany(area, 2048, datagrams).count;
        if (got <= 0) {
            return count;
        }
        count += got;
    }
}

double millisecondsSince(const QElapsedTimer& clock) {
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

QStringList directoryLines(int count) {
    QStringList lines;
    for (int i = 0; i < count; ++i) {
        // 127.0.0.0/8 is loopback as a whole.
        const int host = i + 1;
        lines.append(u"КОРРЕСПОНДЕНТ %1 _|_ 127.%2.%3.%4"_s.arg(host)
                         .arg(host >> 16)
                         .arg((host >> 8) & 0xFF)
                         .arg(host & 0xFF));
    }
    return lines;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);

    NativeUdpSocket listener;
    if (listener.open() != 0 || listener.bindAny(0) != 0) {
        std::puts("presence: no listening socket");
        return 1;
    }
    UdpSocketEndpoint endpoint(listener.localPort());
    endpoint.bind(0);
    Conference conference(endpoint);
    conference.setSelfName(u"ИВАН"_s);

    // 254 registrations.
    conference.directory().setLines(directoryLines(kSmall));
    std::vector<double> small;
    int received = kSmall;
    QElapsedTimer clock;
    for (int round = 0; round < kSmallRounds; ++round) {
        drain(listener);
        clock.start();
        (void)conference.registerAll();
        small.push_back(millisecondsSince(clock));
        received = std::min(received, drain(listener));
    }

    // 10,000 lines: save, load into a shown view, register.
    QTemporaryDir dir;
    QListView view;
    view.setUniformItemSizes(true);
    view.setModel(conference.directory().model());
    view.resize(300, 400);
    view.show();
    QApplication::processEvents();
    const QStringList large = directoryLines(kLarge);
    std::vector<double> saves;
    std::vector<double> loads;
    std::vector<double> registrations;
    for (int round = 0; round < kLargeRounds; ++round) {
        // As the window does it: the files are loaded at start and saved
        // at the end; only the save is timed here.
        DataFiles files(dir.path());
        (void)files.load();
        clock.start();
        const DataFiles::SaveReport report = files.save(large, Settings{});
        saves.push_back(millisecondsSince(clock));
        if (!report.errors.isEmpty() || !report.notSaved.isEmpty()) {
            std::puts("presence: the directory was not saved");
            return 1;
        }

        conference.directory().clear();
        QApplication::processEvents();
        clock.start();
        const DataFiles::Loaded loaded = DataFiles(dir.path()).load();
        conference.directory().setLines(loaded.directoryLines);
        QApplication::processEvents();
        loads.push_back(millisecondsSince(clock));
        if (loaded.directoryLines != large) {
            std::puts("presence: the directory did not come back whole");
            return 1;
        }

        drain(listener);
        clock.start();
        (void)conference.registerAll();
        registrations.push_back(millisecondsSince(clock));
        drain(listener);
    }

    const double s = bench::median(small);
    std::printf(
        "presence, medians: %d registrations %.2f ms (a listener got %d); %d lines: "
        "save %.1f ms, load %.1f ms, register %.1f ms\n",
        kSmall, s, received, kLarge, bench::median(saves), bench::median(loads),
        bench::median(registrations));
    bench::row("254 registrations on the wire after the first tick", bench::format("%.2f ms", s),
               "<= 5 ms", s <= 5 && received == kSmall);
    bench::row("10,000-line directory: load (shown)",
               bench::format("%.1f ms", bench::median(loads)), "<= 100 ms",
               bench::median(loads) <= 100);
    bench::row("10,000-line directory: register",
               bench::format("%.1f ms", bench::median(registrations)), "<= 100 ms",
               bench::median(registrations) <= 100);
    bench::row("10,000-line directory: save", bench::format("%.1f ms", bench::median(saves)),
               "<= 100 ms", bench::median(saves) <= 100);
    return 0;
}
