#include "core/DataFiles.h"
#include "core/DirectoryFile.h"
#include "core/LogFile.h"
#include "core/SettingsFile.h"
#include "support/FileBytes.h"
#include "support/WithoutWriteRight.h"
#include "text/Cp1251.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

QString native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

}  // namespace

class DataFilesTest : public QObject {
    Q_OBJECT
  private slots:
    void init();

    void directoryRead_data();
    void directoryRead();
    void directoryRoundTripOfEveryByte();
    void directoryOpenAndCreateErrors();
    void savesInAFolderThatTakesNoNewFile();

    void logFile_data();
    void logFile();
    void logFileErrors();

    void loadAndSave();
    void fileNotReadWholeIsLeftUntouched();
    void failedStepDoesNotStopTheNext();

  private:
    QString file(const QString& name) const { return dir_->filePath(name); }
    std::unique_ptr<QTemporaryDir> dir_;
};

void DataFilesTest::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void DataFilesTest::directoryRead_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("whole");
    QTest::newRow("empty") << QByteArray("") << QStringList() << true;
    QTest::newRow("no final end") << QByteArray("a") << QStringList{u"a"_s} << true;
    QTest::newRow("final end adds nothing") << QByteArray("a\r\n") << QStringList{u"a"_s} << true;
    QTest::newRow("empty lines kept")
        << QByteArray("\r\na\r\n\r\n") << QStringList{QString(), u"a"_s, QString()} << true;
    QTest::newRow("three line ends")
        << QByteArray("a\rb\nc\r\nd") << QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s} << true;
    QTest::newRow("LF CR is two ends")
        << QByteArray("a\n\rb") << QStringList{u"a"_s, {}, u"b"_s} << true;
    QTest::newRow("CR CR LF") << QByteArray("a\r\r\n") << QStringList{u"a"_s, QString()} << true;
    QTest::newRow("blanks and non-entries kept")
        << QByteArray("  x  \r\n\t_|_\r\n") << QStringList{u"  x  "_s, u"\t_|_"_s} << true;
    QTest::newRow("NUL with more after it")
        << QByteArray("a\r\nb\0c\r\nd", 9) << QStringList{u"a"_s, u"b"_s} << false;
    QTest::newRow("NUL first") << QByteArray("\0a", 2) << QStringList() << false;
    QTest::newRow("NUL as last byte") << QByteArray("a\r\n\0", 4) << QStringList{u"a"_s} << true;
}

void DataFilesTest::directoryRead() {
    QFETCH(QByteArray, bytes);
    writeBytes(file(u"ListCorr.dat"_s), bytes);
    const DirectoryFile::Contents contents = DirectoryFile::read(file(u"ListCorr.dat"_s));
    QTEST(contents.lines, "lines");
    QTEST(contents.whole, "whole");
}

void DataFilesTest::directoryRoundTripOfEveryByte() {
    // Every byte 0x01..0xFF but CR and LF, in lines split by all three line ends.
    QByteArray all;
    for (int b = 1; b <= 0xFF; ++b) {
        if (b != '\r' && b != '\n') {
            all += char(b);
        }
    }
    const QList<QByteArray> chunks = {all.first(80), all.sliced(80, 80), QByteArray(),
                                      all.sliced(160)};
    const QByteArray original =
        chunks[0] + "\r\n" + chunks[1] + "\n" + chunks[2] + "\r" + chunks[3];
    const QString path = file(u"ListCorr.dat"_s);
    writeBytes(path, original);

    const DirectoryFile::Contents read = DirectoryFile::read(path);
    QVERIFY(read.whole);
    QCOMPARE(read.lines.size(), chunks.size());
    for (qsizetype i = 0; i < chunks.size(); ++i) {
        QCOMPARE(Cp1251::encode(read.lines[i]), chunks[i]);
    }

    DirectoryFile::write(path, read.lines);
    QCOMPARE(readBytes(path), chunks.join("\r\n") + "\r\n");
    QCOMPARE(DirectoryFile::read(path).lines, read.lines);

    DirectoryFile::write(path, {});
    QCOMPARE(readBytes(path), QByteArray());
    DirectoryFile::write(path, {u"a\0b"_s});  // a NUL would cut the file short when read
    QCOMPARE(readBytes(path), QByteArray("a?b\r\n"));
}

