// One copy of the program without a window: its files, its ticks, its end,
// and a close asked for while a send waits for a name lookup.
#include "core/ConferenceTexts.h"
#include "core/Session.h"
#include "support/ConferencePeer.h"
#include "support/FakeEndpoint.h"
#include "support/FakeNetwork.h"
#include "support/FileBytes.h"
#include "text/Cp1251.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A session on a data folder of its own, prepared with the given files, on
// the address 10.0.3.1 of a fake network.
struct Copy {
    QTemporaryDir dir;
    FakeEndpoint* endpoint = nullptr;
    std::unique_ptr<Session> session;

    Copy(FakeNetwork& network, const QString& ini, const QString& listCorr = {}) {
        if (!ini.isEmpty()) {
            writeBytes(dir.filePath(u"Vesmar.ini"_s), Cp1251::encode(ini));
        }
        if (!listCorr.isEmpty()) {
            writeBytes(dir.filePath(u"ListCorr.dat"_s), Cp1251::encode(listCorr));
        }
        auto fake = std::make_unique<FakeEndpoint>(network, u"10.0.3.1"_s);
        endpoint = fake.get();
        session = std::make_unique<Session>(dir.path(), std::move(fake));
    }
    Session* operator->() const { return session.get(); }
    [[nodiscard]] QString file(const QString& name) const {
        return Cp1251::decode(readBytes(dir.filePath(name)));
    }
};

QStringList sent(const FakeNetwork& network) {
    QStringList texts;
    for (const FakeDatagram& datagram : visibleLog(network)) {
        texts.append(datagram.to + u' ' + Cp1251::decode(datagram.bytes));
    }
    return texts;
}

}  // namespace

class SessionTest : public QObject {
    Q_OBJECT
  private slots:
    void theSelfNameIsNormalisedOnceAtStartAndEnd_data();
    void theSelfNameIsNormalisedOnceAtStartAndEnd();
    void firstTickRegistersOnceThenTheClockTicks();
    void endSavesSendsTheExitNoticesAndRunsOnce();
    void aCloseWaitsForTheLookupToEnd();
    void lossAndBindFailureAreReported();
    void handshakePortIsUsedOnlyWhenBound();
};

void SessionTest::theSelfNameIsNormalisedOnceAtStartAndEnd_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("selfName");
    QTest::addColumn<QStringList>("errors");
    QTest::newRow("blanks and case") << u"\"  иван \""_s << u"ИВАН"_s << QStringList();
    QTest::newRow("present but empty") << QString() << QString() << QStringList();
    // A stored name that reads as a request is cleaned, and the user told.
    QTest::newRow("reads as a request")
        << u"autodetect0"_s << u"?UTODETECT0"_s
        << QStringList{ConferenceTexts::selfNameCleaned(u"?UTODETECT0"_s)};
}

void SessionTest::theSelfNameIsNormalisedOnceAtStartAndEnd() {
    QFETCH(QString, stored);
    QFETCH(QString, selfName);
    QFETCH(QStringList, errors);
    FakeNetwork network;
    Copy copy(network, u"[ANY]\r\nMyName="_s + stored + u"\r\n"_s);
    const Settings shown = copy->start();
    QCOMPARE(shown.myName, selfName);
    QCOMPARE(copy->conference().selfName(), selfName);
    QCOMPARE(copy->loadErrors(), errors);

    // At the end the field's text as typed; the file gets it normalised.
    Settings typed = shown;
    typed.myName = u"  пётр "_s;
    const Session::EndReport report = copy->end(typed);
    QVERIFY(report.errors.isEmpty() && report.notSaved.isEmpty());
    QCOMPARE(copy->conference().selfName(), u"ПЁТР"_s);
    QVERIFY(copy.file(u"Vesmar.ini"_s).contains(u"\r\nMyName=ПЁТР\r\n"_s));
}

void SessionTest::firstTickRegistersOnceThenTheClockTicks() {
    FakeNetwork network;
    Copy copy(network, u"[ANY]\r\nMyName=ИВАН\r\n"_s,
              u"Я _|_ 10.0.3.1\r\nБез адреса\r\nПЁТР _|_ 10.0.3.2\r\n"_s);
    QSignalSpy clock(copy.session.get(), &Session::clockTicked);
    QSignalSpy firstDone(copy.session.get(), &Session::firstTickDone);
    (void)copy->start();
    QCOMPARE(copy->conference().directory().count(), 3);
    QVERIFY(copy->tickTimer().isActive());
    QCOMPARE(copy->tickTimer().interval(), 500);
    QVERIFY(copy->firstTick());

    // The timer runs the first tick by itself.
    QTRY_COMPARE(firstDone.size(), 1);
    QCOMPARE(clock.size(), 1);
    // (The own registration may have been answered by now.)
    QCOMPARE(sent(network).mid(0, 2), (QStringList{u"10.0.3.1 ~#&!^~:MYNAMEIS2:ИВАН"_s,
                                                   u"10.0.3.2 ~#&!^~:MYNAMEIS2:ИВАН"_s}));
    QVERIFY(!copy->firstTick());
    QVERIFY(copy->tickTimer().isActive());
    QCOMPARE(copy->tickTimer().interval(), 1000);

    network.flush();
    network.clearLog();
    copy->tick();
    QCOMPARE(clock.size(), 2);
    QCOMPARE(firstDone.size(), 1);
    QVERIFY(visibleLog(network).isEmpty());
    QVERIFY(copy->tickTimer().isActive());
}

