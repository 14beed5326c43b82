#include "gui/calib/calibration_controller.h"

#include "calib/calibration_backup.h"
#include "calib/switching.h"
#include "common/conversion.h"
#include "gui/calib/calibration_page.h"
#include "gui/calib/real_power_form.h"
#include "gui/calib/station_record.h"
#include "gui/check/check_page.h"
#include "gui/curves/curve_page.h"
#include "gui/kit/language.h"
#include "gui/kit/messages.h"
#include "gui/main/main_form.h"
#include "gui/settings/setcom_dialog.h"
#include "link/serial_link.h"
#include "store/settings.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <memory>

namespace {
QString PortClosedText() {
    return QCoreApplication::translate("CalibrationController", "请打开串口！！");
}

const char* const kGlyphProperty = "calibrationGlyph";

// The step as the records name it: the Chinese captions the page keeps beside the shown ones
// (property "recordName"), so that records read alike whatever the language of the window.
QString RecordedStepName(const QPushButton* button) {
    const auto name = [](const QObject* control, const QString& shown) {
        const QVariant kept = control->property("recordName");
        return kept.isValid() ? kept.toString() : shown;
    };
    if (const auto* box = qobject_cast<const QGroupBox*>(button->parentWidget()))
        return name(box, box->title()) + QLatin1Char(' ') + name(button, button->text());
    return name(button, button->text());
}
} // namespace

CalibrationController::CalibrationController(TMainForm& form) : QObject(&form), form_(form) {
    log_ = controls().log;
    const CalibrationPage::ProtocolControls& protocolTab = form_.calibrationPage()->protocolTab();
    connect(protocolTab.wiring, &QPushButton::clicked, this, &CalibrationController::BitBtn2Click);
    connect(protocolTab.protocol, &QPushButton::clicked, this,
            &CalibrationController::BitBtn4Click);
    connect(form_.calibrationEntryButton(), &QPushButton::clicked, this,
            &CalibrationController::BitBtn14Click);
    connect(controls().finish, &QPushButton::clicked, this, &CalibrationController::BitBtn19Click);
    connect(controls().restore, &QPushButton::clicked, this,
            &CalibrationController::BitBtn_RestoreCalibrationClick);
    connect(&form_.station(), &StationState::portOpenChanged, this, [this](bool open) {
        if (open) ++portOpenings_;
    });
    for (int s = 1; s <= 3; ++s) {
        const CalibrationPage::SegmentControls& segment = Segment(s);
        connect(segment.vip, &QPushButton::clicked, this, [this, s] { BitBtn_VIP1Click(s); });
        connect(segment.phaseCompensation, &QPushButton::clicked, this,
                [this, s] { BitBtn_VXW1Click(s); });
        connect(segment.compensationReset, &QPushButton::clicked, this,
                [this, s] { BitBtn_BCFW1Click(s); });
        connect(segment.powerCompensation, &QPushButton::clicked, this,
                [this, s] { BitBtn_PBC1Click(s); });
        for (QRadioButton* radio : {segment.hz50, segment.hz60})
            connect(radio, &QRadioButton::clicked, this, [this, s] { Radio_50HZ_1Click(s); });
    }
}

const CalibrationPage::CalibrationControls& CalibrationController::controls() const {
    return form_.calibrationPage()->calibrationTab();
}

const CalibrationPage::SegmentControls& CalibrationController::Segment(int segment) const {
    return controls().segments[std::size_t(segment - 1)];
}

bool CalibrationController::Is60Hz(int segment) const {
    // The 50 Hz button decides first, as the two share one group box.
    if (Segment(segment).hz50->isChecked()) return false;
    return Segment(segment).hz60->isChecked();
}

int CalibrationController::GlyphOf(const char* button) const {
    // Only the step buttons ever show a glyph; any other name shows the form's.
    const QLatin1String name(button);
    QList<QPushButton*> steps{controls().finish};
    for (const CalibrationPage::SegmentControls& s : controls().segments)
        steps << s.vip << s.phaseCompensation << s.compensationReset << s.powerCompensation;
    for (const QPushButton* b : std::as_const(steps))
        if (b->objectName() == name) return b->property(kGlyphProperty).toInt();
    return FormGlyph;
}

void CalibrationController::SetGlyph(QPushButton* button, Glyph glyph) {
    if (!button) return;
    // Image1..Image3 hold the glyphs from Pending on.
    if (glyph >= Pending) button->setIcon(QIcon(controls().glyphs[glyph - Pending]->pixmap()));
    button->setProperty(kGlyphProperty, int(glyph));
}

