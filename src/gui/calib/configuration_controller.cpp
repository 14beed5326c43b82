#include "gui/calib/configuration_controller.h"

#include "calib/configuration_blocks.h"
#include "calib/configuration_download.h"
#include "calib/download_check.h"
#include "calib/user_frames.h"
#include "common/conversion.h"
#include "gui/calib/calibration_page.h"
#include "gui/calib/station_record.h"
#include "gui/calib/user_page.h"
#include "gui/check/check_page.h"
#include "gui/kit/messages.h"
#include "gui/main/main_form.h"
#include "link/modbus.h"
#include "store/database.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>

#include <algorithm>
#include <memory>

namespace {

// The main window's progress bar as a job sees it: each step of 10 is posted to the bar, the
// waits are the job's own, so a cancel cuts them short.
class JobProgress : public DownloadProgress {
public:
    JobProgress(JobContext& job, QProgressBar* bar) : job_(job), bar_(bar) {}
    void Step() override {
        QProgressBar* bar = bar_;
        job_.Post([bar] { bar->setValue(std::min(bar->value() + 10, bar->maximum())); });
    }
    void Wait(int ms) override { job_.Wait(ms); }

private:
    JobContext& job_;
    QProgressBar* bar_;
};

QString Decimal(int v) {
    return QString::number(v);
}

// The caption the user reads beside a control: the label whose buddy it is ("启动电流：").
QString CaptionOf(const QWidget* control) {
    for (const QLabel* label : control->parentWidget()->findChildren<QLabel*>())
        if (label->buddy() == control) return label->text();
    return control->objectName();
}

// A list's item index as sent; a list with no item chosen (a read-back can leave one so) has
// nothing to send.
int ChosenIndex(const QComboBox* list) {
    if (list->currentIndex() < 0) {
        const QString caption = CaptionOf(list);
        throw ConversionError(
            QCoreApplication::translate("ConfigurationController", "%1未选择").arg(caption),
            caption);
    }
    return list->currentIndex();
}

// A field's value within range; a text that does not convert or a value outside the range throws
// ConversionError naming the field by its caption.
int FieldValue(const QLineEdit* field, FieldRange range) {
    return FieldToInt(CaptionOf(field), field->text(), range);
}

} // namespace

ConfigurationController::ConfigurationController(TMainForm& form) : QObject(&form), form_(form) {
    const auto connectButton = [this](QPushButton* button,
                                      void (ConfigurationController::*slot)()) {
        connect(button, &QPushButton::clicked, this, slot);
    };
    const CalibrationPage::ConfigurationControls& c = fields();
    connectButton(c.download, &ConfigurationController::BitBtn1Click);
    connectButton(c.readBack, &ConfigurationController::BitBtn6Click);
    connectButton(c.setClock, &ConfigurationController::BitBtn9Click);
    connectButton(c.readClock, &ConfigurationController::BitBtn3Click);
    connect(c.defaults, &QPushButton::clicked, &form_, &TMainForm::BitBtn_DefaultSetClick);
    for (QLineEdit* field : {c.ratedVoltage, c.ratedCurrent})
        connect(field, &QLineEdit::textChanged, this, &ConfigurationController::LE_StandVolChange);
    connect(form_.checkPage(), &CheckPage::ReadConfigurationClicked, this,
            &ConfigurationController::BitBtn6Click);
    connectButton(form_.clearEnergyButton(), &ConfigurationController::BitBtn7Click);
    connectButton(form_.clearDemandButton(), &ConfigurationController::BitBtn8Click);
    const UserPage::Controls& u = userFields();
    connectButton(u.download, &ConfigurationController::BitBtn5Click);
    connectButton(u.setEnergyBase, &ConfigurationController::BitBtn10Click);
    connectButton(u.readAddress, &ConfigurationController::BitBtn11Click);
    connectButton(u.readCalibration, &ConfigurationController::BitBtn12Click);
    connectButton(u.readRawData, &ConfigurationController::BitBtn13Click);
}

