// The real-time page against kx7410-sim on a pseudo-terminal: full checks for each protocol,
// the accuracy colours, stop and restart, a stop while the module is silent, loading failures,
// the protocol's share of the page, the export read back with openpyxl, and the one device session
// the check shares with every other operation (the curves among them).

#include "acquire/unit_check.h"
#include "gui/check/check_host.h"
#include "gui/check/check_page.h"
#include "gui/curves/curve_host.h"
#include "gui/curves/curve_page.h"
#include "gui/kit/messages.h"
#include "link/dlt645.h"
#include "link/modbus.h"
#include "link/open_failure.h"
#include "link/serial_link.h"
#include "link/traffic.h"
#include "recording_messages.h"
#include "session/device_session.h"
#include "store/ini_file.h"
#include "store/results.h"
#include "store/settings.h"

#include "check_fixture.h"
#include "device_server.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTableWidget>

namespace {

class FakeHost : public CheckHost {
public:
    explicit FakeHost(CheckDataFolder& folder) : folder_(folder) {}
    ~FakeHost() override { serial.Stop(); }
    bool portOpen() const override { return open; }
    quint8 moduleAddress() const override { return address; }
    QString modelText() const override { return model; }
    int protocol() const override { return txxy; }
    Link& link() override { return serial; }
    DeviceSession& session() override { return session_; }
    ProductDatabase& database() override { return folder_.database(); }
    QString dataFolder() const override { return folder_.path(); }
    void SetCheckControls(bool running) override { controlCalls << running; }
    ResultsDatabase* resultsDatabase() override { return resultsDb; }

