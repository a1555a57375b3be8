#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Runs body where folder takes no new file while the given files in it stay
// writable, and gives what body found. A user the permission bits bind has
// the folder's write permission taken away; root, whom they do not bind,
// runs body in a child process that has given root up, on files it owns.
// Nothing when the system offers no such way (Windows, whose access lists a
// test does not edit).
[[nodiscard]] std::optional<QStringList> runWithoutWriteRight(
    const QString& folder, const QStringList& files, const std::function<QStringList()>& body);
