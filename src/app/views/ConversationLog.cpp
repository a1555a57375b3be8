#include "app/views/ConversationLog.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>

namespace {

// Room between the frame and the text, as a plain-text box leaves it.
constexpr qreal kMargin = 4;
// Lines kept laid out: more than a tall view shows.
constexpr int kLaidOutLines = 400;
// How often a drag past the edge scrolls.
constexpr int kDragScrollMs = 50;

}  // namespace

ConversationLog::ConversationLog(QWidget* parent)
    : QAbstractScrollArea(parent), layouts_(kLaidOutLines), followTimer_(new QTimer(this)) {
    followTimer_->setSingleShot(true);
    followTimer_->setInterval(kFollowMs);
    connect(followTimer_, &QTimer::timeout, this, [this] {
        if (pending_) {
            pending_ = false;
            followEnd();
            followTimer_->start();
        }
    });
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    wrap_.setFont(font());
    rowHeight_ = std::max(1.0, QFontMetricsF(wrap_.font()).lineSpacing());
    wrap_.setWidth(textWidth());
    wrapFrom(0);
    updateScrollRange();
}

ConversationLog::~ConversationLog() = default;

// -- the text and its rows ---------------------------------------------------

void ConversationLog::appendLine(const QString& text) {
    const qsizetype changed = log_.lineCount() - 1;  // the empty last line takes the text
    if (untold_ < 0 && QAccessible::isActive()) {
        untold_ = log_.shownSize();
    }
    log_.append(text);
    layouts_.remove(changed);
    wrapFrom(changed);
    anchor_ = caret_ = endPosition();
    aimX_ = -1;
    // The first line after a quiet spell shows at once; the lines after it
    // wait for the timer.
    if (followTimer_->isActive()) {
        pending_ = true;
        return;
    }
    followEnd();
    followTimer_->start();
}

void ConversationLog::followEnd() {
    updateScrollRange();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    viewport()->update();
    announceAppended();
}

void ConversationLog::clear() {
    announceAppended();
    const QString removed = QAccessible::isActive() ? log_.plainText() : QString();
    log_.clear();
    pending_ = false;
    untold_ = -1;
    anchor_ = caret_ = Position{};
    aimX_ = -1;
    layouts_.clear();
    wrapFrom(0);
    updateScrollRange();
    viewport()->update();
    if (!removed.isEmpty()) {
        QAccessibleTextRemoveEvent event(this, 0, removed);
        QAccessible::updateAccessibility(&event);
    }
}

void ConversationLog::wrapFrom(qsizetype line) {
    rowCount_ = line < static_cast<qsizetype>(rowStarts_.size()) ? firstRow(line) : rowCount_;
    rowStarts_.resize(static_cast<size_t>(line));
    fits_.resize(static_cast<size_t>(line));
    for (qsizetype each = line; each < log_.lineCount(); ++each) {
        qreal fit = 0;
        const int rows = wrap_.rows(log_.line(each), nullptr, &fit);
        rowStarts_.push_back(rowCount_);
        fits_.push_back(static_cast<float>(fit));
        rowCount_ += rows;
    }
}

void ConversationLog::rewrap(Position top, bool following) {
    rowCount_ = 0;
    // A line no wider than the new width takes one row; only the others are
    // measured again.
    const qreal width = wrap_.width() - 0.01;
    for (qsizetype line = 0; line < log_.lineCount(); ++line) {
        rowStarts_[static_cast<size_t>(line)] = rowCount_;
        float& fit = fits_[static_cast<size_t>(line)];
        if (fit <= width) {
            ++rowCount_;
            continue;
        }
        qreal measured = 0;
        rowCount_ += wrap_.rows(log_.line(line), nullptr, &measured);
        fit = static_cast<float>(measured);
    }
    layouts_.clear();
    updateScrollRange();
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(following ? bar->maximum() : static_cast<int>(rowOf(top)));
    viewport()->update();
}

qreal ConversationLog::textWidth() const {
    return std::max<qreal>(1, viewport()->width() - 2 * kMargin);
}

qsizetype ConversationLog::lineOfRow(qsizetype row) const {
    const auto after = std::upper_bound(rowStarts_.begin(), rowStarts_.end(), row);
    return std::max<qsizetype>(0, (after - rowStarts_.begin()) - 1);
}

