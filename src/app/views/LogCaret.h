#pragma once

#include "app/views/LogRows.h"

#include <optional>
#include <utility>

class LogText;
class QKeyEvent;

// Where the log's caret may stand and where the movement keys take it, over
// the shown lines and their rows: the places in the text, their offsets in
// the shown text (as a screen reader counts them), moves by a character or a
// word that cross line breaks, the ends of a row and of the text, and the
// word a double click takes.
//
// Up, Down and the page keys go by rows from where the caret aims, kept by
// the view over a run of them, and the view knows how many rows a page is.
class LogCaret {
  public:
    enum class Move {
        NextChar,
        PreviousChar,
        NextWord,
        PreviousWord,
        NextRow,
        PreviousRow,
        NextPage,
        PreviousPage,
        StartOfRow,
        EndOfRow,
        StartOfText,
        EndOfText,
    };

    // A movement key: the move, and whether it selects (the key with Shift).
    struct KeyMove {
        Move move;
        bool select;
    };

    LogCaret(const LogText& text, const LogRows& rows) : text_(text), rows_(rows) {}

    // The move that a key makes, as in a read-only text box; none for a key
    // that moves nothing.
    [[nodiscard]] static std::optional<KeyMove> keyMove(const QKeyEvent* event);

    // The place after the last character: the end of the empty last line.
    [[nodiscard]] LogPosition end() const;
    // The nearest place in the text: the line, then the column, clamped.
    [[nodiscard]] LogPosition clamped(LogPosition position) const;
    // Offsets in the shown text (lines joined by LF), clamped both ways.
    [[nodiscard]] qsizetype offsetOf(LogPosition position) const;
    [[nodiscard]] LogPosition positionOf(qsizetype offset) const;

    // Where a move along the text takes the caret from a place. The rows'
    // and pages' moves leave the place as it is.
    [[nodiscard]] LogPosition moved(LogPosition from, Move move) const;
    // The rows that a move goes down (up when negative) with a page of
    // pageRows; none for a move along the text.
    [[nodiscard]] static qsizetype rowsOf(Move move, int pageRows);
    // The place nearest x in the row that is rows away from a place's row
    // (clamped to the rows), and how many rows away that row is.
    [[nodiscard]] std::pair<LogPosition, qsizetype> rowsAway(LogPosition from, qsizetype rows,
                                                             qreal x) const;
    // The columns [start, end) of a line that the text from one place to a
    // later one takes in; start == end when it takes none.
    [[nodiscard]] std::pair<qsizetype, qsizetype> selectedIn(qsizetype line, LogPosition from,
                                                             LogPosition to) const;
    // The word, or the run of blanks or signs, that the character at a place
    // begins or stands in: its start and its end, in the place's line.
    [[nodiscard]] std::pair<LogPosition, LogPosition> wordAt(LogPosition position) const;

  private:
    const LogText& text_;
    const LogRows& rows_;
};
