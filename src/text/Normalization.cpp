#include "text/Normalization.h"

namespace {

constexpr char16_t kBlank = u' ';

char16_t upCaseOne(char16_t c) {
    if (c >= u'а' && c <= u'я') {
        return static_cast<char16_t>(c - (u'а' - u'А'));
    }
    if (c == u'ё') {
        return u'Ё';
    }
    if (c >= u'a' && c <= u'z') {
        return static_cast<char16_t>(c - (u'a' - u'A'));
    }
    return c;
}

}  // namespace

void cutSpaces(QString& text) {
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == kBlank) {
        --end;
    }
    text.truncate(end);
    qsizetype start = 0;
    while (start < text.size() && text.at(start) == kBlank) {
        ++start;
    }
    text.remove(0, start);
}

void upperCaseRussianLatin(QString& text) {
    for (QChar& ch : text) {
        ch = QChar(upCaseOne(ch.unicode()));
    }
}

QString cutSpacesCopy(QString text) {
    cutSpaces(text);
    return text;
}

QString upperCaseRussianLatinCopy(QString text) {
    upperCaseRussianLatin(text);
    return text;
}
