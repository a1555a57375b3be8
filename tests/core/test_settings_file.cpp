#include "core/ProfileFile.h"
#include "core/SettingsFile.h"
#include "support/FileBytes.h"
#include "text/Cp1251.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QByteArray cp1251(const QString& text) {
    return Cp1251::encode(text);
}

}  // namespace

class SettingsFileTest : public QObject {
    Q_OBJECT
  private slots:
    void init();

    void profileRead_data();
    void profileRead();
    void profileWriteKeepsEverythingElse();

    void flags_data();
    void flags();
    void texts_data();
    void texts();
    void writtenFromScratchAndReadBack();
    void foreignSectionAndCommentSurviveSave();

  private:
    QString path() const { return dir_->filePath(u"Vesmar.ini"_s); }
    std::unique_ptr<QTemporaryDir> dir_;
};

void SettingsFileTest::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void SettingsFileTest::profileRead_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("value");

    const QByteArray any = "[ANY]\r\n";
    QTest::newRow("plain") << any + "K=v\r\n" << u"ANY"_s << u"K"_s << true << u"v"_s;
    QTest::newRow("case ignored") << QByteArray("[aNy]\r\nmYkEy=v\r\n") << u"Any"_s << u"MYKEY"_s
                                  << true << u"v"_s;
    QTest::newRow("blanks around") << QByteArray(" \t[ ANY ] \r\n  K \t=  a b \t\r\n") << u"ANY"_s
                                   << u"K"_s << true << u"a b"_s;
    QTest::newRow("double quotes") << any + "K= \" x \" \r\n"
                                   << u"ANY"_s << u"K"_s << true << u" x "_s;
    QTest::newRow("one pair only") << any + "K=\"\"x\"\"\r\n"
                                   << u"ANY"_s << u"K"_s << true << u"\"x\""_s;
    QTest::newRow("unmatched quotes") << any + "K=\"x'\r\n"
                                      << u"ANY"_s << u"K"_s << true << u"\"x'"_s;
    QTest::newRow("empty value") << any + "K=\r\n" << u"ANY"_s << u"K"_s << true << QString();
    QTest::newRow("missing key") << any + "L=1\r\n" << u"ANY"_s << u"K"_s << false << QString();
    QTest::newRow("other section")
        << QByteArray("[B]\r\nK=1\r\n[ANY]\r\n") << u"ANY"_s << u"K"_s << false << QString();
    QTest::newRow("before any section")
        << QByteArray("K=1\r\n[ANY]\r\n") << u"ANY"_s << u"K"_s << false << QString();
    QTest::newRow("comment") << any + ";K=1\r\n" << u"ANY"_s << u"K"_s << false << QString();
    QTest::newRow("lone LF and CR")
        << QByteArray("[ANY]\nA=1\rK=2") << u"ANY"_s << u"K"_s << true << u"2"_s;
    QTest::newRow("cyrillic") << any + cp1251(u"Имя=Пётр\r\n"_s) << u"ANY"_s << u"имя"_s << true
                              << u"Пётр"_s;
    QTest::newRow("2047 characters used")
        << any + "K=" + QByteArray(3000, 'x') + "\r\n"
        << u"ANY"_s << u"K"_s << true << QString(ProfileFile::kMaxValueLength, u'x');
    QTest::newRow("missing file") << QByteArray() << u"ANY"_s << u"K"_s << false << QString();
}

void SettingsFileTest::profileRead() {
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(bool, found);
    if (!file.isEmpty()) {
        writeBytes(path(), file);
    }
    const ProfileFile profile(path());
    const std::optional<QString> value = profile.find(section, key);
    QCOMPARE(value.has_value(), found);
    if (found) {
        QTEST(*value, "value");
    } else {
        QCOMPARE(profile.value(section, key, u"default"_s), u"default"_s);
    }
}

void SettingsFileTest::profileWriteKeepsEverythingElse() {
    const QByteArray before =
        "; top comment\r\n"
        "[Other]\n"
        "Key = kept \n"
        "\r\n"
        "[ANY]\r\n"
        "  MyName =  old\r\n"
        "; section comment\r\n"
        "YesBeep_Mess=1\r\n"
        "\r\n"
        "[Last]\r\n"
        "x=1";  // no line end at the very end
    writeBytes(path(), before);
    ProfileFile profile(path());
    profile.setValue(u"any"_s, u"MYNAME"_s, u"  Новое "_s);      // existing key: its name kept
    profile.setValue(u"ANY"_s, u"TextBeep_Mess"_s, u"x"_s);      // new key after the last key
    profile.setValue(u"Last"_s, u"y"_s, u"2"_s);                 // after a line without an end
    profile.setValue(u"START"_s, u"MinimizeOnStart"_s, u"0"_s);  // new section at the end
    profile.setValue(u"ANY"_s, u"Bad"_s, u"a\r\nb\0c"_s);        // cannot break the line structure
    profile.close();

    const QByteArray after =
        "; top comment\r\n"
        "[Other]\n"
        "Key = kept \n"
        "\r\n"
        "[ANY]\r\n" +
        cp1251(u"MyName=\"  Новое \"\r\n"_s) +
        "; section comment\r\n"
        "YesBeep_Mess=1\r\n"
        "TextBeep_Mess=x\r\n"
        "Bad=a??b?c\r\n"
        "\r\n"
        "[Last]\r\n"
        "x=1\r\n"
        "y=2\r\n"
        "\r\n"
        "[START]\r\n"
        "MinimizeOnStart=0\r\n";
    QCOMPARE(readBytes(path()), after);

    // Every value reads back as it was written, so a second save writes the
    // same file: blanks at the ends, quotes, and a NUL (written as "?").
    const QList<QString> values{u"  Новое "_s, u"\"q\""_s, u"'"_s, u"x\0"_s, u"\t"_s};
    for (const QString& value : values) {
        ProfileFile first(path());
        first.setValue(u"ANY"_s, u"V"_s, value);
        first.close();
        const QByteArray once = readBytes(path());
        const QString read = ProfileFile(path()).value(u"ANY"_s, u"V"_s, {});
        QCOMPARE(read, QString(value).replace(QChar(u'\0'), u'?'));
        ProfileFile second(path());
        second.setValue(u"ANY"_s, u"V"_s, read);
        second.close();
        QCOMPARE(readBytes(path()), once);
    }
}

