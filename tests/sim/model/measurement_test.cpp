// The registers of the simulated module read back, with the host's own decoding rule, as the
// engineering values of the reference source's test point.

#include "model_test_support.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Point {
    double u, i, angle, f;
};

// Expected value of a check quantity at a test point, with rated Un and In.
double Expected(const QString& c, const Point& p, double un, double in) {
    const double u = un * p.u / 100, i = in * p.i / 100, phi = p.angle * kPi / 180;
    if (c == "Ua" || c == "Ub" || c == "Uc") return u;
    if (c == "Uab" || c == "Ubc" || c == "Uca") return u * std::sqrt(3.0);
    if (c == "Ia" || c == "Ib" || c == "Ic") return i;
    if (c == "Pa" || c == "Pb" || c == "Pc") return u * i * std::cos(phi);
    if (c == "P总") return 3 * u * i * std::cos(phi);
    if (c == "Qa" || c == "Qb" || c == "Qc") return u * i * std::sin(phi);
    if (c == "Q总") return 3 * u * i * std::sin(phi);
    if (c == "Sa" || c == "Sb" || c == "Sc") return u * i;
    if (c == "S总") return 3 * u * i;
    if (c.startsWith('C')) return std::cos(phi);
    if (c == "F") return p.f;
    ADD_FAILURE() << "no expectation for " << c.toStdString();
    return 0;
}

struct Case {
    const char* label;
    Point point;
    Scaling scaling;
    double un, in; // rated values the module uses (from the scaling or the test point)
};

// Schemes: factors that multiply, factors that divide, and a coarse power factor, each with
// rated values either from the calibration area or from the test point.
Scaling Multiply10() {
    Scaling s;
    s.uFactor = s.iFactor = s.pFactor = s.eFactor = 10;
    return s;
}
Scaling Divide10At57V() {
    Scaling s;
    s.uDir = s.iDir = s.pDir = s.eDir = 0;
    s.iFactor = s.pFactor = s.eFactor = 10; // voltage x 100 x 10 would not fit the line voltages
    s.ratedVoltage = 57.7;
    s.ratedCurrent = 1;
    return s;
}

const Case kCases[] = {
    {"unity_100pct_0deg", {100, 100, 0, 50}, Scaling{}, 220, 5},
    {"unity_50pct_60deg", {100, 50, 60, 50}, Scaling{}, 220, 5},
    {"unity_no_current", {100, 0, 30, 55}, Scaling{}, 220, 5},
    {"unity_120pct_330deg", {120, 120, 330, 60}, Scaling{}, 220, 5},
    {"multiply_100pct_0deg", {100, 100, 0, 50}, Multiply10(), 220, 5},
    {"multiply_50pct_60deg", {50, 50, 60, 45}, Multiply10(), 220, 5},
    {"divide_100pct_0deg", {100, 100, 0, 50}, Divide10At57V(), 57.7, 1},
    {"divide_100pct_60deg", {100, 100, 60, 65}, Divide10At57V(), 57.7, 1},
    {"divide_no_current", {10, 0, 90, 50}, Divide10At57V(), 57.7, 1},
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.label;
}

class EngineeringValues : public ::testing::TestWithParam<Case> {};

TEST_P(EngineeringValues, EveryCheckedParameterDecodesToTheTestPoint) {
    const Case& c = GetParam();
    Measurement m(DataDir());
    m.setTestPoint({c.point.u, c.point.i, c.point.angle, c.point.f, 220, 5});
    RegisterFile regs;
    WriteScaling(regs, c.scaling);
    m.refresh(regs);
    const QList<OutputParameter> cat = LoadOutputCatalogue(QDir(DataDir()).filePath(kOutparFile));
    int checked = 0;
    for (const OutputParameter& p : cat) {
        if (p.checkmc.isEmpty()) continue;
        const Decoded d = DecodeParameter(p, regs, c.scaling);
        const double e = Expected(p.checkmc, c.point, c.un, c.in);
        EXPECT_NEAR(d.value, e, 0.5 / d.z + 1e-9) << p.csmc.toStdString();
        ++checked;
    }
    EXPECT_EQ(checked, 26);
}

INSTANTIATE_TEST_SUITE_P(Points, EngineeringValues, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.label); });

