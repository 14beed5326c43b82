// Thread_Readqx, run as a session job, against a scripted line: the request it sends, the words it
// hands over, what counts as a failed read, and a stop that lets the outstanding exchange finish.

#include "acquire/curve_thread.h"
#include "link/modbus.h"
#include "link/modbus_frames.h"
#include "scripted_link.h"
#include "session/device_session.h"

#include <QCoreApplication>
#include <QtTest/QTest>
#include <atomic>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>

namespace {

std::vector<uint8_t> WithCrc(std::vector<uint8_t> frame) {
    const uint16_t crc = Crc16(frame);
    frame.push_back(uint8_t(crc & 0xFF));
    frame.push_back(uint8_t(crc >> 8));
    return frame;
}

// A well-formed reply to a 0x03 read carrying these words.
std::vector<uint8_t> ReadReply(uint8_t address, const std::vector<uint16_t>& words) {
    std::vector<uint8_t> frame{address, kFcReadRegisters, uint8_t(words.size() * 2)};
    for (uint16_t w : words) {
        frame.push_back(uint8_t(w >> 8));
        frame.push_back(uint8_t(w & 0xFF));
    }
    return WithCrc(frame);
}

// Word i of the block is 1000 + i, except the first, which is 0xFFFF.
std::vector<uint16_t> DistinctBlock() {
    std::vector<uint16_t> words(kCurveRegisterCount);
    for (std::size_t i = 0; i < words.size(); ++i)
        words[i] = uint16_t(1000 + i);
    words[0] = 0xFFFF;
    return words;
}

TEST(CurveBlock, EachSeriesTakesItsRegister) {
    const int registers[kCurveSeriesCount] = {7035, 7036, 7037, 7039, 7040, 7041, 7050,
                                              7051, 7052, 7053, 7054, 7055, 7056};
    const std::vector<uint16_t> words = DistinctBlock();
    const CurveValues values = CurveValuesOfBlock(words);
    for (int k = 0; k < kCurveSeriesCount; ++k) {
        EXPECT_EQ(kCurveFirstRegister + CurveWordIndex(k), registers[k]) << "series " << k;
        EXPECT_EQ(values[k], words[registers[k] - 7035]) << "series " << k;
    }
    EXPECT_EQ(values[0], 65535); // unsigned, never -1
}

TEST(CurveBlock, StatusTextsKeepTheirFourBlanks) {
    EXPECT_EQ(CurveStatusText(5, 3), QStringLiteral("发送：5    接收：3"));
    EXPECT_EQ(CurveFailureText(12), QStringLiteral("发送：12    接收数据无返回！"));
}

class AxisMaximum : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(AxisMaximum, FollowsThePointCount) {
    EXPECT_EQ(CurveAxisMaximum(GetParam().first), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Rule, AxisMaximum,
                         ::testing::Values(std::pair{0, 100}, std::pair{1, 100}, std::pair{99, 100},
                                           std::pair{100, 100}, std::pair{101, 106},
                                           std::pair{102, 107}, std::pair{100000, 100005}));

// The loop's hand-overs, collected on the session's worker itself.
class CurveThreadTest : public ::testing::Test {
protected:
    void Start(quint8 address = 1) {
        thread = std::make_unique<Thread_Readqx>(address);
        QObject::connect(
            thread.get(), &Thread_Readqx::ShowCurvePoint, thread.get(),
            [this](const CurvePoint& p) {
                std::lock_guard lock(mutex);
                points.push_back(p);
            },
            Qt::DirectConnection);
        QObject::connect(
            thread.get(), &Thread_Readqx::ShowStatusText, thread.get(),
            [this](const QString& t) {
                std::lock_guard lock(mutex);
                texts << t;
            },
            Qt::DirectConnection);
        ASSERT_TRUE(session.Submit(DeviceSession::State::Curves, QStringLiteral("读曲线"),
                                   [this](JobContext& job) { thread->Run(job); }));
    }
    // Cancels the job and waits until it has ended (safe before Start and twice).
    void Stop() {
        session.Cancel();
        ASSERT_TRUE(QTest::qWaitFor([&] { return session.isIdle(); }, 20000));
    }
    std::size_t PointCount() {
        std::lock_guard lock(mutex);
        return points.size();
    }
    qsizetype TextCount() {
        std::lock_guard lock(mutex);
        return texts.size();
    }

