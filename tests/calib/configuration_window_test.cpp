// The configuration buttons of the window against kx7410-sim on a pseudo-terminal, offscreen,
// every message answered through the message seam.

#include "acquire/read_thread.h"
#include "calib/register_words.h"
#include "common/conversion.h"
#include "gui/calib/calibration_page.h"
#include "gui/calib/configuration_controller.h"
#include "gui/calib/user_page.h"
#include "gui/check/check_page.h"
#include "gui/kit/messages.h"
#include "gui/main/main_form.h"
#include "link/serial_link.h"
#include "recording_messages.h"
#include "session/device_session.h"
#include "store/database.h"
#include "store/ini_file.h"
#include "store/results.h"

#include "app_fixture.h"
#include "sim_process.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSysInfo>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <ctime>
#include <map>
#include <mutex>
#include <tuple>

namespace {
// Changes the window's line settings the way the settings dialog would, one field at a time.
template <class Edit> void EditLine(TMainForm& form, Edit edit) {
    LineChoice line = form.station().line();
    edit(line);
    form.station().setLine(line);
}

// The real serial link to the simulator, keeping every request it was asked to send, so a test
// sees the frames of an operation in the order they went out.
class RecordingSerialLink : public SerialLink {
public:
    std::optional<std::vector<uint8_t>> Transact(const std::vector<uint8_t>& request,
                                                 const TransactParams& params) override {
        {
            std::lock_guard lock(mutex_);
            frames_.push_back(request);
        }
        return SerialLink::Transact(request, params);
    }
    std::vector<std::vector<uint8_t>> Frames() const {
        std::lock_guard lock(mutex_);
        return frames_;
    }
    std::size_t FrameCount() const {
        std::lock_guard lock(mutex_);
        return frames_.size();
    }
    void ClearFrames() {
        std::lock_guard lock(mutex_);
        frames_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::vector<uint8_t>> frames_;
};

// The first register a Modbus request addresses.
int FirstRegister(const std::vector<uint8_t>& frame) {
    return frame.size() >= 4 ? frame[2] << 8 | frame[3] : -1;
}

// Every edit and combo of the calibration page's configuration fields, by name.
const char* const kEdits[] = {"LE_StandVol", "LE_StandCur", "LE_GroupNo1", "LE_GroupNo2",
                              "LE_GroupNo3", "LE_YJVNo1",   "LE_YJVNo2",   "LE_YJVNo3",
                              "TD",          "TH",          "TFLN",        "TSDN",
                              "LE_MCCS",     "LE_QDDL",     "LE_GYXZ",     "LE_QYXZ",
                              "LE_DXXZ",     "LE_GQDFZ",    "LE_PT",       "LE_CT"};
const char* const kCombos[] = {"CB_CheckoutType", "CB_NetType", "CB_CT_Num",
                               "CB_LBType",       "CB_MCType",  "CBox_XLType"};

class ConfigurationWindowTest : public testing::Test {
protected:
    void SetUp() override {
        db_ = folder_.OpenDatabase();
        ASSERT_TRUE(db_);
        // A model of the editable series whose name the module's words rebuild (code B3).
        ProductModel editable;
        editable.cpxh = QStringLiteral("KX7410B35-01");
        editable.fs = QStringLiteral("ModBus标准方式");
        editable.btlgs = 3;
        editable.upt = 1;
        editable.ict = 1;
        ASSERT_TRUE(db_->InsertModel(editable));
        // The series whose ratios come from the product.
        ProductModel fixed = editable;
        fixed.cpxh = QStringLiteral("KX2953C35-01");
        fixed.upt = 35;
        fixed.ict = 200;
        fixed.ctnum = 1;
        fixed.xljsfs = 1;
        ASSERT_TRUE(db_->InsertModel(fixed));
        ASSERT_TRUE(sim_.device().startsWith("/dev/")) << sim_.device().toStdString();
        form_ = std::make_unique<TMainForm>(folder_.path(), link_, *db_);
        ASSERT_TRUE(link_.Open(sim_.link(), 3, 0, 2, 0));
        form_->station().setPortOpen(true);
        messages_.shown.clear();
    }
    void TearDown() override {
        form_.reset();
        link_.Stop();
    }

    void Select(const QString& model) {
        auto* list = form_->findChild<QComboBox*>("CB_CPType");
        const int index = list->findText(model);
        ASSERT_GE(index, 0) << model.toStdString();
        list->setCurrentIndex(index);
        form_->CB_CPTypeChange();
    }
    QLineEdit* Edit(const char* name) const {
        return form_->calibrationPage()->findChild<QLineEdit*>(QLatin1String(name));
    }
    QComboBox* Combo(const char* name) const {
        return form_->calibrationPage()->findChild<QComboBox*>(QLatin1String(name));
    }
    QLineEdit* UserEdit(const char* name) const {
        return form_->userPage()->findChild<QLineEdit*>(QLatin1String(name));
    }
    // Clicks and waits until the operation the click started (if any) has ended and reported.
    void Click(const char* name) {
        Press(name);
        WaitIdle();
    }
    // Clicks without waiting for the operation.
    void Press(const char* name) {
        auto* button = form_->findChild<QPushButton*>(QLatin1String(name));
        ASSERT_TRUE(button) << name;
        button->click();
    }
    DeviceSession& Session() const { return form_->session(); }
    // The session runs its done callback, and so the outcome message, before it reads idle.
    void WaitIdle() {
        ASSERT_TRUE(QTest::qWaitFor([this] { return Session().isIdle(); }, 120000));
    }
    void WaitForFrames(std::size_t count) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return link_.FrameCount() >= count; }, 60000))
            << link_.FrameCount();
    }
    // The output-parameter list the module should hold for a scheme: count, then addresses.
    QList<int> SchemeList(const QString& scheme) {
        QStringList names;
        EXPECT_TRUE(db_->SelectSchemeParameters(scheme, names)) << scheme.toStdString();
        QList<int> list;
        for (const QString& name : names) {
            std::optional<OutputParameterRow> row;
            EXPECT_TRUE(db_->SelectParameter(name.trimmed(), row) && row) << name.toStdString();
            if (!row) continue;
            for (int k = 0; k < row->parameter.zs; ++k)
                list << row->parameter.addr + k;
        }
        list.prepend(int(list.size()));
        return list;
    }
    ConfigurationController& Controller() const {
        return *form_->findChild<ConfigurationController*>();
    }
    std::map<QString, QString> Snapshot() const {
        std::map<QString, QString> values;
        for (const char* name : kEdits)
            values[name] = Edit(name)->text();
        for (const char* name : kCombos)
            values[name] = QString::number(Combo(name)->currentIndex());
        for (int n = 1; n <= 12; ++n)
            for (const char* kind : {"TH", "TM", "TN"}) {
                const QByteArray field = kind + QByteArray::number(n);
                values[field] = Edit(field.constData())->text();
            }
        return values;
    }
    int Register(int address) { return sim_.registers(address).value(0, -1); }
    int Requests() {
        const QStringList words = sim_.command("stats").split(' ');
        return words.value(1).section('=', 1).toInt();
    }
    QString Last() { return sim_.command("last"); }

    DataFolder folder_;
    std::unique_ptr<ProductDatabase> db_;
    SimProcess sim_;
    RecordingSerialLink link_;
    RecordingMessages messages_;
    std::unique_ptr<TMainForm> form_;
};

