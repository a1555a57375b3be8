// The main window's wiring: its data files, its endpoint, the conference core,
// the log and the alerts working together, with real modal boxes closed by
// the test. Windows talk over the in-process fake network; no real port.

#include "app/dialogs/AboutBox.h"
#include "app/dialogs/CorrespondentDialog.h"
#include "core/ConferenceTexts.h"
#include "support/ConferencePeer.h"
#include "support/ModalWatch.h"
#include "support/WindowCopy.h"
#include "text/Exception.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <functional>
#include <list>
#include <memory>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

const QString kExit = u"~#&!^~:IAMEXIT:"_s;

// One copy of the program: a main window on a data folder of its own,
// prepared with the given data files, and an address of the shared network.
// The alerts' desktop operations are counted instead of performed.
struct Peer {
    WindowCopy copy;
    QString address;
    bool active = true;
    int beeps = 0;       // the plain beep
    QStringList sounds;  // the beep rules' sound events
    int popUps = 0;

    Peer(FakeNetwork& network, const QString& addr, const QString& ini,
         const QByteArray& listCorr = {})
        : copy(network, addr, ini, listCorr), address(addr) {
        copy.alerts().setActivityHook([this] { return active; });
        copy.alerts().setBeepHook([this] { ++beeps; });
        copy.alerts().setSoundHook(
            [this](const QString& soundEvent) { sounds.append(soundEvent); });
        copy.alerts().setPopUpHook([this] { ++popUps; });
    }
    const MainWindowUi* operator->() const { return &copy.ui; }
    [[nodiscard]] QString path(const QString& name) const { return copy.path(name); }
    [[nodiscard]] MainWindow& window() const { return *copy.window; }
    [[nodiscard]] bool showActive() const { return copy.showActive(); }
};

QString iniWithName(const QString& name) {
    return u"[ANY]\r\nMyName="_s + name + u"\r\n"_s;
}

// The datagrams sent from an address since the log was last cleared, each as
// its destination, a blank and its text.
QStringList sentFrom(const FakeNetwork& network, const QString& from) {
    QStringList sent;
    for (const FakeDatagram& datagram : visibleLog(network)) {
        if (datagram.from == from) {
            sent.append(datagram.to + u' ' + Cp1251::decode(datagram.bytes));
        }
    }
    return sent;
}

qsizetype openMessageBoxes() {
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::count_if(windows.begin(), windows.end(), [](QWidget* window) {
        return qobject_cast<QMessageBox*>(window) != nullptr && window->isVisible();
    });
}

void typeText(QWidget* widget, const QString& text) {
    for (const QChar ch : text) {
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
}

// Answers every message box that opens with OK and keeps what each showed,
// as ModalWatch does for one box, but for a sequence of boxes and for a box
// opened while another one is open. During, when given, runs once, while the
// first box is open, just before it is answered; it must not fail a test
// itself, or the box would stay open.
class BoxLog {
  public:
    struct Box {
        QString text;
        QMessageBox::Icon icon;
        Qt::TextFormat format;
    };

    explicit BoxLog(std::function<void(QMessageBox*)> during = {}) : during_(std::move(during)) {
        arm();
    }
    [[nodiscard]] const QList<Box>& boxes() const { return boxes_; }
    [[nodiscard]] QStringList texts() const {
        QStringList texts;
        for (const Box& box : boxes_) {
            texts.append(box.text);
        }
        return texts;
    }

  private:
    // A timer whose handler runs a nested event loop does not fire again
    // inside it, so every box being handled arms a fresh one for the next.
    void arm() {
        QTimer& timer = timers_.emplace_back();
        QObject::connect(&timer, &QTimer::timeout, [this, &timer] { poll(timer); });
        timer.start(5);
    }

    void poll(QTimer& timer) {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible() || handling_.contains(box)) {
            return;
        }
        timer.stop();
        handling_.insert(box);
        boxes_.append({box->text(), box->icon(), box->textFormat()});
        arm();
        if (const auto during = std::exchange(during_, {})) {
            during(box);
        }
        handling_.remove(box);
        answerBox(box, Answer::Ok);
    }

    std::function<void(QMessageBox*)> during_;
    QList<Box> boxes_;
    QSet<QMessageBox*> handling_;
    std::list<QTimer> timers_;
};

