#include "core/ListAddresses.h"

#include "core/Entry.h"
#include "core/EntryList.h"
#include "text/Normalization.h"

#include <QStringListModel>

ListAddresses::ListAddresses(EntryList& list, QObject* parent) : QObject(parent), list_(list) {
    QStringListModel* model = list.model();
    const auto markStale = [this] { stale_ = true; };
    connect(model, &QAbstractItemModel::rowsInserted, this, markStale);
    connect(model, &QAbstractItemModel::rowsRemoved, this, markStale);
    connect(model, &QAbstractItemModel::rowsMoved, this, markStale);
    connect(model, &QAbstractItemModel::dataChanged, this, markStale);
    connect(model, &QAbstractItemModel::modelReset, this, markStale);
    connect(model, &QAbstractItemModel::layoutChanged, this, markStale);
}

bool ListAddresses::contains(const QString& address) const {
    if (stale_) {
        rebuild();
    }
    return addresses_.contains(address);
}

void ListAddresses::rebuild() const {
    addresses_.clear();
    for (int i = 0; i < list_.count(); ++i) {
        QString name;
        QString address;
        splitEntry(list_.line(i), name, address);
        cutSpaces(address);
        if (!address.isEmpty()) {
            addresses_.insert(address);
        }
    }
    stale_ = false;
}
