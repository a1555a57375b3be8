// Several copies of the conference talking over the in-process network:
// presence, chat, exit notices, link check, directory sharing, failed sends
// and dispatches nested inside a handler's event loop.
#include "support/ConferencePeer.h"

#include "net/UdpSocketError.h"

#include <QEventLoop>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

const QString kIvanIP = u"10.0.0.1"_s;
const QString kPetrIP = u"10.0.0.2"_s;
const QString kMariaIP = u"10.0.0.3"_s;

QString registration(const QString& name) {
    return u"~#&!^~:MYNAMEIS2:"_s + name;
}
QString answer(const QString& name) {
    return u"~#&!^~:MYNAMEIS3:"_s + name;
}
QString wire(const QString& from, const QString& to, const QString& text) {
    return from + u'>' + to + u' ' + text;
}

// Three copies where ИВАН knows everyone and has registered: every roster
// holds ИВАН, ИВАН's roster holds all three.
struct Trio {
    Trio()
        : ivan(network, kIvanIP, u"ИВАН"_s,
               {u"Я _|_ 10.0.0.1"_s, u"Петя _|_ 10.0.0.2"_s, u"Маша _|_ 10.0.0.3"_s}),
          petr(network, kPetrIP, u"ПЕТР"_s),
          maria(network, kMariaIP, u"МАРИЯ"_s) {
        ivan.conference.registerAll();
        network.flush();
        network.clearLog();
    }
    FakeNetwork network;
    ConferencePeer ivan;
    ConferencePeer petr;
    ConferencePeer maria;
};

}  // namespace

class ConferenceTest : public QObject {
    Q_OBJECT
  private slots:
    void registrationBothWaysAndOwnEntry();
    void registrationWithEmptySelfName();
    void selfNameTooLongIsNeverSentOrCut();
    void chatToEveryone();
    void chatToSelectedMember();
    void chatLimits_data();
    void chatLimits();
    void chatWithNothingToDo();
    void exitNotices();
    void linkCheckAnswerRewritesLineSelectedAtArrival();
    void linkCheckWithoutUsableLine();
    void linkCheckResultText();
    void sharingGroupsByEntry();
    void sharingSelectivelyAndSingleEntry();
    void sharingLeavesOutEntriesThatDoNotFit();
    void failedSendsDoNotStopRegistrationOrExit();
    void namesThatReadAsRequestsStartNoReplyStorm();
    void hostNameLookupDispatchesInsideTheLoop();
    void nestedDispatchWhileChatHandlerRunsALoop();
    void burstOfLinkCheckAnswersWhileResultIsShown();
};

void ConferenceTest::registrationBothWaysAndOwnEntry() {
    FakeNetwork network;
    ConferencePeer ivan(network, kIvanIP, u"ИВАН"_s,
                        {u"Я _|_ 10.0.0.1"_s, u"Петя _|_ 10.0.0.2"_s, u"без адреса"_s,
                         u"Маша _|_   "_s, u"Маша _|_ 10.0.0.3"_s});
    ConferencePeer petr(network, kPetrIP, u"ПЕТР"_s);
    ConferencePeer maria(network, kMariaIP, u"МАРИЯ"_s, {u"Я _|_ 10.0.0.3"_s});

    QCOMPARE(ivan.conference.registerAll(), PresenceOutcome::Done);
    // Sent at once, in directory order; lines without an address are skipped.
    QCOMPARE(describeVisibleLog(network),
             (QStringList{wire(kIvanIP, kIvanIP, registration(u"ИВАН"_s)),
                          wire(kIvanIP, kPetrIP, registration(u"ИВАН"_s)),
                          wire(kIvanIP, kMariaIP, registration(u"ИВАН"_s))}));
    QCOMPARE(visibleLog(network).first().bytes.size(), 21);
    network.flush();

    // Every registration is answered, the own one included.
    QCOMPARE(describeVisibleLog(network).mid(3),
             (QStringList{wire(kIvanIP, kIvanIP, answer(u"ИВАН"_s)),
                          wire(kPetrIP, kIvanIP, answer(u"ПЕТР"_s)),
                          wire(kMariaIP, kIvanIP, answer(u"МАРИЯ"_s))}));
    QCOMPARE(ivan.roster(), (QStringList{u"ИВАН _|_ 10.0.0.1"_s, u"МАРИЯ _|_ 10.0.0.3"_s,
                                         u"ПЕТР _|_ 10.0.0.2"_s}));
    QCOMPARE(petr.roster(), QStringList{u"ИВАН _|_ 10.0.0.1"_s});
    QCOMPARE(maria.roster(), QStringList{u"ИВАН _|_ 10.0.0.1"_s});
    // The own answer finds the own line present: one alert per real addition.
    QCOMPARE(ivan.added, (QStringList{u"ИВАН"_s, u"ПЕТР"_s, u"МАРИЯ"_s}));
    QCOMPARE(petr.added, QStringList{u"ИВАН"_s});

    // Registering again is answered again and adds nothing.
    network.clearLog();
    ivan.conference.registerAll();
    network.flush();
    QCOMPARE(visibleLog(network).size(), 6);
    QCOMPARE(ivan.added.size(), 3);
    QCOMPARE(petr.added.size(), 1);

    // A copy with only itself in its directory finds itself.
    maria.conference.registerAll();
    network.flush();
    QCOMPARE(maria.roster(), (QStringList{u"ИВАН _|_ 10.0.0.1"_s, u"МАРИЯ _|_ 10.0.0.3"_s}));

    QCOMPARE(petr.conference.registerAll(), PresenceOutcome::NothingToDo);
    QVERIFY(ivan.errors.isEmpty() && petr.errors.isEmpty() && maria.errors.isEmpty());
}

