#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tsremote {

// One command of the simulated client, checked and ready to run.
struct Command {
    enum Kind {
        Connect,    // texts: address, server name
        Disconnect, //
        Self,       // numbers: id; texts: nickname
        Join,       // numbers: id, channel, channel privileges, player privileges, flags;
                    // texts: nickname
        Leave,      // numbers: id
        Talk,       // numbers: id
        Stop,       // numbers: id
        Crowd,      // numbers: n
        Version,    // numbers: major, minor, release, build
        Server,     // texts: platform, welcome
        Fail,       // numbers: code; texts: function, error text
        Stall,      // numbers: milliseconds
        Quit,
    };
    Kind kind = Quit;
    std::vector<int32_t> numbers;
    std::vector<std::string> texts;
};

// Splits a line at blanks; "double quotes" keep blanks inside one word.
// Returns nothing when a quote is left open.
std::optional<std::vector<std::string>> splitWords(const std::string& line);

// Checks a command's words. On failure, error says what is wrong with them.
std::optional<Command> parseCommand(const std::vector<std::string>& words, std::string& error);

} // namespace tsremote
