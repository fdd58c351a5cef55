// ts5-client-sim: the simulated client shown as a TeamSpeak 5 or 6 client's Remote Apps
// WebSocket, run from a scenario or from commands typed on standard input (the language of
// ts2-client-sim, and "revoke").

#include "RemoteAppsFace.h"
#include "Scenario.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <unistd.h>

namespace {

const char* const kUsage =
    "usage: ts5-client-sim [--port=PORT] [--approve=yes|no] [--key=KEY]...\n"
    "                      [--scenario FILE | --demo] [--loop]\n"
    "Serves the simulated client as a TeamSpeak 5 or 6 client's Remote Apps WebSocket on\n"
    "127.0.0.1:PORT (default 5899; 0: a free port, told on standard error).\n"
    "--approve=no   the user declines every app that asks to be allowed (with an empty key)\n"
    "--key=KEY      a key the user allowed in an earlier run of the client\n"
    "--demo         the built-in scenario of ts2-client-sim (ts2-client-sim --print-demo)\n"
    "Commands are read from standard input (and run by the scenario, when there is one):\n"
    "those of ts2-client-sim, and\n"
    "  revoke       the user withdraws every app's key: connected apps are cut off\n"
    "A wrong key is refused by ending the connection; a declined app gets an error status.\n";

std::optional<quint16> port(const char* text) {
    unsigned value = 0;
    const char* end = text + std::strlen(text);
    const auto [ptr, ec] = std::from_chars(text, end, value);
    if (ec != std::errc() || ptr != end || ptr == text || value > 65535) {
        return std::nullopt;
    }
    return quint16(value);
}

bool startsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// The state and the face, with the commands that change one and tell the other.
class Simulation {
public:
    Simulation(bool approve, QSet<QString> keys) : face_(state_, approve, std::move(keys)) {}

    tsremote::RemoteAppsFace& face() { return face_; }

    void apply(const tsremote::Command& command) {
        const tsremote::ClientState before = state_;
        const bool goOn = state_.apply(command);
        face_.stateChanged(before, state_);
        if (!goOn) {
            QCoreApplication::quit();
        }
    }

    void typed(const std::string& line) {
        const auto first = line.find_first_not_of(" \t\r");
        const auto last = line.find_last_not_of(" \t\r");
        if (first != std::string::npos && line.substr(first, last - first + 1) == "revoke") {
            face_.revoke();
            return;
        }
        std::string error;
        const auto command = tsremote::parseInteractiveLine(line, error);
        if (command) {
            apply(*command);
        } else if (!error.empty()) {
            std::fprintf(stderr, "ts5-client-sim: %s\n", error.c_str());
        }
    }

private:
    tsremote::ClientState state_;
    tsremote::RemoteAppsFace face_;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::signal(SIGPIPE, SIG_IGN);
    quint16 listenPort = 5899;
    bool approve = true;
    QSet<QString> keys;
    const char* scenarioFile = nullptr;
    bool demo = false;
    bool loop = false;
    for (int i = 1; i < argc; ++i) {
        if (startsWith(argv[i], "--port=")) {
            const auto p = port(argv[i] + std::strlen("--port="));
            if (!p) {
                std::fputs(kUsage, stderr);
                return 2;
            }
            listenPort = *p;
        } else if (std::strcmp(argv[i], "--approve=yes") == 0) {
            approve = true;
        } else if (std::strcmp(argv[i], "--approve=no") == 0) {
            approve = false;
        } else if (startsWith(argv[i], "--key=") && argv[i][std::strlen("--key=")] != '\0') {
            keys.insert(QString::fromLocal8Bit(argv[i] + std::strlen("--key=")));
        } else if (std::strcmp(argv[i], "--scenario") == 0 && i + 1 < argc) {
            scenarioFile = argv[++i];
        } else if (std::strcmp(argv[i], "--demo") == 0) {
            demo = true;
        } else if (std::strcmp(argv[i], "--loop") == 0) {
            loop = true;
        } else if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if ((loop && !scenarioFile && !demo) || (scenarioFile && demo)) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    std::optional<tsremote::Scenario> scenario;
    if (scenarioFile || demo) {
        std::string text = demo ? tsremote::demoScenario() : std::string();
        const std::string name = scenarioFile ? scenarioFile : "demo";
        if (scenarioFile) {
            std::ifstream file(scenarioFile, std::ios::binary);
            if (!file) {
                std::fprintf(stderr, "ts5-client-sim: cannot read %s\n", scenarioFile);
                return 1;
            }
            std::ostringstream content;
            content << file.rdbuf();
            text = content.str();
        }
        std::string error;
        scenario = tsremote::parseScenario(text, error);
        if (!scenario) {
            std::fprintf(stderr, "ts5-client-sim: %s: %s\n", name.c_str(), error.c_str());
            return 2;
        }
        if (loop && scenario->duration().count() == 0) {
            std::fprintf(stderr, "ts5-client-sim: %s: --loop needs a scenario that takes time\n",
                         name.c_str());
            return 2;
        }
    }

    Simulation simulation(approve, std::move(keys));
    const QString problem = simulation.face().listen(listenPort);
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "ts5-client-sim: %s\n", qPrintable(problem));
        return 1;
    }
    std::fprintf(stderr, "ts5-client-sim: Remote Apps on 127.0.0.1:%u\n",
                 unsigned(simulation.face().port()));

    // Typed commands, a line at a time; the end of input ends a run without a scenario.
    std::string pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false);
            if (!scenario) {
                QCoreApplication::quit();
            }
            return;
        }
        pending.append(buffer, size_t(n));
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            simulation.typed(line);
        }
    });

    // The scenario's lines, each at its time.
    QElapsedTimer clock;
    size_t next = 0;
    QTimer step;
    step.setSingleShot(true);
    QObject::connect(&step, &QTimer::timeout, [&] {
        const auto now = std::chrono::microseconds(clock.nsecsElapsed() / 1000);
        while (next < scenario->lines.size() && scenario->lines[next].at <= now) {
            simulation.apply(scenario->lines[next++].command);
        }
        if (next == scenario->lines.size()) {
            if (!loop) {
                return;
            }
            next = 0;
            clock.start();
        }
        const auto wait =
            scenario->lines[next].at - std::chrono::microseconds(clock.nsecsElapsed() / 1000);
        step.start(int(std::max<qint64>(0, wait.count() / 1000)));
    });
    if (scenario && !scenario->lines.empty()) {
        clock.start();
        step.start(0);
    }
    return app.exec();
}