// Three copies that all list each other; ИВАН knows ПЕТР's copy as "петя".
struct ThreePeers {
    FakeNetwork network;
    QByteArray directory =
        Cp1251::encode(u"ИВАН _|_ 10.0.1.1\r\nпетя _|_ 10.0.1.2\r\nАННА _|_ 10.0.1.3\r\n"_s);
    Peer ivan{network, u"10.0.1.1"_s, iniWithName(u"иван"_s), directory};
    Peer petr{network, u"10.0.1.2"_s, iniWithName(u"ПЕТР"_s), directory};
    Peer anna{network, u"10.0.1.3"_s, iniWithName(u"Анна"_s), directory};

    // Every window's first tick, then every datagram delivered.
    void firstTicks() {
        for (Peer* peer : {&ivan, &petr, &anna}) {
            peer->copy.tick();
        }
        network.flush();
        network.clearLog();
    }
};

}  // namespace

class MainWindowWiringTest : public QObject {
    Q_OBJECT
  private slots:
    void dataFilesLoadAndSave();
    void partlyReadDirectoryIsKeptAfterExitNotices();
    void aRelayedEntryStaysOneLineAcrossARestart();
    void startupNotices();
    void conversationBetweenWindows();
    void refusedCommandsShowPlainBox_data();
    void refusedCommandsShowPlainBox();
    void linkCheckKeepsDispatchingUnderOneBox();
    void unresolvableNameDoesNotStopPresence();
    void alertsFollowReceivedDatagrams();
    void everyMenuCommandRunsFromItsAction();
    void theWindowBuildsItsDialogs();
    void aCloseDuringALookupWaitsForIt();
};

void MainWindowWiringTest::dataFilesLoadAndSave() {
    FakeNetwork network;
    const QString ini =
        u"[ANY]\r\nMyName=\"  иван \"\r\nYesBeep_Mess=0\r\nTextPopUp_Corr=ПЁТР\r\n"_s;
    const QStringList lines{u"ИВАН _|_ 10.0.2.1"_s, u"пётр _|_ 10.0.2.2"_s, QString(),
                            u"без адреса"_s};
    Peer peer(network, u"10.0.2.1"_s, ini, Cp1251::encode(lines.join(u'\n')));

    QCOMPARE(peer->selfNameEdit->text(), u"ИВАН"_s);
    QCOMPARE(peer.copy.selfName(), u"ИВАН"_s);
    QVERIFY(!peer->messageBeepBox->isChecked());
    QVERIFY(!peer->messageBeepFilter->isEnabled());
    QVERIFY(peer->messagePopUpBox->isChecked() && peer->messagePopUpFilter->isEnabled());
    QCOMPARE(peer->correspondentPopUpFilter->text(), u"ПЁТР"_s);
    QCOMPARE(peer.copy.directory().lines(), lines);

    // A line added through the directory menu is saved and gets an exit notice.
    ModalWatch<CorrespondentDialog> dialog([](CorrespondentDialog* dlg) {
        dlg->nameEdit->setText(u"елена"_s);
        dlg->addressEdit->setText(u"10.0.2.4"_s);
        QTest::mouseClick(dlg->okButton, Qt::LeftButton);
    });
    peer->addEntryAction->trigger();
    QVERIFY(dialog.ran());

    // The field's text as typed; the files and the notices get it normalised.
    peer->selfNameEdit->setText(u"  иван "_s);
    network.clearLog();
    QVERIFY(peer.window().close());

    QCOMPARE(
        readBytes(peer.path(u"ListCorr.dat"_s)),
        Cp1251::encode((lines + QStringList{u"ЕЛЕНА _|_ 10.0.2.4"_s}).join(u"\r\n"_s) + u"\r\n"_s));
    const QString saved = Cp1251::decode(readBytes(peer.path(u"Vesmar.ini"_s)));
    for (const QString& line : {u"MyName=ИВАН\r\n"_s, u"YesBeep_Mess=0\r\n"_s,
                                u"TextPopUp_Corr=ПЁТР\r\n"_s, u"YesPopUp_Mess=1\r\n"_s}) {
        QVERIFY2(saved.contains(line), qPrintable(saved));
    }
    QCOMPARE(sentFrom(network, peer.address),
             (QStringList{u"10.0.2.1 "_s + kExit + u"ИВАН"_s, u"10.0.2.2 "_s + kExit + u"ИВАН"_s,
                          u"10.0.2.4 "_s + kExit + u"ИВАН"_s}));
}