void SettingsFileTest::flags_data() {
    QTest::addColumn<QByteArray>("value");  // of YesBeep_Mess and MinimizeOnStart; null = missing
    QTest::addColumn<bool>("beep");         // default true
    QTest::addColumn<bool>("minimize");     // default false
    QTest::newRow("missing") << QByteArray() << true << false;
    QTest::newRow("0") << QByteArray("0") << false << false;
    QTest::newRow("7") << QByteArray("7") << true << true;
    QTest::newRow("0x10") << QByteArray("0x10") << true << true;
    QTest::newRow("0X0") << QByteArray("0X0") << false << false;
    QTest::newRow("blanks around 0") << QByteArray("  0 ") << false << false;
    QTest::newRow("beyond 64 bits") << QByteArray("184467440737095516160") << true << true;
    QTest::newRow("abc") << QByteArray("abc") << true << false;
    QTest::newRow("empty") << QByteArray("") << true << false;
    QTest::newRow("0x alone") << QByteArray("0x") << true << false;
    QTest::newRow("trailing junk") << QByteArray("0 1") << true << false;
}

void SettingsFileTest::flags() {
    QFETCH(QByteArray, value);
    QFETCH(bool, beep);
    QFETCH(bool, minimize);
    if (!value.isNull()) {
        writeBytes(path(), "[ANY]\r\nYesBeep_Mess=" + value +
                               "\r\n[START]\r\nMinimizeOnStart=" + value + "\r\n");
    }
    const Settings settings = SettingsFile::load(path());
    QCOMPARE(settings.yesBeepMess, beep);
    QCOMPARE(settings.minimizeOnStart, minimize);
    QVERIFY(settings.yesPopUpMess && settings.yesPopUpCorr && settings.yesBeepCorr);
}

void SettingsFileTest::texts_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("myName");
    QTest::addColumn<QString>("textBeepCorr");
    QTest::newRow("missing file") << QByteArray() << u"???"_s << QString();
    QTest::newRow("missing keys") << QByteArray("[ANY]\r\nOther=1\r\n") << u"???"_s << QString();
    QTest::newRow("present but empty")
        << QByteArray("[ANY]\r\nMyName=\r\nTextBeep_Corr=\r\n") << QString() << QString();
    QTest::newRow("blanks and quotes")
        << cp1251(u"[ANY]\r\nMyName=  иван \r\nTextBeep_Corr=\"  Пётр \"\r\n"_s) << u"иван"_s
        << u"  Пётр "_s;
}

void SettingsFileTest::texts() {
    QFETCH(QByteArray, file);
    if (!file.isEmpty()) {
        writeBytes(path(), file);
    }
    const Settings settings = SettingsFile::load(path());
    QTEST(settings.myName, "myName");
    QTEST(settings.textBeepCorr, "textBeepCorr");
}

void SettingsFileTest::writtenFromScratchAndReadBack() {
    SettingsFile::save(path(), Settings{});
    QCOMPARE(readBytes(path()), QByteArray("[ANY]\r\n"
                                           "MyName=???\r\n"
                                           "YesPopUp_Mess=1\r\n"
                                           "TextPopUp_Mess=\r\n"
                                           "YesPopUp_Corr=1\r\n"
                                           "TextPopUp_Corr=\r\n"
                                           "YesBeep_Mess=1\r\n"
                                           "TextBeep_Mess=\r\n"
                                           "YesBeep_Corr=1\r\n"
                                           "TextBeep_Corr=\r\n"
                                           "\r\n"
                                           "[START]\r\n"
                                           "MinimizeOnStart=0\r\n"));

    const Settings changed{u"ИВАН ПЕТРОВ"_s, false, u"СЕРГЕЙ"_s, false, u"ёлка №1"_s, false,
                           u"a=b;c"_s,       false, u"[x]"_s,    true};
    SettingsFile::save(path(), changed);
    QCOMPARE(SettingsFile::load(path()), changed);
}

void SettingsFileTest::foreignSectionAndCommentSurviveSave() {
    writeBytes(path(), cp1251(u"; written by hand\r\n"
                              "[Window]\r\n"
                              "Left=10\r\n"
                              "\r\n"
                              "[any]\r\n"
                              "myname=Пётр\r\n"_s));
    Settings settings = SettingsFile::load(path());
    QCOMPARE(settings.myName, u"Пётр"_s);
    settings.myName = u"ИВАН"_s;
    SettingsFile::save(path(), settings);

    const QString text = Cp1251::decode(readBytes(path()));
    QVERIFY2(text.startsWith(u"; written by hand\r\n[Window]\r\nLeft=10\r\n\r\n[any]\r\n"
                             "myname=ИВАН\r\nYesPopUp_Mess=1\r\n"_s),
             qPrintable(text));
    QVERIFY2(text.endsWith(u"TextBeep_Corr=\r\n\r\n[START]\r\nMinimizeOnStart=0\r\n"_s),
             qPrintable(text));
    QCOMPARE(SettingsFile::load(path()), settings);
}

QTEST_GUILESS_MAIN(SettingsFileTest)
#include "test_settings_file.moc"
