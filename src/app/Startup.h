#pragma once

#include <QString>

// The program from start to end: the single-instance rule, the application
// title, the three windows in order, the event loop. Returns the exit code.
int runVesmar(int& argc, char** argv);

// The folder of the running executable, symlinks resolved, ending in "/".
// Both data files live there. Needs the application object.
[[nodiscard]] QString findProgramDirectory();

// What a second copy started from the same program directory says.
inline const QString kAlreadyRunning = QStringLiteral("Программа уже запущена !");
