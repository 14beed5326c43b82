// The device session: one job at a time on its worker, states as the windows see them, a cancel
// that stops a job at its next transaction boundary and cuts its waits short, and an end that
// joins a running job.

#include "link/delay.h"
#include "scripted_link.h"
#include "session/device_session.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <thread>

namespace {

const TransactParams kParams{1, 5, 8, 1, 20, 0};

std::vector<uint8_t> Request(uint8_t n) {
    return {0x01, 0x03, 0x00, n};
}

template <typename Pred> bool WaitUntil(Pred pred) {
    return QTest::qWaitFor(pred, 20000);
}

} // namespace

TEST(DeviceSession, RunsOneJobAtATimeOnItsWorkerAndReportsItsStates) {
    ScriptedLink link;
    DeviceSession session(link);
    QSignalSpy states(&session, &DeviceSession::stateChanged);
    std::atomic<bool> release{false};
    std::thread::id workerThread;
    bool done = false;
    ASSERT_TRUE(session.Submit(
        DeviceSession::State::Busy, QStringLiteral("下载配置"),
        [&](JobContext& job) {
            workerThread = std::this_thread::get_id();
            job.link().Transact(Request(1), kParams);
            while (!release.load())
                job.Wait(5);
        },
        [&] {
            done = true;
            EXPECT_TRUE(session.isIdle());
        }));
    EXPECT_EQ(session.state(), DeviceSession::State::Busy);
    EXPECT_EQ(session.operation(), QStringLiteral("下载配置"));
    // A second operation is refused while the first runs, and nothing of it reaches the line.
    bool secondRan = false;
    EXPECT_FALSE(session.Submit(DeviceSession::State::Checking, QStringLiteral("检查数据"),
                                [&](JobContext&) { secondRan = true; }));
    release = true;
    ASSERT_TRUE(WaitUntil([&] { return done; }));
    EXPECT_FALSE(secondRan);
    EXPECT_NE(workerThread, std::this_thread::get_id());
    EXPECT_EQ(link.ExchangeCount(), 1u);
    ASSERT_EQ(states.size(), 2);
    EXPECT_EQ(states[0][0].value<DeviceSession::State>(), DeviceSession::State::Busy);
    EXPECT_EQ(states[1][0].value<DeviceSession::State>(), DeviceSession::State::Idle);
    EXPECT_TRUE(session.operation().isEmpty());
    // Idle again: the next job starts.
    bool nextRan = false;
    ASSERT_TRUE(session.Submit(DeviceSession::State::Checking, QStringLiteral("检查数据"),
                               [&](JobContext&) { nextRan = true; }));
    ASSERT_TRUE(WaitUntil([&] { return session.isIdle(); }));
    EXPECT_TRUE(nextRan);
}

TEST(DeviceSession, CancelStopsTheJobAtItsNextTransaction) {
    ScriptedLink link;
    DeviceSession session(link);
    std::atomic<int> answered{0};
    // The module answers; after the third answer the user cancels.
    link.SetResponder([&](const std::vector<uint8_t>& request, const TransactParams&) {
        if (++answered == 3)
            QMetaObject::invokeMethod(
                &session, [&] { session.Cancel(); }, Qt::QueuedConnection);
        return std::optional<std::vector<uint8_t>>(request);
    });
    int failedAt = -1;
    ASSERT_TRUE(
        session.Submit(DeviceSession::State::Busy, QStringLiteral("标定"), [&](JobContext& job) {
            for (uint8_t n = 0; n < 200; ++n) {
                if (!job.link().Transact(Request(n), kParams)) {
                    failedAt = n;
                    return;
                }
                job.Wait(20);
            }
        }));
    ASSERT_TRUE(WaitUntil([&] { return session.isIdle(); }));
    // The transaction in flight when the cancel came ended; the next one never reached the line.
    EXPECT_EQ(static_cast<int>(link.ExchangeCount()), failedAt);
    EXPECT_GE(failedAt, 3);
    EXPECT_LT(failedAt, 200);
}

