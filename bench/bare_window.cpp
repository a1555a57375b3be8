// The yardstick for the program's cost at rest: a minimal Qt Widgets window
// with the same kinds of widgets (tabs, two list views, a plain-text box, a
// line edit) and a 1 s timer that shows the time in a label, as the
// program's status line does, and nothing else.

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QStringListModel>
#include <QTabWidget>
#include <QTime>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

using namespace Qt::StringLiterals;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTabWidget window;
    window.setWindowTitle(u"bare"_s);

    auto* chat = new QWidget;
    auto* chatLayout = new QVBoxLayout(chat);
    auto* roster = new QListView;
    QStringListModel rosterLines;
    roster->setModel(&rosterLines);
    chatLayout->addWidget(roster);
    chatLayout->addWidget(new QLineEdit);
    auto* log = new QPlainTextEdit;
    log->setReadOnly(true);
    chatLayout->addWidget(log);
    window.addTab(chat, u"chat"_s);

    auto* settings = new QWidget;
    auto* settingsLayout = new QVBoxLayout(settings);
    auto* directory = new QListView;
    QStringListModel directoryLines;
    directory->setModel(&directoryLines);
    settingsLayout->addWidget(directory);
    window.addTab(settings, u"settings"_s);

    auto* clockLabel = new QLabel;
    chatLayout->addWidget(clockLabel);
    QTimer clock;
    QObject::connect(&clock, &QTimer::timeout, [clockLabel] {
        clockLabel->setText(QTime::currentTime().toString(u"hh:mm:ss"_s));
    });
    clock.start(1000);

    window.resize(653, 482);  // the size of the program's window
    window.show();
    return QApplication::exec();
}
