#pragma once

#include <QString>

// The folder under which each user's programs keep their settings, without
// a closing separator: ~/.config on Linux, %APPDATA% (the roaming
// application data) on Windows. Empty when the system knows none.
[[nodiscard]] QString userConfigurationFolder();
