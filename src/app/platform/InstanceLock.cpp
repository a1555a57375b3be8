#include "app/platform/InstanceLock.h"

#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>

InstanceLock::~InstanceLock() {
    if (handle_ != -1) {
        ::close(static_cast<int>(handle_));
    }
}

InstanceLock::Result InstanceLock::acquire(const QString& directory) {
    if (handle_ != -1) {
        return Result::Acquired;
    }
    const QByteArray path = QFile::encodeName(directory);
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return Result::Unavailable;
    }
    int rc = 0;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int error = errno;
        ::close(fd);
        return error == EWOULDBLOCK ? Result::HeldByAnother : Result::Unavailable;
    }
    handle_ = fd;
    return Result::Acquired;
}
