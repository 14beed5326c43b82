#include "gui/calib/calibration_controller.h"

#include "gui/check/check_page.h"
#include "gui/curves/curve_page.h"
#include "gui/calib/calibration_page.h"
#include "gui/main/main_form.h"
#include "gui/kit/messages.h"
#include "gui/calib/device_operation.h"
#include "gui/calib/real_power_form.h"
#include "calib/switching.h"
#include "common/conversion.h"
#include "link/delay.h"
#include "link/serial_link.h"
#include "gui/settings/setcom_dialog.h"
#include "store/settings.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

namespace {
QString PortClosedText() {
    return QStringLiteral("请打开串口！！");
}

const char* const kGlyphProperty = "calibrationGlyph";
} // namespace

CalibrationController::CalibrationController(TMainForm& form) : QObject(&form), form_(form) {
    CalibrationPage* page = form_.calibrationPage();
    log_ = page->control<QListWidget>("ListBox");
    connect(Button("BitBtn2"), &QPushButton::clicked, this, &CalibrationController::BitBtn2Click);
    connect(Button("BitBtn4"), &QPushButton::clicked, this, &CalibrationController::BitBtn4Click);
    if (auto* entry = form_.findChild<QPushButton*>(QStringLiteral("BitBtn14")))
        connect(entry, &QPushButton::clicked, this, &CalibrationController::BitBtn14Click);
    connect(Button("BitBtn19"), &QPushButton::clicked, this, &CalibrationController::BitBtn19Click);
    for (int s = 1; s <= 3; ++s) {
        connect(SegmentButton("BitBtn_VIP", s), &QPushButton::clicked, this,
                [this, s] { BitBtn_VIP1Click(s); });
        connect(SegmentButton("BitBtn_VXW", s), &QPushButton::clicked, this,
                [this, s] { BitBtn_VXW1Click(s); });
        connect(SegmentButton("BitBtn_BCFW", s), &QPushButton::clicked, this,
                [this, s] { BitBtn_BCFW1Click(s); });
        connect(SegmentButton("BitBtn_PBC", s), &QPushButton::clicked, this,
                [this, s] { BitBtn_PBC1Click(s); });
        for (const char* radio : {"Radio_50HZ_", "Radio_60HZ_"}) {
            const QByteArray name = radio + QByteArray::number(s);
            connect(page->control<QRadioButton>(name.constData()), &QRadioButton::clicked, this,
                    [this, s] { Radio_50HZ_1Click(s); });
        }
    }
}

QPushButton* CalibrationController::Button(const char* name) const {
    return form_.calibrationPage()->control<QPushButton>(name);
}

QPushButton* CalibrationController::SegmentButton(const char* prefix, int segment) const {
    return Button((QByteArray(prefix) + QByteArray::number(segment)).constData());
}

bool CalibrationController::Is60Hz(int segment) const {
    const QByteArray n = QByteArray::number(segment);
    // The 50 Hz button decides first, as the two share one group box.
    if (form_.calibrationPage()
            ->control<QRadioButton>(("Radio_50HZ_" + n).constData())
            ->isChecked())
        return false;
    return form_.calibrationPage()
        ->control<QRadioButton>(("Radio_60HZ_" + n).constData())
        ->isChecked();
}

int CalibrationController::GlyphOf(const char* button) const {
    QPushButton* b = Button(button);
    return b ? b->property(kGlyphProperty).toInt() : FormGlyph;
}

