#pragma once

#include <QString>

// The program's title, shown in the task bar and as the caption of the
// standard error report and of every message box.
inline const QString kApplicationTitle = QStringLiteral("Зовница");
