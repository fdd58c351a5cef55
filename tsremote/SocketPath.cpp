#include "SocketPath.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace tsremote {
namespace {

std::string fallbackDirectory() {
    return "/tmp/ts2-client-sim-" + std::to_string(getuid());
}

} // namespace

std::string socketPath() {
    const char* named = std::getenv("TS2_CLIENT_SIM_SOCKET");
    if (named && *named) {
        return named;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime) {
        return std::string(runtime) + "/ts2-client-sim.sock";
    }
    return fallbackDirectory() + "/socket";
}

std::string preparePrivateDirectory(const std::string& path) {
    const std::string directory = fallbackDirectory();
    if (path != directory + "/socket") {
        return {}; // a directory the user chose, or the runtime directory
    }
    if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
        return directory + ": " + std::strerror(errno);
    }
    struct stat info {};
    if (lstat(directory.c_str(), &info) != 0) {
        return directory + ": " + std::strerror(errno);
    }
    // Someone else's directory, or one others may enter, could hand our socket to them.
    if (!S_ISDIR(info.st_mode) || info.st_uid != getuid() || (info.st_mode & 077) != 0) {
        return directory + ": not a private directory of this user (mode 0700)";
    }
    return {};
}

} // namespace tsremote
