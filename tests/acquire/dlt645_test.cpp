#include "acquire/dlt645.h"

#include "common/conversion.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(AddressToBcd, KeepsTheTwoLowDecimalDigits) {
    const std::pair<int, int> cases[] = {{0, 0x00},   {1, 0x01},   {9, 0x09},   {10, 0x10},
                                         {12, 0x12},  {99, 0x99},  {100, 0x00}, {110, 0x10},
                                         {199, 0x99}, {200, 0x00}, {255, 0x55}};
    for (const auto& [address, bcd] : cases)
        EXPECT_EQ(AddressToBcd(uint8_t(address)), bcd) << "address " << address;
}

TEST(MeterAddress, IsTheBcdByteThenFiveZeros) {
    EXPECT_EQ(MeterAddress(1), (std::array<uint8_t, 6>{0x01, 0, 0, 0, 0, 0}));
    EXPECT_EQ(MeterAddress(100), (std::array<uint8_t, 6>{0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(MeterAddress(37), (std::array<uint8_t, 6>{0x37, 0, 0, 0, 0, 0}));
}

TEST(Dlt645Identifier1997, LowByteIsDi0) {
    EXPECT_EQ(Dlt645Identifier1997(QStringLiteral("0x9010")), (std::array<uint8_t, 2>{0x10, 0x90}));
    EXPECT_EQ(Dlt645Identifier1997(QStringLiteral("36880")), (std::array<uint8_t, 2>{0x10, 0x90}));
    EXPECT_THROW(Dlt645Identifier1997(QStringLiteral("B611")), ConversionError);
}

struct FormatCase {
    const char* format;
    const char* unit;
    std::vector<uint8_t> data;
    const char* text;
};

std::ostream& operator<<(std::ostream& os, const FormatCase& c) {
    return os << c.format;
}

class FormatTable : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatTable, Formats) {
    const FormatCase& c = GetParam();
    EXPECT_EQ(FormatDlt645Value(QString::fromUtf8(c.format), QString::fromUtf8(c.unit), c.data)
                  .toStdString(),
              std::string(c.text));
    if (Dlt645TemplateBytes(QString::fromUtf8(c.format)) > 0) {
        EXPECT_LE(Dlt645TemplateBytes(QString::fromUtf8(c.format)), int(c.data.size()));
    }
}

std::vector<uint8_t> Repeat(std::initializer_list<std::vector<uint8_t>> groups) {
    std::vector<uint8_t> out;
    for (const auto& g : groups)
        out.insert(out.end(), g.begin(), g.end());
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Templates, FormatTable,
    ::testing::Values(
        FormatCase{"XXXXXXXXXXXX", "kWh", {0x01, 0x02, 0x03, 0x04, 0x05, 0x06}, "060504030201"},
        FormatCase{"XXXXXX.XX", "kWh", {0x56, 0x34, 0x12, 0x00}, "001234.56 kWh"},
        FormatCase{"XXXXXX", "", {0x56, 0x34, 0x12}, "123456"},
        FormatCase{"XX.XXXX", "kW", {0x56, 0x34, 0x12}, "12.3456 kW"},
        FormatCase{"XXXXX.X", "kWh", {0x56, 0x34, 0x12}, "12345.6"},
        FormatCase{"XXXX", "", {0x00, 0x00}, "电网正常"},
        FormatCase{"XXXX", "", {0x01, 0x00}, "电网缺相"},
        FormatCase{"XXXX", "", {0x02, 0x00}, "电网停电"},
        FormatCase{"XXXX", "", {0x00, 0x01}, "解析错误"},
        FormatCase{"X.XXX", "", {0x56, 0x09}, "0.956 "},
        FormatCase{"XX.XX", "A", {0x45, 0x23}, "23.45 A"},
        FormatCase{"XXX.X", "V", {0x05, 0x22}, "220.5 V"}, FormatCase{"XX", "", {0x07}, "07"},
        FormatCase{"MMDDHHmm", "", {0x30, 0x14, 0x25, 0x12}, "12月25日  14时30分"},
        FormatCase{"YYMMDDWW", "", {0x03, 0x15, 0x09, 0x24}, "24年09月15日  星期三"},
        FormatCase{"YYMMDDWW", "", {0x07, 0x15, 0x09, 0x24}, "24年09月15日  星期天"},
        FormatCase{"YYMMDDWW", "", {0x00, 0x15, 0x09, 0x24}, "24年09月15日  星期"},
        FormatCase{"YYMMDDWW", "", {0x08, 0x15, 0x09, 0x24}, "24年09月15日  星期"},
        FormatCase{"hhmmss", "", {0x05, 0x30, 0x14}, "14时30分05秒"},
        FormatCase{"DDhh", "", {0x08, 0x15}, "15日08时"},
        FormatCase{"MMDDNN", "", {0x02, 0x01, 0x03}, "03月01日  时段表号：02"},
        FormatCase{"hhmmNN", "", {0x04, 0x30, 0x08}, "08时30分  费率号：04"},
        FormatCase{"XXX", "V", {0x20, 0x12}, "220 V"},
        FormatCase{"07XXX.XXX YYMMDDHHmm",
                   "kW",
                   {0x56, 0x34, 0x92, 0x30, 0x14, 0x25, 0x12, 0x24},
                   "-123.456 kW   24年12月25日14时30分"},
        FormatCase{"07XX.XXXX YYMMDDHHmm",
                   "kW",
                   {0x56, 0x34, 0x12, 0x30, 0x14, 0x25, 0x12, 0x24},
                   "12.3456 kW   24年12月25日14时30分"},
        FormatCase{"XXX.XXX", "A", {0x56, 0x34, 0x82}, "-023.456 A"},
        FormatCase{"5XXXXXX.XX", "kWh",
                   Repeat({{0x01, 0, 0, 0},
                           {0x02, 0, 0, 0},
                           {0x03, 0, 0, 0},
                           {0x04, 0, 0, 0},
                           {0x05, 0, 0, 0}}),
                   "000000.01 kWh   000000.02 kWh   000000.03 kWh   000000.04 kWh   000000.05 kWh"},
        FormatCase{"4XX.XXXX", "kW",
                   Repeat({{0x11, 0, 0}, {0x22, 0, 0}, {0x33, 0, 0}, {0x44, 0, 0}}),
                   "00.0011   00.0022   00.0033   00.0044 kW"},
        // Last group first.
        FormatCase{"4X.XXX", "", Repeat({{0x11, 0x01}, {0x22, 0x02}, {0x33, 0x03}, {0x44, 0x04}}),
                   "0.444   0.333   0.222   0.111 "},
        FormatCase{"3XXX.X", "V", Repeat({{0x05, 0x22}, {0x15, 0x23}, {0x25, 0x24}}),
                   "242.5   231.5   220.5 V"},
        FormatCase{"3XXX.XXX", "A",
                   Repeat({{0x00, 0x15, 0x00}, {0x00, 0x25, 0x80}, {0x34, 0x12, 0x00}}),
                   "001.500   -002.500   001.234 A"},
        FormatCase{"5XX.XXXX", "kW",
                   Repeat({{0, 0, 0x01}, {0, 0, 0x02}, {0, 0, 0x03}, {0, 0, 0x04}, {0, 0, 0x05}}),
                   "01.0000   02.0000   03.0000   04.0000   05.0000 kW"},
        FormatCase{"5MMDDHHmm", "",
                   Repeat({{0x00, 0x08, 0x01, 0x01},
                           {0x15, 0x09, 0x02, 0x02},
                           {0x30, 0x10, 0x03, 0x03},
                           {0x45, 0x11, 0x04, 0x04},
                           {0x59, 0x23, 0x31, 0x12}}),
                   "01月01日08时00分  02月02日09时15分  03月03日10时30分  04月04日11时45分  "
                   "12月31日23时59分"},
        FormatCase{"07XX.XXXX", "kW", {0x56, 0x34, 0x92}, "-12.3456 kW"},
        FormatCase{"074XX.XXXX", "kW",
                   Repeat({{0x56, 0x34, 0x12}, {0x00, 0x00, 0x81}, {0, 0, 0}, {0x99, 0x99, 0x79}}),
                   "12.3456   -01.0000   00.0000   79.9999 kW"},
        FormatCase{"07X.XXX", "", {0x23, 0x91}, "-1.123 "},
        // First group first.
        FormatCase{"074X.XXX", "", Repeat({{0x11, 0x01}, {0x22, 0x82}, {0x33, 0x03}, {0x44, 0x04}}),
                   "0.111   -0.222   0.333   0.444 "},
        FormatCase{"3XXXX",
                   "",
                   {0x20, 0x00, 0x00},
                   "电压相序(正确)  电流相序(正确)  过压  欠压  有功方向(正)  无功方向(正)"},
        FormatCase{"3XXXX",
                   "",
                   {0x55, 0x02, 0x00},
                   "电压相序(错误)  电流相序(错误)  过压  欠压  断相  有功方向(负)  无功方向(负)"},
        FormatCase{"3XXXX",
                   "",
                   {0x56, 0x02, 0x00},
                   "电压相序(正确)  电流相序(正确)  有功方向(正)  无功方向(正)"},
        FormatCase{"3XXXX",
                   "",
                   {0x08, 0x00, 0x00},
                   "电压相序(正确)  电流相序(正确)  有功方向(正)  无功方向(正)"},
        // Bytes that are not BCD are shown as they are.
        FormatCase{"XX.XX", "A", {0xAB, 0x1F}, "1F.AB A"},
        FormatCase{"XXXXX.X", "", {0xFA, 0x00, 0x00}, "000015.10"},
        FormatCase{"NOSUCH", "kW", {0x01}, ""},
        FormatCase{"xxxxxx.xx", "kWh", {0x56, 0x34, 0x12, 0x00}, ""}),
    [](const ::testing::TestParamInfo<FormatCase>& info) {
        return "n" + std::to_string(info.index);
    });

std::vector<uint8_t> TwelveMonths() {
    std::vector<uint8_t> d;
    const uint8_t bcd[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x10, 0x11, 0x12};
    for (uint8_t b : bcd)
        d.insert(d.end(), {b, 0, 0, 0});
    return d;
}

TEST(FormatDlt645Value, TwelveMonthsFillTwoEntries) {
    QStringList items;
    EXPECT_EQ(FormatDlt645Value(QStringLiteral("12XXXXXX.XX"), QStringLiteral("kWh"),
                                TwelveMonths(), &items),
              QStringLiteral("12XXXXXX.XX"));
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0], QStringLiteral("000000.01   000000.02   000000.03   000000.04   "
                                       "000000.05   000000.06"));
    EXPECT_EQ(items[1], QStringLiteral("000000.07   000000.08   000000.09   000000.10   "
                                       "000000.11   000000.12"));
}