const CalibrationPage::ConfigurationControls& ConfigurationController::fields() const {
    return form_.calibrationPage()->configurationTab();
}
const UserPage::Controls& ConfigurationController::userFields() const {
    return form_.userPage()->controls();
}
double ConfigurationController::rating(const QLineEdit* field, int scale) const {
    const QString caption = CaptionOf(field);
    const double value = FieldToFloat(caption, field->text());
    if (!RatingFits(value, scale))
        throw FieldError(caption, field->text(),
                         tr("超出范围（0～%1）").arg(FloatToText(2147483647.0 / scale)));
    return value;
}

bool ConfigurationController::PortReady() {
    if (!form_.station().portOpen()) {
        Ui().inform(&form_, tr("请打开串口！！"));
        return false;
    }
    return true;
}

bool ConfigurationController::SessionIdle() {
    if (!form_.session().isIdle()) {
        Ui().inform(&form_, DeviceSession::BusyText());
        return false;
    }
    return true;
}

bool ConfigurationController::Start(const QString& operation, DeviceSession::Work work,
                                    std::function<void()> done) {
    auto cancelled = std::make_shared<bool>(false);
    auto job = [work = std::move(work), cancelled](JobContext& context) {
        work(context);
        *cancelled = context.cancelled();
    };
    auto report = [this, done = std::move(done), cancelled] {
        HideProgress();
        if (!*cancelled && done) done();
    };
    if (!form_.session().Submit(DeviceSession::State::Busy, operation, std::move(job),
                                std::move(report))) {
        Ui().inform(&form_, DeviceSession::BusyText());
        return false;
    }
    return true;
}

void ConfigurationController::ShowProgress(int maximum) {
    QProgressBar* bar = form_.progressBar();
    bar->setRange(0, maximum);
    bar->setValue(0);
    bar->setVisible(true);
}

void ConfigurationController::HideProgress() {
    form_.progressBar()->setVisible(false);
}

// ---- calibration page -------------------------------------------------------------------------

void ConfigurationController::LE_StandVolChange() {
    // Mirrors the ratings while the user types: a field that does not read as a number yet
    // ("", "-") leaves the ratings and the pulse constant as they were instead of raising an
    // error box per keystroke; the download converts the fields again and reports there.
    try {
        const CalibrationPage::ConfigurationControls& c = fields();
        const double voltage = StrToFloat(c.ratedVoltage->text());
        const double current = StrToFloat(c.ratedCurrent->text());
        form_.station().setRated({voltage, current});
        c.schedule.pulseConstant->setText(Decimal(PulseConstant(voltage, current)));
    } catch (const ConversionError&) {
    }
}

namespace {

// The tariff schedule and the pulse fields stand on both pages; they are read in the same order,
// so the first field that does not convert or does not fit is the one reported.
template <typename Fields>
void GatherSchedule(Fields& f, const ScheduleControls& c, const FieldRanges& r) {
    for (int n = 0; n < 12; ++n) {
        f.segments[n].hour = FieldValue(c.segments[n].hour, r.hour);
        f.segments[n].minute = FieldValue(c.segments[n].minute, r.minute);
        f.segments[n].tariff = FieldValue(c.segments[n].tariff, r.tariff);
    }
    f.readingDay = FieldValue(c.readingDay, r.readingDay);
    f.readingHour = FieldValue(c.readingHour, r.readingHour);
    f.tariffs = FieldValue(c.tariffCount, r.tariffs);
    f.segmentCount = FieldValue(c.segmentCount, r.segmentCount);
    f.pulseMode = ChosenIndex(c.pulseMode);
    f.pulseConstant = FieldValue(c.pulseConstant, r.pulseConstant);
    f.startCurrent = FieldValue(c.startCurrent, r.startCurrent);
}

} // namespace

ConfigurationFields ConfigurationController::GatherConfiguration() const {
    ConfigurationFields f;
    const FieldRanges& r = kModbusFieldRanges;
    const CalibrationPage::ConfigurationControls& c = fields();
    GatherSchedule(f, c.schedule, r);
    // A model whose ratios are fixed sends the product's values, whatever the disabled
    // controls show.
    const ProductSelection& product = form_.station().product();
    const bool editable = product.UserParamsEditable;
    f.pt = editable ? FieldValue(c.pt, r.pt) : product.UPT;
    f.ct = editable ? FieldValue(c.ct, r.ct) : product.ICT;
    f.ctCount = editable ? ChosenIndex(c.ctCount) : product.CTNUM;
    f.harmonic = ChosenIndex(c.harmonicMode);
    f.overVoltage = FieldValue(c.overVoltage, r.limit);
    f.underVoltage = FieldValue(c.underVoltage, r.limit);
    f.phaseBreak = FieldValue(c.phaseBreak, r.limit);
    f.threshold = FieldValue(c.threshold, r.limit);
    f.demandMethod = editable ? ChosenIndex(c.demandMethod) : product.XLJSFS;
    return f;
}

