#include "app/views/ConversationLog.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>
#include <QTimer>

#include <algorithm>

namespace {

// Room between the frame and the text, as a plain-text box leaves it.
constexpr qreal kMargin = 4;

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
    verticalScrollBar()->setSingleStep(1);
    updateScrollRange();
}

ConversationLog::~ConversationLog() = default;

void ConversationLog::appendLine(const QString& text) {
    log_.append(text);
    anchor_ = caret_ = endPosition();
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
}

void ConversationLog::clear() {
    log_.clear();
    pending_ = false;
    anchor_ = caret_ = Position{};
    updateScrollRange();
    viewport()->update();
}

void ConversationLog::selectAll() {
    anchor_ = Position{};
    caret_ = endPosition();
    viewport()->update();
}

QString ConversationLog::selectedText() const {
    const Position from = std::min(anchor_, caret_);
    const Position to = std::max(anchor_, caret_);
    if (from.line == to.line) {
        return log_.line(from.line).sliced(from.column, to.column - from.column).toString();
    }
    QString selected = log_.line(from.line).sliced(from.column).toString();
    for (qsizetype line = from.line + 1; line < to.line; ++line) {
        selected.append(u'\n');
        selected.append(log_.line(line));
    }
    selected.append(u'\n');
    selected.append(log_.line(to.line).first(to.column));
    return selected;
}

ConversationLog::Position ConversationLog::endPosition() const {
    const qsizetype last = log_.lineCount() - 1;
    return {last, log_.line(last).size()};
}

bool ConversationLog::atEnd() const {
    return verticalScrollBar()->value() == verticalScrollBar()->maximum();
}

void ConversationLog::updateScrollRange() {
    // Whole lines of one height fit the page; wrapped lines are laid out
    // only when painted, so the range counts lines, not their wrapping.
    const qreal spacing = QFontMetricsF(font()).lineSpacing();
    const int page = std::max(
        1, static_cast<int>((viewport()->height() - 2 * kMargin) / std::max(spacing, 1.0)));
    const qsizetype lines = log_.lineCount();
    const int maximum = static_cast<int>(std::clamp<qsizetype>(lines - page, 0, INT_MAX));
    QScrollBar* bar = verticalScrollBar();
    bar->setPageStep(page);
    bar->setRange(0, maximum);
}

std::unique_ptr<QTextLayout> ConversationLog::layOut(qsizetype line) const {
    auto layout = std::make_unique<QTextLayout>(log_.line(line).toString(), font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    const qreal width = std::max<qreal>(1, viewport()->width() - 2 * kMargin);
    qreal height = 0;
    layout->beginLayout();
    for (QTextLine row = layout->createLine(); row.isValid(); row = layout->createLine()) {
        row.setLineWidth(width);
        row.setPosition(QPointF(0, height));
        height += row.height();
    }
    layout->endLayout();
    return layout;
}

std::vector<ConversationLog::Placed> ConversationLog::placeLines() const {
    std::vector<Placed> placed;
    const qreal bottom = viewport()->height() - kMargin;
    if (atEnd()) {
        // The last line stands at the bottom; earlier lines fill the view
        // upwards.
        qreal top = bottom;
        for (qsizetype line = log_.lineCount() - 1; line >= 0 && top > 0; --line) {
            auto layout = layOut(line);
            top -= layout->boundingRect().height();
            placed.push_back({line, top, std::move(layout)});
        }
        std::reverse(placed.begin(), placed.end());
        // A short log starts at the top.
        if (!placed.empty() && placed.front().line == 0 && placed.front().top > kMargin) {
            const qreal shift = placed.front().top - kMargin;
            for (Placed& each : placed) {
                each.top -= shift;
            }
        }
        return placed;
    }
    qreal top = kMargin;
    for (qsizetype line = verticalScrollBar()->value(); line < log_.lineCount() && top < bottom;
         ++line) {
        auto layout = layOut(line);
        const qreal height = layout->boundingRect().height();
        placed.push_back({line, top, std::move(layout)});
        top += height;
    }
    return placed;
}

void ConversationLog::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(viewport());
    const Position from = std::min(anchor_, caret_);
    const Position to = std::max(anchor_, caret_);
    QTextCharFormat highlight;
    highlight.setBackground(palette().brush(QPalette::Highlight));
    highlight.setForeground(palette().brush(QPalette::HighlightedText));
    painter.setPen(palette().color(QPalette::Text));
    for (const Placed& each : placeLines()) {
        QList<QTextLayout::FormatRange> selections;
        if (hasSelection() && each.line >= from.line && each.line <= to.line) {
            const qsizetype start = each.line == from.line ? from.column : 0;
            const qsizetype end = each.line == to.line ? to.column : each.layout->text().size();
            if (end > start) {
                selections.append(
                    {static_cast<int>(start), static_cast<int>(end - start), highlight});
            }
        }
        each.layout->draw(&painter, QPointF(kMargin, each.top), selections);
        // A selected break shows as a small block at the end of its line.
        if (hasSelection() && each.line >= from.line && each.line < to.line) {
            const QTextLine last = each.layout->lineAt(each.layout->lineCount() - 1);
            painter.fillRect(QRectF(kMargin + last.naturalTextWidth(), each.top + last.y(),
                                    QFontMetricsF(font()).averageCharWidth(), last.height()),
                             highlight.background());
        }
    }
}