int ConversationLog::rowInLine(qsizetype line, qsizetype column) const {
    LineWrap::Ends ends;
    wrap_.rows(log_.line(line), &ends);
    for (int row = 0; row + 1 < ends.size(); ++row) {
        if (column < ends[row]) {
            return row;
        }
    }
    return static_cast<int>(ends.size()) - 1;
}

qsizetype ConversationLog::rowOf(Position position) const {
    return firstRow(position.line) + rowInLine(position.line, position.column);
}

ConversationLog::Position ConversationLog::rowStart(qsizetype row) const {
    row = std::clamp<qsizetype>(row, 0, rowCount_ - 1);
    const qsizetype line = lineOfRow(row);
    const qsizetype inLine = row - firstRow(line);
    if (inLine == 0) {
        return {line, 0};
    }
    LineWrap::Ends ends;
    wrap_.rows(log_.line(line), &ends);
    return {line, ends[std::min<qsizetype>(inLine, ends.size()) - 1]};
}

QTextLayout* ConversationLog::layoutOf(qsizetype line) const {
    if (QTextLayout* known = layouts_.object(line)) {
        return known;
    }
    const QStringView text = log_.line(line);
    auto* layout = new QTextLayout(LineWrap::laidOut(text), wrap_.font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAnywhere);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    LineWrap::Ends ends;
    wrap_.rows(text, &ends);
    // Each row takes exactly the characters LineWrap gave it, so the rows
    // shown are the rows counted.
    layout->beginLayout();
    int start = 0;
    for (int row = 0; row < ends.size(); ++row) {
        QTextLine laid = layout->createLine();
        if (!laid.isValid()) {
            break;
        }
        laid.setNumColumns(std::max(1, ends[row] - start));
        laid.setPosition(QPointF(0, row * rowHeight_));
        Q_ASSERT_X(laid.textStart() == start && laid.textStart() + laid.textLength() == ends[row],
                   "ConversationLog", "a row laid out other than counted");
        start = laid.textStart() + laid.textLength();
    }
    layout->endLayout();
    layouts_.insert(line, layout);
    return layout;
}

ConversationLog::Position ConversationLog::endPosition() const {
    const qsizetype last = log_.lineCount() - 1;
    return {last, log_.line(last).size()};
}

ConversationLog::Position ConversationLog::clamped(Position position) const {
    const qsizetype line = std::clamp<qsizetype>(position.line, 0, log_.lineCount() - 1);
    return {line, std::clamp<qsizetype>(position.column, 0, log_.line(line).size())};
}

qsizetype ConversationLog::offsetOf(Position position) const {
    const Position at = clamped(position);
    return log_.shownStart(at.line) + at.column;
}

ConversationLog::Position ConversationLog::positionOf(qsizetype offset) const {
    offset = std::clamp<qsizetype>(offset, 0, log_.shownSize());
    const qsizetype line = log_.lineAtShownOffset(offset);
    return clamped({line, offset - log_.shownStart(line)});
}

// -- scrolling ---------------------------------------------------------------

qsizetype ConversationLog::topRow() const {
    return verticalScrollBar()->value();
}

int ConversationLog::pageRows() const {
    const qreal room = viewport()->height() - 2 * kMargin;
    return std::max(1, static_cast<int>(room / rowHeight_));
}

bool ConversationLog::atEnd() const {
    return verticalScrollBar()->value() == verticalScrollBar()->maximum();
}

void ConversationLog::updateScrollRange() {
    const int page = pageRows();
    QScrollBar* bar = verticalScrollBar();
    bar->setSingleStep(1);
    bar->setPageStep(page);
    bar->setRange(0, static_cast<int>(std::clamp<qsizetype>(rowCount_ - page, 0, INT_MAX)));
}

void ConversationLog::scrollToShow(Position position) {
    updateScrollRange();  // lines held back from the view count too
    const qsizetype row = rowOf(clamped(position));
    const qsizetype top = topRow();
    if (row < top) {
        verticalScrollBar()->setValue(static_cast<int>(row));
    } else if (row >= top + pageRows()) {
        verticalScrollBar()->setValue(static_cast<int>(row - pageRows() + 1));
    }
}

