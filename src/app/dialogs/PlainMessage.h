#pragma once

#include <QString>

#include <memory>

class QMessageBox;
class QWidget;

// The program's plain message: a modal box captioned with the application
// title, without an icon, with one OK button, the text shown as plain text
// (peers' names and addresses appear as typed, never as markup).
[[nodiscard]] std::unique_ptr<QMessageBox> makePlainMessage(const QString& text, QWidget* parent);

// Shows a plain message and waits for OK.
void showPlainMessage(const QString& text, QWidget* parent);
