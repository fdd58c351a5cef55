#pragma once

#include "Command.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tsremote {

// A scenario: commands with the time after the start at which each runs.
//   at SECONDS COMMAND ARGS...   runs SECONDS after the start (times never decrease)
//   COMMAND ARGS...              runs together with the line before
// Blank lines and lines starting with # are ignored.
struct Scenario {
    struct Line {
        std::chrono::microseconds at{0};
        Command command;
        int lineNumber = 0;
    };
    std::vector<Line> lines;

    std::chrono::microseconds duration() const {
        return lines.empty() ? std::chrono::microseconds(0) : lines.back().at;
    }
};

// On failure, error reads "line N: what is wrong".
std::optional<Scenario> parseScenario(const std::string& text, std::string& error);

// A line typed at the prompt. Nothing, with an empty error, for a blank or comment line.
std::optional<Command> parseInteractiveLine(const std::string& line, std::string& error);

// The built-in scenario of about a minute of radio traffic.
const char* demoScenario();

} // namespace tsremote
