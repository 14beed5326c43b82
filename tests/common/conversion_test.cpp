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
                                         IntCase{"$1F", 31}, IntCase{"x10", 16}, IntCase{"X10", 16},
                                         IntCase{"0X1f", 31}, IntCase{"-5", -5}, IntCase{"+7", 7},
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

struct FieldCase {
    const char* caption;
    const char* text;
    FieldRange range;
    const char* message; // empty: the value is accepted
};

class FieldToIntTest : public testing::TestWithParam<FieldCase> {};

// A field that fails names itself by its caption and quotes what was typed; a value on a bound
// is accepted, one past it is not.
TEST_P(FieldToIntTest, NamesTheFieldAndTheText) {
    const FieldCase c = GetParam();
    const QString caption = QString::fromUtf8(c.caption);
    try {
        const int value = FieldToInt(caption, QString::fromUtf8(c.text), c.range);
        EXPECT_STREQ(c.message, "") << "accepted as " << value;
        EXPECT_EQ(value, StrToInt(QString::fromUtf8(c.text)));
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.text(), QString::fromUtf8(c.message));
        EXPECT_EQ(e.field(), caption);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, FieldToIntTest,
    testing::Values(
        FieldCase{"启动电流：", "ab", {0, 65535}, "启动电流：“ab”不是有效的整数"},
        FieldCase{"启动电流：", "", {0, 65535}, "启动电流：“”不是有效的整数"},
        FieldCase{"启动电流：", "-5", {0, 65535}, "启动电流：“-5”超出范围（0～65535）"},
        FieldCase{"脉冲常数：", "65535", {0, 65535}, ""},
        FieldCase{"脉冲常数：", "65536", {0, 65535}, "脉冲常数：“65536”超出范围（0～65535）"},
        FieldCase{"脉冲常数：", "70000", {0, 65535}, "脉冲常数：“70000”超出范围（0～65535）"},
        FieldCase{"费率数：", "0", {0, 99}, ""},
        FieldCase{"费率数：", "-1", {0, 99}, "费率数：“-1”超出范围（0～99）"},
        FieldCase{"电压变比PT：", "0x10", {1, 5000}, ""},
        FieldCase{"电压变比PT：", "0", {1, 5000}, "电压变比PT：“0”超出范围（1～5000）"},
        FieldCase{
            "电流变比CT：", "2147483648", {1, 9999}, "电流变比CT：“2147483648”不是有效的整数"}));

TEST(FieldToFloatTest, NamesTheFieldAndTheText) {
    EXPECT_DOUBLE_EQ(FieldToFloat(QStringLiteral("电压额定值："), " 57.5"), 57.5);
    try {
        FieldToFloat(QStringLiteral("电压额定值："), "22o");
        FAIL();
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.text(), QStringLiteral("电压额定值：“22o”不是有效的数值"));
        EXPECT_EQ(e.field(), QStringLiteral("电压额定值："));
    }
}
