#pragma once

#include <QItemSelectionModel>
#include <QObject>
#include <QStringList>
#include <QStringListModel>

// A list of lines with at most one selected line: the directory (kept in the
// user's order) and the roster (kept sorted). The list views of the window
// show model() and share selectionModel(), so the selection a person makes
// is the one these methods read.
class EntryList : public QObject {
    Q_OBJECT
  public:
    enum class Order { AsGiven, Sorted };

    explicit EntryList(Order order, QObject* parent = nullptr);

    [[nodiscard]] int count() const;
    [[nodiscard]] QString line(int index) const;
    [[nodiscard]] QStringList lines() const;

    // Index of the selected line, or -1.
    [[nodiscard]] int selectedIndex() const;
    // Selects the line at index; -1 (or any index outside the list) selects none.
    void setSelectedIndex(int index);

    // Index of the first line equal to text ignoring letter case, or -1.
    // A sorted list finds it by binary search.
    [[nodiscard]] int indexOf(const QString& text) const;

    // Appends (AsGiven) or inserts at the sorted place, after equal lines
    // (Sorted). Returns the new line's index.
    int add(const QString& text);
    // Inserts before the line at index (AsGiven lists only); an index outside
    // the list appends.
    void insert(int index, const QString& text);
    // Replaces the line at index; index -1 appends the line and leaves no
    // line selected. The selection stays where it was.
    void replace(int index, const QString& text);
    void remove(int index);
    void clear();
    // Replaces the whole content (sorted, equal lines in the given order, for
    // a Sorted list); no line is selected afterwards.
    void setLines(const QStringList& lines);

    [[nodiscard]] QStringListModel* model() { return &model_; }
    [[nodiscard]] QItemSelectionModel* selectionModel() { return &selection_; }

  private:
    [[nodiscard]] int sortedPosition(const QString& text) const;

    Order order_;
    QStringListModel model_;
    QItemSelectionModel selection_;
};
