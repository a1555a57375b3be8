// The Linux platform layer: the instance lock on the directory itself, and
// the termination signals.
#include "app/platform/InstanceLock.h"
#include "app/platform/TerminationSignals.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

using namespace Qt::StringLiterals;

class PlatformTest : public QObject {
    Q_OBJECT
  private slots:
    void instanceLockIsPerDirectory();
    void terminationSignalArrivesAsQtSignal();
};

void PlatformTest::instanceLockIsPerDirectory() {
    QTemporaryDir base;
    const QString a = base.filePath(u"a"_s);
    const QString b = base.filePath(u"b"_s);
    QVERIFY(QDir().mkpath(a) && QDir().mkpath(b));
    QVERIFY(QFile::link(a, base.filePath(u"link-to-a"_s)));

    auto first = std::make_unique<InstanceLock>();
    QCOMPARE(first->acquire(a), InstanceLock::Result::Acquired);
    QVERIFY(first->held());
    {
        InstanceLock second;
        QCOMPARE(second.acquire(a), InstanceLock::Result::HeldByAnother);
        QVERIFY(!second.held());
        InstanceLock throughLink;
        QCOMPARE(throughLink.acquire(base.filePath(u"link-to-a"_s)),
                 InstanceLock::Result::HeldByAnother);
        InstanceLock other;
        QCOMPARE(other.acquire(b), InstanceLock::Result::Acquired);
    }
    first.reset();  // released, as at the end of a process
    InstanceLock again;
    QCOMPARE(again.acquire(a), InstanceLock::Result::Acquired);

    InstanceLock missing;
    QCOMPARE(missing.acquire(base.filePath(u"none"_s)), InstanceLock::Result::Unavailable);
}

void PlatformTest::terminationSignalArrivesAsQtSignal() {
    TerminationSignals signalsObject;
    QSignalSpy spy(&signalsObject, &TerminationSignals::requested);
    QCOMPARE(::raise(SIGHUP), 0);
    QVERIFY(spy.wait());
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().first().toInt(), SIGHUP);
}

QTEST_GUILESS_MAIN(PlatformTest)
#include "test_platform.moc"
