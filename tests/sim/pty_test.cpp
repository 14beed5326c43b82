// kx7410-sim as a process on a real pseudo-terminal, talked to by independent masters: mbpoll,
// pymodbus and pyserial under the system Python.

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "sim_process.h"

namespace {

constexpr int kWaitMs = kToolWaitMs;

struct ToolResult {
    int exitCode = -1;
    QString out;
};

ToolResult runTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    ToolResult r;
    if (!p.waitForStarted(kWaitMs)) return r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAll());
    return r;
}

// Module 1 (or slave), one poll, registers numbered from 0 as on the wire, 2 s time-out.
QStringList mbpollArgs(int baud = 9600, int slave = 1) {
    return {"-m", "rtu",
            "-a", QString::number(slave),
            "-b", QString::number(baud),
            "-P", "none",
            "-s", "1",
            "-0", "-1",
            "-o", "2"};
}

// Values of an mbpoll read, by register: lines "[260]: 	17".
QMap<int, int> mbpollValues(const QString& out) {
    QMap<int, int> v;
    static const QRegularExpression re(R"(\[(\d+)\]:\s+(-?\d+))");
    for (auto it = re.globalMatch(out); it.hasNext();) {
        const auto m = it.next();
        v[m.captured(1).toInt()] = m.captured(2).toInt();
    }
    return v;
}

ToolResult mbpollRead(const SimProcess& sim, int first, int count, int baud = 9600) {
    return runTool("mbpoll", mbpollArgs(baud) + QStringList{"-r", QString::number(first), "-c",
                                                            QString::number(count), sim.link()});
}

ToolResult python(const char* script, const QStringList& args) {
    return runTool("/usr/bin/python3", QStringList{QString(KX_SIM_TEST_DIR) + "/" + script} + args);
}

} // namespace

TEST(SimProcess, LinksSlaveAndRemovesLinkOnSigterm) {
    SimProcess sim;
    ASSERT_TRUE(sim.device().startsWith("/dev/pts/")) << sim.device().toStdString();
    const QFileInfo link(sim.link());
    ASSERT_TRUE(link.isSymLink());
    EXPECT_EQ(link.symLinkTarget(), sim.device());
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_FALSE(QFileInfo(sim.link()).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(sim.link()));
}

TEST(SimProcess, QuitCommandEndsAndRemovesLink) {
    SimProcess sim;
    EXPECT_EQ(sim.command("quit"), "ok");
    ASSERT_TRUE(sim.process().waitForFinished(kWaitMs));
    EXPECT_EQ(sim.process().exitCode(), 0);
    EXPECT_FALSE(QFileInfo(sim.link()).isSymLink());
}

TEST(SimProcess, UnknownOptionGivesUsageAndExitCode2) {
    QProcess p;
    p.start(KX_SIM_EXE, {"--no-such-option"});
    ASSERT_TRUE(p.waitForFinished(kWaitMs));
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_TRUE(p.readAllStandardError().contains("Usage: kx7410-sim"));
    EXPECT_TRUE(p.readAllStandardOutput().isEmpty());

    QProcess help;
    help.start(KX_SIM_EXE, {"--help"});
    ASSERT_TRUE(help.waitForFinished(kWaitMs));
    EXPECT_EQ(help.exitCode(), 0);
    const QByteArray text = help.readAllStandardOutput();
    for (const char* word : {"--link", "--pace", "--state", "powercycle", "wrongaddr", "get ADDR"})
        EXPECT_TRUE(text.contains(word)) << word;
}

