#include "app/platform/UserFolder.h"

#include <QStandardPaths>

QString userConfigurationFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}
