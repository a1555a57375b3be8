#include "core/Entry.h"
#include "core/EntryList.h"
#include "core/RosterOrder.h"
#include "core/SelfName.h"

#include <QTest>

using namespace Qt::StringLiterals;

class EntriesTest : public QObject {
    Q_OBJECT
  private slots:
    void makeEntryNormalisesBothParts();
    void splitEntryCases_data();
    void splitEntryCases();
    void selfNameIsCutAndUpperCased();
    void directoryKeepsOrderAndSelection();
    void replaceAtMinusOneAppendsWithoutSelection();
    void indexOfIgnoresCase();
    void rosterSortsIndependentlyOfLocale();
};

void EntriesTest::makeEntryNormalisesBothParts() {
    QCOMPARE(makeEntry(u"  иван  "_s, u" 192.168.0.5 "_s), u"ИВАН _|_ 192.168.0.5"_s);
    QCOMPARE(makeEntry(QString(), QString()), u" _|_ "_s);
    QCOMPARE(makeEntry(u"ёж host"_s, u"pc.local"_s), u"ЁЖ HOST _|_ PC.LOCAL"_s);
}

void EntriesTest::splitEntryCases_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("isEntry");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("address");
    QTest::newRow("empty entry") << u" _|_ "_s << true << QString() << QString();
    QTest::newRow("no separator") << u"ИВАН"_s << false << QString() << QString();
    QTest::newRow("blanks only") << u"     "_s << false << QString() << QString();
    QTest::newRow("first separator") << u"A _|_ B _|_ C"_s << true << u"A"_s << u"B _|_ C"_s;
    QTest::newRow("case kept") << u"   Пётр   _|_   10.0.0.7   "_s << true << u"Пётр"_s
                               << u"10.0.0.7"_s;
    QTest::newRow("no blanks") << u"x_|_y"_s << true << u"x"_s << u"y"_s;
    QTest::newRow("tab kept") << u"\tИ _|_ 1\t"_s << true << u"\tИ"_s << u"1\t"_s;
    const QString longName(300, u'Ж');
    QTest::newRow("long name") << (longName + u" _|_ 1.2.3.4"_s) << true << longName
                               << u"1.2.3.4"_s;
}

void EntriesTest::splitEntryCases() {
    QFETCH(QString, entry);
    QFETCH(bool, isEntry);
    QString name = u"junk"_s;
    QString address = u"junk"_s;
    QCOMPARE(splitEntry(entry, name, address), isEntry);
    QTEST(name, "name");
    QTEST(address, "address");
}

void EntriesTest::selfNameIsCutAndUpperCased() {
    QCOMPARE(normalizeSelfName(u"  петров "_s), u"ПЕТРОВ"_s);
    QCOMPARE(normalizeSelfName(u"   "_s), QString());
    // Protocol text in a name is spoilt by its first letter, in the typed
    // text at the same place, case and blanks kept.
    QCOMPARE(normalizeSelfName(u" autodetect0 "_s), u"?UTODETECT0"_s);
    QCOMPARE(cleanTypedSelfName(u"  я autodetect0"_s), u"  я ?utodetect0"_s);
    QCOMPARE(cleanTypedSelfName(u"mynameis2:mynameis3:"_s), u"?ynameis2:?ynameis3:"_s);
    QCOMPARE(cleanTypedSelfName(u"~#&!^~:x"_s), u"?#&!^~:x"_s);
    QCOMPARE(cleanTypedSelfName(u"a~_^Bb"_s), u"a?_^Bb"_s);
    // With ": " behind it in a chat text this name would be the prefix.
    QCOMPARE(cleanTypedSelfName(u"~#&!^~"_s), u"?#&!^~"_s);
    QCOMPARE(cleanTypedSelfName(u"Пётр AUTODETECT"_s), u"Пётр AUTODETECT"_s);
}

