#include "app/program/Startup.h"

#include "app/desktop/QtTranslations.h"
#include "app/dialogs/ErrorReport.h"
#include "app/dialogs/MessageBoxes.h"
#include "app/platform/InstanceLock.h"
#include "app/platform/TerminationSignals.h"
#include "app/program/Application.h"
#include "app/program/DataFolder.h"
#include "app/program/OrderlyShutdown.h"
#include "app/views/AccessibleViews.h"
#include "app/widgets/Glyphs.h"
#include "app/window/GroupFrameStyle.h"
#include "app/window/MainWindow.h"
#include "core/Protocol.h"
#include "core/Session.h"
#include "net/UdpSocketEndpoint.h"
#include "text/Exception.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QTimer>

#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// An end by signal is over within 5 s, whatever hangs.
constexpr int kSignalEndDeadlineMs = 4500;

// Shown before the title is set, so the box carries the executable's name.
// The line on standard error lets scripts see the refusal too.
void showAlreadyRunning(const Application& app) {
    std::fprintf(stderr, "%s\n", kAlreadyRunning.toLocal8Bit().constData());
    std::fflush(stderr);
    showCaptionedMessage(app.title(), kAlreadyRunning);
}

// The endpoint of the program: it listens on the conference port on every
// local address and sends to the same port. A port that cannot be bound is
// recorded and reported once the window shows; a socket that cannot be
// created at all ends the start with the error.
std::unique_ptr<UdpEndpoint> makeEndpoint() {
    auto endpoint = std::make_unique<UdpSocketEndpoint>(Protocol::kPort);
    endpoint->bind(Protocol::kPort);
    return endpoint;
}

// The endpoint of the handshake port, where newer copies find each other;
// none when that port cannot be had (another program holds it, no right to
// bind it) or the conference port itself could not be bound. Without it the
// copy simply works as an older one does, so nothing is reported.
std::unique_ptr<UdpEndpoint> makeHandshakeEndpoint(const UdpEndpoint& conferenceEndpoint) {
    if (conferenceEndpoint.bindState() != UdpEndpoint::BindState::Bound) {
        return nullptr;
    }
    try {
        auto endpoint = std::make_unique<UdpSocketEndpoint>(Protocol::kHandshakePort);
        endpoint->bind(Protocol::kHandshakePort);
        if (endpoint->bindState() == UdpEndpoint::BindState::Bound) {
            return endpoint;
        }
    } catch (const Exception&) {
        // No second socket: the same as no handshake port.
    }
    return nullptr;
}

}  // namespace

QString findProgramDirectory() {
    const QString dir = QCoreApplication::applicationDirPath();
    const QString canonical = QDir(dir).canonicalPath();
    return (canonical.isEmpty() ? dir : canonical) + u'/';
}

int runVesmar(int& argc, char** argv) {
    Application app(argc, argv);
    installAccessibleViews();
    installQtTranslations(app, QLocale::system());
    const DataFolderPlaces places = dataFolderPlaces(findProgramDirectory());
    DataFolder dataFolder = chooseDataFolder(places);

    // The lock guards the data files, so it follows their folder. A copy that
    // cannot tell whether another one runs (the folder cannot be locked at
    // all) starts: refusing would leave the user with nothing.
    InstanceLock lock;
    if (lock.acquire(dataFolder.path) == InstanceLock::Result::HeldByAnother) {
        showAlreadyRunning(app);
        return EXIT_FAILURE;
    }
    copyStartingFiles(dataFolder, places);
    for (const QString& error : dataFolder.errors) {
        std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
    }

    // Signals are caught from here on: one that arrives while the window is
    // being built waits in the pipe and closes the window once the event
    // loop runs, instead of killing the program before it could save.
    std::unique_ptr<TerminationSignals> terminationSignals;
    try {
        terminationSignals = std::make_unique<TerminationSignals>();
    } catch (const Exception&) {
        // Without the pipe the signals keep their default effect: they end
        // the program at once.
    }

    app.setStyle(new GroupFrameStyle);
    app.setTitle(kApplicationTitle);
    app.setWindowIcon(programIcon());

    std::unique_ptr<UdpEndpoint> endpoint;
    try {
        endpoint = makeEndpoint();
    } catch (const Exception&) {
        app.reportError(std::current_exception());
        return EXIT_FAILURE;
    }
    std::unique_ptr<UdpEndpoint> handshakeEndpoint = makeHandshakeEndpoint(*endpoint);
    Session session(dataFolder.path, std::move(endpoint));
    session.setHandshakeEndpoint(std::move(handshakeEndpoint));
    const auto window = std::make_unique<MainWindow>(session);

    OrderlyShutdown shutdown(window.get());
    // The tray's «Выход» ends the program as a signal does, boxes first.
    QObject::connect(window.get(), &MainWindow::quitRequested, &shutdown, &OrderlyShutdown::start);
    if (terminationSignals) {
        // Nobody is there to answer a box: what would be one goes to standard
        // error, and the end has a deadline.
        QObject::connect(
            terminationSignals.get(), &TerminationSignals::requested, &shutdown,
            [&app, &shutdown, window = window.get()] {
                TerminationSignals::armDeadline(kSignalEndDeadlineMs);
                app.setErrorPresenter(
                    [](const QString& /*title*/, const QString& text) { writeErrorLine(text); });
                window->endUnattended();
                shutdown.start();
            });
    }

    window->show();
    QTimer::singleShot(0, window.get(), &MainWindow::showStartupNotices);
    return app.exec();
}