// kx7410-cli's download-config sends what the window's 下载配置 sends after 默认配置, for the
// same model: the module holds the same words either way.
TEST_F(ConfigurationWindowTest, TheCommandLineDownloadsWhatTheWindowDownloads) {
    Select(QStringLiteral("KX7410B35-01"));
    Click("BitBtn_DefaultSet");
    Click("BitBtn1");
    ASSERT_EQ(messages_.shown, QStringList{"inform: 下载配置数据成功！"});
    const QList<int> list = SchemeList(QStringLiteral("ModBus标准方式"));
    const auto held = [&] {
        return QList<QList<int>>{sim_.registers(260, 44), sim_.registers(11002, 30),
                                 sim_.registers(11300, int(list.size()))};
    };
    const QList<QList<int>> byWindow = held();
    EXPECT_EQ(byWindow[2], list);
    // Cleared, so that only the command line's writes can bring the words back.
    // The four user blocks only: 269 is the frame format, which must stay.
    for (const auto& [first, count] : {std::pair{260, 9}, {270, 3}, {274, 10}, {286, 18}})
        ASSERT_EQ(sim_.command(QStringLiteral("set %1").arg(first) + QString(" 0").repeated(count)),
                  "ok");
    ASSERT_EQ(sim_.command("set 11300 0"), "ok");
    link_.Close();
    QProcess cli;
    cli.start(QStringLiteral(KX_CLI_EXE), {"--data", folder_.path(), "download-config", "--port",
                                           sim_.link(), "--model", "KX7410B35-01"});
    ASSERT_TRUE(cli.waitForFinished(120000));
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    EXPECT_EQ(QString::fromUtf8(cli.readAllStandardOutput()),
              QStringLiteral("下载配置数据成功！\n"));
    EXPECT_EQ(held(), byWindow);
}

TEST_F(ConfigurationWindowTest, FullDownloadThenReadBackRestoresEveryControl) {
    Select("KX7410B35-01");
    ASSERT_TRUE(form_->station().product().UserParamsEditable);
    Edit("LE_StandVol")->setText("57.5");
    Edit("LE_StandCur")->setText("1.5");
    EXPECT_EQ(Edit("LE_MCCS")->text(), "45913"); // 3960000 / 86.25
    Edit("LE_MCCS")->setText("12000");
    Edit("LE_GroupNo1")->setText("13067");
    Edit("LE_GroupNo2")->setText("AB12");
    Edit("LE_YJVNo3")->setText("00F1");
    for (int n = 1; n <= 12; ++n) {
        const QByteArray num = QByteArray::number(n);
        Edit(("TH" + num).constData())->setText(QString::number(n + 8));
        Edit(("TM" + num).constData())->setText(QString::number(n * 4));
        Edit(("TN" + num).constData())->setText(QString::number(n % 4 + 1));
    }
    Edit("TD")->setText("28");
    Edit("TH")->setText("23");
    Edit("TFLN")->setText("3");
    Edit("TSDN")->setText("12");
    Edit("LE_QDDL")->setText("4");
    Edit("LE_GYXZ")->setText("120");
    Edit("LE_QYXZ")->setText("80");
    Edit("LE_DXXZ")->setText("60");
    Edit("LE_GQDFZ")->setText("7");
    Combo("CB_MCType")->setCurrentIndex(1);
    Combo("CB_LBType")->setCurrentIndex(1);
    // The download re-runs the product selection: the product's own fields are set after it.
    Click("BitBtn1");
    ASSERT_EQ(messages_.shown, QStringList{"inform: 下载配置数据成功！"});
    EXPECT_FALSE(form_->progressBar()->isVisible());
    std::map<QString, QString> downloaded = Snapshot();
    downloaded["LE_GroupNo1"] = "1306"; // four characters travel
    EXPECT_EQ(sim_.registers(11002, 6), (QList<int>{575, 0, 1500, 0, 862, 0}));
    EXPECT_EQ(Register(278), 0);
    EXPECT_EQ(Register(11023), 0);
    EXPECT_EQ(Register(271), 12000);
    EXPECT_EQ(Register(302), 20 * 256 + 48);
    QStringList names;
    ASSERT_TRUE(db_->SelectSchemeParameters("ModBus标准方式", names));
    const QList<int> expected = SchemeList("ModBus标准方式");
    ASSERT_GT(expected.size(), names.size() + 1); // some parameters take two registers
    EXPECT_EQ(sim_.registers(11300, int(expected.size())), expected);

    // Everything changes on the page, then the module's configuration comes back.
    Select("KX7410M31-01");
    form_->BitBtn_DefaultSetClick();
    for (const char* name : kEdits)
        Edit(name)->setText("9");
    for (const char* name : kCombos)
        Combo(name)->setCurrentIndex(0);
    messages_.shown.clear();
    Click("BitBtn6");
    ASSERT_EQ(messages_.shown, QStringList{"inform: 读配置数据成功！！"});
    EXPECT_EQ(Snapshot(), downloaded);
    EXPECT_EQ(form_->findChild<QComboBox*>("CB_CPType")->currentText(), "KX7410B35-01");
    // Only selected: the product's values stay those of the last selection.
    EXPECT_EQ(form_->station().product().ModelName, "KX7410M31-01");
    EXPECT_DOUBLE_EQ(form_->station().rated().RatedVoltage, 57.5);
    EXPECT_DOUBLE_EQ(form_->station().rated().RatedCurrent, 1.5);
}

