#pragma once

#include <functional>

// Runs body while this process may write files of at most bytes, so that a
// longer write fails part-way as on a full disk, and restores the limit
// afterwards. False, without running body, where the system sets no such
// limit per process (Windows).
[[nodiscard]] bool runWithFileSizeLimit(long long bytes, const std::function<void()>& body);
