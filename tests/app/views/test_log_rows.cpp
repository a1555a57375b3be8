#include "app/views/LogCaret.h"
#include "app/views/LogRows.h"
#include "core/LogText.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;
using P = LogPosition;

// Shown in a failed comparison: (line, column).
char* toString(const LogPosition& position) {
    return QTest::toString(u"(%1, %2)"_s.arg(position.line).arg(position.column));
}

namespace {

// Lines of short words and blanks, some wider than any row, some empty.
QStringList mixedLines(int count) {
    QRandomGenerator random(11);
    QStringList lines;
    for (int i = 0; i < count; ++i) {
        QString line;
        for (int length = random.bounded(160); length > 0; --length) {
            line.append(random.bounded(5) == 0
                            ? QChar(u' ')
                            : QChar(static_cast<char16_t>(u'а' + random.bounded(32))));
        }
        if (i % 7 == 3) {
            line.append(QString(90, u'ж'));  // a word wider than the narrow rows
        }
        lines.append(line);
    }
    return lines;
}

// How wide text is on one row in the rows' font, up to its last non-blank.
qreal fitOf(const LogRows& rows, QStringView text) {
    LineWrap wrap;
    wrap.setFont(rows.font());
    wrap.setWidth(1e9);
    qreal fit = 0;
    wrap.rows(text, nullptr, &fit);
    return fit;
}

// Every row's start, counted from scratch with LineWrap at the rows' width.
QList<P> rowStartsOf(const LogText& text, const LogRows& rows) {
    LineWrap wrap;
    wrap.setFont(rows.font());
    wrap.setWidth(rows.width());
    QList<P> starts;
    for (qsizetype line = 0; line < text.lineCount(); ++line) {
        LineWrap::Ends ends;
        wrap.rows(text.line(line), &ends);
        starts.append({line, 0});
        for (int row = 0; row + 1 < ends.size(); ++row) {
            starts.append({line, ends[row]});
        }
    }
    return starts;
}

}  // namespace

class LogRowsTest : public QObject {
    Q_OBJECT
  private slots:
    void rowsAreFoundBothWaysAtEveryWidthAndFont();
    void layoutsAndPlacesFollowTheCountedRows();
    void offsetsAndPlacesClampToTheText();
    void movesAlongTheTextCrossLineBreaks();
    void rowMovesAndWordsStayInTheirRows();
    void keysMakeTheirMoves();
};

void LogRowsTest::rowsAreFoundBothWaysAtEveryWidthAndFont() {
    LogText text;
    LogRows rows(text);
    QCOMPARE(rows.rowCount(), qsizetype(1));  // the empty last line
    const QStringList lines = mixedLines(60);
    // Appended one by one, counted from the line that changed on.
    for (const QString& line : lines.mid(0, 30)) {
        const qsizetype changed = text.lineCount() - 1;
        text.append(line);
        rows.countFrom(changed);
    }
    rows.setWidth(200);
    for (const QString& line : lines.mid(30)) {
        const qsizetype changed = text.lineCount() - 1;
        text.append(line);
        rows.countFrom(changed);
    }
    QFont bigger;
    bigger.setPointSizeF(bigger.pointSizeF() * 1.5);
    bool big = false;
    // Widths back and forth, where a line measured at one width is only
    // counted again when it no longer fits, and a new font measures all anew.
    const struct {
        qreal width;
        bool bigFont;
    } steps[] = {{120, false}, {700, false}, {120, false}, {1e6, false},
                 {301, false}, {301, true},  {90, true},   {301, false}};
    for (const auto& step : steps) {
        const QByteArray where = QByteArray::number(step.width) + (step.bigFont ? " big" : "");
        if (step.bigFont != big) {
            big = step.bigFont;
            rows.setFont(big ? bigger : QFont());
        }
        rows.setWidth(step.width);
        const QList<P> starts = rowStartsOf(text, rows);
        QCOMPARE(rows.rowCount(), starts.size());
        for (qsizetype row = 0; row < starts.size(); ++row) {
            const P start = starts[row];
            QVERIFY2(rows.rowStart(row) == start, where + " row " + QByteArray::number(row));
            QCOMPARE(rows.lineOfRow(row), start.line);
            QCOMPARE(rows.rowOf(start), row);
            if (start.column == 0) {
                QCOMPARE(rows.firstRow(start.line), row);
            } else {
                // The column before a break is still in the row above.
                QCOMPARE(rows.rowOf({start.line, start.column - 1}), row - 1);
            }
        }
        // Rows past either end are the first and the last.
        QCOMPARE(rows.rowStart(-5), (P{0, 0}));
        QCOMPARE(rows.rowStart(rows.rowCount() + 5), starts.last());
    }

    text.clear();
    rows.countFrom(0);
    QCOMPARE(rows.rowCount(), qsizetype(1));
    QCOMPARE(rows.rowStart(0), (P{0, 0}));
}

