#include "app/views/LineWrap.h"

#include <QFontMetricsF>

#include <cmath>
#include <limits>

LineWrap::LineWrap() {
    setFont(QFont());
}

void LineWrap::setFont(const QFont& font) {
    font_ = font;
    font_.setStyleStrategy(QFont::PreferNoShaping);
    advances_.fill(std::numeric_limits<float>::quiet_NaN());
    farAdvances_.clear();
    // Measured when first needed: a font of its own is loaded for it, which
    // costs the window's start a good part of a millisecond.
    space_ = std::numeric_limits<float>::quiet_NaN();
}

float LineWrap::space() const {
    if (std::isnan(space_)) {
        space_ = static_cast<float>(QFontMetricsF(font_).horizontalAdvance(u' '));
    }
    return space_;
}

void LineWrap::setWidth(qreal width) {
    width_ = width;
}

float LineWrap::measureNear(char16_t ch) const {
    const QChar character(ch);
    // A blank is laid out as a space; its advance is kept negated.
    advances_[ch] = isBlank(character)
                        ? -space()
                        : static_cast<float>(QFontMetricsF(font_).horizontalAdvance(character));
    return advances_[ch];
}

float LineWrap::farAdvance(QStringView text, int at, int* units) const {
    const QChar ch = text[at];
    *units = 1;
    if (isBlank(ch)) {
        return -space();
    }
    if (ch.isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate()) {
        // A pair is one character; it is never cut.
        *units = 2;
        return static_cast<float>(
            QFontMetricsF(font_).horizontalAdvance(text.sliced(at, 2).toString()));
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
    const auto width = static_cast<float>(width_);
    // The advance of the character at i, negated for a blank; units is 2
    // for a surrogate pair.
    const auto advanceAt = [&](int i, int* units) {
        const char16_t ch = chars[i].unicode();
        *units = 1;
        if (ch < kNear) {
            const float known = advances_[ch];
            return known == known ? known : measureNear(ch);  // NaN until measured
        }
        return farAdvance(text, i, units);
    };
    int count = 0;
    int units = 1;
    float before = 0;  // the rows before this one, each up to where it ends
    // Blanks before a line's first character are no place to break: a row
    // holds at least one character that is not a blank.
    int start = 0;
    float lead = 0;
    for (float advance = 0; start < size && (advance = advanceAt(start, &units)) < 0;) {
        lead -= advance;
        ++start;
    }
    while (true) {
        float x = lead;
        lead = 0;
        float inked = 0;  // up to the row's last character that is not a blank
        float atBlank = 0;
        int afterBlank = -1;
        int i = start;
        if (i < size) {
            // The row's first character is taken, whatever its width.
            x += advanceAt(i, &units);
            inked = x;
            i += units;
        }
        while (i < size) {
            const float advance = advanceAt(i, &units);
            if (advance < 0) {
                x -= advance;
                afterBlank = ++i;
                atBlank = x;
                continue;
            }
            if (x + advance > width) {
                break;
            }
            x += advance;
            inked = x;
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
