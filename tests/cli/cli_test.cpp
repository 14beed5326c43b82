// kx7410-cli as a process, on the station's data folder, against kx7410-sim on a real
// pseudo-terminal: a bus of eight modules of which two are faulty, the bad-input table (nothing
// sent), the text and JSON outputs, the records, the trace, a port that cannot open and Ctrl-C.

#include "device_server.h"
#include "sim_process.h"
#include "store/database.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>

namespace {

constexpr const char* kModel = "KX7410M31-01";

struct CliResult {
    int exitCode = -1;
    QString out;
    QString err;
};

// A data folder of its own: the shipped Config.ini; Config.db is made by the first command.
class Station {
public:
    Station() {
        QFile::copy(QStringLiteral(KX_SIM_DATA_DIR "/Config.ini"), dir_.filePath("Config.ini"));
    }
    QString path() const { return dir_.path(); }
    QString database() const { return dir_.filePath("Config.db"); }

    CliResult run(const QStringList& args, int timeoutMs = 150000) const {
        QProcess p;
        p.start(QStringLiteral(KX_CLI_EXE), QStringList{"--data", path()} + args);
        CliResult r;
        if (!p.waitForStarted(kToolWaitMs)) return r;
        if (!p.waitForFinished(timeoutMs)) {
            p.kill();
            p.waitForFinished();
            return r;
        }
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

private:
    QTemporaryDir dir_;
};

QList<QJsonObject> JsonLines(const QString& text) {
    QList<QJsonObject> objects;
    for (const QString& line : text.split('\n', Qt::SkipEmptyParts)) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8(), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        objects << doc.object();
    }
    return objects;
}

// A bus of modules set up as the model's configuration download leaves them.
QStringList BusArgs(const Station& station, const QString& addresses, QStringList more = {}) {
    return QStringList{"--address", addresses, "--model", kModel, "--db", station.database()} +
           more;
}

TEST(Cli, EightModulesOnOneBusTwoOfThemFaulty) {
    Station station;
    ASSERT_EQ(station.run({"models"}).exitCode, 0);
    SimProcess sim(BusArgs(station, "1-8", {"--error", "3:Pa=5", "--fault", "5:silent"}));
    ASSERT_TRUE(sim.started());
    const CliResult r = station.run({"check", "--port", sim.link(), "--address", "1-8", "--model",
                                     kModel, "--point", "100,100,0,50", "--json"});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    const QList<QJsonObject> lines = JsonLines(r.out);
    ASSERT_EQ(lines.size(), 9) << r.out.toStdString();
    for (int i = 0; i < 8; ++i) {
        const QJsonObject unit = lines[i];
        const int address = i + 1;
        EXPECT_EQ(unit["address"].toInt(), address);
        EXPECT_EQ(unit["model"].toString(), kModel);
        const QString expected = address == 3 ? "fail" : address == 5 ? "not answering" : "pass";
        EXPECT_EQ(unit["verdict"].toString(), expected) << address;
        const QJsonArray quantities = unit["quantities"].toArray();
        if (address == 5) {
            EXPECT_TRUE(quantities.isEmpty());
            continue;
        }
        // Every quantity of the scheme, judged; on unit 3 exactly the one given an error fails.
        EXPECT_EQ(quantities.size(), 26) << address;
        for (const QJsonValue& v : quantities) {
            const QJsonObject q = v.toObject();
            const bool pushedOut = address == 3 && q["quantity"].toString() == "Pa";
            EXPECT_EQ(q["passed"].toBool(), !pushedOut)
                << address << q["name"].toString().toStdString();
            EXPECT_TRUE(q["expected"].isDouble());
            EXPECT_TRUE(q["limit"].isDouble());
            if (pushedOut) {
                EXPECT_DOUBLE_EQ(q["expected"].toDouble(), 1100);
                EXPECT_NEAR(q["measured"].toDouble(), 1155, 0.5);
                EXPECT_NEAR(q["error"].toDouble(), 5, 0.05);
            }
        }
        EXPECT_EQ(unit["failures"].toInt(), address == 3 ? 1 : 0);
    }
    const QJsonObject summary = lines[8]["summary"].toObject();
    EXPECT_EQ(summary["units"].toInt(), 8);
    EXPECT_EQ(summary["passed"].toInt(), 6);
    EXPECT_EQ(summary["failed"].toInt(), 1);
    EXPECT_EQ(summary["not_answering"].toInt(), 1);
    EXPECT_FALSE(summary["stopped"].toBool());

    // Each unit was recorded as the window records it.
    const CliResult list = station.run({"records", "list", "--json"});
    ASSERT_EQ(list.exitCode, 0) << list.err.toStdString();
    const QList<QJsonObject> records = JsonLines(list.out);
    ASSERT_EQ(records.size(), 8);
    EXPECT_EQ(records[0]["address"].toInt(), 8); // newest first
    EXPECT_EQ(records[5]["verdict_text"].toString(), QStringLiteral("不合格"));
    EXPECT_EQ(records[3]["verdict_text"].toString(), QStringLiteral("无应答"));
    EXPECT_EQ(records[0]["protocol"].toString(), "MODBUS_RTU");
    EXPECT_EQ(records[0]["line"].toString(), "9600,N,8,1");
}

// Bad usage and bad data: exit 3, a message naming what is wrong, and not one frame on the line.
TEST(Cli, BadInputIsRefusedBeforeAnythingIsSent) {
    Station station;
    ASSERT_EQ(station.run({"models"}).exitCode, 0);
    SimProcess sim(BusArgs(station, "1"));
    ASSERT_TRUE(sim.started());
    const QStringList check{"check", "--port", sim.link(), "--model", kModel};
    struct Case {
        QStringList args;
        const char* named;
    };
    const Case cases[] = {
        {{"frobnicate"}, "frobnicate"},
        {{"check", "--port", sim.link(), "--model", "NOPE", "--point", "100,100,0,50"}, "NOPE"},
        {{"check", "--port", "/nonexistent/ttyX", "--model", kModel, "--point", "100,100,0,50"},
         "/nonexistent/ttyX"},
        {check + QStringList{"--point", "100,100,0"}, "100,100,0"},
        {check + QStringList{"--point", "100,100,0,51"}, "100,100,0,51"},
        {check + QStringList{"--point", "abc"}, "abc"},
        {check + QStringList{"--point", "100,100,0,50", "--address", "0"}, "\"0\""},
        {check + QStringList{"--point", "100,100,0,50", "--address", "256"}, "256"},
        {check + QStringList{"--point", "100,100,0,50", "--address", "1-300"}, "300"},
        {check + QStringList{"--point", "100,100,0,50", "--bogus"}, "--bogus"},
        {check + QStringList{"--point", "100,100,0,50", "--settle", "0"}, "--settle"},
        {check + QStringList{"--point", "100,100,0,50", "--address", "1,2", "--serial", "A"},
         "--serial"},
        {check, "--point"},
        {{"records", "show", "77"}, "77"},
        {{"records", "fly"}, "fly"},
        {{"plans", "--model", "NOPE"}, "NOPE"},
    };
    for (const Case& c : cases) {
        const CliResult r = station.run(c.args);
        EXPECT_EQ(r.exitCode, 3) << c.args.join(' ').toStdString() << "\n" << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.named)))
            << c.args.join(' ').toStdString() << "\n"
            << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    }
    EXPECT_EQ(sim.command("stats"), "ok requests=0 replies=0");
}

