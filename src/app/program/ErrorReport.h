#pragma once

#include <QString>

#include <exception>

// The texts of the standard error report, which showErrorBox shows.

// The text the report shows: the message with "." added when its last
// character sorts after "." in the program's code page.
[[nodiscard]] QString errorReportText(const QString& message);

// The message an escaped exception carries: the program's Exception its own
// text, any other standard exception its what(), anything else a general note.
[[nodiscard]] QString exceptionMessage(const std::exception_ptr& error);

// Writes the text to standard error as one line (its line breaks become
// "; "), for when nobody is there to answer a box.
void writeErrorLine(const QString& text);
