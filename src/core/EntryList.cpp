#include "core/EntryList.h"

#include "core/RosterOrder.h"

#include <algorithm>

EntryList::EntryList(Order order, QObject* parent)
    : QObject(parent), order_(order), model_(this), selection_(&model_, this) {
    // The keys follow the model itself, so that a view or a command that
    // edits model() directly cannot leave them behind. A list model has no
    // child rows; changes under a valid parent do not concern it.
    connect(&model_, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex& parent, int first, int last) {
                if (!parent.isValid()) {
                    keysInserted(first, last);
                }
            });
    connect(&model_, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex& parent, int first, int last) {
                if (!parent.isValid()) {
                    keysRemoved(first, last);
                }
            });
    connect(&model_, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                if (topLeft.isValid() && bottomRight.isValid() && !topLeft.parent().isValid()) {
                    keysChanged(topLeft.row(), bottomRight.row());
                }
            });
    // New content, or the same lines in another order: rare, read afresh.
    connect(&model_, &QAbstractItemModel::modelReset, this, &EntryList::rebuildKeys);
    connect(&model_, &QAbstractItemModel::layoutChanged, this, &EntryList::rebuildKeys);
    connect(&model_, &QAbstractItemModel::rowsMoved, this, &EntryList::rebuildKeys);
    rebuildKeys();
}

QString EntryList::matchKey(QStringView line) {
    // QString::compare with Qt::CaseInsensitive compares unit by unit: each
    // unit is folded by itself, except that a low surrogate right after a
    // high one is folded as the code point the pair makes (the high unit,
    // a surrogate, folds to itself). The key writes down that sequence of
    // folded values, one unit for a value below 0x10000 and a surrogate
    // pair above it. The writing cannot be read two ways: a pair in the key
    // is always a folded code point, since a high unit that stands for
    // itself is never followed by a low unit that stands for itself (that
    // low unit would have been folded with it). So equal keys mean equal
    // values, the same length included, which is what compare calls equal.
    QString key;
    key.reserve(line.size());
    char16_t previous = 0;
    for (const QChar unit : line) {
        const char16_t code = unit.unicode();
        if (code < 0x80) {
            key.append(QChar(code >= u'A' && code <= u'Z' ? char16_t(code + 0x20) : code));
        } else if (QChar::isLowSurrogate(code) && QChar::isHighSurrogate(previous)) {
            const char32_t folded = QChar::toCaseFolded(QChar::surrogateToUcs4(previous, code));
            if (QChar::requiresSurrogates(folded)) {
                key.append(QChar(QChar::highSurrogate(folded)));
                key.append(QChar(QChar::lowSurrogate(folded)));
            } else {
                key.append(QChar(static_cast<char16_t>(folded)));
            }
        } else {
            key.append(unit.toCaseFolded());
        }
        previous = code;
    }
    return key;
}

void EntryList::countKey(const QString& key) {
    ++keyCounts_[key];
}

void EntryList::uncountKey(const QString& key) {
    const auto found = keyCounts_.find(key);
    if (found == keyCounts_.end()) {
        return;
    }
    if (--found.value() <= 0) {
        keyCounts_.erase(found);
    }
}

void EntryList::keysInserted(int first, int last) {
    const QStringList& all = model_.stringList();
    if (first < 0 || last < first || first > keys_.size() ||
        all.size() != keys_.size() + (last - first + 1)) {
        rebuildKeys();  // not a change this list can follow step by step
        return;
    }
    QStringList added;
    added.reserve(last - first + 1);
    for (int row = first; row <= last; ++row) {
        added.append(matchKey(all.at(row)));
        countKey(added.constLast());
    }
    if (first == keys_.size()) {
        keys_.append(added);
    } else {
        keys_.insert(first, added.size(), QString());
        std::move(added.begin(), added.end(), keys_.begin() + first);
    }
}

void EntryList::keysRemoved(int first, int last) {
    if (first < 0 || last < first || last >= keys_.size() ||
        model_.rowCount() != keys_.size() - (last - first + 1)) {
        rebuildKeys();
        return;
    }
    for (int row = first; row <= last; ++row) {
        uncountKey(keys_.at(row));
    }
    keys_.remove(first, last - first + 1);
}