    ScriptedLink link;
    std::unique_ptr<Thread_Readqx> thread;
    std::mutex mutex;
    std::vector<CurvePoint> points;
    QStringList texts;
    // Last: its worker is joined before the loop and what it fills go.
    DeviceSession session{link};
};

TEST_F(CurveThreadTest, ReadsTheCurveBlockAndHandsOverRawWords) {
    link.QueueReply(ReadReply(7, DistinctBlock()));
    Start(7);
    ASSERT_TRUE(QTest::qWaitFor([&] { return PointCount() >= 1; }, 20000));
    Stop();
    ASSERT_GE(link.ExchangeCount(), 1u);
    const ScriptedLink::Exchange first = link.Exchanges().front();
    EXPECT_EQ(first.request, BuildReadRequest(7, kFcReadRegisters, 7035, 22));
    TransactParams polled = kReadRegistersParams; // the default polling ends reads at the frame
    polled.endAtFrame = true;
    EXPECT_EQ(first.params, polled);
    const CurvePoint p = points.front();
    EXPECT_EQ(p.values, CurveValuesOfBlock(DistinctBlock()));
    EXPECT_EQ(p.values[0], 65535);
    EXPECT_EQ(p.pointCount, 1);
    EXPECT_EQ(p.sent, 1);
    EXPECT_EQ(p.received, 1);
    EXPECT_GT(p.wallClockMs, 0);
}

TEST_F(CurveThreadTest, ShortSilentOrRefusedRepliesAddNoPoint) {
    std::vector<uint16_t> shortBlock = DistinctBlock();
    shortBlock.resize(21); // well formed, one word short
    link.QueueReply(ReadReply(1, shortBlock));
    link.QueueSilence();
    link.QueueReply(WithCrc({0x01, 0x83, 0x02})); // exception reply of the module
    link.QueueFailure();
    link.QueueReply(ReadReply(1, DistinctBlock()));
    Start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return PointCount() >= 1; }, 20000));
    Stop();
    // Later cycles hear silence again; the first four are the failures before the point.
    EXPECT_EQ(texts.mid(0, 4), (QStringList{QStringLiteral("发送：1    接收数据无返回！"),
                                            QStringLiteral("发送：2    接收数据无返回！"),
                                            QStringLiteral("发送：3    接收数据无返回！"),
                                            QStringLiteral("发送：4    接收数据无返回！")}));
    const CurvePoint p = points.front();
    EXPECT_EQ(p.sent, 5);
    EXPECT_EQ(p.received, 1);
    EXPECT_EQ(p.pointCount, 1);
    EXPECT_EQ(thread->PointCount(), int(points.size()));
}

TEST_F(CurveThreadTest, StopLetsTheOutstandingExchangeFinish) {
    // The first exchange hangs until the test releases it.
    std::mutex gate;
    std::condition_variable opened;
    bool release = false;
    std::atomic<bool> entered{false};
    std::atomic<bool> answered{false};
    link.SetResponder([&](const std::vector<uint8_t>&, const TransactParams&) {
        entered = true;
        std::unique_lock lock(gate);
        opened.wait(lock, [&] { return release; });
        answered = true;
        return std::optional(ReadReply(1, DistinctBlock()));
    });
    Start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return entered.load(); }, 20000));
    EXPECT_TRUE(thread->IsBusy());
    // The stop returns at once; the job ends only once the exchange on the line has.
    session.Cancel();
    EXPECT_FALSE(session.isIdle());
    EXPECT_FALSE(answered.load());
    {
        std::lock_guard lock(gate);
        release = true;
        opened.notify_all();
    }
    Stop();
    EXPECT_TRUE(answered.load());
    EXPECT_TRUE(session.isIdle());
    EXPECT_FALSE(thread->IsBusy());
    // The exchange's point was handed over, and no further cycle began.
    EXPECT_EQ(PointCount(), 1u);
    EXPECT_EQ(link.ExchangeCount(), 1u);
    EXPECT_EQ(TextCount(), 0);
}

TEST_F(CurveThreadTest, StopBeforeStartAndTwiceIsHarmless) {
    thread = std::make_unique<Thread_Readqx>(1);
    Stop();
    Stop();
    EXPECT_EQ(link.ExchangeCount(), 0u);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
