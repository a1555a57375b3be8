#pragma once

#include <QString>

struct SweepProgress;

// The Russian texts of the network search: its command, its dialog, its
// progress line and its messages.
namespace SweepTexts {

[[nodiscard]] QString command();  // the menu item
[[nodiscard]] QString dialogTitle();
[[nodiscard]] QString dialogPrompt();  // above the range list
[[nodiscard]] QString startButton();
[[nodiscard]] QString cancelButton();  // of the dialog
[[nodiscard]] QString malformedLine(int lineNumber, const QString& line);
[[nodiscard]] QString tooManyAddresses(qint64 covered);
[[nodiscard]] QString nothingToAsk();
[[nodiscard]] QString confirmMany(int count);
[[nodiscard]] QString progress(const SweepProgress& progress, bool waiting);
[[nodiscard]] QString summary(const SweepProgress& progress, bool cancelled);
[[nodiscard]] QString stopButton();  // of the progress line, while the search runs
[[nodiscard]] QString hideButton();  // of the progress line, once it is over

}  // namespace SweepTexts