class Model : public ::testing::Test {
protected:
    Model() : m(DataDir()), cat(LoadOutputCatalogue(QDir(DataDir()).filePath(kOutparFile))) {}
    double read(const QString& name) {
        const OutputParameter* p = FindByCheck(cat, name);
        if (!p) p = FindByName(cat, name);
        EXPECT_NE(p, nullptr) << name.toStdString();
        return p ? DecodeParameter(*p, regs, scaling).value : 0;
    }
    void refresh() {
        WriteScaling(regs, scaling);
        m.refresh(regs);
    }
    Measurement m;
    QList<OutputParameter> cat;
    RegisterFile regs;
    Scaling scaling;
};

TEST_F(Model, RelativeCodesPutRatedAtTenThousand) {
    scaling.relativeCodes = true;
    m.setTestPoint({100, 100, 60, 50, 220, 5});
    refresh();
    EXPECT_EQ(read("Ua"), 10000);
    EXPECT_EQ(read("Ia"), 10000);
    EXPECT_NEAR(read("Uab"), 17320.5, 0.5);
    EXPECT_EQ(read("Pa"), 5000);
    EXPECT_EQ(read("P总"), 5000); // the totals are coded against three phases
    EXPECT_EQ(read("Qa"), 8660);
    EXPECT_EQ(read("S总"), 10000);
    // The power factor keeps its four decimals (raw / BL) and the frequency stays in Hz.
    const OutputParameter* pf = FindByCheck(cat, "Ca");
    EXPECT_EQ(regs.get(pf->addr), 5000);
    EXPECT_NEAR(read("Ca"), 0.5, 1e-9);
    EXPECT_NEAR(read("F"), 50, 1e-9);
}

TEST_F(Model, RelativeCodesFollowTheTestPointAtHalfVoltage) {
    scaling.relativeCodes = true;
    m.setTestPoint({50, 120, 0, 50, 220, 5});
    refresh();
    EXPECT_EQ(read("Ub"), 5000);
    EXPECT_EQ(read("Ic"), 12000);
    EXPECT_EQ(read("Pb"), 6000);
    EXPECT_NEAR(read("Ubc"), 8660.25, 0.5);
}

TEST_F(Model, PowersAtHalfTurnAreNegativeWhenTheSchemeReadsSigns) {
    m.setTestPoint({100, 100, 180, 50, 220, 5});
    scaling.signedPower = true;
    refresh();
    EXPECT_NEAR(read("Pa"), -1100, 0.05);
    EXPECT_NEAR(read("P总"), -3300, 0.05);
    EXPECT_NEAR(read("Ca"), -1, 0.0005);
    EXPECT_NEAR(read("Qa"), 0, 0.05);
}

TEST_F(Model, WithoutSignedPowersTheWordCarriesTheMagnitudeAndTheStateWordTheDirection) {
    m.setTestPoint({100, 100, 180, 50, 220, 5});
    scaling.signedPower = false;
    refresh();
    EXPECT_NEAR(read("Pa"), 1100, 0.05);
    EXPECT_NEAR(read("P总"), -3300, 0.05); // two registers are always signed
    const uint16_t state = regs.get(FindByName(cat, "状态字")->addr);
    EXPECT_TRUE(state & (1 << 5));  // active power negative
    EXPECT_FALSE(state & (1 << 6)); // reactive positive (zero)
}

TEST_F(Model, ReactivePowerAtThreeHundredDegreesIsNegative) {
    m.setTestPoint({100, 100, 300, 50, 220, 5});
    refresh();
    EXPECT_NEAR(read("Qa"), -952.6, 0.06);
    EXPECT_NEAR(read("A相电流相角"), -60, 1e-9); // own pattern "0.0", always signed
    EXPECT_NEAR(read("Ca"), 0.5, 0.0005);
    EXPECT_TRUE(regs.get(FindByName(cat, "状态字")->addr) & (1 << 6));
}

TEST_F(Model, GridStateFollowsTheVoltage) {
    struct Row {
        double u;
        uint16_t grid, stateBits;
    };
    const Row rows[] = {{100, 0, 0},     {120, 0, 0},     {130, 0, 1 << 2},
                        {60, 0, 1 << 3}, {40, 1, 1 << 4}, {0, 2, 0}};
    for (const Row& r : rows) {
        m.setTestPoint({r.u, 0, 0, 50, 220, 5});
        refresh();
        EXPECT_EQ(regs.get(FindByName(cat, "电网状态")->addr), r.grid) << r.u;
        EXPECT_EQ(regs.get(FindByName(cat, "状态字")->addr), r.stateBits) << r.u;
    }
}