TEST_F(ConfigurationWindowTest, FixedSeriesSendsTheProductsRatiosWhateverTheControlsShow) {
    Select("KX2953C35-01");
    ASSERT_FALSE(form_->station().product().UserParamsEditable);
    Edit("LE_PT")->setText("not a number");
    Edit("LE_CT")->setText("7");
    Combo("CB_CT_Num")->setCurrentIndex(0);
    Combo("CBox_XLType")->setCurrentIndex(0);
    ASSERT_TRUE(Controller().DownloadConfiguration());
    WaitIdle();
    ASSERT_EQ(messages_.shown, QStringList{"inform: 下载配置数据成功！"});
    EXPECT_EQ(sim_.registers(274, 3), (QList<int>{35, 200, 1}));
    EXPECT_EQ(Register(283), 1);
    // Characters 3..6, 7 and 10, 11 and 12 of the name.
    EXPECT_EQ(sim_.registers(11011, 4),
              (QList<int>{'2' << 8 | '9', '5' << 8 | '3', 'C' << 8 | '-', '0' << 8 | '1'}));
}

struct FieldCase {
    const char* field;
    const char* text;
    const char* message;
};

// A field that does not convert, or holds what its register cannot, stops the download before
// anything is written; the message names the field by its caption and quotes what was typed.
TEST_F(ConfigurationWindowTest, AFieldThatCannotBeSentStopsTheDownloadBeforeAnyWrite) {
    Select("KX7410B35-01");
    const int before = Requests();
    const FieldCase cases[] = {
        {"LE_QDDL", "-5", "启动电流：“-5”超出范围（0～65535）"},
        {"LE_QDDL", "ab", "启动电流：“ab”不是有效的整数"},
        {"LE_MCCS", "70000", "脉冲常数：“70000”超出范围（0～65535）"},
        {"TFLN", "-1", "费率数：“-1”超出范围（0～65535）"},
        {"TH5", "256", "时段5时：“256”超出范围（0～255）"},
        {"TN12", "65536", "时段12费率号：“65536”超出范围（0～65535）"},
        {"TD", "", "抄表(日)：“”不是有效的整数"},
        {"LE_GYXZ", "6554", "过压限值：“6554”超出范围（0～6553）"},
        {"LE_GQDFZ", "-1", "过欠压/断相阀值：“-1”超出范围（0～6553）"},
        {"LE_StandVol", "22o", "电压额定值：“22o”不是有效的数值"},
        {"LE_StandCur", "-1", "电流额定值：“-1”超出范围（0～2147483.647）"},
        {"LE_GroupNo2", "", "产品序列号2：“”不是有效的十六进制数"},
        // The last block's field: nothing may be written before it is found wrong.
        {"LE_YJVNo3", "xyz", "硬件版本号3：“xyz”不是有效的十六进制数"}};
    for (const FieldCase& c : cases) {
        QLineEdit* field = Edit(c.field);
        const QString kept = field->text();
        field->setText(QString::fromUtf8(c.text));
        // A rating recomputes the pulse constant; keep that one sendable.
        Edit("LE_MCCS")->setText(std::string_view(c.field) == "LE_MCCS" ? c.text : "3600");
        messages_.shown.clear();
        Click("BitBtn1");
        EXPECT_EQ(messages_.shown, QStringList{"error: " + QString::fromUtf8(c.message)})
            << c.field;
        EXPECT_FALSE(form_->progressBar()->isVisible()) << c.field;
        field->setText(kept);
    }
    // A list left with no item chosen (as a read-back of an unknown index leaves it).
    Combo("CB_MCType")->setCurrentIndex(-1);
    messages_.shown.clear();
    Click("BitBtn1");
    EXPECT_EQ(messages_.shown, QStringList{"error: 脉冲输出方式：未选择"});
    Combo("CB_MCType")->setCurrentIndex(0);
    // The button's product selection puts the product's ratios into PT and CT; the download
    // that follows it holds them to the page's bounds.
    const FieldCase ratios[] = {{"LE_PT", "0", "电压变比PT：“0”超出范围（1～5000）"},
                                {"LE_CT", "10000", "电流变比CT：“10000”超出范围（1～9999）"}};
    for (const FieldCase& c : ratios) {
        Edit(c.field)->setText(QString::fromUtf8(c.text));
        try {
            Controller().DownloadConfiguration();
            ADD_FAILURE() << c.field;
        } catch (const ConversionError& e) {
            EXPECT_EQ(e.text(), QString::fromUtf8(c.message));
        }
        Edit(c.field)->setText("1");
    }
    EXPECT_EQ(Requests(), before);
}

// The largest values the registers carry reach the module as they were typed.
TEST_F(ConfigurationWindowTest, TheTopOfEveryRangeReachesTheModule) {
    Select("KX7410B35-01");
    Edit("LE_MCCS")->setText("65535");
    Edit("LE_QDDL")->setText("65535");
    Edit("TH1")->setText("255");
    Edit("TM1")->setText("255");
    Edit("TN1")->setText("65535");
    Edit("TFLN")->setText("65535");
    Edit("LE_GYXZ")->setText("6553");
    Edit("LE_PT")->setText("5000");
    Edit("LE_CT")->setText("9999");
    // As the button does after its product selection, which would set PT and CT to the product's.
    ASSERT_TRUE(Controller().DownloadConfiguration());
    WaitIdle();
    ASSERT_EQ(messages_.shown, QStringList{"inform: 下载配置数据成功！"});
    EXPECT_EQ(sim_.registers(260, 2), (QList<int>{0xFFFF, 65535}));
    EXPECT_EQ(sim_.registers(271, 2), (QList<int>{65535, 65535}));
    EXPECT_EQ(sim_.registers(274, 2), (QList<int>{5000, 9999}));
    EXPECT_EQ(Register(279), 65530);
    EXPECT_EQ(Register(286), 65535);
}

TEST_F(ConfigurationWindowTest, RatingsGiveThePulseConstant) {
    const std::tuple<const char*, const char*, const char*> cases[] = {{"220", "5", "3600"},
                                                                       {"1", "1", "65530"},
                                                                       {"57.5", "1.5", "45913"},
                                                                       {"100", "1.5", "26400"}};
    for (const auto& [voltage, current, constant] : cases) {
        Edit("LE_StandVol")->setText(voltage);
        Edit("LE_StandCur")->setText(current);
        EXPECT_EQ(Edit("LE_MCCS")->text(), constant) << voltage << " " << current;
        EXPECT_DOUBLE_EQ(form_->station().rated().RatedVoltage, QString(voltage).toDouble());
        EXPECT_DOUBLE_EQ(form_->station().rated().RatedCurrent, QString(current).toDouble());
    }
    // A field on its way to a number leaves the last values as they were, without a box.
    Edit("LE_StandCur")->setText("");
    EXPECT_EQ(Edit("LE_MCCS")->text(), "26400");
    EXPECT_DOUBLE_EQ(form_->station().rated().RatedCurrent, 1.5);
    EXPECT_EQ(messages_.shown, QStringList());
}

