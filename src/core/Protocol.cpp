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

bool fits(const QString& text) {
    return text.size() <= kMaxTextLength;
}

bool selfNameFits(const QString& selfName) {
    return selfName.size() <= kMaxSelfNameLength;
}

}  // namespace Protocol
