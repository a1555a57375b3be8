#include "app/dialogs/AboutBox.h"
#include "app/dialogs/ErrorReport.h"
#include "app/program/Application.h"
#include "app/program/OrderlyShutdown.h"
#include "app/window/ClockText.h"
#include "core/ConferenceTexts.h"
#include "support/ModalWatch.h"
#include "support/WindowCopy.h"
#include "text/Cp1251.h"
#include "text/Exception.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>

#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

// A receiver whose event handler throws what the test asks for.
class Thrower : public QObject {
  public:
    std::function<void()> action;
    int handled = 0;

  protected:
    bool event(QEvent* event) override {
        if (event->type() != QEvent::User) {
            return QObject::event(event);
        }
        ++handled;
        if (action) {
            action();
        }
        return true;
    }
};

// A main window that counts how often it was closed.
class CountingWindow : public QWidget {
  public:
    int closes = 0;

  protected:
    void closeEvent(QCloseEvent* event) override {
        ++closes;
        QWidget::closeEvent(event);
    }
};

// True when the unquoted part of a time format holds the letter.
bool hasUnquoted(const QString& format, QChar letter) {
    bool quoted = false;
    for (const QChar ch : format) {
        if (ch == u'\'') {
            quoted = !quoted;
        } else if (!quoted && ch == letter) {
            return true;
        }
    }
    return false;
}

}  // namespace

class ShellTest : public QObject {
    Q_OBJECT
  private slots:
    void errorReportTextAddsDot_data();
    void errorReportTextAddsDot();
    void escapedExceptionsAreReported_data();
    void escapedExceptionsAreReported();
    void exceptionFromQueuedCallIsReported();
    void windowFailuresStopAtTheirOwnHandlers();
    void timeZoneIsRemoved_data();
    void timeZoneIsRemoved();
    void everyLocaleKeepsSecondsAndLosesZone();
    void clockTextFormats_data();
    void clockTextFormats();
    void orderlyShutdownClosesBoxesThenWindow();
    void aboutBox();
};

void ShellTest::errorReportTextAddsDot_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("letter") << u"Cannot open file /x/ListCorr.dat"_s
                            << u"Cannot open file /x/ListCorr.dat."_s;
    QTest::newRow("dot") << u"Done."_s << u"Done."_s;
    QTest::newRow("exclamation 0x21")
        << u"Программа уже запущена !"_s << u"Программа уже запущена !"_s;
    QTest::newRow("blank 0x20") << u"x "_s << u"x "_s;
    QTest::newRow("hyphen 0x2D") << u"x-"_s << u"x-"_s;
    QTest::newRow("slash 0x2F") << u"x/"_s << u"x/."_s;
    QTest::newRow("digit") << u"port 333"_s << u"port 333."_s;
    QTest::newRow("cyrillic ya 0xFF") << u"ошибка связи"_s << u"ошибка связи."_s;
    QTest::newRow("euro 0x88") << u"x€"_s << u"x€."_s;
    QTest::newRow("outside code page sorts as ?") << u"x中"_s << u"x中."_s;
    QTest::newRow("empty") << QString() << QString();
}

void ShellTest::errorReportTextAddsDot() {
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(errorReportText(message), shown);
}

void ShellTest::escapedExceptionsAreReported_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::newRow("program's error") << 0 << u"Error! Не корректный корреспондент."_s;
    QTest::newRow("standard exception") << 1 << u"bad thing."_s;
    QTest::newRow("anything else") << 2 << u"Неизвестная ошибка."_s;
}

void ShellTest::escapedExceptionsAreReported() {
    QFETCH(int, kind);
    QFETCH(QString, text);
    auto* app = static_cast<Application*>(QCoreApplication::instance());
    app->setTitle(kApplicationTitle);
    QStringList reports;
    app->setErrorPresenter(
        [&reports](const QString& title, const QString& shown) { reports << title << shown; });

    Thrower thrower;
    thrower.action = [kind] {
        switch (kind) {
            case 0:
                throw Exception(u"Error! Не корректный корреспондент"_s);
            case 1:
                throw std::runtime_error("bad thing");
            default:
                throw 42;
        }
    };
    QEvent event(QEvent::User);
    QCOMPARE(QCoreApplication::sendEvent(&thrower, &event), false);
    QCOMPARE(reports, (QStringList{u"Зовница"_s, text}));

    // The program goes on: the next event is delivered as usual.
    thrower.action = nullptr;
    QEvent next(QEvent::User);
    QVERIFY(QCoreApplication::sendEvent(&thrower, &next));
    QCOMPARE(thrower.handled, 2);
    QCOMPARE(reports.size(), 2);
}