void CalibrationController::AddCalibrationLog(const QString& text) {
    log_->addItem(text);
    log_->setCurrentRow(log_->count() - 1);
}

void CalibrationController::ClearLog() {
    log_->clear();
    log_->repaint();
}

void CalibrationController::ShowProgress(int maximum) {
    QProgressBar* bar = form_.progressBar();
    bar->setRange(0, maximum);
    bar->setValue(0);
    bar->show();
}

void CalibrationController::StepProgress() {
    QProgressBar* bar = form_.progressBar();
    bar->setValue(std::min(bar->value() + 10, bar->maximum()));
}

void CalibrationController::HideProgress() {
    form_.progressBar()->hide();
}

struct CalibrationController::PortSwitchOutcome {
    bool failed = false;   // the link could not be reopened
    QString settingsError; // Config.ini could not take the settings
};

CalibrationController::PortLine CalibrationController::CurrentPortLine() {
    const LineChoice& line = form_.station().line();
    return {{line.BaudIndex, line.ParityIndex, line.DataBitsIndex, line.StopBitsIndex},
            line.PortName,
            &form_.serialLink()};
}

std::function<bool(int)>
CalibrationController::PortSwitcher(JobContext& job, const PortLine& line,
                                    std::shared_ptr<PortSwitchOutcome> outcome) {
    return [this, &job, line, outcome](int frameFormat) {
        const PortIndexes next = PortIndexesForFrameFormat(frameFormat, line.indexes);
        // Only the reopening runs here: the step's next write needs its result at once.
        line.link->Close();
        const bool opened =
            line.link->Open(line.portName, next.baud, next.parity, next.dataBits, next.stopBits);
        outcome->failed = !opened;
        job.Post([this, outcome, next, opened] {
            // The port text follows the new line settings.
            LineChoice switched = form_.station().line();
            switched.BaudIndex = next.baud;
            switched.ParityIndex = next.parity;
            switched.DataBitsIndex = next.dataBits;
            switched.StopBitsIndex = next.stopBits;
            form_.station().setLine(switched);
            try {
                SaveSerialSettings(form_.dataDir(),
                                   {switched.PortIndex, switched.BaudIndex, switched.ParityIndex,
                                    switched.DataBitsIndex, switched.StopBitsIndex,
                                    switched.ModuleAddress});
            } catch (const ConversionError& e) {
                // The port is still switched; only the memory of the settings dialog is stale.
                outcome->settingsError = e.text();
            }
            if (opened) return;
            HideProgress();
            // The link is closed now: the port button says so, instead of claiming an open port.
            if (form_.station().portOpen()) form_.comkClick();
        });
        return opened;
    };
}

void CalibrationController::ShowPortSwitchOutcome(const PortSwitchOutcome& outcome) {
    if (!outcome.settingsError.isEmpty()) Ui().error(&form_, outcome.settingsError);
    if (outcome.failed) Ui().inform(&form_, tr("配置通信协后更改端口设置失败！！"));
}

std::function<void()> CalibrationController::ProgressStepper(JobContext& job) {
    return [this, &job] { job.Post([this] { StepProgress(); }); };
}

CalibrationLog CalibrationController::JobLog(JobContext& job) {
    return
        [this, &job](const QString& text) { job.Post([this, text] { AddCalibrationLog(text); }); };
}

bool CalibrationController::RefusedWhileBusy() {
    if (form_.session().isIdle()) return false;
    Ui().inform(&form_, DeviceSession::BusyText());
    return true;
}

bool CalibrationController::Submit(QPushButton* button, DeviceSession::Work work,
                                   std::function<void()> done) {
    if (form_.session().Submit(DeviceSession::State::Busy, button->text(), std::move(work),
                               std::move(done)))
        return true;
    Ui().inform(&form_, DeviceSession::BusyText());
    return false;
}

void CalibrationController::BitBtn2Click() {
    if (RefusedWhileBusy()) return;
    if (!form_.station().portOpen()) return Ui().inform(&form_, PortClosedText());
    form_.CB_CPTypeChange();
    const int mode = form_.station().product().UserParamsEditable
                         ? form_.calibrationPage()->configurationTab().wiringMode->currentIndex()
                         : form_.station().product().JXMS;
    const uint8_t address = form_.station().line().ModuleAddress;
    ShowProgress(20);
    auto written = std::make_shared<bool>(false);
    const bool started = Submit(
        form_.calibrationPage()->protocolTab().wiring,
        [this, address, mode, written](JobContext& job) {
            *written = WriteWiringMode(job.link(), address, mode);
            if (!*written) return;
            job.Post([this] {
                StepProgress();
                StepProgress();
            });
            job.Wait(50);
        },
        [this, written] {
            HideProgress();
            form_.calibrationPage()->protocolTab().protocol->setEnabled(*written);
            Ui().inform(&form_, *written ? tr("配置接线模式成功！") : tr("配置接线模式失败！"));
        });
    if (!started) HideProgress();
}