// While the download waits, the window keeps running: a second operation is refused instead of
// interleaving, timers keep firing, and the waits do not burn a core.
TEST_F(ConfigurationWindowTest, DownloadKeepsTheWindowAliveAndRefusesASecondOperation) {
    Select("KX7410B35-01");
    QTimer second;
    second.setSingleShot(true);
    QObject::connect(&second, &QTimer::timeout, [this] { Controller().BitBtn9Click(); });
    second.start(1000);
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    ticker.start(10);
    clock.start();
    const std::clock_t cpuBefore = std::clock();
    Click("BitBtn1");
    const double cpuSeconds = double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
    const qint64 wall = clock.elapsed();
    ticker.stop();
    EXPECT_EQ(messages_.shown,
              (QStringList{"inform: " + DeviceSession::BusyText(), "inform: 下载配置数据成功！"}));
    EXPECT_GE(wall, 4 * 2000);
    // Generous bounds for a shared machine: a blocking wait would stall for whole seconds and a
    // spinning one would use the core for the whole download.
    EXPECT_LT(longest, 500);
    EXPECT_LT(cpuSeconds, 0.25 * wall / 1000.0);
}

// While the download runs, every other device operation of the pages is refused with the
// session's message and sends nothing: the frames on the line are the download's alone, in order.
TEST_F(ConfigurationWindowTest, OperationsDuringADownloadAreRefusedAndSendNothing) {
    Select("KX7410B35-01");
    link_.ClearFrames();
    Press("BitBtn1");
    ASSERT_FALSE(Session().isIdle());
    EXPECT_EQ(Session().operation(), "下载配置");
    // The first block is out: the download is in its first wait or writing the next block.
    WaitForFrames(1);
    ConfigurationController& c = Controller();
    using Slot = void (ConfigurationController::*)();
    const std::pair<const char*, Slot> others[] = {
        {"下载配置", &ConfigurationController::BitBtn1Click},
        {"读取配置", &ConfigurationController::BitBtn6Click},
        {"校时", &ConfigurationController::BitBtn9Click},
        {"读时间", &ConfigurationController::BitBtn3Click},
        {"用户下载配置", &ConfigurationController::BitBtn5Click},
        {"设置电量底数", &ConfigurationController::BitBtn10Click},
        {"读通信地址", &ConfigurationController::BitBtn11Click},
        {"读标定数据", &ConfigurationController::BitBtn12Click},
        {"读原始数据", &ConfigurationController::BitBtn13Click},
        {"清除电能数据", &ConfigurationController::BitBtn7Click},
        {"清除需量数据", &ConfigurationController::BitBtn8Click}};
    for (const auto& [name, slot] : others) {
        messages_.shown.clear();
        (c.*slot)();
        EXPECT_EQ(messages_.shown, QStringList{"inform: " + DeviceSession::BusyText()}) << name;
    }
    // The real-time page's read button goes through the same refusal.
    messages_.shown.clear();
    emit form_->checkPage()->ReadConfigurationClicked();
    EXPECT_EQ(messages_.shown, QStringList{"inform: " + DeviceSession::BusyText()});
    // So does the data check of the real-time page.
    messages_.shown.clear();
    form_->checkPage()->BitBtn_CheckClick();
    EXPECT_EQ(messages_.shown, QStringList{"inform: " + DeviceSession::BusyText()});
    EXPECT_FALSE(form_->checkPage()->isRunning());
    EXPECT_EQ(form_->findChild<QComboBox*>("CB_CPType")->currentText(), "KX7410B35-01");
    messages_.shown.clear();
    WaitIdle();
    EXPECT_EQ(messages_.shown, QStringList{"inform: 下载配置数据成功！"});
    // The download's own writes, then the read-back of what they wrote.
    std::vector<std::pair<int, int>> frames;
    for (const std::vector<uint8_t>& frame : link_.Frames())
        frames.emplace_back(frame.at(1), FirstRegister(frame));
    std::vector<std::pair<int, int>> expected{{0x10, 260}, {0x10, 270},   {0x10, 274},
                                              {0x10, 286}, {0x40, 11002}, {0x40, 11300},
                                              {0x03, 260}, {0x33, 11002}};
    const qsizetype listWords = SchemeList(form_->station().product().SchemeName).size();
    for (qsizetype read = 0; read < listWords; read += 125)
        expected.emplace_back(0x33, int(11300 + read));
    EXPECT_EQ(frames, expected);
}

// The output-parameter list written is the scheme of the model selected when the download began,
// even when another model is selected while the download waits.
TEST_F(ConfigurationWindowTest, TheListWrittenIsThatOfTheModelTheDownloadBeganWith) {
    Select("KX7410D07-01");
    const QString later = form_->station().product().SchemeName;
    Select("KX7410B35-01");
    const QString first = form_->station().product().SchemeName;
    const QList<int> expected = SchemeList(first);
    ASSERT_NE(SchemeList(later), expected);
    link_.ClearFrames();
    Press("BitBtn1");
    WaitForFrames(1);
    Select("KX7410D07-01");
    ASSERT_EQ(form_->station().product().SchemeName, later);
    WaitIdle();
    ASSERT_EQ(messages_.shown, QStringList{"inform: 下载配置数据成功！"});
    EXPECT_EQ(sim_.registers(11300, int(expected.size())), expected);
}

// A cancel (the window closing) ends the download at the next transaction boundary: nothing goes
// out after the block in flight, the rest of its wait is cut short, and nothing is reported.
TEST_F(ConfigurationWindowTest, ACancelledDownloadStopsAtTheNextBoundaryAndSaysNothing) {
    Select("KX7410B35-01");
    const QList<int> listBefore = sim_.registers(11300, 4);
    link_.ClearFrames();
    Press("BitBtn1");
    WaitForFrames(2);
    Session().Cancel();
    const std::size_t sent = link_.FrameCount();
    WaitIdle();
    EXPECT_EQ(link_.FrameCount(), sent);
    EXPECT_GE(sent, 2u);
    EXPECT_LT(sent, 6u);
    EXPECT_EQ(messages_.shown, QStringList());
    EXPECT_FALSE(form_->progressBar()->isVisible());
    EXPECT_EQ(sim_.registers(11300, 4), listBefore);
    // The session takes the next operation as usual.
    Click("BitBtn9");
    EXPECT_EQ(messages_.shown, QStringList{"inform: 校时成功!!"});
}

struct UserFieldCase {
    const char* model;
    const char* field;
    const char* text;
    const char* message;
};

