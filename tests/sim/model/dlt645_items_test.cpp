// DL/T 645 answers of the simulated module: the data bytes of every item in the tables, laid
// out by the item's template, carry the same measurements as the registers.

#include "model_test_support.h"

#include <gtest/gtest.h>

#include <QMap>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Number of data bytes the host's formatter consumes for each template.
const QMap<QString, int>& TemplateLengths() {
    static const QMap<QString, int> t{{"XXXXXXXXXXXX", 6},
                                      {"XXXXXX.XX", 4},
                                      {"XXXXXX", 3},
                                      {"XX.XXXX", 3},
                                      {"XXXXX.X", 3},
                                      {"XXXX", 2},
                                      {"X.XXX", 2},
                                      {"XX.XX", 2},
                                      {"XXX.X", 2},
                                      {"XX", 1},
                                      {"MMDDHHmm", 4},
                                      {"YYMMDDWW", 4},
                                      {"hhmmss", 3},
                                      {"DDhh", 2},
                                      {"MMDDNN", 3},
                                      {"hhmmNN", 3},
                                      {"XXX", 2},
                                      {"07XXX.XXX YYMMDDHHmm", 8},
                                      {"07XX.XXXX YYMMDDHHmm", 8},
                                      {"XXX.XXX", 3},
                                      {"5XXXXXX.XX", 20},
                                      {"4XX.XXXX", 12},
                                      {"4X.XXX", 8},
                                      {"3XXX.X", 6},
                                      {"3XXX.XXX", 9},
                                      {"5XX.XXXX", 15},
                                      {"12XXXXXX.XX", 48},
                                      {"5MMDDHHmm", 20},
                                      {"07XX.XXXX", 3},
                                      {"074XX.XXXX", 12},
                                      {"07X.XXX", 2},
                                      {"074X.XXX", 8},
                                      {"31XX.XX", 62},
                                      {"3XXXX", 3},
                                      {"075XX.XXXX YYMMDDHHmm", 40}};
    return t;
}

uint32_t Di2007(const QString& infonum) {
    return infonum.mid(2, 8).toUInt(nullptr, 16);
}
uint16_t Di1997(const QString& infonum) {
    return uint16_t(infonum.mid(2).toUInt(nullptr, 16));
}

// Host reading of a one-number template: BCD digits, most significant byte last; the signed
// templates keep the sign in bit 7 of the last byte.
double DecodeNumber(const QString& tmpl, const std::vector<uint8_t>& d) {
    const bool sign = tmpl.startsWith("07") || tmpl == "XXX.XXX";
    const int point = tmpl.indexOf('.');
    const int decimals = point < 0 ? 0 : int(tmpl.size()) - point - 1;
    double v = 0;
    bool negative = false;
    for (size_t k = d.size(); k-- > 0;) {
        uint8_t b = d[k];
        if (sign && k + 1 == d.size()) {
            negative = b & 0x80;
            b &= 0x7F;
        }
        v = v * 100 + (b >> 4) * 10 + (b & 0xF);
    }
    v /= std::pow(10.0, decimals);
    return negative ? -v : v;
}

double Expected(const QString& c, double u, double i, double angle, double f) {
    const double phi = angle * kPi / 180;
    const double uv = 220 * u / 100, ia = 5 * i / 100;
    if (c.startsWith("U")) return c.size() == 2 ? uv : uv * std::sqrt(3.0);
    if (c.startsWith("I")) return ia;
    const double k = c.endsWith("总") ? 3 : 1;
    if (c.startsWith("P")) return k * uv * ia * std::cos(phi);
    if (c.startsWith("Q")) return k * uv * ia * std::sin(phi);
    if (c.startsWith("S")) return k * uv * ia;
    if (c.startsWith("C")) return std::cos(phi);
    if (c == "F") return f;
    return NAN;
}

struct Edition {
    const char* label;
    const char* file;
    bool is2007;
};
const Edition kEditions[] = {{"dlt645_1997", kDlt645Items1997File, false},
                             {"dlt645_2007", kDlt645Items2007File, true}};

