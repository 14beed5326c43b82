// Our Modbus transactions against an independent peer: pymodbus's RTU server on one end of a
// socat pseudo-terminal pair, SerialLink on the other.

#include "link/modbus.h"
#include "link/serial_link.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

namespace {

const char* kPython = "/usr/bin/python3";

uint16_t Initial(int reg) {
    return static_cast<uint16_t>((reg * 7 + 3) & 0xFFFF);
}

bool WaitForFile(const QString& path, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!QFileInfo::exists(path)) {
        if (deadline.hasExpired()) return false;
        QThread::msleep(20);
    }
    return true;
}

void StopProcess(QProcess& process) {
    if (process.state() == QProcess::NotRunning) return;
    process.closeWriteChannel();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

class ModbusInterop : public ::testing::Test {
protected:
    void SetUp() override {
        QProcess probe;
        probe.start(kPython, {"-c", "import pymodbus.server.async_io"});
        if (!probe.waitForFinished(20000) || probe.exitCode() != 0)
            GTEST_SKIP() << "/usr/bin/python3 has no pymodbus serial server";

        ASSERT_TRUE(dir_.isValid());
        const QString ours = dir_.filePath("ours");
        const QString theirs = dir_.filePath("theirs");
        socat_.start("socat", {"pty,raw,echo=0,link=" + ours, "pty,raw,echo=0,link=" + theirs});
        ASSERT_TRUE(socat_.waitForStarted(5000)) << "socat does not start";
        ASSERT_TRUE(WaitForFile(ours, 10000) && WaitForFile(theirs, 10000)) << "no pty pair";

        server_.setProcessChannelMode(QProcess::MergedChannels);
        server_.start(kPython, {QStringLiteral(KX_LINK_TEST_DIR "/pymodbus_server.py"), theirs});
        ASSERT_TRUE(server_.waitForStarted(5000));
        QByteArray said;
        QDeadlineTimer deadline(20000);
        while (!said.contains("ready\n") && !deadline.hasExpired() &&
               server_.state() == QProcess::Running) {
            server_.waitForReadyRead(200);
            said += server_.readAll();
        }
        ASSERT_TRUE(said.contains("ready\n")) << said.toStdString();
        ASSERT_TRUE(link_.Open(ours, 3, 0, 2, 0));
    }

    void TearDown() override {
        link_.Stop();
        StopProcess(server_);
        StopProcess(socat_);
    }

    QTemporaryDir dir_;
    QProcess socat_;
    QProcess server_;
    SerialLink link_;
};

TEST_F(ModbusInterop, ReadWriteAndReadBack) {
    std::vector<uint16_t> values;
    ASSERT_TRUE(ReadRegisters(link_, 1, 100, 10, values));
    ASSERT_EQ(values.size(), 10u);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(values[i], Initial(100 + i)) << "register " << 100 + i;

    EXPECT_TRUE(WriteRegister(link_, 1, 5, 0xBEEF));
    ASSERT_TRUE(ReadRegisters(link_, 1, 4, 3, values));
    EXPECT_EQ(values[0], Initial(4));
    EXPECT_EQ(values[1], 0xBEEF);
    EXPECT_EQ(values[2], Initial(6));

    // 125 registers: the most a standard peer takes in one request.
    std::vector<uint16_t> block(125);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<uint16_t>(0xA000 + i * 3);
    EXPECT_TRUE(WriteRegisters(link_, 7, 300, 123, block));
    ASSERT_TRUE(ReadRegisters(link_, 7, 300, 125, values));
    ASSERT_EQ(values.size(), 125u);
    for (int i = 0; i < 123; ++i)
        EXPECT_EQ(values[i], block[i]) << "register " << 300 + i;
    EXPECT_EQ(values[123], Initial(423));
    EXPECT_EQ(values[124], Initial(424));
}

TEST_F(ModbusInterop, ExceptionReplyIsARefusal) {
    // Beyond the peer's 1000 registers it answers with an exception: every transaction fails and
    // the caller's values stay as they were.
    std::vector<uint16_t> values(2, 0x5A5A);
    EXPECT_FALSE(ReadRegisters(link_, 1, 5000, 2, values));
    EXPECT_EQ(values[0], 0x5A5A);
    EXPECT_EQ(values[1], 0x5A5A);
    EXPECT_FALSE(WriteRegisters(link_, 1, 5000, 2, {1, 2}));
    EXPECT_FALSE(WriteRegister(link_, 1, 5000, 1));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