CalibrationFields ConfigurationController::GatherCalibration() const {
    CalibrationFields f;
    const CalibrationPage::ConfigurationControls& c = fields();
    f.ratedVoltage = rating(c.ratedVoltage, kRatedVoltageScale);
    f.ratedCurrent = rating(c.ratedCurrent, kRatedCurrentScale);
    // Tried here, where the field's caption is known; the block converts the texts again.
    const auto hexText = [](const QLineEdit* field) {
        HexWord(CaptionOf(field), field->text());
        return field->text();
    };
    for (int n = 0; n < 3; ++n) {
        f.serialNumbers[n] = hexText(c.serialNumbers[n]);
        f.hardwareVersions[n] = hexText(c.hardwareVersions[n]);
    }
    const ProductSelection& product = form_.station().product();
    f.modelName = product.ModelName;
    f.scales = {product.UBLFX, product.UBL, product.IBLFX, product.IBL,
                product.PBLFX, product.PBL, product.EBLFX, product.EBL};
    f.enables = {product.SDBJXS, product.CSLXSN, product.FDBDSN, product.CSFHSN, product.GLYSFXSN};
    return f;
}

bool ConfigurationController::DownloadConfiguration() {
    // Every block is formed first: a field that cannot be sent stops the download before the
    // module holds half a configuration. The fields are read from the top of the page down, so
    // the first wrong one is reported (a negative rating before the pulse constant it gave).
    const CalibrationFields calibration = GatherCalibration();
    const ConfigurationBlocks blocks = BuildConfigurationBlocks(GatherConfiguration(), calibration);
    const OutputList list =
        GatherOutputList(form_.database(), form_.station().product().SchemeName);
    const std::vector<DownloadField> names = ConfigurationFieldTable();
    const uint8_t address = form_.station().line().ModuleAddress;
    QProgressBar* bar = form_.progressBar();
    auto outcome = std::make_shared<DownloadOutcome>();
    auto record = std::make_shared<UnitRecord>(StationRecord(form_, RecordKind::Download));
    record->started = QDateTime::currentDateTime();
    const bool started = Start(
        tr("下载配置"),
        [=](JobContext& job) {
            DownloadOutcome& o = *outcome;
            JobProgress progress(job, bar);
            o.result = WriteDownload(job.link(), address, blocks, list, progress, o);
            const std::vector<uint16_t> listWritten =
                o.listWritten ? list.block : std::vector<uint16_t>{};
            o.written = DownloadedWords(blocks, o.blocksWritten, listWritten);
            if (o.result == DownloadResult::Done)
                VerifyDownload(job.link(), address, listWritten.size(), names, o,
                               [&job](const QString& text) { job.Log(text); });
        },
        [this, outcome, record] {
            const DownloadOutcome& o = *outcome;
            // The download's own outcome first: a record that cannot be stored does not hide it.
            Ui().inform(&form_, DownloadMessage(o));
            record->ended = QDateTime::currentDateTime();
            record->verdict = o.verified() ? Verdict::Pass : Verdict::Fail;
            record->failures = int(o.differences.size());
            record->details = DownloadDetails(o);
            StoreRecord(form_, *record);
        });
    if (started) ShowProgress(90);
    return started;
}

void ConfigurationController::BitBtn1Click() {
    if (!PortReady() || !SessionIdle()) return;
    form_.CB_CPTypeChange();
    try {
        DownloadConfiguration();
    } catch (const ConversionError& e) {
        Ui().error(&form_, e.text());
    }
}

