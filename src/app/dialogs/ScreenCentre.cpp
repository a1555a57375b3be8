#include "app/dialogs/ScreenCentre.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

void centreOnScreen(QWidget& window) {
    QScreen* screen = window.screen();
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return;
    }
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
}