TEST_F(Model, ErrorOptionShiftsOnlyTheNamedQuantity) {
    m.setTestPoint({100, 100, 0, 50, 220, 5});
    m.setError("Pa", 1);
    refresh();
    EXPECT_NEAR(read("Pa"), 1111, 0.05);
    EXPECT_NEAR(read("Pb"), 1100, 0.05);
    EXPECT_NEAR(read("P总"), 3300, 0.05);
    m.setError("B相电压", -2); // by catalogue name
    refresh();
    EXPECT_NEAR(read("Ub"), 215.6, 0.005);
    EXPECT_NEAR(read("Ua"), 220, 0.005);
    m.setError("Pa", 0);
    refresh();
    EXPECT_NEAR(read("Pa"), 1100, 0.05);
}

TEST_F(Model, EnergyAccumulatesWithTimeAndClears) {
    m.setTestPoint({100, 100, 0, 50, 220, 5});
    refresh();
    EXPECT_EQ(read("正向有功总电能"), 0);
    for (int k = 0; k < 60; ++k)
        m.advance(60, regs); // one hour of 3300 W
    refresh();
    EXPECT_NEAR(read("正向有功总电能"), 3.3, 0.005);
    EXPECT_NEAR(read("反向有功总电能"), 0, 1e-9);
    m.setTestPoint({100, 100, 180, 50, 220, 5});
    m.advance(3600, regs);
    refresh();
    EXPECT_NEAR(read("正向有功总电能"), 3.3, 0.005);
    EXPECT_NEAR(read("反向有功总电能"), 3.3, 0.005);
    m.setTestPoint({100, 100, 90, 50, 220, 5});
    m.advance(1800, regs);
    refresh();
    EXPECT_NEAR(read("正向无功总电能"), 1.65, 0.005);
    m.clearEnergy();
    refresh();
    EXPECT_EQ(read("正向有功总电能"), 0);
    EXPECT_EQ(read("反向有功总电能"), 0);
    EXPECT_EQ(read("正向无功总电能"), 0);
}

TEST_F(Model, EnergyBaseStartsTheForwardTotal) {
    scaling.eFactor = 10; // multiply: the register holds kWh x 10
    m.setEnergyBase(500);
    refresh();
    EXPECT_NEAR(read("正向有功总电能"), 500, 0.05);
    m.setTestPoint({100, 100, 0, 50, 220, 5});
    m.advance(3600, regs);
    refresh();
    EXPECT_NEAR(read("正向有功总电能"), 503.3, 0.05);
}

TEST_F(Model, EnergyGoesToTheTariffOfTheClock) {
    regs.set(257, 13 << 8 | 6);
    regs.set(258, 15 << 8 | 8); // 15 June 2013, 08:00:00: segment 2 (from 07:00), tariff 2
    regs.set(259, 0);
    m.setTestPoint({100, 100, 0, 50, 220, 5});
    m.advance(3600, regs);
    refresh();
    EXPECT_NEAR(read("正向有功峰电能"), 3.3, 0.005);
    EXPECT_EQ(read("正向有功尖电能"), 0);
}

TEST_F(Model, DemandIsTheMeanPowerAndClears) {
    m.setTestPoint({100, 100, 0, 50, 220, 5});
    for (int k = 0; k < 15; ++k)
        m.advance(60, regs);
    m.setTestPoint({100, 50, 0, 50, 220, 5});
    m.advance(450, regs); // half the window at half the power
    refresh();
    EXPECT_NEAR(read("有功需量"), 2475, 0.1);
    EXPECT_NEAR(read("最大有功需量"), 3300, 0.1);
    m.clearDemand();
    refresh();
    EXPECT_EQ(read("有功需量"), 0);
    EXPECT_EQ(read("最大有功需量"), 0);
}