void ConfigurationController::ShowUserWords(const std::vector<uint16_t>& w) {
    const CalibrationPage::ConfigurationControls& c = fields();
    const auto setPair = [](uint16_t word, QLineEdit* high, QLineEdit* low) {
        high->setText(Decimal(word >> 8));
        low->setText(Decimal(word & 0xFF));
    };
    const auto setIndex = [](QComboBox* box, int index) {
        const QSignalBlocker quiet(box);
        box->setCurrentIndex(index < box->count() ? index : -1);
    };
    const auto at = [&w](int reg) { return w[std::size_t(reg - kUserBlock1Register)]; };
    const ScheduleControls& schedule = c.schedule;
    for (int n = 1; n <= 12; ++n) {
        const int reg = n <= 4 ? 260 + 2 * (n - 1) : 288 + 2 * (n - 5);
        const ScheduleControls::Segment& segment = schedule.segments[n - 1];
        setPair(at(reg), segment.hour, segment.minute);
        segment.tariff->setText(Decimal(at(reg + 1)));
    }
    setPair(at(268), schedule.readingDay, schedule.readingHour);
    setIndex(c.frameFormat, at(269));
    setIndex(schedule.pulseMode, at(270));
    schedule.pulseConstant->setText(Decimal(at(271)));
    schedule.startCurrent->setText(Decimal(at(272)));
    setIndex(c.wiringMode, at(273));
    c.pt->setText(Decimal(at(274)));
    c.ct->setText(Decimal(at(275)));
    setIndex(c.ctCount, at(276));
    setIndex(c.harmonicMode, at(277));
    c.overVoltage->setText(Decimal(at(279) / 10));
    c.underVoltage->setText(Decimal(at(280) / 10));
    c.phaseBreak->setText(Decimal(at(281) / 10));
    c.threshold->setText(Decimal(at(282) / 10));
    setIndex(c.demandMethod, at(283));
    schedule.tariffCount->setText(Decimal(at(286)));
    schedule.segmentCount->setText(Decimal(at(287)));
}

void ConfigurationController::ShowCalibrationWords(uint16_t protocol,
                                                   const std::vector<uint16_t>& c) {
    const CalibrationPage::ConfigurationControls& f = fields();
    const QString code = FrameFormatCode(protocol, f.frameFormat->currentIndex());
    const double voltage = LowWordFirst(c[0], c[1]) * 0.1;
    const double current = LowWordFirst(c[2], c[3]) * 0.001;
    {
        // The ratings follow the module; the pulse constant shown stays the module's own rather
        // than one recomputed from the ratings.
        const QSignalBlocker quietVoltage(f.ratedVoltage);
        const QSignalBlocker quietCurrent(f.ratedCurrent);
        f.ratedVoltage->setText(FloatToText(voltage));
        f.ratedCurrent->setText(FloatToText(current));
        form_.station().setRated({voltage, current});
    }
    const auto hex = [](uint16_t word) {
        return QStringLiteral("%1").arg(word, 4, 16, QLatin1Char('0')).toUpper();
    };
    for (int n = 0; n < 3; ++n) {
        f.serialNumbers[n]->setText(hex(c[6 + n]));
        f.hardwareVersions[n]->setText(hex(c[27 + n]));
    }
    const QString name = RebuildModelName(c, code);
    QComboBox* models = form_.modelList();
    const int index = models->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0) {
        // Selected only: the product's values stay those of the last product selection.
        const QSignalBlocker quiet(models);
        models->setCurrentIndex(index);
    }
}

void ConfigurationController::BitBtn6Click() {
    if (!PortReady()) return;
    struct ReadBack {
        std::vector<uint16_t> protocol, user, calibration;
        bool userRead = false;
        bool calibrationRead = false;
    };
    auto r = std::make_shared<ReadBack>();
    const uint8_t address = form_.station().line().ModuleAddress;
    QProgressBar* bar = form_.progressBar();
    const bool started = Start(
        tr("读取配置"),
        [=](JobContext& job) {
            JobProgress progress(job, bar);
            Link& link = job.link();
            r->userRead = ReadAllWords(link, address, ReadKind::Calibration, kProtocolRegister, 1,
                                       r->protocol) &&
                          ReadAllWords(link, address, ReadKind::Registers, kUserBlock1Register,
                                       kUserReadBackWords, r->user);
            if (!r->userRead) return;
            progress.Step();
            progress.Step();
            r->calibrationRead =
                ReadAllWords(link, address, ReadKind::Calibration, kCalibrationBlockRegister,
                             kCalibrationBlockWords, r->calibration);
            if (!r->calibrationRead) return;
            progress.Step();
            progress.Wait(50);
        },
        [this, r] {
            // What arrived is shown even when the rest failed, as the page always did.
            if (r->userRead) ShowUserWords(r->user);
            if (r->calibrationRead) ShowCalibrationWords(r->protocol[0], r->calibration);
            Ui().inform(&form_,
                        r->calibrationRead ? tr("读配置数据成功！！") : tr("读配置数据失败！！"));
        });
    if (started) ShowProgress(30);
}

