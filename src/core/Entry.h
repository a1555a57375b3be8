#pragma once

#include <QString>

// An entry is one line naming a correspondent: NAME " _|_ " ADDRESS. The same
// form is used in the directory, in the roster and inside control datagrams.

inline const QString kEntrySeparator = QStringLiteral("_|_");

// Name and address with the blanks around them cut and upper-cased, joined by
// a blank, the separator and a blank.
[[nodiscard]] QString makeEntry(QString name, QString address);

// The two parts of an entry.
struct EntryParts {
    QString name;
    QString address;
    // False, with both parts empty, when the text holds no separator or
    // only blanks.
    bool isEntry = false;
};

// Splits at the first separator after cutting the blanks around the whole
// text; name and address have their blanks cut, their case is kept.
[[nodiscard]] EntryParts splitEntry(QString entry);

// The self name as sent to others: the field's text with its blanks cut,
// upper-cased and cleaned of protocol text (cleanSelfName). The field itself
// keeps the text as typed.
[[nodiscard]] QString normalizeSelfName(QString text);

// The self name used when the settings hold none.
inline const QString kDefaultSelfName = QStringLiteral("???");
