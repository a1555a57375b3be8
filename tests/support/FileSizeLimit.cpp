#include "support/FileSizeLimit.h"

#include <sys/resource.h>

#include <csignal>

bool runWithFileSizeLimit(long long bytes, const std::function<void()>& body) {
    rlimit previous{};
    if (getrlimit(RLIMIT_FSIZE, &previous) != 0) {
        return false;
    }
    rlimit limited = previous;
    limited.rlim_cur = static_cast<rlim_t>(bytes);
    // Past the limit the system raises SIGXFSZ; ignored, the write fails.
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    if (setrlimit(RLIMIT_FSIZE, &limited) != 0) {
        std::signal(SIGXFSZ, oldHandler);
        return false;
    }
    body();
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, oldHandler);
    return true;
}
