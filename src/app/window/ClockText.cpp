#include "app/window/ClockText.h"

using namespace Qt::StringLiterals;

namespace {

bool isSeparator(QChar ch) {
    return ch == u' ' || ch == u',' || ch == QChar(0x00A0) || ch == QChar(0x202F);
}

bool isOpening(QChar ch) {
    return ch == u'(' || ch == u'[';
}

bool isClosing(QChar ch) {
    return ch == u')' || ch == u']';
}

// Drops separators at the end of text. A quoted literal ends in "'", so a
// quoted blank is never dropped.
void dropTrailingSeparators(QString& text) {
    while (!text.isEmpty() && isSeparator(text.back())) {
        text.chop(1);
    }
}

}  // namespace

QString withoutTimeZone(const QString& timeFormat) {
    QString out;
    bool quoted = false;
    bool skipLeading = false;  // the zone stood first: drop what set it apart
    const qsizetype n = timeFormat.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar ch = timeFormat.at(i);
        if (skipLeading) {
            if (isSeparator(ch)) {
                continue;
            }
            skipLeading = false;
        }
        if (ch == u'\'') {
            quoted = !quoted;
            out += ch;
            continue;
        }
        if (quoted || ch != u't') {
            out += ch;
            continue;
        }
        while (i + 1 < n && timeFormat.at(i + 1) == u't') {
            ++i;
        }
        if (!out.isEmpty() && isOpening(out.back()) && i + 1 < n &&
            isClosing(timeFormat.at(i + 1))) {
            out.chop(1);
            ++i;
        }
        dropTrailingSeparators(out);
        skipLeading = out.isEmpty();
    }
    dropTrailingSeparators(out);
    return out;
}

QString clockText(const QDateTime& now, const QLocale& locale) {
    const QString time =
        locale.toString(now.time(), withoutTimeZone(locale.timeFormat(QLocale::LongFormat)));
    return time + u"  "_s + locale.toString(now.date(), QLocale::ShortFormat);
}

QString clockText() {
    return clockText(QDateTime::currentDateTime(), QLocale::system());
}
