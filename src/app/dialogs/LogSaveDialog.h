#pragma once

#include <QString>
#include <QStringList>

class QFileDialog;
class QWidget;

// The save dialog of the conversation log, configured the same way on every
// desktop: Qt's own dialog (never the desktop's native one, whose order of
// "add the extension" and "ask before replacing" differs between platforms),
// a typed name without an extension gets ".TXT", saving over an existing file
// always asks first, and the text-file filter shows .txt of any letter case.
// The dialog belongs to parent.
[[nodiscard]] QFileDialog* createLogSaveDialog(QWidget* parent);

// The patterns of the "Текстовые файлы" filter, "*.TXT" first: the dialog
// takes the first pattern's extension when the person switches filters.
[[nodiscard]] QStringList textFilePatterns();