void CalibrationController::BitBtn4Click() {
    if (RefusedWhileBusy()) return;
    if (!form_.station().portOpen()) return Ui().inform(&form_, PortClosedText());
    form_.CB_CPTypeChange();
    ShowProgress(40);
    StepProgress();
    const int format = form_.station().product().UserParamsEditable
                           ? form_.calibrationPage()->configurationTab().frameFormat->currentIndex()
                           : form_.station().product().BTLGS;
    const int protocol = form_.station().product().TXXY;
    const uint8_t address = form_.station().line().ModuleAddress;
    const PortLine line = CurrentPortLine();
    auto outcome = std::make_shared<QString>();
    auto port = std::make_shared<PortSwitchOutcome>();
    const bool started = Submit(
        form_.calibrationPage()->protocolTab().protocol,
        [this, address, format, protocol, line, outcome, port](JobContext& job) {
            *outcome = ConfigureProtocol(job.link(), address, format, protocol,
                                         PortSwitcher(job, line, port), ProgressStepper(job));
        },
        [this, outcome, port] {
            HideProgress();
            ShowPortSwitchOutcome(*port);
            Ui().inform(&form_, *outcome);
        });
    if (!started) HideProgress();
}

void CalibrationController::BitBtn14Click() {
    if (!form_.station().portOpen()) return Ui().inform(&form_, PortClosedText());
    if (form_.checkPage() && form_.checkPage()->isRunning())
        return Ui().inform(&form_, tr("请关闭读输出数据线程！！"));
    if (CurvePage* curves = form_.curvePage(); curves && curves->isRunning())
        return Ui().inform(&form_, tr("请关闭读曲线数据线程！！"));
    if (RefusedWhileBusy()) return;
    Ui().inform(&form_, tr("将产品复位(关闭产品工作电源,再打开),请在10秒钟内点击<OK>按钮！"));
    const uint8_t address = form_.station().line().ModuleAddress;
    ShowProgress(50);
    StepProgress();
    const PortLine line = CurrentPortLine();
    auto outcome = std::make_shared<QString>();
    auto port = std::make_shared<PortSwitchOutcome>();
    const bool started = Submit(
        form_.calibrationEntryButton(),
        [this, address, line, outcome, port](JobContext& job) {
            *outcome = EnterCalibrationState(job.link(), address, PortSwitcher(job, line, port),
                                             ProgressStepper(job));
        },
        [this, outcome, port] {
            HideProgress();
            ShowPortSwitchOutcome(*port);
            Ui().inform(&form_, *outcome);
        });
    if (!started) HideProgress();
}

void CalibrationController::BitBtn_VIP1Click(int segment) {
    if (RefusedWhileBusy()) return;
    if (!form_.station().portOpen()) return Ui().inform(&form_, PortClosedText());
    QPushButton* button = Segment(segment).vip;
    if (!ConfirmWrite(button)) return;
    ClearLog();
    if (segment == 1) SetGlyph(controls().finish, Pending);
    const uint8_t address = form_.station().line().ModuleAddress;
    WritingStep(
        button,
        [this, address, segment](JobContext& job, RegisterWords* written) {
            return RunVipCalibration(job.link(), address, segment, state_, JobLog(job), written);
        },
        [this, button] { SetGlyph(button, Done); });
}

void CalibrationController::BitBtn_VXW1Click(int segment) {
    if (RefusedWhileBusy()) return;
    if (!form_.station().portOpen()) return Ui().inform(&form_, PortClosedText());
    QPushButton* button = Segment(segment).phaseCompensation;
    if (!ConfirmWrite(button)) return;
    ClearLog();
    const uint8_t address = form_.station().line().ModuleAddress;
    const bool hz60 = Is60Hz(segment);
    WritingStep(
        button,
        [this, address, segment, hz60](JobContext& job, RegisterWords* written) {
            return RunAnglePhaseCompensation(job.link(), address, segment, hz60, state_,
                                             JobLog(job), written);
        },
        [this, button] { SetGlyph(button, Done); });
}

