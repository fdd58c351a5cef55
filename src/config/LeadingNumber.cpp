#include "LeadingNumber.h"

#include "window/Failure.h"

#include <cfenv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace {
bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}
} // namespace

long long readLeadingNumber(const QString& text) {
    const int n = static_cast<int>(text.size());
    int i = 0;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        ++i;
    }
    const int intStart = i;
    while (i < n && isDigit(text[i])) {
        ++i;
    }
    bool haveDigits = i > intStart;
    if (i + 1 < n && text[i] == QLatin1Char('.') && isDigit(text[i + 1])) {
        i += 2;
        while (i < n && isDigit(text[i])) {
            ++i;
        }
        haveDigits = true;
    }
    if (!haveDigits) {
        return 0;
    }
    int end = i;
    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        int j = i + 1;
        if (j < n && (text[j] == QLatin1Char('+') || text[j] == QLatin1Char('-'))) {
            ++j;
        }
        if (j < n && isDigit(text[j])) {
            while (j < n && isDigit(text[j])) {
                ++j;
            }
            end = j;
        }
    }
    // The part is plain ASCII by construction; read it in the C locale, whatever the user's
    // decimal separator is.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    const std::string number = text.left(end).toStdString();
    const double value = strtod_l(number.c_str(), nullptr, cLocale);
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(previous);
    if (!std::isfinite(rounded) || rounded < -2147483648.0 || rounded > 2147483647.0) {
        throw Failure::overflow();
    }
    return static_cast<long long>(rounded);
}
