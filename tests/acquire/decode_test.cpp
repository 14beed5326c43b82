#include "acquire/decode.h"

#include <gtest/gtest.h>

#include <QSet>
#include <vector>

namespace {

constexpr int kOn = 0xAA55;

OutputParameter Param(const char* dw, int bl, int fh = 0, int zs = 1, const char* checkmc = "") {
    OutputParameter p;
    p.csmc = QStringLiteral("参数");
    p.dw = QString::fromUtf8(dw);
    p.bl = bl;
    p.fh = fh;
    p.zs = zs;
    p.checkmc = QString::fromUtf8(checkmc);
    return p;
}

SchemeScales Scales(int ublfx = kOn, int cslxsn = 0, int csfhsn = 0) {
    SchemeScales s;
    s.ubl = 10;
    s.ublfx = ublfx;
    s.ibl = 10;
    s.iblfx = kOn;
    s.pbl = 10;
    s.pblfx = kOn;
    s.ebl = 10;
    s.eblfx = kOn;
    s.cslxsn = cslxsn;
    s.csfhsn = csfhsn;
    return s;
}

struct DecodeCase {
    const char* label;
    SchemeScales scheme;
    OutputParameter parameter;
    std::vector<uint16_t> words;
    const char* text;
    int taken;
};

std::ostream& operator<<(std::ostream& os, const DecodeCase& c) {
    return os << c.label;
}

class DecodeTable : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTable, GivesTextAndAdvances) {
    const DecodeCase& c = GetParam();
    qsizetype position = 0;
    const AcquiredRow row =
        DecodeParameter(c.scheme, c.parameter, c.words, position, CheckSettings{}, TestPoint{});
    EXPECT_EQ(row.value.toStdString(), std::string(c.text));
    EXPECT_EQ(position, c.taken);
    EXPECT_EQ(row.name, c.parameter.csmc);
}

SchemeScales EnergyDivide() {
    SchemeScales s = Scales();
    s.eblfx = 0;
    return s;
}
SchemeScales VoltageFactor100() {
    SchemeScales s = Scales();
    s.ubl = 100;
    return s;
}

