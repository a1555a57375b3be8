#pragma once

#include <QFont>
#include <QHash>
#include <QString>
#include <QStringView>
#include <QVarLengthArray>

#include <array>

// Where a line of the log breaks into rows at a given width: after the last
// blank that lets the row fit, or anywhere in a word wider than the row.
// Blanks never push a row over the width; they hang at its end, as a text
// layout leaves them, so no row but a line's first starts with a blank.
//
// Characters are measured one at a time in the font with shaping off (no
// kerning, no ligatures), where a row is exactly as wide as the sum of its
// characters. The log lays its rows out at exactly these breaks, so the rows
// counted here are the rows shown, and a line is counted without laying it
// out, at a fraction of the cost.
class LineWrap {
  public:
    // Row ends: one per row, the last at the end of the text.
    using Ends = QVarLengthArray<int, 8>;

    LineWrap();

    void setFont(const QFont& font);
    // The font the rows are measured and laid out in.
    [[nodiscard]] const QFont& font() const { return font_; }
    void setWidth(qreal width);
    [[nodiscard]] qreal width() const { return width_; }

    // The rows the text takes at the width; with ends, where each ends.
    // fit, when given, is the width of the text up to its last non-blank
    // character: no row is needed for the text at any width that holds it.
    int rows(QStringView text, Ends* ends = nullptr, qreal* fit = nullptr) const;

    // Characters that hang at a row's end: the spaces a layout lets a line
    // end in (a no-break space is not one).
    [[nodiscard]] static bool isBlank(QChar ch) {
        return ch.isSpace() && ch != u'\u00A0' && ch != u'\u2007' && ch != u'\u202F';
    }
    // The text as it is laid out: every blank shown as a space, so a tab
    // takes one space's room rather than a tab stop's.
    [[nodiscard]] static QString laidOut(QStringView text);

  private:
    // Characters below kNear (Latin and Cyrillic) are looked up in a table.
    static constexpr char16_t kNear = 0x500;

    float measureNear(char16_t ch) const;
    [[nodiscard]] float space() const;
    [[nodiscard]] float farAdvance(QStringView text, int at, int* units) const;

    QFont font_;
    qreal width_ = 1;
    mutable float space_ = 0;
    // Each character's advance, negated for a blank; NaN until measured.
    mutable std::array<float, kNear> advances_{};
    mutable QHash<char16_t, float> farAdvances_;
};