TEST(SimProcess, MbpollReadsWritesAndReadsBack) {
    SimProcess sim;
    ASSERT_EQ(sim.command("set 260 256 1 1792"), "ok");
    auto r = mbpollRead(sim, 260, 3);
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_EQ(mbpollValues(r.out), (QMap<int, int>{{260, 256}, {261, 1}, {262, 1792}}));

    // One value (0x06), then several (0x10).
    r = runTool("mbpoll", mbpollArgs() + QStringList{"-r", "272", sim.link(), "77"});
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
    r = runTool("mbpoll", mbpollArgs() + QStringList{"-r", "274", sim.link(), "5", "6", "7"});
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_EQ(sim.command("get 272 5"), "ok 77 0 5 6 7");
    r = mbpollRead(sim, 272, 5);
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_EQ(mbpollValues(r.out),
              (QMap<int, int>{{272, 77}, {273, 0}, {274, 5}, {275, 6}, {276, 7}}));
    // The frames the module heard, as the host's tests can look at them.
    EXPECT_TRUE(sim.command("last").startsWith("ok 01 03 01 10 00 05 "));
    EXPECT_EQ(sim.command("stats"), "ok requests=4 replies=4");
}

// Several modules on one line: each answers at its own address from its own registers, and a
// fault or a console command given to one address leaves the others alone.
TEST(SimProcess, ModulesAtSeveralAddressesShareTheLine) {
    SimProcess sim({"--address", "1-3", "--fault", "2:silent"});
    ASSERT_TRUE(sim.started());
    ASSERT_EQ(sim.command("@3 set 272 33"), "ok");
    ASSERT_EQ(sim.command("@1 set 272 11"), "ok");
    const auto read = [&](int slave) {
        return runTool("mbpoll", mbpollArgs(9600, slave) + QStringList{"-r", "272", sim.link()});
    };
    ToolResult r = read(1);
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_EQ(mbpollValues(r.out), (QMap<int, int>{{272, 11}}));
    r = read(3);
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_EQ(mbpollValues(r.out), (QMap<int, int>{{272, 33}}));
    r = read(2);
    EXPECT_NE(r.exitCode, 0) << r.out.toStdString();
    EXPECT_TRUE(mbpollValues(r.out).isEmpty());
    // No module at 4: nobody answers.
    r = read(4);
    EXPECT_NE(r.exitCode, 0) << r.out.toStdString();
    // Every module heard every frame; the silent one answered none.
    EXPECT_EQ(sim.command("@3 stats").section(' ', 2), "replies=1");
    EXPECT_EQ(sim.command("@2 stats").section(' ', 2), "replies=0");
    EXPECT_EQ(sim.command("@2 silent off"), "ok");
    r = read(2);
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_EQ(sim.command("@9 stats"), "error no module at address 9");
    // A command without an address goes to every module.
    ASSERT_EQ(sim.command("set 272 7"), "ok");
    EXPECT_EQ(sim.command("@2 get 272"), "ok 7");
    EXPECT_EQ(sim.command("@3 get 272"), "ok 7");
}

// On TCP the simulator serves the line's raw bytes, as a serial device server does: pymodbus's RTU
// framer over a TCP connection reads what the module holds, at each address of a bus.
TEST(SimProcess, ServesTheLineOnTcpToAnIndependentMaster) {
    QProcess sim;
    sim.start(QStringLiteral(KX_SIM_EXE),
              {"--tcp", "0", "--address", "1-2", "--data", QStringLiteral(KX_SIM_DATA_DIR)});
    ASSERT_TRUE(sim.waitForStarted(kWaitMs));
    ASSERT_TRUE(sim.waitForReadyRead(kWaitMs));
    const QString url = QString::fromUtf8(sim.readLine()).trimmed();
    ASSERT_TRUE(url.startsWith("tcp://127.0.0.1:")) << url.toStdString();
    const QString port = url.section(':', 2);
    sim.write("@2 set 272 4242\n");
    ASSERT_TRUE(sim.waitForReadyRead(kWaitMs));
    EXPECT_EQ(QString::fromUtf8(sim.readLine()).trimmed(), "ok");
    ToolResult r = python("pymodbus_rtu_over_tcp.py", {"127.0.0.1", port, "2", "272", "1"});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_EQ(r.out.trimmed(), "4242");
    r = python("pymodbus_rtu_over_tcp.py", {"127.0.0.1", port, "1", "272", "1"});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_NE(r.out.trimmed(), "4242");
    // A second connection after the first closed is served as well (above), and a bad option
    // is refused.
    QProcess bad;
    bad.start(QStringLiteral(KX_SIM_EXE), {"--tcp", "nowhere:x"});
    ASSERT_TRUE(bad.waitForFinished(kWaitMs));
    EXPECT_NE(bad.exitCode(), 0);
    EXPECT_TRUE(bad.readAllStandardError().contains("--tcp nowhere:x"));
    sim.terminate();
    EXPECT_TRUE(sim.waitForFinished(kWaitMs));
}

