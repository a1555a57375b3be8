#pragma once

#include <QProxyStyle>

// The application's style with one change: a group box frame is drawn as a
// rounded line in the palette's colours. The Fusion style draws it from a
// picture file, and reading that picture loads every image format plugin
// (GIF, ICO, JPEG …) at start, for nothing else.
class GroupFrameStyle : public QProxyStyle {
  public:
    using QProxyStyle::QProxyStyle;

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
};