TEST(FormatDlt645Value, ThirtyOneHarmonicsFillThirtyOneEntries) {
    std::vector<uint8_t> d;
    for (int j = 0; j < 31; ++j)
        d.insert(d.end(), {uint8_t(0x10 + j % 10), uint8_t(j / 10)});
    QStringList items;
    EXPECT_EQ(FormatDlt645Value(QStringLiteral("31XX.XX"), QStringLiteral("%"), d, &items),
              QStringLiteral("31XX.XX"));
    ASSERT_EQ(items.size(), 31);
    EXPECT_EQ(items[0], QStringLiteral("00.10 %"));
    EXPECT_EQ(items[12], QStringLiteral("01.12 %"));
    EXPECT_EQ(items[30], QStringLiteral("03.10 %"));
}

// Record k holds the value k.0000 kW stamped at minute k.
std::vector<uint8_t> FiveDemands() {
    std::vector<uint8_t> d;
    for (uint8_t k = 0; k < 5; ++k)
        d.insert(d.end(), {0x00, 0x00, k, k, 0x10, 0x01, 0x02, 0x24});
    return d;
}

QString DemandRecord(int k) {
    return QStringLiteral("0%1.0000 kW  24年02月01日10时0%1分").arg(k);
}

TEST(FormatDlt645Value, FiveDemandsShowRecordsThreeFourThenTwoZeroOne) {
    QStringList items;
    EXPECT_EQ(FormatDlt645Value(QStringLiteral("075XX.XXXX YYMMDDHHmm"), QStringLiteral("kW"),
                                FiveDemands(), &items),
              QStringLiteral("075XX.XXXX YYMMDDHHmm"));
    ASSERT_EQ(items.size(), 2);
    const QString gap = QStringLiteral("  ");
    EXPECT_EQ(items[0], DemandRecord(3) + gap + DemandRecord(4));
    EXPECT_EQ(items[1], DemandRecord(2) + gap + DemandRecord(0) + gap + DemandRecord(1));
}

