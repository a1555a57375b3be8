#pragma once

#include <QString>

// The texts that report a data file or a saved log that could not be read or
// written. Each names the file by its full path in the platform's own form.

[[nodiscard]] QString fullFilePath(const QString& path);

// "Cannot open file %s": a file that exists could not be read.
[[nodiscard]] QString cannotOpenFileText(const QString& path);
// "Cannot create file %s": a file could not be created, or not written whole.
[[nodiscard]] QString cannotCreateFileText(const QString& path);
// "Unable to write to %s": a settings value could not be written.
[[nodiscard]] QString unableToWriteText(const QString& path);