SchemeScales ZeroEnergyFactor() {
    SchemeScales s = Scales();
    s.ebl = 0;
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Registers, DecodeTable,
    ::testing::Values(
        // Scale directions: 0xAA55 multiplies by the scheme factor, 0 divides.
        DecodeCase{"volts_multiplied", Scales(kOn), Param("V", 100), {22003}, "2200.3 V", 1},
        DecodeCase{"volts_divided", Scales(0), Param("V", 100), {22003}, "22.003 V", 1},
        DecodeCase{"divisor_below_one_no_decimals",
                   VoltageFactor100(),
                   Param("V", 10),
                   {123},
                   "1230 V",
                   1},
        DecodeCase{"divisor_one", Scales(), Param("A", 10), {7}, "7 A", 1},
        DecodeCase{"divisor_two_general_form_no_unit", Scales(), Param("V", 20), {5}, "2.5", 1},
        DecodeCase{"energy_divided_hundredths",
                   EnergyDivide(),
                   Param("kWh", 10, 0, 2),
                   {0, 12345},
                   "123.45 kWh",
                   2},
        DecodeCase{"energy_kvarh_ten_thousandths",
                   EnergyDivide(),
                   Param("kVarh", 1000, 0, 2),
                   {0, 12345},
                   "1.2345 kVarh",
                   2},
        // Signs.
        DecodeCase{"signed_watts_with_sign_enable",
                   Scales(kOn, 0, kOn),
                   Param("W", 10, 1),
                   {0xFFFF},
                   "-1 W",
                   1},
        DecodeCase{"signed_watts_without_sign_enable",
                   Scales(kOn, 0, 0),
                   Param("W", 10, 1),
                   {0xFFFF},
                   "65535 W",
                   1},
        DecodeCase{"signed_var_with_sign_enable",
                   Scales(kOn, 0, kOn),
                   Param("Var", 10, 1),
                   {0xFFF6},
                   "-10 Var",
                   1},
        DecodeCase{"signed_va_without_sign_enable",
                   Scales(kOn, 0, 0),
                   Param("VA", 10, 1),
                   {0x8000},
                   "32768 VA",
                   1},
        DecodeCase{"signed_amps_always", Scales(kOn, 0, 0), Param("A", 10, 1), {0xFFFF}, "-1 A", 1},
        DecodeCase{"signed_pattern_always", Scales(), Param("0.0", 10, 1), {0xFFF1}, "-1.5", 1},
        DecodeCase{"unsigned_pattern", Scales(), Param("0.0", 10, 0), {0xFFF1}, "6552.1", 1},
        DecodeCase{"two_registers_high_word_first",
                   Scales(),
                   Param("kWh", 10, 0, 2),
                   {1, 0},
                   "65536 kWh",
                   2},
        DecodeCase{
            "two_registers_signed", Scales(), Param("W", 10, 1, 2), {0xFFFF, 0xFFFE}, "-2 W", 2},
        DecodeCase{"two_registers_signed_ignores_sign_enable",
                   Scales(kOn, 0, 0),
                   Param("W", 10, 1, 2),
                   {0xFFFF, 0xFFFE},
                   "-2 W",
                   2},
        DecodeCase{"two_registers_unsigned_large",
                   Scales(),
                   Param("kWh", 10, 0, 2),
                   {0xFFFF, 0xFFFF},
                   "4294967295 kWh",
                   2},
        // Number patterns from the unit column.
        DecodeCase{"power_factor_thousandths_without_codes",
                   Scales(),
                   Param("0.0000", 10000, 1),
                   {987},
                   "0.987",
                   1},
        DecodeCase{"power_factor_with_codes",
                   Scales(kOn, kOn),
                   Param("0.0000", 10000, 1),
                   {9870},
                   "0.9870",
                   1},
        DecodeCase{"frequency_pattern", Scales(), Param("0.00", 100), {5000}, "50.00", 1},
        DecodeCase{"empty_pattern_general_form", Scales(), Param("", 4), {10}, "2.5", 1},
        // Relative codes are shown unscaled, without unit.
        DecodeCase{"codes_volts_plain", Scales(kOn, kOn), Param("V", 100), {10000}, "10000", 1},
        DecodeCase{
            "codes_signed_watts", Scales(kOn, kOn, kOn), Param("W", 10, 1), {0xFFFE}, "-2", 1},
        // Grid state: only the low byte counts.
        DecodeCase{"grid_normal", Scales(), Param("", 1), {0x0000}, "电网正常", 1},
        DecodeCase{"grid_phase_loss", Scales(), Param("", 1), {0x0001}, "电网缺相", 1},
        DecodeCase{"grid_low_byte_only", Scales(), Param("", 1), {0x0102}, "电网停电", 1},
        DecodeCase{"grid_undefined", Scales(), Param("", 1), {0x0003}, "解析错误", 1},
        // State bits.
        DecodeCase{"state_bits_clear",
                   Scales(),
                   Param("", 2),
                   {0x0000},
                   "电压相序(正确)  电流相序(正确)  有功方向(正)  无功方向(正)",
                   1},
        DecodeCase{"state_bits_all_set",
                   Scales(),
                   Param("", 2),
                   {0x007F},
                   "电压相序(错误)  电流相序(错误)  过压  欠压  断相  有功方向(负)  无功方向(负)",
                   1},
        DecodeCase{"state_bits_undefined_ignored",
                   Scales(),
                   Param("", 2),
                   {0xFF88},
                   "电压相序(正确)  电流相序(正确)  欠压  有功方向(正)  无功方向(正)",
                   1},
        // Date and time: three registers, high byte first, no leading zeros.
        DecodeCase{"date_time",
                   Scales(),
                   Param("", 3, 0, 3),
                   {0x0C09, 0x0F0A, 0x1E05},
                   "12年9月15日10时30分5秒",
                   3},
        DecodeCase{"date_time_ignores_zs",
                   Scales(),
                   Param("", 3, 0, 1),
                   {0x0C09, 0x0F0A, 0x1E05},
                   "12年9月15日10时30分5秒",
                   3},
        // Values that cannot be decoded show so instead of a number.
        DecodeCase{"missing_second_register", Scales(), Param("kWh", 10, 0, 2), {1}, "解析错误", 2},
        DecodeCase{"zero_divisor", Scales(), Param("0.00", 0), {5}, "解析错误", 1},
        DecodeCase{
            "zero_divisor_product", EnergyDivide(), Param("kWh", 0, 0, 2), {0, 5}, "解析错误", 2},
        DecodeCase{"zero_scheme_factor",
                   ZeroEnergyFactor(),
                   Param("kWh", 10, 0, 2),
                   {0, 5},
                   "解析错误",
                   2}),
    [](const ::testing::TestParamInfo<DecodeCase>& info) { return std::string(info.param.label); });