void CalibrationController::BitBtn_BCFW1Click(int segment) {
    if (RefusedWhileBusy()) return;
    if (!form_.station().portOpen()) return Ui().inform(&form_, PortClosedText());
    const uint8_t address = form_.station().line().ModuleAddress;
    const bool hz60 = Is60Hz(segment);
    QPushButton* button = Segment(segment).compensationReset;
    if (!ConfirmWrite(button)) return;
    WritingStep(
        button,
        [this, address, segment, hz60](JobContext& job, RegisterWords* written) {
            return ResetPowerCompensation(job.link(), address, segment, hz60, JobLog(job), written);
        },
        [this, button] { SetGlyph(button, Done); });
}

void CalibrationController::BitBtn_PBC1Click(int segment) {
    if (RefusedWhileBusy()) return;
    if (!form_.station().portOpen()) return Ui().inform(&form_, PortClosedText());
    TRealPowerForm::Run(state_.SourceActivePower, &form_);
    const uint8_t address = form_.station().line().ModuleAddress;
    const bool hz60 = Is60Hz(segment);
    const double ratedVoltage = form_.station().rated().RatedVoltage;
    const double ratedCurrent = form_.station().rated().RatedCurrent;
    QPushButton* button = Segment(segment).powerCompensation;
    // A compensation refused before its first reading writes nothing: it needs no backup.
    const bool writes =
        PowerCompensationPrecondition(state_.VipAverages, state_.SourceActivePower).isEmpty();
    if (writes && !ConfirmWrite(button)) return;
    ClearLog();
    WritingStep(
        button,
        [this, address, segment, hz60, ratedVoltage, ratedCurrent](JobContext& job,
                                                                   RegisterWords* written) {
            return RunPowerCompensation(job.link(), address, segment, hz60, ratedVoltage,
                                        ratedCurrent, state_, JobLog(job), written);
        },
        [this, button] { SetGlyph(button, Done); }, writes);
}

void CalibrationController::BitBtn19Click() {
    if (RefusedWhileBusy()) return;
    if (!ConfirmWrite(controls().finish)) return;
    ClearLog();
    const uint8_t address = form_.station().line().ModuleAddress;
    // No port check: a closed link fails the backup's read, which the log reports.
    WritingStep(
        controls().finish,
        [this, address](JobContext& job, RegisterWords* written) {
            return WriteCalibrationFlash(job.link(), address, JobLog(job), written);
        },
        [this] {
            for (const CalibrationPage::SegmentControls& s : controls().segments)
                for (QPushButton* step :
                     {s.vip, s.phaseCompensation, s.compensationReset, s.powerCompensation})
                    SetGlyph(step, Pending);
            SetGlyph(controls().finish, Finished);
            // The flash write ends the calibration of a unit: the next unit on this port
            // gets a backup of its own.
            backupSession_.clear();
        });
}

bool CalibrationController::ConfirmWrite(const QPushButton* button) {
    return Ui().confirm(&form_,
                        tr("确定执行“%1”吗？该操作将改写模块的标定数据。").arg(StepName(button)),
                        tr("产品标定"));
}

QString CalibrationController::StepName(const QPushButton* button) {
    // The segment buttons share their captions; their group box says which segment.
    if (const auto* box = qobject_cast<const QGroupBox*>(button->parentWidget()))
        return box->title() + QLatin1Char(' ') + button->text();
    return button->text();
}

void CalibrationController::StoreStepRecord(const QPushButton* button, const QDateTime& started,
                                            bool succeeded, const RegisterWords& written,
                                            const QString& more) {
    UnitRecord record = StationRecord(form_, RecordKind::Calibration);
    record.started = started;
    record.ended = QDateTime::currentDateTime();
    record.verdict = succeeded ? Verdict::Pass : Verdict::Fail;
    record.details = QStringLiteral("step=%1\n").arg(RecordedStepName(button)) +
                     WordLines(QStringLiteral("written."), written) + more;
    StoreRecord(form_, record);
}

void CalibrationController::WritingStep(QPushButton* button, StepWork work,
                                        std::function<void()> succeeded, bool needsBackup) {
    const auto run = [this, button, work = std::move(work), succeeded = std::move(succeeded)] {
        const QDateTime started = QDateTime::currentDateTime();
        auto ok = std::make_shared<bool>(false);
        auto written = std::make_shared<RegisterWords>();
        Submit(
            button, [work, ok, written](JobContext& job) { *ok = work(job, written.get()); },
            [this, button, started, ok, written, succeeded] {
                // What reached the module is kept even when the step failed half way.
                StoreStepRecord(button, started, *ok, *written);
                if (*ok) succeeded();
            });
    };
    if (!needsBackup) return run();
    AfterBackup(button, run);
}

