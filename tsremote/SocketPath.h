#pragma once

#include <string>

namespace tsremote {

// Where the client listens: $TS2_CLIENT_SIM_SOCKET, else $XDG_RUNTIME_DIR/ts2-client-sim.sock,
// else /tmp/ts2-client-sim-<uid>/socket.
std::string socketPath();

// Makes sure the directory of the fallback path exists, belongs to this user and is private
// (mode 0700). Returns an empty text on success, else why not.
std::string preparePrivateDirectory(const std::string& socketPath);

} // namespace tsremote