TEST_F(Model, ClockRunsFromWhatTheHostWrote) {
    regs.set(257, 13 << 8 | 12);
    regs.set(258, 31 << 8 | 23);
    regs.set(259, 59 << 8 | 58); // 2013-12-31 23:59:58
    m.advance(1.5, regs);
    EXPECT_EQ(regs.get(259), 59 << 8 | 59);
    m.advance(1.5, regs); // the half seconds add up
    EXPECT_EQ(regs.get(257), 14 << 8 | 1);
    EXPECT_EQ(regs.get(258), 1 << 8 | 0);
    EXPECT_EQ(regs.get(259), 0 << 8 | 1);
    refresh();
    const OutputParameter* dt = FindByName(cat, "日期时间");
    EXPECT_EQ(regs.get(dt->addr), 14 << 8 | 1);
    EXPECT_EQ(regs.get(dt->addr + 2), 1);
}

TEST_F(Model, UnsetClockStartsFromThePcClock) {
    refresh();
    const int year = 2000 + (regs.get(257) >> 8);
    EXPECT_GE(year, QDate::currentDate().year() - 1);
    EXPECT_GE(regs.get(257) & 0xFF, 1);
}

TEST_F(Model, CurveBlockHoldsTheThirteenQuantitiesRaw) {
    m.setTestPoint({100, 100, 180, 50, 220, 5});
    refresh();
    struct Row {
        int reg;
        uint16_t value;
    };
    const Row rows[] = {{7035, uint16_t(-11000)},
                        {7036, uint16_t(-11000)},
                        {7037, uint16_t(-11000)},
                        {7039, 0},
                        {7040, 0},
                        {7041, 0},
                        {7050, 5000},
                        {7051, 22000},
                        {7052, 22000},
                        {7053, 22000},
                        {7054, 5000},
                        {7055, 5000},
                        {7056, 5000}};
    for (const Row& r : rows)
        EXPECT_EQ(regs.get(r.reg), r.value) << r.reg;
    m.setTestPoint({50, 50, 90, 60, 220, 5});
    refresh();
    EXPECT_EQ(regs.get(7035), 0);
    EXPECT_EQ(regs.get(7039), 2750); // 275 var x 10
    EXPECT_EQ(regs.get(7050), 6000);
    EXPECT_EQ(regs.get(7051), 11000);
    EXPECT_EQ(regs.get(7056), 2500);
}

TEST_F(Model, CurveAndRawSamplesUseTheRatedValuesOfTheCalibrationArea) {
    scaling.ratedVoltage = 100;
    scaling.ratedCurrent = 1;
    m.setTestPoint({100, 50, 60, 50, 220, 5});
    refresh();
    EXPECT_EQ(regs.get(7051), 10000);
    EXPECT_EQ(regs.get(7054), 500);
    // Raw samples: 20000 counts at rated; voltage, current, active power per phase.
    for (int ph = 0; ph < 3; ++ph) {
        EXPECT_EQ(regs.get(10000 + ph), 20000);
        EXPECT_EQ(regs.get(10003 + ph), 10000);
        EXPECT_EQ(regs.get(10006 + ph), 5000); // 50 % current at cos 0.5
        EXPECT_GT(regs.get(10009 + ph), 0);
    }
}

TEST_F(Model, HarmonicBlockHasContentsAndKFactors) {
    m.setTestPoint({100, 100, 0, 50, 220, 5});
    refresh();
    for (int ph = 0; ph < 3; ++ph) {
        EXPECT_EQ(regs.get(1009 + 31 * ph), 10000) << "voltage fundamental is 100 %";
        EXPECT_EQ(regs.get(1102 + 31 * ph), 10000) << "current fundamental is 100 %";
        EXPECT_GT(regs.get(1000 + ph), 0);
        EXPECT_GT(regs.get(1006 + ph), 10); // a distorted current has a K factor above 1
    }
    // Total content is the root sum of the orders 2..31.
    double sum = 0;
    for (int n = 2; n <= 31; ++n)
        sum += std::pow(regs.get(1008 + n) / 100.0, 2);
    EXPECT_NEAR(regs.get(1000) / 100.0, std::sqrt(sum), 0.011);
    m.setTestPoint({100, 0, 0, 50, 220, 5});
    refresh();
    EXPECT_EQ(regs.get(1003), 0);
    EXPECT_EQ(regs.get(1102), 0);
    EXPECT_EQ(regs.get(1006), 10);
    EXPECT_EQ(regs.get(1194), 0);
}

} // namespace
