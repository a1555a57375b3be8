#include "app/views/UniformListView.h"

#include <QAccessible>
#include <QCursor>
#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

namespace {

// How long the scroll bar may lag behind the length of the list.
constexpr int kScrollBarLagMs = 50;
// Rows added at once that are measured when they come; the rest are
// measured when they are painted.
constexpr int kMeasuredOnArrival = 64;
// Rows whose selection change a screen reader hears of, at most, at once.
constexpr int kAnnouncedRows = 64;

}  // namespace

UniformListView::UniformListView(QWidget* parent)
    : QAbstractItemView(parent), syncTimer_(new QTimer(this)) {
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setAttribute(Qt::WA_Hover);
    syncTimer_->setSingleShot(true);
    syncTimer_->setInterval(kScrollBarLagMs);
    connect(syncTimer_, &QTimer::timeout, this, &UniformListView::syncScrollBar);
}

void UniformListView::setModel(QAbstractItemModel* newModel) {
    if (model() != nullptr) {
        disconnect(model(), &QAbstractItemModel::rowsRemoved, this, nullptr);
    }
    QAbstractItemView::setModel(newModel);
    if (newModel != nullptr) {
        connect(newModel, &QAbstractItemModel::rowsRemoved, this, &UniformListView::rowsRemoved);
    }
    rowHeight_ = 0;
    top_ = 0;
    hoverRow_ = -1;
    ++generation_;
}

void UniformListView::reset() {
    QAbstractItemView::reset();
    rowHeight_ = 0;
    top_ = 0;
    hoverRow_ = -1;
    ++generation_;
    updateGeometries();
    viewport()->update();
}

int UniformListView::rowCount() const {
    return model() != nullptr ? model()->rowCount(rootIndex()) : 0;
}

int UniformListView::rowHeight() const {
    if (rowHeight_ > 0) {
        return rowHeight_;
    }
    if (rowCount() == 0) {
        return std::max(1, fontMetrics().height());  // until there is a row to measure
    }
    measureRow(0);
    return rowHeight_;
}

bool UniformListView::measureRow(int row) const {
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QModelIndex index = model()->index(row, 0, rootIndex());
    const int height = itemDelegateForIndex(index)->sizeHint(option, index).height();
    if (height <= rowHeight_) {
        return false;
    }
    rowHeight_ = height;
    return true;
}

int UniformListView::topRow() const {
    return top_;
}

int UniformListView::pageRows() const {
    return std::max(1, viewport()->height() / rowHeight());
}

bool UniformListView::rowInSight(int row) const {
    return row >= topRow() && row <= topRow() + pageRows();
}

int UniformListView::verticalOffset() const {
    return topRow() * rowHeight();
}

QRect UniformListView::visualRect(const QModelIndex& index) const {
    if (!index.isValid() || index.parent() != rootIndex()) {
        return {};
    }
    return {0, (index.row() - topRow()) * rowHeight(), viewport()->width(), rowHeight()};
}

QModelIndex UniformListView::indexAt(const QPoint& point) const {
    if (point.y() < 0 || point.x() < 0 || point.x() >= viewport()->width()) {
        return {};
    }
    const int row = topRow() + point.y() / rowHeight();
    return row < rowCount() ? model()->index(row, 0, rootIndex()) : QModelIndex();
}

void UniformListView::scrollTo(const QModelIndex& index, ScrollHint hint) {
    if (!index.isValid()) {
        return;
    }
    const int row = index.row();
    const int page = pageRows();
    int top = topRow();
    switch (hint) {
        case PositionAtTop:
            top = row;
            break;
        case PositionAtBottom:
            top = row - page + 1;
            break;
        case PositionAtCenter:
            top = row - page / 2;
            break;
        case EnsureVisible:
            if (row < top) {
                top = row;
            } else if (row >= top + page) {
                top = row - page + 1;
            }
            break;
    }
    syncScrollBar();
    verticalScrollBar()->setValue(top);
}

