#include "text/Cp1251.h"
#include "text/Normalization.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TextTest : public QObject {
    Q_OBJECT
  private slots:
    void cutSpacesRemovesOnlyBlanks_data();
    void cutSpacesRemovesOnlyBlanks();
    void upCaseCyrUsesTheFixedTable();
    void codecRoundTripsEveryByte();
    void codecMapsTheKnownCharacters();
    void typedTextIsComposedThenRestricted();
};

void TextTest::cutSpacesRemovesOnlyBlanks_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("around") << u"  иван  "_s << u"иван"_s;
    QTest::newRow("inner blanks stay") << u" a  b "_s << u"a  b"_s;
    QTest::newRow("leading tab stays") << u"\tx "_s << u"\tx"_s;
    QTest::newRow("trailing tab stays") << u" x\t"_s << u"x\t"_s;
    QTest::newRow("blanks only") << u"    "_s << QString();
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("no-break space is no blank") << u"\u00A0x\u00A0"_s << u"\u00A0x\u00A0"_s;
}

void TextTest::cutSpacesRemovesOnlyBlanks() {
    QFETCH(QString, input);
    QFETCH(QString, expected);
    cutSpaces(input);
    QCOMPARE(input, expected);
}

void TextTest::upCaseCyrUsesTheFixedTable() {
    QString text = u"ёлка Test і"_s;
    upperCaseRussianLatin(text);
    QCOMPARE(text, u"ЁЛКА TEST і"_s);

    // Every lower-case letter of the table, and nothing else, changes.
    QString all = u"абвгдеёжзийклмнопрстуфхцчшщъыьэюяabcdefghijklmnopqrstuvwxyz"_s;
    upperCaseRussianLatin(all);
    QCOMPARE(all, u"АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯABCDEFGHIJKLMNOPQRSTUVWXYZ"_s);
    QString others = u"їєўґђѓќљњћџ 09_|_~#&!^ ÀÉ ß"_s;
    const QString before = others;
    upperCaseRussianLatin(others);
    QCOMPARE(others, before);
}

void TextTest::codecRoundTripsEveryByte() {
    QByteArray bytes;
    for (int b = 1; b <= 0xFF; ++b) {
        bytes.append(static_cast<char>(b));
    }
    const QString text = Cp1251::decode(bytes);
    QCOMPARE(text.size(), 255);
    QCOMPARE(Cp1251::encode(text), bytes);
    // A bijection: no two bytes give the same character.
    QSet<QChar> seen;
    for (const QChar ch : text) {
        QVERIFY(Cp1251::contains(ch));
        seen.insert(ch);
    }
    QCOMPARE(seen.size(), 255);
}

void TextTest::codecMapsTheKnownCharacters() {
    QCOMPARE(Cp1251::encode(u"ИВАН: привет"_s),
             QByteArray("\xC8\xC2\xC0\xCD: \xEF\xF0\xE8\xE2\xE5\xF2"));
    QCOMPARE(Cp1251::decode(QByteArray("\xA8\xB8\xB9\x98\x88")), u"Ёё№\u0098€"_s);
    QCOMPARE(Cp1251::encode(u"a\u4E2Db"_s), QByteArray("a?b"));
}

void TextTest::typedTextIsComposedThenRestricted() {
    // и + combining breve is й; е + combining diaeresis is ё.
    QCOMPARE(Cp1251::fromTyped(u"\u0438\u0306\u0435\u0308"_s), u"йё"_s);
    // One "?" per character outside the code page, a surrogate pair included.
    QCOMPARE(Cp1251::fromTyped(u"a\U0001F600b\u4E2D"_s), u"a?b?"_s);
    QCOMPARE(Cp1251::fromTyped(QString(QChar(0)) + u"x"_s), u"?x"_s);
    QCOMPARE(Cp1251::fromTyped(u"Привет, world!"_s), u"Привет, world!"_s);
}

QTEST_APPLESS_MAIN(TextTest)
#include "test_text.moc"
