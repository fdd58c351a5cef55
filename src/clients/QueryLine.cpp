#include "QueryLine.h"

namespace query {
namespace {

// The escapes of the interface, as pairs of the character and the letter after '\'.
constexpr std::pair<char, char> kEscapes[] = {
    {'\\', '\\'}, {'/', '/'},  {' ', 's'},  {'|', 'p'},  {'\a', 'a'}, {'\b', 'b'},
    {'\f', 'f'},  {'\n', 'n'}, {'\r', 'r'}, {'\t', 't'}, {'\v', 'v'},
};

Item parseItem(QByteArrayView text) {
    Item item;
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(' ', start);
        if (end < 0) {
            end = text.size();
        }
        const QByteArrayView word = text.sliced(start, end - start);
        if (!word.isEmpty()) {
            const qsizetype equals = word.indexOf('=');
            if (equals < 0) {
                item.pairs.emplace_back(word.toByteArray(), QByteArray());
            } else {
                item.pairs.emplace_back(word.first(equals).toByteArray(),
                                        unescape(word.sliced(equals + 1)));
            }
        }
        start = end + 1;
    }
    return item;
}

} // namespace

QByteArray escape(QByteArrayView value) {
    QByteArray out;
    out.reserve(value.size());
    for (const char c : value) {
        char letter = 0;
        for (const auto& [character, escaped] : kEscapes) {
            if (c == character) {
                letter = escaped;
                break;
            }
        }
        if (letter != 0) {
            out += '\\';
            out += letter;
        } else {
            out += c;
        }
    }
    return out;
}

QByteArray unescape(QByteArrayView value) {
    if (!value.contains('\\')) {
        return value.toByteArray();
    }
    QByteArray out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c != '\\' || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const char letter = value[++i];
        char character = letter; // an unknown escape stands for its letter
        for (const auto& [plain, escaped] : kEscapes) {
            if (letter == escaped) {
                character = plain;
                break;
            }
        }
        out += character;
    }
    return out;
}

QByteArray Item::value(QByteArrayView key) const {
    for (const auto& [k, v] : pairs) {
        if (k == key) {
            return v;
        }
    }
    return {};
}

bool Item::has(QByteArrayView key) const {
    for (const auto& pair : pairs) {
        if (pair.first == key) {
            return true;
        }
    }
    return false;
}

long long Item::number(QByteArrayView key, long long fallback) const {
    for (const auto& [k, v] : pairs) {
        if (k == key) {
            bool ok = false;
            const long long n = v.toLongLong(&ok);
            return ok ? n : fallback;
        }
    }
    return fallback;
}

Line parse(QByteArrayView text) {
    Line line;
    const qsizetype firstBlank = text.indexOf(' ');
    const QByteArrayView firstWord = firstBlank < 0 ? text : text.first(firstBlank);
    if (!firstWord.isEmpty() && !firstWord.contains('=') && !firstWord.contains('|')) {
        line.name = firstWord.toByteArray();
        text = firstBlank < 0 ? QByteArrayView() : text.sliced(firstBlank + 1);
    }
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('|', start);
        if (end < 0) {
            end = text.size();
        }
        line.items.push_back(parseItem(text.sliced(start, end - start)));
        start = end + 1;
    }
    return line;
}

} // namespace query
