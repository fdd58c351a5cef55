#pragma once

#include <string>

namespace tsremote {

// Where the client listens: $TS2_CLIENT_SIM_SOCKET, else $XDG_RUNTIME_DIR/ts2-client-sim.sock,
// else /tmp/ts2-client-sim-<uid>/socket.
std::string socketPath();
// The same, written over path: its room is kept from one call to the next.
void assignSocketPath(std::string& path);

// Makes sure the directory of the fallback path exists, belongs to this user and is private
// (mode 0700). Returns an empty text on success, else why not.
std::string preparePrivateDirectory(const std::string& socketPath);

// Why the directory is not one that only this user can reach (it is missing, another user's,
// open to others, or not a directory); empty when it is.
std::string privateDirectoryProblem(const std::string& directory);

// Why a socket at this path cannot be trusted to be this user's client, before connecting:
// the fallback directory lies in the shared /tmp, where another user could have made it first.
// Empty when the path is not the fallback one, when nothing is there yet, or when the directory
// is private.
std::string untrustedSocketDirectory(const std::string& socketPath);

} // namespace tsremote
