#pragma once

#include <QString>

#include <memory>

class QMessageBox;
class QWidget;

// Every message box of the program is built here, the same way: modal, the
// text shown as plain text (peers' names and addresses appear as typed,
// never as markup), and the program's own button texts, the same in every
// locale and theme.

// The plain message: captioned with the application title, no icon, one OK
// button.
[[nodiscard]] std::unique_ptr<QMessageBox> makePlainMessage(const QString& text, QWidget* parent);
// Shows a plain message and waits for OK.
void showPlainMessage(const QString& text, QWidget* parent);

// The confirmation box: titled "Confirm", the question icon, "OK" (the
// default, answering Enter) and "Cancel" (also the answer to Escape and to
// the close box), centred on the screen. True only when the answer is "OK".
// The parent only ties the box to its window (modality, task bar).
[[nodiscard]] bool confirm(const QString& question, QWidget* parent = nullptr);

// The standard error report: the error icon, one OK button, the caption.
void showErrorBox(const QString& caption, const QString& text);

// A plain box before the application has its title: captioned with the
// caption given (the executable's name), no icon, one OK button.
void showCaptionedMessage(const QString& caption, const QString& text);
