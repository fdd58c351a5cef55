#pragma once

#include <QString>

// Reads the longest leading part of text that is a decimal number (optional sign, digits,
// an optional "." with digits, an optional exponent) and rounds it to the nearest integer,
// halves to the even neighbour. Text that does not start with a number reads as 0.
// A number too large for 32 bits raises failure 6 (overflow).
long long readLeadingNumber(const QString& text);
