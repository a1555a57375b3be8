#pragma once

#include <QStringView>

// The order of the roster, the same on every machine whatever its locale:
// lines compared ignoring letter case, character by character by their
// Windows-1251 code, except that Ё comes right after Е. A line that is a
// prefix of another comes first.
// Negative, zero or positive, as a < b, a == b, a > b.
[[nodiscard]] int compareRosterLines(QStringView a, QStringView b);