void EntriesTest::directoryKeepsOrderAndSelection() {
    EntryList list(EntryList::Order::AsGiven);
    list.add(u"c"_s);
    list.add(u"a"_s);
    list.insert(0, u"b"_s);
    QCOMPARE(list.lines(), (QStringList{u"b"_s, u"c"_s, u"a"_s}));
    QCOMPARE(list.selectedIndex(), -1);
    list.setSelectedIndex(2);
    QCOMPARE(list.selectedIndex(), 2);
    list.replace(2, u"z"_s);
    QCOMPARE(list.selectedIndex(), 2);
    QCOMPARE(list.line(2), u"z"_s);
    list.remove(0);
    QCOMPARE(list.lines(), (QStringList{u"c"_s, u"z"_s}));
    QCOMPARE(list.selectedIndex(), 1);  // the selection follows its line
    list.setSelectedIndex(-1);
    QCOMPARE(list.selectedIndex(), -1);
    list.setSelectedIndex(7);
    QCOMPARE(list.selectedIndex(), -1);
    list.setLines({u"x"_s});
    QCOMPARE(list.count(), 1);
    QCOMPARE(list.selectedIndex(), -1);
}

void EntriesTest::replaceAtMinusOneAppendsWithoutSelection() {
    EntryList list(EntryList::Order::AsGiven);
    list.add(u"a"_s);
    list.replace(-1, u"b"_s);
    QCOMPARE(list.lines(), (QStringList{u"a"_s, u"b"_s}));
    QCOMPARE(list.selectedIndex(), -1);
}

void EntriesTest::indexOfIgnoresCase() {
    EntryList list(EntryList::Order::AsGiven);
    list.add(u"Иван _|_ 1.1.1.1"_s);
    list.add(u"ИВАН _|_ 1.1.1.1"_s);
    QCOMPARE(list.indexOf(u"иВАН _|_ 1.1.1.1"_s), 0);
    QCOMPARE(list.indexOf(u"Пётр _|_ 1.1.1.1"_s), -1);
    QCOMPARE(list.indexOf(u"ИВАН _|_ 1.1.1.1 "_s), -1);  // whole lines only

    // A sorted list, searched by halving, finds the first of the equal
    // lines; it stays sorted when its content is replaced.
    EntryList roster(EntryList::Order::Sorted);
    roster.setLines({u"ЖАННА"_s, u"ёлка"_s, u"еж"_s, u"ЕЖ"_s, u"ANNA"_s});
    QCOMPARE(roster.lines(), (QStringList{u"ANNA"_s, u"еж"_s, u"ЕЖ"_s, u"ёлка"_s, u"ЖАННА"_s}));
    QCOMPARE(roster.indexOf(u"Еж"_s), 1);
    QCOMPARE(roster.indexOf(u"ЁЛКА"_s), 3);
    QCOMPARE(roster.indexOf(u"ЖАННА"_s), 4);
    QCOMPARE(roster.indexOf(u"елка"_s), -1);
    QCOMPARE(roster.indexOf(u"ANN"_s), -1);
    QCOMPARE(roster.indexOf(u"яя"_s), -1);
}

void EntriesTest::rosterSortsIndependentlyOfLocale() {
    EntryList roster(EntryList::Order::Sorted);
    for (const QString& line : {u"ЖАННА"_s, u"ёлка"_s, u"ЕЛЕНА"_s, u"ivan"_s, u"Ёж"_s, u"АННА"_s,
                                u"еж"_s, u"ANNA"_s, u"ЕЛЕНА"_s}) {
        roster.add(line);
    }
    QCOMPARE(roster.lines(), (QStringList{u"ANNA"_s, u"ivan"_s, u"АННА"_s, u"еж"_s, u"ЕЛЕНА"_s,
                                          u"ЕЛЕНА"_s, u"Ёж"_s, u"ёлка"_s, u"ЖАННА"_s}));
    // A new line goes after the lines equal to it, ignoring case.
    roster.add(u"еЛЕНА"_s);
    QCOMPARE(roster.line(6), u"еЛЕНА"_s);
    QVERIFY(compareRosterLines(u"АБ", u"аб") == 0);
    QVERIFY(compareRosterLines(u"АБ", u"АБВ") < 0);
    QVERIFY(compareRosterLines(u"Ё", u"Ж") < 0);
    QVERIFY(compareRosterLines(u"Е", u"ё") < 0);
}

QTEST_APPLESS_MAIN(EntriesTest)
#include "test_entries.moc"
