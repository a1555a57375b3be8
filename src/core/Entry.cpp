#include "core/Entry.h"

#include "core/SelfName.h"
#include "text/Normalization.h"

namespace {
constexpr qsizetype kSeparatorLength = 3;
}

QString makeEntry(QString name, QString address) {
    cutSpaces(name);
    upperCaseRussianLatin(name);
    cutSpaces(address);
    upperCaseRussianLatin(address);
    return name + u' ' + kEntrySeparator + u' ' + address;
}

EntryParts splitEntry(QString entry) {
    cutSpaces(entry);
    const qsizetype at = entry.isEmpty() ? -1 : entry.indexOf(kEntrySeparator);
    if (at < 0) {
        return {};
    }
    EntryParts parts{entry.left(at), entry.mid(at + kSeparatorLength), true};
    cutSpaces(parts.name);
    cutSpaces(parts.address);
    return parts;
}

QString normalizeSelfName(QString text) {
    cutSpaces(text);
    upperCaseRussianLatin(text);
    return cleanSelfName(text);
}
