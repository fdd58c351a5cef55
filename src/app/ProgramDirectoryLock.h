#pragma once

#include <QString>

// An exclusive lock on the program directory itself, held for the life of the process: two
// instances in one directory would both play and overwrite each other's config.cfg. No file
// is created; the lock goes with the process, however it ends.
class ProgramDirectoryLock {
public:
    explicit ProgramDirectoryLock(const QString& directory);
    ~ProgramDirectoryLock();
    ProgramDirectoryLock(const ProgramDirectoryLock&) = delete;
    ProgramDirectoryLock& operator=(const ProgramDirectoryLock&) = delete;

    // False only when another process holds the lock. A directory that cannot be opened or
    // locked at all (a file system without locks) lets the program run as before.
    bool acquired() const { return acquired_; }

    static const QString kAlreadyRunningMessage;

private:
    int fd_ = -1;
    bool acquired_ = true;
};