void ShellTest::exceptionFromQueuedCallIsReported() {
    auto* app = static_cast<Application*>(QCoreApplication::instance());
    app->setTitle(kApplicationTitle);
    QStringList reports;
    app->setErrorPresenter([&reports](const QString&, const QString& shown) { reports << shown; });
    bool after = false;
    QTimer::singleShot(0, [] { throw Exception(u"Unable to write to /x/Vesmar.ini"_s); });
    QTimer::singleShot(0, [&after] { after = true; });
    QTRY_VERIFY(after);
    QCOMPARE(reports, QStringList{u"Unable to write to /x/Vesmar.ini."_s});
}

void ShellTest::windowFailuresStopAtTheirOwnHandlers() {
    // Every failure the window reports, each from the event loop as a person
    // or the network makes it happen: reported once each, and none of them
    // reached notify() on the way.
    auto* app = static_cast<Application*>(QCoreApplication::instance());
    QStringList reports;
    app->setErrorPresenter([&reports](const QString&, const QString& shown) { reports << shown; });
    const int escapedBefore = app->escapedExceptions();
    FakeNetwork network;
    WindowCopy copy(network, u"10.0.5.1"_s, u"[ANY]\r\nMyName=ИВАН\r\n"_s,
                    Cp1251::encode(u"ИВАН _|_ 10.0.5.1\r\nГОСТЬ _|_ nosuchhost\r\n"_s));
    const QString unresolved =
        ConferenceTexts::sendFailures({{u"nosuchhost"_s, u"Host Lookup Canceled"_s}}) + u'.';

    // The first tick, from its timer: the registration to the name fails.
    copy.session->tickTimer().start();
    QTRY_VERIFY(!copy.session->firstTick());
    network.flush();
    QTRY_COMPARE(reports, QStringList{unresolved});

    // A registration whose answer cannot go, handled from the socket.
    network.inject(u"0.0.0.0"_s, u"10.0.5.1"_s, Cp1251::encode(u"~#&!^~:MYNAMEIS2:НИКТО"_s));
    network.flush();
    QTRY_COMPARE(reports.size(), 2);
    QCOMPARE(reports.last(), u"Null Remote Address."_s);

    // Commands: the button and a menu action, each through the event loop;
    // the link check shows its notice box first, as always.
    QTimer::singleShot(0, copy->registerButton, &QAbstractButton::click);
    QTRY_COMPARE(reports.size(), 3);
    QCOMPARE(reports.last(), unresolved);
    copy.directory().setSelectedIndex(1);
    QStringList notices;
    ModalWatch<QMessageBox> notice([&notices](QMessageBox* box) {
        notices << box->text();
        box->close();
    });
    QTimer::singleShot(0, copy->checkLinkAction, &QAction::trigger);
    QTRY_COMPARE(reports.size(), 4);
    QCOMPARE(reports.last(), u"Host Lookup Canceled."_s);
    QCOMPARE(notices, QStringList{ConferenceTexts::invalidHost()});

    QCOMPARE(app->escapedExceptions(), escapedBefore);
}

void ShellTest::timeZoneIsRemoved_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("expected");
    QTest::newRow("after") << u"HH:mm:ss t"_s << u"HH:mm:ss"_s;
    QTest::newRow("before") << u"t HH:mm:ss"_s << u"HH:mm:ss"_s;
    QTest::newRow("long zone") << u"HH:mm:ss tttt"_s << u"HH:mm:ss"_s;
    QTest::newRow("brackets") << u"HH:mm:ss (t)"_s << u"HH:mm:ss"_s;
    QTest::newRow("square brackets") << u"APh:mm:ss [t]"_s << u"APh:mm:ss"_s;
    QTest::newRow("comma") << u"h:mm:ss AP, t"_s << u"h:mm:ss AP"_s;
    QTest::newRow("quoted t stays") << u"'kl'. HH:mm:ss t"_s << u"'kl'. HH:mm:ss"_s;
    QTest::newRow("quoted text then zone") << u"H:mm:ss 'ч'. t"_s << u"H:mm:ss 'ч'."_s;
    QTest::newRow("in the middle") << u"AP t h:mm:ss"_s << u"AP h:mm:ss"_s;
    QTest::newRow("no zone") << u"HH:mm:ss"_s << u"HH:mm:ss"_s;
    QTest::newRow("escaped quote") << u"HH:mm:ss 'o''t' t"_s << u"HH:mm:ss 'o''t'"_s;
}

void ShellTest::timeZoneIsRemoved() {
    QFETCH(QString, format);
    QFETCH(QString, expected);
    QCOMPARE(withoutTimeZone(format), expected);
}

void ShellTest::everyLocaleKeepsSecondsAndLosesZone() {
    const QTime time(14, 5, 9);
    for (const QLocale& locale : QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript,
                                                          QLocale::AnyTerritory)) {
        const QString format = withoutTimeZone(locale.timeFormat(QLocale::LongFormat));
        QVERIFY2(!hasUnquoted(format, u't'), qPrintable(locale.name() + u' ' + format));
        QVERIFY2(hasUnquoted(format, u's'), qPrintable(locale.name() + u' ' + format));
        QVERIFY2(!format.startsWith(u' ') && !format.endsWith(u' '),
                 qPrintable(locale.name() + u' ' + format));
        QVERIFY(!locale.toString(time, format).isEmpty());
    }
}