void MainWindowWiringTest::aRelayedEntryStaysOneLineAcrossARestart() {
    FakeNetwork network;
    auto peer = std::make_unique<Peer>(network, u"10.0.2.5"_s, iniWithName(u"ИВАН"_s));
    // A member relays one entry with line breaks that would each start a
    // line with an address of its choice.
    network.inject(u"10.0.2.9"_s, u"10.0.2.5"_s, "~#&!^~:MYNAMEIS2:X");
    network.inject(u"10.0.2.9"_s, u"10.0.2.5"_s,
                   "~#&!^~:NEWADDR:X~_^BA _|_ 10.0.2.1\r\nB _|_ 10.6.6.6\nC _|_ 10.6.6.7");
    network.flush();
    QCOMPARE(peer->copy.directory().count(), 1);
    // Its address is not one address: nothing goes to it, not even to the
    // 10.0.2.1 that a lenient reading would find before the line break.
    BoxLog boxes;
    network.clearLog();
    QVERIFY(peer->window().close());
    QCOMPARE(boxes.boxes().size(), 0);
    QCOMPARE(sentFrom(network, u"10.0.2.5"_s), QStringList{});
    QCOMPARE(readBytes(peer->path(u"ListCorr.dat"_s)),
             QByteArray("A _|_ 10.0.2.1??B _|_ 10.6.6.6?C _|_ 10.6.6.7\r\n"));
    const WindowCopy restarted(network, u"10.0.2.8"_s, ExistingFolder{peer->copy.folder()});
    QCOMPARE(restarted.directory().count(), 1);
}

void MainWindowWiringTest::partlyReadDirectoryIsKeptAfterExitNotices() {
    FakeNetwork network;
    const QByteArray bytes = Cp1251::encode(u"ИВАН _|_ 10.0.2.5\r\n"_s) + QByteArray("\0", 1) +
                             Cp1251::encode(u"ПЁТР _|_ 10.0.2.6\r\n"_s);
    Peer peer(network, u"10.0.2.5"_s, iniWithName(u"ИВАН"_s), bytes);
    QCOMPARE(peer.copy.directory().lines(), QStringList{u"ИВАН _|_ 10.0.2.5"_s});
    peer.copy.directory().add(u"АННА _|_ 10.0.2.7"_s);
    network.clearLog();

    QStringList sentBeforeBox;
    BoxLog boxes([&](QMessageBox*) { sentBeforeBox = sentFrom(network, peer.address); });
    QVERIFY(peer.window().close());

    const QString path = QDir::toNativeSeparators(peer.path(u"ListCorr.dat"_s));
    QCOMPARE(boxes.texts(), QStringList{u"Список корреспондентов не сохранён: файл "_s + path +
                                        u" не был прочитан полностью при запуске."_s});
    QCOMPARE(boxes.boxes().first().icon, QMessageBox::NoIcon);
    const QStringList notices{u"10.0.2.5 "_s + kExit + u"ИВАН"_s,
                              u"10.0.2.7 "_s + kExit + u"ИВАН"_s};
    QCOMPARE(sentBeforeBox, notices);
    QCOMPARE(readBytes(peer.path(u"ListCorr.dat"_s)), bytes);
    // The settings were read whole, so they are saved all the same.
    QVERIFY(Cp1251::decode(readBytes(peer.path(u"Vesmar.ini"_s))).contains(u"YesBeep_Corr=1"_s));
}

