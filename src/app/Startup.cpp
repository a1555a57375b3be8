#include "app/Startup.h"

#include "app/Glyphs.h"
#include "app/InstanceLock.h"
#include "app/OrderlyShutdown.h"
#include "app/TAboutBox.h"
#include "app/TDlgCorr1.h"
#include "app/TForm1.h"
#include "app/TerminationSignals.h"
#include "app/VesmarApplication.h"
#include "text/Exception.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

// Shown before the title is set, so the box carries the executable's name.
// The line on standard error lets scripts see the refusal too.
void ShowAlreadyRunning(const VesmarApplication& app) {
    std::fprintf(stderr, "%s\n", kAlreadyRunning.toLocal8Bit().constData());
    std::fflush(stderr);
    QMessageBox box(QMessageBox::NoIcon, app.title(), kAlreadyRunning, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

}  // namespace

QString ProgramDirectory() {
    const QString dir = QCoreApplication::applicationDirPath();
    const QString canonical = QDir(dir).canonicalPath();
    return (canonical.isEmpty() ? dir : canonical) + u'/';
}

int RunVesmar(int& argc, char** argv) {
    VesmarApplication app(argc, argv);
    const QString programDirectory = ProgramDirectory();

    // A copy that cannot tell whether another one runs (the folder cannot be
    // locked at all) starts: refusing would leave the user with nothing.
    InstanceLock lock;
    if (lock.acquire(programDirectory) == InstanceLock::Result::HeldByAnother) {
        ShowAlreadyRunning(app);
        return EXIT_FAILURE;
    }

    app.setTitle(kApplicationTitle);
    app.setWindowIcon(ProgramIcon());

    // The UDP endpoint is created here and handed to the window.
    TForm1 form(programDirectory, nullptr);
    auto* dlgCorr = new TDlgCorr1(&form);
    auto* aboutBox = new TAboutBox(&form);
    form.attachDialogs(dlgCorr, aboutBox);

    OrderlyShutdown shutdown(&form);
    std::unique_ptr<TerminationSignals> terminationSignals;
    try {
        terminationSignals = std::make_unique<TerminationSignals>();
        QObject::connect(terminationSignals.get(), &TerminationSignals::requested, &shutdown,
                         &OrderlyShutdown::start);
    } catch (const Exception&) {
        // Without the pipe the signals keep their default effect: they end
        // the program at once.
    }

    form.show();
    QTimer::singleShot(0, &form, &TForm1::showStartupNotices);
    return app.exec();
}
