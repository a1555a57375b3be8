#include "app/window/GroupFrameStyle.h"

#include <QPainter>
#include <QStyleOption>

void GroupFrameStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                    QPainter* painter, const QWidget* widget) const {
    if (element != PE_FrameGroupBox) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    // As Fusion draws it: a darker outline, a lighter inner line, corners cut
    // by a pixel. Straight lines only: an antialiased rounded outline costs
    // more to rasterise than all the rest of the first paint.
    const QColor window = option->palette.color(QPalette::Window);
    const QRect r = option->rect.adjusted(0, 0, -1, -1);
    if (r.width() < 4 || r.height() < 4) {
        return;
    }
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(window.darker(140));
    painter->drawLine(r.left() + 2, r.top(), r.right() - 2, r.top());
    painter->drawLine(r.left() + 2, r.bottom(), r.right() - 2, r.bottom());
    painter->drawLine(r.left(), r.top() + 2, r.left(), r.bottom() - 2);
    painter->drawLine(r.right(), r.top() + 2, r.right(), r.bottom() - 2);
    painter->drawPoint(r.left() + 1, r.top() + 1);
    painter->drawPoint(r.right() - 1, r.top() + 1);
    painter->drawPoint(r.left() + 1, r.bottom() - 1);
    painter->drawPoint(r.right() - 1, r.bottom() - 1);
    painter->setPen(window.lighter(110));
    const QRect inner = r.adjusted(1, 1, -1, -1);
    painter->drawLine(inner.left() + 1, inner.top(), inner.right() - 1, inner.top());
    painter->drawLine(inner.left(), inner.top() + 1, inner.left(), inner.bottom() - 1);
    painter->restore();
}
