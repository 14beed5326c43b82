// The calibration page's switching and calibration operations on the main window, offscreen,
// against kx7410-sim on a real pseudo-terminal: a whole calibration run leaving its registers in
// the module and its lines in the log, the wiring mode, protocol and frame-format switch with the
// settings file and the port text, the calibration state entry with its refusals, and the
// failure lines with the simulator silenced at a chosen transaction, the refusals while a step
// runs and a cancel mid-step. Every step runs as a job of the main window's device session; a
// test acts once the session is idle again. Every message box and the true-power dialog are
// answered through their seams.

#include "calib/calibration_backup.h"
#include "gui/calib/calibration_controller.h"
#include "gui/calib/calibration_page.h"
#include "gui/calib/real_power_form.h"
#include "gui/check/check_page.h"
#include "gui/curves/curve_page.h"
#include "gui/kit/messages.h"
#include "gui/main/main_form.h"
#include "link/modbus_frames.h"
#include "link/serial_link.h"
#include "recording_messages.h"
#include "session/device_session.h"
#include "store/database.h"
#include "store/results.h"
#include "store/settings.h"

#include "app_fixture.h"
#include "sim_process.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>

namespace {
// Changes the window's line settings the way the settings dialog would, one field at a time.
template <class Edit> void EditLine(TMainForm& form, Edit edit) {
    LineChoice line = form.station().line();
    edit(line);
    form.station().setLine(line);
}

QStringList LogLines(QListWidget* list) {
    QStringList lines;
    for (int i = 0; i < list->count(); ++i)
        lines << list->item(i)->text();
    return lines;
}

QList<int> Neutral() {
    return {10000, 10000, 10000, 0, 0, 0};
}

// The serial link of the window with a tap: records every request that reaches the line, from any
// thread, and runs a hook on the calling thread (the session's worker for a step) before a chosen
// request goes out, so a test acts on the module or the session at a known transaction.
class TappedLink : public SerialLink {
public:
    using Hook = std::function<void()>;

    std::optional<std::vector<uint8_t>> Transact(const std::vector<uint8_t>& request,
                                                 const TransactParams& params) override {
        Hook hook;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
            if (int(requests_.size()) == hookAt_) hook = hook_;
        }
        if (hook) hook();
        return SerialLink::Transact(request, params);
    }
    // Runs hook before the n-th request from now on (counted from 1).
    void HookAt(int n, Hook hook) {
        std::lock_guard lock(mutex_);
        hookAt_ = int(requests_.size()) + n;
        hook_ = std::move(hook);
    }
    std::vector<std::vector<uint8_t>> Requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    void ClearRequests() {
        std::lock_guard lock(mutex_);
        requests_.clear();
        hookAt_ = 0;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::vector<uint8_t>> requests_;
    int hookAt_ = 0;
    Hook hook_;
};

class CalibrationWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(sim.device().isEmpty());
        db = folder.OpenDatabase();
        ASSERT_TRUE(db);
        form = std::make_unique<TMainForm>(folder.path(), link, *db);
        controller = form->findChild<CalibrationController*>();
        ASSERT_NE(controller, nullptr);
        messages.shown.clear();
        // Each writing step asks first; these tests are about the steps once confirmed.
        messages.confirmAll = true;
        EditLine(*form, [&](LineChoice& line) { line.PortName = sim.link(); });
        form->comkClick();
        ASSERT_TRUE(form->station().portOpen());
    }
    // Waits until no step runs (the outcome of a click is known then).
    void Idle() {
        ASSERT_TRUE(QTest::qWaitFor([this] { return form->session().isIdle(); }, 120000));
    }
    // A click and its job to the end.
    void Run(const char* button) {
        Button(button)->click();
        Idle();
    }
    // Before the n-th request from now, runs fn on the GUI thread while the step's job waits
    // for it: fn acts between two transactions of the step, as a user's click or the module
    // would.
    void OnGuiAtRequest(int n, std::function<void()> fn) {
        link.HookAt(n, [this, fn] {
            auto ran = std::make_shared<std::promise<void>>();
            QMetaObject::invokeMethod(
                form.get(),
                [ran, fn] {
                    fn();
                    ran->set_value();
                },
                Qt::QueuedConnection);
            ran->get_future().wait_for(std::chrono::minutes(2));
        });
    }
    void TearDown() override {
        TRealPowerForm::SetAnswerer(nullptr);
        form.reset();
    }

    QPushButton* Button(const char* name) const {
        if (auto* b = form->calibrationPage()->findChild<QPushButton*>(QLatin1String(name)))
            return b;
        return form->findChild<QPushButton*>(QLatin1String(name));
    }
    QRadioButton* Radio(const char* name) const {
        return form->calibrationPage()->findChild<QRadioButton*>(QLatin1String(name));
    }
    QListWidget* Log() const { return form->calibrationPage()->findChild<QListWidget*>("ListBox"); }
    QStringList Lines() const { return LogLines(Log()); }
    // Selects a model of the seed as the user does.
    void Select(const QString& model) {
        auto* list = form->findChild<QComboBox*>(QStringLiteral("CB_CPType"));
        list->setCurrentIndex(list->findText(model));
        form->CB_CPTypeChange();
    }
    // The true-power dialog answered with this text.
    void AnswerPower(const QString& text) {
        TRealPowerForm::SetAnswerer([text](TRealPowerForm& dialog) {
            dialog.LE_RealPower()->setText(text);
            dialog.BitBtn1Click();
        });
    }
    // Takes the calibration area's backup of this model/port session with a step that writes,
    // so that a test of another step's transactions meets that step's alone.
    void TakeBackup() {
        Run("BitBtn_BCFW1");
        ASSERT_EQ(Lines().value(Lines().size() - 1), QStringLiteral("初始50HZ功率校正系数完成!"));
        Log()->clear();
    }
    // The Calibration records of the model, newest first, whole.
    QList<UnitRecord> CalibrationRecords(const QString& model) {
        RecordFilter filter;
        filter.kind = RecordKind::Calibration;
        filter.model = model;
        QList<UnitRecord> records;
        EXPECT_TRUE(form->results().Select(filter, records))
            << form->results().lastError().toStdString();
        for (UnitRecord& r : records)
            r = form->results().Get(r.id).value_or(r);
        return records;
    }
    // Those that hold a backup of the calibration area.
    QList<UnitRecord> Backups(const QString& model) {
        QList<UnitRecord> backups;
        for (const UnitRecord& r : CalibrationRecords(model))
            if (!BackupFromDetails(r.details).empty()) backups << r;
        return backups;
    }
    // Those of the steps, oldest first: what each step wrote.
    QList<UnitRecord> StepRecords(const QString& model) {
        QList<UnitRecord> steps;
        for (const UnitRecord& r : CalibrationRecords(model))
            if (BackupFromDetails(r.details).empty()) steps.prepend(r);
        return steps;
    }
    // The module's calibration area as registers.
    RegisterWords Area(bool segmented) {
        RegisterWords area;
        for (const auto& [first, count] : CalibrationAreaRanges(segmented)) {
            const QList<int> values = sim.registers(first, count);
            for (int i = 0; i < values.size(); ++i)
                area[uint16_t(first + i)] = uint16_t(values[i]);
        }
        return area;
    }
    int Requests() {
        const QString stats = sim.command(QStringLiteral("stats"));
        return stats.section(QStringLiteral("requests="), 1).section(' ', 0, 0).toInt();
    }

    // The module's flash image: a flash commit writes it, a restarted module starts from it.
    QTemporaryDir flashDir;
    QString flashImage = flashDir.filePath(QStringLiteral("flash"));
    SimProcess sim{{QStringLiteral("--state"), flashImage}};
    DataFolder folder;
    std::unique_ptr<ProductDatabase> db;
    TappedLink link;
    RecordingMessages messages;
    std::unique_ptr<TMainForm> form;
    CalibrationController* controller = nullptr;
};

