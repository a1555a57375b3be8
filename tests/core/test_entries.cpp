#include "core/Entry.h"
#include "core/EntryList.h"
#include "core/RosterOrder.h"
#include "core/SelfName.h"

#include <QRandomGenerator>
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
    void matchKeyAgreesWithCompare();
    void caseVariantsAreOneLine();
    void indexFollowsEveryEdit();
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
    const EntryParts parts = splitEntry(entry);
    QCOMPARE(parts.isEntry, isEntry);
    QTEST(parts.name, "name");
    QTEST(parts.address, "address");
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

namespace {

// The first line equal to text ignoring case, read line by line: the answer
// the index must give.
int scanIndex(const QStringList& lines, const QString& text) {
    for (int i = 0; i < lines.size(); ++i) {
        if (lines.at(i).compare(text, Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
}

QString ucs4(char32_t code) {
    return QString::fromUcs4(&code, 1);
}

// Lines that differ in case only, in several scripts, then a pair of code
// points beyond 0x10000 that fold together (Deseret), lone surrogates, and
// a line that is never there.
QStringList probeLines() {
    return {u"Иван _|_ 10.0.0.1"_s,
            u"ИВАН _|_ 10.0.0.1"_s,
            u"ПЁТР _|_ 10.0.0.2"_s,
            u"пётр _|_ 10.0.0.2"_s,
            u"ПЕТР _|_ 10.0.0.2"_s,
            u"A"_s,
            u"a"_s,
            QString(),
            u"ß"_s,
            u"ẞ"_s,
            ucs4(0x10400),
            ucs4(0x10428),
            QString(QChar(0xDC00)),
            QString(QChar(0xD801)) + u"A"_s,
            QString(QChar(0xD801)) + u"a"_s,
            u"nowhere"_s};
}

// Every probe is found where a plain scan finds it, for both questions.
bool indexAgreesWithScan(const EntryList& list, const QStringList& probes = probeLines()) {
    const QStringList lines = list.lines();
    for (const QString& probe : probes) {
        const int expected = scanIndex(lines, probe);
        if (list.indexOf(probe) != expected || list.contains(probe) != (expected >= 0)) {
            qWarning() << "probe" << probe << "expected" << expected << "got" << list.indexOf(probe)
                       << list.contains(probe) << "in" << lines;
            return false;
        }
    }
    return true;
}

}  // namespace

void EntriesTest::matchKeyAgreesWithCompare() {
    // Every code point against its other cases: equal keys exactly when
    // compare calls them equal, and one unit folds as QChar folds it.
    int checked = 0;
    for (char32_t code = 0; code <= QChar::LastValidCodePoint; ++code) {
        if (QChar::isSurrogate(code)) {
            continue;
        }
        const char32_t cases[] = {QChar::toUpper(code), QChar::toLower(code),
                                  QChar::toTitleCase(code), QChar::toCaseFolded(code)};
        if (code < 0x10000 && EntryList::matchKey(ucs4(code)) != ucs4(QChar::toCaseFolded(code))) {
            QFAIL(qPrintable(u"U+%1 is not folded as QChar folds it"_s.arg(code, 0, 16)));
        }
        for (const char32_t other : cases) {
            if (other == code) {
                continue;
            }
            ++checked;
            const bool equal = ucs4(code).compare(ucs4(other), Qt::CaseInsensitive) == 0;
            if (equal != (EntryList::matchKey(ucs4(code)) == EntryList::matchKey(ucs4(other)))) {
                QFAIL(qPrintable(u"U+%1 and U+%2"_s.arg(code, 0, 16).arg(other, 0, 16)));
            }
        }
    }
    QVERIFY(checked > 2000);

    // Lines of several units, surrogates among them, pair by pair.
    const QStringList lines =
        probeLines() +
        QStringList{u"КИРИЛЛИЦА и Latin"_s,          u"кириллица И lATIN"_s,
                    QString(QChar(0xD801)),          QString(QChar(0xDC28)),
                    u"x"_s + ucs4(0x10400) + u"y"_s, u"X"_s + ucs4(0x10428) + u"Y"_s};
    for (const QString& a : lines) {
        for (const QString& b : lines) {
            QCOMPARE(EntryList::matchKey(a) == EntryList::matchKey(b),
                     a.compare(b, Qt::CaseInsensitive) == 0);
        }
    }
}

void EntriesTest::caseVariantsAreOneLine() {
    EntryList list(EntryList::Order::AsGiven);
    list.setLines({u"Пётр _|_ 10.0.0.2"_s, u"Иван _|_ 10.0.0.1"_s, u"ИВАН _|_ 10.0.0.1"_s});
    QVERIFY(list.contains(u"иВаН _|_ 10.0.0.1"_s));
    QCOMPARE(list.indexOf(u"ИВАН _|_ 10.0.0.1"_s), 1);  // the first of the two
    QVERIFY(!list.contains(u"ИВАН _|_ 10.0.0.10"_s));
    QVERIFY(!list.contains(u"ПЕТР _|_ 10.0.0.2"_s));  // Е is not Ё
    list.remove(1);
    QCOMPARE(list.indexOf(u"иван _|_ 10.0.0.1"_s), 1);
    list.remove(1);
    QVERIFY(!list.contains(u"иван _|_ 10.0.0.1"_s));

    EntryList roster(EntryList::Order::Sorted);
    roster.setLines({u"ИВАН _|_ 10.0.0.1"_s, u"Иван _|_ 10.0.0.1"_s});
    roster.remove(0);
    QVERIFY(roster.contains(u"иван _|_ 10.0.0.1"_s));
    roster.remove(0);
    QVERIFY(!roster.contains(u"иван _|_ 10.0.0.1"_s));
}

void EntriesTest::indexFollowsEveryEdit() {
    // The list's methods and edits made straight on the model, as a view or
    // a command could make them, in a long random mix, checked after each
    // step. The roster's order folds unit by unit, so a pair beyond 0x10000
    // is not one line to it: its probes stop before them.
    QRandomGenerator random(19);  // fixed, so that a failure repeats
    for (const EntryList::Order order : {EntryList::Order::AsGiven, EntryList::Order::Sorted}) {
        const bool sorted = order == EntryList::Order::Sorted;
        const QStringList probes = sorted ? probeLines().mid(0, 10) : probeLines();
        EntryList list(order);
        QStringListModel& model = *list.model();
        for (int step = 0; step < 2000; ++step) {
            const QString text = probes.at(random.bounded(int(probes.size())));
            const int rows = list.count();
            const int at = random.bounded(-1, rows + 2);
            const int many = random.bounded(1, 4);
            switch (random.bounded(sorted ? 4 : 11)) {
                case 0:
                    list.add(text);
                    break;
                case 1:
                    list.remove(at);
                    break;
                case 2:
                    list.insert(at, text);
                    list.setSelectedIndex(at);
                    break;
                case 3:
                    if (random.bounded(20) == 0) {
                        list.setLines(random.bounded(2) == 0 ? QStringList() : probes);
                    }
                    break;
                // The rest would unsort a sorted list.
                case 4:
                    list.replace(at, text);
                    break;
                case 5:
                    model.setData(model.index(at), text);
                    break;
                case 6:
                    model.insertRows(std::clamp(at, 0, rows), many);  // empty lines
                    break;
                case 7:
                    model.removeRows(std::max(at, 0), std::min(many, rows - std::max(at, 0)));
                    break;
                case 8:
                    model.moveRows(QModelIndex(), 0, std::min(many, rows), QModelIndex(), rows);
                    break;
                case 9:
                    model.setItemData(model.index(at), {{Qt::DisplayRole, text}});
                    model.clearItemData(model.index(rows - at));
                    break;
                case 10:
                    model.sort(0,
                               random.bounded(2) == 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
                    break;
            }
            if (!indexAgreesWithScan(list, probes)) {
                QFAIL(qPrintable(u"step %1"_s.arg(step)));
            }
        }
    }
}

QTEST_APPLESS_MAIN(EntriesTest)
#include "test_entries.moc"
