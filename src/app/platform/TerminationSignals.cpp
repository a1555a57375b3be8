#include "app/platform/TerminationSignals.h"

#include "text/Exception.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

constexpr std::array kSignals{SIGTERM, SIGINT, SIGHUP};

// Shared with the signal handler, which may touch nothing else.
volatile sig_atomic_t g_writeFd = -1;
volatile sig_atomic_t g_received = 0;

extern "C" void onTerminationSignal(int signalNumber) {
    if (g_received != 0) {
        ::_exit(128 + signalNumber);
    }
    g_received = 1;
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(g_writeFd, &byte, 1);
    errno = savedErrno;
}

}  // namespace

// The pipe's read end and the notifier that watches it.
struct TerminationSignals::Watch {
    int readFd = -1;
    QSocketNotifier* notifier = nullptr;
};

TerminationSignals::TerminationSignals(QObject* parent)
    : QObject(parent), watch_(std::make_unique<Watch>()) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw Exception(u"Cannot create the signal pipe"_s);
    }
    const int readFd = fds[0];
    watch_->readFd = readFd;
    g_writeFd = fds[1];
    g_received = 0;

    watch_->notifier = new QSocketNotifier(readFd, QSocketNotifier::Read, this);
    connect(watch_->notifier, &QSocketNotifier::activated, this, [this, readFd] {
        unsigned char byte = 0;
        int last = 0;
        while (::read(readFd, &byte, 1) == 1) {
            last = byte;
        }
        if (last != 0) {
            emit requested(last);
        }
    });

    struct sigaction action {};
    action.sa_handler = &onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : kSignals) {
        ::sigaction(signalNumber, &action, nullptr);
    }
}

TerminationSignals::~TerminationSignals() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : kSignals) {
        ::sigaction(signalNumber, &action, nullptr);
    }
    const int writeFd = g_writeFd;
    g_writeFd = -1;
    ::close(writeFd);
    ::close(watch_->readFd);
}

void TerminationSignals::armDeadline(int milliseconds) {
    const QByteArray line =
        (u"Зовница: завершение не уложилось в срок и прервано."_s).toLocal8Bit() + '\n';
    std::thread([milliseconds, line] {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        [[maybe_unused]] const ssize_t written =
            ::write(STDERR_FILENO, line.constData(), static_cast<size_t>(line.size()));
        ::_exit(EXIT_FAILURE);
    }).detach();
}
