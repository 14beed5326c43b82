#include "common/conversion.h"

#include <gtest/gtest.h>

struct IntCase {
    const char* text;
    int value;
};

class StrToIntAccepts : public testing::TestWithParam<IntCase> {};

TEST_P(StrToIntAccepts, ReadsAsTheRuntimeDoes) {
    EXPECT_EQ(StrToInt(QString::fromUtf8(GetParam().text)), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Table, StrToIntAccepts,
                         testing::Values(IntCase{"0xAA55", 43605}, IntCase{"0x0000", 0},
                                         IntCase{"43605", 43605}, IntCase{" 12", 12},
                                         IntCase{"$1F", 31}, IntCase{"x10", 16},
                                         IntCase{"X10", 16}, IntCase{"0X1f", 31},
                                         IntCase{"-5", -5}, IntCase{"+7", 7},
                                         IntCase{"-2147483648", -2147483647 - 1},
                                         IntCase{"$FFFFFFFF", -1}));

class StrToIntRefuses : public testing::TestWithParam<const char*> {};

TEST_P(StrToIntRefuses, ThrowsWithTheText) {
    const QString text = QString::fromUtf8(GetParam());
    try {
        StrToInt(text);
        FAIL() << "no error for " << GetParam();
    } catch (const ConversionError& e) {
        EXPECT_TRUE(e.text().contains(text));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, StrToIntRefuses,
                         testing::Values("abc", "", " ", "12 ", "0x", "$", "1.5", "2147483648",
                                         "0x100000000", "１２"));

TEST(StrToFloat, ReadsAndRefuses) {
    EXPECT_DOUBLE_EQ(StrToFloat(" 0.2 "), 0.2);
    EXPECT_DOUBLE_EQ(StrToFloat("-1e3"), -1000);
    EXPECT_THROW(StrToFloat("abc"), ConversionError);
    EXPECT_THROW(StrToFloat(""), ConversionError);
    EXPECT_THROW(StrToFloat("inf"), ConversionError);
}

TEST(FloatToText, ShortestForm) {
    EXPECT_EQ(FloatToText(0.2), "0.2");
    EXPECT_EQ(FloatToText(220), "220");
    EXPECT_EQ(FloatToText(0.02), "0.02");
}
