#pragma once

// Screen readers see the custom views as what they stand for: the
// conversation log as a read-only multi-line text (its text, character
// count, caret, selection, character boxes, the offset at a point), and the
// roster as a list whose rows are items with their text and selection state.
// Qt gives its own text boxes and list views such interfaces; these views
// bring their own through a factory that this installs. The program installs
// it once at start, before any window is made; calling it again does no harm.
void installAccessibleViews();