void SessionTest::endSavesSendsTheExitNoticesAndRunsOnce() {
    FakeNetwork network;
    Copy copy(network, {}, u"ПЁТР _|_ 10.0.3.2\r\n"_s);
    Settings shown = copy->start();
    QCOMPARE(shown, Settings{});
    copy->conference().directory().add(u"АННА _|_ 10.0.3.3"_s);
    shown.yesBeepMess = false;
    const Session::EndReport report = copy->end(shown);
    QVERIFY(report.errors.isEmpty() && report.notSaved.isEmpty());
    QVERIFY(!copy->tickTimer().isActive());
    QCOMPARE(copy.file(u"ListCorr.dat"_s), u"ПЁТР _|_ 10.0.3.2\r\nАННА _|_ 10.0.3.3\r\n"_s);
    QVERIFY(copy.file(u"Vesmar.ini"_s).contains(u"YesBeep_Mess=0"_s));
    QCOMPARE(sent(network),
             (QStringList{u"10.0.3.2 ~#&!^~:IAMEXIT:???"_s, u"10.0.3.3 ~#&!^~:IAMEXIT:???"_s}));

    network.clearLog();
    QFile::remove(copy.dir.filePath(u"ListCorr.dat"_s));
    const Session::EndReport again = copy->end(shown);
    QVERIFY(again.errors.isEmpty() && again.notSaved.isEmpty());
    QVERIFY(visibleLog(network).isEmpty());
    QVERIFY(!QFile::exists(copy.dir.filePath(u"ListCorr.dat"_s)));
}

// While the registration waits for the name of a directory line, the
// program may not end; once the send has finished, it may.
void SessionTest::aCloseWaitsForTheLookupToEnd() {
    FakeNetwork network;
    network.addHostName(u"pc-petr"_s, u"10.0.3.2"_s);
    Copy copy(network, {}, u"ПЕТР _|_ pc-petr\r\n"_s);
    (void)copy->start();
    copy->tickTimer().stop();
    QSignalSpy allowed(copy.session.get(), &Session::closeAllowed);
    bool refusedDuringWait = false;
    QTimer::singleShot(0, [&] { refusedDuringWait = !copy->mayClose(); });
    copy->registerWithDirectory();
    QVERIFY(refusedDuringWait);
    QCOMPARE(sent(network), QStringList{u"10.0.3.2 ~#&!^~:MYNAMEIS2:???"_s});
    QCOMPARE(allowed.size(), 0);  // never inside the send that waited
    QTRY_COMPARE(allowed.size(), 1);
    QVERIFY(copy->mayClose());
    QTest::qWait(20);
    QCOMPARE(allowed.size(), 1);
}

void SessionTest::lossAndBindFailureAreReported() {
    FakeNetwork network;
    Copy copy(network, {});
    QCOMPARE(copy->bindFailureNotice(u"/usr/bin/Vesmar"_s), QString());
    QSignalSpy lost(copy.session.get(), &Session::datagramsLost);
    copy.endpoint->loseDatagrams(12);
    QCOMPARE(lost.size(), 1);
    QCOMPARE(lost.first().first().toULongLong(), 12u);
    copy.endpoint->failBind(UdpEndpoint::BindState::PortTaken, u"in use"_s);
    QCOMPARE(copy->bindFailureNotice(u"/usr/bin/Vesmar"_s),
             u"Не удалось открыть UDP-порт 333: порт уже занят другой программой. "
             u"Приём сообщений отключён."_s);
}

void SessionTest::handshakePortIsUsedOnlyWhenBound() {
    // A peer with the handshake port registers with the session; the
    // session's handshake endpoint is bound in one run and not in the other.
    for (const bool bound : {true, false}) {
        FakeNetwork network;
        Copy copy(network, u"[ANY]\r\nMyName=ИВАН\r\n"_s);
        auto handshake =
            std::make_unique<FakeEndpoint>(network, u"10.0.3.1"_s, Protocol::kHandshakePort);
        if (!bound) {
            handshake->failBind(UdpEndpoint::BindState::PortTaken, u"in use"_s);
        }
        copy->setHandshakeEndpoint(std::move(handshake));
        (void)copy->start();
        ConferencePeer petr(network, u"10.0.3.2"_s, u"ПЕТР"_s, {u"И _|_ 10.0.3.1"_s});
        petr.conference.registerAll();
        network.flush();
        QCOMPARE(copy->conference().handshake().confirms(u"10.0.3.2"_s), bound);
        QCOMPARE(petr.conference.handshake().confirms(u"10.0.3.1"_s), bound);
        int fromCopyToHandshakePort = 0;
        for (const FakeDatagram& d : network.log()) {
            fromCopyToHandshakePort += d.from == u"10.0.3.1"_s && d.port != Protocol::kPort;
        }
        QCOMPARE(fromCopyToHandshakePort > 0, bound);
        (void)copy->end({});
    }
}

QTEST_GUILESS_MAIN(SessionTest)
#include "test_session.moc"
