#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

// The receive side of the datagram format: from a datagram's bytes to its
// text, and from a control text to the keywords it holds. Pure functions;
// the dispatcher applies what they find.
namespace DatagramParser {

// The text of a received datagram: its first numberBytes bytes (at most as
// many as bytes holds), at most 255, up to the first NUL, with the blanks at
// both ends cut. Empty when numberBytes is 0 or negative (a failed read).
[[nodiscard]] QString receivedText(QByteArrayView bytes, int numberBytes);

// The control text of a datagram text that starts with the control prefix:
// the rest behind the prefix, blanks at both ends cut. None for a chat text.
[[nodiscard]] std::optional<QString> controlText(const QString& text);

// The id behind the first NUL of a chat datagram ("VSID:" + eight hex
// digits, nothing after them), where a newer copy put one; none otherwise.
// bytes and numberBytes as for receivedText, but the id may lie beyond the
// 255 bytes of the text.
[[nodiscard]] std::optional<quint32> lineId(QByteArrayView bytes, int numberBytes);

// The datagrams that only newer copies send, told from their control text.
struct NewerKind {
    enum class Kind { Hello, HelloAnswer, Echo, Receipt, Ping, Pong, Ask, Gone } kind;
    // The receipt's line id; the challenge of a hello or an answer; the
    // nonce of a ping, a pong or an ask.
    quint32 lineId = 0;
    // The challenge echoed by an answer or an echo.
    quint32 echo = 0;
    // The member an ask or a gone notice is about.
    quint32 address = 0;
};
// The kind of a control text that holds a hello ("VSHELLO:" + eight hex
// digits), an answer to one ("VSHELLO:" + sixteen), an echo ("VSECHO:" +
// eight), a receipt ("VSACK:" + eight), a ping or a pong ("VSPING:",
// "VSPONG:" + eight), an ask ("VSASK:" + sixteen) or a gone notice
// ("VSGONE:" + eight) and nothing else; none for every other text.
[[nodiscard]] std::optional<NewerKind> newerKind(const QString& controlText);

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
