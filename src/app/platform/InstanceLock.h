#pragma once

#include <QString>
#include <QtGlobal>

// The single-instance rule: one running copy per program directory, so two
// copies never share one pair of data files. The lock is held until this
// object is destroyed or the process ends, crashed or not. On Linux it is an
// advisory lock on the directory itself, so every path that reaches the same
// directory (symlinks, bind mounts) reaches the same lock; on Windows a named
// object of the desktop session keyed to the directory's canonical path.
class InstanceLock {
  public:
    enum class Result {
        Acquired,       // this copy is the only one
        HeldByAnother,  // another running copy holds the directory
        Unavailable,    // the directory could not be locked; nothing is known
    };

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Tries to take the lock of directory, without waiting.
    Result acquire(const QString& directory);

    [[nodiscard]] bool held() const { return handle_ != -1; }

  private:
    // The system's handle of the lock; -1 while none is held.
    qintptr handle_ = -1;
};
