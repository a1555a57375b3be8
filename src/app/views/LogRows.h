#pragma once

#include "app/views/LineWrap.h"

#include <QCache>
#include <QFont>
#include <QTextLayout>

#include <compare>
#include <vector>

class LogText;

// A place in the log's shown text: a shown line and a column in it.
struct LogPosition {
    qsizetype line = 0;
    qsizetype column = 0;
    auto operator<=>(const LogPosition&) const = default;
};

// The rows that the log's shown lines wrap into at a width, all of one
// height: the first row of each line, the line a row belongs to, the row
// that holds a place, and the lines laid out in exactly those rows.
//
// Every line's rows are counted when it arrives, without laying it out
// (LineWrap), so that a row can be found in any line of a long log at once;
// only the lines asked for (the ones in sight) are laid out, and a small
// cache keeps them.
class LogRows {
  public:
    explicit LogRows(const LogText& text);

    // The font and width the rows are counted and laid out in; a change
    // counts every line's rows again.
    void setFont(const QFont& font);
    [[nodiscard]] const QFont& font() const { return wrap_.font(); }
    void setWidth(qreal width);
    [[nodiscard]] qreal width() const { return wrap_.width(); }
    // The height of every row: the font's line spacing, at least 1.
    [[nodiscard]] qreal rowHeight() const { return rowHeight_; }

    // Counts the rows of every line from the given one on, anew, after the
    // text changed there (lines appended to the last one, or all removed).
    void countFrom(qsizetype line);

    [[nodiscard]] qsizetype rowCount() const { return rowCount_; }
    [[nodiscard]] qsizetype firstRow(qsizetype line) const {
        return rowStarts_[static_cast<size_t>(line)];
    }
    // The line that a row belongs to.
    [[nodiscard]] qsizetype lineOfRow(qsizetype row) const;
    // The row of its line that holds a column: a column where a row breaks
    // begins the next row.
    [[nodiscard]] int rowInLine(qsizetype line, qsizetype column) const;
    [[nodiscard]] qsizetype rowOf(LogPosition position) const {
        return firstRow(position.line) + rowInLine(position.line, position.column);
    }
    // The line and column where a row (clamped to the rows) begins.
    [[nodiscard]] LogPosition rowStart(qsizetype row) const;

    // The line laid out in its rows, one row a rowHeight below the other.
    [[nodiscard]] QTextLayout* layoutOf(qsizetype line) const;
    // The place in a row (clamped to the rows) nearest x: between the
    // characters, or on the character under it. Past a wrapped row's end the
    // place stays in the row, before the blank the row hangs.
    [[nodiscard]] LogPosition positionInRow(qsizetype row, qreal x,
                                            QTextLine::CursorPosition how) const;
    // How far into its row a place stands.
    [[nodiscard]] qreal xOf(LogPosition position) const;
    // The box of the character at a place, from the left of its row and the
    // top of the row, a row high and at least 1 wide; after a line's last
    // character, an average character's width. Null when nothing is laid
    // out there.
    [[nodiscard]] QRectF characterBox(LogPosition position) const;

  private:
    // Counts every line's rows again, at a new width or in a new font.
    void recount();

    const LogText& text_;
    LineWrap wrap_;
    qreal rowHeight_ = 1;
    // The first row of each shown line, and the rows in all.
    std::vector<qsizetype> rowStarts_;
    qsizetype rowCount_ = 0;
    // Each line's width on one row (LineWrap::rows' fit): a line no wider
    // than a new width needs no new count.
    std::vector<float> fits_;
    mutable QCache<qsizetype, QTextLayout> layouts_;
};