void ConferenceTest::registrationWithEmptySelfName() {
    FakeNetwork network;
    ConferencePeer ivan(network, kIvanIP, QString(), {u"П _|_ 10.0.0.2"_s});
    ConferencePeer petr(network, kPetrIP, u"ПЕТР"_s);
    ivan.conference.registerAll();
    QCOMPARE(visibleLog(network).first().bytes, QByteArray("~#&!^~:MYNAMEIS2:"));
    QCOMPARE(visibleLog(network).first().bytes.size(), 17);
    network.flush();
    QCOMPARE(petr.roster(), QStringList{u" _|_ 10.0.0.1"_s});
    QCOMPARE(petr.added, QStringList{QString()});
}

void ConferenceTest::selfNameTooLongIsNeverSentOrCut() {
    FakeNetwork network;
    const QString longest(238, u'Ж');
    ConferencePeer ivan(network, kIvanIP, longest, {u"П _|_ 10.0.0.2"_s});
    ConferencePeer petr(network, kPetrIP, u"ПЕТР"_s, {u"И _|_ 10.0.0.1"_s});

    QCOMPARE(ivan.conference.registerAll(), PresenceOutcome::Done);
    QCOMPARE(visibleLog(network).first().bytes.size(), 255);
    network.flush();
    QCOMPARE(petr.roster(), QStringList{longest + u" _|_ 10.0.0.1"_s});
    QCOMPARE(ivan.roster(), QStringList{u"ПЕТР _|_ 10.0.0.2"_s});

    // One character more: every command that would send the name refuses.
    network.clearLog();
    ivan.conference.setSelfName(longest + u'Ж');
    QCOMPARE(ivan.conference.selfName().size(), 239);
    QCOMPARE(ivan.conference.registerAll(), PresenceOutcome::NameTooLong);
    QCOMPARE(ivan.conference.sendExitNotices(), PresenceOutcome::NameTooLong);
    QCOMPARE(ivan.sendChat(u"привет"_s), ChatOutcome::NameTooLong);
    QCOMPARE(ivan.shareDirectory().outcome, PresenceOutcome::NameTooLong);
    QVERIFY(visibleLog(network).isEmpty());

    // Its answers are not sent either: the registration is recorded, the
    // registering copy does not learn of this one.
    petr.conference.registerAll();
    network.flush();
    QCOMPARE(describeVisibleLog(network),
             QStringList{wire(kPetrIP, kIvanIP, registration(u"ПЕТР"_s))});
    QCOMPARE(ivan.roster().size(), 1);
    QVERIFY(ivan.errors.isEmpty());
}