TEST(Cli, TextOutputSerialNumbersRecordsAndTheirExport) {
    Station station;
    ASSERT_EQ(station.run({"models"}).exitCode, 0);
    SimProcess sim(BusArgs(station, "1,2"));
    ASSERT_TRUE(sim.started());
    const CliResult r =
        station.run({"check", "--port", sim.link(), "--address", "1,2", "--model", kModel,
                     "--point", "100,100,0,50", "--serial", QStringLiteral("A-1,“引号”\"2"),
                     "--operator", QStringLiteral("张工")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2 * 27 + 1) << r.out.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("unit 1  serial A-1  合格"));
    EXPECT_EQ(lines[27], QStringLiteral("unit 2  serial “引号”\"2  合格"));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("  A相电压\tUa\texpected 220.000 V\tmeasured "
                                                   "220.000 V\terror 0.000 %\tlimit ")))
        << lines[1].toStdString();
    EXPECT_EQ(lines.last(), "units 2, passed 2, failed 0, not answering 0");
    // Progress went to standard error, one plain line at a time (no terminal here).
    EXPECT_TRUE(r.err.contains("unit 2/2 (address 2): 3/3 good cycles")) << r.err.toStdString();

    const QList<QJsonObject> records = JsonLines(station.run({"records", "list", "--json"}).out);
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(records[0]["serial"].toString(), QStringLiteral("“引号”\"2"));
    EXPECT_EQ(records[1]["operator"].toString(), QStringLiteral("张工"));
    const QString id = QString::number(records[1]["id"].toInt());
    const CliResult shown = station.run({"records", "show", id, "--json"});
    ASSERT_EQ(shown.exitCode, 0);
    const QJsonObject whole = JsonLines(shown.out).value(0);
    EXPECT_EQ(whole["serial"].toString(), "A-1");
    EXPECT_EQ(whole["quantities"].toArray().size(), 26);
    EXPECT_EQ(station.run({"records", "list", "--serial", "A-"}).out.count('\n'), 1);

    const QString csv = QDir(station.path()).filePath("out.csv");
    const CliResult exported = station.run({"records", "export", "--csv", csv});
    ASSERT_EQ(exported.exitCode, 0) << exported.err.toStdString();
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    // A header and a line for each quantity of each record.
    EXPECT_EQ(text.count(QStringLiteral("\r\n")), 1 + 2 * 26);
    const QString xlsx = QDir(station.path()).filePath("one.xlsx");
    ASSERT_EQ(station.run({"records", "export", "--xlsx", xlsx, id}).exitCode, 0);
    EXPECT_TRUE(QFile::exists(xlsx));
    // The report of each unit, the address before the suffix.
    const QString report = QDir(station.path()).filePath("report.xlsx");
    const CliResult reported =
        station.run({"check", "--port", sim.link(), "--address", "1,2", "--model", kModel,
                     "--point", "100,100,0,50", "--xlsx", report});
    ASSERT_EQ(reported.exitCode, 0) << reported.err.toStdString();
    for (const char* name : {"report-1.xlsx", "report-2.xlsx"})
        EXPECT_GT(QFileInfo(QDir(station.path()).filePath(name)).size(), 0) << name;
}

