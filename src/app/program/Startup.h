#pragma once

#include <QString>

// The program from start to end: the single-instance rule, the application
// title, the three windows in order, the event loop. Returns the exit code.
int runVesmar(int& argc, char** argv);

// The folder of the running executable, symlinks resolved, ending in "/".
// A portable copy keeps both data files there (see DataFolder.h). Needs the
// application object.
[[nodiscard]] QString findProgramDirectory();

// What a second copy started on the same data folder says.
inline const QString kAlreadyRunning = QStringLiteral("Программа уже запущена !");