void ConferenceTest::chatToEveryone() {
    Trio trio;
    QCOMPARE(trio.ivan.sendChat(u"  привет  "_s), ChatOutcome::Sent);
    // In roster order, which is sorted: ИВАН, МАРИЯ, ПЕТР.
    const QString text = u"ИВАН: привет"_s;
    QCOMPARE(describeVisibleLog(trio.network),
             (QStringList{wire(kIvanIP, kIvanIP, text), wire(kIvanIP, kMariaIP, text),
                          wire(kIvanIP, kPetrIP, text)}));
    for (const FakeDatagram& datagram : visibleLog(trio.network)) {
        QCOMPARE(datagram.bytes, Cp1251::encode(text));
        QCOMPARE(datagram.bytes.size(), 12);
    }
    trio.network.flush();
    QCOMPARE(trio.ivan.log, QStringList{text});
    QCOMPARE(trio.petr.log, QStringList{text});
    QCOMPARE(trio.maria.log, QStringList{text});
}

void ConferenceTest::chatToSelectedMember() {
    Trio trio;
    trio.ivan.choice = 1;
    EntryList& roster = trio.ivan.conference.roster();
    roster.setSelectedIndex(roster.indexOf(u"ПЕТР _|_ 10.0.0.2"_s));
    QCOMPARE(trio.ivan.sendChat(u"  привет  "_s), ChatOutcome::Sent);
    QCOMPARE(describeVisibleLog(trio.network),
             QStringList{wire(kIvanIP, kPetrIP, u"*>ИВАН: привет"_s)});
    QCOMPARE(visibleLog(trio.network).first().bytes.size(), 14);
    trio.network.flush();
    QCOMPARE(trio.petr.log, QStringList{u"*>ИВАН: привет"_s});
    QVERIFY(trio.ivan.log.isEmpty());
    QVERIFY(trio.maria.log.isEmpty());

    // A choice index of -1 counts as "Всем".
    trio.network.clearLog();
    trio.ivan.choice = -1;
    QCOMPARE(trio.ivan.sendChat(u"всем"_s), ChatOutcome::Sent);
    QCOMPARE(visibleLog(trio.network).size(), 3);
}

void ConferenceTest::chatLimits_data() {
    QTest::addColumn<int>("choice");
    QTest::addColumn<int>("messageLength");
    QTest::addColumn<ChatOutcome>("outcome");
    // "ИВАН: " is 6 characters, the private marker 2 more.
    QTest::newRow("to all, 255") << 0 << 249 << ChatOutcome::Sent;
    QTest::newRow("to all, 256") << 0 << 250 << ChatOutcome::TooLong;
    QTest::newRow("selected, 255") << 1 << 247 << ChatOutcome::Sent;
    QTest::newRow("selected, 256") << 1 << 248 << ChatOutcome::TooLong;
}

void ConferenceTest::chatLimits() {
    QFETCH(int, choice);
    QFETCH(int, messageLength);
    QFETCH(ChatOutcome, outcome);
    Trio trio;
    trio.ivan.choice = choice;
    trio.ivan.conference.roster().setSelectedIndex(0);  // the own entry
    // Blanks around the message do not count: the limit is on the text sent.
    const QString message = QString(messageLength, u'ы');
    QCOMPARE(trio.ivan.sendChat(u"   "_s + message + u"   "_s), outcome);
    trio.network.flush();
    if (outcome == ChatOutcome::TooLong) {
        QVERIFY(visibleLog(trio.network).isEmpty());
        return;
    }
    QCOMPARE(visibleLog(trio.network).first().bytes.size(), 255);
    // Sent and received whole, never cut.
    QCOMPARE(trio.ivan.log.size(), 1);
    QCOMPARE(trio.ivan.log.first().size(), 255);
    QVERIFY(trio.ivan.log.first().endsWith(message));
}

void ConferenceTest::chatWithNothingToDo() {
    Trio trio;
    QCOMPARE(trio.ivan.sendChat(u"    "_s), ChatOutcome::EmptyMessage);
    QCOMPARE(trio.ivan.sendChat(QString()), ChatOutcome::EmptyMessage);
    trio.ivan.choice = 1;
    trio.ivan.conference.roster().setSelectedIndex(-1);
    QCOMPARE(trio.ivan.sendChat(u"кому?"_s), ChatOutcome::NothingToSend);
    FakeNetwork network;
    ConferencePeer lonely(network, u"10.0.0.9"_s, u"ОДИН"_s);
    QCOMPARE(lonely.sendChat(u"есть кто?"_s), ChatOutcome::NothingToSend);
    QVERIFY(visibleLog(trio.network).isEmpty());
    QVERIFY(visibleLog(network).isEmpty());
}

