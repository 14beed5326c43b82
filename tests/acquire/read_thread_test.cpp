// The reading loop, run as a session job, against a scripted line: the register blocks of a cycle,
// the counters and status line, short and missing replies, loading failures and stopping.

#include "acquire/read_thread.h"
#include "link/modbus.h"
#include "link/modbus_frames.h"
#include "scripted_link.h"

#include "check_fixture.h"

#include <QCoreApplication>
#include <atomic>
#include <condition_variable>
#include <mutex>

namespace {

struct ModbusRead {
    int first = 0;
    int count = 0;
};

ModbusRead ParseRead(const std::vector<uint8_t>& request) {
    return {request[2] << 8 | request[3], request[4] << 8 | request[5]};
}

// Answers a read of count registers with the register numbers as values; `missing` words fewer.
ScriptedLink::Responder RegisterNumbers(int missing = 0) {
    return [missing](const std::vector<uint8_t>& request, const TransactParams&) {
        const ModbusRead read = ParseRead(request);
        const int words = std::max(0, read.count - missing);
        std::vector<uint8_t> reply{request[0], request[1], static_cast<uint8_t>(2 * words)};
        for (int i = 0; i < words; ++i) {
            const int value = (read.first + i) & 0xFFFF;
            reply.push_back(static_cast<uint8_t>(value >> 8));
            reply.push_back(static_cast<uint8_t>(value & 0xFF));
        }
        const uint16_t crc = Crc16(reply);
        reply.push_back(static_cast<uint8_t>(crc & 0xFF));
        reply.push_back(static_cast<uint8_t>(crc >> 8));
        return std::optional<std::vector<uint8_t>>(reply);
    };
}

// The shipped Config.ini polls fast: every read of the loop ends at its frame.
TransactParams FastPolled(TransactParams params) {
    params.endAtFrame = true;
    return params;
}

// A Modbus scheme listing one one-register voltage `registers` times, and its model.
void AddScheme(ProductDatabase& db, const QString& model, int registers) {
    Scheme scheme;
    scheme.fs = model + QStringLiteral("方案");
    scheme.txxy = 0;
    ASSERT_EQ(
        db.CreateSchemeWithParameters(scheme, QStringList(registers, QStringLiteral("A相电压"))),
        SchemeWrite::Done);
    ProductModel m;
    m.cpxh = model;
    m.fs = scheme.fs;
    ASSERT_TRUE(db.InsertModel(m));
}

struct BlockCase {
    const char* name;
    int registers; // scheme size; 0 = harmonic mode
    std::vector<std::pair<int, int>> blocks;
    int rows;
};

void PrintTo(const BlockCase& c, std::ostream* os) {
    *os << c.name;
}

class BlockSplit : public ::testing::TestWithParam<BlockCase> {};

TEST_P(BlockSplit, ReadsTheBlocksOfOneCycleAndShowsEveryRow) {
    const BlockCase& c = GetParam();
    CheckDataFolder folder;
    ASSERT_EQ(folder.openError(), QString());
    const bool harmonics = c.registers == 0;
    const QString model = harmonics ? QStringLiteral("KX7410M31-01") : QStringLiteral("BLOCKS");
    if (!harmonics) AddScheme(folder.database(), model, c.registers);

    ScriptedLink link;
    link.SetResponder(RegisterNumbers());
    Thread_Read thread(folder.database(), folder.path(), 1, model, !harmonics);
    HandOverRecorder recorder(thread);
    LoopJob job(link);
    ASSERT_TRUE(job.Start(thread));
    ASSERT_TRUE(WaitUntil([&] { return thread.CycleCount() >= 1; }));
    ASSERT_TRUE(job.Stop());

    std::vector<std::pair<int, int>> firstCycle;
    for (const auto& e : link.Exchanges()) {
        const ModbusRead r = ParseRead(e.request);
        firstCycle.emplace_back(r.first, r.count);
        EXPECT_EQ(e.params, FastPolled(kReadRegistersParams));
    }
    firstCycle.resize(std::min(firstCycle.size(), c.blocks.size()));
    EXPECT_EQ(firstCycle, c.blocks);
    ASSERT_EQ(recorder.grid.size(), c.rows);
    EXPECT_EQ(recorder.grid.firstKey(), 2);
    if (harmonics) {
        // Register 1000 + i under name i: 1000 * 0.01 = 10.00 %, 1006 (a K factor) * 0.1.
        EXPECT_EQ(recorder.grid[2].name, QStringLiteral("A相电压总谐波含量"));
        EXPECT_EQ(recorder.grid[2].value, QStringLiteral("10.00 %"));
        EXPECT_EQ(recorder.grid[8].value, QStringLiteral("100.6"));
    } else {
        // The image runs on across the block boundary: row k shows register k - 2.
        EXPECT_EQ(recorder.grid.last().value,
                  QStringLiteral("%1 V").arg((c.registers - 1) / 100.0, 0, 'f', 2));
    }
    EXPECT_TRUE(recorder.statusLines.last().endsWith(QStringLiteral("  接收：") +
                                                     QString::number(thread.ReceivedCount())));
}

INSTANTIATE_TEST_SUITE_P(
    Cycles, BlockSplit,
    ::testing::Values(BlockCase{"OneBlockAt127", 127, {{0, 127}}, 127},
                      BlockCase{"TwoBlocksAt128", 128, {{0, 127}, {127, 1}}, 128},
                      BlockCase{"Harmonics", 0, {{1000, 127}, {1127, 68}}, 195}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadThread, ReplyShorterThanTheBlockFailsTheCycle) {
    CheckDataFolder folder;
    AddScheme(folder.database(), QStringLiteral("SHORT"), 10);
    ScriptedLink link;
    link.SetResponder(RegisterNumbers(1));
    Thread_Read thread(folder.database(), folder.path(), 1, QStringLiteral("SHORT"), true);
    HandOverRecorder recorder(thread);
    LoopJob job(link);
    ASSERT_TRUE(job.Start(thread));
    ASSERT_TRUE(WaitUntil([&] { return thread.CycleCount() >= 2; }));
    ASSERT_TRUE(job.Stop());
    EXPECT_TRUE(recorder.grid.isEmpty());
    EXPECT_EQ(thread.ReceivedCount(), 0);
    ASSERT_GE(recorder.statusLines.size(), 2);
    EXPECT_EQ(recorder.statusLines[0],
              QStringLiteral("产品型号: SHORT  通信协议: MODBUS_RTU  发送：1  "
                             "接收无返回数据！  失败：1"));
    EXPECT_EQ(recorder.statusLines[1],
              QStringLiteral("产品型号: SHORT  通信协议: MODBUS_RTU  发送：2  "
                             "接收无返回数据！  失败：2"));
}

TEST(ReadThread, FailedCyclesStayCountedAfterTheModuleAnswersAgain) {
    CheckDataFolder folder;
    AddScheme(folder.database(), QStringLiteral("BACK"), 4);
    ScriptedLink link;
    link.QueueSilence();
    link.QueueFailure();
    link.SetResponder(RegisterNumbers());
    Thread_Read thread(folder.database(), folder.path(), 1, QStringLiteral("BACK"), true);
    HandOverRecorder recorder(thread);
    LoopJob job(link);
    ASSERT_TRUE(job.Start(thread));
    ASSERT_TRUE(WaitUntil([&] { return thread.CycleCount() >= 4; }));
    ASSERT_TRUE(job.Stop());
    ASSERT_GE(recorder.statusLines.size(), 4);
    EXPECT_EQ(recorder.failedFlags.mid(0, 4), (QList<bool>{true, true, false, false}));
    EXPECT_EQ(recorder.statusLines[2],
              QStringLiteral("产品型号: BACK  通信协议: MODBUS_RTU  发送：3  接收：1  失败：2"));
    EXPECT_EQ(thread.FailedCycleCount(), 2);
}

TEST(ReadThread, SilentModuleCountsRequestsAndWritesNoRow) {
    CheckDataFolder folder;
    ScriptedLink link; // no responder: nothing ever answers
    Thread_Read thread(folder.database(), folder.path(), 1, QStringLiteral("KX7410Y35-01"), true);
    HandOverRecorder recorder(thread);
    LoopJob job(link);
    ASSERT_TRUE(job.Start(thread));
    ASSERT_TRUE(WaitUntil([&] { return recorder.statusLines.size() >= 3; }));
    ASSERT_TRUE(job.Stop());
    EXPECT_TRUE(recorder.grid.isEmpty());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(recorder.statusLines[i],
                  QStringLiteral("产品型号: KX7410Y35-01  通信协议: 亚奥协议  发送：%1  "
                                 "接收无返回数据！  失败：%1")
                      .arg(i + 1));
    EXPECT_FALSE(thread.IsBusy());
}

TEST(ReadThread, AStopInsideACycleSendsNoFurtherBlockAndRecordsNoFailure) {
    CheckDataFolder folder;
    AddScheme(folder.database(), QStringLiteral("GATED"), 200); // two blocks a cycle
    ScriptedLink link;
    // The first block's exchange hangs until the test releases it.
    std::mutex gate;
    std::condition_variable opened;
    bool release = false;
    std::atomic<bool> entered{false};
    const ScriptedLink::Responder numbers = RegisterNumbers();
    link.SetResponder([&](const std::vector<uint8_t>& request, const TransactParams& params) {
        entered = true;
        std::unique_lock lock(gate);
        opened.wait(lock, [&] { return release; });
        return numbers(request, params);
    });
    Thread_Read thread(folder.database(), folder.path(), 1, QStringLiteral("GATED"), true);
    HandOverRecorder recorder(thread);
    LoopJob job(link);
    ASSERT_TRUE(job.Start(thread));
    ASSERT_TRUE(WaitUntil([&] { return entered.load(); }));
    job.session.Cancel();
    {
        std::lock_guard lock(gate);
        release = true;
        opened.notify_all();
    }
    ASSERT_TRUE(job.Stop());
    // The block on the line was answered; the second never went out, and the cut cycle is
    // neither shown nor counted as a failure of the module.
    EXPECT_EQ(link.ExchangeCount(), 1u);
    EXPECT_TRUE(recorder.grid.isEmpty());
    EXPECT_TRUE(recorder.statusLines.isEmpty());
    EXPECT_EQ(thread.FailedCycleCount(), 0);
}

// A complete, valid SetCheck section, for cases that add one key to it.
const QByteArray kSetCheck = "[SetCheck]\r\nU=220\r\nI=5\r\nJDF=0.02\r\nJDU=0.2\r\nJDI=0.2\r\n"
                             "JDC=0.5\r\nJDP=0.5\r\nJDQ=0.5\r\nJDS=0.5\r\n";

// What the polling keys make of every read of a cycle: the reading loop's reads end at their frame
// unless FastPoll=0 (absent keys are the fast default of older files).
struct PollCase {
    const char* name;
    QByteArray keys;
    bool endAtFrame;
};

class PollKeys : public ::testing::TestWithParam<PollCase> {};

TEST_P(PollKeys, DecideWhetherReadsEndAtTheirFrame) {
    const PollCase& c = GetParam();
    CheckDataFolder folder(kSetCheck + c.keys);
    AddScheme(folder.database(), QStringLiteral("POLL"), 10);
    ScriptedLink link;
    link.SetResponder(RegisterNumbers());
    Thread_Read thread(folder.database(), folder.path(), 1, QStringLiteral("POLL"), true);
    HandOverRecorder recorder(thread);
    LoopJob job(link);
    ASSERT_TRUE(job.Start(thread));
    ASSERT_TRUE(WaitUntil([&] { return thread.CycleCount() >= 2; }));
    ASSERT_TRUE(job.Stop());
    ASSERT_GE(link.ExchangeCount(), 2u);
    TransactParams expected = kReadRegistersParams;
    expected.endAtFrame = c.endAtFrame;
    for (const auto& e : link.Exchanges())
        EXPECT_EQ(e.params, expected);
    EXPECT_EQ(thread.FailedCycleCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, PollKeys,
    ::testing::Values(PollCase{"Absent", "", true}, PollCase{"On", "FastPoll=1\r\n", true},
                      PollCase{"Off", "FastPoll=0\r\nPollPauseMs=0\r\n", false},
                      PollCase{"OnWithPause", "FastPoll=1\r\nPollPauseMs=5\r\n", true}),
    [](const auto& info) { return std::string(info.param.name); });

struct LoadFailureCase {
    const char* name;
    const char* model;
    QByteArray ini; // empty: the shipped file
};

void PrintTo(const LoadFailureCase& c, std::ostream* os) {
    *os << c.name;
}

class LoadFailure : public ::testing::TestWithParam<LoadFailureCase> {};

TEST_P(LoadFailure, IsShownInTheStatusLineAndTheThreadIdles) {
    const LoadFailureCase& c = GetParam();
    CheckDataFolder folder(c.ini);
    ProductModel orphan;
    orphan.cpxh = QStringLiteral("ORPHAN");
    orphan.fs = QStringLiteral("没有的方案");
    ASSERT_TRUE(folder.database().InsertModel(orphan));
    ScriptedLink link;
    link.SetResponder(RegisterNumbers());
    Thread_Read thread(folder.database(), folder.path(), 1, QString::fromUtf8(c.model), true);
    HandOverRecorder recorder(thread);
    LoopJob job(link);
    ASSERT_TRUE(job.Start(thread));
    ASSERT_TRUE(WaitUntil([&] { return !recorder.statusLines.isEmpty(); }));
    EXPECT_TRUE(recorder.statusLines[0].startsWith(QStringLiteral("产品型号: ") +
                                                   QString::fromUtf8(c.model) +
                                                   QStringLiteral("  读数据线程初始化失败：")))
        << recorder.statusLines[0].toStdString();
    EXPECT_FALSE(thread.IsBusy());
    EXPECT_FALSE(job.session.isIdle()); // idles until stopped
    ASSERT_TRUE(job.Stop());
    ASSERT_TRUE(job.Stop());
    EXPECT_TRUE(job.session.isIdle());
    EXPECT_EQ(link.ExchangeCount(), 0u);
    EXPECT_EQ(recorder.statusLines.size(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Loading, LoadFailure,
    ::testing::Values(
        LoadFailureCase{"UnknownModel", "NOSUCH", {}},
        LoadFailureCase{"MissingScheme", "ORPHAN", {}},
        LoadFailureCase{"NonNumericSetCheck", "KX7410M31-01",
                        "[SetCheck]\r\nU=abc\r\nI=5\r\nJDF=0.02\r\nJDU=0.2\r\nJDI=0.2\r\n"
                        "JDC=0.5\r\nJDP=0.5\r\nJDQ=0.5\r\nJDS=0.5\r\n"},
        LoadFailureCase{"MissingSetCheckKey", "KX7410M31-01", "[SetCheck]\r\nU=220\r\n"},
        LoadFailureCase{"NonNumericFastPoll", "KX7410M31-01", kSetCheck + "FastPoll=yes\r\n"},
        LoadFailureCase{"NegativePollPause", "KX7410M31-01", kSetCheck + "PollPauseMs=-1\r\n"},
        LoadFailureCase{"PollPauseTooLong", "KX7410M31-01", kSetCheck + "PollPauseMs=60001\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadThread, StopIsSafeBeforeStartAndTwice) {
    CheckDataFolder folder;
    ScriptedLink link;
    link.SetResponder(RegisterNumbers());
    {
        Thread_Read never(folder.database(), folder.path(), 1, QStringLiteral("X"), true);
        LoopJob idle(link);
        EXPECT_TRUE(idle.Stop());
        EXPECT_TRUE(idle.Stop());
        EXPECT_EQ(never.CycleCount(), 0);
    }
    Thread_Read thread(folder.database(), folder.path(), 1, QStringLiteral("KX7410M31-01"), true);
    HandOverRecorder recorder(thread);
    LoopJob job(link);
    ASSERT_TRUE(job.Start(thread));
    ASSERT_TRUE(WaitUntil([&] { return thread.CycleCount() >= 1; }));
    ASSERT_TRUE(job.Stop());
    const int cycles = thread.CycleCount();
    ASSERT_TRUE(job.Stop());
    EXPECT_TRUE(job.session.isIdle());
    EXPECT_EQ(thread.CycleCount(), cycles);
    EXPECT_FALSE(thread.IsBusy());
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