void MainWindowWiringTest::startupNotices() {
    // A directory file that cannot be opened, and a port that is taken.
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(u"ListCorr.dat"_s));
    FakeNetwork network;
    const WindowCopy copy(network, u"10.0.3.1"_s, ExistingFolder{dir.path()},
                          [](FakeEndpoint& endpoint) {
                              endpoint.failBind(UdpEndpoint::BindState::PortTaken, u"in use"_s);
                          });
    const MainWindowUi& form = copy.ui;
    copy.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(copy.window.get()));
    QVERIFY(form.receiveOffLabel->isVisible());
    // Datagrams lost on arrival show in the status line, never in a box.
    QVERIFY(!form.lostDatagramsLabel->isVisible());
    copy.endpoint->loseDatagrams(12);
    QVERIFY(form.lostDatagramsLabel->isVisible());
    QCOMPARE(form.lostDatagramsLabel->text(), u"Потеряно датаграмм: 12"_s);
    // So do relayed entries beyond a sender's share, and lines that went
    // unconfirmed; the log holds nothing of either.
    network.inject(u"10.0.0.9"_s, u"10.0.3.1"_s, Cp1251::encode(u"~#&!^~:MYNAMEIS2:X"_s));
    for (int i = 0; i < RelayLimit::kPerMinute + 5; ++i) {
        network.inject(u"10.0.0.9"_s, u"10.0.3.1"_s,
                       Cp1251::encode(u"~#&!^~:NEWADDR:X~_^BN%1 _|_ 10.9.9.9"_s.arg(i)));
    }
    network.flush();
    QTRY_COMPARE(form.refusedEntriesLabel->text(), u"Отклонено записей от 10.0.0.9: 5"_s);
    QVERIFY(form.refusedEntriesLabel->isVisible());
    qint64 now = 0;
    Conference& conference = copy.session->conference();
    conference.setClock([&] { return now; });
    // A newer copy registers and the two find each other; then it stops
    // hearing the conference port.
    ConferencePeer yasha(network, u"10.0.3.2"_s, u"ЯША"_s, {u"Копия _|_ 10.0.3.1"_s});
    yasha.conference.registerAll();
    network.flush();
    network.setLoss([](const FakeDatagram& d) { return d.to == u"10.0.3.2"_s; });
    QCOMPARE(conference.sendChat(u"ау"_s, Recipients::Everyone), ChatOutcome::Sent);
    now = Receipts::kOutcomeAfterMs;
    conference.receipts().resendDue();
    QCOMPARE(form.undeliveredLabel->text(), u"Не доставлено: ЯША"_s);
    QVERIFY(form.undeliveredLabel->toolTip().endsWith(u": 1"_s));
    QVERIFY(form.logView->text().isEmpty());

    BoxLog boxes;
    copy.window->showStartupNotices();
    const QString path = QDir::toNativeSeparators(dir.filePath(u"ListCorr.dat"_s));
    QCOMPARE(boxes.texts(),
             (QStringList{u"Cannot open file "_s + path + u'.',
                          u"Не удалось открыть UDP-порт 333: порт уже занят другой программой. "
                          u"Приём сообщений отключён."_s}));
    QCOMPARE(boxes.boxes()[0].icon, QMessageBox::Critical);
    QCOMPARE(boxes.boxes()[1].icon, QMessageBox::NoIcon);

    // Registrations beyond the roster's bound show once in the status line.
    QVERIFY(!form.rosterFullLabel->isVisible());
    for (int i = 0; i < RosterIndex::kMaxLines; ++i) {
        network.inject(u"10.8.%1.%2"_s.arg(i / 250).arg(i % 250 + 1), u"10.0.3.1"_s,
                       Cp1251::encode(u"~#&!^~:MYNAMEIS2:N%1"_s.arg(i)));
    }
    network.flush();
    QTRY_VERIFY(form.rosterFullLabel->isVisible());
    QCOMPARE(form.rosterFullLabel->text(), u"Список участников полон, не принято: 2"_s);
}

void MainWindowWiringTest::conversationBetweenWindows() {
    ThreePeers peers;
    const Peer& ivan = peers.ivan;
    peers.firstTicks();
    const QStringList roster{u"АННА _|_ 10.0.1.3"_s, u"ИВАН _|_ 10.0.1.1"_s,
                             u"ПЕТР _|_ 10.0.1.2"_s};
    for (Peer* peer : {&peers.ivan, &peers.petr, &peers.anna}) {
        QCOMPARE(peer->copy.roster().lines(), roster);
    }

    // To all: typed with blanks around it, sent cut, in roster order.
    QVERIFY(peers.ivan.showActive());
    ivan->messageEdit->setFocus();
    typeText(ivan->messageEdit, u"  привет  "_s);
    QTest::keyClick(ivan->messageEdit, Qt::Key_Return);
    QCOMPARE(ivan->messageEdit->text(), QString());
    QCOMPARE(sentFrom(peers.network, peers.ivan.address),
             (QStringList{u"10.0.1.3 ИВАН: привет"_s, u"10.0.1.1 ИВАН: привет"_s,
                          u"10.0.1.2 ИВАН: привет"_s}));
    peers.network.flush();
    for (Peer* peer : {&peers.ivan, &peers.petr, &peers.anna}) {
        QCOMPARE((*peer)->logView->text(), u"ИВАН: привет\r\n"_s);
    }

    // To the selected member only.
    peers.network.clearLog();
    QTest::mouseClick(ivan->toSelectedButton, Qt::LeftButton);
    const QRect petrLine = ivan->rosterView->visualRect(ivan.copy.roster().model()->index(2, 0));
    QTest::mouseClick(ivan->rosterView->viewport(), Qt::LeftButton, {}, petrLine.center());
    QCOMPARE(QApplication::focusWidget(), ivan->messageEdit);
    typeText(ivan->messageEdit, u"тайна"_s);
    QTest::keyClick(ivan->messageEdit, Qt::Key_Return);
    QCOMPARE(sentFrom(peers.network, peers.ivan.address), QStringList{u"10.0.1.2 *>ИВАН: тайна"_s});
    peers.network.flush();
    QCOMPARE(peers.petr->logView->text(), u"ИВАН: привет\r\n*>ИВАН: тайна\r\n"_s);
    QCOMPARE(peers.anna->logView->text(), u"ИВАН: привет\r\n"_s);
    QCOMPARE(ivan->logView->text(), u"ИВАН: привет\r\n"_s);

    // A message of blanks: one plain beep, no event sound, nothing sent, the
    // field cleared.
    peers.network.clearLog();
    typeText(ivan->messageEdit, u"   "_s);
    QTest::keyClick(ivan->messageEdit, Qt::Key_Return);
    QCOMPARE(peers.ivan.beeps, 1);
    QCOMPARE(peers.ivan.sounds, QStringList{});
    QCOMPARE(ivan->messageEdit->text(), QString());
    QCOMPARE(visibleLog(peers.network).size(), 0);
}