void ConferenceTest::exitNotices() {
    Trio trio;
    trio.petr.conference.directory().setLines({u"Иван _|_ 10.0.0.1"_s});
    trio.petr.conference.registerAll();
    trio.network.flush();
    QVERIFY(trio.ivan.roster().contains(u"ПЕТР _|_ 10.0.0.2"_s));

    // A notice under another name removes nothing.
    trio.network.clearLog();
    trio.petr.conference.setSelfName(u"ПЁТР"_s);
    QCOMPARE(trio.petr.conference.sendExitNotices(), PresenceOutcome::Done);
    trio.network.flush();
    QVERIFY(trio.ivan.roster().contains(u"ПЕТР _|_ 10.0.0.2"_s));

    trio.petr.conference.setSelfName(u"ПЕТР"_s);
    trio.petr.conference.sendExitNotices();
    trio.network.flush();
    QCOMPARE(trio.ivan.roster(), (QStringList{u"ИВАН _|_ 10.0.0.1"_s, u"МАРИЯ _|_ 10.0.0.3"_s}));

    // Notices go to the directory, not the roster, and leave no other trace.
    trio.network.clearLog();
    QCOMPARE(trio.ivan.conference.sendExitNotices(), PresenceOutcome::Done);
    QCOMPARE(visibleLog(trio.network).size(), 3);
    QCOMPARE(visibleLog(trio.network).first().bytes, Cp1251::encode(u"~#&!^~:IAMEXIT:ИВАН"_s));
    trio.network.flush();
    QCOMPARE(trio.ivan.roster(), QStringList{u"МАРИЯ _|_ 10.0.0.3"_s});
    QVERIFY(trio.petr.roster().isEmpty());
    QVERIFY(trio.maria.roster().isEmpty());
    QVERIFY(trio.maria.log.isEmpty());
    QCOMPARE(trio.maria.added.size(), 1);  // ИВАН, when the trio met
    QCOMPARE(trio.maria.conference.sendExitNotices(), PresenceOutcome::NothingToDo);
}

void ConferenceTest::linkCheckAnswerRewritesLineSelectedAtArrival() {
    Trio trio;
    EntryList& directory = trio.ivan.conference.directory();

    // Checked the third line, the second is selected when the answer comes.
    directory.setSelectedIndex(2);
    QCOMPARE(trio.ivan.conference.checkLink(), LinkCheckOutcome::Sent);
    QCOMPARE(describeVisibleLog(trio.network),
             QStringList{wire(kIvanIP, kMariaIP, u"~#&!^~:AUTODETECT1"_s)});
    QCOMPARE(visibleLog(trio.network).first().bytes.size(), 18);
    directory.setSelectedIndex(1);
    trio.network.flush();
    QCOMPARE(describeVisibleLog(trio.network).last(),
             wire(kMariaIP, kIvanIP, u"~#&!^~:MYNAMEIS1:МАРИЯ"_s));
    QCOMPARE(trio.ivan.directory(),
             (QStringList{u"Я _|_ 10.0.0.1"_s, u"МАРИЯ _|_ 10.0.0.3"_s, u"Маша _|_ 10.0.0.3"_s}));
    QCOMPARE(directory.selectedIndex(), 1);
    QCOMPARE(trio.ivan.answers, (QList<QPair<QString, QString>>{{kMariaIP, u"МАРИЯ"_s}}));

    // With no line selected the answer is appended and nothing is selected.
    directory.setSelectedIndex(0);
    trio.ivan.conference.checkLink();
    directory.setSelectedIndex(-1);
    trio.network.flush();
    QCOMPARE(trio.ivan.directory().size(), 4);
    QCOMPARE(trio.ivan.directory().last(), u"ИВАН _|_ 10.0.0.1"_s);
    QCOMPARE(directory.selectedIndex(), -1);

    // The name is given as received, markup included; the line normalises it.
    trio.network.inject(u"10.0.0.7"_s, kIvanIP,
                        Cp1251::encode(u"~#&!^~:MYNAMEIS1: <b>Вова</b> "_s));
    trio.network.flush();
    QCOMPARE(trio.ivan.answers.last(), (QPair<QString, QString>{u"10.0.0.7"_s, u"<b>Вова</b>"_s}));
    QCOMPARE(trio.ivan.directory().last(), u"<B>ВОВА</B> _|_ 10.0.0.7"_s);
    QVERIFY(trio.ivan.log.isEmpty());
    QVERIFY(trio.maria.log.isEmpty());
}

