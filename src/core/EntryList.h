#pragma once

#include <QHash>
#include <QItemSelectionModel>
#include <QObject>
#include <QStringList>
#include <QStringListModel>
#include <QStringView>

// A list of lines with at most one selected line: the directory (kept in the
// user's order) and the roster (kept sorted). The list views of the window
// show model() and share selectionModel(), so the selection a person makes
// is the one these methods read.
//
// Beside the lines the list keeps the match key of every line (see
// matchKey()) and how many lines have each key, so that a line that is not
// there is known to be missing without reading the list: a peer can relay
// any number of new directory lines, and each is looked up before it goes
// in. The keys follow every change of the model, whether it comes through
// these methods or straight through model().
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
    // A line that is not there costs the same whatever the list's length; a
    // line that is there is found by reading the keys from the start.
    [[nodiscard]] int indexOf(const QString& text) const;
    // Whether indexOf(text) finds a line; for the directory (AsGiven) the
    // answer never reads the list.
    [[nodiscard]] bool contains(const QString& text) const;

    // The key two lines share exactly when QString::compare calls them equal
    // with Qt::CaseInsensitive: every UTF-16 unit folded by the simple case
    // folding, a low surrogate that follows a high one folded together with
    // it as one code point (written as a surrogate pair after the high
    // unit, which compare takes as it is).
    [[nodiscard]] static QString matchKey(QStringView line);

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

    // Keeping the keys in step with the model.
    void countKey(const QString& key);
    void uncountKey(const QString& key);
    void keysInserted(int first, int last);
    void keysRemoved(int first, int last);
    void keysChanged(int first, int last);
    void rebuildKeys();

    Order order_;
    QStringListModel model_;
    QItemSelectionModel selection_;
    // The key of every row, in row order: a change of a row's text reaches
    // the list only after the old text is gone, so the old key is read here.
    QStringList keys_;
    // How many rows have each key; keys with no row are not kept.
    QHash<QString, int> keyCounts_;
};