void LogRowsTest::layoutsAndPlacesFollowTheCountedRows() {
    LogText text;
    LogRows rows(text);
    text.append(u"alpha beta gamma"_s);
    rows.countFrom(0);
    // "alpha beta" fits a row, with the blank after it hanging at its end.
    rows.setWidth(fitOf(rows, u"alpha beta") + 0.5);
    QCOMPARE(rows.rowCount(), qsizetype(3));  // two rows and the empty last line
    QCOMPARE(rows.rowStart(1), (P{0, 11}));
    const QTextLayout* layout = rows.layoutOf(0);
    QCOMPARE(layout->lineCount(), 2);
    QCOMPARE(layout->lineAt(1).textStart(), 11);
    QCOMPARE(layout->lineAt(1).y(), rows.rowHeight());

    // Past the first row's end the place stays before the hanging blank, in
    // that row; past the last row's end it is the line's end.
    QCOMPARE(rows.positionInRow(0, 1e6, QTextLine::CursorBetweenCharacters), (P{0, 10}));
    QCOMPARE(rows.positionInRow(1, 1e6, QTextLine::CursorBetweenCharacters), (P{0, 16}));
    QCOMPARE(rows.positionInRow(1, -5, QTextLine::CursorBetweenCharacters), (P{0, 11}));
    QCOMPARE(rows.positionInRow(99, 0, QTextLine::CursorBetweenCharacters), (P{1, 0}));
    QCOMPARE(rows.xOf({0, 11}), 0.0);
    QVERIFY(rows.xOf({0, 10}) > rows.xOf({0, 5}));

    // A character's box: its own width; after the line's end, a character's.
    const QRectF g = rows.characterBox({0, 11});
    QCOMPARE(g.topLeft(), QPointF(0, 0));
    QCOMPARE(g.height(), rows.rowHeight());
    QVERIFY(g.width() >= 1);
    const QRectF after = rows.characterBox({0, 16});
    QVERIFY(after.left() > g.left() && after.width() >= 1);

    // A new line replaces the cached layout of the line it was appended to.
    text.append(u"delta"_s);
    rows.countFrom(1);
    QCOMPARE(rows.layoutOf(1)->text(), u"delta"_s);
    QCOMPARE(rows.rowCount(), qsizetype(4));
}

void LogRowsTest::offsetsAndPlacesClampToTheText() {
    LogText text;
    LogRows rows(text);
    const LogCaret caret(text, rows);
    QCOMPARE(caret.end(), (P{0, 0}));
    text.append(u"ab"_s);
    text.append(u"c"_s);
    rows.countFrom(0);
    // Shown text "ab\nc\n": lines 0..2.
    QCOMPARE(caret.end(), (P{2, 0}));
    QCOMPARE(caret.clamped({-3, 9}), (P{0, 2}));
    QCOMPARE(caret.clamped({7, 7}), (P{2, 0}));
    QCOMPARE(caret.clamped({1, -1}), (P{1, 0}));
    for (qsizetype offset = 0; offset <= 5; ++offset) {
        QCOMPARE(caret.offsetOf(caret.positionOf(offset)), offset);
    }
    QCOMPARE(caret.positionOf(3), (P{1, 0}));
    QCOMPARE(caret.positionOf(-4), (P{0, 0}));
    QCOMPARE(caret.positionOf(99), (P{2, 0}));
    QCOMPARE(caret.offsetOf({0, 99}), qsizetype(2));  // a column past the end is the line's end
    QCOMPARE(caret.offsetOf({9, 0}), qsizetype(5));
}

void LogRowsTest::movesAlongTheTextCrossLineBreaks() {
    LogText text;
    LogRows rows(text);
    const LogCaret caret(text, rows);
    text.append(u"ab, слово"_s);
    text.append(u"вторая"_s);
    rows.countFrom(0);
    rows.setWidth(1e6);
    using M = LogCaret::Move;
    QCOMPARE(caret.moved({0, 0}, M::NextChar), (P{0, 1}));
    QCOMPARE(caret.moved({0, 4}, M::PreviousChar), (P{0, 3}));
    QCOMPARE(caret.moved({0, 0}, M::NextWord), (P{0, 2}));
    QCOMPARE(caret.moved({0, 9}, M::PreviousWord), (P{0, 4}));
    const qsizetype firstEnd = text.line(0).size();
    QCOMPARE(caret.moved({0, firstEnd}, M::NextChar), (P{1, 0}));
    QCOMPARE(caret.moved({1, 0}, M::PreviousChar), (P{0, firstEnd}));
    QCOMPARE(caret.moved({0, 0}, M::PreviousChar), (P{0, 0}));
    QCOMPARE(caret.moved({2, 0}, M::NextChar), (P{2, 0}));
    QCOMPARE(caret.moved({1, 0}, M::NextWord), (P{1, 6}));
    QCOMPARE(caret.moved({1, 6}, M::NextWord), (P{2, 0}));
    QCOMPARE(caret.moved({1, 0}, M::PreviousWord), (P{0, firstEnd}));
    QCOMPARE(caret.moved({1, 3}, M::StartOfText), (P{0, 0}));
    QCOMPARE(caret.moved({0, 3}, M::EndOfText), (P{2, 0}));
    // Rows and pages are the view's: the place stays.
    QCOMPARE(caret.moved({1, 3}, M::NextPage), (P{1, 3}));
}

