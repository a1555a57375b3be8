#pragma once

#include <QString>

#include <exception>
#include <functional>

// The texts of the standard error report, which showErrorBox shows.

// The text the report shows: the message with "." added when its last
// character sorts after "." in the program's code page.
[[nodiscard]] QString errorReportText(const QString& message);

// The message an escaped exception carries: the program's Exception its own
// text, any other standard exception its what(), anything else a general note.
[[nodiscard]] QString exceptionMessage(const std::exception_ptr& error);

// Shows the standard error report for a message: through the reporter that
// the application object installed, or in a box of its own without one (a
// test of a single window).
void reportErrorMessage(const QString& message);
// Installs the reporter; none (the default) for the box.
using ErrorReporter = std::function<void(const QString& message)>;
void setErrorReporter(ErrorReporter reporter);

// Writes the text to standard error as one line (its line breaks become
// "; "), for when nobody is there to answer a box.
void writeErrorLine(const QString& text);