Dlt645Item Item(const char* format, const char* name, const char* dw, const char* checkmc = "") {
    return {QStringLiteral("0x00000000"), QString::fromUtf8(format), QString::fromUtf8(name),
            QString::fromUtf8(dw), QString::fromUtf8(checkmc)};
}

TEST(Dlt645ItemRows, PlainItemCarriesItsUnit) {
    const std::vector<uint8_t> d = {0x56, 0x34, 0x12, 0x00};
    const auto rows =
        Dlt645ItemRows(Item("XXXXXX.XX", "正向有功总电能", "kWh"), d, Dlt645Year::Y1997, {}, {});
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0], (AcquiredRow{QStringLiteral("正向有功总电能"),
                                    QStringLiteral("001234.56 kWh"), false}));
}

struct ItemCheckCase {
    const char* label;
    const char* format;
    const char* dw;
    const char* checkmc;
    std::vector<uint8_t> data;
    CheckSettings settings;
    TestPoint point;
    const char* value;
    bool failed;
};

std::ostream& operator<<(std::ostream& os, const ItemCheckCase& c) {
    return os << c.label;
}

class ItemCheckTable : public ::testing::TestWithParam<ItemCheckCase> {};

TEST_P(ItemCheckTable, ChecksInBaseUnits) {
    const ItemCheckCase& c = GetParam();
    const auto rows = Dlt645ItemRows(Item(c.format, "项", c.dw, c.checkmc), c.data,
                                     Dlt645Year::Y2007, c.settings, c.point);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].value.toStdString(), std::string(c.value));
    EXPECT_EQ(rows[0].checkFailed, c.failed);
}