void LogRowsTest::rowMovesAndWordsStayInTheirRows() {
    LogText text;
    LogRows rows(text);
    const LogCaret caret(text, rows);
    text.append(u"alpha beta gamma"_s);
    text.append(QString());
    text.append(u"ab cd"_s);
    rows.countFrom(0);
    rows.setWidth(fitOf(rows, u"alpha beta") + 0.5);
    using M = LogCaret::Move;
    // A wrapped row ends before the blank it hangs; the last row at the end.
    QCOMPARE(caret.moved({0, 3}, M::EndOfRow), (P{0, 10}));
    QCOMPARE(caret.moved({0, 12}, M::EndOfRow), (P{0, 16}));
    QCOMPARE(caret.moved({0, 12}, M::StartOfRow), (P{0, 11}));
    QCOMPARE(caret.moved({0, 10}, M::StartOfRow), (P{0, 0}));

    // Rows away, clamped to the rows, with how far it went.
    QCOMPARE(caret.rowsAway({0, 3}, 1, 0), (std::pair<P, qsizetype>{{0, 11}, 1}));
    QCOMPARE(caret.rowsAway({0, 3}, -4, 0), (std::pair<P, qsizetype>{{0, 0}, 0}));
    const auto [last, moved] = caret.rowsAway({0, 12}, 50, 1e6);
    QCOMPARE(last, caret.end());
    QCOMPARE(moved, rows.rowCount() - 2);
    QCOMPARE(LogCaret::rowsOf(M::NextPage, 7), qsizetype(7));
    QCOMPARE(LogCaret::rowsOf(M::PreviousPage, 7), qsizetype(-7));
    QCOMPARE(LogCaret::rowsOf(M::PreviousRow, 7), qsizetype(-1));
    QCOMPARE(LogCaret::rowsOf(M::EndOfRow, 7), qsizetype(0));

    // A word, a run of blanks, and a click past the line's end.
    using Span = std::pair<P, P>;
    QCOMPARE(caret.wordAt({0, 7}), (Span{{0, 6}, {0, 10}}));
    QCOMPARE(caret.wordAt({2, 2}), (Span{{2, 2}, {2, 3}}));
    QCOMPARE(caret.wordAt({2, 9}), (Span{{2, 3}, {2, 5}}));
    QCOMPARE(caret.wordAt({1, 0}), (Span{{1, 0}, {1, 0}}));  // an empty line has none

    // What a selection takes of each line it runs over.
    using Columns = std::pair<qsizetype, qsizetype>;
    QCOMPARE(caret.selectedIn(0, {0, 6}, {2, 2}), (Columns{6, 16}));
    QCOMPARE(caret.selectedIn(1, {0, 6}, {2, 2}), (Columns{0, 0}));
    QCOMPARE(caret.selectedIn(2, {0, 6}, {2, 2}), (Columns{0, 2}));
    QCOMPARE(caret.selectedIn(3, {0, 6}, {2, 2}), (Columns{0, 0}));
}

void LogRowsTest::keysMakeTheirMoves() {
    const auto key = [](Qt::Key code, Qt::KeyboardModifiers modifiers) {
        const QKeyEvent event(QEvent::KeyPress, code, modifiers);
        return LogCaret::keyMove(&event);
    };
    using M = LogCaret::Move;
    const auto right = key(Qt::Key_Right, Qt::NoModifier);
    QVERIFY(right && right->move == M::NextChar && !right->select);
    const auto selectEnd = key(Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(selectEnd && selectEnd->move == M::EndOfText && selectEnd->select);
    const auto page = key(Qt::Key_PageUp, Qt::ShiftModifier);
    QVERIFY(page && page->move == M::PreviousPage && page->select);
    QVERIFY(!key(Qt::Key_X, Qt::NoModifier));
    QVERIFY(!key(Qt::Key_C, Qt::ControlModifier));
}

// The rows need fonts, not widgets.
int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    LogRowsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_log_rows.moc"
