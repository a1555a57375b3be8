#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

// Pictures of the program, drawn in code so that no image file is needed.
// The icons draw each size when it is first asked for.

// The program's picture: two speech bubbles. size is the side in pixels.
[[nodiscard]] QPixmap programPicture(int size);

// The same picture as an SVG document, for the desktop's icon theme.
[[nodiscard]] QString programPictureSvg();

// The program's window icon, in several sizes.
[[nodiscard]] QIcon programIcon();

// The About button's glyph: a question mark in a circle.
[[nodiscard]] QIcon aboutGlyph();

// The send button's glyph: an arrow pointing right.
[[nodiscard]] QIcon sendGlyph();
