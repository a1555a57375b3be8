#include "support/FileSizeLimit.h"

bool runWithFileSizeLimit(long long /*bytes*/, const std::function<void()>& /*body*/) {
    return false;  // Windows has no file size limit per process.
}
