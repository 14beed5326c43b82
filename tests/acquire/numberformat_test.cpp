#include "acquire/numberformat.h"

#include <gtest/gtest.h>

namespace {

struct FormatCase {
    double value;
    const char* pattern;
    const char* text;
};

std::ostream& operator<<(std::ostream& os, const FormatCase& c) {
    return os << c.value << " '" << c.pattern << "'";
}

class FormatNumberTable : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatNumberTable, Formats) {
    const FormatCase& c = GetParam();
    EXPECT_EQ(FormatNumber(c.value, QString::fromUtf8(c.pattern)).toStdString(),
              std::string(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, FormatNumberTable,
    ::testing::Values(
        FormatCase{2200.3, "0.0 V", "2200.3 V"}, FormatCase{22.003, "0.000 V", "22.003 V"},
        FormatCase{0.987, "0.000", "0.987"}, FormatCase{12.34, "0.00 %", "12.34 %"},
        FormatCase{1.7000000000000002, "0.0", "1.7"}, FormatCase{1230, "0 V", "1230 V"},
        FormatCase{-1, "0 W", "-1 W"}, FormatCase{0.5, "0", "1"}, // half away from zero
        FormatCase{-0.5, "0", "-1"},
        FormatCase{2.675, "0.00", "2.68"}, // decimal, not binary, rounding
        FormatCase{0.04, "0.0", "0.0"}, FormatCase{-0.04, "0.0", "0.0"}, // no sign on a shown zero
        FormatCase{9.96, "0.0", "10.0"},                                 // carry into a new digit
        FormatCase{0.05, "0.0000", "0.0500"}, FormatCase{123456789, "0.00", "123456789.00"},
        FormatCase{5, "000", "005"}, FormatCase{0.25, "#.##", ".25"},
        FormatCase{2.5, "0.0#", "2.5"}, FormatCase{12, "\"N\"0", "N12"}, FormatCase{2.5, "", "2.5"},
        FormatCase{65536, "", "65536"}, FormatCase{-3.25, "", "-3.25"}),
    [](const ::testing::TestParamInfo<FormatCase>& info) {
        return "n" + std::to_string(info.index);
    });

} // namespace
