#pragma once

#include <QString>

#include <memory>

class MainWindow;
class UdpEndpoint;

// The program from start to end: the single-instance rule, the application
// title, the three windows in order, the event loop. Returns the exit code.
int runVesmar(int& argc, char** argv);

// The main window on the endpoint, then the correspondent dialog and the
// About box, attached to it: the windows the program shows, in the order it
// creates them. The window has read its data files and started its timer.
[[nodiscard]] std::unique_ptr<MainWindow> createMainWindow(const QString& programDirectory,
                                                           std::unique_ptr<UdpEndpoint> endpoint);

// The folder of the running executable, symlinks resolved, ending in "/".
// A portable copy keeps both data files there (see DataFolder.h). Needs the
// application object.
[[nodiscard]] QString findProgramDirectory();

// What a second copy started on the same data folder says.
inline const QString kAlreadyRunning = QStringLiteral("Программа уже запущена !");