void ConferenceTest::linkCheckWithoutUsableLine() {
    FakeNetwork network;
    ConferencePeer ivan(network, kIvanIP, u"ИВАН"_s,
                        {u"без адреса"_s, u"   Кто-то _|_    "_s, u"  П _|_ 10.0.0.2  "_s});
    EntryList& directory = ivan.conference.directory();
    QCOMPARE(ivan.conference.checkLink(), LinkCheckOutcome::NothingSelected);
    directory.setSelectedIndex(0);
    QCOMPARE(ivan.conference.checkLink(), LinkCheckOutcome::IncorrectCorrespondent);
    directory.setSelectedIndex(1);
    QCOMPARE(ivan.conference.checkLink(), LinkCheckOutcome::IncorrectCorrespondent);
    QVERIFY(visibleLog(network).isEmpty());
    // Blanks around the line do not reach the address.
    directory.setSelectedIndex(2);
    QCOMPARE(ivan.conference.checkLink(), LinkCheckOutcome::Sent);
    QCOMPARE(visibleLog(network).first().to, kPetrIP);
}

void ConferenceTest::linkCheckResultText() {
    const QString text = ConferenceTexts::linkCheckResult(u"10.0.0.7"_s, u"Иван"_s);
    QCOMPARE(text, u"Проверка связи -> ОК.  Имя корреспондента (10.0.0.7) =\"Иван\""_s);
    const qsizetype ok = text.indexOf(u"К."_s) - 1;
    QCOMPARE(text.at(ok).unicode(), char16_t(0x041E));      // Cyrillic О
    QCOMPARE(text.at(ok + 1).unicode(), char16_t(0x041A));  // Cyrillic К
}

void ConferenceTest::sharingGroupsByEntry() {
    FakeNetwork network;
    ConferencePeer ivan(
        network, kIvanIP, u"ИВАН"_s,
        {u" Петя _|_ 10.0.0.2 "_s, u"Маша _|_ 10.0.0.3"_s, u"   "_s, u"Друг _|_ 10.0.0.9"_s});
    ConferencePeer petr(network, kPetrIP, u"ПЕТР"_s, {u"маша _|_ 10.0.0.3"_s});
    ConferencePeer maria(network, kMariaIP, u"МАРИЯ"_s);
    ivan.conference.registerAll();
    network.flush();
    network.clearLog();
    QCOMPARE(ivan.roster(), (QStringList{u"МАРИЯ _|_ 10.0.0.3"_s, u"ПЕТР _|_ 10.0.0.2"_s}));

    const SharingOutcome outcome = ivan.shareDirectory();
    QCOMPARE(outcome.outcome, PresenceOutcome::Done);
    QCOMPARE(outcome.entriesNotSent, 0);
    const auto share = [](const QString& entry) { return u"~#&!^~:NEWADDR:ИВАН~_^B"_s + entry; };
    QCOMPARE(describeVisibleLog(network),
             (QStringList{wire(kIvanIP, kMariaIP, share(u"Петя _|_ 10.0.0.2"_s)),
                          wire(kIvanIP, kPetrIP, share(u"Петя _|_ 10.0.0.2"_s)),
                          wire(kIvanIP, kMariaIP, share(u"Маша _|_ 10.0.0.3"_s)),
                          wire(kIvanIP, kPetrIP, share(u"Маша _|_ 10.0.0.3"_s)),
                          wire(kIvanIP, kMariaIP, share(u"Друг _|_ 10.0.0.9"_s)),
                          wire(kIvanIP, kPetrIP, share(u"Друг _|_ 10.0.0.9"_s))}));
    network.flush();
    // A line held in any letter case is not added again.
    QCOMPARE(petr.directory(),
             (QStringList{u"маша _|_ 10.0.0.3"_s, u"Петя _|_ 10.0.0.2"_s, u"Друг _|_ 10.0.0.9"_s}));
    QCOMPARE(maria.directory(),
             (QStringList{u"Петя _|_ 10.0.0.2"_s, u"Маша _|_ 10.0.0.3"_s, u"Друг _|_ 10.0.0.9"_s}));
}