TEST(DeviceSession, CancelCutsWaitsAndDelaysShort) {
    ScriptedLink link;
    DeviceSession session(link);
    std::atomic<int> waited{0};
    bool started = false;
    ASSERT_TRUE(session.Submit(DeviceSession::State::Busy, QStringLiteral("下载配置"),
                               [&](JobContext& job) {
                                   QMetaObject::invokeMethod(
                                       &session, [&] { started = true; }, Qt::QueuedConnection);
                                   waited += job.Wait(600000);
                                   waited += DelayMs(600000); // engine code's own wait
                               }));
    ASSERT_TRUE(WaitUntil([&] { return started; }));
    session.Cancel();
    ASSERT_TRUE(WaitUntil([&] { return session.isIdle(); }));
    EXPECT_LT(waited.load(), 600000);
}

TEST(DeviceSession, LogAndProgressArriveOnTheOwnersThreadBeforeTheEnd) {
    ScriptedLink link;
    DeviceSession session(link);
    QStringList lines;
    QList<int> steps;
    QStringList order;
    QObject receiver;
    QObject::connect(&session, &DeviceSession::logLine, &receiver, [&](const QString& text) {
        EXPECT_EQ(QThread::currentThread(), receiver.thread());
        lines << text;
        order << "log";
    });
    QObject::connect(&session, &DeviceSession::progress, &receiver, [&](int v) { steps << v; });
    QObject::connect(&session, &DeviceSession::jobEnded, &receiver, [&] {
        EXPECT_TRUE(session.isIdle());
        order << "ended";
    });
    ASSERT_TRUE(session.Submit(
        DeviceSession::State::Busy, QStringLiteral("VIP标定"),
        [&](JobContext& job) {
            job.Log(QStringLiteral("第1次读原始数据"));
            job.Progress(10);
            job.Post([&] { order << "posted"; });
            job.Log(QStringLiteral("完成"));
            job.Progress(20);
        },
        [&] { order << "done"; }));
    ASSERT_TRUE(WaitUntil([&] { return order.contains("ended"); }));
    EXPECT_EQ(lines, (QStringList{"第1次读原始数据", "完成"}));
    EXPECT_EQ(steps, (QList<int>{10, 20}));
    // A window waiting to close hears of the end only after done has stored what it had.
    EXPECT_EQ(order, (QStringList{"log", "posted", "log", "done", "ended"}));
}

TEST(DeviceSession, AJobThatThrowsLogsItAndLeavesTheSessionUsable) {
    ScriptedLink link;
    DeviceSession session(link);
    QStringList lines;
    QObject::connect(&session, &DeviceSession::logLine, &session,
                     [&](const QString& text) { lines << text; });
    ASSERT_TRUE(session.Submit(DeviceSession::State::Busy, QStringLiteral("读取配置"),
                               [](JobContext&) { throw std::runtime_error("bad field"); }));
    ASSERT_TRUE(WaitUntil([&] { return session.isIdle(); }));
    EXPECT_EQ(lines, QStringList{"bad field"});
    EXPECT_TRUE(
        session.Submit(DeviceSession::State::Busy, QStringLiteral("读时间"), [](JobContext&) {}));
    session.WaitForIdle();
}

TEST(DeviceSession, EndingTheSessionCancelsAndJoinsARunningJob) {
    ScriptedLink link;
    link.SetResponder([](const std::vector<uint8_t>& request, const TransactParams&) {
        return std::optional<std::vector<uint8_t>>(request);
    });
    std::atomic<bool> ended{false};
    {
        DeviceSession session(link);
        ASSERT_TRUE(session.Submit(DeviceSession::State::Checking, QStringLiteral("检查数据"),
                                   [&](JobContext& job) {
                                       while (job.link().Transact(Request(1), kParams))
                                           job.Wait(100);
                                       ended = true;
                                   }));
        ASSERT_TRUE(WaitUntil([&] { return link.ExchangeCount() >= 2; }));
    }
    EXPECT_TRUE(ended.load());
    const std::size_t sent = link.ExchangeCount();
    QTest::qWait(50);
    EXPECT_EQ(link.ExchangeCount(), sent);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
