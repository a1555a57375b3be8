#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// The status line's clock: the time in the locale's long format without its
// time zone, two blanks, the date in the locale's short format.
[[nodiscard]] QString clockText(const QDateTime& now, const QLocale& locale);

// The same for the current moment and the user's regional settings.
[[nodiscard]] QString clockText();

// A time format with its time-zone field removed, together with the
// brackets that enclosed it and the blanks or comma that set it apart.
// Quoted literal text is left untouched.
[[nodiscard]] QString withoutTimeZone(const QString& timeFormat);
