#include "core/ListAddresses.h"

#include "core/Entry.h"
#include "core/EntryList.h"
#include "text/Normalization.h"

#include <QStringListModel>

#include <algorithm>

ListAddresses::ListAddresses(EntryList& list, QObject* parent) : QObject(parent), list_(list) {
    QStringListModel* model = list.model();
    // A list model has no child rows; changes under a valid parent do not
    // concern it.
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex& parent, int first, int last) {
                if (parent.isValid()) {
                    return;
                }
                for (int row = first; row <= last; ++row) {
                    rows_.insert(row, addressAt(row));
                    count(rows_.at(row));
                }
            });
    connect(model, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex& parent, int first, int last) {
                if (parent.isValid()) {
                    return;
                }
                for (int row = std::min(last, int(rows_.size()) - 1); row >= first; --row) {
                    uncount(rows_.at(row));
                    rows_.removeAt(row);
                }
            });
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                if (!topLeft.isValid() || !bottomRight.isValid() || topLeft.parent().isValid()) {
                    return;
                }
                for (int row = topLeft.row(); row <= bottomRight.row() && row < rows_.size();
                     ++row) {
                    uncount(rows_.at(row));
                    rows_[row] = addressAt(row);
                    count(rows_.at(row));
                }
            });
    // Changes of many rows at once are rare: they start again.
    connect(model, &QAbstractItemModel::rowsMoved, this, &ListAddresses::rebuild);
    connect(model, &QAbstractItemModel::modelReset, this, &ListAddresses::rebuild);
    connect(model, &QAbstractItemModel::layoutChanged, this, &ListAddresses::rebuild);
    rebuild();
}

QString ListAddresses::addressAt(int row) const {
    return splitEntry(list_.line(row)).address;
}

void ListAddresses::count(const QString& address) {
    if (!address.isEmpty()) {
        ++counts_[address];
    }
}

void ListAddresses::uncount(const QString& address) {
    const auto found = counts_.find(address);
    if (found != counts_.end() && --*found <= 0) {
        counts_.erase(found);
    }
}

void ListAddresses::rebuild() {
    rows_.clear();
    counts_.clear();
    for (int row = 0; row < list_.count(); ++row) {
        rows_.append(addressAt(row));
        count(rows_.constLast());
    }
}