enum class Command { Enter, Register, LinkCheck };

void MainWindowWiringTest::refusedCommandsShowPlainBox_data() {
    QTest::addColumn<QString>("selfName");
    QTest::addColumn<QString>("message");
    QTest::addColumn<Command>("command");
    QTest::addColumn<QString>("expected");
    const QString longName(239, u'Я');
    QTest::newRow("message too long")
        << u"ИВАН"_s << QString(250, u'ж') << Command::Enter << ConferenceTexts::chatTooLong();
    QTest::newRow("name too long, chat")
        << longName << u"привет"_s << Command::Enter << ConferenceTexts::nameTooLong();
    QTest::newRow("name too long, registration")
        << longName << u"привет"_s << Command::Register << ConferenceTexts::nameTooLong();
    QTest::newRow("link check of a line without address")
        << u"ИВАН"_s << u"привет"_s << Command::LinkCheck
        << ConferenceTexts::incorrectCorrespondent();
}

void MainWindowWiringTest::refusedCommandsShowPlainBox() {
    QFETCH(QString, selfName);
    QFETCH(QString, message);
    QFETCH(Command, command);
    QFETCH(QString, expected);
    FakeNetwork network;
    Peer peer(network, u"10.0.4.1"_s, iniWithName(u"ИВАН"_s),
              Cp1251::encode(u"ИВАН _|_ 10.0.4.1\r\nПЁТР _|_ \r\n"_s));
    peer.copy.tick();
    network.flush();
    QCOMPARE(peer.copy.roster().count(), 1);
    QVERIFY(peer.showActive());
    peer->selfNameEdit->setText(selfName);
    peer->messageEdit->setText(message);
    network.clearLog();

    BoxLog boxes;
    switch (command) {
        case Command::Enter:
            QTest::keyClick(peer->messageEdit, Qt::Key_Return);
            break;
        case Command::Register:
            QTest::mouseClick(peer->registerButton, Qt::LeftButton);
            break;
        case Command::LinkCheck:
            peer.copy.directory().setSelectedIndex(1);
            peer->checkLinkAction->trigger();
            break;
    }
    QCOMPARE(boxes.texts(), QStringList{expected});
    QCOMPARE(boxes.boxes().first().icon, QMessageBox::NoIcon);
    QCOMPARE(peer->messageEdit->text(), message);
    QCOMPARE(visibleLog(network).size(), 0);
}

