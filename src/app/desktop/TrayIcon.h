#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

#include <memory>

class QMenu;
class QSystemTrayIcon;

// The program's icon in the desktop's tray (a StatusNotifierItem on the
// session bus, or the older X11 tray), where the desktop has one. It carries
// a mark while chat lines have arrived since the window was last active; a
// click asks for the window; its menu offers «Открыть» and «Выход». Where no
// tray exists it shows nothing and changes nothing else.
class TrayIcon : public QObject {
    Q_OBJECT
  public:
    explicit TrayIcon(QObject* parent = nullptr);
    ~TrayIcon() override;

    // Whether the icon stands in a tray.
    [[nodiscard]] bool shown() const { return tray_ != nullptr; }

    // One more chat line the user has not seen; clearUnread() when the user
    // has come to the window.
    void addUnread();
    void clearUnread();
    [[nodiscard]] int unread() const { return unread_; }

    // The icon with the unread mark: the program's picture and a dot.
    [[nodiscard]] static QIcon markedIcon();

  signals:
    void openRequested();
    void quitRequested();

  private:
    void showUnread();

    std::unique_ptr<QMenu> menu_;
    QSystemTrayIcon* tray_ = nullptr;
    QIcon markedIcon_;
    int unread_ = 0;
};
