#include "core/RosterOrder.h"

#include "text/Cp1251.h"

namespace {

// Sort key of one character: twice its code-page byte after case folding, so
// that ё can sit at the odd place right after е.
int sortKey(QChar ch) {
    const QChar folded = ch.toCaseFolded();
    if (folded == QChar(u'ё')) {
        return 2 * 0xE5 + 1;
    }
    if (!Cp1251::contains(folded)) {
        return 0x200 + folded.unicode();  // outside the code page: after it, by code point
    }
    return 2 * static_cast<unsigned char>(Cp1251::toByte(folded));
}

}  // namespace

int compareRosterLines(QStringView a, QStringView b) {
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        const int ka = sortKey(a.at(i));
        const int kb = sortKey(b.at(i));
        if (ka != kb) {
            return ka < kb ? -1 : 1;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}
