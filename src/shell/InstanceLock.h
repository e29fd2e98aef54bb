#pragma once

#include <QLockFile>
#include <QString>

// Keeps a second copy of the program from running beside the first: the
// first to lock the file is the running instance. The lock goes when the
// instance ends, also when it crashed (the file names a process that no
// longer runs).
class InstanceLock {
  public:
    explicit InstanceLock(const QString& path);
    // True when this is the only running instance.
    bool TryLock();

  private:
    QLockFile lock_;
};

// The lock file of this user's instance, in the temporary directory.
QString DefaultInstanceLockPath();