    SerialLink serial;
    ResultsDatabase* resultsDb = nullptr;
    quint8 address = 1;
    bool open = true;
    QString model;
    int txxy = 0;
    QList<bool> controlCalls;

private:
    CheckDataFolder& folder_;
    DeviceSession session_{serial};
};

QTableWidget* Grid(CheckPage& page) {
    return page.findChild<QTableWidget*>(QStringLiteral("AdvStringGrid"));
}

QString Cell(CheckPage& page, int row, int column) {
    const QTableWidgetItem* item = Grid(page)->item(row, column);
    return item ? item->text() : QString();
}

bool IsRed(CheckPage& page, int row) {
    const QTableWidgetItem* item = Grid(page)->item(row, 2);
    return item && item->foreground().color() == QColor(255, 0, 0);
}

int RowOf(CheckPage& page, const QString& name) {
    for (int r = 2; r < Grid(page)->rowCount(); ++r)
        if (Cell(page, r, 1) == name) return r;
    return -1;
}

// Number, name and value of every data row and whether it is red, a line a row. Energies and the
// clock are left out: the module counts them up while it runs.
std::string GridRows(CheckPage& page) {
    QStringList rows;
    for (int r = 2; r < Grid(page)->rowCount(); ++r) {
        const QString name = Cell(page, r, 1);
        if (name.contains(QStringLiteral("电能")) || name == QStringLiteral("时间") ||
            name == QStringLiteral("日期"))
            continue;
        rows << QStringList{Cell(page, r, 0), name, Cell(page, r, 2),
                            IsRed(page, r) ? QStringLiteral("red") : QString()}
                    .join(' ');
    }
    return rows.join('\n').toStdString();
}

void Click(CheckPage& page, const char* radio) {
    auto* button = page.findChild<QRadioButton*>(QLatin1String(radio));
    ASSERT_NE(button, nullptr) << radio;
    button->setChecked(true);
}

QPushButton* Button(CheckPage& page, const char* name) {
    return page.findChild<QPushButton*>(QLatin1String(name));
}

// One model of the seed database with the simulator options that make it answer.
struct ProtocolCase {
    const char* name;
    const char* model;
    int txxy;
    QStringList simArgs;
    int stopBitsIndex; // frame format of the model: 0 = "N无,2S" needs two stop bits
    const char* caption;
};

void PrintTo(const ProtocolCase& c, std::ostream* os) {
    *os << c.name;
}

// The module under the page's test point: 100 %, 100 %, 60 degrees, 50 Hz.
const QStringList kMatchingPoint{"--voltage", "100", "--current",   "100",
                                 "--angle",   "60",  "--frequency", "50"};

void SelectMatchingPoint(CheckPage& page) {
    Click(page, "RButton_U100In");
    Click(page, "RButton_I100In");
    Click(page, "RButton_60d");
    Click(page, "RButton_50Hz");
}

// A page on a host whose port is open on a running simulator.
struct Bench {
    explicit Bench(const QString& model, int txxy, QStringList simArgs, int stopBitsIndex = 0)
        : sim(simArgs), host(folder) {
        host.model = model;
        host.txxy = txxy;
        opened = sim.started() && host.serial.Open(sim.link(), 3, 0, 2, stopBitsIndex);
        page = std::make_unique<CheckPage>(host);
        page->ApplyProtocol(txxy);
    }
    ~Bench() { page.reset(); }
    RecordingMessages messages;
    CheckDataFolder folder;
    SimProcess sim;
    FakeHost host;
    std::unique_ptr<CheckPage> page;
    bool opened = false;
};

// Waits for a complete pass after the current counts.
bool WaitForPasses(CheckPage& page, int passes, int timeoutMs = 90000) {
    return WaitUntil(
        [&] {
            const Thread_Read* t = page.readThread();
            return t && t->CycleCount() >= passes && t->ReceivedCount() > 0;
        },
        timeoutMs);
}

// Stops a check as the button does and processes events until its job has ended.
bool StopAndWait(CheckPage& page) {
    page.StopCheck();
    return WaitUntil([&] { return !page.isRunning(); });
}

// Exports as 保存数据 does and processes events until the workbook is written.
bool ExportAndWait(CheckPage& page) {
    page.BitBtn16Click();
    return WaitUntil([&] { return !page.isExporting(); }, 60000);
}

class FullCheck : public ::testing::TestWithParam<ProtocolCase> {};

TEST_P(FullCheck, FillsTheGridWithTheModulesValuesAllWithinTheirClass) {
    const ProtocolCase& c = GetParam();
    Bench b(QString::fromUtf8(c.model), c.txxy, c.simArgs + kMatchingPoint, c.stopBitsIndex);
    ASSERT_TRUE(b.opened);
    // Modbus: the list goes over the line as the configuration download sends it.
    ASSERT_TRUE(ConfigureModule(b.sim, b.folder.database(), b.host.model, c.txxy != 0));
    if (c.txxy == 0) {
        ASSERT_TRUE(DownloadParameterList(b.host.serial, b.folder.database(), b.host.model));
    }
    CheckPage& page = *b.page;
    SelectMatchingPoint(page);

    page.BitBtn_CheckClick();
    ASSERT_TRUE(page.isRunning());
    EXPECT_EQ(Button(page, "BitBtn_Check")->text(), QStringLiteral("停止检查"));
    EXPECT_EQ(b.host.controlCalls, QList<bool>{true});
    EXPECT_FALSE(Button(page, "BitBtn16")->isEnabled());
    ASSERT_TRUE(WaitForPasses(page, 2)) << Cell(page, 1, 0).toStdString();
    const int sent = page.readThread()->SentCount();
    const int received = page.readThread()->ReceivedCount();
    ASSERT_TRUE(StopAndWait(page));
    EXPECT_FALSE(page.isRunning());
    EXPECT_EQ(b.host.controlCalls, (QList<bool>{true, false}));
    EXPECT_TRUE(Button(page, "BitBtn16")->isEnabled());
    EXPECT_EQ(Button(page, "BitBtn_Check")->text(), QStringLiteral("检查数据"));

    const QString status = Cell(page, 1, 0);
    EXPECT_TRUE(status.startsWith(QStringLiteral("产品型号: ") + b.host.model + "  " +
                                  QString::fromUtf8(c.caption) + QStringLiteral("  发送：")))
        << status.toStdString();
    EXPECT_TRUE(status.endsWith(QStringLiteral("  接收：") + QString::number(received)) ||
                received < sent)
        << status.toStdString();
    EXPECT_EQ(Cell(page, 0, 0), QStringLiteral("三相电参数采集模块输出寄存器数据"));

    QTableWidget* grid = Grid(page);
    ASSERT_GT(grid->rowCount(), 4);
    for (int r = 2; r < grid->rowCount(); ++r) {
        EXPECT_EQ(Cell(page, r, 0), QString::number(r - 1));
        EXPECT_FALSE(Cell(page, r, 1).isEmpty()) << r;
        EXPECT_FALSE(Cell(page, r, 2).isEmpty()) << r;
        EXPECT_FALSE(IsRed(page, r))
            << Cell(page, r, 1).toStdString() << " " << Cell(page, r, 2).toStdString();
    }
    EXPECT_EQ(b.messages.shown, QStringList());

    // The same module read with the full windows (FastPoll=0) gives the same grid: fast polling
    // only ends the reads sooner.
    const std::string fastGrid = GridRows(page);
    WriteIniValues(SettingsPath(b.folder.path()), QStringLiteral("SetCheck"),
                   {{QStringLiteral("FastPoll"), QStringLiteral("0")}});
    page.BitBtn_CheckClick();
    ASSERT_TRUE(WaitForPasses(page, 2)) << Cell(page, 1, 0).toStdString();
    ASSERT_TRUE(StopAndWait(page));
    EXPECT_EQ(GridRows(page), fastGrid);
}

INSTANTIATE_TEST_SUITE_P(
    Protocols, FullCheck,
    ::testing::Values(
        ProtocolCase{"Modbus", "KX7410M31-01", 0, {}, 0, "通信协议: MODBUS_RTU"},
        ProtocolCase{
            "Dlt645_2007", "KX7410D07-01", 2, {"--protocol", "2"}, 0, "通信协议: DLT645-2007"},
        ProtocolCase{"Yaao",
                     "KX7410Y35-01",
                     3,
                     {"--protocol", "3", "--format", "0"},
                     1,
                     "通信协议: 亚奥协议"},
        ProtocolCase{"Datang",
                     "KX7410T35-01",
                     4,
                     {"--protocol", "4", "--format", "0"},
                     1,
                     "通信协议: 大唐协议"}),
    [](const auto& info) { return std::string(info.param.name); });

// FastPoll=0 is the timing of old: every read waits out its window even though the module has
// answered long before, so consecutive requests lie at least a window (plus the pause between
// cycles where a cycle ends) apart on the line.
TEST(CheckPage, WithFastPollOffEveryReadWaitsOutItsWindow) {
    struct Case {
        const char* model;
        int txxy;
        QStringList simArgs;
        int windowMs;
    };
    const Case cases[] = {
        {"KX7410M31-01", 0, {}, kReadRegistersParams.ReadWindowMs()},
        {"KX7410D07-01", 2, {"--protocol", "2"}, kRead2007Params.ReadWindowMs()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        Bench b(QString::fromUtf8(c.model), c.txxy, c.simArgs + kMatchingPoint);
        ASSERT_TRUE(b.opened);
        ASSERT_TRUE(ConfigureModule(b.sim, b.folder.database(), b.host.model, c.txxy != 0));
        if (c.txxy == 0) {
            ASSERT_TRUE(DownloadParameterList(b.host.serial, b.folder.database(), b.host.model));
        }
        WriteIniValues(SettingsPath(b.folder.path()), QStringLiteral("SetCheck"),
                       {{QStringLiteral("FastPoll"), QStringLiteral("0")}});
        TrafficLog log;
        b.host.serial.SetTrafficLog(&log);
        b.page->BitBtn_CheckClick();
        ASSERT_TRUE(WaitUntil([&] { return log.size() >= 6; }, 60000));
        ASSERT_TRUE(StopAndWait(*b.page));
        b.host.serial.SetTrafficLog(nullptr);
        const std::vector<Exchange> exchanges = log.Since(0);
        for (std::size_t i = 1; i < exchanges.size(); ++i) {
            EXPECT_EQ(exchanges[i - 1].outcome, ExchangeOutcome::Answered);
            // Wall-clock stamps in whole ms: one ms of rounding either way.
            EXPECT_GE(exchanges[i].startedMs - exchanges[i - 1].startedMs, c.windowMs - 1) << i;
        }
    }
}

// The verdict is taken once the readings have settled, and the panel, the overall verdict and
// the stored record agree value by value: exactly the quantities pushed out of class fail.
TEST(CheckPage, VerdictPanelAndRecordAgreeOnWhatFailed) {
    Bench b(QStringLiteral("KX7410M31-01"), 0,
            {"--voltage", "100", "--current", "100", "--angle", "0", "--frequency", "50", "--error",
             "Pa=1"});
    ASSERT_TRUE(b.opened);
    ASSERT_TRUE(ConfigureModule(b.sim, b.folder.database(), b.host.model));
    ResultsDatabase results(b.folder.path() + QStringLiteral("/Results.db"));
    ASSERT_EQ(results.Open(), QString());
    b.host.resultsDb = &results;
    CheckPage& page = *b.page;
    Click(page, "RButton_U100In");
    Click(page, "RButton_I100In");
    Click(page, "RButton_0d");
    Click(page, "RButton_50Hz");
    page.serialEdit()->setText(QStringLiteral("SN-\"引号\"-001"));
    page.operatorEdit()->setText(QStringLiteral("张工"));
    QMetaObject::invokeMethod(page.operatorEdit(), "editingFinished");
    EXPECT_EQ(LoadOperator(b.folder.path()), QStringLiteral("张工"));

    const auto runUntilSettled = [&] {
        page.BitBtn_CheckClick();
        ASSERT_TRUE(WaitUntil([&] { return page.verdict().settled(); }, 60000));
        ASSERT_TRUE(StopAndWait(page));
    };
    runUntilSettled();
    const SettledVerdict& v = page.verdict();
    QStringList failedInPanel;
    for (int r = 0; r < page.verdictTable()->rowCount(); ++r)
        if (page.verdictTable()->item(r, 5)->text() == QStringLiteral("不合格"))
            failedInPanel << page.verdictTable()->item(r, 0)->text();
    QStringList redInGrid;
    for (int r = 2; r < Grid(page)->rowCount(); ++r)
        if (IsRed(page, r)) redInGrid << Cell(page, r, 1);
    // The panel lists the failures first, in the grid's order.
    EXPECT_EQ(failedInPanel, redInGrid);
    for (int r = 0; r < failedInPanel.size(); ++r)
        EXPECT_EQ(page.verdictTable()->item(r, 5)->text(), QStringLiteral("不合格")) << r;
    EXPECT_TRUE(failedInPanel.contains(QStringLiteral("A相有功功率")));
    EXPECT_EQ(v.failures(), failedInPanel.size());
    EXPECT_EQ(page.verdictLabel()->text(),
              QStringLiteral("不合格（%1 项）").arg(failedInPanel.size()));

    QList<UnitRecord> stored;
    ASSERT_TRUE(results.Select({}, stored));
    ASSERT_EQ(stored.size(), 1);
    const std::optional<UnitRecord> record = results.Get(stored[0].id);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->verdict, Verdict::Fail);
    EXPECT_EQ(record->failures, failedInPanel.size());
    EXPECT_EQ(record->serial, QStringLiteral("SN-\"引号\"-001"));
    EXPECT_EQ(record->operatorName, QStringLiteral("张工"));
    EXPECT_EQ(record->model, QStringLiteral("KX7410M31-01"));
    ASSERT_EQ(record->points.size(), 1);
    EXPECT_EQ(record->points[0].voltagePercent, 100);
    EXPECT_EQ(record->points[0].angle, 0);
    EXPECT_EQ(record->points[0].frequency, 50);
    ASSERT_EQ(record->quantities.size(), v.lines().size());
    for (qsizetype i = 0; i < v.lines().size(); ++i) {
        const VerdictLine& line = v.lines()[i];
        const RecordQuantity& q = record->quantities[i];
        EXPECT_EQ(q.name, line.name);
        EXPECT_EQ(q.quantity, line.quantity);
        EXPECT_EQ(q.text, line.text);
        EXPECT_EQ(q.passed, !line.failed) << q.name.toStdString();
        if (line.check.checked) {
            EXPECT_DOUBLE_EQ(q.measured, line.check.measured);
            EXPECT_DOUBLE_EQ(q.expected, line.check.expected);
            EXPECT_DOUBLE_EQ(q.limit, line.check.limit);
        }
    }

    // Without the error the same unit passes, and a second record is added beside the first.
    ASSERT_EQ(b.sim.command(QStringLiteral("error Pa 0")), "ok");
    runUntilSettled();
    EXPECT_EQ(page.verdictLabel()->text(), QStringLiteral("合格"));
    ASSERT_TRUE(results.Select({}, stored));
    ASSERT_EQ(stored.size(), 2);
    EXPECT_EQ(stored[0].verdict, Verdict::Pass);
    EXPECT_EQ(stored[1].verdict, Verdict::Fail);
}

// kx7410-cli judges a unit on a bus as the page does: the same quantities with the same texts,
// figures and verdicts, for a unit with two quantities pushed out of class.
TEST(CheckPage, TheCommandLineJudgesAUnitAsThePageDoes) {
    Bench b(QStringLiteral("KX7410M31-01"), 0,
            {"--address", "1-2", "--voltage", "100", "--current", "100", "--angle", "0",
             "--frequency", "50", "--error", "2:Pa=1", "--error", "2:Ub=0.5"});
    ASSERT_TRUE(b.opened);
    ASSERT_TRUE(ConfigureModule(b.sim, b.folder.database(), b.host.model));
    b.host.address = 2;
    CheckPage& page = *b.page;
    Click(page, "RButton_U100In");
    Click(page, "RButton_I100In");
    Click(page, "RButton_0d");
    Click(page, "RButton_50Hz");
    page.BitBtn_CheckClick();
    ASSERT_TRUE(WaitUntil([&] { return page.verdict().settled(); }, 60000));
    ASSERT_TRUE(StopAndWait(page));
    ASSERT_TRUE(page.lastRecord());
    const UnitRecord& windows = *page.lastRecord();
    EXPECT_EQ(windows.verdict, Verdict::Fail);
    b.host.serial.Close();

    QProcess cli;
    cli.start(QStringLiteral(KX_CLI_EXE),
              {"--data", b.folder.path(), "check", "--port", b.sim.link(), "--address", "2",
               "--model", b.host.model, "--point", "100,100,0,50", "--json"});
    ASSERT_TRUE(cli.waitForFinished(120000));
    EXPECT_EQ(cli.exitCode(), 1) << cli.readAllStandardError().toStdString();
    const QList<QByteArray> lines = cli.readAllStandardOutput().split('\n');
    ASSERT_GE(lines.size(), 2);
    const QJsonObject unit = QJsonDocument::fromJson(lines[0]).object();
    EXPECT_EQ(unit["verdict"].toString(), "fail");
    EXPECT_EQ(unit["failures"].toInt(), windows.failures);
    const QJsonArray quantities = unit["quantities"].toArray();
    ASSERT_EQ(quantities.size(), windows.quantities.size());
    for (qsizetype i = 0; i < quantities.size(); ++i) {
        const QJsonObject q = quantities[i].toObject();
        const RecordQuantity& w = windows.quantities[i];
        const std::string name = w.name.toStdString();
        EXPECT_EQ(q["name"].toString(), w.name);
        EXPECT_EQ(q["quantity"].toString(), w.quantity) << name;
        EXPECT_EQ(q["text"].toString(), w.text) << name;
        EXPECT_EQ(q["unit"].toString(), w.unit) << name;
        EXPECT_EQ(q["passed"].toBool(), w.passed) << name;
        EXPECT_DOUBLE_EQ(q["expected"].toDouble(), w.expected) << name;
        EXPECT_DOUBLE_EQ(q["measured"].toDouble(), w.measured) << name;
        EXPECT_NEAR(q["error"].toDouble(), w.error, 1e-9) << name;
        EXPECT_DOUBLE_EQ(q["limit"].toDouble(), w.limit) << name;
    }
}

// An address list on the page: each unit in turn, one row per unit in the verdict panel, a
// record for each; a list that cannot be read starts nothing.
TEST(CheckPage, AnAddressListChecksEachUnitInTurn) {
    Bench b(QStringLiteral("KX7410M31-01"), 0,
            {"--address", "1-3", "--voltage", "100", "--current", "100", "--angle", "0",
             "--frequency", "50", "--error", "2:Pa=5", "--fault", "3:silent"});
    ASSERT_TRUE(b.opened);
    ASSERT_TRUE(ConfigureModule(b.sim, b.folder.database(), b.host.model));
    ResultsDatabase results(b.folder.path() + QStringLiteral("/Results.db"));
    ASSERT_EQ(results.Open(), QString());
    b.host.resultsDb = &results;
    CheckPage& page = *b.page;
    Click(page, "RButton_U100In");
    Click(page, "RButton_I100In");
    Click(page, "RButton_0d");
    Click(page, "RButton_50Hz");
    const int requestsBefore = b.sim.command("stats").section(' ', 1, 1).section('=', 1).toInt();

    // Refused before anything is sent.
    page.addressEdit()->setText(QStringLiteral("1-300"));
    page.BitBtn_CheckClick();
    page.addressEdit()->setText(QStringLiteral("1-3"));
    page.serialEdit()->setText(QStringLiteral("S1,S2"));
    page.BitBtn_CheckClick();
    EXPECT_FALSE(page.isRunning());
    EXPECT_EQ(b.messages.shown,
              (QStringList{QStringLiteral("inform: 地址列表错误：address \"300\" is not 1..255"),
                           QStringLiteral("inform: 序列号个数（2）与地址个数（3）不同！")}));
    EXPECT_EQ(b.sim.command("stats").section(' ', 1, 1).section('=', 1).toInt(), requestsBefore);

    page.serialEdit()->setText(QStringLiteral("S1,S2,S3"));
    page.BitBtn_CheckClick();
    ASSERT_TRUE(page.isRunning());
    ASSERT_TRUE(WaitUntil([&] { return !page.isRunning(); }, 120000));
    QTableWidget* table = page.verdictTable();
    ASSERT_EQ(table->rowCount(), 3);
    const QStringList expected[] = {{QStringLiteral("地址 1"), "S1", QStringLiteral("合格")},
                                    {QStringLiteral("地址 2"), "S2", QStringLiteral("不合格")},
                                    {QStringLiteral("地址 3"), "S3", QStringLiteral("无应答")}};
    for (int r = 0; r < 3; ++r)
        EXPECT_EQ((QStringList{table->item(r, 0)->text(), table->item(r, 1)->text(),
                               table->item(r, 5)->text()}),
                  expected[r]);
    EXPECT_EQ(page.verdictLabel()->text(), QStringLiteral("不合格 2/3"));
    EXPECT_EQ(table->item(0, 2)->text(), "3"); // settled in its first three cycles
    QList<UnitRecord> stored;
    ASSERT_TRUE(results.Select({}, stored));
    ASSERT_EQ(stored.size(), 3);
    EXPECT_EQ(stored[2].serial, "S1");
    EXPECT_EQ(stored[2].address, 1);
    EXPECT_EQ(stored[1].verdict, Verdict::Fail);
    EXPECT_EQ(stored[0].verdict, Verdict::NotAnswering);
}

// A plan over an address list: every unit at the first point, 继续, every unit at the next;
// each unit's one record holds both points.
TEST(CheckPage, APlanOverAnAddressListChecksEveryUnitAtEachPoint) {
    Bench b(QStringLiteral("KX7410M31-01"), 0,
            {"--address", "1-2", "--voltage", "100", "--current", "100", "--error", "2:Pa=5"});
    ASSERT_TRUE(b.opened);
    ASSERT_TRUE(ConfigureModule(b.sim, b.folder.database(), b.host.model));
    ResultsDatabase results(b.folder.path() + QStringLiteral("/Results.db"));
    ASSERT_EQ(results.Open(), QString());
    b.host.resultsDb = &results;
    const TestPlan plan{
        b.host.model, QStringLiteral("两点"), {{100, 100, 0, 50}, {50, 100, 60, 50}}};
    ASSERT_TRUE(b.folder.database().SavePlan(plan));
    CheckPage& page = *b.page;
    page.ReloadPlans();
    page.planList()->setCurrentIndex(1);
    page.addressEdit()->setText(QStringLiteral("1,2"));
    page.BitBtn_CheckClick();
    ASSERT_TRUE(page.isRunning());
    const QStringList source{"point 100 100 0 50", "point 50 100 60 50"};
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(WaitUntil([&] {
            return page.unitCheck() && page.unitCheck()->pointIndex() == i &&
                   page.waitingForContinue();
        })) << i;
        EXPECT_TRUE(page.continueButton()->isEnabled());
        EXPECT_EQ(page.CurrentTestPoint().angle, plan.points[i].angle);
        EXPECT_TRUE(
            page.verdictLabel()->text().startsWith(QStringLiteral("测试点 %1/2").arg(i + 1)));
        ASSERT_EQ(b.sim.command(source[i]), "ok");
        page.ContinueClick();
    }
    ASSERT_TRUE(WaitUntil([&] { return !page.isRunning(); }, 60000));
    EXPECT_EQ(page.verdictLabel()->text(), QStringLiteral("不合格 1/2"));
    QList<UnitRecord> stored;
    ASSERT_TRUE(results.Select({}, stored));
    ASSERT_EQ(stored.size(), 2);
    for (const UnitRecord& brief : stored) {
        const std::optional<UnitRecord> r = results.Get(brief.id);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->plan, QStringLiteral("两点"));
        ASSERT_EQ(r->points.size(), 2);
        EXPECT_EQ(r->points[1].angle, 60);
        EXPECT_EQ(r->verdict, r->address == 1 ? Verdict::Pass : Verdict::Fail);
    }
}