void DataFilesTest::directoryOpenAndCreateErrors() {
    const QString missing = file(u"missing.dat"_s);
    const DirectoryFile::Contents none = DirectoryFile::read(missing);
    QVERIFY(none.lines.isEmpty());
    QVERIFY(none.whole);

    // A folder where the file should be exists but cannot be read, even by root.
    const QString folder = file(u"ListCorr.dat"_s);
    QVERIFY(QDir().mkpath(folder));
    QCOMPARE(errorOf([&] { (void)DirectoryFile::read(folder); }),
             u"Cannot open file "_s + native(folder));
    QCOMPARE(errorOf([&] { DirectoryFile::write(folder, {u"x"_s}); }),
             u"Cannot create file "_s + native(folder));

    // Nothing can be created below a plain file.
    writeBytes(file(u"plain"_s), "x");
    const QString below = file(u"plain/ListCorr.dat"_s);
    QCOMPARE(errorOf([&] { DirectoryFile::write(below, {u"x"_s}); }),
             u"Cannot create file "_s + native(below));
}

void DataFilesTest::savesInAFolderThatTakesNoNewFile() {
    // The folder takes no new file while the files themselves are writable:
    // every save fails as a whole and leaves the old file as it was.
    const QString directory = file(u"ListCorr.dat"_s);
    const QString settings = file(u"Vesmar.ini"_s);
    const QString log = file(u"log.TXT"_s);
    writeBytes(directory, "old\r\n");
    writeBytes(settings, "[ANY]\r\nMyName=OLD\r\n");
    writeBytes(log, "old log\r\n");
    const auto failures = [&] {
        QStringList found;
        const auto expect = [&](const QString& what, const QString& error, const QString& path,
                                const QByteArray& bytes) {
            if (!error.startsWith(u"Cannot create file "_s) &&
                !error.startsWith(u"Unable to write to "_s)) {
                found.append(what + u": no failure reported: "_s + error);
            }
            if (readBytes(path) != bytes) {
                found.append(what + u": the old file changed"_s);
            }
        };
        expect(u"directory"_s, errorOf([&] { DirectoryFile::write(directory, {u"new"_s}); }),
               directory, "old\r\n");
        Settings changed;
        changed.myName = u"NEW"_s;
        expect(u"settings"_s, errorOf([&] { SettingsFile::save(settings, changed); }), settings,
               "[ANY]\r\nMyName=OLD\r\n");
        expect(u"log"_s, errorOf([&] { saveLogFile(log, u"new log\r\n"_s); }), log, "old log\r\n");
        return found;
    };

    const std::optional<QStringList> found =
        runWithoutWriteRight(dir_->path(), {directory, settings, log}, failures);
    if (!found) {
        QSKIP("this system lets the test take no folder's write right away");
    }
    QCOMPARE(*found, QStringList());
}

void DataFilesTest::logFile_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("lines A and B") << u"A\r\nB\r\n"_s << QByteArray("A\r\nB\r\n");
    QTest::newRow("empty log") << QString() << QByteArray();
    QTest::newRow("cyrillic") << u"Ёж: привет\r\n"_s
                              << QByteArray("\xA8\xE6: \xEF\xF0\xE8\xE2\xE5\xF2\r\n");
    QTest::newRow("line ends kept as given")
        << u"a\r\nb\nc\r\r\n"_s << QByteArray("a\r\nb\nc\r\r\n");
}

void DataFilesTest::logFile() {
    QFETCH(QString, text);
    const QString path = file(u"log.TXT"_s);
    writeBytes(path, QByteArray(100, 'z'));  // an older, longer file is replaced
    saveLogFile(path, text);
    QTEST(readBytes(path), "bytes");
}

void DataFilesTest::logFileErrors() {
    writeBytes(file(u"plain"_s), "x");
    const QString below = file(u"plain/log.txt"_s);
    QCOMPARE(errorOf([&] { saveLogFile(below, u"A\r\n"_s); }),
             u"Cannot create file "_s + native(below));

    // A full disk: the device takes the open and refuses every byte.
    const QString full = u"/dev/full"_s;
    if (!QFileInfo(full).isWritable()) {
        QSKIP("no writable /dev/full");
    }
    QCOMPARE(errorOf([&] { saveLogFile(full, u"A\r\n"_s); }), u"Cannot create file "_s + full);
}

