#include "app/views/AccessibleViews.h"

#include "app/views/ConversationLog.h"
#include "app/views/UniformListView.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>
#include <QScrollBar>
#include <QTextBoundaryFinder>
#include <QWindow>

#include <algorithm>
#include <climits>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

// -- the log -----------------------------------------------------------------

// The log as a read-only multi-line text. Offsets count the shown text: the
// shown lines joined by LF. A line is a row as wrapped on screen (what Up and
// Down move by); a paragraph is a shown line.
class AccessibleLog : public QAccessibleWidget, public QAccessibleTextInterface {
  public:
    explicit AccessibleLog(ConversationLog* log)
        : QAccessibleWidget(log, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) {
            return static_cast<QAccessibleTextInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = true;
        state.editable = false;
        state.multiLine = true;
        state.selectableText = true;
        state.focusable = true;
        return state;
    }

    QString text(QAccessible::Text type) const override {
        // The value of a text is its text, which is read through the text
        // interface, never as one string of the whole log.
        return type == QAccessible::Value ? QString() : QAccessibleWidget::text(type);
    }

    void selection(int index, int* start, int* end) const override {
        *start = *end = 0;
        if (index == 0 && log()->hasSelection()) {
            *start = toOffset(std::min(log()->anchor(), log()->caret()));
            *end = toOffset(std::max(log()->anchor(), log()->caret()));
        }
    }
    int selectionCount() const override { return log()->hasSelection() ? 1 : 0; }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int index) override {
        if (index == 0) {
            log()->setSelection(log()->caret(), log()->caret());
        }
    }
    void setSelection(int index, int start, int end) override {
        if (index == 0) {
            log()->setSelection(log()->positionOf(start), log()->positionOf(end));
        }
    }
    int cursorPosition() const override { return toOffset(log()->caret()); }
    void setCursorPosition(int position) override {
        const ConversationLog::Position at = log()->positionOf(position);
        log()->setSelection(at, at);
    }

    QString text(int start, int end) const override {
        if (end < 0) {
            end = characterCount();
        }
        return log()->shownText(start, end);
    }
    int characterCount() const override {
        // Offsets are int to a screen reader; a longer log ends there for it.
        return static_cast<int>(std::min<qsizetype>(log()->characterCount(), INT_MAX));
    }

    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                         int* end) const override {
        unitAt(offset, type, start, end);
        return text(*start, *end);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                             int* end) const override {
        unitAt(offset, type, start, end);
        if (*start <= 0) {
            *start = *end = 0;
            return {};
        }
        unitAt(*start - 1, type, start, end);
        return text(*start, *end);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                            int* end) const override {
        unitAt(offset, type, start, end);
        if (*end >= characterCount()) {
            *start = *end = characterCount();
            return {};
        }
        unitAt(*end, type, start, end);
        return text(*start, *end);
    }

    QRect characterRect(int offset) const override {
        const QRect box = log()->characterRect(log()->positionOf(offset));
        return box.isEmpty() ? QRect()
                             : QRect(log()->viewport()->mapToGlobal(box.topLeft()), box.size());
    }
    int offsetAtPoint(const QPoint& point) const override {
        const QPoint local = log()->viewport()->mapFromGlobal(point);
        if (!log()->viewport()->rect().contains(local)) {
            return -1;
        }
        return toOffset(log()->positionAt(local, QTextLine::CursorOnCharacter));
    }
    void scrollToSubstring(int start, int end) override {
        log()->scrollToShow(log()->positionOf(end));
        log()->scrollToShow(log()->positionOf(start));
    }
    QString attributes(int /*offset*/, int* start, int* end) const override {
        *start = 0;
        *end = characterCount();
        return {};
    }

  private:
    [[nodiscard]] ConversationLog* log() const { return static_cast<ConversationLog*>(widget()); }
    [[nodiscard]] int toOffset(ConversationLog::Position position) const {
        return static_cast<int>(std::min<qsizetype>(log()->offsetOf(position), INT_MAX));
    }

    // The unit of the given kind that holds the offset, as [start, end).
    void unitAt(int offset, QAccessible::TextBoundaryType type, int* start, int* end) const {
        const int size = characterCount();
        offset = std::clamp(offset, 0, size);
        const ConversationLog::Position at = log()->positionOf(offset);
        const int lineStart = offset - static_cast<int>(at.column);
        // A column past the line's end stands for its end.
        const int lineEnd = toOffset({at.line, std::numeric_limits<qsizetype>::max()});
        // The line's break belongs to its last row and to the shown line.
        const int afterBreak = std::min(size, lineEnd + 1);
        switch (type) {
            case QAccessible::NoBoundary:
                *start = 0;
                *end = size;
                return;
            case QAccessible::ParagraphBoundary:
                *start = lineStart;
                *end = afterBreak;
                return;
            case QAccessible::LineBoundary: {
                const qsizetype row = log()->rowOf(at);
                *start = toOffset(log()->rowStart(row));
                const ConversationLog::Position next = log()->rowStart(row + 1);
                *end = row + 1 < log()->rowCount() && next.line == at.line ? toOffset(next)
                                                                           : afterBreak;
                return;
            }
            case QAccessible::CharBoundary:
                *start = offset;
                *end = std::min(size, offset + 1);
                return;
            case QAccessible::WordBoundary:
            case QAccessible::SentenceBoundary:
                break;
        }
        // Words and sentences within the shown line; its break stands alone.
        const QString line = log()->shownText(lineStart, lineEnd);
        if (offset >= lineEnd) {
            *start = offset;
            *end = std::min(size, offset + 1);
            return;
        }
        QTextBoundaryFinder finder(type == QAccessible::WordBoundary
                                       ? QTextBoundaryFinder::Word
                                       : QTextBoundaryFinder::Sentence,
                                   line);
        const int local = offset - lineStart;
        finder.setPosition(local);
        int from = local;
        if (!finder.isAtBoundary()) {
            from = static_cast<int>(finder.toPreviousBoundary());
        }
        finder.setPosition(local);
        const int to = static_cast<int>(finder.toNextBoundary());
        *start = lineStart + std::max(0, from);
        *end = lineStart + (to < 0 ? static_cast<int>(line.size()) : to);
    }
};