// The page over a serial device server (tcp://, socat bridging the simulator's pty) judges the
// unit as over the pty: the same lines with the same texts and verdicts.
TEST(CheckPage, OverANetworkPortTheVerdictIsTheOneOverThePty) {
    Bench b(QStringLiteral("KX7410M31-01"), 0,
            {"--voltage", "100", "--current", "100", "--angle", "0", "--frequency", "50", "--error",
             "Pb=2"});
    ASSERT_TRUE(b.opened);
    ASSERT_TRUE(ConfigureModule(b.sim, b.folder.database(), b.host.model));
    CheckPage& page = *b.page;
    Click(page, "RButton_U100In");
    Click(page, "RButton_I100In");
    Click(page, "RButton_0d");
    Click(page, "RButton_50Hz");
    const auto settle = [&] {
        page.BitBtn_CheckClick();
        EXPECT_TRUE(WaitUntil([&] { return page.verdict().settled(); }, 60000));
        EXPECT_TRUE(StopAndWait(page));
        QStringList lines;
        for (const VerdictLine& line : page.verdict().lines())
            lines << line.name + "=" + line.text + (line.failed ? " 不合格" : "");
        return lines;
    };
    const QStringList overPty = settle();
    ASSERT_FALSE(overPty.isEmpty());
    b.host.serial.Close();
    const int port = FreePort();
    DeviceServer server(b.sim.device(), port);
    ASSERT_TRUE(b.host.serial.Open(QStringLiteral("tcp://127.0.0.1:%1").arg(port), 3, 0, 2, 0));
    EXPECT_EQ(settle(), overPty);
    EXPECT_TRUE(overPty.contains(QStringLiteral("B相有功功率=1122 W 不合格")))
        << overPty.join('\n').toStdString();
}

