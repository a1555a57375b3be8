// The network search in the main window: the command, its dialog's checks,
// the progress line and the summary, on the in-process network with a
// made-up interface list. Nothing reads or sends to the machine's network.
#include "app/commands/NetworkSweep.h"
#include "app/dialogs/SweepDialog.h"
#include "app/widgets/SweepProgressLine.h"
#include "core/SweepRanges.h"
#include "support/ConferencePeer.h"
#include "support/FakeProbeSender.h"
#include "support/ModalWatch.h"
#include "support/WindowCopy.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

LocalNetwork net(const QString& address, int prefix) {
    return {SweepRanges::parseAddress(address).value(), prefix};
}

// Clicks "Начать" on a shown dialog with this text, and returns the text of
// the message box that answers it ("" when none opened).
QString start(SweepDialog& dialog, const QString& ranges, bool confirm = false) {
    dialog.rangesEdit->setPlainText(ranges);
    QString message;
    // A plain message has OK alone; the confirmation has OK and Cancel.
    ModalWatch<QMessageBox> watch([&message, confirm](QMessageBox* box) {
        message = box->text();
        answerBox(box, box->buttons().size() == 1 || confirm ? Answer::Ok : Answer::Cancel);
    });
    dialog.startButton->click();
    return message;
}

}  // namespace

class TestNetworkSweep : public QObject {
    Q_OBJECT
  private slots:
    void dialogChecksTheRanges();
    void sweepFillsTheDirectory();
};

void TestNetworkSweep::dialogChecksTheRanges() {
    SweepDialog dialog;
    dialog.show();
    // Each refusal leaves the dialog open with nothing decided.
    QCOMPARE(start(dialog, u"10.0.0.0/24\n10.0.0.x"_s),
             u"Error! Не корректный диапазон в строке 2 : \"10.0.0.x\""_s);
    QCOMPARE(start(dialog, u"10.0.0.0/19"_s),
             u"Слишком много адресов : 8192. За один раз можно опросить не более 4096."_s);
    QCOMPARE(start(dialog, u"127.0.0.1"_s),
             u"Некого опрашивать : в диапазонах нет ни одного чужого адреса."_s);
    QCOMPARE(start(dialog, u"10.0.0.0/23"_s), u"Будет опрошено адресов : 510. Начать ?"_s);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    // 256 addresses start without a question; more start once confirmed.
    QCOMPARE(start(dialog, u"10.0.0.1-10.0.1.0"_s), QString());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    dialog.show();
    QCOMPARE(start(dialog, u"10.0.0.0/23"_s, true), u"Будет опрошено адресов : 510. Начать ?"_s);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void TestNetworkSweep::sweepFillsTheDirectory() {
    FakeNetwork network;
    const WindowCopy copy(network, u"10.0.0.1"_s);
    const MainWindowUi& window = copy.ui;
    ConferencePeer petr(network, u"10.0.0.2"_s, u"ПЕТР"_s);
    int sendersMade = 0;
    copy.networkSweep().setNetworkSource([] { return QList{net(u"10.0.0.1"_s, 29)}; });
    copy.networkSweep().setSenderFactory([&network, &sendersMade] {
        ++sendersMade;
        return std::make_unique<FakeProbeSender>(network, u"10.0.0.1"_s);
    });
    copy.window->show();

    // The command follows "Добавить" in the directory's menu, with Ctrl+F.
    const QList<QAction*> items = window.directoryMenu->actions();
    QCOMPARE(items.indexOf(window.findOnNetworkAction), items.indexOf(window.addEntryAction) + 1);
    QCOMPARE(window.findOnNetworkAction->text(), u"Найти в сети ..."_s);
    QCOMPARE(window.findOnNetworkAction->shortcut(), QKeySequence(u"Ctrl+F"_s));
    QVERIFY(window.sweepLine->isHidden());

    // A cancelled dialog sends nothing.
    ModalWatch<SweepDialog> cancelWatch([](SweepDialog* dialog) { dialog->cancelButton->click(); });
    window.findOnNetworkAction->trigger();
    QVERIFY(cancelWatch.ran());
    QCOMPARE(sendersMade, 0);

    // The proposal is the own subnet; the sweep finds ПЕТР.
    QString proposed;
    ModalWatch<SweepDialog> startWatch([&proposed](SweepDialog* dialog) {
        proposed = dialog->rangesEdit->toPlainText();
        dialog->startButton->click();
    });
    window.findOnNetworkAction->trigger();
    QCOMPARE(proposed, u"10.0.0.0/29"_s);
    QVERIFY(window.sweepLine->isVisible());
    QCOMPARE(window.sweepLine->button->text(), u"Прервать"_s);
    QVERIFY(!window.findOnNetworkAction->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(window.sweepLine->label->text(),
                              u"Поиск закончен : ответили 1, из них новых в списке 1."_s, 10000);
    QCOMPARE(copy.directory().lines(), QStringList{u"ПЕТР _|_ 10.0.0.2"_s});
    QVERIFY(window.findOnNetworkAction->isEnabled());
    QCOMPARE(window.sweepLine->button->text(), u"Скрыть"_s);
    window.sweepLine->button->click();
    QVERIFY(window.sweepLine->isHidden());

    // "Прервать" stops the next sweep at once.
    ModalWatch<SweepDialog> againWatch([](SweepDialog* dialog) {
        dialog->rangesEdit->setPlainText(u"10.0.0.0/24"_s);
        dialog->startButton->click();
    });
    window.findOnNetworkAction->trigger();
    QVERIFY(copy.networkSweep().isRunning());
    window.sweepLine->button->click();
    QVERIFY(!copy.networkSweep().isRunning());
    QVERIFY(window.sweepLine->label->text().startsWith(u"Поиск прерван : "_s));
    QVERIFY(window.findOnNetworkAction->isEnabled());
    QCOMPARE(sendersMade, 2);
}

QTEST_MAIN(TestNetworkSweep)
#include "test_network_sweep.moc"