class ItemTable : public ::testing::TestWithParam<Edition> {
protected:
    std::optional<std::vector<uint8_t>> read(const Measurement& m, const Dlt645Item& item,
                                             const RegisterFile& regs) {
        return GetParam().is2007 ? m.read2007(Di2007(item.infonum), regs)
                                 : m.read1997(Di1997(item.infonum), regs);
    }
    QList<Dlt645Item> items() { return LoadDlt645Items(QDir(DataDir()).filePath(GetParam().file)); }
};

TEST_P(ItemTable, EveryItemAnswersWithTheBytesItsTemplateReads) {
    Measurement m(DataDir());
    RegisterFile regs;
    m.setTestPoint({100, 100, 60, 50, 220, 5});
    for (const Dlt645Item& item : items()) {
        const auto bytes = read(m, item, regs);
        ASSERT_TRUE(bytes.has_value()) << item.infonum.toStdString();
        ASSERT_TRUE(TemplateLengths().contains(item.dataFormat)) << item.dataFormat.toStdString();
        EXPECT_EQ(int(bytes->size()), TemplateLengths().value(item.dataFormat))
            << item.infonum.toStdString();
    }
}

TEST_P(ItemTable, CheckedItemsCarryTheTestPoint) {
    struct P {
        double u, i, angle, f;
    };
    // Angles whose power factor is positive: the 1997 power factor has no sign.
    const P points[] = {
        {100, 100, 0, 50}, {100, 50, 60, 50}, {120, 0, 300, 60}, {50, 120, 330, 45}};
    for (const P& p : points) {
        Measurement m(DataDir());
        RegisterFile regs;
        m.setTestPoint({p.u, p.i, p.angle, p.f, 220, 5});
        int checked = 0;
        for (const Dlt645Item& item : items()) {
            if (item.checkmc.isEmpty()) continue;
            const auto bytes = read(m, item, regs);
            ASSERT_TRUE(bytes.has_value());
            double x = DecodeNumber(item.dataFormat, *bytes);
            if (item.dw == "kW" || item.dw == "kVar" || item.dw == "kVA") x *= 1000;
            const double e = Expected(item.checkmc, p.u, p.i, p.angle, p.f);
            const int point = item.dataFormat.indexOf('.');
            double resolution =
                point < 0 ? 1 : std::pow(10.0, -(item.dataFormat.size() - point - 1));
            if (item.dw.startsWith('k')) resolution *= 1000;
            const bool unsignedTemplate =
                !item.dataFormat.startsWith("07") && item.dataFormat != "XXX.XXX";
            EXPECT_NEAR(x, unsignedTemplate ? std::fabs(e) : e, resolution / 2 + 1e-9)
                << item.csmc.toStdString() << " at " << p.angle;
            ++checked;
        }
        EXPECT_GE(checked, 15);
    }
}

TEST_P(ItemTable, UnknownIdentifiersAreRefused) {
    Measurement m(DataDir());
    RegisterFile regs;
    if (GetParam().is2007) {
        EXPECT_FALSE(m.read2007(0x12345678, regs));
        EXPECT_FALSE(m.read2007(0x0205FF00, regs)); // a real identifier outside the table
        EXPECT_FALSE(m.read2007(0x00000000, regs));
    } else {
        EXPECT_FALSE(m.read1997(0x1234, regs));
        EXPECT_FALSE(m.read1997(0xB660, regs));
        EXPECT_FALSE(m.read1997(0x0000, regs));
    }
}

INSTANTIATE_TEST_SUITE_P(Editions, ItemTable, ::testing::ValuesIn(kEditions),
                         [](const auto& info) { return std::string(info.param.label); });

struct BytesCase {
    const char* label;
    bool is2007;
    uint32_t di;
    double u, i, angle;
    std::vector<uint8_t> bytes;
};

