#include "support/WithoutWriteRight.h"

#include <QFile>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>

std::optional<QStringList> runWithoutWriteRight(const QString& folder, const QStringList& files,
                                                const std::function<QStringList()>& body) {
    if (::geteuid() != 0) {
        const QFileDevice::Permissions before = QFile::permissions(folder);
        if (!QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner)) {
            return QStringList{QStringLiteral("cannot take the folder's write permission")};
        }
        QStringList found = body();
        QFile::setPermissions(folder, before);
        return found;
    }
    // Permissions do not stop root: the body runs in a child that has given
    // root up, in a root-owned folder, on files it owns.
    constexpr uid_t kNobody = 65534;
    if (::chmod(QFile::encodeName(folder).constData(), 0755) != 0) {
        return QStringList{QStringLiteral("cannot chmod the folder")};
    }
    for (const QString& path : files) {
        if (::chown(QFile::encodeName(path).constData(), kNobody, kNobody) != 0) {
            return QStringList{QStringLiteral("cannot chown ") + path};
        }
    }
    const pid_t child = ::fork();
    if (child < 0) {
        return QStringList{QStringLiteral("cannot fork")};
    }
    if (child == 0) {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
            ::_exit(2);
        }
        const QStringList found = body();
        for (const QString& failure : found) {
            std::fprintf(stderr, "%s\n", failure.toLocal8Bit().constData());
        }
        ::_exit(found.isEmpty() ? 0 : 1);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return QStringList{QStringLiteral("the child did not end normally")};
    }
    if (WEXITSTATUS(status) != 0) {
        return QStringList{QStringLiteral("the child found failures (on standard error)")};
    }
    return QStringList();
}
