// The read-back of a configuration download and the backup and restore of the calibration area,
// without a window: register runs and record lines, the field-by-field comparison as a table of
// words the module did not keep, and the reads and writes each operation sends on a scripted line.

#include "calib/calibration_backup.h"
#include "calib/download_check.h"
#include "calib/register_words.h"
#include "link/modbus_frames.h"
#include "scripted_link.h"

#include "calibration_fake_module.h"

#include <gtest/gtest.h>

namespace {

// Function code, first register and count of every request sent.
struct Request {
    uint8_t function;
    uint16_t first;
    uint16_t count;
    bool operator==(const Request&) const = default;
};
void PrintTo(const Request& r, std::ostream* os) {
    *os << "fc " << int(r.function) << " at " << r.first << " x" << r.count;
}

std::vector<Request> RequestsOf(const ScriptedLink& link) {
    std::vector<Request> requests;
    for (const ScriptedLink::Exchange& e : link.Exchanges())
        requests.push_back({e.request.at(1), uint16_t(e.request.at(2) << 8 | e.request.at(3)),
                            uint16_t(e.request.at(4) << 8 | e.request.at(5))});
    return requests;
}

RegisterWords Words(uint16_t first, const std::vector<uint16_t>& words) {
    RegisterWords out;
    AddWords(out, first, words);
    return out;
}

// ---- register runs and record lines ------------------------------------------------------------

TEST(RegisterWords, RunsSplitAtGapsAndAtTheLongestBlock) {
    RegisterWords words = Words(10, {1, 2, 3});
    AddWords(words, 20, {4, 5, 6, 7, 8});
    const std::vector<WordRun> runs = RunsOf(words, 3);
    EXPECT_EQ(runs, (std::vector<WordRun>{{10, {1, 2, 3}}, {20, {4, 5, 6}}, {23, {7, 8}}}));
    EXPECT_TRUE(RunsOf({}, 3).empty());
}

TEST(RegisterWords, LinesComeBackAsTheWordsTheyCarry) {
    const RegisterWords words = Words(11002, {575, 0, 65535});
    const QString lines = WordLines(QStringLiteral("backup."), words);
    EXPECT_EQ(lines, QStringLiteral("backup.11002=575\nbackup.11003=0\nbackup.11004=65535\n"));
    // Other lines of a record, and lines that are not a register and a word, are not part of it.
    const QString record = QStringLiteral("written.260=9\n") + lines +
                           QStringLiteral("backup.x=1\nbackup.12000=70000\nbackup.12001\n");
    EXPECT_EQ(WordsFromLines(QStringLiteral("backup."), record), words);
    EXPECT_TRUE(BackupFromDetails(QStringLiteral("written.260=9\n")).empty());
    EXPECT_EQ(BackupFromDetails(BackupDetails(words)), words);
}

TEST(RegisterWords, DifferencesNameTheRegisterAndBothWords) {
    const RegisterWords expected = Words(12000, {1, 2, 3});
    RegisterWords actual = Words(12000, {1, 9});
    const std::vector<WordDifference> d = CompareWords(expected, actual);
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(DifferenceLine(d[0]), QStringLiteral("写入 12001=2 读回 9"));
    EXPECT_EQ(DifferenceLine(d[1]), QStringLiteral("写入 12002=3 读回 无"));
    EXPECT_TRUE(CompareWords(expected, expected).empty());
}

// ---- the download's comparison -----------------------------------------------------------------

const std::vector<DownloadField> kFields{
    {QStringLiteral("时段1时"), 260, FieldPart::HighByte},
    {QStringLiteral("时段1分"), 260, FieldPart::LowByte},
    {QStringLiteral("启动电流"), 272, FieldPart::Word},
    {QStringLiteral("过压限值"), 279, FieldPart::Tenths},
    {QStringLiteral("产品序列号1"), 11008, FieldPart::Hex},
    {QStringLiteral("电压额定值"), 11002, FieldPart::Rated32, 10},
};

RegisterWords Written() {
    RegisterWords w = Words(260, {7 << 8 | 30});
    AddWords(w, 272, {10});
    AddWords(w, 278, {0, 1250});
    AddWords(w, 11002, {2200, 0});
    AddWords(w, 11008, {0x1306});
    return w;
}

struct CompareCase {
    const char* name;
    uint16_t reg;  // the register the module did not keep
    uint16_t held; // what it holds instead
    std::vector<QString> lines;
};

void PrintTo(const CompareCase& c, std::ostream* os) {
    *os << c.name;
}

class DownloadComparison : public ::testing::TestWithParam<CompareCase> {};

TEST_P(DownloadComparison, ReportsTheFieldTheModuleDidNotKeep) {
    const CompareCase& c = GetParam();
    RegisterWords held = Written();
    held[c.reg] = c.held;
    std::vector<QString> lines;
    for (const FieldDifference& d : CompareDownload(kFields, Written(), held))
        lines.push_back(DifferenceLine(d));
    EXPECT_EQ(lines, c.lines);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DownloadComparison,
    ::testing::Values(
        CompareCase{"Word", 272, 7, {QStringLiteral("写入 启动电流=10 读回 7")}},
        // Only the byte that differs: the hour stayed.
        CompareCase{"LowByte", 260, 7 << 8 | 31, {QStringLiteral("写入 时段1分=30 读回 31")}},
        CompareCase{
            "BothBytes",
            260,
            8 << 8 | 31,
            {QStringLiteral("写入 时段1时=7 读回 8"), QStringLiteral("写入 时段1分=30 读回 31")}},
        // The page would show both as 125; the words still differ.
        CompareCase{"Tenths", 279, 1251, {QStringLiteral("写入 过压限值=125 读回 125.1")}},
        CompareCase{"Hex", 11008, 0x13AB, {QStringLiteral("写入 产品序列号1=1306 读回 13AB")}},
        CompareCase{
            "RatingHighWord", 11003, 1, {QStringLiteral("写入 电压额定值=220 读回 6773.6")}},
        // A word of no field is named by its register.
        CompareCase{"NoField", 278, 5, {QStringLiteral("写入 278=0 读回 5")}},
        CompareCase{"Kept", 272, 10, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DownloadComparisonTest, ARegisterThatDidNotComeBackIsADifference) {
    RegisterWords held = Written();
    held.erase(272);
    held.erase(11003);
    std::vector<QString> lines;
    for (const FieldDifference& d : CompareDownload(kFields, Written(), held))
        lines.push_back(DifferenceLine(d));
    EXPECT_EQ(lines, (std::vector<QString>{QStringLiteral("写入 启动电流=10 读回 无"),
                                           QStringLiteral("写入 电压额定值=220 读回 无")}));
}

TEST(DownloadComparisonTest, FieldsOfBlocksNotWrittenAreNotCompared) {
    RegisterWords written = Written();
    written.erase(272);
    const std::vector<FieldDifference> d = CompareDownload(kFields, written, {});
    // Every written field and register came back as nothing, the unwritten one is not asked for.
    EXPECT_EQ(d.size(), kFields.size() - 1 + 1);
    for (const FieldDifference& f : d) {
        EXPECT_NE(f.name, QStringLiteral("启动电流"));
        EXPECT_EQ(f.readBack, QStringLiteral("无"));
    }
}

TEST(DownloadedWordsTest, OnlyTheConfirmedBlocksAndTheWrittenList) {
    ConfigurationBlocks blocks;
    blocks.user = {{260, {1, 2}}, {270, {3}}, {274, {4}}, {286, {5}}};
    blocks.calibration = std::vector<uint16_t>(30, 6);
    EXPECT_EQ(DownloadedWords(blocks, 0, {}), RegisterWords{});
    EXPECT_EQ(DownloadedWords(blocks, 2, {}), (RegisterWords{{260, 1}, {261, 2}, {270, 3}}));
    const RegisterWords all = DownloadedWords(blocks, 5, {2, 100, 101});
    EXPECT_EQ(all.size(), 2u + 1 + 1 + 1 + 30 + 3);
    EXPECT_EQ(all.at(11031), 6);
    EXPECT_EQ(all.at(11302), 101);
}

// ---- the read-back on the line -----------------------------------------------------------------

TEST(ReadBackDownloadTest, OneShotReadsOfEveryWrittenBlockAndTheListInPieces) {
    ScriptedLink link;
    CalibrationFakeModule module(link);
    module.Set(271, {3600});
    module.Set(11300, std::vector<uint16_t>(200, 9));
    RegisterWords held;
    ASSERT_TRUE(ReadBackDownload(link, 1, 200, held));
    EXPECT_EQ(RequestsOf(link), (std::vector<Request>{{kFcReadRegisters, 260, 44},
                                                      {kFcReadCalibration, 11002, 30},
                                                      {kFcReadCalibration, 11300, 125},
                                                      {kFcReadCalibration, 11425, 75}}));
    EXPECT_EQ(held.size(), 44u + 30 + 200);
    EXPECT_EQ(held.at(271), 3600);
    EXPECT_EQ(held.at(11499), 9);
    // Full windows: the page's one-shot reads, not the polling loops' fast ones.
    for (const ScriptedLink::Exchange& e : link.Exchanges())
        EXPECT_FALSE(e.params.endAtFrame);
}

TEST(ReadBackDownloadTest, AShortOrMissingReplyFailsTheReadBack) {
    for (int failing = 1; failing <= 3; ++failing) {
        ScriptedLink link;
        CalibrationFakeModule module(link);
        module.shortAt = failing;
        RegisterWords held;
        EXPECT_FALSE(ReadBackDownload(link, 1, 10, held)) << failing;
        EXPECT_EQ(link.ExchangeCount(), std::size_t(failing)) << failing;
    }
}

// ---- backup and restore of the calibration area ------------------------------------------------

TEST(CalibrationBackup, ReadsTheBlockAndTheSegmentsInUse) {
    EXPECT_EQ(CalibrationAreaRanges(false),
              (std::vector<std::pair<uint16_t, uint16_t>>{{11002, 30}, {12000, 27}}));
    const auto ranges = CalibrationAreaRanges(true);
    EXPECT_EQ(ranges, (std::vector<std::pair<uint16_t, uint16_t>>{
                          {11002, 30}, {12000, 27}, {12100, 27}, {12200, 27}}));
    ScriptedLink link;
    CalibrationFakeModule module(link);
    module.Set(12026, {583});
    module.Set(12200, {20000});
    const std::optional<RegisterWords> area = ReadCalibrationArea(link, 1, ranges);
    ASSERT_TRUE(area);
    EXPECT_EQ(area->size(), 30u + 3 * 27);
    EXPECT_EQ(area->at(12026), 583);
    EXPECT_EQ(area->at(12200), 20000);
    EXPECT_EQ(area->count(12027), 0u);
    EXPECT_EQ(RequestsOf(link), (std::vector<Request>{{kFcReadCalibration, 11002, 30},
                                                      {kFcReadCalibration, 12000, 27},
                                                      {kFcReadCalibration, 12100, 27},
                                                      {kFcReadCalibration, 12200, 27}}));
}

TEST(CalibrationBackup, HalfAnAreaIsNoBackup) {
    ScriptedLink link;
    CalibrationFakeModule module(link);
    module.silentAt = 2;
    EXPECT_FALSE(ReadCalibrationArea(link, 1, CalibrationAreaRanges(true)));
    EXPECT_EQ(link.ExchangeCount(), 2u);
}

TEST(CalibrationRestore, WritesTheRunsWithTheCalibrationsWriteThenReadsThemBack) {
    ScriptedLink link;
    CalibrationFakeModule module(link);
    RegisterWords backup = Words(11002, std::vector<uint16_t>(30, 1));
    AddWords(backup, 12000, std::vector<uint16_t>(27, 2));
    const RestoreOutcome outcome = RestoreCalibrationArea(link, 1, backup);
    EXPECT_TRUE(outcome.restored());
    EXPECT_EQ(RequestsOf(link), (std::vector<Request>{{kFcWriteCalibration, 11002, 30},
                                                      {kFcWriteCalibration, 12000, 27},
                                                      {kFcReadCalibration, 11002, 30},
                                                      {kFcReadCalibration, 12000, 27}}));
    EXPECT_EQ(module.Get(12000, 27), std::vector<uint16_t>(27, 2));
}

TEST(CalibrationRestore, AWordThatDoesNotStickIsReported) {
    ScriptedLink link;
    CalibrationFakeModule module(link);
    // The module keeps its own word at 12005 whatever was written.
    module.beforeRead = [&](uint16_t, uint16_t) { module.registers[12005] = 77; };
    const RestoreOutcome outcome =
        RestoreCalibrationArea(link, 1, Words(12000, std::vector<uint16_t>(27, 2)));
    EXPECT_FALSE(outcome.restored());
    EXPECT_TRUE(outcome.written);
    EXPECT_TRUE(outcome.readBack);
    EXPECT_EQ(outcome.differences, (std::vector<WordDifference>{{12005, 2, uint16_t(77)}}));
}

TEST(CalibrationRestore, AFailedWriteStopsBeforeAnyRead) {
    ScriptedLink link;
    CalibrationFakeModule module(link);
    module.silentAt = 1;
    RegisterWords backup = Words(11002, {1});
    AddWords(backup, 12000, {2});
    const RestoreOutcome outcome = RestoreCalibrationArea(link, 1, backup);
    EXPECT_FALSE(outcome.written);
    EXPECT_FALSE(outcome.restored());
    EXPECT_EQ(link.ExchangeCount(), 1u);
}

} // namespace
