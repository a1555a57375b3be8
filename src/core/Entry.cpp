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

bool splitEntry(QString entry, QString& name, QString& address) {
    name.clear();
    address.clear();
    cutSpaces(entry);
    if (entry.isEmpty()) {
        return false;
    }
    const qsizetype at = entry.indexOf(kEntrySeparator);
    if (at < 0) {
        return false;
    }
    name = entry.left(at);
    address = entry.mid(at + kSeparatorLength);
    cutSpaces(name);
    cutSpaces(address);
    return true;
}

QString normalizeSelfName(QString text) {
    cutSpaces(text);
    upperCaseRussianLatin(text);
    return cleanSelfName(text);
}
