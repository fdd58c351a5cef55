#pragma once

#include <QString>

// Texts that are copied from row to row at every refresh: a copy shares its data, so an
// unchanged text is recognised by its address before any character is compared.

// Whether a and b are the same characters in the same place: copies of one text, or of one
// literal. Two null strings are too; a null one and an empty one are not.
inline bool sameData(const QString& a, const QString& b) {
    return a.data_ptr().data() == b.data_ptr().data() && a.size() == b.size();
}

// Whether a and b hold the same text.
inline bool sameText(const QString& a, const QString& b) {
    return sameData(a, b) || a == b;
}

// Sets field to text unless it already holds text's data: keeping a value as it was then
// costs no reference counting.
inline void keepText(QString& field, const QString& text) {
    if (!sameData(field, text)) {
        field = text;
    }
}