// A three-point plan: the page asks for each point, waits for 继续, records the point once it has
// settled and moves on; the unit's one record holds every point, and its verdict is that of all.
TEST(CheckPage, AThreePointPlanRecordsEveryPointInOneRecord) {
    Bench b(QStringLiteral("KX7410M31-01"), 0, {"--voltage", "100", "--current", "100"});
    ASSERT_TRUE(b.opened);
    ASSERT_TRUE(ConfigureModule(b.sim, b.folder.database(), b.host.model));
    ResultsDatabase results(b.folder.path() + QStringLiteral("/Results.db"));
    ASSERT_EQ(results.Open(), QString());
    b.host.resultsDb = &results;
    TestPlan plan;
    plan.model = b.host.model;
    plan.name = QStringLiteral("三点方案");
    plan.points = {{100, 100, 0, 50}, {50, 100, 60, 50}, {100, 50, 0, 50}};
    ASSERT_TRUE(b.folder.database().SavePlan(plan));
    CheckPage& page = *b.page;
    page.ReloadPlans();
    ASSERT_EQ(page.planList()->count(), 2);
    page.planList()->setCurrentIndex(1);

    // The source as the operator sets it for each point; the last one is set wrong (100 % current
    // where the plan asks for 50 %), so that point, and with it the unit, fails.
    const QStringList source{"point 100 100 0 50", "point 50 100 60 50", "point 100 100 0 50"};
    page.BitBtn_CheckClick();
    ASSERT_TRUE(page.isRunning());
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(WaitUntil([&] { return page.planPoint() == i && page.waitingForContinue(); }))
            << i;
        EXPECT_TRUE(page.continueButton()->isEnabled());
        EXPECT_EQ(page.CurrentTestPoint().ku, plan.points[i].voltagePercent / 100);
        EXPECT_EQ(page.CurrentTestPoint().angle, plan.points[i].angle);
        ASSERT_EQ(b.sim.command(source[i]), "ok");
        page.ContinueClick();
        EXPECT_FALSE(page.waitingForContinue());
    }
    ASSERT_TRUE(WaitUntil([&] { return !page.isRunning(); }, 60000));

    QList<UnitRecord> stored;
    ASSERT_TRUE(results.Select({}, stored));
    ASSERT_EQ(stored.size(), 1);
    const std::optional<UnitRecord> record = results.Get(stored[0].id);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->plan, QStringLiteral("三点方案"));
    ASSERT_EQ(record->points.size(), 3);
    EXPECT_EQ(record->points[0].verdict, Verdict::Pass);
    EXPECT_EQ(record->points[1].verdict, Verdict::Pass);
    EXPECT_EQ(record->points[1].angle, 60);
    EXPECT_EQ(record->points[2].verdict, Verdict::Fail);
    EXPECT_EQ(record->points[2].currentPercent, 50);
    EXPECT_EQ(record->verdict, Verdict::Fail);
    EXPECT_EQ(record->failures, record->points[2].failures);
    for (const RecordQuantity& q : record->quantities)
        EXPECT_TRUE(q.point >= 0 && q.point < 3);
}

QJsonObject ReadWorkbook(const QString& path) {
    QProcess p;
    p.start("/usr/bin/python3", {QStringLiteral(KX_WORKBOOK_READER), path});
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

TEST(CheckPage, OnePercentErrorOnPaShowsPaRedAndExportsItRed) {
    Bench b(QStringLiteral("KX7410M31-01"), 0,
            {"--voltage", "100", "--current", "100", "--angle", "0", "--frequency", "50", "--error",
             "Pa=1"});
    ASSERT_TRUE(b.opened);
    ASSERT_TRUE(ConfigureModule(b.sim, b.folder.database(), b.host.model));
    CheckPage& page = *b.page;
    Click(page, "RButton_U100In");
    Click(page, "RButton_I100In");
    Click(page, "RButton_0d");
    Click(page, "RButton_50Hz");
    page.BitBtn_CheckClick();
    ASSERT_TRUE(WaitForPasses(page, 2));
    ASSERT_TRUE(StopAndWait(page));

    const int pa = RowOf(page, QStringLiteral("A相有功功率"));
    ASSERT_GE(pa, 2);
    EXPECT_TRUE(IsRed(page, pa)) << Cell(page, pa, 2).toStdString();
    for (int r = 2; r < Grid(page)->rowCount(); ++r)
        if (r != pa && Cell(page, r, 1) != QStringLiteral("总有功功率")) {
            EXPECT_FALSE(IsRed(page, r)) << Cell(page, r, 1).toStdString();
        }

    QTemporaryDir out;
    const QString path = out.filePath("check.xlsx");
    b.messages.fileNames << path;
    ASSERT_TRUE(ExportAndWait(page));
    // The report proposes a name of the unit's model, serial number and start, and says where
    // the workbook went.
    ASSERT_EQ(b.messages.shown.size(), 2);
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^save: KX7410M31-01_无序列号_\\d{8}-\\d{6}\\.xlsx$"))
            .match(b.messages.shown[0])
            .hasMatch())
        << b.messages.shown[0].toStdString();
    EXPECT_EQ(b.messages.shown[1],
              QStringLiteral("inform: 数据导出成功！\n") + QDir::toNativeSeparators(path));
    const QJsonObject book = ReadWorkbook(path);
    const QJsonObject cells = book["cells"].toObject();
    const QString paCell = QStringLiteral("C%1").arg(pa + 4);
    EXPECT_EQ(cells[paCell].toObject()["value"].toString(), Cell(page, pa, 2));
    EXPECT_EQ(cells[paCell].toObject()["color"].toString(), QStringLiteral("FFFF0000"));
    EXPECT_EQ(cells[paCell].toObject()["underline"].toString(), QStringLiteral("single"));
    EXPECT_NE(cells["C6"].toObject()["color"].toString(), QStringLiteral("FFFF0000"));
    EXPECT_EQ(cells["B6"].toObject()["value"].toString(), Cell(page, 2, 1));
    EXPECT_EQ(cells["A1"].toObject()["value"].toString(), Cell(page, 0, 0));
    EXPECT_EQ(cells["A2"].toObject()["value"].toString(), Cell(page, 1, 0));
    EXPECT_EQ(cells["A5"].toObject()["value"].toString(),
              QStringLiteral("检验条件(电压: 100%;电流: 100%;角度: 0°;频率: 50Hz)"));
}

