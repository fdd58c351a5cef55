#include "RegularFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

RegularFileOpen openRegularFile(QFile& file, const QString& path, QIODevice::OpenMode mode) {
    const QByteArray name = QFile::encodeName(path);
    const bool append = mode.testFlag(QIODevice::Append);

    // Looked at first, so that a device is not even opened (opening one can have effects).
    struct stat info {};
    if (::stat(name.constData(), &info) == 0) {
        if (!S_ISREG(info.st_mode)) {
            return RegularFileOpen::Refused;
        }
    } else if (errno != ENOENT) {
        return RegularFileOpen::Refused;
    } else if (!append) {
        return RegularFileOpen::Missing;
    }

    // Opened without waiting, and looked at again through the handle: something else may
    // have taken the name in between.
    const int flags =
        O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (append ? O_WRONLY | O_APPEND | O_CREAT : O_RDONLY);
    const int fd = ::open(name.constData(), flags, 0666);
    if (fd < 0) {
        return errno == ENOENT && !append ? RegularFileOpen::Missing : RegularFileOpen::Refused;
    }
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return RegularFileOpen::Refused;
    }
    // For a regular file the flag changes nothing; cleared so the handle is an ordinary one.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return RegularFileOpen::Refused;
    }
    return RegularFileOpen::Opened;
}
