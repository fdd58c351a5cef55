#include "config/LeadingNumber.h"

#include "support/RaisesFailure.h"

#include <clocale>
#include <gtest/gtest.h>
#include <string>

namespace {

struct Reading {
    const char* text;
    long long value;
};

class LeadingNumberReads : public testing::TestWithParam<Reading> {};

TEST_P(LeadingNumberReads, TheLongestLeadingNumberRoundedHalfToEven) {
    EXPECT_EQ(readLeadingNumber(QString::fromLatin1(GetParam().text)), GetParam().value)
        << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Values, LeadingNumberReads,
    testing::Values(Reading{"40", 40}, Reading{"-7", -7}, Reading{"+12", 12},
                    // Trailing text after the number is ignored; no number at all reads as 0.
                    Reading{"250ms", 250}, Reading{"fast", 0}, Reading{"", 0}, Reading{"-", 0},
                    Reading{" 5", 0}, Reading{"1,5", 1},
                    // Halves go to the even neighbour, both signs.
                    Reading{"1.5", 2}, Reading{"2.5", 2}, Reading{"3.5", 4}, Reading{"-2.5", -2},
                    Reading{"-0.5", 0}, Reading{"2.51", 3}, Reading{"0.49999", 0},
                    // A point needs a digit after it to belong to the number.
                    Reading{"7.", 7}, Reading{".5", 0}, Reading{".6", 1},
                    // Exponents, and an "e" that starts no exponent.
                    Reading{"1e3", 1000}, Reading{"25E-1", 2}, Reading{"1.5e+1", 15},
                    Reading{"3e", 3}, Reading{"3e+", 3}, Reading{"3em", 3},
                    // The limits of 32 bits still read.
                    Reading{"2147483647", 2147483647LL}, Reading{"-2147483648", -2147483648LL}),
    [](const testing::TestParamInfo<Reading>& info) {
        return "Case" + std::to_string(info.index);
    });

TEST(LeadingNumber, BeyondThirtyTwoBitsIsAnOverflow) {
    for (const char* text : {"2147483648", "-2147483649", "1e10", "1e400", "-1e400"}) {
        EXPECT_THAT([&] { readLeadingNumber(QString::fromLatin1(text)); }, RaisesFailure(6))
            << text;
    }
}

TEST(LeadingNumber, TheUsersDecimalCommaDoesNotChangeTheReading) {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr &&
        std::setlocale(LC_NUMERIC, "de_DE") == nullptr) {
        GTEST_SKIP() << "no German locale on this machine";
    }
    EXPECT_EQ(readLeadingNumber(QStringLiteral("3.5")), 4);
    EXPECT_EQ(readLeadingNumber(QStringLiteral("3,5")), 3);
    std::setlocale(LC_NUMERIC, saved.c_str());
}

} // namespace