TEST(CheckPage, StopAndRestartBuildTheGridAgain) {
    Bench b(QStringLiteral("KX7410M31-01"), 0, kMatchingPoint);
    ASSERT_TRUE(b.opened);
    ASSERT_TRUE(ConfigureModule(b.sim, b.folder.database(), b.host.model));
    CheckPage& page = *b.page;
    page.BitBtn_CheckClick();
    ASSERT_TRUE(WaitForPasses(page, 2));
    page.StopCheck();
    ASSERT_TRUE(StopAndWait(page)); // a second stop does nothing
    const int rows = Grid(page)->rowCount();
    ASSERT_GT(rows, 4);
    EXPECT_EQ(b.host.controlCalls, (QList<bool>{true, false}));

    // The button stays disabled briefly after a stop; the handler itself may run at once.
    page.BitBtn_CheckClick();
    ASSERT_TRUE(page.isRunning());
    EXPECT_EQ(Cell(page, 1, 0), GridInitialStatusText()); // its rows come after this
    ASSERT_TRUE(WaitForPasses(page, 1));
    // The counters start afresh: at most the request of the cycle under way is not yet counted
    // as a cycle (read in this order, the sent count cannot run ahead by more).
    const int sent = page.readThread()->SentCount();
    EXPECT_LE(sent, page.readThread()->CycleCount() + 1);
    EXPECT_EQ(Grid(page)->rowCount(), rows);
    // Through the button, as a user does it: enabled again after its short lock.
    QPushButton* check = Button(page, "BitBtn_Check");
    ASSERT_TRUE(WaitUntil([&] { return check->isEnabled(); }));
    check->click();
    ASSERT_TRUE(WaitUntil([&] { return !page.isRunning(); }));
    EXPECT_EQ(b.host.controlCalls, (QList<bool>{true, false, true, false}));
}

