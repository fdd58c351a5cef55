#include "SocketPath.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace tsremote {
namespace {

std::string fallbackDirectory() {
    return "/tmp/ts2-client-sim-" + std::to_string(getuid());
}

std::string octal(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof(text), "%04o", unsigned(mode & 07777));
    return text;
}

} // namespace

std::string socketPath() {
    std::string path;
    assignSocketPath(path);
    return path;
}

void assignSocketPath(std::string& path) {
    const char* named = std::getenv("TS2_CLIENT_SIM_SOCKET");
    if (named && *named) {
        path.assign(named);
        return;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime) {
        path.assign(runtime).append("/ts2-client-sim.sock");
        return;
    }
    path.assign(fallbackDirectory()).append("/socket");
}

std::string privateDirectoryProblem(const std::string& directory) {
    struct stat info {};
    // Not followed: a link someone else placed could lead anywhere.
    if (lstat(directory.c_str(), &info) != 0) {
        return directory + ": " + std::strerror(errno);
    }
    if (!S_ISDIR(info.st_mode)) {
        return directory + ": not a directory";
    }
    if (info.st_uid != geteuid()) {
        return directory + ": belongs to another user (uid " + std::to_string(info.st_uid) + ")";
    }
    if ((info.st_mode & 077) != 0) {
        return directory + ": open to other users (mode " + octal(info.st_mode) + ", not 0700)";
    }
    return {};
}

std::string preparePrivateDirectory(const std::string& path) {
    const std::string directory = fallbackDirectory();
    if (path != directory + "/socket") {
        return {}; // a directory the user chose, or the runtime directory
    }
    if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
        return directory + ": " + std::strerror(errno);
    }
    // Someone else's directory, or one others may enter, could hand our socket to them.
    return privateDirectoryProblem(directory);
}

std::string untrustedSocketDirectory(const std::string& path) {
    const std::string directory = fallbackDirectory();
    if (path != directory + "/socket") {
        return {}; // chosen by the user, or the runtime directory that is theirs alone
    }
    struct stat info {};
    if (lstat(directory.c_str(), &info) != 0 && errno == ENOENT) {
        return {}; // no client has run: the call finds no socket, as it should
    }
    return privateDirectoryProblem(directory);
}

} // namespace tsremote