qreal ConversationLog::rowTop(qsizetype row) const {
    return kMargin + static_cast<qreal>(row - topRow()) * rowHeight_;
}

void ConversationLog::resizeEvent(QResizeEvent* event) {
    const bool following = atEnd();
    const Position top = rowStart(topRow());
    QAbstractScrollArea::resizeEvent(event);
    if (textWidth() != wrap_.width()) {
        wrap_.setWidth(textWidth());
        rewrap(top, following);
        return;
    }
    updateScrollRange();
    if (following) {
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    }
}

void ConversationLog::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        const bool following = atEnd();
        const Position top = rowStart(topRow());
        wrap_.setFont(font());
        rowHeight_ = std::max(1.0, QFontMetricsF(wrap_.font()).lineSpacing());
        // Every line is measured anew in the new font.
        std::fill(fits_.begin(), fits_.end(), std::numeric_limits<float>::max());
        rewrap(top, following);
    }
}

void ConversationLog::scrollContentsBy(int /*dx*/, int /*dy*/) {
    viewport()->update();
}

// -- painting ----------------------------------------------------------------

void ConversationLog::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(viewport());
    // Rows above the top row stay out of the margin.
    painter.setClipRect(QRectF(0, kMargin, viewport()->width(), viewport()->height()));
    const Position from = std::min(anchor_, caret_);
    const Position to = std::max(anchor_, caret_);
    QTextCharFormat highlight;
    highlight.setBackground(palette().brush(QPalette::Highlight));
    highlight.setForeground(palette().brush(QPalette::HighlightedText));
    painter.setPen(palette().color(QPalette::Text));
    const qreal bottom = viewport()->height();
    for (qsizetype line = lineOfRow(topRow()); line < log_.lineCount(); ++line) {
        const qreal top = rowTop(firstRow(line));
        if (top >= bottom) {
            break;
        }
        QTextLayout* layout = layoutOf(line);
        QList<QTextLayout::FormatRange> selections;
        if (hasSelection() && line >= from.line && line <= to.line) {
            const qsizetype start = line == from.line ? from.column : 0;
            const qsizetype end = line == to.line ? to.column : layout->text().size();
            if (end > start) {
                selections.append(
                    {static_cast<int>(start), static_cast<int>(end - start), highlight});
            }
        }
        layout->draw(&painter, QPointF(kMargin, top), selections);
        // A selected break shows as a small block at the end of its line.
        if (hasSelection() && line >= from.line && line < to.line) {
            const QTextLine last = layout->lineAt(layout->lineCount() - 1);
            painter.fillRect(QRectF(kMargin + last.naturalTextWidth(), top + last.y(),
                                    QFontMetricsF(font()).averageCharWidth(), rowHeight_),
                             highlight.background());
        }
        if (line == caret_.line && caretShown_ && hasFocus()) {
            layout->drawCursor(&painter, QPointF(kMargin, top), static_cast<int>(caret_.column));
        }
    }
}

QRect ConversationLog::caretRect() const {
    const qreal x = kMargin + xOf(caret_);
    return QRectF(x - 2, rowTop(rowOf(caret_)), 5, rowHeight_).toAlignedRect();
}

// -- positions ---------------------------------------------------------------

ConversationLog::Position ConversationLog::positionInRow(qsizetype row, qreal x,
                                                         QTextLine::CursorPosition how) const {
    row = std::clamp<qsizetype>(row, 0, rowCount_ - 1);
    const qsizetype line = lineOfRow(row);
    const QTextLayout* layout = layoutOf(line);
    const QTextLine laid = layout->lineAt(static_cast<int>(row - firstRow(line)));
    if (!laid.isValid()) {
        return {line, log_.line(line).size()};
    }
    qsizetype column = laid.xToCursor(x, how);
    // Past a wrapped row's end the caret stays in the row, before the blank
    // the row hangs: the row's end is where the next row begins.
    const qsizetype end = laid.textStart() + laid.textLength();
    if (column == end && laid.lineNumber() + 1 < layout->lineCount() && end > laid.textStart() &&
        LineWrap::isBlank(log_.line(line)[end - 1])) {
        --column;
    }
    return {line, column};
}

