// Starts copies of the built program and checks the single-instance rule and
// the normal end on SIGTERM.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QString kBinary = QStringLiteral(VESMAR_BINARY);
const QByteArray kRefusal = QStringLiteral("Программа уже запущена !").toUtf8();
constexpr int kStartTimeoutMs = 30000;  // generous: sanitizer builds start slowly

// The program copied into a fresh folder of its own.
QString installCopy(const QString& dir) {
    if (!QDir().mkpath(dir)) {
        return {};
    }
    const QString path = dir + u"/Vesmar"_s;
    if (!QFile::copy(kBinary, path)) {
        return {};
    }
    QFile::setPermissions(path, QFile::permissions(kBinary));
    return path;
}

// True when the process holds an flock on the file or folder with this inode,
// as the kernel lists it. Reading the list never disturbs the lock.
bool holdsLock(qint64 pid, ino_t inode) {
    QFile locks(u"/proc/locks"_s);
    if (!locks.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray pidText = QByteArray::number(pid);
    const QByteArray inodeText = QByteArray::number(quint64(inode));
    for (const QByteArray& line : locks.readAll().split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        // "1: FLOCK ADVISORY WRITE <pid> <major>:<minor>:<inode> 0 EOF"
        if (f.size() >= 6 && f[1] == "FLOCK" && f[4] == pidText &&
            f[5].split(':').value(2) == inodeText) {
            return true;
        }
    }
    return false;
}

ino_t inodeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

void start(QProcess& process, const QString& program) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    process.setProcessEnvironment(env);
    process.setProgram(program);
    process.start();
}

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void secondCopyFromSameFolderIsRefused();
};

void StartupTest::initTestCase() {
    if (!QFile::exists(u"/proc/locks"_s)) {
        QSKIP("/proc/locks is not available; the lock cannot be observed");
    }
    QVERIFY2(QFile::exists(kBinary), qPrintable(kBinary));
}

void StartupTest::secondCopyFromSameFolderIsRefused() {
    QTemporaryDir base;
    const QString dirA = base.filePath(u"a"_s);
    const QString dirB = base.filePath(u"b"_s);
    const QString copyA = installCopy(dirA);
    const QString copyB = installCopy(dirB);
    QVERIFY(!copyA.isEmpty() && !copyB.isEmpty());
    QVERIFY(QDir().mkpath(base.filePath(u"link"_s)));
    const QString viaLink = base.filePath(u"link/Vesmar"_s);
    QVERIFY(QFile::link(copyA, viaLink));

    QProcess first;
    start(first, copyA);
    QVERIFY(first.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(holdsLock(first.processId(), inodeOf(dirA)), kStartTimeoutMs);

    // From the same folder, directly and through a link to the executable:
    // refused, and the first copy keeps running with its lock.
    for (const QString& program : {copyA, viaLink}) {
        QProcess second;
        start(second, program);
        QVERIFY(second.waitForStarted());
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += second.readAllStandardError()).contains(kRefusal),
                                 kStartTimeoutMs);
        QVERIFY(!holdsLock(second.processId(), inodeOf(dirA)));
        second.kill();  // it waits in its message box
        QVERIFY(second.waitForFinished());
        QCOMPARE(first.state(), QProcess::Running);
        QVERIFY(holdsLock(first.processId(), inodeOf(dirA)));
    }

    // From another folder: not refused.
    QProcess other;
    start(other, copyB);
    QVERIFY(other.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(holdsLock(other.processId(), inodeOf(dirB)), kStartTimeoutMs);
    QVERIFY(!other.readAllStandardError().contains(kRefusal));

    // SIGTERM ends both the normal way.
    for (QProcess* process : {&first, &other}) {
        process->terminate();
        QVERIFY(process->waitForFinished(kStartTimeoutMs));
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(process->exitCode(), 0);
    }
}

QTEST_GUILESS_MAIN(StartupTest)
#include "test_startup.moc"
