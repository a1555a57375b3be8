#include "core/Entry.h"

#include "text/Normalization.h"

namespace {
constexpr qsizetype kSeparatorLength = 3;
}

QString MakeEntry(QString name, QString address) {
    CutSpaces(name);
    UpCaseCyr(name);
    CutSpaces(address);
    UpCaseCyr(address);
    return name + u' ' + kEntrySeparator + u' ' + address;
}

bool SplitEntry(QString entry, QString& name, QString& address) {
    name.clear();
    address.clear();
    CutSpaces(entry);
    if (entry.isEmpty()) {
        return false;
    }
    const qsizetype at = entry.indexOf(kEntrySeparator);
    if (at < 0) {
        return false;
    }
    name = entry.left(at);
    address = entry.mid(at + kSeparatorLength);
    CutSpaces(name);
    CutSpaces(address);
    return true;
}

QString NormalizeSelfName(QString text) {
    CutSpaces(text);
    UpCaseCyr(text);
    return text;
}
