// ts2-client-sim: a simulated TeamSpeak 2 client for libTSRemote.so to talk to.

#include "Scenario.h"
#include "SimServer.h"
#include "SocketPath.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

const char* const kUsage =
    "usage: ts2-client-sim [--scenario FILE | --demo] [--loop]\n"
    "       ts2-client-sim --print-demo    (writes the built-in demo scenario)\n"
    "Without a scenario, commands are read from standard input and run at once.\n"
    "The socket is $TS2_CLIENT_SIM_SOCKET, else $XDG_RUNTIME_DIR/ts2-client-sim.sock,\n"
    "else /tmp/ts2-client-sim-<uid>/socket.\n";

} // namespace

int main(int argc, char** argv) {
    const char* scenarioFile = nullptr;
    bool demo = false;
    bool loop = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--scenario") == 0 && i + 1 < argc) {
            scenarioFile = argv[++i];
        } else if (std::strcmp(argv[i], "--demo") == 0) {
            demo = true;
        } else if (std::strcmp(argv[i], "--loop") == 0) {
            loop = true;
        } else if (std::strcmp(argv[i], "--print-demo") == 0) {
            // For scripts that show what the demo plays, and as a start for one's own.
            std::fputs(tsremote::demoScenario(), stdout);
            return 0;
        } else if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if ((scenarioFile && demo) || (loop && !scenarioFile && !demo)) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    std::optional<tsremote::Scenario> scenario;
    if (scenarioFile || demo) {
        std::string text;
        const std::string name = scenarioFile ? scenarioFile : "demo";
        if (scenarioFile) {
            std::ifstream file(scenarioFile, std::ios::binary);
            if (!file) {
                std::fprintf(stderr, "ts2-client-sim: cannot read %s\n", scenarioFile);
                return 1;
            }
            std::ostringstream content;
            content << file.rdbuf();
            text = content.str();
        } else {
            text = tsremote::demoScenario();
        }
        std::string error;
        scenario = tsremote::parseScenario(text, error);
        if (!scenario) {
            std::fprintf(stderr, "ts2-client-sim: %s: %s\n", name.c_str(), error.c_str());
            return 2;
        }
        // Replaying a scenario that takes no time would never let anything else run.
        if (loop && scenario->duration().count() == 0) {
            std::fprintf(stderr, "ts2-client-sim: %s: --loop needs a scenario that takes time\n",
                         name.c_str());
            return 2;
        }
    }

    tsremote::SimServer server;
    const std::string path = tsremote::socketPath();
    const std::string problem = server.listen(path);
    if (!problem.empty()) {
        std::fprintf(stderr, "ts2-client-sim: %s\n", problem.c_str());
        return 1;
    }
    std::fprintf(stderr, "ts2-client-sim: listening on %s\n", path.c_str());
    server.run(scenario, loop);
    return 0;
}