TEST(Cli, TraceShowsTheDecodedTrafficOnStandardError) {
    Station station;
    ASSERT_EQ(station.run({"models"}).exitCode, 0);
    SimProcess sim(BusArgs(station, "1"));
    ASSERT_TRUE(sim.started());
    const CliResult r = station.run({"check", "--port", sim.link(), "--model", kModel, "--point",
                                     "100,100,0,50", "--trace", "--settle", "1"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("发送 01 03 00 00 00 2B"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("地址 1 功能 03 字节数 86 CRC 正确")))
        << r.err.toStdString();
    EXPECT_FALSE(r.out.contains(QStringLiteral("发送")));
}

TEST(Cli, APortThatCannotOpenIsACommunicationFailure) {
    Station station;
    const CliResult r =
        station.run({"check", "--port", "/dev/null", "--model", kModel, "--point", "100,100,0,50"});
    EXPECT_EQ(r.exitCode, 2) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("/dev/null")) << r.err.toStdString();
}

// A station pointed at a database server that is not there says so, with host and port, and
// a [Database] section it cannot use is named by its key; nothing is checked.
TEST(Cli, ADatabaseServerThatCannotBeReachedIsNamed) {
    const struct {
        const char* section;
        const char* says;
    } cases[] = {
        {"[Database]\nDriver=postgresql\nHost=127.0.0.1\nPort=1\nName=kx7410\nUser=station\n",
         "127.0.0.1:1"},
        {"[Database]\nDriver=oracle\n", "Driver"},
        {"[Database]\nDriver=postgresql\nHost=127.0.0.1\nPort=99999\nName=kx7410\n", "Port"},
    };
    for (const auto& c : cases) {
        Station station;
        QFile ini(QDir(station.path()).filePath("Config.ini"));
        ASSERT_TRUE(ini.open(QIODevice::Append));
        ini.write(QByteArray("\r\n") + c.section);
        ini.close();
        const CliResult r = station.run({"models"});
        EXPECT_EQ(r.exitCode, 3) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(station.database()));
    }
}

// Ctrl-C stops at the next transaction boundary; the unit being checked is reported as it stood
// and the summary still comes.
TEST(Cli, InterruptStopsTheRunAndStillPrintsTheSummary) {
    Station station;
    ASSERT_EQ(station.run({"models"}).exitCode, 0);
    SimProcess sim(BusArgs(station, "1-3", {"--fault", "1:silent"}));
    ASSERT_TRUE(sim.started());
    QProcess p;
    p.start(QStringLiteral(KX_CLI_EXE),
            {"--data", station.path(), "check", "--port", sim.link(), "--address", "1-3", "--model",
             kModel, "--point", "100,100,0,50", "--cycles", "100000", "--json"});
    ASSERT_TRUE(p.waitForStarted(kToolWaitMs));
    p.setReadChannel(QProcess::StandardError);
    // The first cycle of the silent unit has ended: the run is under way.
    QByteArray err;
    while (!err.contains("0/3 good cycles")) {
        ASSERT_TRUE(p.waitForReadyRead(kToolWaitMs)) << err.toStdString();
        err += p.readAllStandardError();
    }
    ::kill(pid_t(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(kToolWaitMs));
    EXPECT_EQ(p.exitCode(), 2); // the unit checked did not answer, none failed
    const QList<QJsonObject> lines = JsonLines(QString::fromUtf8(p.readAllStandardOutput()));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0]["address"].toInt(), 1);
    EXPECT_EQ(lines[0]["verdict"].toString(), "not answering");
    const QJsonObject summary = lines[1]["summary"].toObject();
    EXPECT_EQ(summary["units"].toInt(), 1);
    EXPECT_TRUE(summary["stopped"].toBool());
    // Units 2 and 3 were never asked.
    EXPECT_EQ(sim.command("@2 stats").section(' ', 2), "replies=0");
}

