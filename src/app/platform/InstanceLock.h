#pragma once

#include <QString>

// The single-instance rule: one running copy per program directory, so two
// copies never share one pair of data files. The lock is an advisory lock on
// the directory itself, held until this object is destroyed or the process
// ends, crashed or not. Every path that reaches the same directory (symlinks,
// bind mounts) reaches the same lock.
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

    [[nodiscard]] bool held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};
