// The verdict of a unit: taken once the readings have settled, from the quantities of the last
// settled cycle, and the record's share of it.

#include "acquire/verdict.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

AcquiredRow Checked(const char* name, const char* quantity, double measured, bool failed) {
    AcquiredRow row(QString::fromUtf8(name), QString::number(measured), failed);
    row.quantity = QString::fromUtf8(quantity);
    row.check = {true, 220, measured, std::fabs(measured - 220) / 220 * 100, 0.201, failed};
    row.unit = QStringLiteral("V");
    return row;
}

const QList<AcquiredRow> kGood{Checked("A相电压", "Ua", 220.1, false),
                               AcquiredRow(QStringLiteral("状态字"), QStringLiteral("正常")),
                               Checked("B相电压", "Ub", 220.0, false)};
const QList<AcquiredRow> kOneBad{Checked("A相电压", "Ua", 225.0, true),
                                 AcquiredRow(QStringLiteral("状态字"), QStringLiteral("正常")),
                                 Checked("B相电压", "Ub", 220.0, false)};

// Cycles as answered (true) or failed (false), and what the verdict is after them.
struct SettleCase {
    const char* name;
    std::vector<bool> answered;
    bool settled;
    int goodCycles;
};

class Settling : public ::testing::TestWithParam<SettleCase> {};

TEST_P(Settling, NeedsConsecutiveAnsweredCycles) {
    const SettleCase& c = GetParam();
    SettledVerdict v(3);
    for (bool answered : c.answered)
        v.CycleEnded(!answered, kGood);
    EXPECT_EQ(v.settled(), c.settled);
    EXPECT_EQ(v.goodCycles(), c.goodCycles);
    EXPECT_EQ(v.verdict(), c.settled ? Verdict::Pass : Verdict::None);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Settling,
    ::testing::Values(SettleCase{"TwoAreNotEnough", {true, true}, false, 2},
                      SettleCase{"ThreeSettle", {true, true, true}, true, 3},
                      SettleCase{"AFailureStartsAgain", {true, true, false, true, true}, false, 2},
                      SettleCase{"SettledStaysAfterAFailure", {true, true, true, false}, true, 0},
                      SettleCase{"NothingAnswered", {false, false, false, false}, false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Verdict, ListsCheckedAndRedRowsOfTheLastSettledCycle) {
    SettledVerdict v(2);
    v.CycleEnded(false, kGood);
    v.CycleEnded(false, kOneBad);
    ASSERT_TRUE(v.settled());
    EXPECT_EQ(v.verdict(), Verdict::Fail);
    EXPECT_EQ(v.failures(), 1);
    ASSERT_EQ(v.lines().size(), 2); // the unchecked status row is no line
    EXPECT_EQ(v.lines()[0].quantity, QStringLiteral("Ua"));
    EXPECT_TRUE(v.lines()[0].failed);
    EXPECT_DOUBLE_EQ(v.lines()[0].check.measured, 225.0);
    // A later good cycle renews the verdict.
    v.CycleEnded(false, kGood);
    EXPECT_EQ(v.verdict(), Verdict::Pass);
    // A new test point settles afresh.
    v.Reset();
    EXPECT_FALSE(v.settled());
    EXPECT_TRUE(v.lines().isEmpty());
}

TEST(Verdict, ARedValueThatNamesNoQuantityStillFails) {
    SettledVerdict v(1);
    v.CycleEnded(false, {AcquiredRow(QStringLiteral("A相电压"), QStringLiteral("解析错误"), true)});
    EXPECT_EQ(v.verdict(), Verdict::Fail);
    ASSERT_EQ(v.lines().size(), 1);
    EXPECT_FALSE(v.lines()[0].check.checked);
}

TEST(VerdictRecord, PointsAddUpToTheUnitsVerdict) {
    UnitRecord record;
    SettledVerdict pass(1);
    pass.CycleEnded(false, kGood);
    AddPointToRecord(record, {1, 1, 0, 50}, pass);
    EXPECT_EQ(record.verdict, Verdict::Pass);
    ASSERT_EQ(record.points.size(), 1);
    EXPECT_EQ(record.points[0].voltagePercent, 100);
    EXPECT_EQ(record.quantities.size(), 2);

    SettledVerdict fail(1);
    fail.CycleEnded(false, kOneBad);
    AddPointToRecord(record, {0.5, 1, 60, 50}, fail);
    EXPECT_EQ(record.verdict, Verdict::Fail);
    EXPECT_EQ(record.failures, 1);
    ASSERT_EQ(record.points.size(), 2);
    EXPECT_EQ(record.points[1].index, 1);
    EXPECT_EQ(record.quantities.size(), 4);
    EXPECT_EQ(record.quantities[2].point, 1);
    EXPECT_FALSE(record.quantities[2].passed);

    // A point that never answered keeps a passing unit from passing.
    UnitRecord silent;
    AddPointToRecord(silent, {1, 1, 0, 50}, pass);
    SettledVerdict none(3);
    none.CycleEnded(true, {});
    AddPointToRecord(silent, {1, 1, 0, 50}, none);
    EXPECT_EQ(silent.points[1].verdict, Verdict::NotAnswering);
    EXPECT_EQ(silent.verdict, Verdict::NotAnswering);
}

} // namespace