// The clock and the clears of the window's pages, to one module of a bus, with the window's
// messages and frames.
TEST(Cli, ClockAndClearsTalkToOneModule) {
    Station station;
    ASSERT_EQ(station.run({"models"}).exitCode, 0);
    SimProcess sim(BusArgs(station, "1-2"));
    ASSERT_TRUE(sim.started());
    const QString untouched = sim.command("@1 get 257 3");
    CliResult r = station.run(
        {"clock", "set", "--port", sim.link(), "--address", "2", "--time", "2031-02-03 04:05:06"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("校时成功!!\n"));
    // Binary bytes, year of the century first, in one write of three registers.
    EXPECT_EQ(sim.command("@2 last"), "ok 02 10 01 01 00 03 06 1F 02 03 04 05 06 0F 02");
    EXPECT_EQ(sim.command("@1 get 257 3"), untouched);
    r = station.run({"clock", "read", "--port", sim.link(), "--address", "2"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("2031-02-03 04:0")) << r.out.toStdString();

    r = station.run({"clear", "energy", "--port", sim.link(), "--address", "2", "--model", kModel});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("清电能数据成功！\n"));
    r = station.run({"clear", "demand", "--port", sim.link(), "--address", "2", "--model", kModel});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("清需量数据成功！\n"));
    EXPECT_EQ(sim.command("@1 stats").section(' ', 2), "replies=0");

    // Nobody at 3: the window's failure message, a communication failure.
    r = station.run({"clock", "read", "--port", sim.link(), "--address", "3"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, QStringLiteral("读时间失败！！\n"));
    for (const QStringList& bad :
         {QStringList{"clock", "turn", "--port", sim.link()},
          QStringList{"clock", "set", "--port", sim.link(), "--time", "2031-13-01 00:00:00"},
          QStringList{"clock", "read", "--port", sim.link(), "--address", "1-2"},
          QStringList{"clear", "energy", "--port", sim.link()},
          QStringList{"clear", "water", "--port", sim.link(), "--model", kModel}}) {
        r = station.run(bad);
        EXPECT_EQ(r.exitCode, 3) << bad.join(' ').toStdString();
    }
}

// The switches of the calibration page: the module gets the model's protocol and frame format and
// the port (and Config.ini) follow; after a power cycle the state entry brings it back to Modbus
// N,1S, and the configuration reads back over the settings kept.
TEST(Cli, ProtocolSwitchStateEntryAndReadBack) {
    Station station;
    ASSERT_EQ(station.run({"models"}).exitCode, 0);
    SimProcess sim(BusArgs(station, "1"));
    ASSERT_TRUE(sim.started());
    CliResult r = station.run({"switch-protocol", "--port", sim.link(), "--model", "KX7410Y35-01"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("配置<通信协议>和<比特率格式>成功！\n"));
    EXPECT_EQ(sim.command("status").section(' ', 1, 3), "address=1 protocol=3 format=0");
    QFile ini(QDir(station.path()).filePath("Config.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_TRUE(ini.readAll().contains("stopbits=1")); // two stop bits for "N无,2S"
    ini.close();

    ASSERT_EQ(sim.command("powercycle"), "ok");
    r = station.run({"enter-calibration", "--port", sim.link(), "--yes"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("进入标定状态成功,可以进行产品标定！\n"));
    EXPECT_EQ(sim.registers(269), QList<int>{3});
    EXPECT_EQ(sim.registers(11023), QList<int>{0});
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_TRUE(ini.readAll().contains("stopbits=0"));
    ini.close();

    ASSERT_EQ(sim.command("set 272 1234"), "ok");
    r = station.run({"read-config", "--port", sim.link(), "--words"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1 + 44 + 30) << r.out.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("读配置数据成功！！"));
    EXPECT_TRUE(lines.contains("272=1234"));
    EXPECT_TRUE(lines.contains("11023=0"));
    // By default the fields, as the page names them.
    r = station.run({"read-config", "--port", sim.link()});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1 + 60) << r.out.toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("启动电流=1234")));
}

// 标定完成: the backup of the calibration area, then the flash write, each kept as a record.
TEST(Cli, FlashKeepsABackupAndARecordOfWhatItWrote) {
    Station station;
    ASSERT_EQ(station.run({"models"}).exitCode, 0);
    SimProcess sim(BusArgs(station, "1"));
    ASSERT_TRUE(sim.started());
    ASSERT_EQ(sim.command("set 12000 4321"), "ok");
    const CliResult r =
        station.run({"flash", "--port", sim.link(), "--model", kModel, "--serial", "F-7"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("成功"))) << r.out.toStdString();
    const QList<QJsonObject> records =
        JsonLines(station.run({"records", "list", "--kind", "calibration", "--json"}).out);
    ASSERT_EQ(records.size(), 2);
    const QJsonObject step =
        JsonLines(
            station.run({"records", "show", QString::number(records[0]["id"].toInt()), "--json"})
                .out)
            .value(0);
    const QJsonObject backup =
        JsonLines(
            station.run({"records", "show", QString::number(records[1]["id"].toInt()), "--json"})
                .out)
            .value(0);
    EXPECT_EQ(step["serial"].toString(), "F-7");
    EXPECT_EQ(step["verdict"].toString(), "pass");
    EXPECT_TRUE(
        step["details"].toString().startsWith(QStringLiteral("step=标定完成(清除标定状态标志)\n")));
    EXPECT_TRUE(step["details"].toString().contains("written.13001=43605"));
    EXPECT_TRUE(backup["details"].toString().contains("backup.12000=4321"))
        << backup["details"].toString().toStdString();
}

// A segment's calibration step by step, each step an invocation of its own: the module ends with
// the words the window's run leaves (raw words 20000 at the rated point, angles 120, 135, 110,
// 550 W measured at 60 degrees against a source 1 % lower), and the power compensation takes the
// VIP averages from the VIP step's record.
TEST(Cli, CalibrationStepsLeaveWhatTheWindowsRunLeaves) {
    Station station;
    ASSERT_EQ(station.run({"models"}).exitCode, 0);
    SimProcess sim;
    ASSERT_TRUE(sim.started());
    ASSERT_EQ(sim.command("point 100 100 0 50"), "ok");
    const QStringList common{"--port",    sim.link(), "--model",  kModel,
                             "--segment", "1",        "--serial", "C-1"};
    const auto step = [&](const QString& name, QStringList more = {}) {
        return station.run(QStringList{"calibrate", name} + common + more);
    };
    // Without a VIP step on record the power compensation is refused before anything is sent.
    CliResult r = step("power", {"--true-power", "500"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.out, QStringLiteral("未做VIP标定(平均功率数据为0),不计算功率补偿系数!!\n"));
    EXPECT_EQ(sim.command("stats"), "ok requests=0 replies=0");

    r = step("vip");
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("写 1 段VIP标定数据成功!"))) << r.out.toStdString();
    EXPECT_EQ(sim.registers(12000, 9), QList<int>(9, 20000));
    r = step("phase");
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_EQ(sim.registers(12021, 3), (QList<int>{70, 79, 64}));
    r = step("reset");
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_TRUE(r.out.endsWith(QStringLiteral("初始50HZ功率校正系数完成!\n")));
    ASSERT_EQ(sim.command("point angle=60"), "ok");
    r = step("power", {"--true-power", QString::number(550 / 1.01, 'g', 17)});
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_EQ(sim.registers(12009, 6),
              (QList<int>{10000, 10000, 10000, 65536 - 58, 65536 - 58, 65536 - 58}));
    EXPECT_EQ(r.out.count(QStringLiteral("写相位补偿系数成功 K2:-58 -58 -58")), 3);
    r = station.run({"flash", "--port", sim.link(), "--model", kModel, "--serial", "C-1"});
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_EQ(sim.registers(13000, 2), (QList<int>{0, 0xAA55}));

    // A backup before each step and a record of each step, newest first.
    const QList<QJsonObject> records =
        JsonLines(station.run({"records", "list", "--kind", "calibration", "--json"}).out);
    ASSERT_EQ(records.size(), 10);
    for (const QJsonObject& record : records)
        EXPECT_EQ(record["serial"].toString(), "C-1");

    for (const QStringList& bad :
         {QStringList{"calibrate", "dance"} + common,
          QStringList{"calibrate", "vip", "--port", sim.link(), "--model", kModel},
          QStringList{"calibrate", "vip", "--true-power", "5"} + common,
          QStringList{"calibrate", "power", "--true-power", "-5"} + common,
          QStringList{"calibrate", "phase", "--frequency", "55"} + common}) {
        r = station.run(bad);
        EXPECT_EQ(r.exitCode, 3) << bad.join(' ').toStdString() << r.err.toStdString();
    }
}

// A three-point plan on a bus of two: before each point the run asks for the source (the test sets
// the simulator there and presses Enter); each unit's one record holds the three points.
TEST(Cli, APlanChecksEveryUnitAtEveryPoint) {
    Station station;
    ASSERT_EQ(station.run({"models"}).exitCode, 0);
    {
        ProductDatabase db(station.database());
        ASSERT_EQ(db.Open(QStringLiteral(KX_SIM_DATA_DIR)), QString());
        ASSERT_TRUE(db.SavePlan({kModel,
                                 QStringLiteral("三点"),
                                 {{100, 100, 0, 50}, {100, 100, 60, 50}, {50, 50, 0, 50}}}));
    }
    SimProcess sim(BusArgs(station, "1-2", {"--error", "2:Pa=5"}));
    ASSERT_TRUE(sim.started());
    QProcess p;
    p.start(QStringLiteral(KX_CLI_EXE),
            {"--data", station.path(), "check", "--port", sim.link(), "--address", "1-2", "--model",
             kModel, "--plan", QStringLiteral("三点"), "--json"});
    ASSERT_TRUE(p.waitForStarted(kToolWaitMs));
    p.setReadChannel(QProcess::StandardError);
    const char* const sources[] = {"point 100 100 0 50", "point 100 100 60 50", "point 50 50 0 50"};
    QByteArray err;
    for (int k = 1; k <= 3; ++k) {
        const QByteArray prompt = QStringLiteral("测试点 %1/3").arg(k).toUtf8();
        while (!err.contains(prompt)) {
            ASSERT_TRUE(p.waitForReadyRead(60000)) << err.toStdString();
            err += p.readAllStandardError();
        }
        ASSERT_EQ(sim.command(sources[k - 1]), "ok");
        p.write("\n");
    }
    ASSERT_TRUE(p.waitForFinished(120000));
    EXPECT_EQ(p.exitCode(), 1);
    const QList<QJsonObject> lines = JsonLines(QString::fromUtf8(p.readAllStandardOutput()));
    ASSERT_EQ(lines.size(), 3);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(lines[i]["address"].toInt(), i + 1);
        EXPECT_EQ(lines[i]["plan"].toString(), QStringLiteral("三点"));
        const QJsonArray points = lines[i]["points"].toArray();
        ASSERT_EQ(points.size(), 3);
        EXPECT_EQ(points[1].toObject()["angle"].toDouble(), 60);
        EXPECT_EQ(points[2].toObject()["voltage_percent"].toDouble(), 50);
        for (const QJsonValue& point : points)
            EXPECT_EQ(point.toObject()["verdict"].toString(), i == 0 ? "pass" : "fail");
        EXPECT_EQ(lines[i]["quantities"].toArray().size(), 3 * 26);
    }
    EXPECT_EQ(lines[0]["verdict"].toString(), "pass");
    EXPECT_EQ(lines[1]["verdict"].toString(), "fail");
    EXPECT_EQ(JsonLines(station.run({"records", "list", "--json"}).out).size(), 2);
}