ConversationLog::Position ConversationLog::positionAt(QPointF point,
                                                      QTextLine::CursorPosition how) const {
    const qsizetype row =
        topRow() + static_cast<qsizetype>(std::floor((point.y() - kMargin) / rowHeight_));
    if (row < 0) {
        return {};
    }
    if (row >= rowCount_) {
        return endPosition();
    }
    return positionInRow(row, point.x() - kMargin, how);
}

qreal ConversationLog::xOf(Position position) const {
    const QTextLayout* layout = layoutOf(position.line);
    const QTextLine laid = layout->lineAt(rowInLine(position.line, position.column));
    return laid.isValid() ? laid.cursorToX(static_cast<int>(position.column)) : 0;
}

QRect ConversationLog::characterRect(Position position) const {
    const Position at = clamped(position);
    const qsizetype row = rowOf(at);
    if (row < topRow() || row > topRow() + pageRows()) {
        return {};
    }
    const QTextLayout* layout = layoutOf(at.line);
    const QTextLine laid = layout->lineAt(rowInLine(at.line, at.column));
    if (!laid.isValid()) {
        return {};
    }
    const qreal left = laid.cursorToX(static_cast<int>(at.column));
    const qreal right = at.column < log_.line(at.line).size()
                            ? laid.cursorToX(static_cast<int>(at.column + 1))
                            : left + QFontMetricsF(wrap_.font()).averageCharWidth();
    return QRectF(kMargin + left, rowTop(row), std::max<qreal>(1, right - left), rowHeight_)
        .toAlignedRect();
}

// -- caret and selection -----------------------------------------------------

void ConversationLog::selectAll() {
    const Position oldAnchor = anchor_;
    const Position oldCaret = caret_;
    anchor_ = Position{};
    caret_ = endPosition();
    viewport()->update();
    announceCaret(oldAnchor, oldCaret);
}

void ConversationLog::setSelection(Position anchor, Position caret) {
    const Position oldAnchor = anchor_;
    const Position oldCaret = caret_;
    anchor_ = clamped(anchor);
    caret_ = clamped(caret);
    aimX_ = -1;
    scrollToShow(caret_);
    restartBlink();
    viewport()->update();
    announceCaret(oldAnchor, oldCaret);
}

QString ConversationLog::selectedText() const {
    return log_.shownText(offsetOf(std::min(anchor_, caret_)), offsetOf(std::max(anchor_, caret_)));
}

void ConversationLog::setCaret(Position caret, bool keepAnchor) {
    const Position oldAnchor = anchor_;
    const Position oldCaret = caret_;
    caret_ = clamped(caret);
    if (!keepAnchor) {
        anchor_ = caret_;
    }
    restartBlink();
    viewport()->update();
    announceCaret(oldAnchor, oldCaret);
}

