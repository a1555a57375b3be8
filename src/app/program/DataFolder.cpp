#include "app/program/DataFolder.h"

#include "app/platform/FolderAccess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include "app/platform/UserFolder.h"

using namespace Qt::StringLiterals;

namespace {

const QStringList kDataFileNames{u"Vesmar.ini"_s, u"ListCorr.dat"_s};

QString withSeparator(const QString& path) {
    return path.endsWith(u'/') ? path : path + u'/';
}

QString canonicalFolder(const QString& path) {
    const QString canonical = QDir(path).canonicalPath();
    return withSeparator(canonical.isEmpty() ? QDir::cleanPath(path) : canonical);
}

}  // namespace

DataFolderPlaces dataFolderPlaces(const QString& programDirectory) {
    DataFolderPlaces places;
    places.programDirectory = withSeparator(programDirectory);
    places.programDirectoryWritable = isWritableFolder(programDirectory);
    // Root may write to /usr/bin too; an installed program still keeps its
    // data out of the system's folders.
    places.installed =
        canonicalFolder(programDirectory) == canonicalFolder(QStringLiteral(VESMAR_INSTALL_BINDIR));
    const QString config = userConfigurationFolder();
    if (!config.isEmpty()) {
        places.userDirectory = withSeparator(config) + u"Vesmar/"_s;
    }
    places.seedDirectories = {places.programDirectory,
                              withSeparator(QStringLiteral(VESMAR_INSTALL_SEEDDIR))};
    return places;
}

DataFolder chooseDataFolder(const DataFolderPlaces& places) {
    DataFolder folder;
    if ((places.programDirectoryWritable && !places.installed) || places.userDirectory.isEmpty()) {
        folder.path = places.programDirectory;
        if (places.userDirectory.isEmpty() && !places.programDirectoryWritable) {
            folder.errors.append(
                u"No per-user configuration folder is known; the data files stay in "_s +
                places.programDirectory);
        }
        return folder;
    }

    folder.path = places.userDirectory;
    folder.perUser = true;
    if (!QDir().mkpath(folder.path)) {
        folder.errors.append(u"Cannot create folder "_s + folder.path);
    }
    return folder;
}

void copyStartingFiles(DataFolder& folder, const DataFolderPlaces& places) {
    if (!folder.perUser || !QFileInfo(folder.path).isDir()) {
        return;
    }
    for (const QString& name : kDataFileNames) {
        const QString target = folder.path + name;
        if (QFileInfo::exists(target)) {
            continue;
        }
        for (const QString& seedDirectory : places.seedDirectories) {
            const QString seed = withSeparator(seedDirectory) + name;
            if (!QFileInfo(seed).isFile()) {
                continue;
            }
            if (QFile::copy(seed, target)) {
                // The copy is the user's own file from now on, whatever
                // permissions the handed-out one had.
                QFile::setPermissions(
                    target, QFile::permissions(target) | QFile::ReadOwner | QFile::WriteOwner);
                folder.copied.append(target);
            } else {
                folder.errors.append(u"Cannot copy "_s + seed + u" to "_s + target);
            }
            break;
        }
    }
}