void ConferenceTest::sharingSelectivelyAndSingleEntry() {
    Trio trio;
    ConferencePeer& ivan = trio.ivan;
    ivan.choice = 1;
    ivan.conference.roster().setSelectedIndex(
        ivan.conference.roster().indexOf(u"ПЕТР _|_ 10.0.0.2"_s));
    QCOMPARE(ivan.shareDirectory().outcome, PresenceOutcome::Done);
    QCOMPARE(visibleLog(trio.network).size(), 3);
    for (const FakeDatagram& datagram : visibleLog(trio.network)) {
        QCOMPARE(datagram.to, kPetrIP);
    }

    trio.network.clearLog();
    ivan.conference.roster().setSelectedIndex(-1);
    ivan.shareDirectory();
    QVERIFY(visibleLog(trio.network).isEmpty());

    // The selected entry, to all three members.
    ivan.choice = 0;
    QCOMPARE(ivan.shareSelectedEntry().outcome, PresenceOutcome::NothingToDo);
    ivan.conference.directory().setSelectedIndex(2);
    QCOMPARE(ivan.shareSelectedEntry().outcome, PresenceOutcome::Done);
    QCOMPARE(describeVisibleLog(trio.network),
             (QStringList{wire(kIvanIP, kIvanIP, u"~#&!^~:NEWADDR:ИВАН~_^BМаша _|_ 10.0.0.3"_s),
                          wire(kIvanIP, kMariaIP, u"~#&!^~:NEWADDR:ИВАН~_^BМаша _|_ 10.0.0.3"_s),
                          wire(kIvanIP, kPetrIP, u"~#&!^~:NEWADDR:ИВАН~_^BМаша _|_ 10.0.0.3"_s)}));
    trio.network.flush();
    // The sender holds its own entries already.
    QCOMPARE(ivan.directory().size(), 3);
}

void ConferenceTest::sharingLeavesOutEntriesThatDoNotFit() {
    Trio trio;
    // Prefix, keyword, "ИВАН" and the relay separator take 23 characters.
    const QString fits = QString(232 - 12, u'ф') + u" _|_ 1.2.3.4"_s;
    const QString tooLong = QString(233 - 12, u'ф') + u" _|_ 1.2.3.4"_s;
    QCOMPARE(fits.size(), 232);
    trio.ivan.conference.directory().setLines({tooLong, fits, tooLong + u'x'});
    const SharingOutcome outcome = trio.ivan.shareDirectory();
    QCOMPARE(outcome.outcome, PresenceOutcome::Done);
    QCOMPARE(outcome.entriesNotSent, 2);
    QCOMPARE(visibleLog(trio.network).size(), 3);  // the one that fits, to each member
    QCOMPARE(visibleLog(trio.network).first().bytes.size(), 255);
    QCOMPARE(ConferenceTexts::entriesNotSent(outcome.entriesNotSent),
             u"Не отправлено записей: 2 (не помещаются в одну датаграмму)."_s);

    trio.ivan.conference.directory().setSelectedIndex(0);
    QCOMPARE(trio.ivan.shareSelectedEntry().entriesNotSent, 1);
}