void ConversationLog::moveCaret(Move move, bool keepAnchor) {
    updateScrollRange();
    Position to = caret_;
    const QStringView line = log_.line(caret_.line);
    const qsizetype lastLine = log_.lineCount() - 1;
    bool vertical = false;
    qsizetype rows = 0;
    switch (move) {
        case Move::NextChar:
            if (to.column < line.size()) {
                to.column = layoutOf(to.line)->nextCursorPosition(static_cast<int>(to.column));
            } else if (to.line < lastLine) {
                to = {to.line + 1, 0};
            }
            break;
        case Move::PreviousChar:
            if (to.column > 0) {
                to.column = layoutOf(to.line)->previousCursorPosition(static_cast<int>(to.column));
            } else if (to.line > 0) {
                to = {to.line - 1, log_.line(to.line - 1).size()};
            }
            break;
        case Move::NextWord:
            if (to.column < line.size()) {
                to.column = layoutOf(to.line)->nextCursorPosition(static_cast<int>(to.column),
                                                                  QTextLayout::SkipWords);
            } else if (to.line < lastLine) {
                to = {to.line + 1, 0};
            }
            break;
        case Move::PreviousWord:
            if (to.column > 0) {
                to.column = layoutOf(to.line)->previousCursorPosition(static_cast<int>(to.column),
                                                                      QTextLayout::SkipWords);
            } else if (to.line > 0) {
                to = {to.line - 1, log_.line(to.line - 1).size()};
            }
            break;
        case Move::NextRow:
            rows = 1;
            vertical = true;
            break;
        case Move::PreviousRow:
            rows = -1;
            vertical = true;
            break;
        case Move::NextPage:
            rows = pageRows();
            vertical = true;
            break;
        case Move::PreviousPage:
            rows = -pageRows();
            vertical = true;
            break;
        case Move::StartOfRow:
            to = rowStart(rowOf(caret_));
            break;
        case Move::EndOfRow: {
            const qsizetype row = rowOf(caret_);
            if (row + 1 < rowCount_ && lineOfRow(row + 1) == caret_.line) {
                to = rowStart(row + 1);
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
            to = Position{};
            break;
        case Move::EndOfText:
            to = endPosition();
            break;
    }
    if (vertical) {
        if (aimX_ < 0) {
            aimX_ = xOf(caret_);
        }
        const qsizetype row = rowOf(caret_);
        const qsizetype target = std::clamp<qsizetype>(row + rows, 0, rowCount_ - 1);
        if (rows == 1 || rows == -1) {
            to = positionInRow(target, aimX_, QTextLine::CursorBetweenCharacters);
        } else {
            // A page moves the view by as many rows as the caret.
            QScrollBar* bar = verticalScrollBar();
            bar->setValue(static_cast<int>(topRow() + (target - row)));
            to = positionInRow(target, aimX_, QTextLine::CursorBetweenCharacters);
        }
    }
    const qreal aim = aimX_;
    setCaret(to, keepAnchor);
    aimX_ = vertical ? aim : -1;
    scrollToShow(caret_);
}

void ConversationLog::selectWordAt(Position position) {
    const QString line = log_.line(position.line).toString();
    if (line.isEmpty()) {
        setCaret(position, false);
        return;
    }
    QTextBoundaryFinder finder(QTextBoundaryFinder::Word, line);
    const qsizetype at = std::min(position.column, line.size() - 1);
    // The word, or the run of blanks or signs, that the character begins or
    // stands in.
    finder.setPosition(at);
    qsizetype start = at;
    if (!finder.isAtBoundary()) {
        start = finder.toPreviousBoundary();
    }
    finder.setPosition(at);
    const qsizetype end = finder.toNextBoundary();
    setSelection({position.line, std::max<qsizetype>(0, start)},
                 {position.line, end < 0 ? line.size() : end});
}

void ConversationLog::selectLine(qsizetype line) {
    setSelection({line, 0}, {line, log_.line(line).size()});
}

void ConversationLog::copySelection() {
    if (hasSelection()) {
        QGuiApplication::clipboard()->setText(selectedText(), QClipboard::Clipboard);
    }
}

// -- keys, mouse, focus ------------------------------------------------------

void ConversationLog::keyPressEvent(QKeyEvent* event) {
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
    if (event == QKeySequence::Copy) {
        copySelection();
        event->accept();
        return;
    }
    if (event == QKeySequence::SelectAll) {
        selectAll();
        event->accept();
        return;
    }
    for (const Binding& binding : kBindings) {
        if (event == binding.move || event == binding.select) {
            moveCaret(binding.action, event == binding.select);
            event->accept();
            return;
        }
    }
    // Ctrl+Up and Ctrl+Down scroll without moving the caret.
    if (event->modifiers() == Qt::ControlModifier &&
        (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)) {
        verticalScrollBar()->triggerAction(event->key() == Qt::Key_Up
                                               ? QAbstractSlider::SliderSingleStepSub
                                               : QAbstractSlider::SliderSingleStepAdd);
        event->accept();
        return;
    }
    event->ignore();
}

void ConversationLog::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const Position at = positionAt(event->position());
    aimX_ = -1;
    if (tripleClick_.isActive() && (event->position() - doubleClickAt_).manhattanLength() <
                                       QApplication::startDragDistance()) {
        tripleClick_.stop();
        selectLine(at.line);
        return;
    }
    selecting_ = true;
    mouse_ = event->position();
    setCaret(at, event->modifiers() & Qt::ShiftModifier);
}

void ConversationLog::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseDoubleClickEvent(event);
        return;
    }
    selecting_ = false;
    selectWordAt(positionAt(event->position(), QTextLine::CursorOnCharacter));
    doubleClickAt_ = event->position();
    tripleClick_.start(QApplication::doubleClickInterval(), this);
}

