#include "app/platform/FolderAccess.h"
#include "app/platform/InstanceLock.h"
#include "app/platform/UserFolder.h"
#include "app/program/DataFolder.h"
#include "core/DataFiles.h"
#include "support/FileBytes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class DataFolderTest : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void portableCopyKeepsItsFolder();
    void installedCopyStartsFromTheHandedOutFiles_data();
    void installedCopyStartsFromTheHandedOutFiles();
    void laterStartsKeepTheUsersFiles();
    void lockFollowsTheFolder();
    void readOnlyFolderIsNotWritable();
    void writableCheckLeavesNoTrace();
    void perUserFolderIsTheSystemsOwn();

  private:
    std::unique_ptr<QTemporaryDir> root_;
    DataFolderPlaces places_;
};

void DataFolderTest::init() {
    root_ = std::make_unique<QTemporaryDir>();
    QVERIFY(root_->isValid());
    const QString base = root_->path() + u'/';
    for (const QString& dir : {u"bin"_s, u"share"_s}) {
        QVERIFY(QDir().mkpath(base + dir));
    }
    places_.programDirectory = base + u"bin/"_s;
    places_.programDirectoryWritable = true;
    places_.installed = false;
    places_.userDirectory = base + u"config/Vesmar/"_s;
    places_.seedDirectories = {places_.programDirectory, base + u"share/"_s};
}

void DataFolderTest::portableCopyKeepsItsFolder() {
    writeBytes(places_.programDirectory + u"ListCorr.dat"_s, "A _|_ 10.0.0.1\r\n");
    DataFolder folder = chooseDataFolder(places_);
    copyStartingFiles(folder, places_);
    QCOMPARE(folder.path, places_.programDirectory);
    QVERIFY(!folder.perUser);
    QVERIFY(folder.copied.isEmpty());
    QVERIFY(!QFileInfo::exists(places_.userDirectory));
}

void DataFolderTest::installedCopyStartsFromTheHandedOutFiles_data() {
    QTest::addColumn<bool>("writable");
    QTest::addColumn<bool>("installed");
    QTest::newRow("folder not writable") << false << false;
    QTest::newRow("installed folder, writable by root") << true << true;
}

void DataFolderTest::installedCopyStartsFromTheHandedOutFiles() {
    QFETCH(bool, writable);
    QFETCH(bool, installed);
    places_.programDirectoryWritable = writable;
    places_.installed = installed;
    // The directory lies beside the executable, the settings only in the
    // package's shared folder: each file comes from the first place holding it.
    const QByteArray list("\xC8\xC2\xC0\xCD _|_ 10.0.0.1\r\n");
    const QByteArray settings("[ANY]\r\nMyName=\xC8\xC2\xC0\xCD\r\n");
    const QString listSeed = places_.programDirectory + u"ListCorr.dat"_s;
    const QString settingsSeed = places_.seedDirectories[1] + u"Vesmar.ini"_s;
    writeBytes(listSeed, list);
    writeBytes(settingsSeed, settings);
    writeBytes(places_.seedDirectories[1] + u"ListCorr.dat"_s, "OTHER _|_ 10.0.0.2\r\n");
    QFile::setPermissions(listSeed, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);

    DataFolder folder = chooseDataFolder(places_);
    QCOMPARE(folder.path, places_.userDirectory);
    QVERIFY(QFileInfo(folder.path).isDir());  // ready to be locked
    QVERIFY(!QFileInfo::exists(folder.path + u"ListCorr.dat"_s));
    copyStartingFiles(folder, places_);
    QVERIFY(folder.perUser);
    QCOMPARE(folder.errors, QStringList());
    QCOMPARE(readBytes(folder.path + u"ListCorr.dat"_s), list);
    QCOMPARE(readBytes(folder.path + u"Vesmar.ini"_s), settings);

    // The program loads and saves in the per-user folder; the handed-out
    // files stay as they were.
    DataFiles files(folder.path);
    const DataFiles::Loaded loaded = files.load();
    QCOMPARE(loaded.directoryLines, QStringList{u"ИВАН _|_ 10.0.0.1"_s});
    const DataFiles::SaveReport report = files.save({u"ПЁТР _|_ 10.0.0.3"_s}, loaded.settings);
    QCOMPARE(report.errors, QStringList());
    QCOMPARE(readBytes(folder.path + u"ListCorr.dat"_s),
             QByteArray("\xCF\xA8\xD2\xD0 _|_ 10.0.0.3\r\n"));
    QCOMPARE(readBytes(listSeed), list);
    QCOMPARE(readBytes(settingsSeed), settings);
}