// 下载配置 from the command line: the page's defaults changed by a file of the lines read-config
// prints, read back field by field and recorded; a file line that cannot be sent stops it first.
TEST(Cli, DownloadConfigWritesTheFieldsAndReadsThemBack) {
    Station station;
    ASSERT_EQ(station.run({"models"}).exitCode, 0);
    SimProcess sim(BusArgs(station, "1-2"));
    ASSERT_TRUE(sim.started());
    const QString file = QDir(station.path()).filePath("golden.txt");
    const auto write = [&](const QByteArray& text) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    };
    write(QStringLiteral("# the line's own settings\n启动电流=15\n时段2时=8\n\n产品序列号3=00A7\n"
                         "电压额定值=100\n")
              .toUtf8());
    CliResult r = station.run({"download-config", "--port", sim.link(), "--address", "2", "--model",
                               kModel, "--fields", file, "--serial", "D-1"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("下载配置数据成功！\n"));
    EXPECT_TRUE(r.err.contains(QStringLiteral("下载配置 100%")));
    r = station.run({"read-config", "--port", sim.link(), "--address", "2"});
    ASSERT_EQ(r.exitCode, 0);
    const QStringList held = r.out.split('\n', Qt::SkipEmptyParts);
    for (const char* line : {"启动电流=15", "时段2时=8", "时段3时=13", "产品序列号3=00A7",
                             "电压额定值=100", "脉冲常数=3600", "过压限值=125"})
        EXPECT_TRUE(held.contains(QString::fromUtf8(line))) << line;
    EXPECT_EQ(sim.command("@1 stats").section(' ', 2), "replies=0");
    const QList<QJsonObject> records =
        JsonLines(station.run({"records", "list", "--kind", "download", "--json"}).out);
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0]["serial"].toString(), "D-1");
    EXPECT_EQ(records[0]["verdict"].toString(), "pass");

    // A field out of range, an unknown field, a line without "=": refused naming file and line.
    struct Bad {
        const char* text;
        const char* named;
    };
    for (const Bad& bad :
         {Bad{"启动电流=70000\n", ":1: 启动电流"}, Bad{"\n颜色=红\n", ":2: unknown field 颜色"},
          Bad{"启动电流\n", ":1: not field=value"}}) {
        write(QByteArray(bad.text));
        const int before = sim.command("@2 stats").section(' ', 1, 1).section('=', 1).toInt();
        r = station.run({"download-config", "--port", sim.link(), "--address", "2", "--model",
                         kModel, "--fields", file});
        EXPECT_EQ(r.exitCode, 3) << bad.text;
        EXPECT_TRUE(r.err.contains(file + QString::fromUtf8(bad.named))) << r.err.toStdString();
        EXPECT_EQ(sim.command("@2 stats").section(' ', 1, 1).section('=', 1).toInt(), before);
    }
}