// ---- a whole calibration run ------------------------------------------------------------------

TEST_F(CalibrationWindow, RunVipPhasePowerFlash) {
    ASSERT_EQ(sim.command(QStringLiteral("point 100 100 0 50")), QStringLiteral("ok"));
    ASSERT_EQ(sim.command(QStringLiteral("set 12009 1 2 3 4 5 6 7 8 9 10 11 12")),
              QStringLiteral("ok"));

    // VIP calibration of segment 1: raw words 20000 at the rated point.
    Run("BitBtn_VIP1");
    EXPECT_EQ(sim.registers(13000), QList<int>{0xAA55});
    EXPECT_EQ(sim.registers(12000, 9), QList<int>(9, 20000));
    EXPECT_EQ(sim.registers(12009, 12), Neutral() + Neutral());
    EXPECT_EQ(controller->GlyphOf("BitBtn_VIP1"), CalibrationController::Done);
    EXPECT_EQ(controller->GlyphOf("BitBtn19"), CalibrationController::Pending);
    QStringList lines = Lines();
    ASSERT_EQ(lines.size(), 8 * 5 + 4 + 1 + 2);
    EXPECT_EQ(lines.mid(0, 5),
              (QStringList{"第1次读原始AD采集数据为：", "20000    20000    20000",
                           "20000    20000    20000", "20000    20000    20000", QString()}));
    EXPECT_EQ(lines.mid(40), (QStringList{"8次平均数据为：", "20000    20000    20000",
                                          "20000    20000    20000", "20000    20000    20000",
                                          QString(), "写 1 段VIP标定数据成功!", QString()}));
    EXPECT_EQ(Log()->currentRow(), Log()->count() - 1);

    // Voltage phase compensation at 50 Hz: raw angles 120, 135, 110.
    Run("BitBtn_VXW1");
    EXPECT_EQ(sim.registers(12021, 3), (QList<int>{70, 79, 64}));
    lines = Lines();
    EXPECT_EQ(lines.mid(90),
              (QStringList{"30次平均数据为：", "120    135    110", "角差标定系数为：",
                           "70    79    64", QString(), "写角差标定系数数据成功", QString()}));
    EXPECT_EQ(controller->GlyphOf("BitBtn_VXW1"), CalibrationController::Done);

    // The reset appends to the log.
    ASSERT_EQ(sim.command(QStringLiteral("set 12009 1 2 3 4 5 6")), QStringLiteral("ok"));
    Run("BitBtn_BCFW1");
    EXPECT_EQ(sim.registers(12009, 6), Neutral());
    EXPECT_EQ(Lines().size(), lines.size() + 1);
    EXPECT_EQ(Lines().last(), QStringLiteral("初始50HZ功率校正系数完成!"));
    EXPECT_EQ(controller->GlyphOf("BitBtn_BCFW1"), CalibrationController::Done);

    // 60 degrees: raw power 10000 against the VIP 20000, so 550 W measured; the source says 1 %
    // less.
    ASSERT_EQ(sim.command(QStringLiteral("point angle=60")), QStringLiteral("ok"));
    AnswerPower(QString::number(550 / 1.01, 'g', 17));
    Run("BitBtn_PBC1");
    EXPECT_EQ(sim.registers(12009, 6),
              (QList<int>{10000, 10000, 10000, 65536 - 58, 65536 - 58, 65536 - 58}));
    lines = Lines();
    EXPECT_EQ(lines.filter(QStringLiteral("次补偿；")),
              (QStringList{"第1次补偿；", "第2次补偿；", "第3次补偿；"}));
    EXPECT_EQ(lines.filter(QStringLiteral("写相位补偿系数成功 K1:")).size(), 3);
    EXPECT_EQ(lines.filter(QStringLiteral("写相位补偿系数成功 K2:-58 -58 -58")).size(), 3);
    EXPECT_EQ(lines.size(), 3 * (2 + 40 + 3 + 2));
    EXPECT_EQ(controller->GlyphOf("BitBtn_PBC1"), CalibrationController::Done);
    EXPECT_NEAR(controller->state().SourceActivePower, 544.55, 0.01);

    // Flash: flag cleared and commit commanded; every step pending again, the run finished.
    Run("BitBtn19");
    EXPECT_EQ(sim.registers(13000, 2), (QList<int>{0, 0xAA55}));
    EXPECT_EQ(Lines(), QStringList{"写标定FLASH 成功!!"});
    for (const char* name : {"BitBtn_VIP1", "BitBtn_VXW1", "BitBtn_BCFW1", "BitBtn_PBC1",
                             "BitBtn_VIP3", "BitBtn_PBC2", "BitBtn_VXW3"})
        EXPECT_EQ(controller->GlyphOf(name), CalibrationController::Pending) << name;
    EXPECT_EQ(controller->GlyphOf("BitBtn19"), CalibrationController::Finished);
    // The calibration data stays where the run left it.
    EXPECT_EQ(sim.registers(12000, 1), QList<int>{20000});
    EXPECT_EQ(sim.registers(12021, 3), (QList<int>{70, 79, 64}));
    EXPECT_EQ(messages.shown, QStringList());

    // The commit reached the module's flash: a module started from it has the calibration.
    sim.stop();
    SimProcess restarted({QStringLiteral("--state"), flashImage});
    EXPECT_EQ(restarted.registers(12000, 9), QList<int>(9, 20000));
    EXPECT_EQ(restarted.registers(12009, 6),
              (QList<int>{10000, 10000, 10000, 65536 - 58, 65536 - 58, 65536 - 58}));
    EXPECT_EQ(restarted.registers(12021, 3), (QList<int>{70, 79, 64}));

    // Each step left a record of what the module acknowledged; the power compensation's three
    // passes leave the words of the last.
    const QList<UnitRecord> steps = StepRecords(form->station().product().ModelName);
    ASSERT_EQ(steps.size(), 5);
    const auto words = [](uint16_t first, const QList<int>& values) {
        RegisterWords w;
        for (int i = 0; i < values.size(); ++i)
            w[uint16_t(first + i)] = uint16_t(values[i]);
        return w;
    };
    RegisterWords vip = words(13000, {0xAA55});
    vip.merge(words(12009, Neutral() + Neutral()));
    vip.merge(words(12000, QList<int>(9, 20000)));
    const struct {
        QString step;
        RegisterWords written;
    } expected[] = {
        {"1段标定 VIP标定", vip},
        {"1段标定 电压相位补偿", words(12021, {70, 79, 64})},
        {"1段标定 补偿系数复位", words(12009, Neutral())},
        {"1段标定 60度功率补偿",
         words(12009, {10000, 10000, 10000, 65536 - 58, 65536 - 58, 65536 - 58})},
        {"标定完成(清除标定状态标志)", words(13000, {0, 0xAA55})},
    };
    for (int i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(expected[i].step.toStdString());
        EXPECT_TRUE(steps[i].details.startsWith("step=" + expected[i].step + "\n"))
            << steps[i].details.toStdString();
        EXPECT_EQ(WordsFromLines("written.", steps[i].details), expected[i].written);
        EXPECT_EQ(steps[i].verdict, Verdict::Pass);
    }
}

