#include "core/EntryList.h"

#include "core/RosterOrder.h"

#include <algorithm>

EntryList::EntryList(Order order, QObject* parent)
    : QObject(parent), order_(order), model_(this), selection_(&model_, this) {}

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
    for (int i = 0; i < all.size(); ++i) {
        if (all.at(i).compare(text, Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
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