void MainWindowWiringTest::linkCheckKeepsDispatchingUnderOneBox() {
    ThreePeers peers;
    const Peer& ivan = peers.ivan;
    peers.firstTicks();
    ivan.copy.directory().setSelectedIndex(1);
    ivan->checkLinkAction->trigger();
    QCOMPARE(sentFrom(peers.network, peers.ivan.address),
             QStringList{u"10.0.1.2 ~#&!^~:AUTODETECT1"_s});

    // While the first result is shown: an answer for another selected line,
    // one with nothing selected, and a chat line all still come through.
    QStringList linesWhileOpen;
    QString textWhileOpen;
    QString logWhileOpen;
    qsizetype boxesWhileOpen = 0;
    BoxLog boxes([&](QMessageBox* box) {
        linesWhileOpen.append(ivan.copy.directory().lines().join(u'|'));
        ivan.copy.directory().setSelectedIndex(2);
        peers.network.inject(u"10.0.1.3"_s, peers.ivan.address,
                             Cp1251::encode(u"~#&!^~:MYNAMEIS1:аня"_s));
        peers.network.flush();
        linesWhileOpen.append(ivan.copy.directory().lines().join(u'|'));
        ivan.copy.directory().setSelectedIndex(-1);
        peers.network.inject(u"10.0.1.9"_s, peers.ivan.address,
                             Cp1251::encode(u"  ~#&!^~:MYNAMEIS1: <b>гость</b> "_s));
        peers.network.inject(u"10.0.1.9"_s, peers.ivan.address, Cp1251::encode(u"ГОСТЬ: здесь"_s));
        peers.network.flush();
        linesWhileOpen.append(ivan.copy.directory().lines().join(u'|'));
        textWhileOpen = box->text();
        logWhileOpen = ivan->logView->text();
        boxesWhileOpen = openMessageBoxes();
    });
    peers.network.flush();

    QCOMPARE(boxes.texts(),
             QStringList{ConferenceTexts::linkCheckResult(u"10.0.1.2"_s, u"ПЕТР"_s)});
    QCOMPARE(boxes.boxes().first().icon, QMessageBox::NoIcon);
    QCOMPARE(boxes.boxes().first().format, Qt::PlainText);
    QCOMPARE(linesWhileOpen,
             (QStringList{u"ИВАН _|_ 10.0.1.1|ПЕТР _|_ 10.0.1.2|АННА _|_ 10.0.1.3"_s,
                          u"ИВАН _|_ 10.0.1.1|ПЕТР _|_ 10.0.1.2|АНЯ _|_ 10.0.1.3"_s,
                          u"ИВАН _|_ 10.0.1.1|ПЕТР _|_ 10.0.1.2|АНЯ _|_ 10.0.1.3|"
                          u"<B>ГОСТЬ</B> _|_ 10.0.1.9"_s}));
    QCOMPARE(textWhileOpen, ConferenceTexts::linkCheckResult(u"10.0.1.9"_s, u"<b>гость</b>"_s));
    QCOMPARE(boxesWhileOpen, 1);
    QCOMPARE(logWhileOpen, u"ГОСТЬ: здесь\r\n"_s);
    QCOMPARE(ivan.copy.directory().selectedIndex(), -1);
    QCOMPARE(openMessageBoxes(), 0);
}

void MainWindowWiringTest::unresolvableNameDoesNotStopPresence() {
    FakeNetwork network;
    const QByteArray directory =
        Cp1251::encode(u"ИВАН _|_ 10.0.6.1\r\nГОСТЬ _|_ nosuchhost\r\nПЕТР _|_ 10.0.6.2\r\n"_s);
    Peer ivan(network, u"10.0.6.1"_s, iniWithName(u"ИВАН"_s), directory);
    Peer petr(network, u"10.0.6.2"_s, iniWithName(u"ПЕТР"_s));
    const QString failure =
        ConferenceTexts::sendFailures({{u"nosuchhost"_s, u"Host Lookup Canceled"_s}});

    // The first tick: no box of its own for the bad name, the lines after it
    // still reached, one error report for the failure, shown by the window
    // (nothing escapes the tick), and the clock keeps running.
    auto registration = std::make_unique<BoxLog>();
    ivan.copy.tick();
    QCOMPARE(registration->texts(), QStringList{failure + u'.'});
    QCOMPARE(registration->boxes()[0].icon, QMessageBox::Critical);
    QVERIFY(!ivan.copy.session->firstTick());
    QVERIFY(ivan.copy.session->tickTimer().isActive());
    QCOMPARE(ivan.copy.session->tickTimer().interval(), 1000);
    network.flush();
    QVERIFY(petr.copy.roster().indexOf(u"ИВАН _|_ 10.0.6.1"_s) >= 0);
    registration.reset();

    // The exit notices go the same way; the failure is reported after them.
    network.clearLog();
    BoxLog exit;
    QVERIFY(ivan.window().close());
    QCOMPARE(exit.texts(), QStringList{failure + u'.'});
    QCOMPARE(exit.boxes()[0].icon, QMessageBox::Critical);
    QCOMPARE(sentFrom(network, ivan.address),
             (QStringList{u"10.0.6.1 "_s + kExit + u"ИВАН"_s, u"10.0.6.2 "_s + kExit + u"ИВАН"_s}));
    network.flush();
    QCOMPARE(petr.copy.roster().count(), 0);
}

