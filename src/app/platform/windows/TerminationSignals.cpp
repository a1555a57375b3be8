#include "app/platform/TerminationSignals.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QWindow>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// Windows kills a program that has not returned from the session's end after
// about five seconds; the orderly end must be over before.
constexpr int kSessionEndBudgetMs = 4000;
constexpr int kPumpSliceMs = 20;

// Shared with the console's handler, which runs on a thread of its own.
std::atomic<bool> g_received{false};
std::atomic<TerminationSignals*> g_owner{nullptr};
// Set once the program has ended its own way: its last window closed, or
// the event loop is about to return.
HANDLE g_ended = nullptr;

BOOL WINAPI onConsoleEvent(DWORD type) {
    const int signalNumber = type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT ? SIGINT : SIGTERM;
    if (g_received.exchange(true)) {
        // A second request while the first is handled: end at once.
        ::TerminateProcess(::GetCurrentProcess(), 128 + signalNumber);
        return TRUE;
    }
    if (TerminationSignals* owner = g_owner.load()) {
        QMetaObject::invokeMethod(
            owner, [owner, signalNumber] { emit owner->requested(signalNumber); },
            Qt::QueuedConnection);
    }
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
        // The process ends when this handler returns: it waits for the
        // program to have ended its own way, within the system's budget.
        if (g_ended != nullptr) {
            ::WaitForSingleObject(g_ended, kSessionEndBudgetMs);
        }
    }
    return TRUE;
}

}  // namespace

// The end of the session reaches every top-level window as two messages:
// WM_QUERYENDSESSION asks whether it may end, WM_ENDSESSION says that it does,
// and the process may be killed as soon as the latter has been answered. The
// orderly end is started at the question, so boxes and nested loops unwind
// through the normal event loop, and the answer runs the event loop until
// the program has ended: files saved, exit notices sent.
struct TerminationSignals::Watch : QAbstractNativeEventFilter {
    explicit Watch(TerminationSignals* owner) : owner_(owner) {}

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override {
        if (eventType != "windows_generic_MSG") {
            return false;
        }
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->message == WM_QUERYENDSESSION) {
            // Qt answers that the session may end.
            begin();
            return false;
        }
        if (msg->message == WM_ENDSESSION && msg->wParam != FALSE) {
            begin();
            finish();
            // Answered here: the window this message came to has been
            // closed, its native window destroyed, while the loop ran; Qt
            // must not look for it any more.
            *result = 0;
            return true;
        }
        return false;
    }

    // Both messages come once for each top-level window, Qt's hidden ones
    // too: only the first starts the end, and none counts as a second
    // request.
    void begin() {
        if (!g_received.exchange(true)) {
            emit owner_->requested(SIGTERM);
        }
    }

    // Runs the event loop until no window of the program is left on screen
    // (the main window closed, boxes first) or the budget is spent.
    static void finish() {
        const QDeadlineTimer deadline(kSessionEndBudgetMs);
        while (anyWindowShown() && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, kPumpSliceMs);
            QCoreApplication::sendPostedEvents();
        }
    }

    static bool anyWindowShown() {
        const QWindowList windows = QGuiApplication::topLevelWindows();
        return std::any_of(windows.begin(), windows.end(),
                           [](const QWindow* window) { return window->isVisible(); });
    }

    TerminationSignals* owner_;
};

TerminationSignals::TerminationSignals(QObject* parent)
    : QObject(parent), watch_(std::make_unique<Watch>(this)) {
    g_received = false;
    g_ended = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const auto ended = [] {
        if (g_ended != nullptr) {
            ::SetEvent(g_ended);
        }
    };
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::lastWindowClosed, this, ended);
    }
    if (QCoreApplication* app = QCoreApplication::instance()) {
        connect(app, &QCoreApplication::aboutToQuit, this, ended);
        app->installNativeEventFilter(watch_.get());
    }
    g_owner = this;
    ::SetConsoleCtrlHandler(&onConsoleEvent, TRUE);
}

TerminationSignals::~TerminationSignals() {
    ::SetConsoleCtrlHandler(&onConsoleEvent, FALSE);
    g_owner = nullptr;
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->removeNativeEventFilter(watch_.get());
    }
    if (g_ended != nullptr) {
        ::CloseHandle(std::exchange(g_ended, nullptr));
    }
}

void TerminationSignals::armDeadline(int milliseconds) {
    const QByteArray line =
        (u"Зовница: завершение не уложилось в срок и прервано."_s).toLocal8Bit() + '\n';
    std::thread([milliseconds, line] {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        std::fputs(line.constData(), stderr);
        std::fflush(stderr);
        // Not ExitProcess: a thread that holds a lock the DLLs' end needs
        // could keep it from ever ending.
        ::TerminateProcess(::GetCurrentProcess(), EXIT_FAILURE);
    }).detach();
}
