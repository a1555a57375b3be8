#include "core/SweepRanges.h"

#include <QSet>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace SweepRanges {

namespace {

// An inclusive range of addresses; for a subnet also its network and
// broadcast address, which are skipped.
struct Span {
    quint32 first = 0;
    quint32 last = 0;
    bool isSubnet = false;
};

quint32 maskFor(int prefixLength) {
    return prefixLength <= 0 ? 0U : ~0U << (32 - prefixLength);
}

// Subnets of 31 and 32 bits have no network or broadcast address.
bool hasNetworkAndBroadcast(int prefixLength) {
    return prefixLength <= 30;
}

bool neverAHost(quint32 address) {
    const quint32 top = address >> 24;
    return top == 0 || top == 127 || top >= 224;
}

std::optional<int> parseNumber(QStringView text, int maximum) {
    if (text.isEmpty() || text.size() > 3) {
        return std::nullopt;
    }
    int value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        value = value * 10 + (c.unicode() - u'0');
    }
    if (value > maximum) {
        return std::nullopt;
    }
    return value;
}

std::optional<Span> parseLine(QStringView line) {
    const qsizetype slash = line.indexOf(u'/');
    if (slash >= 0) {
        const std::optional<quint32> address = parseAddress(line.left(slash).trimmed());
        const std::optional<int> prefix = parseNumber(line.mid(slash + 1).trimmed(), 32);
        if (!address || !prefix) {
            return std::nullopt;
        }
        const quint32 mask = maskFor(*prefix);
        return Span{*address & mask, (*address & mask) | ~mask, hasNetworkAndBroadcast(*prefix)};
    }
    const qsizetype dash = line.indexOf(u'-');
    if (dash >= 0) {
        const std::optional<quint32> first = parseAddress(line.left(dash).trimmed());
        const std::optional<quint32> last = parseAddress(line.mid(dash + 1).trimmed());
        if (!first || !last || *first > *last) {
            return std::nullopt;
        }
        return Span{*first, *last, false};
    }
    const std::optional<quint32> single = parseAddress(line);
    if (!single) {
        return std::nullopt;
    }
    return Span{*single, *single, false};
}

}  // namespace

std::optional<quint32> parseAddress(QStringView text) {
    quint32 address = 0;
    int parts = 0;
    for (const QStringView part : text.tokenize(u'.')) {
        const std::optional<int> value = parseNumber(part, 255);
        if (!value || ++parts > 4) {
            return std::nullopt;
        }
        address = (address << 8) | static_cast<quint32>(*value);
    }
    if (parts != 4) {
        return std::nullopt;
    }
    return address;
}

QString addressText(quint32 address) {
    return u"%1.%2.%3.%4"_s.arg(address >> 24)
        .arg((address >> 16) & 0xFF)
        .arg((address >> 8) & 0xFF)
        .arg(address & 0xFF);
}

QStringList proposedRanges(const QList<LocalNetwork>& networks) {
    QStringList lines;
    for (const LocalNetwork& network : networks) {
        if (network.prefixLength >= 32 || network.prefixLength < 0) {
            continue;
        }
        const quint32 mask = maskFor(network.prefixLength);
        const quint32 base = network.address & mask;
        const quint64 size = quint64{1} << (32 - network.prefixLength);
        QString line;
        // The own address is one of the range and skipped, so a range of
        // kNearestLimit + 1 asks kNearestLimit others.
        const quint64 hosts = hasNetworkAndBroadcast(network.prefixLength) ? size - 2 : size;
        if (hosts <= quint64{kNearestLimit} + 1) {
            line = network.prefixLength == 31
                       ? addressText(base) + u'-' + addressText(base + 1)
                       : addressText(base) + u'/' + QString::number(network.prefixLength);
        } else {
            // Hosts run from base + 1 to base + size - 2; centre the window
            // on the own address and slide it back inside at the edges.
            const qint64 lowest = qint64{base} + 1;
            const qint64 highest = qint64{base} + qint64(size) - 2;
            qint64 first = qint64{network.address} - kNearestLimit / 2;
            first = std::clamp(first, lowest, highest - kNearestLimit);
            line = addressText(quint32(first)) + u'-' + addressText(quint32(first + kNearestLimit));
        }
        if (!lines.contains(line)) {
            lines.append(line);
        }
    }
    return lines;
}

Plan plan(const QString& text, const QList<LocalNetwork>& networks) {
    Plan result;
    QList<Span> spans;
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty()) {
            continue;
        }
        const std::optional<Span> span = parseLine(line);
        if (!span) {
            result.status = Plan::Status::Malformed;
            result.badLineNumber = int(i) + 1;
            result.badLine = line;
            return result;
        }
        spans.append(*span);
        result.covered += qint64{span->last} - qint64{span->first} + 1;
    }
    if (result.covered > kMaxAddresses) {
        result.status = Plan::Status::TooMany;
        return result;
    }

    QSet<quint32> skipped;
    for (const LocalNetwork& network : networks) {
        skipped.insert(network.address);
        if (hasNetworkAndBroadcast(network.prefixLength)) {
            const quint32 mask = maskFor(network.prefixLength);
            skipped.insert(network.address & mask);
            skipped.insert(network.address | ~mask);
        }
    }
    QSet<quint32> taken;
    for (const Span& span : spans) {
        for (quint64 a = span.first; a <= span.last; ++a) {
            const auto address = quint32(a);
            if (span.isSubnet && (address == span.first || address == span.last)) {
                continue;
            }
            if (neverAHost(address) || skipped.contains(address) || taken.contains(address)) {
                continue;
            }
            taken.insert(address);
            result.addresses.append(address);
        }
    }
    return result;
}

}  // namespace SweepRanges