// The user page's fields are held to what the download of the scheme's protocol carries: whole
// words in Modbus, the BCD digits of each item in DL/T 645. A field outside sends nothing.
TEST_F(ConfigurationWindowTest, UserDownloadWithABadFieldSendsNothing) {
    const int before = Requests();
    const UserFieldCase cases[] = {
        {"KX7410M31-01", "YH_LE_QDDL", "-5", "启动电流：“-5”超出范围（0～65535）"},
        {"KX7410M31-01", "YH_LE_QDDL", "ab", "启动电流：“ab”不是有效的整数"},
        {"KX7410M31-01", "YH_LE_MCCS", "70000", "脉冲常数：“70000”超出范围（0～65535）"},
        {"KX7410M31-01", "YH_TM3", "", "时段3分：“”不是有效的整数"},
        // A minute that would spill into the hour.
        {"KX7410M31-01", "YH_TM7", "300", "时段7分：“300”超出范围（0～255）"},
        {"KX7410M31-01", "YH_LE_GYXZ", "12a", "过压限值：“12a”不是有效的整数"},
        {"KX7410M31-01", "YH_LE_QYXZ", "6554", "欠压限值：“6554”超出范围（0～6553）"},
        {"KX7410M31-01", "YH_TN12", "12a", "时段12费率号：“12a”不是有效的整数"},
        {"KX7410D97-01", "YH_TFLN", "-1", "费率数：“-1”超出范围（0～99）"},
        {"KX7410D97-01", "YH_TH3", "100", "时段3时：“100”超出范围（0～99）"},
        {"KX7410D97-01", "YH_TN1", "100", "时段1费率号：“100”超出范围（0～99）"},
        {"KX7410D97-01", "YH_LE_QDDL", "10000", "启动电流：“10000”超出范围（0～9999）"},
        {"KX7410D97-01", "YH_LE_MCCS", "1000000", "脉冲常数：“1000000”超出范围（0～999999）"},
        {"KX7410D07-01", "YH_TD", "100", "抄表(日)：“100”超出范围（0～99）"},
        {"KX7410D07-01", "YH_GQDFZ", "10000", "过欠压/断相阈值：“10000”超出范围（0～9999）"},
        {"KX7410D07-01", "YH_LE_PT", "5001", "电压变比PT：“5001”超出范围（1～5000）"},
        {"KX7410D07-01", "YH_LE_CT", "0", "电流变比CT：“0”超出范围（1～9999）"}};
    for (const UserFieldCase& c : cases) {
        Select(c.model);
        QLineEdit* field = UserEdit(c.field);
        const QString kept = field->text();
        field->setText(QString::fromUtf8(c.text));
        messages_.shown.clear();
        Click("BitBtn5");
        EXPECT_EQ(messages_.shown, QStringList{"error: " + QString::fromUtf8(c.message)})
            << c.model << " " << c.field;
        EXPECT_FALSE(form_->progressBar()->isVisible()) << c.field;
        field->setText(kept);
    }
    Select("KX7410D97-01");
    form_->userPage()->findChild<QComboBox*>("YH_CB_JSXLFS")->setCurrentIndex(-1);
    messages_.shown.clear();
    Click("BitBtn5");
    EXPECT_EQ(messages_.shown, QStringList{"error: 计算需量方式：未选择"});
    EXPECT_EQ(Requests(), before);
}

TEST_F(ConfigurationWindowTest, EnergyBaseThatCannotBeSentSendsNothing) {
    ASSERT_EQ(sim_.command("protocol 3").left(2), "ok");
    const int before = Requests();
    const std::pair<const char*, const char*> cases[] = {
        {"-1", "电量底数：“-1”超出范围（0～2147483647）"},
        {"0xFFFFFFFF", "电量底数：“0xFFFFFFFF”超出范围（0～2147483647）"},
        {"5OO", "电量底数：“5OO”不是有效的整数"}};
    for (const auto& [text, message] : cases) {
        UserEdit("YH_LEdit_DS")->setText(text);
        messages_.shown.clear();
        Click("BitBtn10");
        EXPECT_EQ(messages_.shown, QStringList{"error: " + QString::fromUtf8(message)}) << text;
    }
    EXPECT_EQ(Requests(), before);
}

TEST_F(ConfigurationWindowTest, DefaultButtonAndTheRealTimePagesReadButtonAreWired) {
    Edit("LE_StandVol")->setText("100");
    Edit("TH2")->setText("9");
    Edit("LE_GQDFZ")->setText("8");
    Combo("CB_NetType")->setCurrentIndex(2);
    Combo("CB_MCType")->setCurrentIndex(1);
    Click("BitBtn_DefaultSet");
    EXPECT_EQ(Edit("LE_StandVol")->text(), "220");
    EXPECT_EQ(Edit("LE_MCCS")->text(), "3600");
    EXPECT_EQ(Edit("TH2")->text(), "7");
    EXPECT_EQ(Edit("LE_GQDFZ")->text(), "5");
    EXPECT_EQ(Combo("CB_MCType")->currentIndex(), 0);
    EXPECT_EQ(Combo("CB_NetType")->currentIndex(), 2); // the product's, left alone
    EXPECT_DOUBLE_EQ(form_->station().rated().RatedVoltage, 220.0);

    ASSERT_EQ(sim_.command("set 260 2564").left(2), "ok"); // 10:04 for segment 1
    Click("BitBtn15");
    EXPECT_EQ(messages_.shown, QStringList{"inform: 读配置数据成功！！"});
    EXPECT_EQ(Edit("TH1")->text(), "10");
    EXPECT_EQ(Edit("TM1")->text(), "4");
}

TEST_F(ConfigurationWindowTest, ClockSetThenRead) {
    Click("BitBtn9");
    ASSERT_EQ(messages_.shown, QStringList{"inform: 校时成功!!"});
    const QDateTime now = QDateTime::currentDateTime();
    const QList<int> words = sim_.registers(257, 3);
    ASSERT_EQ(words.size(), 3);
    const QDateTime module(QDate(2000 + (words[0] >> 8), words[0] & 0xFF, words[1] >> 8),
                           QTime(words[1] & 0xFF, words[2] >> 8, words[2] & 0xFF));
    EXPECT_LE(std::abs(module.secsTo(now)), 60);
    for (const char* name : {"LE_Year", "LE_Month", "LE_Day", "LE_Shi", "LE_Fen", "LE_Miao"})
        Edit(name)->clear();
    messages_.shown.clear();
    Click("BitBtn3");
    EXPECT_EQ(messages_.shown, QStringList());
    const QDateTime shown(QDate(2000 + Edit("LE_Year")->text().toInt(),
                                Edit("LE_Month")->text().toInt(), Edit("LE_Day")->text().toInt()),
                          QTime(Edit("LE_Shi")->text().toInt(), Edit("LE_Fen")->text().toInt(),
                                Edit("LE_Miao")->text().toInt()));
    ASSERT_TRUE(shown.isValid());
    EXPECT_LE(std::abs(shown.secsTo(now)), 60);
}

