// The Windows platform layer: the instance lock keyed to the folder, and the
// end of the session ending the program the orderly way.
#include "app/platform/InstanceLock.h"
#include "app/platform/TerminationSignals.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <windows.h>

#include <csignal>
#include <memory>

using namespace Qt::StringLiterals;

class PlatformTest : public QObject {
    Q_OBJECT
  private slots:
    void instanceLockIsPerDirectory();
    void cancelledSessionEndWaitsForNothing();
    void sessionEndRunsTheOrderlyEndBeforeItIsAnswered();
};

// Every spelling of one folder reaches one lock: Windows paths are blind to
// case and take either separator.
void PlatformTest::instanceLockIsPerDirectory() {
    QTemporaryDir base;
    const QString a = base.filePath(u"a"_s);
    const QString b = base.filePath(u"b"_s);
    QVERIFY(QDir().mkpath(a) && QDir().mkpath(b));

    auto first = std::make_unique<InstanceLock>();
    QCOMPARE(first->acquire(a), InstanceLock::Result::Acquired);
    QVERIFY(first->held());
    {
        for (const QString& spelling :
             {a, base.filePath(u"A"_s), QDir::toNativeSeparators(a), base.filePath(u"b/../a/"_s)}) {
            InstanceLock second;
            QCOMPARE(second.acquire(spelling), InstanceLock::Result::HeldByAnother);
            QVERIFY(!second.held());
        }
        InstanceLock other;
        QCOMPARE(other.acquire(b), InstanceLock::Result::Acquired);
    }
    first.reset();  // released, as at the end of a process
    InstanceLock again;
    QCOMPARE(again.acquire(a), InstanceLock::Result::Acquired);

    InstanceLock missing;
    QCOMPARE(missing.acquire(base.filePath(u"none"_s)), InstanceLock::Result::Unavailable);
}

// A session end that another program refused asks nothing of this one.
void PlatformTest::cancelledSessionEndWaitsForNothing() {
    QWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    TerminationSignals signalsObject;
    QSignalSpy spy(&signalsObject, &TerminationSignals::requested);
    const auto hwnd = reinterpret_cast<HWND>(window.winId());
    QElapsedTimer timer;
    timer.start();
    ::SendMessageW(hwnd, WM_ENDSESSION, FALSE, 0);
    QVERIFY(timer.elapsed() < 1000);
    QCOMPARE(spy.count(), 0);
    QVERIFY(window.isVisible());
}

// The question starts the end once; the answer returns only when the window
// has closed, however many steps the end takes through the event loop,
// since the process may be killed right after it.
void PlatformTest::sessionEndRunsTheOrderlyEndBeforeItIsAnswered() {
    QWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    TerminationSignals signalsObject;
    QSignalSpy spy(&signalsObject, &TerminationSignals::requested);
    // Stands for the orderly end: it closes the window a while later, from
    // the event loop.
    connect(&signalsObject, &TerminationSignals::requested, &window,
            [&window] { QTimer::singleShot(300, &window, &QWidget::close); });
    const auto hwnd = reinterpret_cast<HWND>(window.winId());

    ::SendMessageW(hwnd, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
    ::SendMessageW(hwnd, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().first().toInt(), SIGTERM);
    QVERIFY(window.isVisible());

    QElapsedTimer timer;
    timer.start();
    ::SendMessageW(hwnd, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    QVERIFY(!window.isVisible());
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(spy.count(), 1);
}

int main(int argc, char** argv) {
    // The session's messages reach the windows of Qt's Windows platform;
    // the offscreen one has no native windows.
    qputenv("QT_QPA_PLATFORM", "windows");
    QApplication app(argc, argv);
    PlatformTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_platform.moc"
