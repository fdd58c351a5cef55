// ts2-client-sim: a simulated TeamSpeak 2 client for libTSRemote.so to talk to, which can also
// show the same state as a TeamSpeak 3 client's query interface.

#include "ClientQueryFace.h"
#include "Scenario.h"
#include "SimServer.h"
#include "SocketPath.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

const std::string kUsage =
    std::string("usage: ts2-client-sim [--scenario FILE | --demo] [--loop]\n"
                "                      [--clientquery=PORT [--apikey=KEY] [--no-ts2]]\n"
                "       ts2-client-sim --print-demo    (writes the built-in demo scenario)\n"
                "Without a scenario, commands are read from standard input and run at once.\n"
                "The socket is $TS2_CLIENT_SIM_SOCKET, else $XDG_RUNTIME_DIR/ts2-client-sim.sock,\n"
                "else /tmp/ts2-client-sim-<uid>/socket.\n"
                "--clientquery=PORT  also serve the state as a TeamSpeak 3 client's ClientQuery\n"
                "                    interface on 127.0.0.1:PORT (0: a free port; the port is\n"
                "                    told on standard error)\n"
                "--apikey=KEY        the key \"auth apikey=KEY\" must present (default ") +
    tsremote::kDefaultApiKey +
    ")\n"
    "--no-ts2            serve the ClientQuery interface alone, without the socket\n"
    "The commands fail and stall apply to the socket; stall also holds ClientQuery replies.\n";

std::optional<uint16_t> port(const char* text) {
    unsigned value = 0;
    const char* end = text + std::strlen(text);
    const auto [ptr, ec] = std::from_chars(text, end, value);
    if (ec != std::errc() || ptr != end || ptr == text || value > 65535) {
        return std::nullopt;
    }
    return uint16_t(value);
}

bool startsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

} // namespace

int main(int argc, char** argv) {
    const char* scenarioFile = nullptr;
    bool demo = false;
    bool loop = false;
    std::optional<uint16_t> clientQueryPort;
    std::string apiKey = tsremote::kDefaultApiKey;
    bool apiKeyGiven = false;
    bool noTs2 = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--scenario") == 0 && i + 1 < argc) {
            scenarioFile = argv[++i];
        } else if (std::strcmp(argv[i], "--demo") == 0) {
            demo = true;
        } else if (std::strcmp(argv[i], "--loop") == 0) {
            loop = true;
        } else if (startsWith(argv[i], "--clientquery=")) {
            clientQueryPort = port(argv[i] + std::strlen("--clientquery="));
            if (!clientQueryPort) {
                std::fputs(kUsage.c_str(), stderr);
                return 2;
            }
        } else if (startsWith(argv[i], "--apikey=")) {
            apiKey = argv[i] + std::strlen("--apikey=");
            apiKeyGiven = true;
        } else if (std::strcmp(argv[i], "--no-ts2") == 0) {
            noTs2 = true;
        } else if (std::strcmp(argv[i], "--print-demo") == 0) {
            // For scripts that show what the demo plays, and as a start for one's own.
            std::fputs(tsremote::demoScenario(), stdout);
            return 0;
        } else if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage.c_str(), stdout);
            return 0;
        } else {
            std::fputs(kUsage.c_str(), stderr);
            return 2;
        }
    }
    // The query options mean nothing without the query interface.
    const bool queryOptionsAlone = !clientQueryPort && (apiKeyGiven || noTs2);
    if ((scenarioFile && demo) || (loop && !scenarioFile && !demo) || queryOptionsAlone) {
        std::fputs(kUsage.c_str(), stderr);
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
    if (!noTs2) {
        const std::string path = tsremote::socketPath();
        const std::string problem = server.listen(path);
        if (!problem.empty()) {
            std::fprintf(stderr, "ts2-client-sim: %s\n", problem.c_str());
            return 1;
        }
        std::fprintf(stderr, "ts2-client-sim: listening on %s\n", path.c_str());
    }
    if (clientQueryPort) {
        const std::string problem = server.listenClientQuery(*clientQueryPort, apiKey);
        if (!problem.empty()) {
            std::fprintf(stderr, "ts2-client-sim: ClientQuery: %s\n", problem.c_str());
            return 1;
        }
        std::fprintf(stderr, "ts2-client-sim: ClientQuery on 127.0.0.1:%u\n",
                     unsigned(server.clientQueryPort()));
    }
    server.run(scenario, loop);
    return 0;
}