void CalibrationController::Radio_50HZ_1Click(int segment) {
    // The done marks of these steps belonged to the other frequency.
    const CalibrationPage::SegmentControls& s = Segment(segment);
    for (QPushButton* step : {s.phaseCompensation, s.compensationReset, s.powerCompensation})
        SetGlyph(step, Pending);
}

QString CalibrationController::BackupSession() const {
    return QStringLiteral("%1|%2|%3")
        .arg(form_.station().product().ModelName, form_.station().line().PortName)
        .arg(portOpenings_);
}

void CalibrationController::AfterBackup(QPushButton* button, std::function<void()> step) {
    const QString session = BackupSession();
    if (session == backupSession_) return step();
    const uint8_t address = form_.station().line().ModuleAddress;
    const auto ranges = CalibrationAreaRanges(form_.station().product().FDBDSN != 0);
    auto record = std::make_shared<UnitRecord>(StationRecord(form_, RecordKind::Calibration));
    record->started = QDateTime::currentDateTime();
    auto area = std::make_shared<std::optional<RegisterWords>>();
    auto cancelled = std::make_shared<bool>(false);
    Submit(
        button,
        [address, ranges, area, cancelled](JobContext& job) {
            *area = ReadCalibrationArea(job.link(), address, ranges);
            *cancelled = job.cancelled();
        },
        [this, session, record, area, cancelled, step = std::move(step)] {
            if (!*area) return AddCalibrationLog(BackupReadFailedText());
            record->ended = QDateTime::currentDateTime();
            record->details = BackupDetails(**area);
            if (!StoreRecord(form_, *record)) return AddCalibrationLog(BackupStoreFailedText());
            backupSession_ = session;
            // A cancelled operation goes no further, even with its backup taken.
            if (!*cancelled) step();
        });
}

void CalibrationController::BitBtn_RestoreCalibrationClick() {
    if (RefusedWhileBusy()) return;
    if (!form_.station().portOpen()) return Ui().inform(&form_, PortClosedText());
    const QString model = form_.station().product().ModelName;
    RecordFilter filter;
    filter.model = model;
    filter.kind = RecordKind::Calibration;
    QList<UnitRecord> records;
    if (!form_.results().Select(filter, records))
        return Ui().error(&form_, form_.results().lastError());
    // Newest first: the backup taken before the latest calibration of this model.
    RegisterWords backup;
    QDateTime taken;
    for (const UnitRecord& r : std::as_const(records)) {
        backup = BackupFromDetails(r.details);
        taken = r.started;
        if (!backup.empty()) break;
    }
    if (backup.empty()) return Ui().inform(&form_, tr("没有%1的标定数据备份！").arg(model));
    if (!Ui().confirm(&form_, tr("确定用 %1 的备份恢复标定数据吗?").arg(DisplayDateTime(taken)),
                      tr("恢复标定数据")))
        return;
    ClearLog();
    const uint8_t address = form_.station().line().ModuleAddress;
    auto outcome = std::make_shared<RestoreOutcome>();
    Submit(
        controls().restore,
        [address, backup, outcome](JobContext& job) {
            *outcome = RestoreCalibrationArea(job.link(), address, backup);
        },
        [this, outcome, backup, started = QDateTime::currentDateTime()] {
            const RestoreOutcome& o = *outcome;
            QStringList lines;
            if (o.restored())
                lines << tr("恢复标定数据成功！");
            else if (!o.written)
                lines << tr("恢复标定数据失败！");
            else if (!o.readBack)
                lines << tr("恢复标定数据后读回失败！");
            else
                lines << tr("恢复标定数据读回不一致！");
            for (const WordDifference& d : o.differences)
                lines << DifferenceLine(d);
            for (const QString& line : std::as_const(lines))
                AddCalibrationLog(line);
            Ui().inform(&form_, lines.join(QLatin1Char('\n')));
            QString differences;
            for (const WordDifference& d : o.differences)
                differences += DifferenceLine(d) + QLatin1Char('\n');
            StoreStepRecord(controls().restore, started, o.restored(),
                            o.written ? backup : RegisterWords{}, differences);
        });
}