// Frames the simulator has heard so far.
int SimRequests(SimProcess& sim) {
    static const QRegularExpression pattern(QStringLiteral("^ok requests=(\\d+) "));
    const QRegularExpressionMatch m = pattern.match(sim.command(QStringLiteral("stats")));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

TEST(CheckPage, StopWhileTheModuleIsSilentReturnsAtOnceAndEndsWithinTheReadWindow) {
    Bench b(QStringLiteral("KX7410M31-01"), 0, {"--silent"});
    ASSERT_TRUE(b.opened);
    CheckPage& page = *b.page;
    QPushButton* check = Button(page, "BitBtn_Check");
    page.BitBtn_CheckClick();
    // The second request is out: the job is inside a cycle, waiting for the silent module.
    ASSERT_TRUE(WaitUntil([&] { return page.readThread()->SentCount() >= 2; }));
    ASSERT_TRUE(WaitUntil([&] { return check->isEnabled(); }));
    QElapsedTimer timer;
    timer.start();
    check->click();
    const int sentAtStop = page.readThread()->SentCount();
    // Back at once, without an event loop of its own: the job's end has not been handled yet, so
    // the check still runs, its button disabled under its stop caption.
    EXPECT_TRUE(page.isRunning());
    EXPECT_TRUE(page.isStopping());
    EXPECT_FALSE(check->isEnabled());
    EXPECT_EQ(check->text(), QStringLiteral("停止检查"));
    EXPECT_EQ(b.host.controlCalls, QList<bool>{true});
    page.BitBtn_CheckClick(); // refused while stopping
    EXPECT_TRUE(page.isStopping());

    ASSERT_TRUE(WaitUntil([&] { return !page.isRunning(); }));
    // An upper bound only: the request on the line ends with its read window.
    EXPECT_LT(timer.elapsed(), kReadRegistersParams.ReadWindowMs() + 5000);
    EXPECT_TRUE(b.host.session().isIdle());
    EXPECT_FALSE(page.isStopping());
    EXPECT_EQ(check->text(), QStringLiteral("检查数据"));
    EXPECT_EQ(b.host.controlCalls, (QList<bool>{true, false}));
    EXPECT_EQ(Grid(page)->rowCount(), 3);
    EXPECT_TRUE(Cell(page, 1, 0).contains(QStringLiteral("  接收无返回数据！  失败：")))
        << Cell(page, 1, 0).toStdString();
    // No request left after the stop (the one counted as the stop came may have been held back).
    const int heard = SimRequests(b.sim);
    EXPECT_GE(heard, sentAtStop - 1);
    EXPECT_LE(heard, sentAtStop);
    ASSERT_TRUE(WaitUntil([&] { return check->isEnabled(); }));
}

TEST(CheckPage, ASecondJobIsRefusedWhileTheCheckPollsAndNoFrameOfItIsSent) {
    Bench b(QStringLiteral("KX7410M31-01"), 0, kMatchingPoint);
    ASSERT_TRUE(b.opened);
    ASSERT_TRUE(ConfigureModule(b.sim, b.folder.database(), b.host.model));
    CheckPage& page = *b.page;
    page.BitBtn_CheckClick();
    ASSERT_TRUE(WaitForPasses(page, 1));
    EXPECT_EQ(b.host.session().state(), DeviceSession::State::Checking);
    EXPECT_EQ(b.host.session().operation(), QStringLiteral("检查数据"));

    // Any other operation: a write of a calibration register, which the module would keep.
    const QList<int> before = b.sim.registers(11015, 1);
    ASSERT_EQ(before.size(), 1);
    ASSERT_NE(before[0], 0x1234);
    bool ran = false;
    EXPECT_FALSE(b.host.session().Submit(
        DeviceSession::State::Busy, QStringLiteral("下载配置"),
        [&](JobContext& job) {
            ran = true;
            WriteCalibrationRegisters(job.link(), 1, 11015, 1, {0x1234});
        },
        [&] { ran = true; }));
    // A second page asking for a check is told the session is busy, and keeps its grid.
    CheckPage other(b.host);
    other.BitBtn_CheckClick();
    EXPECT_FALSE(other.isRunning());
    EXPECT_EQ(other.readThread(), nullptr);
    EXPECT_EQ(Cell(other, 1, 0), GridInitialStatusText());
    EXPECT_EQ(b.messages.shown,
              QStringList{QStringLiteral("inform: ") + DeviceSession::BusyText()});
    EXPECT_EQ(b.host.controlCalls, QList<bool>{true});

    const int passes = page.readThread()->CycleCount();
    ASSERT_TRUE(WaitForPasses(page, passes + 1));
    ASSERT_TRUE(StopAndWait(page));
    // The refused work never ran, so none of its frames reached the line.
    EXPECT_FALSE(ran);
    EXPECT_EQ(b.sim.registers(11015, 1), before);
}

TEST(CheckPage, LoadingFailureIsShownAndStopsCleanly) {
    RecordingMessages messages;
    CheckDataFolder folder;
    FakeHost host(folder);
    host.model = QStringLiteral("无此型号");
    CheckPage page(host);
    page.BitBtn_CheckClick();
    ASSERT_TRUE(WaitUntil([&] { return Cell(page, 1, 0).contains(QStringLiteral("初始化失败")); }));
    EXPECT_TRUE(Cell(page, 1, 0).startsWith(QStringLiteral("产品型号: 无此型号  ")));
    EXPECT_FALSE(page.readThread()->IsBusy());
    ASSERT_TRUE(StopAndWait(page));
    EXPECT_FALSE(page.isRunning());
    EXPECT_EQ(messages.shown, QStringList());
}

TEST(CheckPage, ClosedPortOnlyAsksToOpenIt) {
    RecordingMessages messages;
    CheckDataFolder folder;
    FakeHost host(folder);
    host.open = false;
    host.model = QStringLiteral("KX7410M31-01");
    CheckPage page(host);
    page.BitBtn_CheckClick();
    EXPECT_FALSE(page.isRunning());
    EXPECT_EQ(page.readThread(), nullptr);
    EXPECT_EQ(messages.shown, QStringList{QStringLiteral("inform: 请打开串口！！")});
    EXPECT_TRUE(host.controlCalls.isEmpty());
}

TEST(CheckPage, TitleStaysAboveTheScrollingRows) {
    CheckDataFolder folder;
    FakeHost host(folder);
    CheckPage page(host);
    QTableWidget* grid = Grid(page);
    // Row 0 keeps the title for readers of the cells (the export); the fixed header shows it.
    ASSERT_NE(grid->item(0, 0), nullptr);
    EXPECT_EQ(grid->item(0, 0)->text(), GridTitleText());
    EXPECT_TRUE(grid->isRowHidden(0));
    EXPECT_FALSE(grid->horizontalHeader()->isHidden());
    EXPECT_EQ(grid->horizontalHeader()->sizeHint().height(), 28);
}

struct ProtocolLayout {
    int txxy;
    bool dataModeVisible;
    int checkLeft;
};

void PrintTo(const ProtocolLayout& c, std::ostream* os) {
    *os << "TXXY " << c.txxy;
}

class ApplyProtocol : public ::testing::TestWithParam<ProtocolLayout> {};

TEST_P(ApplyProtocol, ArrangesThePageForTheProtocol) {
    const ProtocolLayout& c = GetParam();
    CheckDataFolder folder;
    FakeHost host(folder);
    CheckPage page(host);
    // From the other choice, so that every rule is seen to act.
    page.findChild<QRadioButton*>("RButton_XBdata")->setChecked(true);
    page.ApplyProtocol(c.txxy);
    auto* pz = page.findChild<QRadioButton*>("RButton_PZdata");
    EXPECT_EQ(!pz->isHidden(), c.dataModeVisible);
    EXPECT_EQ(!page.findChild<QRadioButton*>("RButton_XBdata")->isHidden(), c.dataModeVisible);
    // 读取配置 stays hidden whatever the protocol: it would reload another model behind the
    // product selection's back.
    EXPECT_TRUE(Button(page, "BitBtn15")->isHidden());
    EXPECT_EQ(Button(page, "BitBtn_Check")->x(), c.checkLeft);
    // DL/T 645 leaves the data mode as it was; the others select "读配置数据".
    EXPECT_EQ(pz->isChecked(), c.txxy != 1 && c.txxy != 2 && c.txxy <= 4);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ApplyProtocol,
    ::testing::Values(ProtocolLayout{0, true, 240}, ProtocolLayout{1, false, 48},
                      ProtocolLayout{2, false, 48}, ProtocolLayout{3, false, 48},
                      ProtocolLayout{4, false, 48}, ProtocolLayout{7, true, 240}));

TEST(CheckPage, NamesAndCaptionsOfTheTestPointGroups) {
    CheckDataFolder folder;
    FakeHost host(folder);
    CheckPage page(host);
    const QList<std::pair<const char*, const char*>> buttons{{"RButton_U0In", "0%"},
                                                             {"RButton_U10In", "10%"},
                                                             {"RButton_U50In", "50%"},
                                                             {"RButton_U100In", "100%"},
                                                             {"RButton_U120In", "120%"},
                                                             {"RButton_I0In", "0%"},
                                                             {"RButton_I1In", "1%"},
                                                             {"RButton_I50In", "50%"},
                                                             {"RButton_I100In", "100%"},
                                                             {"RButton_I120In", "120%"},
                                                             {"RButton_0d", "0°"},
                                                             {"RButton_30d", "30°"},
                                                             {"RButton_60d", "60°"},
                                                             {"RButton_90d", "90°"},
                                                             {"RButton_300d", "300°"},
                                                             {"RButton_330d", "330°"},
                                                             {"RButton_45Hz", "45Hz"},
                                                             {"RButton_50Hz", "50Hz"},
                                                             {"RButton_55Hz", "55Hz"},
                                                             {"RButton_60Hz", "60Hz"},
                                                             {"RButton_65Hz", "65Hz"},
                                                             {"RButton_PZdata", "读配置数据"},
                                                             {"RButton_XBdata", "读谐波数据"}};
    for (const auto& [name, caption] : buttons) {
        auto* b = page.findChild<QRadioButton*>(QLatin1String(name));
        ASSERT_NE(b, nullptr) << name;
        EXPECT_EQ(b->text(), QString::fromUtf8(caption)) << name;
    }
    EXPECT_EQ(Button(page, "BitBtn15")->text(), QStringLiteral("读取配置"));
    EXPECT_EQ(Button(page, "BitBtn_Check")->text(), QStringLiteral("检查数据"));
    EXPECT_EQ(Button(page, "BitBtn16")->text(), QStringLiteral("保存数据"));
    // Defaults: 0 %, 0 %, 0 degrees, 45 Hz; a change is read at once.
    EXPECT_EQ(page.CurrentTestPoint().frequency, 45);
    Click(page, "RButton_U120In");
    Click(page, "RButton_330d");
    EXPECT_EQ(page.CurrentTestPoint().ku, 1.2);
    EXPECT_EQ(page.CurrentTestPoint().angle, 330);
    EXPECT_EQ(page.CurrentExportTestPoint().voltage, 4);
    EXPECT_EQ(page.CurrentExportTestPoint().angle, 5);
    EXPECT_EQ(Grid(page)->columnCount(), 3);
    EXPECT_EQ(Grid(page)->rowCount(), 3);
    EXPECT_EQ(Grid(page)->columnSpan(0, 0), 3);
    EXPECT_EQ(Grid(page)->columnSpan(1, 0), 3);
    EXPECT_EQ(Grid(page)->item(1, 0)->background().color(), QColor(0, 255, 0));
}

// The grid as a finished pass leaves it: rows handed over as the reading thread does.
void FillGrid(CheckPage& page, int rows, int failedRow = -1) {
    QList<AcquiredRow> list;
    for (int i = 0; i < rows; ++i)
        list.append(
            {QStringLiteral("参数%1").arg(i), QStringLiteral("%1 V").arg(i), i + 2 == failedRow});
    QMetaObject::invokeMethod(&page, "ShowRows", Q_ARG(int, 2), Q_ARG(QList<AcquiredRow>, list),
                              Q_ARG(bool, false), Q_ARG(bool, false));
}

TEST(CheckPage, Dlt645PassMarksTheItemBeingReadAndBuildsRowsOnlyOnce) {
    CheckDataFolder folder;
    FakeHost host(folder);
    CheckPage page(host);
    const auto show = [&](int row, const QString& name, bool rowsBuilt, bool failed) {
        QMetaObject::invokeMethod(
            &page, "ShowRows", Q_ARG(int, row),
            Q_ARG(QList<AcquiredRow>, (QList<AcquiredRow>{{name, name + " kWh", failed}})),
            Q_ARG(bool, rowsBuilt), Q_ARG(bool, true));
    };
    for (int r = 2; r < 6; ++r)
        show(r, QStringLiteral("项%1").arg(r), false, false);
    ASSERT_EQ(Grid(page)->rowCount(), 6);
    // Second pass: names stay, the row just written is red and the one before goes back.
    show(2, QStringLiteral("另名"), true, false);
    show(3, QStringLiteral("另名"), true, true);
    const QColor back = Grid(page)->palette().color(QPalette::HighlightedText);
    EXPECT_EQ(Cell(page, 3, 1), QStringLiteral("项3"));
    EXPECT_EQ(Cell(page, 3, 2), QStringLiteral("另名 kWh"));
    EXPECT_EQ(Grid(page)->item(3, 2)->background().color(), QColor(255, 0, 0));
    EXPECT_EQ(Grid(page)->item(2, 2)->background().color(), back);
    EXPECT_TRUE(IsRed(page, 3));
    EXPECT_FALSE(IsRed(page, 2));
    // The last row is never marked.
    show(5, QStringLiteral("另名"), true, false);
    EXPECT_NE(Grid(page)->item(5, 2)->background().color(), QColor(255, 0, 0));
}

// What the value cell of a row looks like on screen: the count of clearly red pixels and the
// darkest grey level of its text.
struct CellPixels {
    int red = 0;
    int darkest = 255;
};

CellPixels PaintedCell(CheckPage& page, int row) {
    QTableWidget* grid = Grid(page);
    QApplication::processEvents();
    const QImage image = grid->viewport()->grab().toImage();
    const QRect rect = grid->visualItemRect(grid->item(row, 2)) & image.rect();
    CellPixels pixels;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 180 && c.green() < 90 && c.blue() < 90) ++pixels.red;
            pixels.darkest = std::min(pixels.darkest, qGray(c.rgb()));
        }
    return pixels;
}