void ShellTest::clockTextFormats_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("expected");
    QTest::newRow("Russian") << u"ru_RU"_s << u"14:05:09  06.12.2026"_s;
    QTest::newRow("German") << u"de_DE"_s << u"14:05:09  06.12.26"_s;
    QTest::newRow("American") << u"en_US"_s << u"2:05:09\u202FPM  12/6/26"_s;
}

void ShellTest::clockTextFormats() {
    QFETCH(QString, locale);
    QFETCH(QString, expected);
    const QDateTime now(QDate(2026, 12, 6), QTime(14, 5, 9));
    QString text = clockText(now, QLocale(locale));
    text.replace(u' ', u'\u202F').replace(u"\u202F\u202F"_s, u"  "_s);  // CLDR spacing varies
    expected.replace(u' ', u'\u202F').replace(u"\u202F\u202F"_s, u"  "_s);
    QCOMPARE(text, expected);
}

void ShellTest::orderlyShutdownClosesBoxesThenWindow() {
    CountingWindow window;
    window.show();
    OrderlyShutdown shutdown(&window);
    QEventLoop loop;  // stands for the application's own loop
    QStringList steps;

    // A handler opens a box and, from inside it, a second one; the request
    // to end arrives while both are open.
    QTimer::singleShot(0, &window, [&] {
        QTimer::singleShot(0, &window, [&] {
            QTimer::singleShot(0, &window, [&] { shutdown.start(); });
            QMessageBox inner(QMessageBox::Information, u"t"_s, u"inner"_s, QMessageBox::Ok);
            inner.exec();
            steps << u"inner returned"_s;
        });
        QMessageBox outer(QMessageBox::Question, u"Confirm"_s, u"outer"_s,
                          QMessageBox::Ok | QMessageBox::Cancel);
        const int answer = outer.exec();
        steps << (answer == QMessageBox::Cancel ? u"outer cancelled"_s : u"outer accepted"_s);
        steps << (window.closes == 0 ? u"window still open"_s : u"window closed early"_s);
    });
    QObject::connect(&shutdown, &QObject::destroyed, &loop, &QEventLoop::quit);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (window.closes > 0) {
            loop.quit();
        }
    });
    poll.start(5);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);  // a broken sequence fails, not hangs
    loop.exec();

    QCOMPARE(steps,
             (QStringList{u"inner returned"_s, u"outer cancelled"_s, u"window still open"_s}));
    QCOMPARE(window.closes, 1);
    QVERIFY(!window.isVisible());
    QVERIFY(!shutdown.running());
}

void ShellTest::aboutBox() {
    AboutBox box;
    QCOMPARE(box.windowTitle(), u"About"_s);
    QCOMPARE(box.size(), QSize(298, 343));
    QCOMPARE(box.productName->text(), u"\"Зовница\""_s);
    QVERIFY(box.productName->font().bold());
    QCOMPARE(box.version->text(), u"Версия  1.05  от  16.02.2000"_s);
    QVERIFY(box.guide->isReadOnly());
    QVERIFY(box.okButton->isDefault());
    QCOMPARE(box.okButton->text(), u"OK"_s);

    const QStringList lines = AboutBox::guideLines();
    QVERIFY2(lines.size() >= 35 && lines.size() <= 55, qPrintable(QString::number(lines.size())));
    const qsizetype setup = lines.indexOf(u"НАСТРОЙКА :"_s);
    const qsizetype work = lines.indexOf(u"РАБОТА :"_s);
    QVERIFY(setup > 0 && work > setup);
    QVERIFY(lines[setup - 1].isEmpty() && lines[work - 1].isEmpty());
    QVERIFY(lines.last().size() > 10 && lines.last().count(u'-') == lines.last().size());
    // The firewall advice names the two ports the program binds.
    QVERIFY(lines.contains(u"и брандмауэр: порты UDP 333 и 334"_s));
    for (const QString& line : lines) {
        QCOMPARE(Cp1251::fromTyped(line), line);
    }
    QCOMPARE(box.guide->toPlainText(), lines.join(u'\n'));
    for (QTextBlock block = box.guide->document()->begin(); block.isValid(); block = block.next()) {
        QCOMPARE(block.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    }

    // OK closes the box with result 1.
    QTimer::singleShot(0, &box, [&box] { QTest::keyClick(&box, Qt::Key_Return); });
    QCOMPARE(box.exec(), 1);
}

int main(int argc, char** argv) {
    Application app(argc, argv);
    ShellTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_shell.moc"
