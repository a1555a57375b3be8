#pragma once

#include <QAbstractItemView>

class QTimer;

// A one-column list view whose rows all have the height of the first row.
// Where a row is follows from its number alone, so adding or removing a line
// costs the same at any length of the list: no layout of the whole list, and
// no repaint unless a line in sight changes. A line added or removed above
// the lines in sight moves the scroll position with it, so what is in sight
// stays put. The scroll bar follows the length of the list a few times a
// second rather than at every line, since repainting it costs more than the
// line. Lines too long for the width are elided.
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

  private:
    void rowsRemoved(const QModelIndex& parent, int start, int end);
    [[nodiscard]] int rowCount() const;
    [[nodiscard]] int rowHeight() const;
    [[nodiscard]] int topRow() const;
    // Rows that fit the viewport whole (at least one).
    [[nodiscard]] int pageRows() const;
    [[nodiscard]] bool rowInSight(int row) const;
    // Brings the scroll bar's range and position up to the list.
    void syncScrollBar();
    void scheduleScrollBarSync();

    mutable int rowHeight_ = 0;
    int top_ = 0;  // the first row in sight
    bool syncing_ = false;
    QTimer* syncTimer_ = nullptr;
};
