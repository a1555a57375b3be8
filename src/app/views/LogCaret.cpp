#include "app/views/LogCaret.h"

#include "core/LogText.h"

#include <QKeyEvent>
#include <QTextBoundaryFinder>

#include <algorithm>

std::optional<LogCaret::KeyMove> LogCaret::keyMove(const QKeyEvent* event) {
    struct Binding {
        QKeySequence::StandardKey move;
        QKeySequence::StandardKey select;
        Move action;
    };
    static constexpr Binding kBindings[] = {
        {QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar, Move::NextChar},
        {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar, Move::PreviousChar},
        {QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord, Move::NextWord},
        {QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord, Move::PreviousWord},
        {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine, Move::NextRow},
        {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine, Move::PreviousRow},
        {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage, Move::NextPage},
        {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage, Move::PreviousPage},
        {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine, Move::StartOfRow},
        {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine, Move::EndOfRow},
        {QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument,
         Move::StartOfText},
        {QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument, Move::EndOfText},
    };
    for (const Binding& binding : kBindings) {
        const bool select = event->matches(binding.select);
        if (select || event->matches(binding.move)) {
            return KeyMove{binding.action, select};
        }
    }
    return std::nullopt;
}

LogPosition LogCaret::end() const {
    const qsizetype last = text_.lineCount() - 1;
    return {last, text_.line(last).size()};
}

LogPosition LogCaret::clamped(LogPosition position) const {
    const qsizetype line = std::clamp<qsizetype>(position.line, 0, text_.lineCount() - 1);
    return {line, std::clamp<qsizetype>(position.column, 0, text_.line(line).size())};
}

qsizetype LogCaret::offsetOf(LogPosition position) const {
    const LogPosition at = clamped(position);
    return text_.shownStart(at.line) + at.column;
}

LogPosition LogCaret::positionOf(qsizetype offset) const {
    offset = std::clamp<qsizetype>(offset, 0, text_.shownSize());
    const qsizetype line = text_.lineAtShownOffset(offset);
    return clamped({line, offset - text_.shownStart(line)});
}

LogPosition LogCaret::moved(LogPosition from, Move move) const {
    LogPosition to = from;
    const QStringView line = text_.line(from.line);
    const qsizetype lastLine = text_.lineCount() - 1;
    // Characters and words step as the laid-out line's cursor does: over a
    // whole character cluster, to the next word's start.
    const auto step = [&](bool forward, QTextLayout::CursorMode mode) {
        const int column = static_cast<int>(to.column);
        if (forward && to.column < line.size()) {
            to.column = rows_.layoutOf(to.line)->nextCursorPosition(column, mode);
        } else if (forward && to.line < lastLine) {
            to = {to.line + 1, 0};
        } else if (!forward && to.column > 0) {
            to.column = rows_.layoutOf(to.line)->previousCursorPosition(column, mode);
        } else if (!forward && to.line > 0) {
            to = {to.line - 1, text_.line(to.line - 1).size()};
        }
    };
    switch (move) {
        case Move::NextChar:
            step(true, QTextLayout::SkipCharacters);
            break;
        case Move::PreviousChar:
            step(false, QTextLayout::SkipCharacters);
            break;
        case Move::NextWord:
            step(true, QTextLayout::SkipWords);
            break;
        case Move::PreviousWord:
            step(false, QTextLayout::SkipWords);
            break;
        case Move::StartOfRow:
            to = rows_.rowStart(rows_.rowOf(from));
            break;
        case Move::EndOfRow: {
            const qsizetype row = rows_.rowOf(from);
            if (row + 1 < rows_.rowCount() && rows_.lineOfRow(row + 1) == from.line) {
                to = rows_.rowStart(row + 1);
                // The end of a wrapped row is before the blank it hangs.
                if (to.column > 0 && LineWrap::isBlank(line[to.column - 1])) {
                    --to.column;
                }
            } else {
                to.column = line.size();
            }
            break;
        }
        case Move::StartOfText:
            to = LogPosition{};
            break;
        case Move::EndOfText:
            to = end();
            break;
        case Move::NextRow:
        case Move::PreviousRow:
        case Move::NextPage:
        case Move::PreviousPage:
            break;
    }
    return to;
}

qsizetype LogCaret::rowsOf(Move move, int pageRows) {
    switch (move) {
        case Move::NextRow:
            return 1;
        case Move::PreviousRow:
            return -1;
        case Move::NextPage:
            return pageRows;
        case Move::PreviousPage:
            return -pageRows;
        default:
            return 0;
    }
}

std::pair<LogPosition, qsizetype> LogCaret::rowsAway(LogPosition from, qsizetype rows,
                                                     qreal x) const {
    const qsizetype row = rows_.rowOf(from);
    const qsizetype target = std::clamp<qsizetype>(row + rows, 0, rows_.rowCount() - 1);
    return {rows_.positionInRow(target, x, QTextLine::CursorBetweenCharacters), target - row};
}

std::pair<qsizetype, qsizetype> LogCaret::selectedIn(qsizetype line, LogPosition from,
                                                     LogPosition to) const {
    if (line < from.line || line > to.line) {
        return {0, 0};
    }
    return {line == from.line ? from.column : 0,
            line == to.line ? to.column : text_.line(line).size()};
}

std::pair<LogPosition, LogPosition> LogCaret::wordAt(LogPosition position) const {
    const QString line = text_.line(position.line).toString();
    if (line.isEmpty()) {
        return {position, position};
    }
    QTextBoundaryFinder finder(QTextBoundaryFinder::Word, line);
    const qsizetype at = std::min(position.column, line.size() - 1);
    finder.setPosition(at);
    qsizetype start = at;
    if (!finder.isAtBoundary()) {
        start = finder.toPreviousBoundary();
    }
    finder.setPosition(at);
    const qsizetype end = finder.toNextBoundary();
    return {{position.line, std::max<qsizetype>(0, start)},
            {position.line, end < 0 ? line.size() : end}};
}