QModelIndex UniformListView::moveCursor(CursorAction action, Qt::KeyboardModifiers /*modifiers*/) {
    const int count = rowCount();
    if (count == 0) {
        return {};
    }
    const QModelIndex current = currentIndex();
    const int row = current.isValid() ? current.row() : -1;
    int next = row;
    switch (action) {
        case MoveUp:
        case MovePrevious:
            next = row < 0 ? 0 : row - 1;
            break;
        case MoveDown:
        case MoveNext:
            next = row + 1;
            break;
        case MovePageUp:
            next = row - pageRows();
            break;
        case MovePageDown:
            next = row < 0 ? pageRows() : row + pageRows();
            break;
        case MoveHome:
            next = 0;
            break;
        case MoveEnd:
            next = count - 1;
            break;
        case MoveLeft:
        case MoveRight:
            return current;
    }
    return model()->index(std::clamp(next, 0, count - 1), 0, rootIndex());
}

void UniformListView::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) {
    const int count = rowCount();
    if (count == 0 || selectionModel() == nullptr) {
        return;
    }
    const QRect area = rect.normalized();
    const int first = std::clamp(topRow() + std::max(0, area.top()) / rowHeight(), 0, count - 1);
    const int last = std::clamp(topRow() + std::max(0, area.bottom()) / rowHeight(), 0, count - 1);
    if (area.top() >= (count - topRow()) * rowHeight()) {
        selectionModel()->select(QItemSelection(), command);
        return;
    }
    selectionModel()->select(
        QItemSelection(model()->index(first, 0, rootIndex()), model()->index(last, 0, rootIndex())),
        command);
}

QRegion UniformListView::visualRegionForSelection(const QItemSelection& selection) const {
    QRegion region;
    const int top = topRow();
    const int bottom = top + pageRows();
    for (const QItemSelectionRange& range : selection) {
        if (range.parent() != rootIndex()) {
            continue;
        }
        const int first = std::max(range.top(), top);
        const int last = std::min(range.bottom(), bottom);
        if (first <= last) {
            region += QRect(0, (first - top) * rowHeight(), viewport()->width(),
                            (last - first + 1) * rowHeight());
        }
    }
    return region;
}

void UniformListView::updateGeometries() {
    syncScrollBar();
    horizontalScrollBar()->setRange(0, 0);
    QAbstractItemView::updateGeometries();
}

void UniformListView::syncScrollBar() {
    syncTimer_->stop();
    QScrollBar* bar = verticalScrollBar();
    const int page = pageRows();
    const int maximum = std::max(0, rowCount() - page);
    const int top = std::min(top_, maximum);
    syncing_ = true;
    bar->setSingleStep(1);
    bar->setPageStep(page);
    bar->setRange(0, maximum);
    bar->setValue(top);
    syncing_ = false;
    if (top != top_) {
        top_ = top;
        viewport()->update();
    }
}

void UniformListView::scheduleScrollBarSync() {
    if (!syncTimer_->isActive()) {
        syncTimer_->start();
    }
}

void UniformListView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const int count = rowCount();
    if (count == 0) {
        return;
    }
    // Every row in sight is measured: one taller than the rest makes them
    // all taller, and the whole view is painted again.
    bool grew = false;
    for (int row = topRow(); row < std::min(count, topRow() + pageRows() + 1); ++row) {
        grew = measureRow(row) || grew;
    }
    if (grew) {
        viewport()->update();
        scheduleScrollBarSync();
    }
    const int height = rowHeight();
    const QRect area = grew ? viewport()->rect() : event->rect();
    const int first = topRow() + std::max(0, area.top()) / height;
    const int last = std::min(count - 1, topRow() + area.bottom() / height);
    const QModelIndex current = currentIndex();
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QStyle::State base = option.state;
    for (int row = first; row <= last; ++row) {
        const QModelIndex index = model()->index(row, 0, rootIndex());
        option.rect = QRect(0, (row - topRow()) * height, viewport()->width(), height);
        option.state = base;
        if (selectionModel() != nullptr && selectionModel()->isSelected(index)) {
            option.state |= QStyle::State_Selected;
        }
        if (index == current && hasFocus()) {
            option.state |= QStyle::State_HasFocus;
        }
        if (row == hoverRow_) {
            option.state |= QStyle::State_MouseOver;
        }
        itemDelegateForIndex(index)->paint(&painter, option, index);
    }
}

