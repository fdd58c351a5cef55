#include "Scenario.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

namespace tsremote {
namespace {

constexpr double kMaxSeconds = 1e6;

bool isIgnored(const std::vector<std::string>& words, const std::string& line) {
    const size_t first = line.find_first_not_of(" \t\r");
    return words.empty() || (first != std::string::npos && line[first] == '#');
}

std::optional<std::chrono::microseconds> seconds(const std::string& word) {
    if (word.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    const double value = std::strtod(word.c_str(), &end);
    if (*end != '\0' || !std::isfinite(value) || value < 0 || value > kMaxSeconds) {
        return std::nullopt;
    }
    return std::chrono::microseconds(std::llround(value * 1e6));
}

} // namespace

std::optional<Scenario> parseScenario(const std::string& text, std::string& error) {
    Scenario scenario;
    std::istringstream in(text);
    std::string line;
    int lineNumber = 0;
    std::chrono::microseconds at{0};
    while (std::getline(in, line)) {
        ++lineNumber;
        const auto prefix = [&] { return "line " + std::to_string(lineNumber) + ": "; };
        const std::optional<std::vector<std::string>> split = splitWords(line);
        if (!split) {
            error = prefix() + "unterminated quote";
            return std::nullopt;
        }
        std::vector<std::string> words = *split;
        if (isIgnored(words, line)) {
            continue;
        }
        if (words[0] == "at") {
            const std::optional<std::chrono::microseconds> time =
                words.size() >= 2 ? seconds(words[1]) : std::nullopt;
            if (!time) {
                error = prefix() + "bad time '" + (words.size() >= 2 ? words[1] : "") + "'";
                return std::nullopt;
            }
            if (*time < at) {
                error = prefix() + "time " + words[1] + " is earlier than the line before";
                return std::nullopt;
            }
            at = *time;
            words.erase(words.begin(), words.begin() + 2);
        }
        std::string why;
        std::optional<Command> command = parseCommand(words, why);
        if (!command) {
            error = prefix() + why;
            return std::nullopt;
        }
        scenario.lines.push_back({at, std::move(*command), lineNumber});
    }
    return scenario;
}

std::optional<Command> parseInteractiveLine(const std::string& line, std::string& error) {
    error.clear();
    const std::optional<std::vector<std::string>> words = splitWords(line);
    if (!words) {
        error = "unterminated quote";
        return std::nullopt;
    }
    if (isIgnored(*words, line)) {
        return std::nullopt;
    }
    if ((*words)[0] == "at") {
        error = "'at' belongs in scenario files; typed commands run at once";
        return std::nullopt;
    }
    return parseCommand(*words, error);
}

const char* demoScenario() {
    return R"(# About a minute of traffic on a simulated radio net.
at 0 connect 127.0.0.1:8767 "Radio Net"
self 1 Observer
join 2 EDDH_TWR 1 2 4 0
join 3 DLH123 1 0 8 0
join 4 DGF1411 1 0 0 0
join 5 BAW77 1 8 8 0
at 2 talk 2
at 5.5 stop 2
at 7 talk 3
at 11 stop 3
at 12 talk 2
at 14 talk 4
at 15 stop 2
at 18 stop 4
# A short transmission.
at 20 talk 5
at 20.4 stop 5
# The local user talks: no radio effect for that.
at 23 talk 1
at 26 stop 1
at 28 join 6 RYR9KM 1 0 0 0
at 30 talk 6
at 33 stop 6
at 34 talk 3
at 35 talk 5
at 36 talk 2
at 38 stop 3
at 39 stop 5
at 41 stop 2
at 44 leave 6
at 46 talk 4
at 50 stop 4
at 52 talk 2
at 55 stop 2
at 58 talk 3
at 60 stop 3
)";
}

} // namespace tsremote
