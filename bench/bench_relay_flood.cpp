// A flood of relayed directory lines, without a window: a peer relays
// 100,000 distinct new lines, and each is looked up in the directory and
// appended when it is not there, as the conference does. Prints the time in
// total and per line:
//   before: the lookup a plain case-ignoring scan of every line (what the
//     directory did before it kept an index), for comparison;
//   after: EntryList::contains and EntryList::indexOf on the indexed list;
//   the appends alone, the first tenth against the last (a cost that grows
//     with the length would show there);
//   a moved line (remove the line, append it again) in the full directory;
//   the same flood through RelayLimit, from one sender and from as many
//     senders as lines.
// One line of the directory is selected throughout, as in the window.
//
// Usage: bench_relay_flood [lines] [lines-before]; both 100,000 by default.
// The "before" run is quadratic: well over a minute at the default.

#include "BenchTable.h"
#include "core/EntryList.h"
#include "core/RelayLimit.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdlib>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

constexpr int kDefaultLines = 100'000;
constexpr int kMoved = 1'000;

QString relayedLine(int i) {
    // Lines as the directory holds them: an upper-cased name and address.
    return u"ФЛУД %1 _|_ 10.%2.%3.%4"_s.arg(i)
        .arg((i >> 16) & 0xFF)
        .arg((i >> 8) & 0xFF)
        .arg(i & 0xFF);
}

QStringList relayedLines(int count) {
    QStringList lines;
    lines.reserve(count);
    for (int i = 0; i < count; ++i) {
        lines.append(relayedLine(i));
    }
    return lines;
}

double millisecondsSince(const QElapsedTimer& clock) {
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

void report(const std::string& figure, double totalMs, int count) {
    bench::info(figure + " (total)", bench::format("%.1f ms", totalMs), std::to_string(count));
    bench::info(figure + " (per line)",
                bench::format("%.3f us", totalMs * 1000.0 / std::max(count, 1)), "");
}

// Absorbs every line with the lookup given, then appends; returns the time.
// The first and last tenth are timed apart too.
double absorb(EntryList& directory, const QStringList& lines,
              const std::function<bool(const EntryList&, const QString&)>& isThere,
              double* firstTenthMs = nullptr, double* lastTenthMs = nullptr) {
    directory.add(u"СВОЙ _|_ 10.0.0.1"_s);
    directory.setSelectedIndex(0);
    const auto tenth = static_cast<int>(lines.size() / 10);
    QElapsedTimer clock;
    QElapsedTimer part;
    clock.start();
    for (int i = 0; i < lines.size(); ++i) {
        if (i == 0 || i == lines.size() - tenth) {
            part.start();
        }
        if (!isThere(directory, lines.at(i))) {
            directory.add(lines.at(i));
        }
        if (i == tenth - 1 && firstTenthMs != nullptr) {
            *firstTenthMs = millisecondsSince(part);
        }
    }
    if (lastTenthMs != nullptr) {
        *lastTenthMs = millisecondsSince(part);
    }
    return millisecondsSince(clock);
}

// The lookup the directory made before it kept an index.
bool scanned(const EntryList& directory, const QString& text) {
    const QStringList all = directory.lines();
    for (const QString& line : all) {
        if (line.compare(text, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(std::atoi(argv[1]), 10) : kDefaultLines;
    const int before = argc > 2 ? std::max(std::atoi(argv[2]), 0) : count;
    const QStringList lines = relayedLines(count);

    {
        EntryList directory(EntryList::Order::AsGiven);
        report(
            "relayed lines, contains then add",
            absorb(directory, lines,
                   [](const EntryList& list, const QString& text) { return list.contains(text); }),
            count);
    }
    EntryList directory(EntryList::Order::AsGiven);
    double firstTenth = 0;
    double lastTenth = 0;
    report("relayed lines, indexOf then add",
           absorb(
               directory, lines,
               [](const EntryList& list, const QString& text) { return list.indexOf(text) >= 0; },
               &firstTenth, &lastTenth),
           count);
    bench::info("indexOf then add, first tenth against last (per line)",
                bench::format("%.3f us", firstTenth * 10'000.0 / count) + " / " +
                    bench::format("%.3f us", lastTenth * 10'000.0 / count),
                "a cost that grows with the length would show here");
    {
        EntryList appendsOnly(EntryList::Order::AsGiven);
        absorb(
            appendsOnly, lines, [](const EntryList&, const QString&) { return false; }, &firstTenth,
            &lastTenth);
        bench::info("appends alone, first tenth against last (per line)",
                    bench::format("%.3f us", firstTenth * 10'000.0 / count) + " / " +
                        bench::format("%.3f us", lastTenth * 10'000.0 / count),
                    "QStringListModel::insertRow at the end, then setData");
    }

    // A line that is there, moved to the end (remove it, append it again),
    // in the full directory: the lookup of a present line still reads the
    // keys from the start.
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kMoved; ++i) {
        const QString& line = lines.at((i * 7919) % count);
        directory.remove(directory.indexOf(line));
        directory.add(line);
    }
    report("present lines moved to the end, " + std::to_string(directory.count()) + " lines",
           millisecondsSince(clock), kMoved);

    // Through the limit: one sender, then a new sender address for every line.
    {
        EntryList limited(EntryList::Order::AsGiven);
        RelayLimit limit;
        int admitted = 0;
        clock.start();
        for (const QString& line : lines) {
            if (!limited.contains(line) && limit.admit(u"10.0.0.66"_s, 0)) {
                limited.add(line);
                ++admitted;
            }
        }
        report("one sender through RelayLimit", millisecondsSince(clock), count);
        bench::info(
            "one sender: admitted / refused",
            std::to_string(admitted) + " / " + std::to_string(limit.refused(u"10.0.0.66"_s)), "");
    }
    {
        EntryList limited(EntryList::Order::AsGiven);
        RelayLimit limit;
        QStringList senders;
        senders.reserve(count);
        for (int i = 0; i < count; ++i) {
            senders.append(u"172.16.%1.%2"_s.arg(i >> 8).arg(i & 0xFF));
        }
        clock.start();
        for (int i = 0; i < count; ++i) {
            const QString& line = lines.at(i);
            if (!limited.contains(line) && limit.admit(senders.at(i), i)) {
                limited.add(line);
            }
        }
        report("a new sender for every line through RelayLimit", millisecondsSince(clock), count);
        bench::info("senders tracked at the end", std::to_string(limit.trackedSenders()),
                    "at most " + std::to_string(RelayLimit::kMaxSenders));
    }

    if (before > 0) {
        EntryList scannedDirectory(EntryList::Order::AsGiven);
        report("before: relayed lines, a scan then add",
               absorb(scannedDirectory, lines.mid(0, before), scanned), before);
    }
    return 0;
}