CheckSettings Rated(double u, double i) {
    CheckSettings s;
    s.u = u;
    s.i = i;
    return s;
}

INSTANTIATE_TEST_SUITE_P(Items, ItemCheckTable,
                         ::testing::Values(
                             // 12.3456 kW is checked as 12345.6 W.
                             ItemCheckCase{"kW_times_1000_passes",
                                           "07XX.XXXX",
                                           "kW",
                                           "Pa",
                                           {0x56, 0x34, 0x12},
                                           Rated(1234.56, 10),
                                           {1, 1, 0, 50},
                                           "12.3456 kW",
                                           false},
                             ItemCheckCase{"kW_negative_magnitude",
                                           "07XX.XXXX",
                                           "kW",
                                           "Pa",
                                           {0x56, 0x34, 0x92},
                                           Rated(1234.56, 10),
                                           {1, 1, 0, 50},
                                           "-12.3456 kW",
                                           false},
                             ItemCheckCase{"kW_wrong_value_fails",
                                           "07XX.XXXX",
                                           "kW",
                                           "Pa",
                                           {0x00, 0x00, 0x12},
                                           Rated(1234.56, 10),
                                           {1, 1, 0, 50},
                                           "12.0000 kW",
                                           true},
                             ItemCheckCase{"kVar_times_1000",
                                           "XX.XX",
                                           "kVar",
                                           "Q总",
                                           {0x30, 0x03},
                                           Rated(220, 5),
                                           {1, 1, 90, 50},
                                           "03.30 kVar",
                                           false},
                             ItemCheckCase{"kVA_times_1000",
                                           "XX.XXXX",
                                           "kVA",
                                           "Sa",
                                           {0x00, 0x10, 0x01},
                                           Rated(220, 5),
                                           {1, 1, 0, 50},
                                           "01.1000 kVA",
                                           false},
                             ItemCheckCase{"volts_not_scaled",
                                           "XXX.X",
                                           "V",
                                           "Ua",
                                           {0x02, 0x22},
                                           Rated(220, 5),
                                           {1, 1, 0, 50},
                                           "220.2 V",
                                           false},
                             ItemCheckCase{"volts_fail",
                                           "XXX.X",
                                           "V",
                                           "Ua",
                                           {0x00, 0x23},
                                           Rated(220, 5),
                                           {1, 1, 0, 50},
                                           "230.0 V",
                                           true},
                             ItemCheckCase{"power_factor_no_unit",
                                           "X.XXX",
                                           "",
                                           "C总",
                                           {0x00, 0x05},
                                           Rated(220, 5),
                                           {1, 1, 60, 50},
                                           "0.500 ",
                                           false},
                             // A text that is not one number cannot pass its check.
                             ItemCheckCase{"not_a_number_fails",
                                           "YYMMDDWW",
                                           "",
                                           "Ua",
                                           {0x01, 0x01, 0x01, 0x24},
                                           Rated(220, 5),
                                           {1, 1, 0, 50},
                                           "24年01月01日  星期一",
                                           true},
                             ItemCheckCase{"several_numbers_fail",
                                           "4XX.XXXX",
                                           "kW",
                                           "P总",
                                           std::vector<uint8_t>(12, 0x11),
                                           Rated(220, 5),
                                           {1, 1, 0, 50},
                                           "11.1111   11.1111   11.1111   11.1111 kW",
                                           true}),
                         [](const ::testing::TestParamInfo<ItemCheckCase>& info) {
                             return std::string(info.param.label);
                         });

