#include "app/widgets/Glyphs.h"

#include <QApplication>
#include <QFont>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QStringList>

#include <QStyle>
#include <QStyleOption>
#include <algorithm>
#include <vector>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

QPixmap transparentPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// A rounded bubble with a tail at its lower left (or lower right when mirrored).
QPainterPath bubble(const QRectF& body, bool tailRight) {
    QPainterPath path;
    path.addRoundedRect(body, body.height() * 0.35, body.height() * 0.35);
    const qreal tailX =
        tailRight ? body.right() - body.width() * 0.3 : body.left() + body.width() * 0.3;
    const qreal tipX =
        tailRight ? body.right() - body.width() * 0.1 : body.left() + body.width() * 0.1;
    QPainterPath tail;
    tail.moveTo(tailX - body.width() * 0.12, body.bottom() - 1);
    tail.lineTo(tipX, body.bottom() + body.height() * 0.35);
    tail.lineTo(tailX + body.width() * 0.12, body.bottom() - 1);
    tail.closeSubpath();
    return path.united(tail);
}

// An icon drawn in code when a size of it is first asked for, so that a
// start paints only the sizes that are shown. draw paints one square of side
// s; each size is drawn once.
class DrawnIconEngine final : public QIconEngine {
  public:
    using Draw = std::function<void(QPainter&, qreal)>;

    DrawnIconEngine(Draw draw, QList<int> sides)
        : draw_(std::move(draw)), sides_(std::move(sides)) {}

    QIconEngine* clone() const override { return new DrawnIconEngine(draw_, sides_); }
    QString key() const override { return u"drawn"_s; }

    QList<QSize> availableSizes(QIcon::Mode /*mode*/, QIcon::State /*state*/) override {
        QList<QSize> sizes;
        for (const int side : sides_) {
            sizes.append(QSize(side, side));
        }
        return sizes;
    }

    QSize actualSize(const QSize& size, QIcon::Mode /*mode*/, QIcon::State /*state*/) override {
        const int side = std::min(size.width(), size.height());
        return {side, side};
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State /*state*/) override {
        const int side = std::min(size.width(), size.height());
        if (side <= 0) {
            return {};
        }
        auto drawn = drawn_.constFind(side);
        if (drawn == drawn_.cend()) {
            QPixmap picture = transparentPixmap(side);
            QPainter p(&picture);
            p.setRenderHint(QPainter::Antialiasing);
            draw_(p, static_cast<qreal>(side));
            p.end();
            drawn = drawn_.insert(side, picture);
        }
        if (mode == QIcon::Disabled) {
            QStyleOption option;
            return QApplication::style()->generatedIconPixmap(QIcon::Disabled, *drawn, &option);
        }
        return *drawn;
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }

  private:
    Draw draw_;
    QList<int> sides_;
    QHash<int, QPixmap> drawn_;
};

// A glyph for the small sizes of buttons.
QIcon drawnGlyph(DrawnIconEngine::Draw draw) {
    return QIcon(new DrawnIconEngine(std::move(draw), {16, 24, 32}));
}

}  // namespace

