#include "core/Protocol.h"

namespace Protocol {

QString controlText(const QString& keyword, const QString& argument) {
    return kControlPrefix + keyword + argument;
}

QString chatText(const QString& selfName, const QString& message, bool isPrivate) {
    const QString text = selfName + kChatSeparator + message;
    return isPrivate ? kPrivateMarker + text : text;
}

QString sharingText(const QString& selfName, const QString& entry) {
    return kControlPrefix + kNewAddr + selfName + kRelaySeparator + entry;
}

QString lineIdText(quint32 id) {
    return QStringLiteral("%1").arg(id, kLineIdDigits, 16, QLatin1Char('0')).toUpper();
}

QString receiptText(quint32 id) {
    return controlText(kReceipt, lineIdText(id));
}

QString helloText(quint32 challenge) {
    return controlText(kHello, lineIdText(challenge));
}

QString helloAnswerText(quint32 echo, quint32 challenge) {
    return controlText(kHello, lineIdText(echo) + lineIdText(challenge));
}

QString echoText(quint32 echo) {
    return controlText(kEcho, lineIdText(echo));
}

QString pingText(quint32 nonce) {
    return controlText(kPing, lineIdText(nonce));
}

QString pongText(quint32 nonce) {
    return controlText(kPong, lineIdText(nonce));
}

QString askText(quint32 nonce, quint32 address) {
    return controlText(kAsk, lineIdText(nonce) + lineIdText(address));
}

QString goneText(quint32 address) {
    return controlText(kGone, lineIdText(address));
}

QByteArray chatWithLineId(const QByteArray& chatBytes, quint32 id) {
    QByteArray bytes = chatBytes;
    bytes.append('\0');
    bytes.append((kLineIdTag + lineIdText(id)).toLatin1());
    return bytes;
}

bool fits(const QString& text) {
    return text.size() <= kMaxTextLength;
}

bool selfNameFits(const QString& selfName) {
    return selfName.size() <= kMaxSelfNameLength;
}

}  // namespace Protocol