void ConfigurationController::BitBtn9Click() {
    if (!PortReady()) return;
    const std::vector<uint16_t> words = ClockWords(QDateTime::currentDateTime());
    const uint8_t address = form_.station().line().ModuleAddress;
    auto ok = std::make_shared<bool>(false);
    Start(
        tr("校时"),
        [=](JobContext& job) {
            *ok =
                WriteRegisters(job.link(), address, kClockRegister, uint16_t(words.size()), words);
        },
        [this, ok] { Ui().inform(&form_, *ok ? tr("校时成功!!") : tr("校时失败!!")); });
}

void ConfigurationController::BitBtn3Click() {
    if (!PortReady()) return;
    const uint8_t address = form_.station().line().ModuleAddress;
    auto w = std::make_shared<std::vector<uint16_t>>();
    auto ok = std::make_shared<bool>(false);
    Start(
        tr("读时间"),
        [=](JobContext& job) {
            *ok = ReadAllWords(job.link(), address, ReadKind::Registers, kClockRegister, 3, *w);
        },
        [this, w, ok] {
            if (!*ok) {
                Ui().inform(&form_, tr("读时间失败！！"));
                return;
            }
            const std::vector<uint16_t>& t = *w;
            const ClockControls& clock = fields().clock;
            clock.year->setText(Decimal(t[0] >> 8));
            clock.month->setText(Decimal(t[0] & 0xFF));
            clock.day->setText(Decimal(t[1] >> 8));
            clock.hour->setText(Decimal(t[1] & 0xFF));
            clock.minute->setText(Decimal(t[2] >> 8));
            clock.second->setText(Decimal(t[2] & 0xFF));
        });
}

// ---- user page --------------------------------------------------------------------------------

UserParameters ConfigurationController::GatherUserParameters(int protocol) const {
    UserParameters p;
    // The fields are held to what the download of the scheme's protocol carries.
    const FieldRanges& r = UserFieldRanges(protocol);
    const UserPage::Controls& u = userFields();
    GatherSchedule(p, u.schedule, r);
    p.wiring = ChosenIndex(u.wiringMode);
    p.pt = FieldValue(u.pt, r.pt);
    p.ct = FieldValue(u.ct, r.ct);
    p.ctCount = ChosenIndex(u.ctCount);
    p.harmonic = ChosenIndex(u.harmonicMode);
    p.lowBaudIndex = ChosenIndex(u.lowBaud);
    p.overVoltage = FieldValue(u.overVoltage, r.limit);
    p.underVoltage = FieldValue(u.underVoltage, r.limit);
    p.phaseBreak = FieldValue(u.phaseBreak, r.limit);
    p.threshold = FieldValue(u.threshold, r.limit);
    p.demandMethod = ChosenIndex(u.demandMethod);
    return p;
}

void ConfigurationController::ShowUserTime(const QDateTime& now) {
    const ClockControls& clock = userFields().clock;
    clock.year->setText(Decimal(now.date().year() - 2000));
    clock.month->setText(Decimal(now.date().month()));
    clock.day->setText(Decimal(now.date().day()));
    clock.hour->setText(Decimal(now.time().hour()));
    clock.minute->setText(Decimal(now.time().minute()));
    clock.second->setText(Decimal(now.time().second()));
}