const BytesCase kBytes[] = {
    {"v97_voltage_XXX", false, 0xB611, 100, 100, 0, {0x20, 0x02}},
    {"v97_current_XX_XX", false, 0xB621, 100, 100, 0, {0x00, 0x05}},
    {"v97_total_power_XX_XXXX", false, 0xB630, 100, 100, 0, {0x00, 0x30, 0x03}},
    {"v97_reactive_magnitude_XX_XX", false, 0xB641, 100, 100, 300, {0x95, 0x00}},
    {"v97_power_factor_X_XXX", false, 0xB651, 100, 100, 60, {0x00, 0x05}},
    {"v97_power_factor_block_4X_XXX",
     false,
     0xB65F,
     100,
     100,
     60,
     {0x00, 0x05, 0x00, 0x05, 0x00, 0x05, 0x00, 0x05}},
    {"v97_grid_state_no_voltage_XXXX", false, 0xC021, 0, 0, 0, {0x02, 0x00}},
    {"v97_grid_state_normal_XXXX", false, 0xC021, 100, 0, 0, {0x00, 0x00}},
    {"v97_state_bits_export_3XXXX", false, 0xC020, 100, 100, 180, {0x64, 0x00, 0x00}},
    {"v97_state_bits_overvoltage_3XXXX", false, 0xC020, 130, 0, 0, {0x04, 0x00, 0x00}},
    {"v97_power_block_4XX_XXXX",
     false,
     0xB63F,
     100,
     100,
     0,
     {0x00, 0x30, 0x03, 0x00, 0x10, 0x01, 0x00, 0x10, 0x01, 0x00, 0x10, 0x01}},
    {"v07_voltage_XXX_X", true, 0x02010100, 100, 100, 0, {0x00, 0x22}},
    {"v07_voltage_block_3XXX_X", true, 0x0201FF00, 50, 0, 0, {0x00, 0x11, 0x00, 0x11, 0x00, 0x11}},
    {"v07_current_XXX_XXX", true, 0x02020100, 100, 100, 0, {0x00, 0x50, 0x00}},
    {"v07_current_block_3XXX_XXX",
     true,
     0x0202FF00,
     100,
     10,
     0,
     {0x00, 0x05, 0x00, 0x00, 0x05, 0x00, 0x00, 0x05, 0x00}},
    {"v07_negative_power_07XX_XXXX", true, 0x02030100, 100, 100, 180, {0x00, 0x10, 0x81}},
    {"v07_negative_reactive_07XX_XXXX", true, 0x02040000, 100, 100, 270, {0x00, 0x30, 0x83}},
    {"v07_power_factor_07X_XXX", true, 0x02060100, 100, 100, 60, {0x00, 0x05}},
    {"v07_negative_power_factor_07X_XXX", true, 0x02060000, 100, 100, 180, {0x00, 0x90}},
    {"v07_power_factor_block_074X_XXX",
     true,
     0x0206FF00,
     100,
     100,
     180,
     {0x00, 0x90, 0x00, 0x90, 0x00, 0x90, 0x00, 0x90}},
    {"v07_frequency_XX_XX", true, 0x02800002, 100, 100, 0, {0x00, 0x50}},
    {"v07_harmonic_2_XX_XX", true, 0x020A0102, 100, 100, 0, {0x00, 0x00}},
    {"v07_energy_none_XXXXXX_XX", true, 0x00010000, 100, 100, 0, {0x00, 0x00, 0x00, 0x00}},
};

class ItemBytes : public ::testing::TestWithParam<BytesCase> {};

TEST_P(ItemBytes, AreTheBcdOfTheMeasurement) {
    const BytesCase& c = GetParam();
    Measurement m(DataDir());
    RegisterFile regs;
    m.setTestPoint({c.u, c.i, c.angle, 50, 220, 5});
    const auto bytes = c.is2007 ? m.read2007(c.di, regs) : m.read1997(uint16_t(c.di), regs);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(*bytes, c.bytes);
}

INSTANTIATE_TEST_SUITE_P(Templates, ItemBytes, ::testing::ValuesIn(kBytes),
                         [](const auto& info) { return std::string(info.param.label); });

class Items : public ::testing::Test {
protected:
    Items() : m(DataDir()) {
        regs.set(257, 13 << 8 | 6);
        regs.set(258, 15 << 8 | 8);
        regs.set(259, 30 << 8 | 5); // Saturday 15 June 2013, 08:30:05
    }
    Measurement m;
    RegisterFile regs;
};

TEST_F(Items, DateAndTimeComeFromTheClock) {
    EXPECT_EQ(*m.read2007(0x04000101, regs), (std::vector<uint8_t>{0x06, 0x15, 0x06, 0x13}));
    EXPECT_EQ(*m.read2007(0x04000102, regs), (std::vector<uint8_t>{0x05, 0x30, 0x08}));
    EXPECT_EQ(*m.read1997(0xC010, regs), (std::vector<uint8_t>{0x06, 0x15, 0x06, 0x13}));
    regs.set(258, 16 << 8 | 8); // Sunday is day 7
    EXPECT_EQ(m.read1997(0xC010, regs)->front(), 0x07);
}