void ConferenceTest::failedSendsDoNotStopRegistrationOrExit() {
    FakeNetwork network;
    ConferencePeer ivan(network, kIvanIP, u"ИВАН"_s,
                        {u"Плохой _|_ no.such.host"_s, u"П _|_ 10.0.0.2"_s, u"Ноль _|_ 0.0.0.0"_s,
                         u"М _|_ 10.0.0.3"_s});
    ConferencePeer petr(network, kPetrIP, u"ПЕТР"_s);
    ConferencePeer maria(network, kMariaIP, u"МАРИЯ"_s);
    QStringList refusals;
    QObject::connect(&ivan.conference, &Conference::sendRefused,
                     [&refusals](const QString& notice) { refusals.append(notice); });

    const auto expectFailures = [&](auto command) {
        try {
            command();
            QFAIL("the failed sends were not reported");
        } catch (const Exception& error) {
            QCOMPARE(error.message(),
                     u"Не удалось отправить по адресам:\n"
                     u"no.such.host — Host Lookup Canceled\n"
                     u"0.0.0.0 — Null Remote Address"_s);
        }
    };
    // Inside the loop a failed lookup tells nothing: it is in the one report.
    expectFailures([&] { ivan.conference.registerAll(); });
    QCOMPARE(refusals, QStringList());
    QCOMPARE(describeVisibleLog(network),
             (QStringList{wire(kIvanIP, kPetrIP, registration(u"ИВАН"_s)),
                          wire(kIvanIP, kMariaIP, registration(u"ИВАН"_s))}));
    network.flush();
    QCOMPARE(ivan.roster(), (QStringList{u"МАРИЯ _|_ 10.0.0.3"_s, u"ПЕТР _|_ 10.0.0.2"_s}));

    network.clearLog();
    expectFailures([&] { ivan.conference.sendExitNotices(); });
    QCOMPARE(refusals, QStringList());
    QCOMPARE(visibleLog(network).size(), 2);
    // A single send tells first, then raises.
    ivan.conference.directory().setSelectedIndex(0);
    QVERIFY_THROWS_EXCEPTION(HostNotFoundError, ivan.conference.checkLink());
    QCOMPARE(refusals, QStringList{ConferenceTexts::invalidHost()});
    network.flush();
    QVERIFY(petr.roster().isEmpty());
    QVERIFY(maria.roster().isEmpty());
}

void ConferenceTest::namesThatReadAsRequestsStartNoReplyStorm() {
    FakeNetwork network;
    const QStringList everyone{u"А _|_ 10.0.0.1"_s, u"Б _|_ 10.0.0.2"_s};
    ConferencePeer a(network, kIvanIP, normalizeSelfName(u"autodetect0"_s), everyone);
    ConferencePeer b(network, kPetrIP, u"AUTODETECT1 MYNAMEIS2: ~#&!^~: ~_^B"_s, everyone);
    QCOMPARE(a.conference.selfName(), u"?UTODETECT0"_s);
    QCOMPARE(b.conference.selfName(), u"?UTODETECT1 ?YNAMEIS2: ?#&!^~: ?_^B"_s);

    a.conference.registerAll();
    b.conference.registerAll();
    a.conference.directory().setSelectedIndex(0);
    a.conference.checkLink();
    // Each registration is answered once and each request once; then the
    // network is quiet.
    for (int pass = 0; pass < 100 && network.pending() > 0; ++pass) {
        FakeNetwork::processPending();
    }
    QCOMPARE(network.pending(), 0);
    QCOMPARE(visibleLog(network).size(), 4 + 4 + 1 + 1);
    QCOMPARE(a.roster().size(), 2);
    QCOMPARE(b.roster().size(), 2);
}

void ConferenceTest::hostNameLookupDispatchesInsideTheLoop() {
    FakeNetwork network;
    network.addHostName(u"pc-petr"_s, kPetrIP);
    ConferencePeer ivan(network, kIvanIP, u"ИВАН"_s,
                        {u"Я _|_ 10.0.0.1"_s, u"Петя _|_ pc-petr"_s, u"Маша _|_ 10.0.0.3"_s});
    ConferencePeer petr(network, kPetrIP, u"ПЕТР"_s);
    ConferencePeer maria(network, kMariaIP, u"МАРИЯ"_s);

    ivan.conference.registerAll();
    // The lookup wait dispatched the own registration, whose answer went out
    // through the same send buffer before the looked-up send finished.
    const QStringList sent = describeVisibleLog(network);
    const QString ownAnswer = wire(kIvanIP, kIvanIP, answer(u"ИВАН"_s));
    const QString toPetr = wire(kIvanIP, kPetrIP, registration(u"ИВАН"_s));
    QVERIFY(sent.contains(ownAnswer));
    QVERIFY(sent.indexOf(ownAnswer) < sent.indexOf(toPetr));
    QVERIFY(sent.contains(wire(kIvanIP, kMariaIP, registration(u"ИВАН"_s))));
    network.flush();
    // The roster holds the address the answer came from, not the name.
    QCOMPARE(ivan.roster(), (QStringList{u"ИВАН _|_ 10.0.0.1"_s, u"МАРИЯ _|_ 10.0.0.3"_s,
                                         u"ПЕТР _|_ 10.0.0.2"_s}));
}

