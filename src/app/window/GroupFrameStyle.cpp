#include "app/window/GroupFrameStyle.h"

#include <QPainter>
#include <QStyleOption>

void GroupFrameStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                    QPainter* painter, const QWidget* widget) const {
    if (element != PE_FrameGroupBox) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    // As Fusion draws it: a darker outline, a lighter inner line, round corners.
    const QColor window = option->palette.color(QPalette::Window);
    const QRectF frame = QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setBrush(Qt::NoBrush);
    painter->setPen(window.darker(140));
    painter->drawRoundedRect(frame, 2, 2);
    painter->setPen(window.lighter(110));
    painter->drawRoundedRect(frame.adjusted(1, 1, -1, -1), 1.5, 1.5);
    painter->restore();
}