void ConfigurationController::BitBtn5Click() {
    if (!PortReady()) return;
    const int protocol = form_.station().product().TXXY;
    if (protocol < 0 || protocol > 2) return;
    if (!SessionIdle()) return;
    UserParameters p;
    try {
        // Every field is converted before anything is submitted.
        p = GatherUserParameters(protocol);
    } catch (const ConversionError& e) {
        Ui().error(&form_, e.text());
        return;
    }
    const QDateTime now = QDateTime::currentDateTime();
    const uint8_t address = form_.station().line().ModuleAddress;
    QProgressBar* bar = form_.progressBar();
    auto ok = std::make_shared<bool>(false);
    const bool started = Start(
        tr("下载配置"),
        [=](JobContext& job) {
            JobProgress progress(job, bar);
            Link& link = job.link();
            if (protocol == 0)
                *ok = UserDownloadModbus(link, address, p, now, progress);
            else if (protocol == 1)
                *ok = UserDownload1997(link, address, p, now, progress);
            else
                *ok = UserDownload2007(link, address, p, now, progress);
        },
        [this, ok] {
            Ui().inform(&form_, *ok ? tr("下载配置数据成功！") : tr("下载配置数据失败！！"));
        });
    if (!started) return;
    static const int maxima[] = {70, 300, 180};
    ShowProgress(maxima[protocol]);
    ShowUserTime(now);
}

void ConfigurationController::BitBtn10Click() {
    if (!PortReady() || !SessionIdle()) return;
    int base = 0;
    try {
        base = FieldValue(userFields().energyBase, kEnergyBaseRange);
    } catch (const ConversionError& e) {
        Ui().error(&form_, e.text());
        return;
    }
    const uint8_t address = form_.station().line().ModuleAddress;
    auto ok = std::make_shared<bool>(false);
    Start(
        tr("设置电量底数"),
        [=](JobContext& job) { *ok = SetEnergyBase(job.link(), address, base); },
        [this, ok] {
            Ui().inform(&form_, *ok ? tr("设置电量底数数据成功！") : tr("设置电量底数数据失败！"));
        });
}

void ConfigurationController::YaaoReadClick(const QString& operation, unsigned char command,
                                            const QString& failure) {
    if (!PortReady()) return;
    const uint8_t address = form_.station().line().ModuleAddress;
    auto lines = std::make_shared<QStringList>();
    auto ok = std::make_shared<bool>(false);
    Start(
        operation, [=](JobContext& job) { *ok = YaaoRead(job.link(), address, command, *lines); },
        [this, lines, ok, failure] {
            if (!*ok) {
                Ui().inform(&form_, failure);
                return;
            }
            userFields().log->clear();
            for (const QString& line : *lines)
                AddUserLog(line);
        });
}

void ConfigurationController::BitBtn11Click() {
    YaaoReadClick(tr("读通信地址"), 4, tr("读产品通信地址失败！"));
}
void ConfigurationController::BitBtn12Click() {
    YaaoReadClick(tr("读标定数据"), 9, tr("读标定数据失败！"));
}
void ConfigurationController::BitBtn13Click() {
    YaaoReadClick(tr("读原始数据"), 0x11, tr("读原始数据失败！"));
}

void ConfigurationController::ClearClick(const QString& operation, bool energy) {
    if (!PortReady() || !SessionIdle()) return;
    // Energy and demand cannot be brought back once cleared.
    if (!Ui().confirm(&form_, tr("确定%1吗？").arg(operation), operation)) return;
    form_.CB_CPTypeChange();
    const int protocol = form_.station().product().TXXY;
    const uint8_t address = form_.station().line().ModuleAddress;
    auto result = std::make_shared<ClearResult>(ClearResult::NotSent);
    Start(
        operation,
        [=](JobContext& job) {
            *result = energy ? ClearEnergy(job.link(), protocol, address)
                             : ClearDemand(job.link(), protocol, address);
        },
        [this, result, energy] {
            if (*result == ClearResult::NotSent) return;
            const bool done = *result == ClearResult::Done;
            if (energy)
                Ui().inform(&form_, done ? tr("清电能数据成功！") : tr("清电能数据失败！！"));
            else
                Ui().inform(&form_, done ? tr("清需量数据成功！") : tr("清需量数据失败！！"));
        });
}

void ConfigurationController::BitBtn7Click() {
    ClearClick(tr("清除电能数据"), true);
}

void ConfigurationController::BitBtn8Click() {
    ClearClick(tr("清除需量数据"), false);
}

void ConfigurationController::AddUserLog(const QString& text) {
    QListWidget* log = userFields().log;
    log->addItem(text);
    log->setCurrentRow(log->count() - 1);
}
