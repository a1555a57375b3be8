#pragma once

#include <QByteArray>
#include <QString>

// The datagram texts of the conference, byte for byte as every copy of the
// program writes and reads them. A datagram is Windows-1251 text without a
// terminator; its byte count is the number of characters.
namespace Protocol {

// Every datagram that an older copy may see goes to, and comes from, this
// port.
inline constexpr quint16 kPort = 333;
// The handshake, its answers and the receipts go to this port, which only
// newer copies bind: an older copy never hears them.
inline constexpr quint16 kHandshakePort = 334;

// The two datagram buffers hold a text and a terminating NUL.
inline constexpr int kBufferSize = 256;
// The longest text a datagram carries.
inline constexpr int kMaxTextLength = kBufferSize - 1;

inline const QString kControlPrefix = QStringLiteral("~#&!^~:");
// Separates the sender's name from the relayed entry in NEWADDR/EDITADDR.
inline const QString kRelaySeparator = QStringLiteral("~_^B");
// Starts a chat text sent to one selected member only.
inline const QString kPrivateMarker = QStringLiteral("*>");
// Between the self name and the message of a chat text.
inline const QString kChatSeparator = QStringLiteral(": ");

// The keywords, in the order the dispatcher tests them.
inline const QString kAutoDetect1 = QStringLiteral("AUTODETECT1");
inline const QString kMyNameIs1 = QStringLiteral("MYNAMEIS1:");
inline const QString kAutoDetect0 = QStringLiteral("AUTODETECT0");
inline const QString kMyNameIs0 = QStringLiteral("MYNAMEIS0:");
inline const QString kMyNameIs2 = QStringLiteral("MYNAMEIS2:");
inline const QString kMyNameIs3 = QStringLiteral("MYNAMEIS3:");
inline const QString kIAmExit = QStringLiteral("IAMEXIT:");
inline const QString kNewAddr = QStringLiteral("NEWADDR:");
inline const QString kEditAddr = QStringLiteral("EDITADDR:");

// Datagrams that only newer copies understand. Each is a control datagram
// whose text holds none of the nine keywords above in any position, whatever
// its argument (digits and hex letters only), so an older copy's dispatcher
// would drop it without a trace; and every one of them except the tagged
// chat line goes to kHandshakePort, which an older copy does not even bind.

// The hello: "VSHELLO:" + a challenge (eight hex digits). Its answer is
// "VSHELLO:" + the challenge echoed + a challenge of its own; the echo of
// that second challenge, "VSECHO:" + its eight digits, ends the exchange.
// An address that echoes a challenge sent to it has shown that it is a newer
// copy and that it really is at that address.
inline const QString kHello = QStringLiteral("VSHELLO:");
inline const QString kEcho = QStringLiteral("VSECHO:");
// The receipt for a chat line: "VSACK:" + the line's id.
inline const QString kReceipt = QStringLiteral("VSACK:");
// Behind a NUL after the chat text, to a confirming peer only: "VSID:" + the
// line's id. An older copy reads a chat datagram up to its first NUL.
inline const QString kLineIdTag = QStringLiteral("VSID:");
// Liveness among newer copies, on kHandshakePort too. "VSPING:" + a nonce is
// answered by "VSPONG:" + the same nonce. "VSASK:" + a nonce + a member's
// address asks a member to ping that one and to answer the asker with the
// nonce when it hears back. "VSGONE:" + an address tells that its copy was
// found gone; the receiver checks that with a ping of its own. An address
// is eight hex digits too: 0A000002 is 10.0.0.2.
inline const QString kPing = QStringLiteral("VSPING:");
inline const QString kPong = QStringLiteral("VSPONG:");
inline const QString kAsk = QStringLiteral("VSASK:");
inline const QString kGone = QStringLiteral("VSGONE:");
// A line id, and a challenge, is eight upper-case hex digits.
inline constexpr int kLineIdDigits = 8;

// The longest self name that fits every control datagram that carries it:
// prefix (7) + "MYNAMEIS2:" (10) + name <= 255.
inline constexpr int kMaxSelfNameLength = 238;

// Prefix + keyword + argument.
[[nodiscard]] QString controlText(const QString& keyword, const QString& argument = {});

// Self name + ": " + message, behind the private marker when privately sent.
[[nodiscard]] QString chatText(const QString& selfName, const QString& message, bool isPrivate);

// Prefix + "NEWADDR:" + self name + relay separator + entry.
[[nodiscard]] QString sharingText(const QString& selfName, const QString& entry);

// Eight upper-case hex digits.
[[nodiscard]] QString lineIdText(quint32 id);

// Prefix + "VSACK:" + the id.
[[nodiscard]] QString receiptText(quint32 id);

// Prefix + "VSHELLO:" + the challenge.
[[nodiscard]] QString helloText(quint32 challenge);
// Prefix + "VSHELLO:" + the echoed challenge + the answerer's own challenge.
[[nodiscard]] QString helloAnswerText(quint32 echo, quint32 challenge);
// Prefix + "VSECHO:" + the echoed challenge.
[[nodiscard]] QString echoText(quint32 echo);

// Prefix + "VSPING:" / "VSPONG:" + the nonce.
[[nodiscard]] QString pingText(quint32 nonce);
[[nodiscard]] QString pongText(quint32 nonce);
// Prefix + "VSASK:" + the nonce + the member's address (host order).
[[nodiscard]] QString askText(quint32 nonce, quint32 address);
// Prefix + "VSGONE:" + the address of the member found gone.
[[nodiscard]] QString goneText(quint32 address);

// The chat datagram for a confirming peer: the text's bytes, a NUL and
// "VSID:" + the id. The text before the NUL is what every copy shows.
[[nodiscard]] QByteArray chatWithLineId(const QByteArray& chatBytes, quint32 id);

// True when the text fits one datagram.
[[nodiscard]] bool fits(const QString& text);

// True when the self name fits every control datagram that carries it.
[[nodiscard]] bool selfNameFits(const QString& selfName);

}  // namespace Protocol
