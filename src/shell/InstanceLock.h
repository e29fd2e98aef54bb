#pragma once

#include <QString>

#ifdef Q_OS_WIN
#include <QLockFile>
#endif

// Keeps a second copy of the program from running beside the first: the
// first to lock the file is the running instance. The lock goes when the
// instance ends, also when it crashed.
//
// On POSIX systems the lock is an advisory lock (flock) on a file in a
// folder only the user can write, so no other user can plant something in
// its place, and a file left behind by a crash never stops a new start. The
// folder and the file are looked at before they are trusted: a folder that
// is not the user's or that others can write, and anything at the file's
// place that is not a regular file of the user's, are refused without
// waiting (a pipe there is never opened for a blocking open).
class InstanceLock {
  public:
    enum class Result {
        Locked,   // this is the only running instance
        Held,     // another instance holds the lock
        Refused,  // no lock can be made safely; `why` says what is wrong
    };

    explicit InstanceLock(const QString& path);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Asking again once locked keeps the lock.
    Result TryLock(QString* why = nullptr);

  private:
    QString path_;
#ifdef Q_OS_WIN
    QLockFile lock_;
#else
    int fd_ = -1;
#endif
};

// The lock file of this user's instance: in $XDG_RUNTIME_DIR when that is
// a folder of the user's that no one else can write, otherwise in the
// folder "qlarkw" of the user's cache folder, made (for the user alone)
// when it is missing. On Windows in the temporary folder, named after the
// user.
QString DefaultInstanceLockPath();

#ifndef Q_OS_WIN
// The same choice with the two folders given: `runtimeDir` (may be empty)
// and the cache folder. Empty when neither is an absolute path.
QString InstanceLockPathIn(const QString& runtimeDir, const QString& cacheDir);
#endif
