#include "acquire/check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

enum class Kind { Engineering, Code };

struct CheckCase {
    const char* label;
    Kind kind;
    const char* quantity;
    double x;
    TestPoint point;
    CheckSettings settings;
    bool failed;
};

CheckSettings Classes(double jdf, double jdu, double jdi, double jdc, double jdp, double jdq,
                      double jds) {
    return {220, 5, jdf, jdu, jdi, jdc, jdp, jdq, jds};
}

const CheckSettings kDefault{};

CheckSettings WithJdp(double jdp) {
    CheckSettings s;
    s.jdp = jdp;
    return s;
}
CheckSettings WithJdu(double jdu) {
    CheckSettings s;
    s.jdu = jdu;
    return s;
}
CheckSettings WithJdc(double jdc) {
    CheckSettings s;
    s.jdc = jdc;
    return s;
}
CheckSettings Rated(double u, double i) {
    CheckSettings s;
    s.u = u;
    s.i = i;
    return s;
}

std::ostream& operator<<(std::ostream& os, const CheckCase& c) {
    return os << c.label;
}

class CheckTable : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckTable, JudgesTheReading) {
    const CheckCase& c = GetParam();
    const QString q = QString::fromUtf8(c.quantity);
    const bool failed = c.kind == Kind::Engineering
                            ? CheckEngineeringValue(q, c.x, c.settings, c.point)
                            : CheckCodeValue(q, c.x, c.settings, c.point);
    EXPECT_EQ(failed, c.failed);
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Examples, CheckTable,
    ::testing::Values(
        // Pa at 100 %, 100 %, 60 deg: E = 550.000017, err of 551.0 is 0.0909.
        CheckCase{"Pa_551_passes_class_0_5",
                  Kind::Engineering,
                  "Pa",
                  551.0,
                  {1, 1, 60, 50},
                  WithJdp(0.5),
                  false},
        CheckCase{"Pa_551_fails_class_0_05",
                  Kind::Engineering,
                  "Pa",
                  551.0,
                  {1, 1, 60, 50},
                  WithJdp(0.05),
                  true},
        CheckCase{"Pb_551_passes_limit_just_above_err",
                  Kind::Engineering,
                  "Pb",
                  551.0,
                  {1, 1, 60, 50},
                  WithJdp(0.0900),
                  false},
        CheckCase{"Pc_551_fails_limit_just_below_err",
                  Kind::Engineering,
                  "Pc",
                  551.0,
                  {1, 1, 60, 50},
                  WithJdp(0.0895),
                  true},
        // P total at 100 %, 50 %, 60 deg: E*k = 825.0000255 over 3300, err of 830.0 is 0.1515.
        CheckCase{"Ptotal_830_fails_class_0_15",
                  Kind::Engineering,
                  "P总",
                  830.0,
                  {1, 0.5, 60, 50},
                  WithJdp(0.15),
                  true},
        CheckCase{"Ptotal_830_passes_class_0_151",
                  Kind::Engineering,
                  "P总",
                  830.0,
                  {1, 0.5, 60, 50},
                  WithJdp(0.151),
                  false},
        // Codes, Ua at 100 %: 10012 has err 0.12.
        CheckCase{
            "code_Ua_10012_fails_0_1", Kind::Code, "Ua", 10012, {1, 1, 0, 50}, WithJdu(0.1), true},
        CheckCase{"code_Ua_10012_passes_0_2",
                  Kind::Code,
                  "Ua",
                  10012,
                  {1, 1, 0, 50},
                  WithJdu(0.2),
                  false},
        // Power factor at 330 deg: E = 30, 0.866 is 30.0029 deg, err 0.0032.
        CheckCase{"Ca_330_0866_passes",
                  Kind::Engineering,
                  "Ca",
                  0.866,
                  {1, 1, 330, 50},
                  WithJdc(0.003),
                  false},
        CheckCase{"Ca_330_0866_fails_tight",
                  Kind::Engineering,
                  "Ca",
                  0.866,
                  {1, 1, 330, 50},
                  WithJdc(0.002),
                  true},
        CheckCase{"code_Cb_330_0866_passes",
                  Kind::Code,
                  "Cb",
                  0.866,
                  {1, 1, 330, 50},
                  WithJdc(0.003),
                  false},
        // 90 deg is not folded; 300 deg and 60 deg expect the same angle.
        CheckCase{
            "Cc_90_pf0_passes", Kind::Engineering, "Cc", 0.0, {1, 1, 90, 50}, kDefault, false},
        CheckCase{"Ctotal_300_pf05_passes",
                  Kind::Engineering,
                  "C总",
                  0.5,
                  {1, 1, 300, 50},
                  kDefault,
                  false},
        CheckCase{"Ctotal_60_pf05_passes",
                  Kind::Engineering,
                  "C总",
                  0.5,
                  {1, 1, 60, 50},
                  kDefault,
                  false},
        CheckCase{
            "Ctotal_30_pf05_fails", Kind::Engineering, "C总", 0.5, {1, 1, 30, 50}, kDefault, true},
        // Voltage at 0 %: checked against zero, err = |x| / 220 * 100.
        CheckCase{
            "Ua_0pct_0_2V_passes", Kind::Engineering, "Ua", 0.2, {0, 1, 0, 50}, kDefault, false},
        CheckCase{
            "Ub_0pct_0_5V_fails", Kind::Engineering, "Ub", 0.5, {0, 1, 0, 50}, kDefault, true},
        // Reactive power at 300 deg: only magnitudes count.
        CheckCase{"Qa_300_negative_passes",
                  Kind::Engineering,
                  "Qa",
                  -952.63,
                  {1, 1, 300, 50},
                  kDefault,
                  false},
        CheckCase{"Qa_300_positive_passes",
                  Kind::Engineering,
                  "Qa",
                  952.63,
                  {1, 1, 300, 50},
                  kDefault,
                  false},
        CheckCase{"Qtotal_300_wrong_value_fails",
                  Kind::Engineering,
                  "Q总",
                  2800,
                  {1, 1, 300, 50},
                  kDefault,
                  true},
        CheckCase{"code_Qb_330_negative_passes",
                  Kind::Code,
                  "Qb",
                  -5000,
                  {1, 1, 330, 50},
                  kDefault,
                  false},
        // Apparent power, currents and line voltages.
        CheckCase{
            "Stotal_full_passes", Kind::Engineering, "S总", 3300, {1, 1, 0, 50}, kDefault, false},
        CheckCase{"Sa_half_current_wrong_fails",
                  Kind::Engineering,
                  "Sa",
                  1100,
                  {1, 0.5, 0, 50},
                  kDefault,
                  true},
        CheckCase{
            "Ia_120pct_passes", Kind::Engineering, "Ia", 6.0, {1, 1.2, 0, 50}, kDefault, false},
        CheckCase{"Ic_1pct_fails_at_rated",
                  Kind::Engineering,
                  "Ic",
                  5.0,
                  {1, 0.01, 0, 50},
                  kDefault,
                  true},
        CheckCase{
            "Uab_rated_passes", Kind::Engineering, "Uab", 381.05, {1, 1, 0, 50}, kDefault, false},
        CheckCase{
            "Uca_phase_value_fails", Kind::Engineering, "Uca", 220, {1, 1, 0, 50}, kDefault, true},
        CheckCase{
            "code_Ubc_rated_passes", Kind::Code, "Ubc", 17320, {1, 1, 0, 50}, kDefault, false},
        CheckCase{"code_Ubc_10000_fails", Kind::Code, "Ubc", 10000, {1, 1, 0, 50}, kDefault, true},
        CheckCase{
            "code_Ptotal_no_factor_3", Kind::Code, "P总", 10000, {1, 1, 0, 50}, kDefault, false},
        CheckCase{"code_Sa_half_voltage", Kind::Code, "Sa", 5000, {0.5, 1, 0, 50}, kDefault, false},
        // Frequency: inclusive band f +- JDF, no margin.
        CheckCase{"F_50_01_passes", Kind::Engineering, "F", 50.01, {1, 1, 0, 50}, kDefault, false},
        CheckCase{"F_49_99_passes", Kind::Engineering, "F", 49.99, {1, 1, 0, 50}, kDefault, false},
        CheckCase{"F_50_03_fails", Kind::Engineering, "F", 50.03, {1, 1, 0, 50}, kDefault, true},
        CheckCase{"F_49_97_fails", Kind::Code, "F", 49.97, {1, 1, 0, 50}, kDefault, true},
        CheckCase{"F_band_edge_passes",
                  Kind::Engineering,
                  "F",
                  50.0 + 0.25,
                  {1, 1, 0, 50},
                  Classes(0.25, 0.2, 0.2, 0.5, 0.5, 0.5, 0.5),
                  false},
        // Unknown and empty quantities pass whatever the reading.
        CheckCase{"unknown_passes", Kind::Engineering, "Xyz", 1e9, {1, 1, 0, 50}, kDefault, false},
        CheckCase{"empty_passes", Kind::Code, "", -1e9, {1, 1, 0, 50}, kDefault, false},
        // A rated value of zero cannot be judged: failed, never a silent pass.
        CheckCase{"zero_Un_Ua_fails", Kind::Engineering, "Ua", 0, {1, 1, 0, 50}, Rated(0, 5), true},
        CheckCase{
            "zero_Un_Uab_fails", Kind::Engineering, "Uab", 0, {1, 1, 0, 50}, Rated(0, 5), true},
        CheckCase{
            "zero_In_Ia_fails", Kind::Engineering, "Ia", 0, {1, 1, 0, 50}, Rated(220, 0), true},
        CheckCase{
            "zero_In_Pa_fails", Kind::Engineering, "Pa", 0, {1, 1, 0, 50}, Rated(220, 0), true},
        CheckCase{
            "zero_Un_Stotal_fails", Kind::Engineering, "S总", 0, {1, 1, 0, 50}, Rated(0, 5), true},
        CheckCase{"zero_rated_code_unaffected",
                  Kind::Code,
                  "Ua",
                  10000,
                  {1, 1, 0, 50},
                  Rated(0, 0),
                  false},
        // Readings that are no number, or a power factor beyond 1, fail.
        CheckCase{"nan_Ua_fails", Kind::Engineering, "Ua", kNaN, {1, 1, 0, 50}, kDefault, true},
        CheckCase{"nan_F_fails", Kind::Engineering, "F", kNaN, {1, 1, 0, 50}, kDefault, true},
        CheckCase{
            "pf_above_one_fails", Kind::Engineering, "Ca", 1.2, {1, 1, 0, 50}, kDefault, true}),
    [](const ::testing::TestParamInfo<CheckCase>& info) { return std::string(info.param.label); });