void ConferenceTest::nestedDispatchWhileChatHandlerRunsALoop() {
    Trio trio;
    int depth = 0;
    int deepest = 0;
    QStringList seenInside;
    QObject::connect(&trio.petr.conference, &Conference::chatLineReceived,
                     [&](const QString& line) {
                         ++depth;
                         deepest = std::max(deepest, depth);
                         if (line.endsWith(u"раз"_s)) {
                             // As a modal box would: run events until the
                             // later lines have been dispatched.
                             QEventLoop loop;
                             QObject::connect(&trio.petr.conference, &Conference::chatLineReceived,
                                              &loop, [&loop](const QString& later) {
                                                  if (later.endsWith(u"три"_s)) {
                                                      loop.quit();
                                                  }
                                              });
                             QTimer::singleShot(10000, &loop, &QEventLoop::quit);  // safety only
                             loop.exec();
                             seenInside = trio.petr.log;
                         }
                         --depth;
                     });
    trio.ivan.choice = 1;
    EntryList& roster = trio.ivan.conference.roster();
    roster.setSelectedIndex(roster.indexOf(u"ПЕТР _|_ 10.0.0.2"_s));
    for (const QString& word : {u"раз"_s, u"два"_s, u"три"_s}) {
        trio.ivan.sendChat(word);
    }
    trio.network.flush();
    const QStringList expected{u"*>ИВАН: раз"_s, u"*>ИВАН: два"_s, u"*>ИВАН: три"_s};
    QCOMPARE(seenInside, expected);
    QCOMPARE(trio.petr.log, expected);
    QCOMPARE(deepest, 2);
}

void ConferenceTest::burstOfLinkCheckAnswersWhileResultIsShown() {
    Trio trio;
    ConferencePeer& ivan = trio.ivan;
    EntryList& directory = ivan.conference.directory();
    bool boxOpen = false;
    int boxes = 0;
    QStringList lineAtSignal;
    QObject::connect(
        &ivan.conference, &Conference::linkCheckAnswered, [&](const QString&, const QString&) {
            // The directory is updated before the window hears of the answer.
            lineAtSignal.append(directory.line(2));
            if (boxOpen) {
                return;  // the window shows one result box at a time
            }
            boxOpen = true;
            ++boxes;
            QEventLoop loop;
            QObject::connect(&ivan.conference, &Conference::linkCheckAnswered, &loop, [&] {
                if (ivan.answers.size() == 3) {
                    loop.quit();
                }
            });
            QTimer::singleShot(10000, &loop, &QEventLoop::quit);  // safety only
            loop.exec();
            boxOpen = false;
        });
    directory.setSelectedIndex(1);
    ivan.conference.checkLink();
    directory.setSelectedIndex(2);
    ivan.conference.checkLink();
    directory.setSelectedIndex(0);
    ivan.conference.checkLink();
    directory.setSelectedIndex(2);
    trio.network.flush();

    QCOMPARE(boxes, 1);
    QCOMPARE(ivan.answers.size(), 3);
    QCOMPARE(lineAtSignal, (QStringList{u"ПЕТР _|_ 10.0.0.2"_s, u"МАРИЯ _|_ 10.0.0.3"_s,
                                        u"ИВАН _|_ 10.0.0.1"_s}));
    // Every answer was applied; the last one stays.
    QCOMPARE(ivan.directory(),
             (QStringList{u"Я _|_ 10.0.0.1"_s, u"Петя _|_ 10.0.0.2"_s, u"ИВАН _|_ 10.0.0.1"_s}));
}

QTEST_GUILESS_MAIN(ConferenceTest)
#include "test_conference.moc"
