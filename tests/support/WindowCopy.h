#pragma once

// One copy of the program in a window test: a session on a data folder of
// its own and a fake endpoint, its main window, and the window's widgets as
// a test reaches them (by objectName). Header-only; for tests that link the
// desktop program's library.

#include "app/commands/NetworkSweep.h"
#include "app/desktop/AttentionAlerts.h"
#include "app/views/ConversationLog.h"
#include "app/views/UniformListView.h"
#include "app/widgets/SweepProgressLine.h"
#include "app/window/MainWindow.h"
#include "app/window/MainWindowUi.h"
#include "core/Protocol.h"
#include "core/Session.h"
#include "support/FakeEndpoint.h"
#include "support/FakeNetwork.h"
#include "support/FileBytes.h"
#include "text/Cp1251.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <functional>
#include <memory>

// The child of type T named name; a missing one ends the run, naming it,
// since every later step would fail on a null pointer anyway.
template <typename T>
T* childNamed(const QObject& root, const QString& name) {
    T* found = root.findChild<T*>(name);
    if (found == nullptr) {
        qFatal("the window has no %s named %s", T::staticMetaObject.className(), qPrintable(name));
    }
    return found;
}

// The window's widgets, found by the names they are built with.
inline MainWindowUi findWidgets(const QWidget& window) {
    MainWindowUi ui;
#define VESMAR_FIND(field) \
    ui.field = childNamed<std::remove_pointer_t<decltype(ui.field)>>(window, QStringLiteral(#field))
    VESMAR_FIND(clockLabel);
    VESMAR_FIND(aboutButton);
    VESMAR_FIND(receiveOffLabel);
    VESMAR_FIND(lostDatagramsLabel);
    VESMAR_FIND(undeliveredLabel);
    VESMAR_FIND(refusedEntriesLabel);
    VESMAR_FIND(rosterFullLabel);
    VESMAR_FIND(sweepLine);
    VESMAR_FIND(pages);
    VESMAR_FIND(registerButton);
    VESMAR_FIND(rosterView);
    VESMAR_FIND(selfNameEdit);
    VESMAR_FIND(sendPanel);
    VESMAR_FIND(sendButton);
    VESMAR_FIND(messageEdit);
    VESMAR_FIND(recipientChoice);
    VESMAR_FIND(toEveryoneButton);
    VESMAR_FIND(toSelectedButton);
    VESMAR_FIND(logView);
    VESMAR_FIND(messagePopUpBox);
    VESMAR_FIND(messagePopUpFilter);
    VESMAR_FIND(correspondentPopUpBox);
    VESMAR_FIND(correspondentPopUpFilter);
    VESMAR_FIND(messageBeepBox);
    VESMAR_FIND(messageBeepFilter);
    VESMAR_FIND(correspondentBeepBox);
    VESMAR_FIND(correspondentBeepFilter);
    VESMAR_FIND(minimizeOnStartBox);
    VESMAR_FIND(directoryView);
    VESMAR_FIND(windowMenu);
    VESMAR_FIND(sendAction);
    VESMAR_FIND(directoryMenu);
    VESMAR_FIND(editEntryAction);
    VESMAR_FIND(addEntryAction);
    VESMAR_FIND(findOnNetworkAction);
    VESMAR_FIND(insertEntryAction);
    VESMAR_FIND(deleteEntryAction);
    VESMAR_FIND(deleteAllAction);
    VESMAR_FIND(checkLinkAction);
    VESMAR_FIND(shareDirectoryAction);
    VESMAR_FIND(shareEntryAction);
    VESMAR_FIND(logMenu);
    VESMAR_FIND(copyToMenu);
    VESMAR_FIND(copyToClipboardAction);
    VESMAR_FIND(saveLogAction);
    VESMAR_FIND(clearLogAction);
#undef VESMAR_FIND
    return ui;
}

// A data folder that a test has prepared and keeps itself.
struct ExistingFolder {
    QString path;
};

class WindowCopy {
    // Declared first so that it goes last, after the window and the session.
    std::unique_ptr<QTemporaryDir> dir_;
    QString folder_;

  public:
    // A copy at address on network whose data folder, of its own, holds the
    // given data files (none when empty). The ticks do not run by
    // themselves: a test ticks by hand, or starts the session's tickTimer().
    WindowCopy(FakeNetwork& network, const QString& address, const QString& ini = {},
               const QByteArray& listCorr = {})
        : WindowCopy(network, address, prepare(ini, listCorr)) {}

    // The same on a folder the caller keeps; beforeWindow, when given, sees
    // the endpoint before the window is built on it.
    WindowCopy(FakeNetwork& network, const QString& address, const ExistingFolder& folder,
               const std::function<void(FakeEndpoint&)>& beforeWindow = {})
        : folder_(folder.path) {
        build(network, address, beforeWindow);
    }

    const MainWindowUi* operator->() const { return &ui; }

    [[nodiscard]] QString path(const QString& name) const { return folder_ + u'/' + name; }
    [[nodiscard]] const QString& folder() const { return folder_; }
    [[nodiscard]] EntryList& directory() const { return session->conference().directory(); }
    [[nodiscard]] EntryList& roster() const { return session->conference().roster(); }
    [[nodiscard]] const QString& selfName() const { return session->conference().selfName(); }
    [[nodiscard]] AttentionAlerts& alerts() const {
        return *childNamed<AttentionAlerts>(*window, QStringLiteral("attentionAlerts"));
    }
    [[nodiscard]] NetworkSweep& networkSweep() const {
        return *childNamed<NetworkSweep>(*window, QStringLiteral("networkSweep"));
    }
    void tick() const { session->tick(); }

    // Shows the window and makes it the active one, so Enter reaches sendAction.
    [[nodiscard]] bool showActive() const {
        window->show();
        QApplication::setActiveWindow(window.get());
        return QTest::qWaitForWindowActive(window.get());
    }

    FakeEndpoint* endpoint = nullptr;
    FakeEndpoint* handshakeEndpoint = nullptr;
    std::unique_ptr<Session> session;
    std::unique_ptr<MainWindow> window;
    MainWindowUi ui;

  private:
    WindowCopy(FakeNetwork& network, const QString& address, std::unique_ptr<QTemporaryDir> dir)
        : dir_(std::move(dir)), folder_(dir_->path()) {
        build(network, address);
    }

    static std::unique_ptr<QTemporaryDir> prepare(const QString& ini, const QByteArray& listCorr) {
        auto dir = std::make_unique<QTemporaryDir>();
        if (!ini.isEmpty()) {
            writeBytes(dir->filePath(QStringLiteral("Vesmar.ini")), Cp1251::encode(ini));
        }
        if (!listCorr.isEmpty()) {
            writeBytes(dir->filePath(QStringLiteral("ListCorr.dat")), listCorr);
        }
        return dir;
    }

    void build(FakeNetwork& network, const QString& address,
               const std::function<void(FakeEndpoint&)>& beforeWindow = {}) {
        auto fake = std::make_unique<FakeEndpoint>(network, address);
        endpoint = fake.get();
        if (beforeWindow) {
            beforeWindow(*fake);
        }
        session = std::make_unique<Session>(folder_, std::move(fake));
        // The handshake port too, as a newer copy binds it.
        auto handshake = std::make_unique<FakeEndpoint>(network, address, Protocol::kHandshakePort);
        handshakeEndpoint = handshake.get();
        session->setHandshakeEndpoint(std::move(handshake));
        window = std::make_unique<MainWindow>(*session);
        session->tickTimer().stop();
        ui = findWidgets(*window);
    }
};
