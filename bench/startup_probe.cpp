// Starts a program on the X display named by DISPLAY and measures what it
// costs at rest:
//   start-up: from just before exec to the first top-level window mapped;
//   resident memory (VmRSS) a settle time after the start;
//   processor time (user + system) from then on over an idle span, per minute.
// Then ends the program with SIGTERM (SIGKILL after 5 s).
//
//   startup_probe SETTLE_SECONDS IDLE_SECONDS PROGRAM [ARGUMENTS...]
//
// Prints one line: "startup_ms=... startup_cpu_ms=... rss_mb=...
// idle_cpu_s_per_min=...", where startup_cpu_ms is the processor time the
// program had used when its window was mapped, read from the process's own
// processor-time clock (to the microsecond; in clock ticks where that clock
// cannot be read).

#include <xcb/xcb.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

double now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double residentMegabytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stod(line.substr(6)) / 1024.0;  // kB
        }
    }
    return -1;
}

// User plus system time of the process, all its threads, in seconds.
double processorSeconds(pid_t pid) {
    clockid_t clock = 0;
    timespec used{};
    if (clock_getcpuclockid(pid, &clock) == 0 && clock_gettime(clock, &used) == 0) {
        return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
    }
    std::ifstream statFile("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
    const auto close = stat.rfind(')');
    if (close == std::string::npos) {
        return -1;
    }
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    double ticks = 0;
    // After the name: state is field 3; utime and stime are fields 14 and 15.
    for (int index = 3; index <= 15 && fields >> field; ++index) {
        if (index == 14 || index == 15) {
            ticks += std::stod(field);
        }
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

void sleepUntil(double when) {
    const double left = when - now();
    if (left > 0) {
        std::this_thread::sleep_for(std::chrono::duration<double>(left));
    }
}

void end(pid_t pid) {
    kill(pid, SIGTERM);
    for (int i = 0; i < 50; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s SETTLE_SECONDS IDLE_SECONDS PROGRAM [ARGS...]\n", argv[0]);
        return 2;
    }
    const double settle = std::atof(argv[1]);
    const double idle = std::atof(argv[2]);

    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        std::fprintf(stderr, "startup_probe: no X display\n");
        return 1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);

    const double start = now();
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[3], argv + 3);
        std::perror("startup_probe: exec");
        _exit(127);
    }

    // The first top-level window mapped, within 30 s.
    double mapped = -1;
    double startupProcessor = 0;
    pollfd wait{xcb_get_file_descriptor(connection), POLLIN, 0};
    while (mapped < 0 && now() - start < 30) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            if ((event->response_type & 0x7F) == XCB_MAP_NOTIFY) {
                const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
                if (map->event == root && map->override_redirect == 0 && mapped < 0) {
                    mapped = now();
                    startupProcessor = processorSeconds(pid);
                }
            }
            std::free(event);
        }
        if (mapped < 0 && (poll(&wait, 1, 100) < 0 || xcb_connection_has_error(connection))) {
            break;
        }
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            std::fprintf(stderr, "startup_probe: %s ended before it showed a window\n", argv[3]);
            return 1;
        }
    }
    xcb_disconnect(connection);
    if (mapped < 0) {
        std::fprintf(stderr, "startup_probe: no window within 30 s\n");
        end(pid);
        return 1;
    }

    sleepUntil(start + settle);
    const double resident = residentMegabytes(pid);
    const double before = processorSeconds(pid);
    sleepUntil(start + settle + idle);
    const double after = processorSeconds(pid);
    end(pid);

    std::printf("startup_ms=%.1f startup_cpu_ms=%.1f rss_mb=%.2f idle_cpu_s_per_min=%.4f\n",
                (mapped - start) * 1000, startupProcessor * 1000, resident,
                idle > 0 ? (after - before) * 60 / idle : 0);
    return 0;
}