void ConversationLog::resizeEvent(QResizeEvent* event) {
    const bool following = atEnd();
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRange();
    if (following) {
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    }
}

void ConversationLog::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateScrollRange();
    }
}

void ConversationLog::scrollContentsBy(int /*dx*/, int /*dy*/) {
    viewport()->update();
}

ConversationLog::Position ConversationLog::positionAt(QPointF point) const {
    const std::vector<Placed> placed = placeLines();
    if (placed.empty()) {
        return {};
    }
    if (point.y() < placed.front().top) {
        return {placed.front().line, 0};
    }
    for (const Placed& each : placed) {
        const qreal height = each.layout->boundingRect().height();
        if (point.y() < each.top + height || &each == &placed.back()) {
            const QTextLayout& layout = *each.layout;
            const qreal y = std::clamp(point.y() - each.top, 0.0, std::max(0.0, height - 1));
            for (int i = 0; i < layout.lineCount(); ++i) {
                const QTextLine row = layout.lineAt(i);
                if (y < row.y() + row.height() || i + 1 == layout.lineCount()) {
                    return {each.line, row.xToCursor(point.x() - kMargin)};
                }
            }
        }
    }
    return {placed.back().line, log_.line(placed.back().line).size()};
}

void ConversationLog::setCaret(Position caret, bool keepAnchor) {
    caret_ = caret;
    if (!keepAnchor) {
        anchor_ = caret;
    }
    viewport()->update();
}

void ConversationLog::copySelection() {
    if (hasSelection()) {
        QGuiApplication::clipboard()->setText(selectedText(), QClipboard::Clipboard);
    }
}

void ConversationLog::keyPressEvent(QKeyEvent* event) {
    QScrollBar* bar = verticalScrollBar();
    if (event == QKeySequence::Copy) {
        copySelection();
    } else if (event == QKeySequence::SelectAll) {
        selectAll();
    } else if (event == QKeySequence::MoveToStartOfDocument) {
        bar->triggerAction(QAbstractSlider::SliderToMinimum);
    } else if (event == QKeySequence::MoveToEndOfDocument) {
        bar->triggerAction(QAbstractSlider::SliderToMaximum);
    } else if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down ||
               event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown) {
        QAbstractScrollArea::keyPressEvent(event);  // the scroll bar's steps
        return;
    } else {
        event->ignore();
        return;
    }
    event->accept();
}

void ConversationLog::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    selecting_ = true;
    setCaret(positionAt(event->position()), event->modifiers() & Qt::ShiftModifier);
}

void ConversationLog::mouseMoveEvent(QMouseEvent* event) {
    if (!selecting_) {
        return;
    }
    // Dragging past the top or bottom edge scrolls a line at a time.
    if (event->position().y() < 0) {
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    } else if (event->position().y() > viewport()->height()) {
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    }
    setCaret(positionAt(event->position()), true);
}

void ConversationLog::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !selecting_) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    selecting_ = false;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (hasSelection() && clipboard->supportsSelection()) {
        clipboard->setText(selectedText(), QClipboard::Selection);
    }
}
