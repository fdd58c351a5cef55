#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <utility>
#include <vector>

// One line of the TeamSpeak 3 client's ClientQuery interface: an optional command or event
// name, then items separated by '|', each of key=value pairs separated by blanks. Values are
// escaped so that they hold no blank, pipe or line end.
namespace query {

QByteArray escape(QByteArrayView value);
QByteArray unescape(QByteArrayView value);

// One item of a line: its pairs in the order they came. A key without '=' has an empty value.
class Item {
public:
    // The value of key, unescaped; empty when the item has none.
    QByteArray value(QByteArrayView key) const;
    bool has(QByteArrayView key) const;
    // The value as a number; fallback when it is missing or not a whole number.
    long long number(QByteArrayView key, long long fallback = 0) const;

    std::vector<std::pair<QByteArray, QByteArray>> pairs;
};

struct Line {
    // "error", "notifytalkstatuschange", "selected" ...; empty for a line of data.
    QByteArray name;
    std::vector<Item> items;
};

// Splits a line (without its end). The first word is the name when it holds no '='.
Line parse(QByteArrayView line);

} // namespace query
