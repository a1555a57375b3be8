// The conversation log at scale: 1,000,000 lines of 60 characters appended
// to a shown log, with an event loop pass (paint, input) after every line, as
// the endpoint delivers a flood of datagrams. Prints the cost per line over
// each 100,000 lines, the longest event loop pass, how often the view
// repainted, and the memory the log took against its text in UTF-16. Then,
// for the program's view: the cost of counting the rows of a million lines
// anew when the width changes, and 100,000 lines of 250 characters that wrap
// to several rows.
//
// The same work then runs on a stock read-only QPlainTextEdit fed the same
// lines, in a process of its own (so that it finds no memory the first one
// freed), for at most kStockSeconds: it is far slower, and its figures
// over the lines it took are enough to compare.
//
// Usage: bench_log [--stock]. Without an argument it runs the program's view
// and then itself with --stock.

#include "BenchTable.h"
#include "PaintCounter.h"
#include "app/views/ConversationLog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>

#include <unistd.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int kLines = 1'000'000;
constexpr int kLineLength = 60;
constexpr int kWrappedLines = 100'000;
constexpr int kWrappedLength = 250;
constexpr int kBlock = 100'000;
constexpr int kSubBlock = 10'000;
constexpr double kStockSeconds = 20;

double residentMegabytes() {
    QFile statm(u"/proc/self/statm"_s);
    if (!statm.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QList<QByteArray> fields = statm.readAll().split(' ');
    const double pages = fields.size() > 1 ? fields.at(1).toDouble() : 0;
    return pages * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1e6;
}

// A pool of distinct lines, made before the clock starts.
QStringList makePool(int length) {
    QStringList pool;
    for (int i = 0; i < 1000; ++i) {
        QString line = u"ИВАН: строка %1 "_s.arg(i);
        while (line.size() < length) {
            // Words of five to nine letters, so long lines wrap at blanks.
            line.append(line.size() % (5 + i % 5) == 0
                            ? QChar(u' ')
                            : QChar(static_cast<char16_t>(u'а' + line.size() % 32)));
        }
        pool.append(line);
    }
    return pool;
}

void settle() {
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
    }
}

struct Feed {
    std::vector<double> blocks;  // us per line, median of each block's parts
    int lines = 0;
    double seconds = 0;
    double longestPass = 0;
    double grownMegabytes = 0;
    int paints = 0;
};

// Appends up to count lines of the pool with an event loop pass after each,
// stopping at the time limit.
Feed feed(QWidget& paintTarget, const std::function<void(const QString&)>& append,
          const QStringList& pool, int count, double limitSeconds) {
    PaintCounter counter;
    paintTarget.installEventFilter(&counter);
    Feed result;
    QElapsedTimer whole;
    whole.start();
    const double before = residentMegabytes();
    std::vector<double> subBlocks;
    QElapsedTimer block;
    QElapsedTimer pass;
    block.start();
    for (int i = 0; i < count; ++i) {
        append(pool.at(i % pool.size()));
        pass.start();
        QApplication::processEvents();
        result.longestPass =
            std::max(result.longestPass, static_cast<double>(pass.nsecsElapsed()) / 1e6);
        result.lines = i + 1;
        if (i % kSubBlock == kSubBlock - 1) {
            subBlocks.push_back(static_cast<double>(block.nsecsElapsed()) / 1000.0 / kSubBlock);
            block.start();
            if (whole.nsecsElapsed() / 1e9 > limitSeconds) {
                break;
            }
        }
        if (i % kBlock == kBlock - 1) {
            // The median of the block's ten parts, so that a moment when
            // other programs had the processor does not count as the log's.
            result.blocks.push_back(bench::median(subBlocks));
            subBlocks.clear();
        }
    }
    if (!subBlocks.empty()) {
        result.blocks.push_back(bench::median(subBlocks));  // a block cut short
    }
    result.seconds = static_cast<double>(whole.nsecsElapsed()) / 1e9;
    QApplication::processEvents();
    result.grownMegabytes = residentMegabytes() - before;
    result.paints = counter.paints;
    paintTarget.removeEventFilter(&counter);
    return result;
}