// The Download records of the window's results database, newest first.
QList<UnitRecord> Downloads(TMainForm& form) {
    RecordFilter filter;
    filter.kind = RecordKind::Download;
    QList<UnitRecord> records;
    EXPECT_TRUE(form.results().Select(filter, records)) << form.results().lastError().toStdString();
    return records;
}

// A clean download is read back word for word and stored as a passed record of this station.
TEST_F(ConfigurationWindowTest, ACleanDownloadStoresAPassedRecord) {
    WriteIniValues(folder_.file("Config.ini"), "SysInfo", {{"Operator", QStringLiteral("张工")}});
    EditLine(*form_, [&](LineChoice& line) { line.PortName = sim_.link(); });
    Select("KX7410B35-01");
    QStringList logged;
    QObject::connect(&Session(), &DeviceSession::logLine, form_.get(),
                     [&](const QString& line) { logged << line; });
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    Click("BitBtn1");
    ASSERT_EQ(messages_.shown, QStringList{"inform: 下载配置数据成功！"});
    EXPECT_EQ(logged, QStringList());
    const QList<UnitRecord> records = Downloads(*form_);
    ASSERT_EQ(records.size(), 1);
    const UnitRecord& r = records[0];
    EXPECT_EQ(r.verdict, Verdict::Pass);
    EXPECT_EQ(r.failures, 0);
    EXPECT_EQ(r.serial, QString());
    EXPECT_EQ(r.model, "KX7410B35-01");
    EXPECT_EQ(r.operatorName, QStringLiteral("张工"));
    EXPECT_EQ(r.station, QSysInfo::machineHostName());
    EXPECT_EQ(r.port, sim_.link());
    EXPECT_EQ(r.lineSettings, "9600,N,8,1");
    EXPECT_EQ(r.protocol, "MODBUS_RTU");
    EXPECT_EQ(r.address, 1);
    EXPECT_LE(before, r.started);
    EXPECT_LE(r.started, r.ended);
    // Every word written, each read back equal, the list included.
    const RegisterWords written = WordsFromLines("written.", r.details);
    const RegisterWords read = WordsFromLines("read.", r.details);
    const QList<int> list = SchemeList("ModBus标准方式");
    EXPECT_EQ(written.size(), std::size_t(9 + 3 + 10 + 18 + 30 + list.size()));
    EXPECT_EQ(written.at(271), Edit("LE_MCCS")->text().toInt());
    EXPECT_EQ(written.at(11300), list[0]);
    for (const auto& [reg, word] : written)
        EXPECT_EQ(read.count(reg) ? int(read.at(reg)) : -1, word) << reg;
    EXPECT_FALSE(r.details.contains("diff."));
}

struct StuckCase {
    const char* name;
    int reg;   // the register the module does not keep
    int value; // what it holds instead
    const char* field;
    const char* line;
};

void PrintTo(const StuckCase& c, std::ostream* os) {
    *os << c.name;
}

class StuckRegisterTest : public ConfigurationWindowTest,
                          public testing::WithParamInterface<StuckCase> {};

// A module that answers every write but does not keep one value: the read-back names the field
// in the log and the message, and the download is neither reported nor recorded as a success.
TEST_P(StuckRegisterTest, TheDifferenceIsReportedAndNotASuccess) {
    const StuckCase& c = GetParam();
    Select("KX7410B35-01");
    ASSERT_EQ(sim_.command(QStringLiteral("stuck %1 %2").arg(c.reg).arg(c.value)), "ok");
    QStringList logged;
    QObject::connect(&Session(), &DeviceSession::logLine, form_.get(),
                     [&](const QString& line) { logged << line; });
    Click("BitBtn1");
    const QString line = QString::fromUtf8(c.line);
    EXPECT_EQ(messages_.shown, QStringList{"inform: 下载配置数据读回不一致！\n" + line});
    EXPECT_FALSE(messages_.shown.join(' ').contains(QStringLiteral("成功")));
    EXPECT_EQ(logged, QStringList{line});
    EXPECT_FALSE(form_->progressBar()->isVisible());
    EXPECT_EQ(Register(c.reg), c.value);
    const QList<UnitRecord> records = Downloads(*form_);
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0].verdict, Verdict::Fail);
    EXPECT_EQ(records[0].failures, 1);
    EXPECT_TRUE(records[0].details.contains("diff." + QString::fromUtf8(c.field) + "=写入 "))
        << records[0].details.toStdString();
    EXPECT_EQ(WordsFromLines("read.", records[0].details).at(uint16_t(c.reg)), c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, StuckRegisterTest,
    testing::Values(StuckCase{"WholeWord", 272, 7, "启动电流", "写入 启动电流=10 读回 7"},
                    // Segment 1 starts at 1:00; only the minute is wrong.
                    StuckCase{"LowByte", 260, 1 << 8 | 5, "时段1分", "写入 时段1分=0 读回 5"},
                    StuckCase{"Tenths", 279, 1251, "过压限值", "写入 过压限值=125 读回 125.1"},
                    StuckCase{"Rating", 11002, 2201, "电压额定值",
                              "写入 电压额定值=220 读回 220.1"},
                    StuckCase{"NoCaption", 278, 5, "278", "写入 278=0 读回 5"}),
    [](const testing::TestParamInfo<StuckCase>& info) { return std::string(info.param.name); });

// A record that cannot be stored is shown in the error box after the download's own outcome.
TEST_F(ConfigurationWindowTest, ARecordThatCannotBeStoredIsShownAfterTheOutcome) {
    form_.reset();
    const QString results = folder_.file(QLatin1String(kResultsFile));
    ASSERT_TRUE(QFile::remove(results));
    ASSERT_TRUE(QDir().mkdir(results));
    form_ = std::make_unique<TMainForm>(folder_.path(), link_, *db_);
    form_->station().setPortOpen(true);
    Select("KX7410B35-01");
    messages_.shown.clear();
    Click("BitBtn1");
    ASSERT_EQ(messages_.shown.size(), 2);
    EXPECT_EQ(messages_.shown[0], "inform: 下载配置数据成功！");
    EXPECT_EQ(messages_.shown[1], "error: " + form_->results().lastError());
    EXPECT_TRUE(messages_.shown[1].contains(QDir::toNativeSeparators(results)));
}

