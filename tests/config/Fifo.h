#pragma once

#include <QFile>
#include <QString>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

// A named pipe at path; false when the file system has none.
inline bool makeFifo(const QString& path) {
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

inline bool isFifo(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISFIFO(info.st_mode);
}

// Runs call on a thread of its own and says whether it returned by itself. A call stuck on the
// named pipe at fifo (waiting for the other end to be opened, or for data) is released by
// opening both ends, so that a fault fails the test instead of hanging it. The minute is only
// a bound for a call that would otherwise never return, not a measure of speed.
inline bool returnsByItself(const QString& fifo, const std::function<void()>& call) {
    std::future<void> done = std::async(std::launch::async, call);
    if (done.wait_for(std::chrono::minutes(1)) == std::future_status::ready) {
        done.get();
        return true;
    }
    const QByteArray name = QFile::encodeName(fifo);
    // The reader stays open until the call has returned, so that a writer never meets a pipe
    // without a reader; the writer closes at once, so that a reader sees the end of the data.
    const int reader = ::open(name.constData(), O_RDONLY | O_NONBLOCK);
    const int writer = ::open(name.constData(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0) {
        ::close(writer);
    }
    done.get();
    if (reader >= 0) {
        ::close(reader);
    }
    return false;
}
