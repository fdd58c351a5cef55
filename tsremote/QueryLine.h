#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The text of the query protocol: escaped values, key=value pairs separated by blanks, list
// items separated by pipes, lines ended by LF CR.
namespace tsremote::query {

// What ends every line the client sends.
inline constexpr std::string_view kLineEnd = "\n\r";

// Backslash, slash, blank, pipe and the control characters \a \b \f \n \r \t \v become
// two-character escapes; every other byte (UTF-8 included) passes unchanged.
std::string escape(std::string_view text);
// The reverse. An unknown escape stands for the character after the backslash; a lone
// backslash at the end stays as it is.
std::string unescape(std::string_view text);

// One word of a command: key=value, a bare word (no value), or -option.
struct Word {
    std::string key;
    std::optional<std::string> value; // unescaped
};

// A command line taken apart: its name, its list items (the first holds the words before
// the first pipe) and its options.
struct Request {
    std::string name;
    std::vector<std::vector<Word>> items;
    std::vector<std::string> options; // without the minus

    bool hasOption(std::string_view option) const;
    // The first value of key in any item.
    std::optional<std::string> value(std::string_view key) const;
    // Every value of key, item by item.
    std::vector<std::string> values(std::string_view key) const;
    // The bare words of every item.
    std::vector<std::string> bareWords() const;
};

Request parseRequest(std::string_view line);

// key=escaped value; a key alone for an empty value, as the client writes it.
std::string pair(std::string_view key, std::string_view value);
std::string pair(std::string_view key, long long value);

// The line that ends every reply: error id=N msg=TEXT.
std::string errorLine(int id, std::string_view message);

// Collects a peer's bytes and hands out its lines. Accepts LF, CR LF and LF CR endings;
// blank lines are skipped.
class LineReader {
public:
    explicit LineReader(size_t maxLineBytes) : maxLineBytes_(maxLineBytes) {}

    void append(const char* data, size_t size) { buffer_.append(data, size); }
    // The next complete line, without its ending.
    std::optional<std::string> next();
    // Whether the peer has sent more than a line may hold without ending it.
    bool overlong() const;
    size_t buffered() const { return buffer_.size() - start_; }

private:
    size_t maxLineBytes_;
    std::string buffer_;
    size_t start_ = 0;    // what is before has been handed out
    size_t searched_ = 0; // from start_ to here holds no line end
};

} // namespace tsremote::query
