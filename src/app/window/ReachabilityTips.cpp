#include "app/window/ReachabilityTips.h"

#include "core/Entry.h"
#include "core/Reachability.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QToolTip>

ReachabilityTips::ReachabilityTips(QAbstractItemView* view, const Reachability& reachability,
                                   QObject* parent)
    : QObject(parent), view_(view), reachability_(reachability) {
    view_->viewport()->installEventFilter(this);
}

QString ReachabilityTips::textFor(int row) const {
    const QAbstractItemModel* model = view_->model();
    if (model == nullptr || row < 0 || row >= model->rowCount()) {
        return {};
    }
    const QString address = splitEntry(model->index(row, 0).data().toString()).address;
    return address.isEmpty() ? QString() : reachability_.describe(address);
}

bool ReachabilityTips::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ToolTip || watched != view_->viewport()) {
        return QObject::eventFilter(watched, event);
    }
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = view_->indexAt(help->pos());
    const QString text = textFor(index.isValid() ? index.row() : -1);
    if (text.isEmpty()) {
        QToolTip::hideText();
    } else {
        QToolTip::showText(help->globalPos(), text, view_->viewport(), view_->visualRect(index));
    }
    return true;
}