TEST(DecodeRegisters, WalksTheImageInListOrderAndChecksValues) {
    SchemeScales s = Scales();
    QList<OutputParameter> params = {Param("V", 100, 0, 1, "Ua"),   // 1 word
                                     Param("", 3, 0, 3),            // 3 words
                                     Param("W", 10, 1, 2, "P总"),   // 2 words
                                     Param("0.00", 100, 0, 1, "F"), // 1 word
                                     Param("V", 100, 0, 1, "Ub")};  // 1 word
    params[0].csmc = QStringLiteral("A相电压");
    params[4].csmc = QStringLiteral("B相电压");
    const std::vector<uint16_t> image = {2200, 0x1801, 0x0203, 0x0405, 0, 3300, 5001, 2300};
    TestPoint p{1, 1, 0, 50};
    const QList<AcquiredRow> rows = DecodeRegisters(s, params, image, CheckSettings{}, p);
    ASSERT_EQ(rows.size(), 5);
    EXPECT_EQ(rows[0], (AcquiredRow{QStringLiteral("A相电压"), QStringLiteral("220.0 V"), false}));
    EXPECT_EQ(rows[1].value, QStringLiteral("24年1月2日3时4分5秒"));
    EXPECT_EQ(rows[2].value, QStringLiteral("3300 W"));
    EXPECT_FALSE(rows[2].checkFailed);
    EXPECT_EQ(rows[3].value, QStringLiteral("50.01"));
    EXPECT_FALSE(rows[3].checkFailed);
    EXPECT_EQ(rows[4], (AcquiredRow{QStringLiteral("B相电压"), QStringLiteral("230.0 V"), true}));
}

struct CodeCheckCase {
    const char* label;
    OutputParameter parameter;
    uint16_t word;
    bool failed;
};

std::ostream& operator<<(std::ostream& os, const CodeCheckCase& c) {
    return os << c.label;
}

class CodeCheckTable : public ::testing::TestWithParam<CodeCheckCase> {};

// With relative codes the check sees the raw code, except for power factors ("0.0000") and the
// frequency, which it sees scaled.
TEST_P(CodeCheckTable, ChecksTheRightValue) {
    const CodeCheckCase& c = GetParam();
    qsizetype position = 0;
    CheckSettings settings;
    settings.jdu = 0.1;
    const std::vector<uint16_t> words = {c.word};
    const AcquiredRow row = DecodeParameter(Scales(kOn, kOn), c.parameter, words, position,
                                            settings, TestPoint{1, 1, 60, 50});
    EXPECT_EQ(row.checkFailed, c.failed);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, CodeCheckTable,
    ::testing::Values(
        CodeCheckCase{"volts_code_10012_fails", Param("V", 100, 0, 1, "Ua"), 10012, true},
        CodeCheckCase{"volts_code_10005_passes", Param("V", 100, 0, 1, "Ua"), 10005, false},
        CodeCheckCase{"power_factor_scaled", Param("0.0000", 10000, 1, 1, "Ca"), 5000, false},
        CodeCheckCase{"power_factor_wrong_angle", Param("0.0000", 10000, 1, 1, "Ca"), 8660, true},
        CodeCheckCase{"frequency_scaled_passes", Param("0.00", 100, 0, 1, "F"), 5001, false},
        CodeCheckCase{"frequency_scaled_fails", Param("0.00", 100, 0, 1, "F"), 5003, true},
        CodeCheckCase{"active_code_at_60_degrees", Param("W", 10, 1, 1, "Pa"), 5000, false}),
    [](const ::testing::TestParamInfo<CodeCheckCase>& info) {
        return std::string(info.param.label);
    });

