#pragma once

#include <QString>

// Texts that are copied from row to row at every refresh: a copy shares its data, so an
// unchanged text is recognised by its address before any character is compared.

// Whether a and b hold the same text.
inline bool sameText(const QString& a, const QString& b) {
    return a.isSharedWith(b) || a == b;
}

// Sets field to text unless it already shares text's data: keeping a value as it was then
// costs no reference counting.
inline void keepText(QString& field, const QString& text) {
    if (!field.isSharedWith(text)) {
        field = text;
    }
}
