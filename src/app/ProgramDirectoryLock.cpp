#include "ProgramDirectoryLock.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

const QString ProgramDirectoryLock::kAlreadyRunningMessage =
    QStringLiteral("Staticor is already running from this folder.");

ProgramDirectoryLock::ProgramDirectoryLock(const QString& directory) {
    fd_ = ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) {
        return;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        acquired_ = false;
    }
}

ProgramDirectoryLock::~ProgramDirectoryLock() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}