// 下载配置 of the user page in each form, with the fields the window's test changes: the module
// holds them as it does after the window's download.
TEST(Cli, UserDownloadInEachForm) {
    Station station;
    ASSERT_EQ(station.run({"models"}).exitCode, 0);
    const QString file = QDir(station.path()).filePath("user.txt");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("电压变比PT=1200\n电流变比CT=75\n脉冲常数=3200\n时段12时=22\n"
                               "时段12分=30\n时段12费率号=3\n过压限值=120\n低通讯波特率使能=1\n"
                               "接线模式=1\n")
                    .toUtf8());
    }
    const struct {
        const char* form;
        int protocol;
    } forms[] = {{"modbus", 0}, {"1997", 1}, {"2007", 2}};
    for (const auto& f : forms) {
        SimProcess sim;
        ASSERT_TRUE(sim.started());
        ASSERT_EQ(sim.command(QStringLiteral("protocol %1").arg(f.protocol)), "ok");
        const CliResult r = station.run(
            {"user-download", "--port", sim.link(), "--form", f.form, "--fields", file});
        ASSERT_EQ(r.exitCode, 0) << f.form << r.out.toStdString() << r.err.toStdString();
        EXPECT_EQ(r.out, QStringLiteral("下载配置数据成功！\n"));
        EXPECT_EQ(sim.registers(271, 1), QList<int>{3200}) << f.form;
        EXPECT_EQ(sim.registers(273, 3), (QList<int>{1, 1200, 75})) << f.form;
        EXPECT_EQ(sim.registers(278), QList<int>{0xAA55}) << f.form;
        EXPECT_EQ(sim.registers(279), QList<int>{1200}) << f.form;
        EXPECT_EQ(sim.registers(302, 2), (QList<int>{22 * 256 + 30, 3})) << f.form;
    }
    const CliResult bad = station.run({"user-download", "--port", "/dev/null", "--form", "1998"});
    EXPECT_EQ(bad.exitCode, 3);
    EXPECT_TRUE(bad.err.contains("1998"));
}