TEST_F(ConfigurationWindowTest, SilentModuleGivesEachFailureMessage) {
    ASSERT_EQ(sim_.command("silent on").left(2), "ok");
    const QString before = Edit("TN1")->text();
    const std::pair<const char*, const char*> cases[] = {{"BitBtn1", "下载配置数据失败！"},
                                                         {"BitBtn6", "读配置数据失败！！"},
                                                         {"BitBtn9", "校时失败!!"},
                                                         {"BitBtn3", "读时间失败！！"}};
    for (const auto& [button, text] : cases) {
        messages_.shown.clear();
        Click(button);
        EXPECT_EQ(messages_.shown,
                  QStringList{QStringLiteral("inform: ") + QString::fromUtf8(text)})
            << button;
        EXPECT_FALSE(form_->progressBar()->isVisible()) << button;
    }
    EXPECT_EQ(Edit("TN1")->text(), before);
    // The failed download is recorded as failed, with nothing confirmed written.
    const QList<UnitRecord> records = Downloads(*form_);
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0].verdict, Verdict::Fail);
    EXPECT_TRUE(WordsFromLines("written.", records[0].details).empty());
}

TEST_F(ConfigurationWindowTest, ListFailureAfterTheConfigurationIsReported) {
    Select("KX7410B35-01");
    db_->SetFaultHook([](int statement) { return statement == 4; });
    Click("BitBtn1");
    db_->SetFaultHook({});
    EXPECT_EQ(messages_.shown, QStringList{"inform: 下载输出参数配置数据失败！"});
    EXPECT_FALSE(form_->progressBar()->isVisible());
}

TEST_F(ConfigurationWindowTest, ClosedPortRefusesEveryButton) {
    form_->station().setPortOpen(false);
    const int before = Requests();
    for (const char* button : {"BitBtn1", "BitBtn6", "BitBtn9", "BitBtn3", "BitBtn5", "BitBtn10",
                               "BitBtn11", "BitBtn12", "BitBtn13", "BitBtn7", "BitBtn8"}) {
        messages_.shown.clear();
        Click(button);
        EXPECT_EQ(messages_.shown, QStringList{"inform: 请打开串口！！"}) << button;
    }
    EXPECT_EQ(Requests(), before);
}

struct UserCase {
    const char* model;
    int protocol;
};

void PrintTo(const UserCase& c, std::ostream* os) {
    *os << c.model;
}

class UserDownloadWindowTest : public ConfigurationWindowTest,
                               public testing::WithParamInterface<UserCase> {};