TEST_F(CalibrationWindow, Segment2AtSixtyHertz) {
    Select(QStringLiteral("KX7410M31-01")); // segmented calibration
    ASSERT_TRUE(Button("BitBtn_VIP2")->isEnabled());
    ASSERT_EQ(sim.command(QStringLiteral("set 13000 0")), QStringLiteral("ok"));
    ASSERT_EQ(sim.command(QStringLiteral("point 100 50 0 50")), QStringLiteral("ok"));
    Log()->addItem(QStringLiteral("an earlier step"));
    Run("BitBtn_VIP2");
    // Every VIP calibration starts a fresh log.
    EXPECT_EQ(Lines().first(), QStringLiteral("第1次读原始AD采集数据为："));
    EXPECT_EQ(Lines().last(), QString());
    EXPECT_EQ(sim.registers(13000), QList<int>{0}); // only segment 1 sets the flag
    EXPECT_EQ(sim.registers(12100, 9),
              (QList<int>{20000, 20000, 20000, 10000, 10000, 10000, 10000, 10000, 10000}));
    EXPECT_EQ(controller->GlyphOf("BitBtn19"), CalibrationController::FormGlyph);

    Radio("Radio_60HZ_2")->click();
    EXPECT_EQ(controller->GlyphOf("BitBtn_PBC2"), CalibrationController::Pending);
    EXPECT_EQ(controller->GlyphOf("BitBtn_VIP2"), CalibrationController::Done);
    // Segment 2 at half the rated power: 550 W measured is the source's 550 W.
    ASSERT_EQ(sim.command(QStringLiteral("set 12115 1 2 3 4 5 6")), QStringLiteral("ok"));
    AnswerPower(QStringLiteral("550"));
    Run("BitBtn_PBC2");
    EXPECT_EQ(sim.registers(12115, 6), Neutral());
    EXPECT_EQ(sim.registers(12109, 6), Neutral()); // 50 Hz untouched since the VIP reset
    // The power compensation also starts a fresh log.
    EXPECT_EQ(Lines().first(), QStringLiteral("第1次补偿；"));
    EXPECT_EQ(Lines().filter(QStringLiteral("K1:10000 10000 10000")).size(), 3);
    EXPECT_EQ(Lines().filter(QStringLiteral("K2:0 0 0")).size(), 3);
}

// ---- the true-power dialog and the refusals of the power compensation ---------------------------

