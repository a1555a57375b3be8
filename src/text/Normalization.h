#pragma once

#include <QString>

// The two text operations every part of the program uses on names, entries
// and datagram texts. Both work in place and never depend on the locale.

// Removes blank characters (U+0020 only) first from the end, then from the
// start. Tabs and every other character stay.
void cutSpaces(QString& text);

// Upper-cases the Cyrillic letters а..я and ё and the Latin letters a..z by a
// fixed table. Every other character, other Cyrillic letters such as і or є
// included, is left as it is.
void upperCaseRussianLatin(QString& text);

// Convenience forms that return a new text.
[[nodiscard]] QString cutSpacesCopy(QString text);
[[nodiscard]] QString upperCaseRussianLatinCopy(QString text);
