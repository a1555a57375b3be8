#pragma once

#include <QString>

// True when this process may create files in the folder: the system's own
// answer for this process, its user and groups, not the permission bits
// alone.
[[nodiscard]] bool isWritableFolder(const QString& path);