// The comparison is strict: an error equal to the limit passes.
TEST(CheckStrictness, ErrorEqualToLimitPasses) {
    // Codes "Ua": err = |x - 10000| / 10000 * 100; 10050 gives 0.5.
    const double err = std::fabs(10050.0 - 10000.0) / 10000 * 100;
    CheckSettings s;
    s.jdu = 0.499;
    ASSERT_EQ(err, s.jdu + 0.001) << "the limit must be exactly representable for this test";
    EXPECT_FALSE(CheckCodeValue(QStringLiteral("Ua"), 10050, s, {1, 1, 0, 50}));
    EXPECT_TRUE(CheckCodeValue(QStringLiteral("Ua"), 10050.01, s, {1, 1, 0, 50}));
}

} // namespace

namespace {

// The figures behind a verdict, as the panel and the record show them: the worked examples of the
// module's test procedure.
struct FigureCase {
    const char* label;
    Kind kind;
    const char* quantity;
    double x;
    TestPoint point;
    CheckSettings settings;
    QuantityCheck expected; // error compared to 1e-4
};

class CheckFigures : public ::testing::TestWithParam<FigureCase> {};

TEST_P(CheckFigures, CarryExpectationErrorAndLimit) {
    const FigureCase& c = GetParam();
    const QString q = QString::fromUtf8(c.quantity);
    const QuantityCheck got = c.kind == Kind::Engineering
                                  ? EvaluateEngineeringValue(q, c.x, c.settings, c.point)
                                  : EvaluateCodeValue(q, c.x, c.settings, c.point);
    EXPECT_EQ(got.checked, c.expected.checked);
    EXPECT_NEAR(got.expected, c.expected.expected, 1e-6);
    EXPECT_NEAR(got.measured, c.expected.measured, 1e-4);
    EXPECT_NEAR(got.error, c.expected.error, 1e-4);
    EXPECT_NEAR(got.limit, c.expected.limit, 1e-9);
    EXPECT_EQ(got.failed, c.expected.failed);
    // The plain check says the same.
    const bool failed = c.kind == Kind::Engineering
                            ? CheckEngineeringValue(q, c.x, c.settings, c.point)
                            : CheckCodeValue(q, c.x, c.settings, c.point);
    EXPECT_EQ(failed, got.failed);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, CheckFigures,
    ::testing::Values(FigureCase{"Pa_551",
                                 Kind::Engineering,
                                 "Pa",
                                 551.0,
                                 {1, 1, 60, 50},
                                 WithJdp(0.5),
                                 {true, 550.000017, 551.0, 0.0909, 0.501, false}},
                      FigureCase{"Ptotal_830_half_current",
                                 Kind::Engineering,
                                 "P总",
                                 830.0,
                                 {1, 0.5, 60, 50},
                                 kDefault,
                                 {true, 825.0000255, 830.0, 0.1515, 0.501, false}},
                      FigureCase{"Ua_code_10012_class_0_1",
                                 Kind::Code,
                                 "Ua",
                                 10012,
                                 {1, 1, 0, 50},
                                 WithJdu(0.1),
                                 {true, 10000, 10012, 0.12, 0.101, true}},
                      FigureCase{"Ca_at_330_degrees",
                                 Kind::Engineering,
                                 "Ca",
                                 0.866,
                                 {1, 1, 330, 50},
                                 kDefault,
                                 {true, 30, 30.0029, 0.0032, 0.501, false}},
                      FigureCase{"F_50_03_outside_tolerance",
                                 Kind::Engineering,
                                 "F",
                                 50.03,
                                 {1, 1, 0, 50},
                                 kDefault,
                                 {true, 50, 50.03, 0.03, 0.02, true}},
                      FigureCase{"Unknown_quantity_not_checked",
                                 Kind::Engineering,
                                 "X",
                                 1.0,
                                 {1, 1, 0, 50},
                                 kDefault,
                                 {false, 0, 0, 0, 0, false}}),
    [](const auto& info) { return std::string(info.param.label); });

} // namespace