void UniformListView::scrollContentsBy(int /*dx*/, int /*dy*/) {
    if (!syncing_) {
        top_ = verticalScrollBar()->value();
        viewport()->update();
    }
    // Another row is under a mouse that did not move.
    if (hoverRow_ >= 0) {
        setHoverRow(indexAt(viewport()->mapFromGlobal(QCursor::pos())).row());
    }
}

bool UniformListView::viewportEvent(QEvent* event) {
    switch (event->type()) {
        case QEvent::HoverEnter:
        case QEvent::HoverMove:
            setHoverRow(indexAt(static_cast<QHoverEvent*>(event)->position().toPoint()).row());
            break;
        case QEvent::HoverLeave:
        case QEvent::Leave:
            setHoverRow(-1);
            break;
        default:
            break;
    }
    return QAbstractItemView::viewportEvent(event);
}

void UniformListView::setHoverRow(int row) {
    if (row == hoverRow_) {
        return;
    }
    for (const int each : {hoverRow_, row}) {
        if (each >= 0 && each < rowCount()) {
            viewport()->update(visualRect(model()->index(each, 0, rootIndex())));
        }
    }
    hoverRow_ = row;
}

void UniformListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QAbstractItemView::currentChanged(current, previous);
    if (QAccessible::isActive() && current.isValid() && hasFocus()) {
        QAccessibleEvent event(this, QAccessible::Focus);
        event.setChild(current.row());
        QAccessible::updateAccessibility(&event);
    }
}

void UniformListView::selectionChanged(const QItemSelection& selected,
                                       const QItemSelection& deselected) {
    QAbstractItemView::selectionChanged(selected, deselected);
    if (!QAccessible::isActive()) {
        return;
    }
    // A screen reader hears which rows changed their selection state.
    int told = 0;
    for (const QItemSelection& changed : {selected, deselected}) {
        for (const QItemSelectionRange& range : changed) {
            for (int row = range.top(); row <= range.bottom() && told < kAnnouncedRows; ++row) {
                QAccessibleEvent event(this, QAccessible::Selection);
                event.setChild(row);
                QAccessible::updateAccessibility(&event);
                ++told;
            }
        }
    }
}

void UniformListView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        rowHeight_ = 0;
    }
    QAbstractItemView::changeEvent(event);
}

void UniformListView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                  const QList<int>& roles) {
    if (topLeft.row() <= topRow() + pageRows() && bottomRight.row() >= topRow()) {
        QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
    }
}

void UniformListView::rowsInserted(const QModelIndex& parent, int start, int end) {
    QAbstractItemView::rowsInserted(parent, start, end);
    if (parent != rootIndex()) {
        return;
    }
    ++generation_;
    setHoverRow(-1);  // another line may stand under the mouse now
    bool grew = false;
    for (int row = start; row <= std::min(end, start + kMeasuredOnArrival - 1); ++row) {
        grew = measureRow(row) || grew;
    }
    if (grew) {
        viewport()->update();
    }
    if (start < top_) {
        top_ += end - start + 1;  // the lines in sight stay where they are
    } else if (rowInSight(start)) {
        viewport()->update();
    }
    scheduleScrollBarSync();
}

void UniformListView::rowsRemoved(const QModelIndex& parent, int start, int end) {
    if (parent != rootIndex()) {
        return;
    }
    ++generation_;
    setHoverRow(-1);
    if (end < top_) {
        top_ -= end - start + 1;  // the lines in sight stay where they are
    } else if (start < top_ || rowInSight(start)) {
        top_ = std::min(top_, start);
        viewport()->update();
    }
    scheduleScrollBarSync();
}
