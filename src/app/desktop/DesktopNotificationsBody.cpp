#include "app/desktop/DesktopNotifications.h"

using namespace Qt::StringLiterals;

// The text of the one notification that stands for every event since the
// user last looked, the same whichever way the system shows it.
QString DesktopNotifications::bodyText(const QString& latest, int count) {
    if (count <= 1) {
        return latest;
    }
    return latest + u"\n(всего: "_s + QString::number(count) + u')';
}