// A check over tcp:// through a device server gives the grid a check over the pty gives; a refused
// connection names host and port; a connection dropped mid-poll fails the cycles, as a silent
// module does, and shows in the trace.
TEST(Cli, NetworkPortThroughADeviceServer) {
    Station station;
    ASSERT_EQ(station.run({"models"}).exitCode, 0);
    SimProcess sim(BusArgs(station, "1", {"--error", "Pb=2"}));
    ASSERT_TRUE(sim.started());
    const QStringList check{"check", "--model", kModel, "--point", "100,100,0,50", "--json"};
    const CliResult direct = station.run(check + QStringList{"--port", sim.link()});
    ASSERT_EQ(direct.exitCode, 1) << direct.err.toStdString();
    int port = FreePort();
    QString url = QStringLiteral("tcp://127.0.0.1:%1").arg(port);
    CliResult networked;
    {
        DeviceServer bridge(sim.device(), port);
        networked = station.run(check + QStringList{"--port", url});
    }
    ASSERT_EQ(networked.exitCode, 1) << networked.err.toStdString();
    const QJsonObject a = JsonLines(direct.out).value(0), b = JsonLines(networked.out).value(0);
    EXPECT_EQ(b["port"].toString(), url);
    const QJsonArray qa = a["quantities"].toArray(), qb = b["quantities"].toArray();
    ASSERT_EQ(qb.size(), qa.size());
    for (qsizetype i = 0; i < qa.size(); ++i)
        for (const char* key : {"name", "text", "passed"})
            EXPECT_EQ(qb[i].toObject()[key], qa[i].toObject()[key]) << i << key;

    const int closed = FreePort();
    const CliResult refused = station.run(
        check + QStringList{"--port", QStringLiteral("tcp://127.0.0.1:%1").arg(closed)});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("127.0.0.1:%1").arg(closed)))
        << refused.err.toStdString();
    const CliResult malformed = station.run(check + QStringList{"--port", "tcp://nowhere"});
    EXPECT_EQ(malformed.exitCode, 2);
    EXPECT_TRUE(malformed.err.contains("tcp://nowhere"));

    port = FreePort();
    url = QStringLiteral("tcp://127.0.0.1:%1").arg(port);
    DeviceServer bridge(sim.device(), port);
    QProcess p;
    p.start(QStringLiteral(KX_CLI_EXE),
            {"--data", station.path(), "check", "--port", url, "--model", kModel, "--point",
             "100,100,0,50", "--settle", "20", "--cycles", "20", "--trace", "--json"});
    ASSERT_TRUE(p.waitForStarted(kToolWaitMs));
    p.setReadChannel(QProcess::StandardError);
    QByteArray err;
    while (!err.contains("1/20 good cycles")) {
        ASSERT_TRUE(p.waitForReadyRead(60000)) << err.toStdString();
        err += p.readAllStandardError();
    }
    bridge.Kill();
    ASSERT_TRUE(p.waitForFinished(120000));
    err += p.readAllStandardError();
    EXPECT_EQ(p.exitCode(), 1); // answered, then never settled
    EXPECT_TRUE(QString::fromUtf8(err).contains(QStringLiteral("链路失败"))) << err.toStdString();
    const QJsonObject unit = JsonLines(QString::fromUtf8(p.readAllStandardOutput())).value(0);
    EXPECT_EQ(unit["verdict"].toString(), "not settled");
}