void ShowStatus(CheckPage& page, const QString& text, bool failed) {
    QMetaObject::invokeMethod(&page, "ShowStatusLine", Q_ARG(QString, text), Q_ARG(bool, failed));
}

TEST(CheckPage, AFailedValueStaysRedWhenItsRowIsSelected) {
    CheckDataFolder folder;
    FakeHost host(folder);
    CheckPage page(host);
    page.resize(760, 420);
    page.show();
    FillGrid(page, 4, 3);
    QTableWidget* grid = Grid(page);
    EXPECT_FALSE(grid->selectionModel()->hasSelection());
    EXPECT_GT(PaintedCell(page, 3).red, 0);
    grid->selectRow(3);
    ASSERT_TRUE(grid->item(3, 2)->isSelected());
    EXPECT_GT(PaintedCell(page, 3).red, 0);
    // A passing value in a selected row stays dark, not white on the highlight.
    grid->selectRow(2);
    EXPECT_LT(PaintedCell(page, 2).darkest, 110);
}

TEST(CheckPage, AFailedCycleGreysTheValuesAndRedsTheStatusUntilReadAgain) {
    CheckDataFolder folder;
    FakeHost host(folder);
    CheckPage page(host);
    page.resize(760, 420);
    page.show();
    FillGrid(page, 3, 4);
    ShowStatus(page, QStringLiteral("发送：1  接收：1"), false);
    EXPECT_LT(PaintedCell(page, 2).darkest, 110);
    EXPECT_GT(PaintedCell(page, 4).red, 0);

    ShowStatus(page, QStringLiteral("发送：2  接收无返回数据！  失败：1"), true);
    EXPECT_EQ(Cell(page, 1, 0), QStringLiteral("发送：2  接收无返回数据！  失败：1"));
    EXPECT_EQ(Grid(page)->item(1, 0)->foreground().color(), QColor(255, 0, 0));
    EXPECT_GE(PaintedCell(page, 2).darkest, 120);
    EXPECT_EQ(PaintedCell(page, 4).red, 0);
    // The failure mark itself is kept for the export.
    EXPECT_TRUE(IsRed(page, 4));

    FillGrid(page, 3, 4);
    ShowStatus(page, QStringLiteral("发送：3  接收：2  失败：1"), false);
    EXPECT_LT(PaintedCell(page, 2).darkest, 110);
    EXPECT_GT(PaintedCell(page, 4).red, 0);
    EXPECT_NE(Grid(page)->item(1, 0)->foreground().color(), QColor(255, 0, 0));
}

TEST(CheckPage, OnlyTheDlt645RowBeingReadCarriesTheMarker) {
    CheckDataFolder folder;
    FakeHost host(folder);
    CheckPage page(host);
    const auto show = [&](int row, bool rowsBuilt) {
        QMetaObject::invokeMethod(
            &page, "ShowRows", Q_ARG(int, row),
            Q_ARG(QList<AcquiredRow>, (QList<AcquiredRow>{{QStringLiteral("项"), "1 kWh", false}})),
            Q_ARG(bool, rowsBuilt), Q_ARG(bool, true));
    };
    const auto marked = [&] {
        QList<int> rows;
        for (int r = 2; r < Grid(page)->rowCount(); ++r)
            if (Grid(page)->item(r, 2)->background().color() == QColor(255, 0, 0)) rows << r;
        return rows;
    };
    for (int r = 2; r < 8; ++r)
        show(r, false);
    // The second pass stops at row 4: the marker goes with the failure.
    for (int r = 2; r <= 4; ++r)
        show(r, true);
    EXPECT_EQ(marked(), QList<int>{4});
    ShowStatus(page, QStringLiteral("接收无返回数据！"), true);
    EXPECT_EQ(marked(), QList<int>());
    // The next pass starts at the top, alone.
    show(2, true);
    show(3, true);
    EXPECT_EQ(marked(), QList<int>{3});
}

TEST(CheckPage, ASilencedModuleLeavesGreyValuesAndACountOfFailures) {
    Bench b(QStringLiteral("KX7410M31-01"), 0, kMatchingPoint);
    ASSERT_TRUE(b.opened);
    ASSERT_TRUE(ConfigureModule(b.sim, b.folder.database(), b.host.model));
    CheckPage& page = *b.page;
    page.resize(760, 420);
    page.show();
    page.BitBtn_CheckClick();
    ASSERT_TRUE(WaitForPasses(page, 1));
    EXPECT_LT(PaintedCell(page, 2).darkest, 110);
    ASSERT_TRUE(b.sim.command("silent on").startsWith("ok"));
    ASSERT_TRUE(WaitUntil([&] { return page.readThread()->FailedCycleCount() >= 1; }));
    ASSERT_TRUE(WaitUntil([&] { return Cell(page, 1, 0).contains(QStringLiteral("失败：")); }));
    EXPECT_GE(PaintedCell(page, 2).darkest, 120);
    EXPECT_EQ(Grid(page)->item(1, 0)->foreground().color(), QColor(255, 0, 0));
    ASSERT_TRUE(b.sim.command("silent off").startsWith("ok"));
    const int failed = page.readThread()->FailedCycleCount();
    ASSERT_TRUE(WaitUntil([&] { return Cell(page, 1, 0).contains(QStringLiteral("接收：")); }));
    EXPECT_LT(PaintedCell(page, 2).darkest, 110);
    EXPECT_TRUE(Cell(page, 1, 0).contains(QStringLiteral("  失败：")));
    EXPECT_GE(page.readThread()->FailedCycleCount(), failed);
    ASSERT_TRUE(StopAndWait(page));
}

TEST(CheckExport, GridWithOneDataRowIsRefused) {
    RecordingMessages messages;
    CheckDataFolder folder;
    FakeHost host(folder);
    CheckPage page(host);
    page.BitBtn16Click();
    FillGrid(page, 1);
    page.BitBtn16Click();
    EXPECT_EQ(messages.shown, (QStringList{QStringLiteral("inform: 无数据，不能导出保存！！"),
                                           QStringLiteral("inform: 无数据，不能导出保存！！")}));
}

TEST(CheckExport, DeclinedOverwriteLeavesTheFileAndCancelSaysNothing) {
    RecordingMessages messages;
    CheckDataFolder folder;
    FakeHost host(folder);
    CheckPage page(host);
    FillGrid(page, 2);
    QTemporaryDir out;
    const QString path = out.filePath("old.xlsx");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old");
    }
    page.BitBtn16Click(); // cancelled dialog: the queue of names is empty
    messages.fileNames << path;
    messages.answers << false;
    page.BitBtn16Click();
    EXPECT_EQ(messages.shown, (QStringList{"save: Excel.xlsx", "save: Excel.xlsx",
                                           QStringLiteral("ask: 文件已经存在,是否覆盖?")}));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("old"));
}

