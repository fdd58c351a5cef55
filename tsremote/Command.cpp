#include "Command.h"

#include "records/Records.h"

#include <charconv>
#include <map>

namespace tsremote {
namespace {

constexpr size_t kNicknameWidth = records::player::kNickname.width;
constexpr size_t kShortTextWidth = records::serverInfo::kName.width;
constexpr size_t kWelcomeWidth = records::serverInfo::kWelcome.width;
constexpr size_t kErrorTextWidth = 1023;
constexpr int32_t kMaxCrowd = 65536;
constexpr int32_t kMaxStallMs = 60000;

std::optional<int32_t> number(const std::string& word) {
    int32_t value = 0;
    const char* end = word.data() + word.size();
    const auto [ptr, ec] = std::from_chars(word.data(), end, value);
    if (ec != std::errc() || ptr != end || word.empty()) {
        return std::nullopt;
    }
    return value;
}

struct Shape {
    Command::Kind kind;
    size_t minArgs;
    size_t maxArgs;
};

const std::map<std::string, Shape>& shapes() {
    static const std::map<std::string, Shape> table = {
        {"connect", {Command::Connect, 1, 2}}, {"disconnect", {Command::Disconnect, 0, 0}},
        {"self", {Command::Self, 2, 2}},       {"join", {Command::Join, 2, 6}},
        {"leave", {Command::Leave, 1, 1}},     {"talk", {Command::Talk, 1, 1}},
        {"stop", {Command::Stop, 1, 1}},       {"crowd", {Command::Crowd, 1, 1}},
        {"version", {Command::Version, 1, 1}}, {"server", {Command::Server, 2, 2}},
        {"fail", {Command::Fail, 2, 3}},       {"stall", {Command::Stall, 1, 1}},
        {"quit", {Command::Quit, 0, 0}},
    };
    return table;
}

bool isFunction(const std::string& name) {
    return name == "tsrGetVersion" || name == "tsrGetUserInfo" || name == "tsrGetServerInfo" ||
           name == "tsrGetPlayers" || name == "tsrGetSpeakers";
}

} // namespace

std::optional<std::vector<std::string>> splitWords(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (const char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true; // "" is an empty word
        } else if (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
            if (inWord) {
                words.push_back(word);
                word.clear();
                inWord = false;
            }
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quoted) {
        return std::nullopt;
    }
    if (inWord) {
        words.push_back(word);
    }
    return words;
}

std::optional<Command> parseCommand(const std::vector<std::string>& words, std::string& error) {
    if (words.empty()) {
        error = "empty command";
        return std::nullopt;
    }
    const auto shape = shapes().find(words[0]);
    if (shape == shapes().end()) {
        error = "unknown command '" + words[0] + "'";
        return std::nullopt;
    }
    const size_t args = words.size() - 1;
    if (args < shape->second.minArgs || args > shape->second.maxArgs) {
        error = "wrong number of arguments for '" + words[0] + "'";
        return std::nullopt;
    }
    Command command;
    command.kind = shape->second.kind;
    auto takeNumber = [&](size_t index, const char* what) {
        const std::optional<int32_t> value = number(words[index]);
        if (!value) {
            error = std::string("bad ") + what + " '" + words[index] + "'";
            return false;
        }
        command.numbers.push_back(*value);
        return true;
    };
    auto takeText = [&](size_t index, size_t width, const char* what) {
        if (words[index].size() > width) {
            error = std::string(what) + " longer than " + std::to_string(width) + " bytes";
            return false;
        }
        command.texts.push_back(words[index]);
        return true;
    };

    switch (command.kind) {
    case Command::Connect:
        if (!takeText(1, kShortTextWidth, "address")) {
            return std::nullopt;
        }
        if (!takeText(args >= 2 ? 2 : 1, kShortTextWidth, "server name")) {
            return std::nullopt;
        }
        if (args < 2) {
            command.texts[1] = "Simulated Server";
        }
        break;
    case Command::Self:
        if (!takeNumber(1, "player ID") || !takeText(2, kNicknameWidth, "nickname")) {
            return std::nullopt;
        }
        break;
    case Command::Join: {
        if (!takeNumber(1, "player ID") || !takeText(2, kNicknameWidth, "nickname")) {
            return std::nullopt;
        }
        static const char* const what[] = {"channel", "channel privileges", "player privileges",
                                           "flags"};
        static const int32_t defaults[] = {1, 0, 0, 0};
        for (size_t i = 0; i < 4; ++i) {
            if (3 + i <= args) {
                if (!takeNumber(3 + i, what[i])) {
                    return std::nullopt;
                }
            } else {
                command.numbers.push_back(defaults[i]);
            }
        }
        break;
    }
    case Command::Leave:
    case Command::Talk:
    case Command::Stop:
        if (!takeNumber(1, "player ID")) {
            return std::nullopt;
        }
        break;
    case Command::Crowd:
        if (!takeNumber(1, "count")) {
            return std::nullopt;
        }
        if (command.numbers[0] < 0 || command.numbers[0] > kMaxCrowd) {
            error = "crowd of " + words[1] + " is outside 0.." + std::to_string(kMaxCrowd);
            return std::nullopt;
        }
        break;
    case Command::Version: {
        const std::string& text = words[1];
        size_t start = 0;
        for (int part = 0; part < 4; ++part) {
            const size_t dot = part < 3 ? text.find('.', start) : text.size();
            const std::optional<int32_t> value =
                dot == std::string::npos ? std::nullopt : number(text.substr(start, dot - start));
            if (!value || (part == 3 && dot != text.size())) {
                error = "bad version '" + text + "' (A.B.C.D)";
                return std::nullopt;
            }
            command.numbers.push_back(*value);
            start = dot + 1;
        }
        break;
    }
    case Command::Server:
        if (!takeText(1, kShortTextWidth, "platform") ||
            !takeText(2, kWelcomeWidth, "welcome message")) {
            return std::nullopt;
        }
        break;
    case Command::Fail:
        if (!isFunction(words[1])) {
            error = "unknown function '" + words[1] + "'";
            return std::nullopt;
        }
        command.texts.push_back(words[1]);
        if (!takeNumber(2, "code")) {
            return std::nullopt;
        }
        if (args >= 3) {
            if (!takeText(3, kErrorTextWidth, "error text")) {
                return std::nullopt;
            }
        } else {
            command.texts.push_back(words[1] + " failed with code " + words[2]);
        }
        break;
    case Command::Stall:
        if (!takeNumber(1, "milliseconds")) {
            return std::nullopt;
        }
        if (command.numbers[0] < 0 || command.numbers[0] > kMaxStallMs) {
            error = "stall of " + words[1] + " ms is outside 0.." + std::to_string(kMaxStallMs);
            return std::nullopt;
        }
        break;
    case Command::Disconnect:
    case Command::Quit:
        break;
    }
    return command;
}

} // namespace tsremote