void ConversationLog::mouseMoveEvent(QMouseEvent* event) {
    if (!selecting_) {
        return;
    }
    mouse_ = event->position();
    // Past the top or bottom edge the view scrolls on a timer, whether the
    // mouse moves or not.
    if (mouse_.y() < 0 || mouse_.y() > viewport()->height()) {
        if (!dragScroll_.isActive()) {
            dragScroll_.start(kDragScrollMs, this);
        }
    } else {
        dragScroll_.stop();
    }
    setCaret(positionAt(insideView(mouse_)), true);
}

QPointF ConversationLog::insideView(QPointF point) const {
    // The row at the edge: the rows past it are reached by scrolling.
    return {point.x(), std::clamp<qreal>(point.y(), kMargin,
                                         std::max(kMargin, viewport()->height() - kMargin - 1))};
}

void ConversationLog::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !selecting_) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    selecting_ = false;
    dragScroll_.stop();
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (hasSelection() && clipboard->supportsSelection()) {
        clipboard->setText(selectedText(), QClipboard::Selection);
    }
}

void ConversationLog::timerEvent(QTimerEvent* event) {
    if (event->timerId() == dragScroll_.timerId()) {
        // Farther past the edge, faster: a row more for each row's height.
        const qreal past = mouse_.y() < 0 ? mouse_.y() : mouse_.y() - viewport()->height();
        const int rows = std::clamp(static_cast<int>(past / rowHeight_) + (past < 0 ? -1 : 1),
                                    -pageRows(), pageRows());
        QScrollBar* bar = verticalScrollBar();
        bar->setValue(bar->value() + rows);
        setCaret(positionAt(insideView(mouse_)), true);
    } else if (event->timerId() == blink_.timerId()) {
        caretShown_ = !caretShown_;
        viewport()->update(caretRect());
    } else if (event->timerId() == tripleClick_.timerId()) {
        tripleClick_.stop();
    } else {
        QAbstractScrollArea::timerEvent(event);
    }
}

void ConversationLog::restartBlink() {
    if (!hasFocus()) {
        return;
    }
    viewport()->update(caretRect());
    caretShown_ = true;
    const int flash = QGuiApplication::styleHints()->cursorFlashTime();
    if (flash >= 2) {
        blink_.start(flash / 2, this);
    } else {
        blink_.stop();
    }
}

void ConversationLog::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    restartBlink();
    viewport()->update(caretRect());
}

void ConversationLog::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    blink_.stop();
    caretShown_ = false;
    viewport()->update(caretRect());
}

// -- screen readers ----------------------------------------------------------

void ConversationLog::announceAppended() {
    if (untold_ < 0) {
        return;
    }
    const qsizetype from = untold_;
    untold_ = -1;
    if (!QAccessible::isActive()) {
        return;
    }
    QAccessibleTextInsertEvent inserted(this, static_cast<int>(from),
                                        log_.shownText(from, log_.shownSize()));
    QAccessible::updateAccessibility(&inserted);
    QAccessibleTextCursorEvent moved(this, static_cast<int>(offsetOf(caret_)));
    QAccessible::updateAccessibility(&moved);
}

void ConversationLog::announceCaret(Position oldAnchor, Position oldCaret) {
    if (!QAccessible::isActive() || (oldAnchor == anchor_ && oldCaret == caret_)) {
        return;
    }
    if (oldCaret != caret_) {
        QAccessibleTextCursorEvent moved(this, static_cast<int>(offsetOf(caret_)));
        QAccessible::updateAccessibility(&moved);
    }
    if (hasSelection() || oldAnchor != oldCaret) {
        QAccessibleTextSelectionEvent selected(
            this, static_cast<int>(offsetOf(std::min(anchor_, caret_))),
            static_cast<int>(offsetOf(std::max(anchor_, caret_))));
        QAccessible::updateAccessibility(&selected);
    }
}
