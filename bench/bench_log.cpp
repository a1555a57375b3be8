// The conversation log at scale: 1,000,000 lines of 60 characters appended
// to a shown log, with an event loop pass (paint, input) after every line, as
// the endpoint delivers a flood of datagrams. Prints the cost per line over
// each 100,000 lines, the longest event loop pass, how often the view
// repainted, and the memory the log took against its text in UTF-16.

#include "BenchTable.h"
#include "PaintCounter.h"
#include "app/views/ConversationLog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int kLines = 1'000'000;
constexpr int kLineLength = 60;
constexpr int kBlock = 100'000;
constexpr int kSubBlock = 10'000;
constexpr int kPassEvery = 1;

double residentMegabytes() {
    QFile statm(u"/proc/self/statm"_s);
    if (!statm.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QList<QByteArray> fields = statm.readAll().split(' ');
    const double pages = fields.size() > 1 ? fields.at(1).toDouble() : 0;
    return pages * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ConversationLog log;
    log.resize(640, 420);
    log.show();
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
    }

    // A pool of distinct lines, made before the clock starts.
    QStringList pool;
    for (int i = 0; i < 1000; ++i) {
        QString line = u"ИВАН: строка %1 "_s.arg(i);
        while (line.size() < kLineLength) {
            line.append(QChar(static_cast<char16_t>(u'а' + line.size() % 32)));
        }
        pool.append(line);
    }

    PaintCounter counter;
    log.viewport()->installEventFilter(&counter);
    QElapsedTimer whole;
    whole.start();
    const double before = residentMegabytes();
    std::vector<double> blocks;
    std::vector<double> subBlocks;
    double longestPass = 0;
    QElapsedTimer block;
    QElapsedTimer pass;
    block.start();
    for (int i = 0; i < kLines; ++i) {
        log.appendLine(pool.at(i % pool.size()));
        if (i % kPassEvery == kPassEvery - 1) {
            pass.start();
            QApplication::processEvents();
            longestPass = std::max(longestPass, static_cast<double>(pass.nsecsElapsed()) / 1e6);
        }
        if (i % kSubBlock == kSubBlock - 1) {
            subBlocks.push_back(static_cast<double>(block.nsecsElapsed()) / 1000.0 / kSubBlock);
            block.start();
        }
        if (i % kBlock == kBlock - 1) {
            // The median of the block's ten parts, so that a moment when
            // other programs had the processor does not count as the log's.
            blocks.push_back(bench::median(subBlocks));
            subBlocks.clear();
        }
    }
    const double seconds = static_cast<double>(whole.nsecsElapsed()) / 1e9;
    QApplication::processEvents();
    const double grown = residentMegabytes() - before;
    const double textMegabytes = 2.0 * kLines * kLineLength / 1e6;

    const bool exact = log.text().size() == qsizetype(kLines) * (kLineLength + 2);
    std::printf("log of %d lines of %d characters, shown, an event loop pass every %d lines\n",
                kLines, kLineLength, kPassEvery);
    for (size_t i = 0; i < blocks.size(); ++i) {
        std::printf("  lines %7zu..%7zu  %6.2f us per line (median of 10,000-line parts)\n",
                    i * kBlock + 1, (i + 1) * kBlock, blocks[i]);
    }
    std::printf("  %.2f s in all; the view repainted %d times meanwhile\n", seconds,
                counter.paints);
    std::printf(
        "  longest event loop pass %.1f ms; grew %.0f MB for %.0f MB of UTF-16 text; "
        "text kept exactly: %s\n",
        longestPass, grown, textMegabytes, exact ? "yes" : "NO");
    const double first = blocks.front();
    const double last = blocks.back();
    const double worst = *std::max_element(blocks.begin(), blocks.end());
    bench::row("log append, worst 100k block of 1M lines", bench::format("%.2f us", worst),
               "<= 10 us", worst <= 10);
    bench::row("log append, last 100k / first 100k", bench::format("%.2fx", last / first),
               "<= 1.5x", last / first <= 1.5);
    bench::row("log memory / its UTF-16 text", bench::format("%.2fx", grown / textMegabytes),
               "<= 3x", grown / textMegabytes <= 3 && exact);
    bench::row("log, longest event loop pass while appending",
               bench::format("%.1f ms", longestPass), "<= 50 ms (responsive)", longestPass <= 50);
    return 0;
}
