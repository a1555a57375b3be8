#include "app/views/ConversationLog.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextLayout>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// Room between the frame and the text, as a plain-text box leaves it.
constexpr qreal kMargin = 4;
// How often a drag past the edge scrolls.
constexpr int kDragScrollMs = 50;

}  // namespace

ConversationLog::ConversationLog(QWidget* parent)
    : QAbstractScrollArea(parent), followTimer_(new QTimer(this)) {
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
    rows_.setFont(font());
    rows_.setWidth(textWidth());
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
    rows_.countFrom(changed);
    anchor_ = caret_ = moves_.end();
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
    rows_.countFrom(0);
    updateScrollRange();
    viewport()->update();
    if (!removed.isEmpty()) {
        QAccessibleTextRemoveEvent event(this, 0, removed);
        QAccessible::updateAccessibility(&event);
    }
}

void ConversationLog::keepPlace(Position top, bool following) {
    updateScrollRange();
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(following ? bar->maximum() : static_cast<int>(rowOf(top)));
    viewport()->update();
}

qreal ConversationLog::textWidth() const {
    return std::max<qreal>(1, viewport()->width() - 2 * kMargin);
}

// -- scrolling ---------------------------------------------------------------

qsizetype ConversationLog::topRow() const {
    return verticalScrollBar()->value();
}

int ConversationLog::pageRows() const {
    const qreal room = viewport()->height() - 2 * kMargin;
    return std::max(1, static_cast<int>(room / rows_.rowHeight()));
}

bool ConversationLog::atEnd() const {
    return verticalScrollBar()->value() == verticalScrollBar()->maximum();
}

void ConversationLog::updateScrollRange() {
    const int page = pageRows();
    QScrollBar* bar = verticalScrollBar();
    bar->setSingleStep(1);
    bar->setPageStep(page);
    bar->setRange(0, static_cast<int>(std::clamp<qsizetype>(rowCount() - page, 0, INT_MAX)));
}

void ConversationLog::scrollToShow(Position position) {
    updateScrollRange();  // lines held back from the view count too
    const qsizetype row = rowOf(moves_.clamped(position));
    const qsizetype top = topRow();
    if (row < top) {
        verticalScrollBar()->setValue(static_cast<int>(row));
    } else if (row >= top + pageRows()) {
        verticalScrollBar()->setValue(static_cast<int>(row - pageRows() + 1));
    }
}

qreal ConversationLog::rowTop(qsizetype row) const {
    return kMargin + static_cast<qreal>(row - topRow()) * rows_.rowHeight();
}

void ConversationLog::resizeEvent(QResizeEvent* event) {
    const bool following = atEnd();
    const Position top = rowStart(topRow());
    QAbstractScrollArea::resizeEvent(event);
    if (textWidth() != rows_.width()) {
        rows_.setWidth(textWidth());
        keepPlace(top, following);
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
        rows_.setFont(font());
        keepPlace(top, following);
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
    for (qsizetype line = rows_.lineOfRow(topRow()); line < log_.lineCount(); ++line) {
        const qreal top = rowTop(rows_.firstRow(line));
        if (top >= bottom) {
            break;
        }
        QTextLayout* layout = rows_.layoutOf(line);
        QList<QTextLayout::FormatRange> selections;
        const auto [start, end] = moves_.selectedIn(line, from, to);
        if (end > start) {
            selections.append({static_cast<int>(start), static_cast<int>(end - start), highlight});
        }
        layout->draw(&painter, QPointF(kMargin, top), selections);
        // A selected break shows as a small block at the end of its line.
        if (hasSelection() && line >= from.line && line < to.line) {
            const QTextLine last = layout->lineAt(layout->lineCount() - 1);
            painter.fillRect(QRectF(kMargin + last.naturalTextWidth(), top + last.y(),
                                    QFontMetricsF(font()).averageCharWidth(), rows_.rowHeight()),
                             highlight.background());
        }
        if (line == caret_.line && caretShown_ && hasFocus()) {
            layout->drawCursor(&painter, QPointF(kMargin, top), static_cast<int>(caret_.column));
        }
    }
}

QRect ConversationLog::caretRect() const {
    const qreal x = kMargin + rows_.xOf(caret_);
    return QRectF(x - 2, rowTop(rowOf(caret_)), 5, rows_.rowHeight()).toAlignedRect();
}

// -- positions ---------------------------------------------------------------

ConversationLog::Position ConversationLog::positionAt(QPointF point,
                                                      QTextLine::CursorPosition how) const {
    const qsizetype row =
        topRow() + static_cast<qsizetype>(std::floor((point.y() - kMargin) / rows_.rowHeight()));
    if (row < 0) {
        return {};
    }
    if (row >= rowCount()) {
        return moves_.end();
    }
    return rows_.positionInRow(row, point.x() - kMargin, how);
}

QRect ConversationLog::characterRect(Position position) const {
    const Position at = moves_.clamped(position);
    const qsizetype row = rowOf(at);
    if (row < topRow() || row > topRow() + pageRows()) {
        return {};
    }
    const QRectF box = rows_.characterBox(at);
    return box.isNull() ? QRect() : box.translated(kMargin, rowTop(row)).toAlignedRect();
}

// -- caret and selection -----------------------------------------------------

void ConversationLog::selectAll() {
    const Position oldAnchor = anchor_;
    const Position oldCaret = caret_;
    anchor_ = Position{};
    caret_ = moves_.end();
    viewport()->update();
    announceCaret(oldAnchor, oldCaret);
}

void ConversationLog::setSelection(Position anchor, Position caret) {
    const Position oldAnchor = anchor_;
    const Position oldCaret = caret_;
    anchor_ = moves_.clamped(anchor);
    caret_ = moves_.clamped(caret);
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
    caret_ = moves_.clamped(caret);
    if (!keepAnchor) {
        anchor_ = caret_;
    }
    restartBlink();
    viewport()->update();
    announceCaret(oldAnchor, oldCaret);
}

void ConversationLog::moveCaret(Move move, bool keepAnchor) {
    updateScrollRange();
    const qsizetype rows = LogCaret::rowsOf(move, pageRows());
    const bool vertical = rows != 0;
    Position to = moves_.moved(caret_, move);
    if (vertical) {
        if (aimX_ < 0) {
            aimX_ = rows_.xOf(caret_);
        }
        const auto [place, moved] = moves_.rowsAway(caret_, rows, aimX_);
        if (rows != 1 && rows != -1) {
            // A page moves the view by as many rows as the caret.
            verticalScrollBar()->setValue(static_cast<int>(topRow() + moved));
        }
        to = place;
    }
    const qreal aim = aimX_;
    setCaret(to, keepAnchor);
    aimX_ = vertical ? aim : -1;
    scrollToShow(caret_);
}

void ConversationLog::selectWordAt(Position position) {
    const auto [start, end] = moves_.wordAt(position);
    // An empty line has no word: the click only places the caret.
    if (start == end) {
        setCaret(position, false);
        return;
    }
    setSelection(start, end);
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
    if (const auto key = LogCaret::keyMove(event)) {
        moveCaret(key->move, key->select);
        event->accept();
        return;
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
        const int rows =
            std::clamp(static_cast<int>(past / rows_.rowHeight()) + (past < 0 ? -1 : 1),
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