TEST(Dlt645ItemRows, FiveDemandsGiveTwoRowsIn2007Only) {
    const Dlt645Item item = Item("075XX.XXXX YYMMDDHHmm", "正向有功最大需量及发生时间", "kW");
    const auto rows = Dlt645ItemRows(item, FiveDemands(), Dlt645Year::Y2007, {}, {});
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].name, QStringLiteral("正向有功最大需量及发生时间+第1时段"));
    EXPECT_EQ(rows[1].name, QStringLiteral("正向有功最大需量及发生时间(第2～4时段)"));
    EXPECT_EQ(rows[0].value, DemandRecord(3) + QStringLiteral("  ") + DemandRecord(4));

    const auto old = Dlt645ItemRows(item, FiveDemands(), Dlt645Year::Y1997, {}, {});
    ASSERT_EQ(old.size(), 1);
    EXPECT_EQ(old[0].value, QStringLiteral("075XX.XXXX YYMMDDHHmm"));
}

TEST(Dlt645ItemRows, TwelveMonthsNameFromGbkBytes) {
    const auto rows = Dlt645ItemRows(Item("12XXXXXX.XX", "1～12月份正向有功电能", "kWh"),
                                     TwelveMonths(), Dlt645Year::Y2007, {}, {});
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].name, QStringLiteral("正向有功电能数据块(1～6月份)"));
    EXPECT_EQ(rows[1].name, QStringLiteral("正向有功电能数据块(7～12月份)"));
    EXPECT_TRUE(rows[1].value.startsWith(QStringLiteral("000000.07")));
}

TEST(Dlt645ItemRows, ThirtyOneHarmonicRows) {
    std::vector<uint8_t> d(62, 0x00);
    d[60] = 0x25; // entry 30
    d[61] = 0x01;
    const auto rows =
        Dlt645ItemRows(Item("31XX.XX", "A相电压谐波含量", "%"), d, Dlt645Year::Y1997, {}, {});
    ASSERT_EQ(rows.size(), 31);
    EXPECT_EQ(rows[0].name, QStringLiteral("A相电压1次谐波含量"));
    EXPECT_EQ(rows[30].name, QStringLiteral("A相电压31次谐波含量"));
    EXPECT_EQ(rows[30].value, QStringLiteral("01.25 %"));
    EXPECT_EQ(rows[0].value, QStringLiteral("00.00 %"));
}

struct ShortCase {
    const char* format;
    const char* name;
    size_t bytes;
    qsizetype rows;
};

std::ostream& operator<<(std::ostream& os, const ShortCase& c) {
    return os << c.format;
}

class ShortAnswer : public ::testing::TestWithParam<ShortCase> {};

// An answer shorter than its template keeps the row layout but shows the failure.
TEST_P(ShortAnswer, ShowsFailureOnEveryRow) {
    const ShortCase& c = GetParam();
    const std::vector<uint8_t> d(c.bytes, 0x11);
    const auto rows = Dlt645ItemRows(Item(c.format, c.name, "kWh"), d, Dlt645Year::Y2007, {}, {});
    ASSERT_EQ(rows.size(), c.rows);
    for (const AcquiredRow& r : rows) {
        EXPECT_EQ(r.value, QStringLiteral("解析错误"));
        EXPECT_TRUE(r.checkFailed);
    }
}

INSTANTIATE_TEST_SUITE_P(Short, ShortAnswer,
                         ::testing::Values(ShortCase{"XXXXXX.XX", "电能", 3, 1},
                                           ShortCase{"XX", "字节", 0, 1},
                                           ShortCase{"31XX.XX", "A相电压谐波", 60, 31},
                                           ShortCase{"12XXXXXX.XX", "1～12月份正向有功电能", 47, 2},
                                           ShortCase{"075XX.XXXX YYMMDDHHmm", "需量", 39, 2}));

TEST(GbkSlice, CutsByBytesAndDropsAHalfCharacter) {
    EXPECT_EQ(GbkSlice(QStringLiteral("A相电压谐波"), 0, 7), QStringLiteral("A相电压"));
    EXPECT_EQ(GbkSlice(QStringLiteral("A相电压谐波"), 0, 4), QStringLiteral("A相"));
    EXPECT_EQ(GbkSlice(QStringLiteral("1～12月份正向有功电能"), 9, 12),
              QStringLiteral("正向有功电能"));
    EXPECT_EQ(GbkSlice(QStringLiteral("短"), 9, 12), QString());
}

} // namespace
