#pragma once

#include <QAbstractItemView>

class QTimer;

// A one-column list view whose rows all have one height: the tallest of the
// rows measured so far (each row as it is added, and every row as it is
// painted). Where a row is follows from its number alone, so adding or
// removing a line costs the same at any length of the list: no layout of the
// whole list, and no repaint unless a line in sight changes. A line added or
// removed above the lines in sight moves the scroll position with it, so what
// is in sight stays put. The scroll bar follows the length of the list a few
// times a second rather than at every line, since repainting it costs more
// than the line. Lines too long for the width are elided; the row under the
// mouse shows its hover state. To a screen reader it is a list of items, each
// with its text and selection state (AccessibleViews).
//
// Why not a stock QListView: bench_roster runs both on the same work, a
// sorted roster of 10,000 lines shown, a line looked up by binary search and
// then added or removed, an event loop pass after each. On the development
// machine (release build, bench/run-all.sh on Xvfb) this view takes 11 us an
// add and 8 us a remove; QListView with uniform item sizes takes 824 us and
// 822 us (716 and 713 offscreen), since it walks all its rows again after
// every change: sixteen times the goal of 50 us. The binary search is the
// same in both runs, so the view alone makes the difference.
class UniformListView : public QAbstractItemView {
    Q_OBJECT
  public:
    explicit UniformListView(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;
    [[nodiscard]] QRect visualRect(const QModelIndex& index) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    [[nodiscard]] QModelIndex indexAt(const QPoint& point) const override;
    void reset() override;

  protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    [[nodiscard]] int horizontalOffset() const override { return 0; }
    [[nodiscard]] int verticalOffset() const override;
    [[nodiscard]] bool isIndexHidden(const QModelIndex& /*index*/) const override { return false; }
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
    [[nodiscard]] QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    void updateGeometries() override;
    void paintEvent(QPaintEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent* event) override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    bool viewportEvent(QEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;

  public:
    // Changes whenever rows come, go or are replaced, so that what was
    // handed out by row number (the accessible items) can tell it is stale.
    [[nodiscard]] quint64 generation() const { return generation_; }
    [[nodiscard]] int rowCount() const;
    // Whether the row is in sight (wholly or in part).
    [[nodiscard]] bool rowInSight(int row) const;

  private:
    void rowsRemoved(const QModelIndex& parent, int start, int end);
    [[nodiscard]] int rowHeight() const;
    // Makes the rows at least as tall as the row needs; true when they grew.
    bool measureRow(int row) const;
    [[nodiscard]] int topRow() const;
    // Rows that fit the viewport whole (at least one).
    [[nodiscard]] int pageRows() const;
    void setHoverRow(int row);
    // Brings the scroll bar's range and position up to the list.
    void syncScrollBar();
    void scheduleScrollBarSync();

    mutable int rowHeight_ = 0;
    int top_ = 0;  // the first row in sight
    bool syncing_ = false;
    QTimer* syncTimer_ = nullptr;
    int hoverRow_ = -1;
    quint64 generation_ = 0;
};