void report(const Feed& fed, int length, const std::string& name, bool exact, bool whole) {
    std::printf("%s: %d lines of %d characters, shown, an event loop pass after each line\n",
                name.c_str(), fed.lines, length);
    for (size_t i = 0; i < fed.blocks.size(); ++i) {
        std::printf("  lines %7zu..%7zu  %8.2f us per line (median of 10,000-line parts)\n",
                    i * kBlock + 1, std::min<size_t>((i + 1) * kBlock, fed.lines), fed.blocks[i]);
    }
    const double textMegabytes = 2.0 * fed.lines * length / 1e6;
    std::printf("  %.2f s in all; the view repainted %d times meanwhile\n", fed.seconds,
                fed.paints);
    std::printf(
        "  longest event loop pass %.1f ms; grew %.0f MB for %.0f MB of UTF-16 text; "
        "text kept exactly: %s\n",
        fed.longestPass, fed.grownMegabytes, textMegabytes, exact ? "yes" : "NO");
    const double first = fed.blocks.front();
    const double last = fed.blocks.back();
    const double worst = *std::max_element(fed.blocks.begin(), fed.blocks.end());
    const std::string cut =
        whole ? std::string() : bench::format(" (stopped after %.0f lines, time limit)", fed.lines);
    bench::row("log append, worst 100k block of 1M lines, " + name,
               bench::format("%.2f us", worst) + cut, "<= 10 us", worst <= 10 && whole);
    bench::row("log append, last 100k / first 100k, " + name,
               bench::format("%.2fx", last / first) + cut, "<= 1.5x", last / first <= 1.5 && whole);
    const double ratio = fed.grownMegabytes / textMegabytes;
    bench::row("log memory / its UTF-16 text, " + name, bench::format("%.2fx", ratio) + cut,
               "<= 3x", ratio <= 3 && exact && whole);
    bench::row("log, longest event loop pass while appending, " + name,
               bench::format("%.1f ms", fed.longestPass) + cut, "<= 50 ms (responsive)",
               fed.longestPass <= 50 && whole);
}

int runCustom() {
    const std::string name = "custom ConversationLog";
    ConversationLog log;
    log.resize(640, 420);
    log.show();
    settle();
    const QStringList pool = makePool(kLineLength);
    const Feed fed = feed(
        *log.viewport(), [&](const QString& line) { log.appendLine(line); }, pool, kLines, 1e9);
    const bool exact = log.text().size() == qsizetype(kLines) * (kLineLength + 2);
    report(fed, kLineLength, name, exact, true);

    // A change of width: lines that fit either width keep their one row
    // unmeasured; at 420 every line takes two rows and is measured anew.
    std::vector<std::pair<int, double>> resizes;
    int before = log.width();
    for (const int width : {600, 420, 640}) {
        QElapsedTimer clock;
        clock.start();
        log.resize(width, 420);
        QApplication::processEvents();
        resizes.emplace_back(width, static_cast<double>(clock.nsecsElapsed()) / 1e6);
        std::printf("  width %d -> %d: rows counted anew and painted in %.1f ms (%lld rows)\n",
                    before, width, resizes.back().second, static_cast<long long>(log.rowCount()));
        before = width;
    }
    bench::info("log width change with 1M lines, all still one row each, " + name,
                bench::format("%.1f ms", resizes[0].second), "no goal: one pause");
    bench::info("log width change with 1M lines, every line wrapped anew, " + name,
                bench::format("%.1f ms", std::max(resizes[1].second, resizes[2].second)),
                "no goal: one pause");
    log.clear();

    // Long lines that wrap, in a log of their own.
    ConversationLog wrapped;
    wrapped.resize(640, 420);
    wrapped.show();
    settle();
    const Feed fedWrapped = feed(
        *wrapped.viewport(), [&](const QString& line) { wrapped.appendLine(line); },
        makePool(kWrappedLength), kWrappedLines, 1e9);
    const double worst = *std::max_element(fedWrapped.blocks.begin(), fedWrapped.blocks.end());
    std::printf("  %d lines of %d characters (%lld rows): %.2f us per line, %.2f s in all\n",
                kWrappedLines, kWrappedLength, static_cast<long long>(wrapped.rowCount()), worst,
                fedWrapped.seconds);
    bench::row("log append, 100k lines of 250 characters (wrapped), " + name,
               bench::format("%.2f us", worst), "<= 10 us", worst <= 10);
    return 0;
}

int runStock() {
    const std::string name = "stock QPlainTextEdit";
    QPlainTextEdit edit;
    edit.setReadOnly(true);
    edit.resize(640, 420);
    edit.show();
    settle();
    const QStringList pool = makePool(kLineLength);
    const Feed fed = feed(
        *edit.viewport(), [&](const QString& line) { edit.appendPlainText(line); }, pool, kLines,
        kStockSeconds);
    const bool exact = edit.document()->blockCount() == fed.lines;
    report(fed, kLineLength, name, exact, fed.lines == kLines);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const bool stock = argc > 1 && std::string(argv[1]) == "--stock";
    QApplication app(argc, argv);
    if (stock) {
        return runStock();
    }
    int status = runCustom();
    std::fflush(stdout);
    // The stock widget in a process of its own, its rows after these.
    status |= QProcess::execute(QCoreApplication::applicationFilePath(), {u"--stock"_s});
    return status;
}