void MainWindowWiringTest::alertsFollowReceivedDatagrams() {
    FakeNetwork network;
    Peer peer(network, u"10.0.7.1"_s, {});
    peer.active = false;
    peer->correspondentBeepFilter->setText(u"петр"_s);  // the new-correspondent beep: for ПЕТР only
    peer->pages->setCurrentIndex(1);
    const auto receive = [&](const QString& from, const QString& text) {
        network.inject(from, peer.address, Cp1251::encode(text));
        network.flush();
    };

    receive(u"10.0.7.2"_s, u"ПЕТР: привет"_s);
    QCOMPARE(peer->logView->text(), u"ПЕТР: привет\r\n"_s);
    QCOMPARE(peer.sounds, QStringList{u"message-new-instant"_s});
    QCOMPARE(peer.popUps, 1);
    QCOMPARE(peer->pages->currentIndex(), 0);

    // The new-correspondent rules see the name as received, not the entry.
    receive(u"10.0.7.2"_s, u"~#&!^~:MYNAMEIS2:петр"_s);
    QCOMPARE(peer.copy.roster().lines(), QStringList{u"ПЕТР _|_ 10.0.7.2"_s});
    const QStringList bothSounds{u"message-new-instant"_s, u"service-login"_s};
    QCOMPARE(peer.sounds, bothSounds);
    QCOMPARE(peer.popUps, 2);
    receive(u"10.0.7.3"_s, u"~#&!^~:MYNAMEIS3:АННА"_s);
    QCOMPARE(peer.sounds, bothSounds);
    QCOMPARE(peer.popUps, 3);
    QCOMPARE(peer.beeps, 0);
}

void MainWindowWiringTest::everyMenuCommandRunsFromItsAction() {
    FakeNetwork network;
    Peer ivan(network, u"10.0.9.1"_s, iniWithName(u"ИВАН"_s),
              Cp1251::encode(u"ИВАН _|_ 10.0.9.1\r\nПЕТР _|_ 10.0.9.2\r\nАННА _|_ 10.0.9.3\r\n"_s));
    ivan.copy.tick();
    network.flush();
    QCOMPARE(ivan.copy.roster().lines(), QStringList{u"ИВАН _|_ 10.0.9.1"_s});

    // Triggers an action and answers whatever modal window it opens, so a
    // command wired to the wrong action fails the checks instead of waiting
    // for a person: the correspondent dialog gets the entry, a question box
    // OK, the save dialog the file name. Gives what was sent and what each
    // window showed.
    struct Outcome {
        QStringList sent;
        QStringList shown;
    };
    const QString savedLog = ivan.path(u"saved.TXT"_s);
    const auto run = [&](QAction* action, const QString& name = {}, const QString& address = {}) {
        Outcome outcome;
        QTimer answerer;
        QObject::connect(&answerer, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr || !modal->isVisible()) {
                return;
            }
            if (auto* dialog = qobject_cast<CorrespondentDialog*>(modal)) {
                outcome.shown.append(dialog->nameEdit->text() + u'|' + dialog->addressEdit->text());
                dialog->nameEdit->setText(name);
                dialog->addressEdit->setText(address);
                dialog->okButton->click();
            } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                outcome.shown.append(box->text());
                answerBox(box, Answer::Ok);
            } else if (auto* files = qobject_cast<QFileDialog*>(modal)) {
                outcome.shown.append(u"save"_s);
                auto* edit = files->findChild<QLineEdit*>(u"fileNameEdit"_s);
                edit->setText(savedLog);
                QTest::keyClick(edit, Qt::Key_Return);
            } else {
                modal->close();
            }
        });
        answerer.start(5);
        network.clearLog();
        action->trigger();
        outcome.sent = sentFrom(network, ivan.address);
        network.flush();
        return outcome;
    };

    // The window's menu.
    ivan->messageEdit->setText(u"привет"_s);
    QCOMPARE(run(ivan->sendAction).sent, QStringList{u"10.0.9.1 ИВАН: привет"_s});
    QCOMPARE(ivan->logView->text(), u"ИВАН: привет\r\n"_s);

    // The directory's menu: the commands that send.
    ivan.copy.directory().setSelectedIndex(1);
    QCOMPARE(run(ivan->checkLinkAction).sent, QStringList{u"10.0.9.2 ~#&!^~:AUTODETECT1"_s});
    ivan.copy.directory().setSelectedIndex(2);
    const QString share = u"10.0.9.1 ~#&!^~:NEWADDR:ИВАН~_^B"_s;
    QCOMPARE(run(ivan->shareEntryAction).sent, QStringList{share + u"АННА _|_ 10.0.9.3"_s});
    QCOMPARE(run(ivan->shareDirectoryAction).sent,
             (QStringList{share + u"ИВАН _|_ 10.0.9.1"_s, share + u"ПЕТР _|_ 10.0.9.2"_s,
                          share + u"АННА _|_ 10.0.9.3"_s}));

    // The directory's menu: the commands that edit.
    ivan.copy.directory().setSelectedIndex(1);
    QCOMPARE(run(ivan->editEntryAction, u"петя"_s, u"10.0.9.2"_s).shown,
             QStringList{u"ПЕТР|10.0.9.2"_s});
    ivan.copy.directory().setSelectedIndex(1);
    QCOMPARE(run(ivan->insertEntryAction, u"вера"_s, u"10.0.9.4"_s).shown, QStringList{u"|"_s});
    QCOMPARE(run(ivan->addEntryAction, u"елена"_s, u"10.0.9.5"_s).shown, QStringList{u"|"_s});
    QCOMPARE(ivan.copy.directory().lines(),
             (QStringList{u"ИВАН _|_ 10.0.9.1"_s, u"ВЕРА _|_ 10.0.9.4"_s, u"ПЕТЯ _|_ 10.0.9.2"_s,
                          u"АННА _|_ 10.0.9.3"_s, u"ЕЛЕНА _|_ 10.0.9.5"_s}));
    ivan.copy.directory().setSelectedIndex(0);
    QCOMPARE(run(ivan->deleteEntryAction).shown,
             QStringList{u"Вы желаете удалить эту строку из списка ?"_s});
    QCOMPARE(ivan.copy.directory().count(), 4);
    QCOMPARE(run(ivan->deleteAllAction).shown, QStringList{u"Вы желаете очистить ВЕСЬ список ?"_s});
    QCOMPARE(ivan.copy.directory().count(), 0);

    // The log's menu.
    QGuiApplication::clipboard()->clear();
    QCOMPARE(run(ivan->copyToClipboardAction).shown, QStringList());
    QCOMPARE(QGuiApplication::clipboard()->text(), u"ИВАН: привет\r\n"_s);
    QCOMPARE(run(ivan->saveLogAction).shown, QStringList{u"save"_s});
    QCOMPARE(readBytes(savedLog), Cp1251::encode(u"ИВАН: привет\r\n"_s));
    QCOMPARE(run(ivan->clearLogAction).shown,
             QStringList{u"Вы желаете удалить все содержание Вашей \"беседы\" ?"_s});
    QVERIFY(ivan->logView->isEmpty());
}

