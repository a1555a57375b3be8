#include "app/platform/UserFolder.h"

#include <QDir>

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

QString userConfigurationFolder() {
    // Qt's configuration location on Windows is the local, not the roaming,
    // application data; settings that follow the user belong in the roaming.
    PWSTR path = nullptr;
    QString folder;
    if (::SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_DEFAULT, nullptr, &path) == S_OK &&
        path != nullptr) {
        folder = QDir::fromNativeSeparators(QString::fromWCharArray(path));
    }
    ::CoTaskMemFree(path);
    if (folder.isEmpty()) {
        folder = QDir::fromNativeSeparators(qEnvironmentVariable("APPDATA"));
    }
    while (folder.endsWith(u'/')) {
        folder.chop(1);
    }
    return folder;
}