TEST(CheckExport, UnwritablePathFailsAndLeavesNoFile) {
    RecordingMessages messages;
    CheckDataFolder folder;
    FakeHost host(folder);
    CheckPage page(host);
    FillGrid(page, 3);
    QTemporaryDir out;
    const QString path = out.filePath("missing-folder/check.xlsx");
    messages.fileNames << path;
    ASSERT_TRUE(ExportAndWait(page));
    EXPECT_EQ(messages.shown,
              (QStringList{"save: Excel.xlsx", QStringLiteral("inform: 数据导出失败！！")}));
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(Button(page, "BitBtn16")->isEnabled());
}

TEST(CheckExport, WritesTheGridFromSheetRowSixWithFailuresRed) {
    RecordingMessages messages;
    CheckDataFolder folder;
    FakeHost host(folder);
    CheckPage page(host);
    FillGrid(page, 2, 3);
    QTemporaryDir out;
    messages.fileNames << out.filePath("book"); // the suffix is added
    page.BitBtn16Click();
    // Written on a worker: until its end is handled the page refuses a second export and a
    // check, without a word.
    ASSERT_TRUE(page.isExporting());
    EXPECT_FALSE(Button(page, "BitBtn16")->isEnabled());
    EXPECT_FALSE(Button(page, "BitBtn_Check")->isEnabled());
    page.BitBtn16Click();
    page.BitBtn_CheckClick();
    EXPECT_FALSE(page.isRunning());
    EXPECT_EQ(messages.shown, QStringList{"save: Excel.xlsx"});
    ASSERT_TRUE(WaitUntil([&] { return !page.isExporting(); }, 60000));
    EXPECT_TRUE(Button(page, "BitBtn16")->isEnabled());
    EXPECT_EQ(
        messages.shown,
        (QStringList{"save: Excel.xlsx", QStringLiteral("inform: 数据导出成功！\n") +
                                             QDir::toNativeSeparators(out.filePath("book.xlsx"))}));
    EXPECT_TRUE(host.session().isIdle()); // an export is no device operation
    const QJsonObject book = ReadWorkbook(out.filePath("book.xlsx"));
    const QJsonObject cells = book["cells"].toObject();
    EXPECT_EQ(book["max_row"].toInt(), 7);
    EXPECT_EQ(cells["B6"].toObject()["value"].toString(), QStringLiteral("参数0"));
    EXPECT_EQ(cells["C7"].toObject()["value"].toString(), QStringLiteral("1 V"));
    EXPECT_EQ(cells["C7"].toObject()["color"].toString(), QStringLiteral("FFFF0000"));
    EXPECT_NE(cells["B7"].toObject()["color"].toString(), QStringLiteral("FFFF0000"));
    EXPECT_NE(cells["C6"].toObject()["color"].toString(), QStringLiteral("FFFF0000"));
    EXPECT_EQ(cells["A3"].toObject()["value"].toString(),
              QStringLiteral("额定值(电压：220V; 电流：5A)"));
    EXPECT_EQ(cells["A5"].toObject()["value"].toString(),
              QStringLiteral("检验条件(电压: 0%;电流: 0%;角度: 0°;频率: 45Hz)"));
}

// Two stations on one PC, each on its own port and module, check at the same time; neither waits
// for the other, and a third link cannot take a port a station holds.
TEST(CheckPage, TwoStationsOnTwoPortsCheckAtOnce) {
    Bench first(QStringLiteral("KX7410M31-01"), 0, kMatchingPoint);
    Bench second(QStringLiteral("KX7410M31-01"), 0, kMatchingPoint);
    ASSERT_TRUE(first.opened && second.opened);
    for (Bench* b : {&first, &second}) {
        ASSERT_TRUE(ConfigureModule(b->sim, b->folder.database(), b->host.model, false));
        ASSERT_TRUE(DownloadParameterList(b->host.serial, b->folder.database(), b->host.model));
        SelectMatchingPoint(*b->page);
    }
    first.page->BitBtn_CheckClick();
    second.page->BitBtn_CheckClick();
    ASSERT_TRUE(first.page->isRunning() && second.page->isRunning());
    ASSERT_TRUE(WaitForPasses(*first.page, 2) && WaitForPasses(*second.page, 2));
    EXPECT_TRUE(first.page->isRunning() && second.page->isRunning());

    SerialLink intruder;
    OpenFailure failure;
    EXPECT_FALSE(intruder.Open(first.sim.link(), 3, 0, 2, 0, &failure));
    EXPECT_EQ(failure.kind, OpenFailure::Kind::InUse);
    EXPECT_TRUE(OpenFailureMessage(failure).contains(first.sim.link()));

    ASSERT_TRUE(StopAndWait(*first.page) && StopAndWait(*second.page));
    // The second bench's seam is the one installed last: no box for either station.
    EXPECT_TRUE(second.messages.shown.isEmpty()) << second.messages.shown.join('|').toStdString();
}

// The main window's part for both pages: one link, one session.
class StationHost : public CheckHost, public CurveHost {
public:
    explicit StationHost(CheckDataFolder& folder) : folder_(folder) {}
    ~StationHost() override { serial.Stop(); }
    bool portOpen() const override { return true; }
    quint8 moduleAddress() const override { return 1; }
    QString modelText() const override { return QStringLiteral("KX7410M31-01"); }
    int protocol() const override { return 0; }
    Link& link() override { return serial; }
    DeviceSession& session() override { return session_; }
    ProductDatabase& database() override { return folder_.database(); }
    QString dataFolder() const override { return folder_.path(); }
    void SetCheckControls(bool running) override { checkCalls << running; }
    void SetStatusText(const QString&) override {}
    void SetCurveControls(bool running) override { curveCalls << running; }

    SerialLink serial;
    QList<bool> checkCalls;
    QList<bool> curveCalls;

private:
    CheckDataFolder& folder_;
    DeviceSession session_{serial};
};

TEST(CheckPage, ACheckAndTheCurvesNeverRunAtOnce) {
    RecordingMessages messages;
    CheckDataFolder folder;
    SimProcess sim(kMatchingPoint);
    StationHost host(folder);
    ASSERT_TRUE(sim.started() && host.serial.Open(sim.link(), 3, 0, 2, 0));
    ASSERT_TRUE(ConfigureModule(sim, folder.database(), host.modelText()));
    CheckPage check(host);
    CurvePage curves(host);
    const QString busy = QStringLiteral("inform: ") + DeviceSession::BusyText();

    check.BitBtn_CheckClick();
    ASSERT_TRUE(WaitForPasses(check, 1));
    curves.BitBtn_ReadQXClick();
    EXPECT_FALSE(curves.isRunning());
    EXPECT_EQ(messages.shown, QStringList{busy});
    // Still the check's job while it is being stopped.
    check.StopCheck();
    curves.BitBtn_ReadQXClick();
    EXPECT_FALSE(curves.isRunning());
    EXPECT_EQ(messages.shown, (QStringList{busy, busy}));
    ASSERT_TRUE(WaitUntil([&] { return !check.isRunning(); }));
    EXPECT_TRUE(host.curveCalls.isEmpty());

    curves.BitBtn_ReadQXClick();
    ASSERT_TRUE(curves.isRunning());
    EXPECT_EQ(host.session().state(), DeviceSession::State::Curves);
    EXPECT_EQ(host.session().operation(), QStringLiteral("读曲线"));
    ASSERT_TRUE(WaitUntil([&] { return curves.pointCount() >= 1; }));
    const QString status = Cell(check, 1, 0);
    check.BitBtn_CheckClick();
    EXPECT_FALSE(check.isRunning());
    EXPECT_EQ(Cell(check, 1, 0), status); // the grid of the last check stays
    EXPECT_EQ(messages.shown, (QStringList{busy, busy, busy}));
    curves.StopCurve();
    ASSERT_TRUE(WaitUntil([&] { return !curves.isRunning(); }));
    EXPECT_EQ(host.checkCalls, (QList<bool>{true, false}));
    EXPECT_EQ(host.curveCalls, (QList<bool>{true, false}));
    EXPECT_TRUE(host.session().isIdle());
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