TEST(PlanRegisterBlocks, SplitsAtThe127RegisterLimit) {
    using B = QList<RegisterBlock>;
    EXPECT_EQ(PlanRegisterBlocks(0, 0), B{});
    EXPECT_EQ(PlanRegisterBlocks(0, 1), (B{{0, 1}}));
    EXPECT_EQ(PlanRegisterBlocks(0, 127), (B{{0, 127}}));
    EXPECT_EQ(PlanRegisterBlocks(0, 128), (B{{0, 127}, {127, 1}}));
    EXPECT_EQ(PlanRegisterBlocks(1000, 195), (B{{1000, 127}, {1127, 68}}));
    EXPECT_EQ(PlanRegisterBlocks(0, 254), (B{{0, 127}, {127, 127}}));
    EXPECT_EQ(PlanRegisterBlocks(0, 300), (B{{0, 127}, {127, 127}, {254, 46}}));
}

TEST(HarmonicNames, ListsTheRowsInRegisterOrder) {
    const QStringList& n = HarmonicNames();
    ASSERT_EQ(n.size(), 195);
    EXPECT_EQ(n[0], QStringLiteral("A相电压总谐波含量"));
    EXPECT_EQ(n[5], QStringLiteral("C相电流总谐波含量"));
    EXPECT_EQ(n[6], QStringLiteral("A相电流K系数"));
    EXPECT_EQ(n[8], QStringLiteral("C相电流K系数"));
    EXPECT_EQ(n[9], QStringLiteral("A相电压1次谐波含量"));
    EXPECT_EQ(n[39], QStringLiteral("A相电压31次谐波含量"));
    EXPECT_EQ(n[40], QStringLiteral("B相电压1次谐波含量"));
    EXPECT_EQ(n[71], QStringLiteral("C相电压1次谐波含量"));
    EXPECT_EQ(n[102], QStringLiteral("A相电流1次谐波含量"));
    EXPECT_EQ(n[133], QStringLiteral("B相电流1次谐波含量"));
    EXPECT_EQ(n[164], QStringLiteral("C相电流1次谐波含量"));
    EXPECT_EQ(n[194], QStringLiteral("C相电流31次谐波含量"));
    EXPECT_EQ(QSet<QString>(n.begin(), n.end()).size(), 195) << "names are unique";
}

TEST(ShowHarmonics, ContentsInPercentAndKFactorsInTenths) {
    std::vector<uint16_t> image(195, 0);
    image[0] = 1234;
    image[7] = 17; // B相电流K系数
    image[9] = 5;
    image[194] = 10000;
    const QList<AcquiredRow> rows = ShowHarmonics(image);
    ASSERT_EQ(rows.size(), 195);
    EXPECT_EQ(rows[0].value, QStringLiteral("12.34 %"));
    EXPECT_EQ(rows[6].value, QStringLiteral("0.0"));
    EXPECT_EQ(rows[7], (AcquiredRow{QStringLiteral("B相电流K系数"), QStringLiteral("1.7"), false}));
    EXPECT_EQ(rows[9].value, QStringLiteral("0.05 %"));
    EXPECT_EQ(rows[194].value, QStringLiteral("100.00 %"));
}

TEST(ShowHarmonics, MissingWordsAreShownAsFailures) {
    std::vector<uint16_t> image(127, 100);
    const QList<AcquiredRow> rows = ShowHarmonics(image);
    ASSERT_EQ(rows.size(), 195);
    EXPECT_EQ(rows[126].value, QStringLiteral("1.00 %"));
    EXPECT_EQ(rows[127].value, QStringLiteral("解析错误"));
    EXPECT_TRUE(rows[127].checkFailed);
}

} // namespace