void CalibrationController::SetGlyph(QPushButton* button, Glyph glyph) {
    if (!button) return;
    const QByteArray image = "Image" + QByteArray::number(int(glyph));
    if (auto* label = form_.calibrationPage()->control<QLabel>(image.constData()))
        button->setIcon(QIcon(label->pixmap()));
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

CalibrationLog CalibrationController::Log() {
    return [this](const QString& text) { AddCalibrationLog(text); };
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

bool CalibrationController::SwitchPortFormat(int frameFormat) {
    const PortIndexes next =
        PortIndexesForFrameFormat(frameFormat, {form_.BaudIndex, form_.ParityIndex,
                                                form_.DataBitsIndex, form_.StopBitsIndex});
    form_.BaudIndex = next.baud;
    form_.ParityIndex = next.parity;
    form_.DataBitsIndex = next.dataBits;
    form_.StopBitsIndex = next.stopBits;
    try {
        SaveSerialSettings(form_.dataDir(),
                           {form_.PortIndex, form_.BaudIndex, form_.ParityIndex,
                            form_.DataBitsIndex, form_.StopBitsIndex, form_.ModuleAddress});
    } catch (const ConversionError& e) {
        // The port is still switched; only the memory of the settings dialog is stale.
        Ui().error(&form_, e.text());
    }
    SerialLink& link = form_.serialLink();
    link.Close();
    if (link.Open(form_.PortName, form_.BaudIndex, form_.ParityIndex, form_.DataBitsIndex,
                  form_.StopBitsIndex)) {
        form_.comText()->setText(PortStatusText(form_.PortName, form_.BaudIndex, form_.ParityIndex,
                                                form_.DataBitsIndex, form_.StopBitsIndex));
        return true;
    }
    HideProgress();
    Ui().inform(&form_, QStringLiteral("配置通信协后更改端口设置失败！！"));
    // The link is closed now: the port button says so, instead of claiming an open port.
    if (form_.PortOpen) form_.comkClick();
    return false;
}

void CalibrationController::BitBtn2Click() {
    DeviceOperation operation;
    if (!operation.acquired()) return Ui().inform(&form_, DeviceOperation::BusyText());
    if (!form_.PortOpen) return Ui().inform(&form_, PortClosedText());
    form_.CB_CPTypeChange();
    ShowProgress(20);
    const int mode = form_.UserParamsEditable
                         ? form_.calibrationPage()->control<QComboBox>("CB_NetType")->currentIndex()
                         : form_.JXMS;
    if (!WriteWiringMode(form_.link(), form_.ModuleAddress, mode)) {
        HideProgress();
        Ui().inform(&form_, QStringLiteral("配置接线模式失败！"));
        Button("BitBtn4")->setEnabled(false);
        return;
    }
    StepProgress();
    StepProgress();
    DelayMs(50);
    HideProgress();
    Button("BitBtn4")->setEnabled(true);
    Ui().inform(&form_, QStringLiteral("配置接线模式成功！"));
}

void CalibrationController::BitBtn4Click() {
    DeviceOperation operation;
    if (!operation.acquired()) return Ui().inform(&form_, DeviceOperation::BusyText());
    if (!form_.PortOpen) return Ui().inform(&form_, PortClosedText());
    form_.CB_CPTypeChange();
    ShowProgress(40);
    StepProgress();
    const int format =
        form_.UserParamsEditable
            ? form_.calibrationPage()->control<QComboBox>("CB_CheckoutType")->currentIndex()
            : form_.BTLGS;
    const QString outcome = ConfigureProtocol(
        form_.link(), form_.ModuleAddress, format, form_.TXXY,
        [this](int f) { return SwitchPortFormat(f); }, [this] { StepProgress(); });
    HideProgress();
    Ui().inform(&form_, outcome);
}

void CalibrationController::BitBtn14Click() {
    DeviceOperation operation;
    if (!operation.acquired()) return Ui().inform(&form_, DeviceOperation::BusyText());
    if (!form_.PortOpen) return Ui().inform(&form_, PortClosedText());
    if (form_.checkPage() && form_.checkPage()->isRunning())
        return Ui().inform(&form_, QStringLiteral("请关闭读输出数据线程！！"));
    if (auto* curves = form_.findChild<CurvePage*>(); curves && curves->isRunning())
        return Ui().inform(&form_, QStringLiteral("请关闭读曲线数据线程！！"));
    Ui().inform(&form_,
                QStringLiteral("将产品复位(关闭产品工作电源,再打开),请在10秒钟内点击<OK>按钮！"));
    ShowProgress(50);
    StepProgress();
    const QString outcome = EnterCalibrationState(
        form_.link(), form_.ModuleAddress, [this](int f) { return SwitchPortFormat(f); },
        [this] { StepProgress(); });
    HideProgress();
    Ui().inform(&form_, outcome);
}

void CalibrationController::BitBtn_VIP1Click(int segment) {
    DeviceOperation operation;
    if (!operation.acquired()) return Ui().inform(&form_, DeviceOperation::BusyText());
    if (!form_.PortOpen) return Ui().inform(&form_, PortClosedText());
    ClearLog();
    if (segment == 1) SetGlyph(Button("BitBtn19"), Pending);
    if (RunVipCalibration(form_.link(), form_.ModuleAddress, segment, state_, Log()))
        SetGlyph(SegmentButton("BitBtn_VIP", segment), Done);
}

void CalibrationController::BitBtn_VXW1Click(int segment) {
    DeviceOperation operation;
    if (!operation.acquired()) return Ui().inform(&form_, DeviceOperation::BusyText());
    if (!form_.PortOpen) return Ui().inform(&form_, PortClosedText());
    ClearLog();
    if (RunAnglePhaseCompensation(form_.link(), form_.ModuleAddress, segment, Is60Hz(segment),
                                  state_, Log()))
        SetGlyph(SegmentButton("BitBtn_VXW", segment), Done);
}

void CalibrationController::BitBtn_BCFW1Click(int segment) {
    DeviceOperation operation;
    if (!operation.acquired()) return Ui().inform(&form_, DeviceOperation::BusyText());
    if (!form_.PortOpen) return Ui().inform(&form_, PortClosedText());
    if (ResetPowerCompensation(form_.link(), form_.ModuleAddress, segment, Is60Hz(segment), Log()))
        SetGlyph(SegmentButton("BitBtn_BCFW", segment), Done);
}

void CalibrationController::BitBtn_PBC1Click(int segment) {
    DeviceOperation operation;
    if (!operation.acquired()) return Ui().inform(&form_, DeviceOperation::BusyText());
    if (!form_.PortOpen) return Ui().inform(&form_, PortClosedText());
    ClearLog();
    TRealPowerForm::Run(state_.SourceActivePower, &form_);
    if (RunPowerCompensation(form_.link(), form_.ModuleAddress, segment, Is60Hz(segment),
                             form_.RatedVoltage, form_.RatedCurrent, state_, Log()))
        SetGlyph(SegmentButton("BitBtn_PBC", segment), Done);
}

void CalibrationController::BitBtn19Click() {
    DeviceOperation operation;
    if (!operation.acquired()) return Ui().inform(&form_, DeviceOperation::BusyText());
    ClearLog();
    // No port check: a closed link fails the write, which the log reports.
    if (!WriteCalibrationFlash(form_.link(), form_.ModuleAddress, Log())) return;
    for (int s = 1; s <= 3; ++s)
        for (const char* prefix : {"BitBtn_VIP", "BitBtn_VXW", "BitBtn_BCFW", "BitBtn_PBC"})
            SetGlyph(SegmentButton(prefix, s), Pending);
    SetGlyph(Button("BitBtn19"), Finished);
}

void CalibrationController::Radio_50HZ_1Click(int segment) {
    // The done marks of these steps belonged to the other frequency.
    for (const char* prefix : {"BitBtn_VXW", "BitBtn_BCFW", "BitBtn_PBC"})
        SetGlyph(SegmentButton(prefix, segment), Pending);
}