// python3-serial's RFC 2217 client sets the remote line; the module answers only a line of its
// own frame format, parity included (a pty could not carry it).
TEST(SimProcess, Rfc2217ClientSetsTheLineTheModuleHears) {
    SimProcess sim({"--rfc2217", "0"});
    ASSERT_TRUE(sim.started()) << sim.device().toStdString();
    ASSERT_TRUE(sim.device().startsWith("rfc2217://127.0.0.1:")) << sim.device().toStdString();
    const QString port = sim.device().section(':', 2);
    ASSERT_EQ(sim.command("set 272 6666"), "ok");
    // Read 272 (one register): 01 03 01 10 00 01 84 33; 6666 = 1A0A.
    const QString request = "0103011000018433";
    const auto exchange = [&](const char* parity) {
        const ToolResult r = python("rfc2217_exchange.py", {port, parity, "1", request});
        EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
        return r.out.trimmed();
    };
    EXPECT_TRUE(exchange("N").startsWith("0103021A0A"));
    EXPECT_EQ(sim.command("line"), "ok baud=9600 parity=0 stop=1");
    // A module without parity takes the host's parity bit for a stop bit.
    EXPECT_TRUE(exchange("E").startsWith("0103021A0A"));
    ASSERT_EQ(sim.command("format 2"), "ok"); // E,1S: only even parity is heard
    EXPECT_TRUE(exchange("E").startsWith("0103021A0A"));
    EXPECT_EQ(sim.command("line"), "ok baud=9600 parity=2 stop=1");
    EXPECT_EQ(exchange("N"), "none");
    EXPECT_EQ(exchange("O"), "none");
    // 0xFF in the reply's data travels doubled on the wire and arrives single.
    ASSERT_EQ(sim.command("set 272 65535"), "ok");
    EXPECT_TRUE(exchange("E").startsWith("010302FFFF")) << exchange("E").toStdString();
}

TEST(SimProcess, SilentAtOtherBaudRateOrWhenToldTo) {
    SimProcess sim;
    auto r = mbpollRead(sim, 257, 3, 19200);
    EXPECT_NE(r.exitCode, 0) << r.out.toStdString();
    EXPECT_TRUE(mbpollValues(r.out).isEmpty());
    ASSERT_EQ(sim.command("baud 4"), "ok");
    r = mbpollRead(sim, 257, 3, 19200);
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
    ASSERT_EQ(sim.command("silent on"), "ok");
    r = mbpollRead(sim, 257, 3, 19200);
    EXPECT_NE(r.exitCode, 0) << r.out.toStdString();
}

TEST(SimProcess, PymodbusReadsOutputListFromZero) {
    SimProcess sim;
    ASSERT_EQ(sim.command("set 270 1 3600 10"), "ok");
    ASSERT_EQ(sim.command("set 11300 3 272 270 271"), "ok");
    auto r = python("pymodbus_read.py", {sim.link(), "1", "0", "3"});
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_EQ(r.out.split('\n').value(0), "10 1 3600");
    // The largest standard read.
    r = python("pymodbus_read.py", {sim.link(), "1", "1000", "125"});
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_EQ(r.out.split('\n').value(0).split(' ').size(), 125);
}