void DataFolderTest::laterStartsKeepTheUsersFiles() {
    places_.programDirectoryWritable = false;
    writeBytes(places_.programDirectory + u"ListCorr.dat"_s, "SEED _|_ 10.0.0.1\r\n");
    QVERIFY(QDir().mkpath(places_.userDirectory));
    writeBytes(places_.userDirectory + u"ListCorr.dat"_s, "OWN _|_ 10.0.0.9\r\n");

    DataFolder folder = chooseDataFolder(places_);
    copyStartingFiles(folder, places_);
    QCOMPARE(folder.copied, QStringList());
    QCOMPARE(readBytes(folder.path + u"ListCorr.dat"_s), QByteArray("OWN _|_ 10.0.0.9\r\n"));
    QVERIFY(!QFileInfo::exists(folder.path + u"Vesmar.ini"_s));  // nothing to start from
}

void DataFolderTest::lockFollowsTheFolder() {
    places_.programDirectoryWritable = false;
    const DataFolder folder = chooseDataFolder(places_);
    InstanceLock first;
    QCOMPARE(first.acquire(folder.path), InstanceLock::Result::Acquired);
    // Another copy on the same per-user folder is refused, whatever folder
    // its executable is in.
    InstanceLock second;
    QCOMPARE(second.acquire(chooseDataFolder(places_).path), InstanceLock::Result::HeldByAnother);
}

void DataFolderTest::readOnlyFolderIsNotWritable() {
    QVERIFY(isWritableFolder(places_.programDirectory));
    const auto before = QFile::permissions(places_.programDirectory);
    QVERIFY(QFile::setPermissions(places_.programDirectory, QFile::ReadOwner | QFile::ExeOwner));
    // Root, and on Windows anyone the folder's access list lets in, may
    // write to the folder whatever its permission bits say.
    QFile probe(places_.programDirectory + u"probe"_s);
    if (probe.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        probe.remove();
        QFile::setPermissions(places_.programDirectory, before);
        QSKIP("this user may write to the folder whatever its permissions say");
    }
    QVERIFY(!isWritableFolder(places_.programDirectory));
}

// The check leaves nothing behind, and a folder that does not exist is not
// writable.
void DataFolderTest::writableCheckLeavesNoTrace() {
    QVERIFY(isWritableFolder(places_.programDirectory));
    QVERIFY(isWritableFolder(places_.programDirectory));
    QCOMPARE(QDir(places_.programDirectory)
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             QStringList());
    QVERIFY(!isWritableFolder(places_.programDirectory + u"missing"_s));
}

// Where the executable's folder cannot be written, the data files go to the
// system's per-user folder for settings, in a folder of their own.
void DataFolderTest::perUserFolderIsTheSystemsOwn() {
    const QString base = userConfigurationFolder();
    QVERIFY(!base.isEmpty());
    QVERIFY(!base.endsWith(u'/'));
    QCOMPARE(dataFolderPlaces(places_.programDirectory).userDirectory, base + u"/Vesmar/"_s);
    // On Windows the roaming application data, as the system names it.
    const QString appData = qEnvironmentVariable("APPDATA");
    if (!appData.isEmpty()) {
        QCOMPARE(QDir(base).canonicalPath(),
                 QDir(QDir::fromNativeSeparators(appData)).canonicalPath());
    }
}

QTEST_MAIN(DataFolderTest)
#include "test_data_folder.moc"
