// The calibration arithmetic as tables of known answers, and the calibration steps on a scripted
// line: the registers they leave, the log lines they write, and where each failure stops them.

#include "calib/calibration.h"
#include "link/modbus_frames.h"
#include "scripted_link.h"

#include "calibration_fake_module.h"

#include <QStringList>
#include <gtest/gtest.h>

#include <cmath>

namespace {

RawSeries SeriesOf(std::function<uint16_t(int n, int k)> word) {
    RawSeries series{};
    for (int n = 0; n < 8; ++n)
        for (int k = 0; k < 9; ++k)
            series[n][k] = word(n, k);
    return series;
}

// ---- averages and VIP data -------------------------------------------------------------------

struct AverageCase {
    const char* name;
    uint16_t even; // words of reads 1, 3, 5, 7
    uint16_t odd;  // words of reads 2, 4, 6, 8
    double average;
    uint16_t word;
};

class Averages : public ::testing::TestWithParam<AverageCase> {};

TEST_P(Averages, AverageAndRoundedWord) {
    const AverageCase& c = GetParam();
    const RawSeries series = SeriesOf([&](int n, int) { return n % 2 == 0 ? c.even : c.odd; });
    const VipAverageSet averages = AverageRawWords(series);
    const std::array<uint16_t, 9> words = VipDataWords(averages);
    for (int k = 0; k < 9; ++k) {
        EXPECT_DOUBLE_EQ(averages[k], c.average) << k;
        EXPECT_EQ(words[k], c.word) << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Averages,
                         ::testing::Values(AverageCase{"Identical", 1000, 1000, 1000, 1000},
                                           AverageCase{"HalfRoundsUp", 1000, 1001, 1000.5, 1001},
                                           AverageCase{"Zero", 0, 0, 0, 0},
                                           // Unsigned: words above 32767 are not negative numbers.
                                           AverageCase{"AboveSignedRange", 40000, 40001, 40000.5,
                                                       40001},
                                           AverageCase{"Largest", 65535, 65535, 65535, 65535}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Averages, EachWordAveragedOnItsOwn) {
    const RawSeries series = SeriesOf([](int n, int k) { return uint16_t(100 * k + n); });
    const VipAverageSet averages = AverageRawWords(series);
    for (int k = 0; k < 9; ++k)
        EXPECT_DOUBLE_EQ(averages[k], 100 * k + 3.5) << k;
}

// ---- angle coefficients ----------------------------------------------------------------------

struct AngleCase {
    const char* name;
    double average;
    uint16_t coefficient;
};

class AngleCoefficients : public ::testing::TestWithParam<AngleCase> {};

TEST_P(AngleCoefficients, Table) {
    EXPECT_EQ(AngleCoefficient(GetParam().average), GetParam().coefficient);
}

INSTANTIATE_TEST_SUITE_P(Table, AngleCoefficients,
                         ::testing::Values(AngleCase{"Thousand", 1000, 583},
                                           AngleCase{"Zero", 0, 0},
                                           AngleCase{"Hundred", 100, 58},   // 58.25 + 0.5 -> 58
                                           AngleCase{"OneTwenty", 120, 70}, // 69.905 + 0.5 -> 70
                                           AngleCase{"ThousandOne", 1001, 583}), // 583.12 -> 583
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AngleCoefficients, ThirtyReadsAveragedPerPhase) {
    AngleSeries series{};
    for (int n = 0; n < 30; ++n)
        series[n] = {1000, uint16_t(n % 2 ? 121 : 119), 60000};
    const std::array<double, 3> averages = AverageAngles(series);
    EXPECT_DOUBLE_EQ(averages[0], 1000);
    EXPECT_DOUBLE_EQ(averages[1], 120);
    EXPECT_DOUBLE_EQ(averages[2], 60000);
}

// ---- power compensation ----------------------------------------------------------------------

// Rated 220 V x 5 A: raw power words equal to the VIP average measure Un x In x factor.
constexpr double kUn = 220;
constexpr double kIn = 5;

VipAverageSet VipOf(double power) {
    VipAverageSet v{};
    v.fill(20000);
    v[6] = v[7] = v[8] = power;
    return v;
}

struct CompensationCase {
    const char* name;
    int segment;
    double sourcePower;
    int16_t k1;
    int16_t k2;
};

class Compensation : public ::testing::TestWithParam<CompensationCase> {};

TEST_P(Compensation, K1K2OfEachPhase) {
    const CompensationCase& c = GetParam();
    const RawSeries series = SeriesOf([](int, int) { return uint16_t(20000); });
    const PowerCompensationResult r =
        ComputePowerCompensation(c.segment, series, VipOf(20000), kUn, kIn, c.sourcePower);
    ASSERT_TRUE(r.values.has_value()) << r.refusal.toStdString();
    for (int p = 0; p < 3; ++p) {
        EXPECT_EQ((*r.values)[p].k1, c.k1) << p;
        EXPECT_EQ((*r.values)[p].k2, c.k2) << p;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Compensation,
                         ::testing::Values(
                             // e = 0: theta is the tiny offset of the truncated 60-degree constant.
                             CompensationCase{"Segment1ExactPower", 1, 1100, 10000, 0},
                             // The module measures 1 % above the source: e = 0.01.
                             CompensationCase{"Segment1OnePercentHigh", 1, 1100 / 1.01, 10000, -58},
                             CompensationCase{"Segment1OnePercentLow", 1, 1100 / 0.99, 10000, 58},
                             // Segment 2 measures at half the rated power, segment 3 at a tenth.
                             CompensationCase{"Segment2Factor", 2, 550, 10000, 0},
                             CompensationCase{"Segment2OnePercentHigh", 2, 550 / 1.01, 10000, -58},
                             CompensationCase{"Segment3Factor", 3, 110, 10000, 0},
                             CompensationCase{"Segment3OnePercentHigh", 3, 110 / 1.01, 10000, -58}),
                         [](const auto& info) { return std::string(info.param.name); });

struct AngleKCase {
    const char* name;
    long double theta;
    int16_t k1;
    int16_t k2;
};

class CompensationRounding : public ::testing::TestWithParam<AngleKCase> {};

TEST_P(CompensationRounding, HalfAwayFromZero) {
    const PhaseCompensation k = CompensationForAngle(GetParam().theta);
    EXPECT_EQ(k.k1, GetParam().k1);
    EXPECT_EQ(k.k2, GetParam().k2);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CompensationRounding,
    ::testing::Values(AngleKCase{"Zero", 0, 10000, 0},
                      AngleKCase{"OnePercentHigh", std::acos(0.505L) - 1.0471975333333334L, 10000,
                                 -58},
                      // sin x 10000 = +-1.51 and 1.49: scaled sines round half away from zero.
                      AngleKCase{"AboveHalfUp", std::asin(0.000151L), 10000, 2},
                      AngleKCase{"BelowHalf", std::asin(0.000149L), 10000, 1},
                      AngleKCase{"AboveHalfDown", -std::asin(0.000151L), 10000, -2},
                      AngleKCase{"RightAngle", 1.5707963267948966L, 0, 10000}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefusalCase {
    const char* name;
    double vipPower;
    double sourcePower;
    QString (*text)();
};

class CompensationRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(CompensationRefusal, NoValuesAndAClearReason) {
    const RefusalCase& c = GetParam();
    const RawSeries series = SeriesOf([](int, int) { return uint16_t(20000); });
    const PowerCompensationResult r =
        ComputePowerCompensation(1, series, VipOf(c.vipPower), kUn, kIn, c.sourcePower);
    EXPECT_FALSE(r.values.has_value());
    EXPECT_EQ(r.refusal, c.text());
}

INSTANTIATE_TEST_SUITE_P(
    Table, CompensationRefusal,
    ::testing::Values(RefusalCase{"NoVipCalibration", 0, 1100, NoVipCalibrationText},
                      RefusalCase{"NoSourcePower", 20000, 0, NoSourcePowerText},
                      // Measured 1100 W against 500 W true: (e + 1) / 2 = 1.1.
                      RefusalCase{"RatioAboveTwo", 20000, 500, PowerRatioOutOfRangeText},
                      // A negative true power of the same size: (e + 1) / 2 = -1.1.
                      RefusalCase{"RatioBelowMinusTwo", 20000, -500, PowerRatioOutOfRangeText}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Compensation, RatioOfExactlyTwoStillComputes) {
    const RawSeries series = SeriesOf([](int, int) { return uint16_t(20000); });
    const PowerCompensationResult r =
        ComputePowerCompensation(1, series, VipOf(20000), kUn, kIn, 550);
    ASSERT_TRUE(r.values.has_value());
    // acos(1) - 60 degrees: cos 0.5, sin -0.866.
    EXPECT_EQ((*r.values)[0].k1, 5000);
    EXPECT_EQ((*r.values)[0].k2, -8660);
}

// ---- registers -------------------------------------------------------------------------------

struct RegisterCase {
    int segment;
    uint16_t base, power50, power60, angle50, angle60;
    double factor;
};

class SegmentRegisters : public ::testing::TestWithParam<RegisterCase> {};

TEST_P(SegmentRegisters, Table) {
    const RegisterCase& c = GetParam();
    EXPECT_EQ(SegmentBase(c.segment), c.base);
    EXPECT_EQ(PowerCompensationRegister(c.segment, false), c.power50);
    EXPECT_EQ(PowerCompensationRegister(c.segment, true), c.power60);
    EXPECT_EQ(AngleCoefficientRegister(c.segment, false), c.angle50);
    EXPECT_EQ(AngleCoefficientRegister(c.segment, true), c.angle60);
    EXPECT_DOUBLE_EQ(SegmentFactor(c.segment), c.factor);
}

INSTANTIATE_TEST_SUITE_P(Table, SegmentRegisters,
                         ::testing::Values(RegisterCase{1, 12000, 12009, 12015, 12021, 12024, 1},
                                           RegisterCase{2, 12100, 12109, 12115, 12121, 12124, 0.5},
                                           RegisterCase{3, 12200, 12209, 12215, 12221, 12224,
                                                        0.1}));

// ---- steps on a scripted line ----------------------------------------------------------------

class Steps : public ::testing::Test {
protected:
    void SetUp() override {
        module.Set(10000, {20000, 20001, 20002, 30000, 30001, 30002, 40000, 40001, 40002});
        module.Set(10009, {1000, 1000, 1000});
    }
    CalibrationLog log() {
        return [this](const QString& line) { lines << line; };
    }
    std::vector<uint16_t> Words(uint16_t first, int count) const {
        return module.Get(first, count);
    }

    ScriptedLink link;
    CalibrationFakeModule module{link};
    CalibrationState state;
    QStringList lines;
};

QStringList RawBlock(int n, const QStringList& rows) {
    return QStringList{QStringLiteral("第%1次读原始AD采集数据为：").arg(n)} + rows +
           QStringList{QString()};
}

TEST_F(Steps, VipSegment1WritesFlagNeutralAndData) {
    module.Set(12009, std::vector<uint16_t>(12, 7));
    ASSERT_TRUE(RunVipCalibration(link, 1, 1, state, log()));
    EXPECT_EQ(Words(13000, 1), std::vector<uint16_t>{0xAA55});
    EXPECT_EQ(Words(12009, 12),
              (std::vector<uint16_t>{10000, 10000, 10000, 0, 0, 0, 10000, 10000, 10000, 0, 0, 0}));
    EXPECT_EQ(Words(12000, 9), (std::vector<uint16_t>{20000, 20001, 20002, 30000, 30001, 30002,
                                                      40000, 40001, 40002}));
    QStringList expected;
    for (int n = 1; n <= 8; ++n)
        expected += RawBlock(
            n, {"20000    20001    20002", "30000    30001    30002", "40000    40001    40002"});
    expected << "8次平均数据为："
             << "20000    20001    20002"
             << "30000    30001    30002"
             << "40000    40001    40002" << QString() << "写 1 段VIP标定数据成功!" << QString();
    EXPECT_EQ(lines, expected);
}

TEST_F(Steps, VipSegment2LeavesTheFlagAndUsesItsOwnBase) {
    module.Set(13000, {0});
    ASSERT_TRUE(RunVipCalibration(link, 1, 2, state, log()));
    EXPECT_EQ(Words(13000, 1), std::vector<uint16_t>{0});
    EXPECT_EQ(Words(12100, 9)[0], 20000);
    EXPECT_EQ(Words(12109, 12)[6], 10000);
    EXPECT_EQ(Words(12000, 1)[0], 0); // segment 1 untouched
    EXPECT_EQ(lines.at(lines.size() - 2), QStringLiteral("写 2 段VIP标定数据成功!"));
}

TEST_F(Steps, AlternatingReadsGiveRoundedUpData) {
    int reads = 0;
    module.beforeRead = [&](uint16_t first, uint16_t) {
        if (first == 10000) module.Set(10000, std::vector<uint16_t>(9, reads++ % 2 ? 1001 : 1000));
    };
    ASSERT_TRUE(RunVipCalibration(link, 1, 3, state, log()));
    EXPECT_DOUBLE_EQ(state.VipAverages[0], 1000.5);
    EXPECT_EQ(Words(12200, 9), std::vector<uint16_t>(9, 1001));
    EXPECT_TRUE(lines.contains(QStringLiteral("1000.5    1000.5    1000.5")));
}

struct VipFailureCase {
    const char* name;
    int segment;
    int silentAt; // request number without answer
    int shortAt;
    QString lastLine;
    int rawBlocks; // complete raw read blocks logged before
};

class VipFailures : public Steps, public ::testing::WithParamInterface<VipFailureCase> {};

TEST_P(VipFailures, StopAtTheFailingStep) {
    const VipFailureCase& c = GetParam();
    module.silentAt = c.silentAt;
    module.shortAt = c.shortAt;
    state.VipAverages.fill(3);
    EXPECT_FALSE(RunVipCalibration(link, 1, c.segment, state, log()));
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.last(), c.lastLine);
    EXPECT_EQ(lines.filter(QStringLiteral("读原始AD采集数据为：")).size(), c.rawBlocks);
    EXPECT_EQ(lines.size(), c.rawBlocks * 5 + 1);
    // The averages change only when the series is complete.
    if (c.lastLine.contains(QStringLiteral("原始"))) {
        EXPECT_DOUBLE_EQ(state.VipAverages[0], 3);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, VipFailures,
    ::testing::Values(
        VipFailureCase{"Flag", 1, 1, 0, QStringLiteral("设置标定状态失败!!"), 0},
        VipFailureCase{"Neutral", 1, 2, 0, QStringLiteral("初始功率校正系数失败!!"), 0},
        VipFailureCase{"NeutralSegment2", 2, 1, 0, QStringLiteral("初始功率校正系数失败!!"), 0},
        VipFailureCase{"FifthRead", 1, 7, 0, QStringLiteral("第5次读原始AD采集数据失败"), 4},
        VipFailureCase{"ShortFirstRead", 1, 0, 3, QStringLiteral("第1次读原始AD采集数据失败"), 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Steps, VipDataWriteFailureKeepsTheAverages) {
    module.silentAt = 11; // flag, neutral, eight reads, then the data
    EXPECT_FALSE(RunVipCalibration(link, 1, 1, state, log()));
    EXPECT_EQ(lines.last(), QStringLiteral("写 1 段VIP标定数据失败!!"));
    EXPECT_DOUBLE_EQ(state.VipAverages[6], 40000);
}

TEST_F(Steps, AnglePhaseCompensationWritesTheFrequencysRegister) {
    ASSERT_TRUE(RunAnglePhaseCompensation(link, 1, 1, true, state, log()));
    EXPECT_EQ(Words(12024, 3), (std::vector<uint16_t>{583, 583, 583}));
    EXPECT_EQ(Words(12021, 3), (std::vector<uint16_t>{0, 0, 0}));
    ASSERT_EQ(lines.size(), 30 * 3 + 7);
    EXPECT_EQ(lines[0], QStringLiteral("第1次读原始AD采集数据为："));
    EXPECT_EQ(lines[1], QStringLiteral("1000    1000    1000"));
    EXPECT_EQ(lines.mid(90),
              (QStringList{"30次平均数据为：", "1000    1000    1000", "角差标定系数为：",
                           "583    583    583", QString(), "写角差标定系数数据成功", QString()}));
}

TEST_F(Steps, AngleReadFailureNamesTheRead) {
    module.silentAt = 12;
    EXPECT_FALSE(RunAnglePhaseCompensation(link, 1, 1, false, state, log()));
    EXPECT_EQ(lines.last(), QStringLiteral("第12次读电压角差原始AD采集数据失败"));
    EXPECT_EQ(link.ExchangeCount(), 12u);
}

TEST_F(Steps, AngleWriteFailure) {
    module.silentAt = 31;
    EXPECT_FALSE(RunAnglePhaseCompensation(link, 1, 1, false, state, log()));
    EXPECT_EQ(lines.last(), QStringLiteral("写角差标定系数数据失败"));
}

TEST_F(Steps, ResetPowerCompensationLines) {
    module.Set(12115, std::vector<uint16_t>(6, 1));
    EXPECT_TRUE(ResetPowerCompensation(link, 1, 2, true, log()));
    EXPECT_EQ(Words(12115, 6), (std::vector<uint16_t>{10000, 10000, 10000, 0, 0, 0}));
    module.silentAt = 2;
    EXPECT_FALSE(ResetPowerCompensation(link, 1, 1, false, log()));
    EXPECT_EQ(lines, (QStringList{"初始60HZ功率校正系数完成!", "初始50HZ功率校正系数失败!!"}));
}

TEST_F(Steps, PowerCompensationThreePasses) {
    // Raw power 20000 on every phase, VIP average 20000: the module measures Un x In.
    module.Set(10006, {20000, 20000, 20000});
    state.VipAverages = VipOf(20000);
    state.SourceActivePower = 1100 / 1.01;
    ASSERT_TRUE(RunPowerCompensation(link, 1, 1, false, kUn, kIn, state, log()));
    EXPECT_EQ(Words(12009, 6), (std::vector<uint16_t>{10000, 10000, 10000, uint16_t(-58),
                                                      uint16_t(-58), uint16_t(-58)}));
    EXPECT_EQ(lines.filter(QStringLiteral("次补偿；")).size(), 3);
    EXPECT_EQ(lines.filter(QStringLiteral("读原始AD采集数据为：")).size(), 24);
    EXPECT_EQ(lines.filter(QStringLiteral("写相位补偿系数成功 K2:-58 -58 -58")).size(), 3);
    EXPECT_EQ(lines.first(), QStringLiteral("第1次补偿；"));
    // Each pass: header, empty, 8 x 5 read lines, K1, K2, empty, two empties.
    EXPECT_EQ(lines.size(), 3 * (2 + 40 + 3 + 2));
    EXPECT_EQ(state.PowerCompensation[1], (PhaseCompensation{10000, -58}));
}

TEST_F(Steps, PowerCompensationRefusedBeforeAnyRequest) {
    state.SourceActivePower = 1100;
    EXPECT_FALSE(RunPowerCompensation(link, 1, 1, false, kUn, kIn, state, log()));
    EXPECT_EQ(lines, QStringList{NoVipCalibrationText()});
    EXPECT_EQ(link.ExchangeCount(), 0u);
    state.VipAverages = VipOf(20000);
    state.SourceActivePower = 0;
    lines.clear();
    EXPECT_FALSE(RunPowerCompensation(link, 1, 1, false, kUn, kIn, state, log()));
    EXPECT_EQ(lines, QStringList{NoSourcePowerText()});
    EXPECT_EQ(link.ExchangeCount(), 0u);
}

TEST_F(Steps, PowerCompensationOutOfRangeWritesNothing) {
    module.Set(10006, {20000, 20000, 20000});
    module.Set(12009, {1, 2, 3, 4, 5, 6});
    state.VipAverages = VipOf(20000);
    state.SourceActivePower = 100; // measured 11 times the true power
    EXPECT_FALSE(RunPowerCompensation(link, 1, 1, false, kUn, kIn, state, log()));
    EXPECT_EQ(lines.last(), PowerRatioOutOfRangeText());
    EXPECT_EQ(Words(12009, 6), (std::vector<uint16_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(link.ExchangeCount(), 8u);
}

TEST_F(Steps, PowerCompensationStopsAtAFailedPass) {
    module.Set(10006, {20000, 20000, 20000});
    state.VipAverages = VipOf(20000);
    state.SourceActivePower = 1100;
    module.silentAt = 18; // second pass: eight reads and a write, then the ninth request of pass 2
    EXPECT_FALSE(RunPowerCompensation(link, 1, 1, true, kUn, kIn, state, log()));
    EXPECT_EQ(lines.last(), QStringLiteral("写相位补偿系数失败"));
    EXPECT_EQ(lines.filter(QStringLiteral("次补偿；")).size(), 2);
    EXPECT_EQ(Words(12015, 1)[0], 10000); // the first pass's write stays
}

TEST_F(Steps, FlashWriteClearsTheFlagAndCommands) {
    module.Set(13000, {0xAA55, 0});
    EXPECT_TRUE(WriteCalibrationFlash(link, 1, log()));
    EXPECT_EQ(Words(13000, 2), (std::vector<uint16_t>{0, 0xAA55}));
    module.silentAt = 2;
    EXPECT_FALSE(WriteCalibrationFlash(link, 1, log()));
    EXPECT_EQ(lines, (QStringList{"写标定FLASH 成功!!", "写标定FLASH 失败!!"}));
    // One 0x40 request of two words at 13000.
    const std::vector<uint8_t> request = link.Exchanges()[0].request;
    EXPECT_EQ(request, BuildWriteRegistersRequest(1, kFcWriteCalibration, 13000, 2,
                                                  std::vector<uint16_t>{0, 0xAA55}));
}

} // namespace
