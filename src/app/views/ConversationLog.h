#pragma once

#include "app/views/LogCaret.h"
#include "app/views/LogRows.h"
#include "core/LogText.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QString>
#include <QTextLayout>

class QTimer;

// The conversation log: a read-only view of the received chat lines that a
// person reads, scrolls and selects in as in a read-only text box, and that a
// screen reader reads as one (AccessibleViews).
//
// It holds the exact text once (LogText) and lays out only the lines in
// sight, so an append costs the same however long the log is. Lines wrap at
// the view's width into rows of one height; every line's rows are counted
// when it arrives, without laying it out (LogRows), so the vertical scroll
// bar counts rows: each step reaches the next row, and the thumb shows the
// wrapped height. Resizing wraps again and keeps the line at the top in
// place. While lines pour in, the view follows them at most kFollowMs apart
// rather than at every line, and so do the events that tell a screen reader
// of new text, so a flood spends its time neither painting nor telling.
//
// A caret moves with the keys of a text box (arrows, Home, End, PgUp, PgDn,
// Ctrl with them; LogCaret says where each takes it); Shift with a movement
// selects. The mouse selects by dragging (past the edge the view scrolls on a
// timer), a word by a double click and a line by a triple click. Ctrl+A
// selects all, Ctrl+C copies.
class ConversationLog : public QAbstractScrollArea {
    Q_OBJECT
  public:
    // A place in the shown text: a shown line and a column in it.
    using Position = LogPosition;

    // The shortest time between two repaints that follow appended lines.
    static constexpr int kFollowMs = 30;

    explicit ConversationLog(QWidget* parent = nullptr);
    ~ConversationLog() override;

    // Adds text verbatim followed by CR LF at the end of the log, moves the
    // caret there (any selection is lost) and scrolls to it. Costs the same
    // however long the log already is.
    void appendLine(const QString& text);

    // The exact log text: every appended text followed by CR LF.
    [[nodiscard]] const QString& text() const { return log_.text(); }
    [[nodiscard]] bool isEmpty() const { return log_.isEmpty(); }
    // The shown lines joined by LF.
    [[nodiscard]] QString toPlainText() const { return log_.plainText(); }
    // Removes the whole log.
    void clear();

    void selectAll();
    [[nodiscard]] bool hasSelection() const { return anchor_ != caret_; }
    // The selected part of the shown text, its lines joined by LF.
    [[nodiscard]] QString selectedText() const;
    [[nodiscard]] Position caret() const { return caret_; }
    [[nodiscard]] Position anchor() const { return anchor_; }
    [[nodiscard]] bool isCaretAtEnd() const { return caret_ == moves_.end(); }
    // Selects from anchor to caret (both clamped to the text) and shows the caret.
    void setSelection(Position anchor, Position caret);

    // The shown text (lines joined by LF) by offset, as a screen reader
    // reads it.
    [[nodiscard]] qsizetype characterCount() const { return log_.shownSize(); }
    [[nodiscard]] QString shownText(qsizetype from, qsizetype to) const {
        return log_.shownText(from, to);
    }
    [[nodiscard]] qsizetype offsetOf(Position position) const { return moves_.offsetOf(position); }
    [[nodiscard]] Position positionOf(qsizetype offset) const { return moves_.positionOf(offset); }
    // The character's box in viewport coordinates; empty when it is not in sight.
    [[nodiscard]] QRect characterRect(Position position) const;
    // The place nearest a viewport point: between the characters, or on the
    // character under it.
    [[nodiscard]] Position positionAt(
        QPointF point, QTextLine::CursorPosition how = QTextLine::CursorBetweenCharacters) const;
    // Scrolls as little as needed to show the row of a position.
    void scrollToShow(Position position);

    // Wrapped rows: in all, the first one in sight, and how many fit the view.
    [[nodiscard]] qsizetype rowCount() const { return rows_.rowCount(); }
    [[nodiscard]] qsizetype topRow() const;
    [[nodiscard]] int pageRows() const;
    // The shown line and the column where a row begins.
    [[nodiscard]] Position rowStart(qsizetype row) const { return rows_.rowStart(row); }
    // The row that holds a position (a column where a row breaks begins the
    // next row).
    [[nodiscard]] qsizetype rowOf(Position position) const { return rows_.rowOf(position); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    using Move = LogCaret::Move;

    // After every line wrapped again (new width or font): the view shows
    // the place that was at its top, or its end.
    void keepPlace(Position top, bool following);
    [[nodiscard]] qreal textWidth() const;
    [[nodiscard]] qreal rowTop(qsizetype row) const;
    [[nodiscard]] QRect caretRect() const;
    [[nodiscard]] QPointF insideView(QPointF point) const;
    void updateScrollRange();
    [[nodiscard]] bool atEnd() const;
    void setCaret(Position caret, bool keepAnchor);
    void moveCaret(Move move, bool keepAnchor);
    void selectWordAt(Position position);
    void selectLine(qsizetype line);
    void restartBlink();
    // Shows the end of the log: scroll range, position, a repaint, and the
    // news for a screen reader.
    void followEnd();
    void copySelection();
    // Tells a screen reader of the text appended since it last heard.
    void announceAppended();
    void announceCaret(Position oldAnchor, Position oldCaret);

    LogText log_;
    // The rows of log_'s lines, and the caret's places in them.
    LogRows rows_{log_};
    LogCaret moves_{log_, rows_};

    Position anchor_;
    Position caret_;
    // Where Up and Down aim, kept over a run of them; negative when unset.
    qreal aimX_ = -1;
    bool selecting_ = false;
    QPointF mouse_;
    QBasicTimer dragScroll_;
    QBasicTimer tripleClick_;
    QPointF doubleClickAt_;
    QBasicTimer blink_;
    bool caretShown_ = false;
    // Runs while appends are held back from the view; pending_ says that
    // lines came meanwhile.
    QTimer* followTimer_ = nullptr;
    bool pending_ = false;
    // Where the text not yet told to a screen reader begins; -1 when none.
    qsizetype untold_ = -1;
};