// The user download in the scheme's protocol reaches the module's registers.
TEST_P(UserDownloadWindowTest, UserFieldsReachTheModule) {
    Select(GetParam().model);
    ASSERT_EQ(form_->station().product().TXXY, GetParam().protocol);
    ASSERT_EQ(sim_.command(QStringLiteral("protocol %1").arg(GetParam().protocol)).left(2), "ok");
    UserEdit("YH_LE_PT")->setText("1200");
    UserEdit("YH_LE_CT")->setText("75");
    UserEdit("YH_LE_MCCS")->setText("3200");
    UserEdit("YH_TH12")->setText("22");
    UserEdit("YH_TM12")->setText("30");
    UserEdit("YH_TN12")->setText("3");
    UserEdit("YH_LE_GYXZ")->setText("120");
    form_->userPage()->findChild<QComboBox*>("YH_CB_DBTLSN")->setCurrentIndex(1);
    form_->userPage()->findChild<QComboBox*>("YH_CB_NetType")->setCurrentIndex(1);
    Click("BitBtn5");
    ASSERT_EQ(messages_.shown, QStringList{"inform: 下载配置数据成功！"});
    EXPECT_EQ(sim_.registers(271, 1), QList<int>{3200});
    EXPECT_EQ(sim_.registers(273, 3), (QList<int>{1, 1200, 75}));
    EXPECT_EQ(Register(278), 0xAA55);
    EXPECT_EQ(Register(279), 1200);
    EXPECT_EQ(sim_.registers(302, 2), (QList<int>{22 * 256 + 30, 3}));
    EXPECT_EQ(UserEdit("YH_LE_Year")->text().toInt(), QDate::currentDate().year() - 2000);
    EXPECT_FALSE(form_->progressBar()->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Protocols, UserDownloadWindowTest,
                         testing::Values(UserCase{"KX7410M31-01", 0}, UserCase{"KX7410D97-01", 1},
                                         UserCase{"KX7410D07-01", 2}),
                         [](const testing::TestParamInfo<UserCase>& info) {
                             return "Protocol" + std::to_string(info.param.protocol);
                         });

struct ClearCase {
    const char* model;
    int protocol;
    int address;
};

void PrintTo(const ClearCase& c, std::ostream* os) {
    *os << c.model << " at " << c.address;
}

class ClearWindowTest : public ConfigurationWindowTest,
                        public testing::WithParamInterface<ClearCase> {};

// Each clear command of each protocol reaches the module: the energy set as a base is gone, and
// the demand command is heard and answered. From address 10 on, the module address in binary and
// in BCD differ; the DL/T 645 clears reach the module there too.
TEST_P(ClearWindowTest, ClearsReachTheModule) {
    const int address = GetParam().address;
    ASSERT_EQ(sim_.command(QStringLiteral("address %1").arg(address)).left(2), "ok");
    EditLine(*form_, [&](LineChoice& line) { line.ModuleAddress = quint8(address); });
    // The base goes in through the 亚奥 command.
    ASSERT_EQ(sim_.command("protocol 3").left(2), "ok");
    UserEdit("YH_LEdit_DS")->setText("500");
    Click("BitBtn10");
    ASSERT_EQ(messages_.shown, QStringList{"inform: 设置电量底数数据成功！"});
    const QList<int> base = sim_.registers(4040, 2);
    ASSERT_EQ(base.size(), 2);
    ASSERT_GE(base[0] << 16 | base[1], 50000); // 500 kWh at two decimals

    Select(GetParam().model);
    ASSERT_EQ(form_->station().product().TXXY, GetParam().protocol);
    ASSERT_EQ(sim_.command(QStringLiteral("protocol %1").arg(GetParam().protocol)).left(2), "ok");
    messages_.shown.clear();
    messages_.answers = {true};
    Click("BitBtn7");
    ASSERT_EQ(messages_.shown,
              (QStringList{"confirm: 确定清除电能数据吗？", "inform: 清电能数据成功！"}));
    const QList<int> cleared = sim_.registers(4040, 2);
    ASSERT_EQ(cleared.size(), 2);
    EXPECT_LT(cleared[0] << 16 | cleared[1], 100);

    messages_.shown.clear();
    messages_.answers = {true};
    const int before = Requests();
    Click("BitBtn8");
    if (GetParam().protocol == 4) {
        EXPECT_EQ(messages_.shown, QStringList{"confirm: 确定清除需量数据吗？"});
        EXPECT_EQ(Requests(), before);
    } else {
        EXPECT_EQ(messages_.shown,
                  (QStringList{"confirm: 确定清除需量数据吗？", "inform: 清需量数据成功！"}));
        EXPECT_EQ(Requests(), before + 1);
    }
}

// 否 (also the default button) sends nothing: the energy base stays and the module hears no
// request.
TEST_F(ConfigurationWindowTest, AClearAnsweredNoSendsNothing) {
    for (const char* button : {"BitBtn7", "BitBtn8"}) {
        messages_.shown.clear();
        messages_.answers = {false};
        const int before = Requests();
        Click(button);
        ASSERT_EQ(messages_.shown.size(), 1) << button;
        EXPECT_TRUE(messages_.shown[0].startsWith("confirm: 确定清除")) << button;
        EXPECT_EQ(Requests(), before) << button;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Protocols, ClearWindowTest,
    testing::Values(ClearCase{"KX7410M31-01", 0, 1}, ClearCase{"KX7410D97-01", 1, 1},
                    ClearCase{"KX7410D07-01", 2, 1}, ClearCase{"KX7410Y35-01", 3, 1},
                    ClearCase{"KX7410T35-01", 4, 1}, ClearCase{"KX7410M31-01", 0, 12},
                    ClearCase{"KX7410D97-01", 1, 12}, ClearCase{"KX7410D07-01", 2, 12},
                    ClearCase{"KX7410D97-01", 1, 10}, ClearCase{"KX7410D07-01", 2, 99}),
    [](const testing::TestParamInfo<ClearCase>& info) {
        return "Protocol" + std::to_string(info.param.protocol) + "At" +
               std::to_string(info.param.address);
    });

class RoadTest : public ConfigurationWindowTest, public testing::WithParamInterface<UserCase> {};

// The road of a configuration: download with the list, wiring, protocol switch to the scheme's
// protocol, then a data check reads the module's values in that protocol, all within their class.
TEST_P(RoadTest, DownloadSwitchThenCheckReadsCorrectValues) {
    ASSERT_EQ(sim_.command("point 100 100 60 50").left(2), "ok");
    EditLine(*form_, [&](LineChoice& line) {
        line.PortName = sim_.link();
    }); // the protocol switch reopens the port by its name
    Select(GetParam().model);
    Click("BitBtn1");
    ASSERT_EQ(messages_.shown, QStringList{"inform: 下载配置数据成功！"});
    Click("BitBtn2");
    ASSERT_EQ(messages_.shown.value(1), "inform: 配置接线模式成功！");
    Click("BitBtn4");
    ASSERT_EQ(messages_.shown.size(), 3);
    ASSERT_FALSE(messages_.shown[2].contains(QStringLiteral("失败")))
        << messages_.shown[2].toStdString();
    ASSERT_TRUE(form_->station().portOpen());
    EXPECT_TRUE(
        sim_.command("status").contains(QStringLiteral("protocol=%1").arg(GetParam().protocol)));

    CheckPage* check = form_->checkPage();
    for (const char* name : {"RButton_U100In", "RButton_I100In", "RButton_60d", "RButton_50Hz"})
        check->findChild<QRadioButton*>(QLatin1String(name))->click();
    check->BitBtn_CheckClick();
    ASSERT_TRUE(check->isRunning());
    QElapsedTimer waited;
    waited.start();
    const auto passes = [check] {
        const Thread_Read* t = check->readThread();
        return t && t->CycleCount() >= 2 && t->ReceivedCount() > 0;
    };
    while (!passes() && waited.elapsed() < 90000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const bool passed = passes();
    check->StopCheck();
    ASSERT_TRUE(passed);
    auto* grid = check->findChild<QTableWidget*>(QStringLiteral("AdvStringGrid"));
    ASSERT_GT(grid->rowCount(), 4);
    for (int r = 2; r < grid->rowCount(); ++r) {
        const QTableWidgetItem* name = grid->item(r, 1);
        const QTableWidgetItem* value = grid->item(r, 2);
        ASSERT_TRUE(name && value) << r;
        EXPECT_FALSE(value->text().isEmpty()) << name->text().toStdString();
        EXPECT_NE(value->foreground().color(), QColor(255, 0, 0))
            << name->text().toStdString() << " " << value->text().toStdString();
    }
    EXPECT_EQ(messages_.shown.size(), 3);
}

INSTANTIATE_TEST_SUITE_P(Protocols, RoadTest,
                         testing::Values(UserCase{"KX7410M31-01", 0}, UserCase{"KX7410D07-01", 2}),
                         [](const testing::TestParamInfo<UserCase>& info) {
                             return "Protocol" + std::to_string(info.param.protocol);
                         });

TEST_F(ConfigurationWindowTest, YaaoReadsFillTheLogAndFailuresKeepIt) {
    ASSERT_EQ(sim_.command("protocol 3").left(2), "ok");
    auto* log = form_->userPage()->findChild<QListWidget*>("ListBox1");
    log->addItem("old");
    Click("BitBtn11");
    ASSERT_EQ(messages_.shown, QStringList());
    ASSERT_EQ(log->count(), 2);
    EXPECT_EQ(log->item(0)->text(), "产品地址为：");
    EXPECT_EQ(log->item(1)->text(), "01");
    EXPECT_EQ(log->currentRow(), 1);
    Click("BitBtn12");
    EXPECT_EQ(log->item(0)->text(), "标定数据为：");
    EXPECT_EQ(log->count(), 1 + 60); // 30 words
    ASSERT_EQ(sim_.command("silent on").left(2), "ok");
    const std::pair<const char*, const char*> cases[] = {{"BitBtn11", "读产品通信地址失败！"},
                                                         {"BitBtn12", "读标定数据失败！"},
                                                         {"BitBtn13", "读原始数据失败！"},
                                                         {"BitBtn10", "设置电量底数数据失败！"},
                                                         {"BitBtn5", "下载配置数据失败！！"}};
    for (const auto& [button, text] : cases) {
        messages_.shown.clear();
        Click(button);
        EXPECT_EQ(messages_.shown,
                  QStringList{QStringLiteral("inform: ") + QString::fromUtf8(text)})
            << button;
    }
    EXPECT_EQ(log->count(), 61);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
