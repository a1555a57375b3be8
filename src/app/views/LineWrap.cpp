#include "app/views/LineWrap.h"

#include <QFontMetricsF>

LineWrap::LineWrap() {
    setFont(QFont());
}

void LineWrap::setFont(const QFont& font) {
    font_ = font;
    font_.setStyleStrategy(QFont::PreferNoShaping);
    kinds_.fill(Kind::Unknown);
    farAdvances_.clear();
    space_ = QFontMetricsF(font_).horizontalAdvance(u' ');
}

void LineWrap::setWidth(qreal width) {
    width_ = width;
}

void LineWrap::measureNear(char16_t ch) const {
    const QChar character(ch);
    if (isBlank(character)) {
        kinds_[ch] = Kind::Blank;
        advances_[ch] = static_cast<float>(space_);
    } else {
        kinds_[ch] = Kind::Ink;
        advances_[ch] = static_cast<float>(QFontMetricsF(font_).horizontalAdvance(character));
    }
}

qreal LineWrap::farAdvance(QStringView text, int at, int* units, bool* blank) const {
    const QChar ch = text[at];
    *units = 1;
    *blank = isBlank(ch);
    if (*blank) {
        return space_;
    }
    if (ch.isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate()) {
        // A pair is one character; it is never cut.
        *units = 2;
        return QFontMetricsF(font_).horizontalAdvance(text.sliced(at, 2).toString());
    }
    const auto found = farAdvances_.constFind(ch.unicode());
    if (found != farAdvances_.cend()) {
        return *found;
    }
    const auto measured = static_cast<float>(QFontMetricsF(font_).horizontalAdvance(ch));
    farAdvances_.insert(ch.unicode(), measured);
    return measured;
}

int LineWrap::rows(QStringView text, Ends* ends, qreal* fit) const {
    const QChar* chars = text.data();
    const auto size = static_cast<int>(text.size());
    int count = 0;
    int start = 0;
    qreal before = 0;  // the rows before this one, each up to where it ends
    while (true) {
        qreal x = 0;
        qreal inked = 0;  // up to the row's last character that is not a blank
        qreal atBlank = 0;
        bool hasInk = false;
        int afterBlank = -1;
        int i = start;
        while (i < size) {
            const char16_t ch = chars[i].unicode();
            qreal width = 0;
            bool blank = false;
            int units = 1;
            if (ch < kNear) {
                if (kinds_[ch] == Kind::Unknown) {
                    measureNear(ch);
                }
                blank = kinds_[ch] == Kind::Blank;
                width = advances_[ch];
            } else {
                width = farAdvance(text, i, &units, &blank);
            }
            if (blank) {
                x += width;
                ++i;
                // Blanks before the first character of a row are no place to
                // break: a row holds at least one character that is not one.
                if (hasInk) {
                    afterBlank = i;
                    atBlank = x;
                }
                continue;
            }
            if (hasInk && x + width > width_) {
                break;
            }
            x += width;
            inked = x;
            hasInk = true;
            i += units;
        }
        ++count;
        if (i >= size) {
            if (ends != nullptr) {
                ends->append(size);
            }
            if (fit != nullptr) {
                *fit = before + inked;
            }
            return count;
        }
        int end = i;
        if (afterBlank > start) {
            end = afterBlank;
            before += atBlank;
        } else {
            before += x;
        }
        if (ends != nullptr) {
            ends->append(end);
        }
        start = end;
    }
}

QString LineWrap::laidOut(QStringView text) {
    QString shown = text.toString();
    for (QChar& ch : shown) {
        if (ch != u' ' && isBlank(ch)) {
            ch = u' ';
        }
    }
    return shown;
}