namespace {

// One filled, outlined shape of the program's picture.
struct Shape {
    QPainterPath path;
    QColor outline;  // invalid: no outline
    QColor fill;
};

// The program's picture in a square of side s: two speech bubbles, the front
// one with three dots of speech. The pixel and the vector forms both draw
// these shapes.
std::vector<Shape> programShapes(qreal s) {
    std::vector<Shape> shapes;
    shapes.push_back({bubble(QRectF(s * 0.30, s * 0.06, s * 0.64, s * 0.42), true),
                      QColor(0x1d, 0x4e, 0x89), QColor(0x5b, 0x9b, 0xd5)});
    shapes.push_back({bubble(QRectF(s * 0.06, s * 0.36, s * 0.64, s * 0.42), false),
                      QColor(0xa0, 0x52, 0x00), QColor(0xf5, 0xa6, 0x23)});
    const qreal r = s * 0.045;
    for (int i = 0; i < 3; ++i) {
        QPainterPath dot;
        dot.addEllipse(QPointF(s * (0.22 + 0.16 * i), s * 0.57), r, r);
        shapes.push_back({dot, QColor(), QColor(Qt::white)});
    }
    return shapes;
}

qreal outlineWidth(qreal s) {
    return std::max(1.0, s / 32.0);
}

QString svgNumber(qreal value) {
    return QString::number(value, 'f', 2);
}

// The path as SVG path data: moves, lines and cubic curves.
QString svgPathData(const QPainterPath& path) {
    QStringList parts;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        const QString point = svgNumber(e.x) + u' ' + svgNumber(e.y);
        switch (e.type) {
            case QPainterPath::MoveToElement:
                parts.append(u"M "_s + point);
                break;
            case QPainterPath::LineToElement:
                parts.append(u"L "_s + point);
                break;
            case QPainterPath::CurveToElement:
                parts.append(u"C "_s + point);
                break;
            case QPainterPath::CurveToDataElement:
                parts.append(point);
                break;
        }
    }
    return parts.join(u' ');
}

}  // namespace

QPixmap programPicture(int size) {
    QPixmap pixmap = transparentPixmap(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    for (const Shape& shape : programShapes(s)) {
        p.setPen(shape.outline.isValid() ? QPen(shape.outline, outlineWidth(s)) : QPen(Qt::NoPen));
        p.setBrush(shape.fill);
        p.drawPath(shape.path);
    }
    return pixmap;
}

QString programPictureSvg() {
    constexpr qreal s = 256;
    QString svg =
        u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        u"<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
        u"viewBox=\"0 0 256 256\">\n"_s;
    for (const Shape& shape : programShapes(s)) {
        svg += u"  <path d=\""_s + svgPathData(shape.path) + u"\" fill=\""_s + shape.fill.name() +
               u"\" fill-rule=\""_s +
               (shape.path.fillRule() == Qt::WindingFill ? u"nonzero"_s : u"evenodd"_s) + u'"';
        if (shape.outline.isValid()) {
            svg += u" stroke=\""_s + shape.outline.name() + u"\" stroke-width=\""_s +
                   svgNumber(outlineWidth(s)) + u'"';
        }
        svg += u"/>\n"_s;
    }
    svg += u"</svg>\n"_s;
    return svg;
}

QIcon programIcon() {
    // The window hands every size to the window system when it is first
    // shown, each drawn then; past 64 pixels a picture costs the start more
    // than a task bar or a tray gains from it.
    return QIcon(new DrawnIconEngine(
        [](QPainter& p, qreal s) { p.drawPixmap(0, 0, programPicture(static_cast<int>(s))); },
        {16, 24, 32, 48, 64}));
}

QIcon aboutGlyph() {
    return drawnGlyph([](QPainter& p, qreal s) {
        p.setPen(QPen(QColor(0x1d, 0x4e, 0x89), std::max(1.0, s / 16.0)));
        p.setBrush(QColor(0x5b, 0x9b, 0xd5));
        p.drawEllipse(QRectF(s * 0.06, s * 0.06, s * 0.88, s * 0.88));
        QFont font;
        font.setBold(true);
        font.setPixelSize(static_cast<int>(s * 0.7));
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRectF(0, 0, s, s), Qt::AlignCenter, u"?"_s);
    });
}

QIcon sendGlyph() {
    return drawnGlyph([](QPainter& p, qreal s) {
        QPainterPath arrow;
        arrow.moveTo(s * 0.08, s * 0.36);
        arrow.lineTo(s * 0.52, s * 0.36);
        arrow.lineTo(s * 0.52, s * 0.14);
        arrow.lineTo(s * 0.94, s * 0.50);
        arrow.lineTo(s * 0.52, s * 0.86);
        arrow.lineTo(s * 0.52, s * 0.64);
        arrow.lineTo(s * 0.08, s * 0.64);
        arrow.closeSubpath();
        p.setPen(QPen(QColor(0x1e, 0x6b, 0x24), std::max(1.0, s / 16.0)));
        p.setBrush(QColor(0x4c, 0xaf, 0x50));
        p.drawPath(arrow);
    });
}
