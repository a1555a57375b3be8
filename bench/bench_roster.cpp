// The roster at scale: one line added to or removed from a sorted roster of
// 10,000 lines shown in a visible list view, each step followed by the event
// loop pass that lets the view lay out and paint. The add and the remove go
// the way a registration and an exit notice take them: look the line up
// (binary search in the sorted list), then add or remove it. The same work
// runs twice: on the program's roster view and on a stock QListView with
// uniform item sizes, so the table shows what the custom view buys.

#include "BenchTable.h"
#include "app/views/UniformListView.h"
#include "core/EntryList.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListView>
#include <QRandomGenerator>

#include <string>

using namespace Qt::StringLiterals;

namespace {

constexpr int kLines = 10'000;
constexpr int kSteps = 2'000;

QString rosterLine(quint32 n) {
    return u"УЧАСТНИК %1 _|_ 10.%2.%3.%4"_s.arg(n * 7919u % 100'000u)
        .arg((n >> 16) & 0xFF)
        .arg((n >> 8) & 0xFF)
        .arg(n & 0xFF);
}

void settle() {
    for (int i = 0; i < 3; ++i) {
        QApplication::processEvents();
    }
}

// Adds and removes kSteps lines on a roster of kLines lines shown by view,
// configured as the window's roster view; prints the figures and the rows.
void measure(QAbstractItemView& view, const std::string& name) {
    EntryList roster(EntryList::Order::Sorted);
    view.setSelectionMode(QAbstractItemView::SingleSelection);
    view.setEditTriggers(QAbstractItemView::NoEditTriggers);
    view.setModel(roster.model());
    view.setSelectionModel(roster.selectionModel());
    view.resize(220, 420);
    view.show();
    settle();

    for (quint32 n = 1; n <= kLines; ++n) {
        roster.add(rosterLine(n));
    }
    roster.setSelectedIndex(kLines / 2);
    settle();

    std::vector<double> adds;
    std::vector<double> removes;
    QElapsedTimer clock;
    QRandomGenerator random(11);
    for (int step = 0; step < kSteps; ++step) {
        const QString line = rosterLine(kLines + 1 + random.bounded(1'000'000u));
        clock.start();
        if (roster.indexOf(line) < 0) {
            roster.add(line);
        }
        QApplication::processEvents();
        adds.push_back(static_cast<double>(clock.nsecsElapsed()) / 1000.0);

        clock.start();
        roster.remove(roster.indexOf(line));
        QApplication::processEvents();
        removes.push_back(static_cast<double>(clock.nsecsElapsed()) / 1000.0);
    }
    view.hide();
    view.setModel(nullptr);

    std::printf(
        "%s: roster of %d lines, shown; %d adds and removes, each with one event loop "
        "pass\n",
        name.c_str(), kLines, kSteps);
    std::printf("  add     mean %8.1f us  median %8.1f us\n", bench::mean(adds),
                bench::median(adds));
    std::printf("  remove  mean %8.1f us  median %8.1f us\n", bench::mean(removes),
                bench::median(removes));
    bench::row("roster add, 10,000 lines shown (mean), " + name,
               bench::format("%.1f us", bench::mean(adds)), "<= 50 us", bench::mean(adds) <= 50);
    bench::row("roster remove, 10,000 lines shown (mean), " + name,
               bench::format("%.1f us", bench::mean(removes)), "<= 50 us",
               bench::mean(removes) <= 50);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    {
        UniformListView custom;
        measure(custom, "custom UniformListView");
    }
    {
        QListView stock;
        stock.setUniformItemSizes(true);
        measure(stock, "stock QListView");
    }
    return 0;
}
