#include "QueryLine.h"

#include <algorithm>

namespace tsremote::query {
namespace {

// The escapes in the client's own order: character, letter after the backslash.
constexpr std::pair<char, char> kEscapes[] = {
    {'\\', '\\'}, {'/', '/'},  {' ', 's'},  {'|', 'p'},  {'\a', 'a'}, {'\b', 'b'},
    {'\f', 'f'},  {'\n', 'n'}, {'\r', 'r'}, {'\t', 't'}, {'\v', 'v'},
};

Word parseWord(std::string_view text) {
    const size_t equals = text.find('=');
    if (equals == std::string_view::npos) {
        return {unescape(text), std::nullopt};
    }
    return {std::string(text.substr(0, equals)), unescape(text.substr(equals + 1))};
}

} // namespace

std::string escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        char letter = 0;
        for (const auto& [plain, escaped] : kEscapes) {
            if (c == plain) {
                letter = escaped;
                break;
            }
        }
        if (letter) {
            out += '\\';
            out += letter;
        } else {
            out += c;
        }
    }
    return out;
}

std::string unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char letter = text[++i];
        char plain = letter;
        for (const auto& [character, escaped] : kEscapes) {
            if (letter == escaped) {
                plain = character;
                break;
            }
        }
        out += plain;
    }
    return out;
}

bool Request::hasOption(std::string_view option) const {
    for (const std::string& o : options) {
        if (o == option) {
            return true;
        }
    }
    return false;
}

std::optional<std::string> Request::value(std::string_view key) const {
    for (const auto& item : items) {
        for (const Word& w : item) {
            if (w.key == key && w.value) {
                return w.value;
            }
        }
    }
    return std::nullopt;
}

std::vector<std::string> Request::values(std::string_view key) const {
    std::vector<std::string> out;
    for (const auto& item : items) {
        for (const Word& w : item) {
            if (w.key == key && w.value) {
                out.push_back(*w.value);
            }
        }
    }
    return out;
}

std::vector<std::string> Request::bareWords() const {
    std::vector<std::string> out;
    for (const auto& item : items) {
        for (const Word& w : item) {
            if (!w.value) {
                out.push_back(w.key);
            }
        }
    }
    return out;
}

Request parseRequest(std::string_view line) {
    Request request;
    request.items.emplace_back();
    size_t pos = 0;
    bool first = true;
    while (pos < line.size()) {
        if (line[pos] == ' ' || line[pos] == '\t') {
            ++pos;
            continue;
        }
        size_t end = pos;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t') {
            ++end;
        }
        const std::string_view word = line.substr(pos, end - pos);
        pos = end;
        if (first) {
            request.name = std::string(word);
            first = false;
        } else if (word.size() > 1 && word[0] == '-') {
            request.options.emplace_back(word.substr(1));
        } else {
            // Pipes inside values are escaped, so every one here starts a new item.
            size_t start = 0;
            for (;;) {
                const size_t pipe = word.find('|', start);
                const std::string_view part = word.substr(start, pipe - start);
                if (!part.empty()) {
                    request.items.back().push_back(parseWord(part));
                }
                if (pipe == std::string_view::npos) {
                    break;
                }
                request.items.emplace_back();
                start = pipe + 1;
            }
        }
    }
    return request;
}

std::string pair(std::string_view key, std::string_view value) {
    std::string out(key);
    if (!value.empty()) {
        out += '=';
        out += escape(value);
    }
    return out;
}

std::string pair(std::string_view key, long long value) {
    return std::string(key) + '=' + std::to_string(value);
}

std::string errorLine(int id, std::string_view message) {
    return "error " + pair("id", id) + " msg=" + escape(message);
}

std::optional<std::string> LineReader::next() {
    for (;;) {
        const size_t end = buffer_.find_first_of("\r\n", std::max(start_, searched_));
        if (end == std::string::npos) {
            // Keep the unfinished line at the front so that the buffer never grows with
            // what has been handed out, and look at its bytes only once.
            buffer_.erase(0, start_);
            start_ = 0;
            searched_ = buffer_.size();
            return std::nullopt;
        }
        std::string line = buffer_.substr(start_, end - start_);
        start_ = end + 1;
        if (!line.empty()) {
            return line;
        }
    }
}

bool LineReader::overlong() const {
    const size_t end = buffer_.find_first_of("\r\n", std::max(start_, searched_));
    const size_t lineBytes = (end == std::string::npos ? buffer_.size() : end) - start_;
    return lineBytes > maxLineBytes_;
}

} // namespace tsremote::query