TEST_F(CalibrationWindow, PowerDialogRefusesEmptyAndNonNumbers) {
    double power = 7;
    TRealPowerForm dialog(power);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("请填写当前频率下"));
    EXPECT_FALSE(dialog.BitBtn1Click());
    EXPECT_EQ(messages.shown, QStringList{"inform: 请填写源的真实有功功率值！"});
    dialog.LE_RealPower()->setText(QStringLiteral("12a"));
    EXPECT_FALSE(dialog.BitBtn1Click());
    EXPECT_EQ(messages.shown.size(), 2);
    EXPECT_TRUE(messages.shown.last().startsWith(QStringLiteral("error: ")));
    EXPECT_EQ(power, 7);
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    dialog.LE_RealPower()->setText(QStringLiteral("1100.5"));
    EXPECT_TRUE(dialog.BitBtn1Click());
    EXPECT_EQ(power, 1100.5);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(CalibrationWindow, PowerCompensationWithoutVipOrPowerSendsNothing) {
    ASSERT_EQ(sim.command(QStringLiteral("set 12009 1 2 3 4 5 6")), QStringLiteral("ok"));
    const int before = Requests();
    // The dialog closed without a value: the true power stays 0.
    TRealPowerForm::SetAnswerer([](TRealPowerForm&) {});
    Run("BitBtn_PBC1");
    EXPECT_EQ(Lines(), QStringList{"未做VIP标定(平均功率数据为0),不计算功率补偿系数!!"});
    controller->state().VipAverages.fill(20000);
    Run("BitBtn_PBC1");
    EXPECT_EQ(Lines(), QStringList{"未填写源的真实有功功率值,不计算功率补偿系数!!"});
    EXPECT_EQ(Requests(), before);
    EXPECT_EQ(sim.registers(12009, 6), (QList<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(controller->GlyphOf("BitBtn_PBC1"), CalibrationController::FormGlyph);
}

// ---- failures ---------------------------------------------------------------------------------

TEST_F(CalibrationWindow, ClosedPortRefusesEveryStepButTheFlashWrite) {
    form->comkClick();
    ASSERT_FALSE(form->station().portOpen());
    Log()->addItem(QStringLiteral("before"));
    for (const char* name : {"BitBtn_VIP1", "BitBtn_VXW1", "BitBtn_BCFW1", "BitBtn_PBC1"}) {
        messages.shown.clear();
        Button(name)->click();
        EXPECT_EQ(messages.shown, QStringList{"inform: 请打开串口！！"}) << name;
        EXPECT_EQ(Lines(), QStringList{"before"}) << name;
    }
    // The flash write tries the closed link: its backup cannot be read, so nothing is written.
    messages.shown.clear();
    Run("BitBtn19");
    EXPECT_EQ(messages.shown, QStringList());
    EXPECT_EQ(Lines(), QStringList{"读标定数据备份失败,本步未写入!!"});
    EXPECT_EQ(controller->GlyphOf("BitBtn19"), CalibrationController::FormGlyph);
}

// Every step that writes asks first; 否 (the default button) leaves the module unasked, the log
// and the glyphs as they were, and takes no backup.
TEST_F(CalibrationWindow, AWritingStepAnsweredNoSendsNothing) {
    Select(QStringLiteral("KX7410M31-01"));
    controller->state().VipAverages.fill(20000);
    controller->state().SourceActivePower = 1100;
    AnswerPower(QStringLiteral("1100"));
    messages.confirmAll = false;
    Log()->addItem(QStringLiteral("before"));
    const QString model = form->station().product().ModelName;
    for (const char* name :
         {"BitBtn_VIP1", "BitBtn_VXW1", "BitBtn_BCFW1", "BitBtn_PBC1", "BitBtn_VIP2", "BitBtn19"}) {
        messages.shown.clear();
        messages.answers = {false};
        const int before = Requests();
        const auto glyph = controller->GlyphOf(name);
        Run(name);
        ASSERT_EQ(messages.shown.size(), 1) << name;
        EXPECT_TRUE(messages.shown[0].startsWith(QStringLiteral("confirm: 确定执行“"))) << name;
        EXPECT_EQ(Requests(), before) << name;
        EXPECT_EQ(Lines(), QStringList{"before"}) << name;
        EXPECT_EQ(controller->GlyphOf(name), glyph) << name;
    }
    EXPECT_TRUE(Backups(model).isEmpty());
}

struct SilentCase {
    const char* name;
    const char* button;
    QString lastLine;
};

class SilentModule : public CalibrationWindow, public ::testing::WithParamInterface<SilentCase> {};

TEST_P(SilentModule, LogsTheFailureAndKeepsTheGlyph) {
    Select(QStringLiteral("KX7410M31-01"));
    TakeBackup();
    controller->state().VipAverages.fill(20000);
    controller->state().SourceActivePower = 1100;
    AnswerPower(QStringLiteral("1100"));
    ASSERT_EQ(sim.command(QStringLiteral("silent on")), QStringLiteral("ok"));
    Run(GetParam().button);
    ASSERT_FALSE(Lines().isEmpty());
    EXPECT_EQ(Lines().last(), GetParam().lastLine);
    EXPECT_EQ(controller->GlyphOf(GetParam().button), CalibrationController::FormGlyph);
    EXPECT_EQ(messages.shown, QStringList());
}

INSTANTIATE_TEST_SUITE_P(
    Table, SilentModule,
    ::testing::Values(
        SilentCase{"Flag", "BitBtn_VIP1", QStringLiteral("设置标定状态失败!!")},
        SilentCase{"Neutral", "BitBtn_VIP2", QStringLiteral("初始功率校正系数失败!!")},
        SilentCase{"AngleRead", "BitBtn_VXW1", QStringLiteral("第1次读电压角差原始AD采集数据失败")},
        SilentCase{"Reset", "BitBtn_BCFW3", QStringLiteral("初始50HZ功率校正系数失败!!")},
        SilentCase{"PowerRead", "BitBtn_PBC1", QStringLiteral("第1次读原始AD采集数据失败")},
        SilentCase{"Flash", "BitBtn19", QStringLiteral("写标定FLASH 失败!!")}),
    [](const auto& info) { return std::string(info.param.name); });

// The module falls silent just before a chosen request of the step (while the step's job waits
// between two transactions), so that request is the first to go unanswered and the last one sent.
struct SilencedCase {
    const char* name;
    const char* button;
    int request; // counted from the step's first
    QString lastLine;
};

class SilencedMidway : public CalibrationWindow,
                       public ::testing::WithParamInterface<SilencedCase> {};

TEST_P(SilencedMidway, StopsAtTheNextTransaction) {
    const SilencedCase& c = GetParam();
    TakeBackup();
    ASSERT_EQ(sim.command(QStringLiteral("set 12000 7 7 7 7 7 7 7 7 7")), QStringLiteral("ok"));
    ASSERT_EQ(sim.command(QStringLiteral("set 12021 9 9 9")), QStringLiteral("ok"));
    controller->state().VipAverages.fill(20000);
    AnswerPower(QStringLiteral("1100"));
    bool silenced = false;
    link.ClearRequests();
    OnGuiAtRequest(c.request, [&] {
        silenced = true;
        sim.command(QStringLiteral("silent on"));
    });
    Run(c.button);
    EXPECT_TRUE(silenced);
    EXPECT_EQ(Lines().last(), c.lastLine);
    EXPECT_EQ(link.Requests().size(), std::size_t(c.request));
    EXPECT_EQ(controller->GlyphOf(c.button), CalibrationController::FormGlyph);
    ASSERT_EQ(sim.command(QStringLiteral("silent off")), QStringLiteral("ok"));
    // Nothing after the failure reached the module.
    EXPECT_EQ(sim.registers(12000, 9), QList<int>(9, 7));
    EXPECT_EQ(sim.registers(12021, 3), (QList<int>{9, 9, 9}));
}

// VIP: state flag, neutral compensation, eight reads, data. Angles: thirty reads, coefficients.
// Power: eight reads and a write per pass.
INSTANTIATE_TEST_SUITE_P(
    Table, SilencedMidway,
    ::testing::Values(
        SilencedCase{"FourthRawRead", "BitBtn_VIP1", 6,
                     QStringLiteral("第4次读原始AD采集数据失败")},
        SilencedCase{"VipDataWrite", "BitBtn_VIP1", 11, QStringLiteral("写 1 段VIP标定数据失败!!")},
        SilencedCase{"AngleWrite", "BitBtn_VXW1", 31, QStringLiteral("写角差标定系数数据失败")},
        SilencedCase{"PowerWrite", "BitBtn_PBC1", 9, QStringLiteral("写相位补偿系数失败")},
        SilencedCase{"SecondPass", "BitBtn_PBC1", 10, QStringLiteral("第1次读原始AD采集数据失败")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CalibrationWindow, PowerPassesBeforeASilenceStayWritten) {
    TakeBackup();
    ASSERT_EQ(sim.command(QStringLiteral("set 12009 1 2 3 4 5 6")), QStringLiteral("ok"));
    controller->state().VipAverages.fill(20000);
    AnswerPower(QStringLiteral("1100"));
    link.ClearRequests();
    // The first read of the second pass.
    OnGuiAtRequest(10, [this] { sim.command(QStringLiteral("silent on")); });
    Run("BitBtn_PBC1");
    ASSERT_EQ(sim.command(QStringLiteral("silent off")), QStringLiteral("ok"));
    EXPECT_EQ(Lines().filter(QStringLiteral("第2次补偿；")).size(), 1);
    EXPECT_EQ(Lines().filter(QStringLiteral("写相位补偿系数成功")).size(), 2);
    EXPECT_EQ(sim.registers(12009, 6), Neutral()); // pass 1 at the rated point: K1 10000, K2 0
    EXPECT_EQ(controller->GlyphOf("BitBtn_PBC1"), CalibrationController::FormGlyph);
    // The step's record fails and still says what reached the module.
    const QList<UnitRecord> steps = StepRecords(form->station().product().ModelName);
    ASSERT_FALSE(steps.isEmpty());
    EXPECT_EQ(steps.last().verdict, Verdict::Fail);
    RegisterWords neutral;
    AddWords(neutral, 12009, {10000, 10000, 10000, 0, 0, 0});
    EXPECT_EQ(WordsFromLines("written.", steps.last().details), neutral);
}

// ---- one operation at a time --------------------------------------------------------------------

TEST_F(CalibrationWindow, CheckCurvesAndOtherStepsRefusedWhileVipRuns) {
    Select(QStringLiteral("KX7410M31-01"));
    CheckPage* check = form->checkPage();
    auto* curves = form->findChild<CurvePage*>();
    ASSERT_NE(curves, nullptr);
    TakeBackup();
    link.ClearRequests();
    bool busy = false;
    // Between the second and third raw reads, as a user's clicks would arrive.
    OnGuiAtRequest(5, [&] {
        busy = !form->session().isIdle();
        check->BitBtn_CheckClick();
        curves->BitBtn_ReadQXClick();
        controller->BitBtn_VXW1Click(1);
        controller->BitBtn19Click();
        controller->BitBtn14Click();
        controller->BitBtn2Click();
    });
    Run("BitBtn_VIP1");
    EXPECT_TRUE(busy);
    EXPECT_EQ(messages.shown, QStringList(6, "inform: " + DeviceSession::BusyText()));
    EXPECT_FALSE(check->isRunning());
    EXPECT_FALSE(curves->isRunning());

    // Only the VIP calibration's own frames reached the line: state flag, neutral compensation,
    // eight raw reads, the data.
    std::vector<std::pair<uint8_t, uint16_t>> frames;
    for (const auto& r : link.Requests())
        frames.emplace_back(r.at(1), uint16_t(r.at(2) << 8 | r.at(3)));
    std::vector<std::pair<uint8_t, uint16_t>> expected{{kFcWriteCalibration, 13000},
                                                       {kFcWriteCalibration, 12009}};
    for (int n = 0; n < 8; ++n)
        expected.emplace_back(kFcReadRawSamples, 10000);
    expected.emplace_back(kFcWriteCalibration, 12000);
    EXPECT_EQ(frames, expected);

    // The refused steps left the log and the glyphs to the VIP calibration.
    EXPECT_EQ(Lines().size(), 8 * 5 + 4 + 1 + 2);
    EXPECT_EQ(Lines().at(Lines().size() - 2), QStringLiteral("写 1 段VIP标定数据成功!"));
    EXPECT_EQ(controller->GlyphOf("BitBtn_VIP1"), CalibrationController::Done);
    EXPECT_EQ(controller->GlyphOf("BitBtn_VXW1"), CalibrationController::FormGlyph);
    EXPECT_EQ(controller->GlyphOf("BitBtn19"), CalibrationController::Pending);
    EXPECT_EQ(sim.registers(13000, 2), (QList<int>{0xAA55, 0}));
}

// A cancel just before a chosen request of the step: that request is the last to reach the
// module, the step ends with the failure of the next, and nothing is written after.
struct CancelCase {
    const char* name;
    const char* button;
    int request;
    QString lastLine;    // of the log; empty: a step that shows its outcome instead
    QStringList message; // outcome shown
    int first, count;    // registers the step would have written next
    const char* preset;  // their values before, or nullptr to keep the module's own
};

class CancelMidway : public CalibrationWindow, public ::testing::WithParamInterface<CancelCase> {};

TEST_P(CancelMidway, StopsAtTheNextTransactionBoundary) {
    const CancelCase& c = GetParam();
    if (QLatin1String(c.button) == QLatin1String("BitBtn4")) {
        Select(QStringLiteral("KX7410Y35-01")); // 亚奥 at "N无,2S"
        Run("BitBtn2");
        messages.shown.clear();
    }
    TakeBackup();
    if (c.preset) {
        ASSERT_EQ(sim.command(QLatin1String(c.preset)), QStringLiteral("ok"));
    }
    const QList<int> before = sim.registers(c.first, c.count);
    controller->state().VipAverages.fill(20000);
    AnswerPower(QStringLiteral("1100"));
    const int heard = Requests();
    link.ClearRequests();
    OnGuiAtRequest(c.request, [this] { form->session().Cancel(); });
    Run(c.button);
    EXPECT_EQ(link.Requests().size(), std::size_t(c.request));
    EXPECT_EQ(Requests() - heard, c.request);
    if (!c.lastLine.isEmpty()) {
        EXPECT_EQ(Lines().last(), c.lastLine);
    }
    EXPECT_EQ(messages.shown, c.message);
    EXPECT_EQ(controller->GlyphOf(c.button), CalibrationController::FormGlyph);
    EXPECT_FALSE(form->progressBar()->isVisible());
    EXPECT_EQ(sim.registers(c.first, c.count), before);

    // The session takes the next step as usual.
    Run("BitBtn_BCFW1");
    EXPECT_EQ(Lines().last(), QStringLiteral("初始50HZ功率校正系数完成!"));
    EXPECT_EQ(Requests() - heard, c.request + 1);
}

INSTANTIATE_TEST_SUITE_P(Table, CancelMidway,
                         ::testing::Values(CancelCase{"VipRawRead",
                                                      "BitBtn_VIP1",
                                                      6,
                                                      QStringLiteral("第5次读原始AD采集数据失败"),
                                                      {},
                                                      12000,
                                                      9,
                                                      "set 12000 7 7 7 7 7 7 7 7 7"},
                                           CancelCase{"PowerWrite",
                                                      "BitBtn_PBC1",
                                                      8,
                                                      QStringLiteral("写相位补偿系数失败"),
                                                      {},
                                                      12009,
                                                      6,
                                                      "set 12009 1 2 3 4 5 6"},
                                           CancelCase{"ProtocolAfterFormatTry",
                                                      "BitBtn4",
                                                      1,
                                                      QString(),
                                                      {"inform: 配置<比特率格式>数据失败！"},
                                                      11023,
                                                      1,
                                                      nullptr}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- wiring mode, protocol and frame format ---------------------------------------------------

TEST_F(CalibrationWindow, WiringThenProtocolSwitchesModuleAndPort) {
    // 亚奥 model with frame format 0 "N无,2S".
    Select(QStringLiteral("KX7410Y35-01"));
    EXPECT_FALSE(Button("BitBtn4")->isEnabled());
    form->calibrationPage()->findChild<QComboBox*>("CB_NetType")->setCurrentIndex(2);
    Run("BitBtn2");
    EXPECT_EQ(messages.shown, QStringList{"inform: 配置接线模式成功！"});
    // The product selection at the start put the model's wiring mode back.
    EXPECT_EQ(sim.registers(273), QList<int>{0});
    EXPECT_TRUE(Button("BitBtn4")->isEnabled());
    EXPECT_FALSE(form->progressBar()->isVisible());

    messages.shown.clear();
    Run("BitBtn4");
    EXPECT_EQ(messages.shown, QStringList{"inform: 配置<通信协议>和<比特率格式>成功！"});
    EXPECT_EQ(sim.command(QStringLiteral("status")).section(' ', 1, 3),
              QStringLiteral("address=1 protocol=3 format=0"));
    EXPECT_EQ(sim.registers(11023), QList<int>{3});
    EXPECT_EQ(sim.registers(269), QList<int>{0});
    EXPECT_EQ(form->station().line().ParityIndex, 0);
    EXPECT_EQ(form->station().line().StopBitsIndex, 1);
    EXPECT_EQ(form->station().line().BaudIndex, 3);
    EXPECT_EQ(form->station().line().DataBitsIndex, 2);
    EXPECT_EQ(link.Settings(), (LineSettings{9600, 0, 8, 2}));
    EXPECT_EQ(form->comText()->text(), sim.link() + QStringLiteral(",9600,N无,8,2"));
    const SavedSerialSettings saved = LoadSerialSettings(folder.path());
    EXPECT_EQ(saved.baudrate, 3);
    EXPECT_EQ(saved.parity, 0);
    EXPECT_EQ(saved.databit, 2);
    EXPECT_EQ(saved.stopbits, 1);
    EXPECT_EQ(saved.address, 1);
    // Configuring again needs another wiring-mode write first.
    EXPECT_FALSE(Button("BitBtn4")->isEnabled());
    EXPECT_TRUE(form->station().portOpen());
}

TEST_F(CalibrationWindow, EvenParityModelOverThePty) {
    // The pty carries no parity; the module matches the format on its one stop bit.
    ProductModel model;
    model.cpxh = QStringLiteral("KX7410E-01");
    model.fs = QStringLiteral("ModBus标准方式");
    model.btlgs = 2;
    ASSERT_TRUE(db->InsertModel(model));
    auto* list = form->findChild<QComboBox*>(QStringLiteral("CB_CPType"));
    list->addItem(model.cpxh);
    Select(model.cpxh);
    Run("BitBtn2");
    Run("BitBtn4");
    EXPECT_EQ(messages.shown, (QStringList{"inform: 配置接线模式成功！",
                                           "inform: 配置<通信协议>和<比特率格式>成功！"}));
    EXPECT_EQ(form->station().line().ParityIndex, 2);
    EXPECT_EQ(form->station().line().StopBitsIndex, 0);
    EXPECT_EQ(form->comText()->text(), sim.link() + QStringLiteral(",9600,E偶,8,1"));
    EXPECT_EQ(sim.registers(269), QList<int>{2});
    EXPECT_EQ(sim.registers(11023), QList<int>{0});
}

TEST_F(CalibrationWindow, WiringFailureDisablesProtocol) {
    Select(QStringLiteral("KX7410M31-01"));
    Run("BitBtn2");
    ASSERT_TRUE(Button("BitBtn4")->isEnabled());
    messages.shown.clear();
    ASSERT_EQ(sim.command(QStringLiteral("silent on")), QStringLiteral("ok"));
    Run("BitBtn2");
    EXPECT_EQ(messages.shown, QStringList{"inform: 配置接线模式失败！"});
    EXPECT_FALSE(Button("BitBtn4")->isEnabled());
    EXPECT_FALSE(form->progressBar()->isVisible());
}

TEST_F(CalibrationWindow, SilentModuleFailsTheSecondFormatWriteWithThePortSwitched) {
    Select(QStringLiteral("KX7410Y35-01"));
    ASSERT_EQ(sim.command(QStringLiteral("silent on")), QStringLiteral("ok"));
    controller->BitBtn4Click();
    Idle();
    EXPECT_EQ(messages.shown, QStringList{"inform: 配置<比特率格式>数据失败！"});
    EXPECT_EQ(form->station().line().StopBitsIndex, 1);
    EXPECT_TRUE(link.IsOpen());
}

TEST_F(CalibrationWindow, FailedPortSwitchShowsThePortClosed) {
    Select(QStringLiteral("KX7410Y35-01"));
    EditLine(*form, [&](LineChoice& line) {
        line.PortName = folder.file(QStringLiteral("no-such-port"));
    });
    controller->BitBtn4Click();
    Idle();
    EXPECT_EQ(messages.shown, (QStringList{"inform: 配置通信协后更改端口设置失败！！",
                                           "inform: 根据系统比特率格式切换端口失败！"}));
    EXPECT_FALSE(link.IsOpen());
    EXPECT_FALSE(form->station().portOpen());
    auto* portButton = form->findChild<QToolButton*>(QStringLiteral("comk"));
    ASSERT_NE(portButton, nullptr);
    EXPECT_FALSE(portButton->isChecked());
    EXPECT_EQ(portButton->text(), QStringLiteral("打开串口"));
    // The settings were stored before the reopening failed.
    EXPECT_EQ(LoadSerialSettings(folder.path()).stopbits, 1);
    // The port text shows the line the port button will open next.
    EXPECT_EQ(form->comText()->text(),
              folder.file(QStringLiteral("no-such-port")) + QStringLiteral(",9600,N无,8,2"));
    EXPECT_FALSE(form->progressBar()->isVisible());
}

TEST_F(CalibrationWindow, ProtocolRefusedWithThePortClosed) {
    form->comkClick();
    const int before = Requests();
    messages.shown.clear();
    controller->BitBtn2Click();
    Idle();
    controller->BitBtn4Click();
    Idle();
    controller->BitBtn14Click();
    Idle();
    EXPECT_EQ(messages.shown, QStringList(3, "inform: 请打开串口！！"));
    EXPECT_EQ(Requests(), before);
}

// ---- calibration state entry ------------------------------------------------------------------

TEST_F(CalibrationWindow, StateEntryBringsAPowerCycledModuleBack) {
    // The module speaks DL/T 645 at N,2S; for its power-on window it hears Modbus at 9600 8N1.
    ASSERT_EQ(sim.command(QStringLiteral("protocol 1")), QStringLiteral("ok"));
    ASSERT_EQ(sim.command(QStringLiteral("format 0")), QStringLiteral("ok"));
    ASSERT_EQ(sim.command(QStringLiteral("powercycle")), QStringLiteral("ok"));
    EditLine(*form, [&](LineChoice& line) { line.StopBitsIndex = 1; });
    EditLine(*form, [&](LineChoice& line) { line.ParityIndex = 2; });
    controller->BitBtn14Click();
    Idle();
    EXPECT_EQ(messages.shown,
              (QStringList{"inform: 将产品复位(关闭产品工作电源,再打开),请在10秒钟内点击<OK>按钮！",
                           "inform: 进入标定状态成功,可以进行产品标定！"}));
    EXPECT_EQ(sim.registers(269), QList<int>{3});
    EXPECT_EQ(sim.registers(11023), QList<int>{0});
    EXPECT_EQ(form->station().line().ParityIndex, 0);
    EXPECT_EQ(form->station().line().StopBitsIndex, 0);
    EXPECT_EQ(form->comText()->text(), sim.link() + QStringLiteral(",9600,N无,8,1"));
    EXPECT_FALSE(form->progressBar()->isVisible());
}

TEST_F(CalibrationWindow, StateEntryRefusedWhileACurveReadingRuns) {
    auto* curves = form->findChild<CurvePage*>();
    ASSERT_NE(curves, nullptr);
    curves->BitBtn_ReadQXClick();
    ASSERT_TRUE(curves->isRunning());
    controller->BitBtn14Click();
    EXPECT_EQ(messages.shown, QStringList{"inform: 请关闭读曲线数据线程！！"});
    EXPECT_TRUE(curves->isRunning());
    curves->StopCurve();
    Idle();
    EXPECT_FALSE(curves->isRunning());
}

TEST_F(CalibrationWindow, StateEntryRefusedWhileACheckRuns) {
    Select(QStringLiteral("KX7410M31-01"));
    CheckPage* check = form->checkPage();
    check->BitBtn_CheckClick();
    ASSERT_TRUE(check->isRunning());
    controller->BitBtn14Click();
    EXPECT_EQ(messages.shown, QStringList{"inform: 请关闭读输出数据线程！！"});
    EXPECT_TRUE(check->isRunning());
    check->StopCheck();
    Idle();
    EXPECT_FALSE(check->isRunning());
}

TEST_F(CalibrationWindow, StateEntryWithASilentModule) {
    ASSERT_EQ(sim.command(QStringLiteral("silent on")), QStringLiteral("ok"));
    controller->BitBtn14Click();
    Idle();
    EXPECT_EQ(messages.shown.value(1), QStringLiteral("inform: 进入标定状态配置通信协议失败！"));
}

TEST_F(CalibrationWindow, SecondOperationRefusedWhileOneRuns) {
    // Another job holds the session.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    ASSERT_TRUE(form->session().Submit(DeviceSession::State::Busy, QStringLiteral("下载配置"),
                                       [released](JobContext&) { released.wait(); }));
    const int before = Requests();
    controller->BitBtn_VIP1Click(1);
    controller->BitBtn14Click();
    controller->BitBtn4Click();
    EXPECT_EQ(messages.shown, QStringList(3, "inform: " + DeviceSession::BusyText()));
    EXPECT_TRUE(Lines().isEmpty());
    EXPECT_FALSE(form->progressBar()->isVisible());
    release.set_value();
    Idle();
    EXPECT_EQ(Requests(), before);
}

// ---- backup of the calibration area and its restore ---------------------------------------------

// Function code and first register of each request sent.
std::vector<std::pair<uint8_t, uint16_t>> FramesOf(const std::vector<std::vector<uint8_t>>& sent) {
    std::vector<std::pair<uint8_t, uint16_t>> frames;
    for (const auto& r : sent)
        frames.emplace_back(r.at(1), uint16_t(r.at(2) << 8 | r.at(3)));
    return frames;
}

TEST_F(CalibrationWindow, BackupIsTakenBeforeTheFirstWriteOncePerSession) {
    const QString model = QStringLiteral("KX7410M31-01"); // segmented: three segments
    Select(model);
    ASSERT_EQ(sim.command(QStringLiteral("point 100 100 0 50")), QStringLiteral("ok"));
    ASSERT_EQ(sim.command(QStringLiteral("set 11002 575 0 1500 0")), QStringLiteral("ok"));
    ASSERT_EQ(sim.command(QStringLiteral("set 12000 11 12 13 14 15 16 17 18 19 1 2 3")),
              QStringLiteral("ok"));
    ASSERT_EQ(sim.command(QStringLiteral("set 12124 44 45 46")), QStringLiteral("ok"));
    ASSERT_EQ(sim.command(QStringLiteral("set 12226 583")), QStringLiteral("ok"));
    const RegisterWords before = Area(true);
    ASSERT_EQ(before.size(), 30u + 3 * 27);
    link.ClearRequests();
    Run("BitBtn_VIP1");
    EXPECT_EQ(controller->GlyphOf("BitBtn_VIP1"), CalibrationController::Done);
    ASSERT_NE(Area(true), before);

    // The area was read before anything was written, and stored as it was.
    const auto frames = FramesOf(link.Requests());
    ASSERT_GT(frames.size(), 5u);
    EXPECT_EQ(std::vector(frames.begin(), frames.begin() + 5),
              (std::vector<std::pair<uint8_t, uint16_t>>{{kFcReadCalibration, 11002},
                                                         {kFcReadCalibration, 12000},
                                                         {kFcReadCalibration, 12100},
                                                         {kFcReadCalibration, 12200},
                                                         {kFcWriteCalibration, 13000}}));
    QList<UnitRecord> records = Backups(model);
    ASSERT_EQ(records.size(), 1);
    const UnitRecord& backup = records[0];
    EXPECT_EQ(BackupFromDetails(backup.details), before);
    EXPECT_EQ(backup.kind, RecordKind::Calibration);
    EXPECT_EQ(backup.serial, QString());
    EXPECT_EQ(backup.port, sim.link());
    EXPECT_EQ(backup.lineSettings, QStringLiteral("9600,N,8,1"));
    EXPECT_EQ(backup.protocol, QStringLiteral("MODBUS_RTU"));
    EXPECT_FALSE(backup.station.isEmpty());
    EXPECT_LE(backup.started, backup.ended);
    // Silent on success: the log holds the step's own lines.
    EXPECT_EQ(Lines().first(), QStringLiteral("第1次读原始AD采集数据为："));

    // Further steps of the session write at once.
    link.ClearRequests();
    Run("BitBtn_BCFW1");
    EXPECT_EQ(FramesOf(link.Requests()),
              (std::vector<std::pair<uint8_t, uint16_t>>{{kFcWriteCalibration, 12009}}));
    EXPECT_EQ(Backups(model).size(), 1);

    // Another model, a reopened port and a finished calibration each start a session of their
    // own.
    Select(QStringLiteral("KX7410Y35-01"));
    Run("BitBtn_BCFW1");
    EXPECT_EQ(Backups(QStringLiteral("KX7410Y35-01")).size(), 1);
    Select(model);
    Run("BitBtn_BCFW1");
    EXPECT_EQ(Backups(model).size(), 2);
    form->comkClick();
    form->comkClick();
    ASSERT_TRUE(form->station().portOpen());
    Run("BitBtn_BCFW1");
    Run("BitBtn_BCFW1");
    EXPECT_EQ(Backups(model).size(), 3);
    Run("BitBtn19");
    EXPECT_EQ(Backups(model).size(), 3);
    Run("BitBtn_BCFW1");
    EXPECT_EQ(Backups(model).size(), 4);
    EXPECT_EQ(messages.shown, QStringList());
}

TEST_F(CalibrationWindow, RestoreBringsBackTheAreaAStepChanged) {
    const QString model = form->station().product().ModelName;
    ASSERT_EQ(sim.command(QStringLiteral("point 100 100 0 50")), QStringLiteral("ok"));
    ASSERT_EQ(sim.command(QStringLiteral("set 12000 11 12 13 14 15 16 17 18 19 1 2 3 4 5 6")),
              QStringLiteral("ok"));
    ASSERT_EQ(sim.command(QStringLiteral("set 11029 7 8 9")), QStringLiteral("ok"));
    const bool segmented = form->station().product().FDBDSN != 0;
    const RegisterWords before = Area(segmented);
    Run("BitBtn_VIP1");
    ASSERT_EQ(sim.registers(12000, 9), QList<int>(9, 20000));
    ASSERT_EQ(sim.command(QStringLiteral("set 11029 0 0 0")), QStringLiteral("ok"));
    ASSERT_NE(Area(segmented), before);
    const QList<UnitRecord> records = Backups(model);
    ASSERT_EQ(records.size(), 1);
    const QString question = QStringLiteral("confirm: 确定用 %1 的备份恢复标定数据吗?")
                                 .arg(records[0].started.toString("yyyy-MM-dd HH:mm:ss"));

    messages.confirmAll = false;
    messages.answers = {true};
    link.ClearRequests();
    Run("BitBtn_RestoreCalibration");
    EXPECT_EQ(messages.shown, (QStringList{question, "inform: 恢复标定数据成功！"}));
    EXPECT_EQ(Area(segmented), before);
    EXPECT_EQ(Lines(), QStringList{"恢复标定数据成功！"});
    // Written with the calibration's own write, then read back.
    const auto frames = FramesOf(link.Requests());
    const std::size_t runs = segmented ? 4 : 2;
    ASSERT_EQ(frames.size(), 2 * runs);
    for (std::size_t i = 0; i < runs; ++i) {
        EXPECT_EQ(frames[i].first, kFcWriteCalibration) << i;
        EXPECT_EQ(frames[runs + i], std::make_pair(kFcReadCalibration, frames[i].second)) << i;
    }
    // A restore is no calibration step: it takes no backup of its own, but leaves a record of
    // what it wrote.
    EXPECT_EQ(Backups(model).size(), 1);
    const UnitRecord restore = StepRecords(model).last();
    EXPECT_TRUE(restore.details.startsWith("step=恢复标定数据\n"));
    EXPECT_EQ(WordsFromLines("written.", restore.details), before);
    EXPECT_EQ(restore.verdict, Verdict::Pass);
}

TEST_F(CalibrationWindow, RestoreAsksFirstAndNeedsABackup) {
    const QString model = form->station().product().ModelName;
    const int before = Requests();
    Run("BitBtn_RestoreCalibration");
    EXPECT_EQ(messages.shown,
              QStringList{QStringLiteral("inform: 没有%1的标定数据备份！").arg(model)});
    TakeBackup();
    const int afterBackup = Requests();
    EXPECT_GT(afterBackup, before);
    messages.shown.clear();
    messages.confirmAll = false;
    messages.answers = {false};
    Run("BitBtn_RestoreCalibration");
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].startsWith(QStringLiteral("confirm: 确定用 ")));
    EXPECT_EQ(Requests(), afterBackup);
    // The port is needed before anything is asked.
    form->comkClick();
    messages.shown.clear();
    Run("BitBtn_RestoreCalibration");
    EXPECT_EQ(messages.shown, QStringList{"inform: 请打开串口！！"});
}

TEST_F(CalibrationWindow, ARestoredWordThatDoesNotStickIsReported) {
    ASSERT_EQ(sim.command(QStringLiteral("set 12000 11 12 13")), QStringLiteral("ok"));
    TakeBackup();
    ASSERT_EQ(sim.command(QStringLiteral("stuck 12001 5")), QStringLiteral("ok"));
    messages.confirmAll = false;
    messages.answers = {true};
    messages.shown.clear();
    Run("BitBtn_RestoreCalibration");
    ASSERT_EQ(messages.shown.size(), 2);
    EXPECT_EQ(messages.shown[1],
              QStringLiteral("inform: 恢复标定数据读回不一致！\n写入 12001=12 读回 5"));
    EXPECT_EQ(Lines(), (QStringList{"恢复标定数据读回不一致！", "写入 12001=12 读回 5"}));
    EXPECT_EQ(sim.registers(12000, 3), (QList<int>{11, 5, 13}));
    const UnitRecord restore = StepRecords(form->station().product().ModelName).last();
    EXPECT_EQ(restore.verdict, Verdict::Fail);
    EXPECT_TRUE(restore.details.endsWith("\n写入 12001=12 读回 5\n"))
        << restore.details.toStdString();
}

// A backup that cannot be read leaves the step unwritten; the next try takes it and goes on.
TEST_F(CalibrationWindow, AFailedBackupReadWritesNothing) {
    const QList<int> flag = sim.registers(13000);
    link.ClearRequests();
    OnGuiAtRequest(2, [this] { sim.command(QStringLiteral("silent on")); });
    Run("BitBtn_VIP1");
    ASSERT_EQ(sim.command(QStringLiteral("silent off")), QStringLiteral("ok"));
    EXPECT_EQ(Lines(), QStringList{"读标定数据备份失败,本步未写入!!"});
    EXPECT_EQ(FramesOf(link.Requests()),
              (std::vector<std::pair<uint8_t, uint16_t>>{{kFcReadCalibration, 11002},
                                                         {kFcReadCalibration, 12000}}));
    EXPECT_EQ(sim.registers(13000), flag);
    EXPECT_EQ(controller->GlyphOf("BitBtn_VIP1"), CalibrationController::FormGlyph);
    EXPECT_TRUE(Backups(form->station().product().ModelName).isEmpty());
    EXPECT_EQ(messages.shown, QStringList());

    Run("BitBtn_VIP1");
    EXPECT_EQ(controller->GlyphOf("BitBtn_VIP1"), CalibrationController::Done);
    EXPECT_EQ(Backups(form->station().product().ModelName).size(), 1);
}

// A backup that cannot be stored is no backup either: the error box names the file.
TEST_F(CalibrationWindow, ABackupThatCannotBeStoredWritesNothing) {
    form.reset();
    const QString results = folder.file(QLatin1String(kResultsFile));
    ASSERT_TRUE(QFile::remove(results));
    ASSERT_TRUE(QDir().mkdir(results));
    form = std::make_unique<TMainForm>(folder.path(), link, *db);
    controller = form->findChild<CalibrationController*>();
    EditLine(*form, [&](LineChoice& line) { line.PortName = sim.link(); });
    form->comkClick();
    ASSERT_TRUE(form->station().portOpen());
    messages.shown.clear();
    const QList<int> flag = sim.registers(13000);
    link.ClearRequests();
    Run("BitBtn_VIP1");
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0], QStringLiteral("error: ") + form->results().lastError());
    EXPECT_TRUE(messages.shown[0].contains(QDir::toNativeSeparators(results)));
    EXPECT_EQ(Lines(), QStringList{"保存标定数据备份失败,本步未写入!!"});
    EXPECT_EQ(sim.registers(13000), flag);
    for (const auto& [function, first] : FramesOf(link.Requests()))
        EXPECT_EQ(function, kFcReadCalibration) << first;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
