#include "app/desktop/TrayIcon.h"

#include "app/widgets/Glyphs.h"

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

using namespace Qt::StringLiterals;

namespace {

const QString kTitle = u"Зовница"_s;

}  // namespace

TrayIcon::TrayIcon(QObject* parent) : QObject(parent) {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return;
    }
    menu_ = std::make_unique<QMenu>();
    menu_->setObjectName(u"trayMenu"_s);
    QAction* open = menu_->addAction(u"Открыть"_s);
    open->setObjectName(u"trayOpenAction"_s);
    connect(open, &QAction::triggered, this, &TrayIcon::openRequested);
    QAction* quit = menu_->addAction(u"Выход"_s);
    quit->setObjectName(u"trayQuitAction"_s);
    connect(quit, &QAction::triggered, this, &TrayIcon::quitRequested);

    tray_ = new QSystemTrayIcon(programIcon(), this);
    tray_->setObjectName(u"systemTrayIcon"_s);
    tray_->setToolTip(kTitle);
    tray_->setContextMenu(menu_.get());
    connect(tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                    emit openRequested();
                }
            });
    tray_->show();
}

TrayIcon::~TrayIcon() {
    // The icon goes before the menu it shows.
    delete tray_;
}

QIcon TrayIcon::markedIcon() {
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap picture = programPicture(size);
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal dot = size * 0.46;
        painter.setPen(QPen(Qt::white, std::max(1.0, size / 16.0)));
        painter.setBrush(QColor(0xd9, 0x30, 0x25));
        painter.drawEllipse(QRectF(size - dot - 0.5, 0.5, dot, dot));
        painter.end();
        icon.addPixmap(picture);
    }
    return icon;
}

void TrayIcon::addUnread() {
    ++unread_;
    showUnread();
}

void TrayIcon::clearUnread() {
    if (unread_ == 0) {
        return;
    }
    unread_ = 0;
    showUnread();
}

void TrayIcon::showUnread() {
    if (tray_ == nullptr) {
        return;
    }
    if (unread_ == 0) {
        tray_->setIcon(programIcon());
        tray_->setToolTip(kTitle);
        return;
    }
    if (markedIcon_.isNull()) {
        markedIcon_ = markedIcon();
    }
    if (unread_ == 1) {
        tray_->setIcon(markedIcon_);
    }
    tray_->setToolTip(kTitle + u" — новых сообщений: "_s + QString::number(unread_));
}