void EntryList::keysChanged(int first, int last) {
    const QStringList& all = model_.stringList();
    if (all.size() != keys_.size()) {
        rebuildKeys();
        return;
    }
    first = std::max(first, 0);
    last = std::min(last, static_cast<int>(keys_.size()) - 1);
    for (int row = first; row <= last; ++row) {
        QString key = matchKey(all.at(row));
        if (key != keys_.at(row)) {
            uncountKey(keys_.at(row));
            countKey(key);
            keys_[row] = std::move(key);
        }
    }
}

void EntryList::rebuildKeys() {
    const QStringList& all = model_.stringList();
    keys_.clear();
    keyCounts_.clear();
    keys_.reserve(all.size());
    for (const QString& line : all) {
        keys_.append(matchKey(line));
        countKey(keys_.constLast());
    }
}

int EntryList::count() const {
    return model_.rowCount();
}

QString EntryList::line(int index) const {
    return model_.data(model_.index(index), Qt::DisplayRole).toString();
}

QStringList EntryList::lines() const {
    return model_.stringList();
}

int EntryList::selectedIndex() const {
    const QModelIndexList rows = selection_.selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void EntryList::setSelectedIndex(int index) {
    if (index < 0 || index >= count()) {
        selection_.clear();
        return;
    }
    selection_.setCurrentIndex(model_.index(index), QItemSelectionModel::ClearAndSelect);
}

int EntryList::indexOf(const QString& text) const {
    const QString key = matchKey(text);
    if (!keyCounts_.contains(key)) {
        return -1;  // no line equal to it ignoring case
    }
    const QStringList& all = model_.stringList();
    if (order_ == Order::Sorted) {
        // The roster order compares ignoring letter case, so lines equal
        // ignoring case stand together, the first at the lower bound.
        const auto first = std::lower_bound(all.begin(), all.end(), text,
                                            [](const QString& line, const QString& key) {
                                                return compareRosterLines(line, key) < 0;
                                            });
        if (first != all.end() && first->compare(text, Qt::CaseInsensitive) == 0) {
            return static_cast<int>(first - all.begin());
        }
        return -1;
    }
    // Equal keys are lines that compare equal ignoring case.
    return static_cast<int>(keys_.indexOf(key));
}

bool EntryList::contains(const QString& text) const {
    if (order_ == Order::Sorted) {
        return indexOf(text) >= 0;  // the answer of the halving search, O(log n)
    }
    return keyCounts_.contains(matchKey(text));
}

int EntryList::sortedPosition(const QString& text) const {
    const QStringList& all = model_.stringList();
    // Upper bound: the new line goes after the lines equal to it.
    int low = 0;
    int high = static_cast<int>(all.size());
    while (low < high) {
        const int mid = low + (high - low) / 2;
        if (compareRosterLines(all.at(mid), text) <= 0) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return low;
}

int EntryList::add(const QString& text) {
    const int at = order_ == Order::Sorted ? sortedPosition(text) : count();
    model_.insertRow(at);
    model_.setData(model_.index(at), text);
    return at;
}

void EntryList::insert(int index, const QString& text) {
    if (order_ == Order::Sorted) {
        add(text);
        return;
    }
    const int at = (index < 0 || index > count()) ? count() : index;
    model_.insertRow(at);
    model_.setData(model_.index(at), text);
}

void EntryList::replace(int index, const QString& text) {
    if (index < 0 || index >= count()) {
        model_.insertRow(count());
        model_.setData(model_.index(count() - 1), text);
        selection_.clear();
        return;
    }
    model_.setData(model_.index(index), text);
}

void EntryList::remove(int index) {
    if (index >= 0 && index < count()) {
        model_.removeRow(index);
    }
}

void EntryList::clear() {
    setLines({});
}

void EntryList::setLines(const QStringList& lines) {
    selection_.clear();
    if (order_ == Order::Sorted) {
        // A sorted list stays sorted, so that its searches can halve.
        QStringList sorted = lines;
        std::stable_sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
            return compareRosterLines(a, b) < 0;
        });
        model_.setStringList(sorted);
        return;
    }
    model_.setStringList(lines);
}