void DataFilesTest::loadAndSave() {
    DataFiles files(dir_->path());
    DataFiles::Loaded loaded = files.load();  // first start: neither file
    QCOMPARE(loaded.settings, Settings{});
    QVERIFY(loaded.directoryLines.isEmpty() && loaded.errors.isEmpty());
    QVERIFY(files.settingsReadWhole() && files.directoryReadWhole());

    // The name goes to and comes from the file as given; the conference
    // normalises it (tests/core/test_session.cpp).
    loaded.settings.myName = u"ПЁТР"_s;
    const DataFiles::SaveReport report = files.save({u"a"_s, QString()}, loaded.settings);
    QVERIFY(report.errors.isEmpty() && report.notSaved.isEmpty());
    QCOMPARE(readBytes(files.directoryPath()), QByteArray("a\r\n\r\n"));
    QVERIFY(Cp1251::decode(readBytes(files.settingsPath())).contains(u"\r\nMyName=ПЁТР\r\n"_s));

    writeBytes(files.settingsPath(), Cp1251::encode(u"[ANY]\r\nMyName=\"  иван \"\r\n"_s));
    QCOMPARE(files.load().settings.myName, u"  иван "_s);
    writeBytes(files.settingsPath(), "[ANY]\r\nMyName=\r\n");
    QCOMPARE(files.load().settings.myName, QString());
}

void DataFilesTest::fileNotReadWholeIsLeftUntouched() {
    const QByteArray directory("A _|_ 1\r\n\0B _|_ 2\r\n", 19);
    writeBytes(file(u"ListCorr.dat"_s), directory);
    QVERIFY(QDir().mkpath(file(u"Vesmar.ini"_s)));  // exists, cannot be read

    DataFiles files(dir_->path());
    const DataFiles::Loaded loaded = files.load();
    QCOMPARE(loaded.directoryLines, QStringList{u"A _|_ 1"_s});
    QCOMPARE(loaded.errors, QStringList{u"Cannot open file "_s + native(files.settingsPath())});
    QCOMPARE(loaded.settings.myName, u"???"_s);
    QVERIFY(!files.settingsReadWhole());
    QVERIFY(!files.directoryReadWhole());

    const DataFiles::SaveReport report = files.save({u"C _|_ 3"_s}, loaded.settings);
    QVERIFY(report.errors.isEmpty());
    QCOMPARE(report.notSaved,
             (QStringList{
                 u"Список корреспондентов не сохранён: файл %1 не был прочитан полностью "
                 "при запуске."_s.arg(native(files.directoryPath())),
                 u"Настройки не сохранены: файл %1 не удалось прочитать при запуске."_s.arg(
                     native(files.settingsPath())),
             }));
    QCOMPARE(readBytes(file(u"ListCorr.dat"_s)), directory);
    QVERIFY(QFileInfo(file(u"Vesmar.ini"_s)).isDir());

    // A save without a load knows nothing was read whole and writes nothing.
    QCOMPARE(DataFiles(file(u"other"_s)).save({}, Settings{}).notSaved.size(), 2);
    QVERIFY(!QFile::exists(file(u"other"_s)));
}

void DataFilesTest::failedStepDoesNotStopTheNext() {
    DataFiles files(dir_->path());
    QVERIFY(files.load().errors.isEmpty());
    // The directory file cannot be written now; the settings still are.
    QVERIFY(QDir().mkpath(files.directoryPath()));
    Settings settings;
    settings.minimizeOnStart = true;
    QCOMPARE(files.save({u"x"_s}, settings).errors,
             QStringList{u"Cannot create file "_s + native(files.directoryPath())});
    QVERIFY(DataFiles(dir_->path()).load().settings.minimizeOnStart);

    // And the other way round.
    QVERIFY(QDir().rmdir(files.directoryPath()));
    QVERIFY(QFile::remove(files.settingsPath()));
    QVERIFY(QDir().mkpath(files.settingsPath()));
    QCOMPARE(files.save({u"x"_s}, settings).errors,
             QStringList{u"Unable to write to "_s + native(files.settingsPath())});
    QCOMPARE(readBytes(files.directoryPath()), QByteArray("x\r\n"));
}

QTEST_GUILESS_MAIN(DataFilesTest)
#include "test_data_files.moc"