// -- the roster --------------------------------------------------------------

// One row of the list: its text, its selection state, its place on screen.
// Rows are handed out by number; once rows come or go the item is stale.
class AccessibleListItem : public QAccessibleInterface {
  public:
    AccessibleListItem(UniformListView* view, int row)
        : view_(view), row_(row), generation_(view->generation()) {}

    bool isValid() const override {
        return view_ != nullptr && view_->generation() == generation_ && row_ < view_->rowCount();
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override {
        return view_ != nullptr ? view_->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface* childAt(int /*x*/, int /*y*/) const override { return nullptr; }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(view_);
    }
    QAccessibleInterface* child(int /*index*/) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface* /*child*/) const override { return -1; }

    QString text(QAccessible::Text type) const override {
        if (!isValid()) {
            return {};
        }
        const QModelIndex at = index();
        switch (type) {
            case QAccessible::Name:
                return at.data(Qt::AccessibleTextRole).isValid()
                           ? at.data(Qt::AccessibleTextRole).toString()
                           : at.data(Qt::DisplayRole).toString();
            case QAccessible::Description:
                return at.data(Qt::AccessibleDescriptionRole).toString();
            default:
                return {};
        }
    }
    void setText(QAccessible::Text /*type*/, const QString& /*text*/) override {}
    QRect rect() const override {
        if (!isValid()) {
            return {};
        }
        const QRect box = view_->visualRect(index()).intersected(view_->viewport()->rect());
        return box.isEmpty() ? QRect()
                             : QRect(view_->viewport()->mapToGlobal(box.topLeft()), box.size());
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        state.selectable = true;
        state.focusable = true;
        const QModelIndex at = index();
        state.selected =
            view_->selectionModel() != nullptr && view_->selectionModel()->isSelected(at);
        state.focused = view_->hasFocus() && view_->currentIndex() == at;
        if (!view_->rowInSight(row_) || !view_->isVisible()) {
            state.offscreen = true;
        }
        return state;
    }

    [[nodiscard]] int row() const { return row_; }
    [[nodiscard]] const UniformListView* view() const { return view_; }

  private:
    [[nodiscard]] QModelIndex index() const {
        return view_->model()->index(row_, 0, view_->rootIndex());
    }

    QPointer<UniformListView> view_;
    int row_;
    quint64 generation_;
};

// The roster view as a list of its rows. The items are made when asked for
// and kept until rows come or go.
class AccessibleList : public QAccessibleWidget {
  public:
    explicit AccessibleList(UniformListView* view) : QAccessibleWidget(view, QAccessible::List) {}

    ~AccessibleList() override { forgetItems(); }

    int childCount() const override { return view()->rowCount(); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= view()->rowCount()) {
            return nullptr;
        }
        if (generation_ != view()->generation()) {
            forgetItems();
            generation_ = view()->generation();
        }
        const auto known = items_.constFind(index);
        if (known != items_.cend()) {
            return QAccessible::accessibleInterface(*known);
        }
        auto* item = new AccessibleListItem(view(), index);
        items_.insert(index, QAccessible::registerAccessibleInterface(item));
        return item;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (child != nullptr && child->role() == QAccessible::ListItem) {
            const auto* item = static_cast<const AccessibleListItem*>(child);
            if (item->view() == view() && item->isValid()) {
                return item->row();
            }
        }
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        const QPoint local = view()->viewport()->mapFromGlobal(QPoint(x, y));
        const QModelIndex at = view()->indexAt(local);
        return at.isValid() ? child(at.row()) : nullptr;
    }
    QAccessibleInterface* focusChild() const override {
        const QModelIndex current = view()->currentIndex();
        return view()->hasFocus() && current.isValid() ? child(current.row()) : nullptr;
    }

  private:
    [[nodiscard]] UniformListView* view() const { return static_cast<UniformListView*>(widget()); }

    void forgetItems() const {
        for (const QAccessible::Id id : std::as_const(items_)) {
            QAccessible::deleteAccessibleInterface(id);
        }
        items_.clear();
    }

    mutable QHash<int, QAccessible::Id> items_;
    mutable quint64 generation_ = 0;
};

QAccessibleInterface* accessibleViewFactory(const QString& key, QObject* object) {
    if (key == "ConversationLog"_L1) {
        if (auto* log = qobject_cast<ConversationLog*>(object)) {
            return new AccessibleLog(log);
        }
    }
    if (key == "UniformListView"_L1) {
        if (auto* view = qobject_cast<UniformListView*>(object)) {
            return new AccessibleList(view);
        }
    }
    return nullptr;
}

}  // namespace

void installAccessibleViews() {
    static bool installed = false;
    if (!installed) {
        QAccessible::installFactory(accessibleViewFactory);
        installed = true;
    }
}