void MainWindowWiringTest::theWindowBuildsItsDialogs() {
    FakeNetwork network;
    const WindowCopy copy(network, u"10.0.9.9"_s);
    copy.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(copy.window.get()));

    ModalWatch<AboutBox> about([](AboutBox* box) { box->accept(); });
    QTest::mouseClick(copy->aboutButton, Qt::LeftButton);
    QVERIFY(about.ran());

    ModalWatch<CorrespondentDialog> dialog([](CorrespondentDialog* shown) {
        shown->nameEdit->setText(u"анна"_s);
        shown->addressEdit->setText(u"10.0.9.3"_s);
        QTest::mouseClick(shown->okButton, Qt::LeftButton);
    });
    copy->addEntryAction->trigger();
    QVERIFY(dialog.ran());
    QCOMPARE(copy.directory().lines(), QStringList{u"АННА _|_ 10.0.9.3"_s});

    // Both dialogs belong to the window and go with it.
    QCOMPARE(copy.window->findChildren<AboutBox*>().size(), 1);
    QCOMPARE(copy.window->findChildren<CorrespondentDialog*>().size(), 1);
}

// A close asked for while the registration waits for a name lookup waits for
// it; the window then closes by itself, the end runs once, after the send.
void MainWindowWiringTest::aCloseDuringALookupWaitsForIt() {
    FakeNetwork network;
    network.addHostName(u"pc-petr"_s, u"10.0.8.2"_s);
    Peer ivan(network, u"10.0.8.1"_s, iniWithName(u"ИВАН"_s),
              Cp1251::encode(u"ПЕТР _|_ pc-petr\r\nАННА _|_ 10.0.8.3\r\n"_s));
    ivan.window().show();
    bool closedDuringWait = true;
    QTimer::singleShot(0, [&] { closedDuringWait = ivan.window().close(); });
    ivan.copy.tick();
    QVERIFY(!closedDuringWait);
    QVERIFY(ivan.window().isVisible());
    QCOMPARE(sentFrom(network, ivan.address), (QStringList{u"10.0.8.2 ~#&!^~:MYNAMEIS2:ИВАН"_s,
                                                           u"10.0.8.3 ~#&!^~:MYNAMEIS2:ИВАН"_s}));
    QTRY_VERIFY(!ivan.window().isVisible());
    QCOMPARE(sentFrom(network, ivan.address).mid(2),
             (QStringList{u"10.0.8.2 "_s + kExit + u"ИВАН"_s, u"10.0.8.3 "_s + kExit + u"ИВАН"_s}));
}

QTEST_MAIN(MainWindowWiringTest)
#include "test_main_window_wiring.moc"
