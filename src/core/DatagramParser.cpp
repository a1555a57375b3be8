#include "core/DatagramParser.h"

#include "core/Protocol.h"
#include "text/Cp1251.h"
#include "text/Normalization.h"

#include <algorithm>
#include <utility>

namespace DatagramParser {
namespace {

// Deletes the first occurrence of keyword from text and cuts the blanks.
// False, with text unchanged, when the keyword does not occur.
bool takeKeyword(QString& text, const QString& keyword) {
    const qsizetype at = text.indexOf(keyword);
    if (at < 0) {
        return false;
    }
    text.remove(at, keyword.size());
    cutSpaces(text);
    return true;
}

// Deletes everything through the end of the first relay separator and cuts
// the blanks. False, with text unchanged, when there is no separator.
bool takeRelayedEntry(QString& text) {
    const qsizetype at = text.indexOf(Protocol::kRelaySeparator);
    if (at < 0) {
        return false;
    }
    text.remove(0, at + Protocol::kRelaySeparator.size());
    cutSpaces(text);
    return true;
}

// Eight upper-case hex digits, and nothing else.
std::optional<quint32> parseLineId(QStringView digits) {
    if (digits.size() != Protocol::kLineIdDigits) {
        return std::nullopt;
    }
    for (const QChar c : digits) {
        if (!((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'))) {
            return std::nullopt;
        }
    }
    bool ok = false;
    const quint32 id = digits.toUInt(&ok, 16);
    return ok ? std::optional(id) : std::nullopt;
}

}  // namespace

std::optional<quint32> lineId(QByteArrayView bytes, int numberBytes) {
    if (numberBytes <= 0) {
        return std::nullopt;
    }
    const QByteArrayView all = bytes.first(std::min(qsizetype{numberBytes}, bytes.size()));
    const qsizetype nul = all.indexOf('\0');
    if (nul < 0) {
        return std::nullopt;
    }
    const QByteArrayView tail = all.sliced(nul + 1);
    const QByteArray tag = Protocol::kLineIdTag.toLatin1();
    if (!tail.startsWith(tag)) {
        return std::nullopt;
    }
    return parseLineId(QString::fromLatin1(tail.sliced(tag.size())));
}

std::optional<NewerKind> newerKind(const QString& controlText) {
    using Kind = NewerKind::Kind;
    const QStringView text(controlText);
    constexpr int digits = Protocol::kLineIdDigits;
    if (text.startsWith(Protocol::kHello)) {
        const QStringView argument = text.sliced(Protocol::kHello.size());
        if (const auto challenge = parseLineId(argument)) {
            return NewerKind{Kind::Hello, *challenge};
        }
        if (argument.size() == 2 * digits) {
            const auto echo = parseLineId(argument.first(digits));
            const auto challenge = parseLineId(argument.sliced(digits));
            if (echo && challenge) {
                return NewerKind{Kind::HelloAnswer, *challenge, *echo};
            }
        }
        return std::nullopt;
    }
    if (text.startsWith(Protocol::kEcho)) {
        if (const auto echo = parseLineId(text.sliced(Protocol::kEcho.size()))) {
            return NewerKind{Kind::Echo, 0, *echo};
        }
        return std::nullopt;
    }
    // The keywords that carry one number of eight digits.
    for (const auto& [keyword, kind] :
         {std::pair{&Protocol::kReceipt, Kind::Receipt}, std::pair{&Protocol::kPing, Kind::Ping},
          std::pair{&Protocol::kPong, Kind::Pong}}) {
        if (text.startsWith(*keyword)) {
            if (const auto id = parseLineId(text.sliced(keyword->size()))) {
                return NewerKind{kind, *id};
            }
            return std::nullopt;
        }
    }
    if (text.startsWith(Protocol::kAsk)) {
        const QStringView argument = text.sliced(Protocol::kAsk.size());
        if (argument.size() == 2 * digits) {
            const auto nonce = parseLineId(argument.first(digits));
            const auto address = parseLineId(argument.sliced(digits));
            if (nonce && address) {
                return NewerKind{Kind::Ask, *nonce, 0, *address};
            }
        }
        return std::nullopt;
    }
    if (text.startsWith(Protocol::kGone)) {
        if (const auto address = parseLineId(text.sliced(Protocol::kGone.size()))) {
            return NewerKind{Kind::Gone, 0, 0, *address};
        }
    }
    return std::nullopt;
}

QString receivedText(QByteArrayView bytes, int numberBytes) {
    if (numberBytes <= 0) {
        return {};
    }
    const QByteArrayView text = bytes.first(
        std::min({qsizetype{numberBytes}, bytes.size(), qsizetype{Protocol::kMaxTextLength}}));
    const QByteArrayView upToNul =
        text.first(std::find(text.begin(), text.end(), '\0') - text.begin());
    QString decoded = Cp1251::decode(
        std::span<const char>(upToNul.data(), static_cast<std::size_t>(upToNul.size())));
    cutSpaces(decoded);
    return decoded;
}

std::optional<QString> controlText(const QString& text) {
    if (!text.startsWith(Protocol::kControlPrefix)) {
        return std::nullopt;
    }
    QString rest = text.mid(Protocol::kControlPrefix.size());
    cutSpaces(rest);
    return rest;
}

QList<KeywordMatch> matchKeywords(QString controlText) {
    QList<KeywordMatch> matches;

    auto request = [&](const QString& keyword, Keyword kind) {
        if (controlText.contains(keyword)) {
            matches.append({kind, {}});
        }
    };
    auto named = [&](const QString& keyword, Keyword kind) {
        if (takeKeyword(controlText, keyword)) {
            matches.append({kind, controlText});
        }
    };
    auto relayed = [&](const QString& keyword, Keyword kind) {
        if (takeKeyword(controlText, keyword) && takeRelayedEntry(controlText)) {
            matches.append({kind, controlText});
        }
    };

    request(Protocol::kAutoDetect1, Keyword::AutoDetect1);
    named(Protocol::kMyNameIs1, Keyword::MyNameIs1);
    request(Protocol::kAutoDetect0, Keyword::AutoDetect0);
    named(Protocol::kMyNameIs0, Keyword::MyNameIs0);
    named(Protocol::kMyNameIs2, Keyword::MyNameIs2);
    named(Protocol::kMyNameIs3, Keyword::MyNameIs3);
    named(Protocol::kIAmExit, Keyword::IAmExit);
    relayed(Protocol::kNewAddr, Keyword::NewAddr);
    relayed(Protocol::kEditAddr, Keyword::EditAddr);
    return matches;
}

}  // namespace DatagramParser