// Over RFC 2217 the line settings travel: a check, a frame-format switch to even parity (the
// simulator hears even parity from then on, and the check goes on over it), and back.
TEST(Cli, Rfc2217CarriesTheFrameFormatSwitch) {
    Station station;
    ASSERT_EQ(station.run({"models"}).exitCode, 0);
    SimProcess sim({"--rfc2217", "0", "--model", kModel, "--db", station.database()});
    ASSERT_TRUE(sim.started()) << sim.device().toStdString();
    const QString url = sim.device();
    const QStringList check{"check", "--port", url, "--model", kModel, "--point", "100,100,0,50"};
    CliResult r = station.run(check);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(sim.command("line"), "ok baud=9600 parity=0 stop=1");

    r = station.run({"switch-protocol", "--port", url, "--model", kModel, "--frame-format", "2"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("配置<通信协议>和<比特率格式>成功！\n"));
    EXPECT_EQ(sim.command("status").section(' ', 3, 3), "format=2");
    EXPECT_EQ(sim.command("line"), "ok baud=9600 parity=2 stop=1");
    r = station.run(check);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(sim.command("line"), "ok baud=9600 parity=2 stop=1");
    // A configuration download over the even line, read back field by field.
    r = station.run({"download-config", "--port", url, "--model", kModel});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("下载配置数据成功！\n"));

    // A request without parity is not heard now.
    QFile ini(QDir(station.path()).filePath("Config.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QByteArray even = ini.readAll();
    ini.close();
    ASSERT_TRUE(even.contains("parity=2"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write(QByteArray(even).replace("parity=2", "parity=0"));
    ini.close();
    EXPECT_EQ(station.run(check).exitCode, 2);
    EXPECT_EQ(sim.command("line"), "ok baud=9600 parity=0 stop=1");

    // Back: the power-on window hears 9600 N,1S, and the state entry sets the module so again.
    ASSERT_EQ(sim.command("powercycle"), "ok");
    r = station.run({"enter-calibration", "--port", url, "--yes"});
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_EQ(sim.command("status").section(' ', 3, 3), "format=3");
    EXPECT_EQ(station.run(check).exitCode, 0);
}

// Our RFC 2217 client against python3-serial's own server side (its PortManager bridging the
// simulator's pty): the check over rfc2217:// judges the unit as over the pty.
TEST(Cli, Rfc2217AgainstPythonSerialsPortManager) {
    Station station;
    ASSERT_EQ(station.run({"models"}).exitCode, 0);
    SimProcess sim(BusArgs(station, "1", {"--error", "Ua=1"}));
    ASSERT_TRUE(sim.started());
    const QStringList check{"check", "--model", kModel, "--point", "100,100,0,50", "--json"};
    const CliResult direct = station.run(check + QStringList{"--port", sim.link()});
    ASSERT_EQ(direct.exitCode, 1) << direct.err.toStdString();
    QProcess manager;
    manager.start("/usr/bin/python3",
                  {QStringLiteral(KX_CLI_TEST_DIR "/rfc2217_port_manager.py"), sim.device()});
    ASSERT_TRUE(manager.waitForStarted(kToolWaitMs));
    ASSERT_TRUE(manager.waitForReadyRead(kToolWaitMs))
        << manager.readAllStandardError().toStdString();
    const QString port = QString::fromUtf8(manager.readLine()).trimmed();
    const CliResult viaManager = station.run(
        check + QStringList{"--port", QStringLiteral("rfc2217://127.0.0.1:%1").arg(port)});
    EXPECT_EQ(viaManager.exitCode, 1) << viaManager.err.toStdString();
    EXPECT_FALSE(viaManager.err.contains(QStringLiteral("不支持"))) << viaManager.err.toStdString();
    const QJsonArray a = JsonLines(direct.out).value(0)["quantities"].toArray();
    const QJsonArray b = JsonLines(viaManager.out).value(0)["quantities"].toArray();
    ASSERT_EQ(b.size(), a.size());
    for (qsizetype i = 0; i < a.size(); ++i)
        for (const char* key : {"name", "text", "passed"})
            EXPECT_EQ(b[i].toObject()[key], a[i].toObject()[key]) << i << key;
    manager.waitForFinished(kToolWaitMs);
}

// A far side that does not speak RFC 2217 (the simulator's raw TCP line): the client gives up the
// COM port control within the connect timeout, says so, and goes on raw.
TEST(Cli, Rfc2217RefusedFallsBackToRawWithAWarning) {
    Station station;
    ASSERT_EQ(station.run({"models"}).exitCode, 0);
    SimProcess sim({"--tcp", "0", "--model", kModel, "--db", station.database()});
    ASSERT_TRUE(sim.started()) << sim.device().toStdString();
    QString url = sim.device();
    url.replace("tcp://", "rfc2217://");
    const CliResult r = station.run(
        {"check", "--port", url, "--model", kModel, "--point", "100,100,0,50", "--settle", "1"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("远端不支持 RFC 2217"))) << r.err.toStdString();
}

} // namespace
