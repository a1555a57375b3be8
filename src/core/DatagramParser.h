#pragma once

#include <QList>
#include <QString>

#include <optional>
#include <span>

// The receive side of the datagram format: from the bytes in the receive
// buffer to the text, and from a control text to the keywords it holds.
// Pure functions; the dispatcher applies what they find.
namespace DatagramParser {

// The text of a received datagram: the buffer's first bytes, as many as the
// datagram has and the buffer was given (numberBytes, count), at most 255,
// up to the first NUL, with the blanks at both ends cut. Empty when either
// number is 0 or negative.
[[nodiscard]] QString receivedText(std::span<const char> buffer, int numberBytes, int count);

// The control text of a datagram text that starts with the control prefix:
// the rest behind the prefix, blanks at both ends cut. None for a chat text.
[[nodiscard]] std::optional<QString> controlText(const QString& text);

enum class Keyword {
    AutoDetect1,
    MyNameIs1,
    AutoDetect0,
    MyNameIs0,
    MyNameIs2,
    MyNameIs3,
    IAmExit,
    NewAddr,
    EditAddr,
};

// One keyword test that matched and has an effect: the name (MYNAMEIS*,
// IAMEXIT), the relayed entry (NEWADDR, EDITADDR) or nothing (AUTODETECT*).
struct KeywordMatch {
    Keyword keyword;
    QString argument;

    friend bool operator==(const KeywordMatch&, const KeywordMatch&) = default;
};

// Runs the nine keyword tests in their order on the shrinking control text.
// Each test looks for the first occurrence of its keyword (letter case
// matters); the name-taking tests delete the keyword where it stands and cut
// the blanks, so later tests see only what is left. A NEWADDR or EDITADDR
// without the relay separator shrinks the text but has no effect and is not
// listed.
[[nodiscard]] QList<KeywordMatch> matchKeywords(QString controlText);

}  // namespace DatagramParser