TEST(SimProcess, ProtocolSwitchThenOnlyDlt645IsAnswered) {
    SimProcess sim;
    auto r = runTool("mbpoll", mbpollArgs() + QStringList{"-r", "11023", sim.link(), "1"});
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
    r = mbpollRead(sim, 257, 3);
    EXPECT_NE(r.exitCode, 0) << r.out.toStdString();
    // DL/T 645-1997 write of the tariff count (DI C313, value 04) to meter address 01.
    r = python("dlt645_exchange.py", {sim.link(), "6801000000000068040346f6374b16"});
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_TRUE(r.out.startsWith("68010000000000688400")) << r.out.toStdString();
    EXPECT_EQ(sim.command("get 286"), "ok 4");
}

TEST(SimProcess, PacedReplyTakesAtLeastItsLineTime) {
    SimProcess sim({"--pace"});
    const auto r = python("pymodbus_read.py", {sim.link(), "1", "1000", "125"});
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
    // 255 bytes of 10 bits at 9600 baud: 266 ms on the line at least, however fast the machine.
    EXPECT_GE(r.out.split('\n').value(1).toDouble(), 0.26) << r.out.toStdString();
}

// libmodbus (inside mbpoll) checks what our own host does not: the answering address, and it
// waits for the whole reply. Each misbehaviour must make a real master fail, and switching it
// off must bring the module back.
class SimMisbehaviourOverPty : public ::testing::TestWithParam<const char*> {};

TEST_P(SimMisbehaviourOverPty, RealMasterFailsThenRecovers) {
    SimProcess sim({"--late-ms", "1500"});
    const QString name = GetParam();
    ASSERT_EQ(sim.command(name + " on"), "ok");
    const QStringList args =
        QStringList{"-m", "rtu", "-a", "1", "-b", "9600", "-P", "none", "-s",      "1",
                    "-0", "-1",  "-o", "1", "-r", "270",  "-c", "2",    sim.link()};
    auto r = runTool("mbpoll", args);
    EXPECT_NE(r.exitCode, 0) << r.out.toStdString();
    EXPECT_TRUE(mbpollValues(r.out).isEmpty()) << r.out.toStdString();
    ASSERT_EQ(sim.command(name + " off"), "ok");
    r = runTool("mbpoll", args);
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Faults, SimMisbehaviourOverPty,
                         ::testing::Values("silent", "badcrc", "short", "late", "fe", "wrongaddr"),
                         [](const auto& info) { return std::string(info.param); });

TEST(SimProcess, PowerOnWindowAnswersModbusWhateverTheProtocol) {
    // A long window: the assertion is about the configuration, not about speed.
    SimProcess sim({"--protocol", "3", "--format", "0", "--powercycle", "--power-window", "120"});
    auto r = mbpollRead(sim, 270, 2);
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_EQ(sim.command("status"), "ok address=1 protocol=0 format=3 baud=9600 window=1");
}

TEST(SimProcess, FlashCommitSurvivesRestartWithSameStateFile) {
    QTemporaryDir dir;
    const QString state = dir.filePath("module.flash");
    {
        SimProcess sim({"--state", state});
        auto r = runTool("mbpoll",
                         mbpollArgs() + QStringList{"-r", "12000", sim.link(), "1000", "1001"});
        ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
        r = runTool("mbpoll", mbpollArgs() + QStringList{"-r", "13000", sim.link(), "0", "43605"});
        ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
        EXPECT_EQ(sim.stop(), 0);
    }
    SimProcess again({"--state", state});
    EXPECT_EQ(again.command("get 12000 3"), "ok 1000 1001 0");
}

TEST(SimProcess, TwoStopBitFormatHearsOnlyTwoStopBits) {
    SimProcess sim({"--format", "0"});
    auto args = [&](const char* stopBits) {
        return QStringList{"-m", "rtu", "-a", "1", "-b", "9600", "-P", "none", "-s",      stopBits,
                           "-0", "-1",  "-o", "1", "-r", "270",  "-c", "2",    sim.link()};
    };
    auto r = runTool("mbpoll", args("1"));
    EXPECT_NE(r.exitCode, 0) << r.out.toStdString();
    r = runTool("mbpoll", args("2"));
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_EQ(sim.command("stats"), "ok requests=2 replies=1");
}