TEST_F(Items, EnergyAndMaximumDemandWithItsTime) {
    m.setTestPoint({100, 100, 0, 50, 220, 5});
    m.setEnergyBase(1234);
    m.advance(1800, regs); // 1.65 kWh more, the clock ends at 09:00:05
    EXPECT_EQ(*m.read1997(0x9010, regs), (std::vector<uint8_t>{0x65, 0x35, 0x12, 0x00}));
    EXPECT_EQ(*m.read1997(0x9012, regs), (std::vector<uint8_t>{0x65, 0x01, 0x00, 0x00}));
    EXPECT_EQ(*m.read1997(0xA010, regs), (std::vector<uint8_t>{0x00, 0x30, 0x03}));
    EXPECT_EQ(*m.read1997(0xB010, regs), (std::vector<uint8_t>{0x00, 0x09, 0x15, 0x06}));
    EXPECT_EQ(*m.read2007(0x01010000, regs),
              (std::vector<uint8_t>{0x00, 0x30, 0x03, 0x00, 0x09, 0x15, 0x06, 0x13}));
    // The block: total, then tariffs 1..4; only tariff 2 has run.
    const auto block = *m.read2007(0x0101FF00, regs);
    EXPECT_EQ(std::vector<uint8_t>(block.begin() + 16, block.begin() + 19),
              (std::vector<uint8_t>{0x00, 0x30, 0x03}));
    EXPECT_EQ(std::vector<uint8_t>(block.begin() + 8, block.begin() + 16),
              (std::vector<uint8_t>(8, 0x00)));
    m.clearDemand();
    EXPECT_EQ(*m.read1997(0xA010, regs), (std::vector<uint8_t>{0x00, 0x00, 0x00}));
}

TEST_F(Items, ErrorOptionShowsInTheItemsToo) {
    m.setTestPoint({100, 100, 0, 50, 220, 5});
    m.setError("Pa", 1);
    EXPECT_EQ(*m.read1997(0xB631, regs), (std::vector<uint8_t>{0x10, 0x11, 0x01}));
    EXPECT_EQ(*m.read1997(0xB632, regs), (std::vector<uint8_t>{0x00, 0x10, 0x01}));
    m.setError("瞬时C相有功功率", -10); // by item name
    EXPECT_EQ(*m.read2007(0x02030300, regs), (std::vector<uint8_t>{0x00, 0x99, 0x00}));
}

TEST_F(Items, HarmonicBlockHasThirtyOneOrders) {
    m.setTestPoint({100, 100, 0, 50, 220, 5});
    const auto b = *m.read2007(0x020A01FF, regs);
    ASSERT_EQ(b.size(), 62u);
    EXPECT_EQ(b[0], 0x99); // the fundamental is beyond two digits: the largest value
    EXPECT_EQ(b[1], 0x99);
    EXPECT_EQ(b[4], 0x00); // order 3: 2.00 %
    EXPECT_EQ(b[5], 0x02);
    const auto current = *m.read2007(0x020B01FF, regs);
    EXPECT_EQ(current[5], 0x08); // order 3 of the current: 8.00 %
}

TEST_F(Items, SettingsComeFromTheUserRegisters) {
    regs.set(260, 6 << 8 | 30);
    regs.set(261, 3);
    regs.set(268, 25 << 8 | 12);
    regs.set(271, 1200);
    EXPECT_EQ(*m.read1997(0xC331, regs), (std::vector<uint8_t>{0x03, 0x30, 0x06}));
    EXPECT_EQ(*m.read2007(0x04000B01, regs), (std::vector<uint8_t>{0x12, 0x25}));
    EXPECT_EQ(*m.read1997(0xC030, regs), (std::vector<uint8_t>{0x00, 0x12, 0x00}));
    regs.set(11008, 0x1306);
    regs.set(11009, 0x1701);
    regs.set(11010, 0x0001);
    EXPECT_EQ(*m.read2007(0x04000402, regs),
              (std::vector<uint8_t>{0x01, 0x00, 0x01, 0x17, 0x06, 0x13}));
}

} // namespace
