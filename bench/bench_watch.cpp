// The roster watch at scale, without a window: one look at rosters of 100,
// 1,000 and 100,000 members, once with every member heard lately (the usual
// look: nothing to do) and once with every member silent (a full budget of
// probes); then 600,000 datagrams from as many sources that are no members.
// The cost of a look must not grow with the roster, and strangers must not
// be kept.

#include "BenchTable.h"
#include "core/RosterWatch.h"

#include <QElapsedTimer>
#include <QString>

#include <string>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

QString address(int i) {
    return u"10.%1.%2.%3"_s.arg((i >> 16) & 0xFF).arg((i >> 8) & 0xFF).arg(i & 0xFF);
}

// Microseconds of one look, median of a few, on a watch of this many members.
double lookMicroseconds(int members, bool silent) {
    std::vector<double> times;
    for (int run = 0; run < 5; ++run) {
        RosterWatch watch;
        for (int i = 0; i < members; ++i) {
            watch.joined(address(i), 0);
        }
        const qint64 now = silent ? RosterWatch::kProbeAfterMs * RosterWatch::kMaxStretch : 1;
        QElapsedTimer clock;
        clock.start();
        const RosterWatch::Plan plan = watch.look(now);
        times.push_back(static_cast<double>(clock.nsecsElapsed()) / 1000.0);
        if (silent && plan.probe.isEmpty()) {
            return -1;
        }
    }
    return bench::median(times);
}

}  // namespace

int main() {
    for (const int members : {100, 1'000, 100'000}) {
        const std::string size = std::to_string(members);
        bench::info("one look, " + size + " members heard lately",
                    bench::format("%.1f us", lookMicroseconds(members, false)),
                    "the same at any size");
        bench::info("one look, " + size + " members all silent",
                    bench::format("%.1f us", lookMicroseconds(members, true)),
                    "grows with the probes sent, not the roster");
    }
    RosterWatch watch;
    for (int i = 0; i < 1'000; ++i) {
        watch.joined(address(i), 0);
    }
    const int strangers = 600'000;
    std::vector<QString> sources;
    sources.reserve(strangers);
    for (int i = 0; i < strangers; ++i) {
        sources.push_back(address(0x100000 + i));
    }
    QElapsedTimer clock;
    clock.start();
    for (const QString& source : sources) {
        watch.heard(source, 1);
    }
    const double perDatagram = static_cast<double>(clock.nsecsElapsed()) / strangers;
    bench::info("600,000 stray sources heard", bench::format("%.0f ns each", perDatagram), "");
    bench::row("watch table after 600,000 stray sources (1,000 members)",
               std::to_string(watch.members()), "1000", watch.members() == 1'000);
    return 0;
}
