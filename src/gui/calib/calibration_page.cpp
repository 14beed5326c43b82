#include "gui/calib/calibration_page.h"

#include "gui/kit/form_grid.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {
QWidget* Scrolled(QWidget* content, const char* name, QWidget* parent) {
    auto* area = new QScrollArea(parent);
    area->setObjectName(QLatin1String(name));
    area->setWidget(content);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    return area;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    return button;
}

QGroupBox* Group(QWidget* parent, const char* name, const QString& caption) {
    auto* box = new QGroupBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    return box;
}

// The calibration records name a step by its Chinese caption (property "recordName"), in
// whatever language the page shows it.
QPushButton* StepButton(QWidget* parent, const char* name, const char* caption) {
    QPushButton* button = Button(parent, name, CalibrationPage::tr(caption));
    button->setProperty("recordName", QString::fromUtf8(caption));
    return button;
}

// The caption the grid put beside a list: the label whose buddy it is.
QLabel* CaptionOf(QWidget* control) {
    for (QLabel* label : control->parentWidget()->findChildren<QLabel*>())
        if (label->buddy() == control) return label;
    return nullptr;
}
} // namespace

std::array<ScheduleControls::Segment, 12> SegmentEdits(const FormGrid& grid, int firstRow) {
    // Segment n stands in row firstRow + (n - 1) % 6, its three fields in the field columns from
    // (n - 1) / 6 * 3; a field's edit is the middle one of its three grid columns.
    const auto at = [&grid](int row, int field) {
        QLayoutItem* item = grid.layout()->itemAtPosition(row, field * 3 + 1);
        auto* edit = item ? qobject_cast<QLineEdit*>(item->widget()) : nullptr;
        Q_ASSERT(edit);
        return edit;
    };
    std::array<ScheduleControls::Segment, 12> segments{};
    for (int i = 0; i < 12; ++i) {
        const int row = firstRow + i % 6;
        const int field = i / 6 * 3;
        segments[i] = {at(row, field), at(row, field + 1), at(row, field + 2)};
    }
    return segments;
}

CalibrationPage::CalibrationPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("TabSheet1"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    pages_ = new QTabWidget(this);
    pages_->setObjectName(QStringLiteral("PageControl2"));
    pages_->addTab(buildConfigurationPage(), tr("下载配置"));
    pages_->addTab(buildCalibrationPage(), tr("标定校准"));
    pages_->addTab(buildProtocolPage(), tr("协议配置"));
    layout->addWidget(pages_);
}

QWidget* CalibrationPage::buildConfigurationPage() {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("Tab_CSPZ"));
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(4, 4, 4, 4);

    // Calibration data: rated values, serial numbers, hardware versions and the module clock.
    QGroupBox* box2 = Group(content, "GroupBox2", tr("标定配置数据"));
    auto* box2Layout = new QHBoxLayout(box2);
    auto* fieldsWidget = new QWidget(box2);
    FormGrid calib(fieldsWidget);
    ConfigurationControls& c = configuration_;
    c.ratedVoltage = calib.edit(0, 0, "LE_StandVol", tr("电压额定值："), QStringLiteral("220"),
                                QStringLiteral("V"));
    c.ratedCurrent = calib.edit(1, 0, "LE_StandCur", tr("电流额定值："), QStringLiteral("5"),
                                QStringLiteral("A"));
    static const char* const groupNo[] = {"1306", "1701", "0001"};
    for (int i = 0; i < 3; ++i) {
        const QByteArray name = "LE_GroupNo" + QByteArray::number(i + 1);
        c.serialNumbers[i] = calib.edit(i, 1, name.constData(), tr("产品序列号%1：").arg(i + 1),
                                        QString::fromLatin1(groupNo[i]));
    }
    for (int i = 0; i < 3; ++i) {
        const QByteArray name = "LE_YJVNo" + QByteArray::number(i + 1);
        c.hardwareVersions[i] = calib.edit(i, 2, name.constData(), tr("硬件版本号%1：").arg(i + 1),
                                           QStringLiteral("000%1").arg(i + 1));
    }
    box2Layout->addWidget(fieldsWidget);
    QGroupBox* box4 = Group(box2, "GroupBox4", tr("--------时间校准-------"));
    FormGrid clock(box4);
    const struct {
        const char* name;
        const char* caption;
    } clockFields[] = {{"LE_Year", QT_TRANSLATE_NOOP("CalibrationPage", "年：")},
                       {"LE_Month", QT_TRANSLATE_NOOP("CalibrationPage", "月：")},
                       {"LE_Day", QT_TRANSLATE_NOOP("CalibrationPage", "日：")},
                       {"LE_Shi", QT_TRANSLATE_NOOP("CalibrationPage", "时：")},
                       {"LE_Fen", QT_TRANSLATE_NOOP("CalibrationPage", "分：")},
                       {"LE_Miao", QT_TRANSLATE_NOOP("CalibrationPage", "秒：")}};
    QLineEdit** const clockEdits[] = {&c.clock.year, &c.clock.month,  &c.clock.day,
                                      &c.clock.hour, &c.clock.minute, &c.clock.second};
    for (int i = 0; i < 6; ++i)
        *clockEdits[i] = clock.edit(i % 3, i / 3, clockFields[i].name, tr(clockFields[i].caption),
                                    QString(), {}, 40);
    box2Layout->addWidget(box4);
    box2Layout->addStretch(1);
    column->addWidget(box2);

    // User parameters: tariff segments, pulse output, ratios, limits, demand method.
    QGroupBox* box1 = Group(content, "GroupBox1", tr("用户配置参数"));
    auto* box1Layout = new QVBoxLayout(box1);
    auto* segments = new QWidget(box1);
    FormGrid segmentGrid(segments);
    AddSegmentFields(segmentGrid, QString(), 0);
    c.schedule.segments = SegmentEdits(segmentGrid, 0);
    segmentGrid.layout()->setColumnStretch(segmentGrid.layout()->columnCount(), 1);
    box1Layout->addWidget(segments);
    auto* others = new QWidget(box1);
    FormGrid user(others);
    c.schedule.readingDay = user.edit(0, 0, "TD", tr("抄表(日)："), QStringLiteral("1"));
    c.schedule.readingHour = user.edit(0, 1, "TH", tr("抄表(时)："), QStringLiteral("1"));
    c.schedule.tariffCount = user.edit(0, 2, "TFLN", tr("费率数："), QStringLiteral("4"));
    c.schedule.segmentCount = user.edit(0, 3, "TSDN", tr("时段数："), QStringLiteral("4"));
    c.schedule.pulseConstant = user.edit(1, 0, "LE_MCCS", tr("脉冲常数："), QStringLiteral("3600"));
    c.schedule.startCurrent =
        user.edit(1, 1, "LE_QDDL", tr("启动电流："), QStringLiteral("10"), QStringLiteral("%"));
    c.schedule.pulseMode = user.combo(1, 2, "CB_MCType", tr("脉冲输出方式："));
    c.harmonicMode = user.combo(1, 3, "CB_LBType", tr("谐波计算方式："));
    c.overVoltage =
        user.edit(2, 0, "LE_GYXZ", tr("过压限值："), QStringLiteral("125"), QStringLiteral("%"));
    c.underVoltage =
        user.edit(2, 1, "LE_QYXZ", tr("欠压限值："), QStringLiteral("70"), QStringLiteral("%"));
    c.phaseBreak =
        user.edit(2, 2, "LE_DXXZ", tr("断相限值："), QStringLiteral("50"), QStringLiteral("%"));
    c.threshold = user.edit(2, 3, "LE_GQDFZ", tr("过欠压/断相阀值："), QStringLiteral("5"),
                            QStringLiteral("%"));
    c.pt = user.edit(3, 0, "LE_PT", tr("电压变比PT："), QStringLiteral("1"));
    c.ptArrows = user.upDown(3, 0, c.pt, "UpDown_Addr", 1, 5000);
    c.ct = user.edit(3, 1, "LE_CT", tr("电流变比CT："), QStringLiteral("1"));
    c.ctArrows = user.upDown(3, 1, c.ct, "UpDown1", 1, 9999);
    c.ctCount = user.combo(3, 2, "CB_CT_Num", tr("CT个数："), "Label3");
    c.ctCountCaption = CaptionOf(c.ctCount);
    c.demandMethod = user.combo(3, 3, "CBox_XLType", tr("计算需量方式："), "Label7");
    c.demandMethodCaption = CaptionOf(c.demandMethod);
    c.frameFormat = user.combo(4, 0, "CB_CheckoutType", tr("比特率格式："), "Label2");
    c.frameFormatCaption = CaptionOf(c.frameFormat);
    // The frame format belongs to the product; only the protocol configuration changes it.
    c.frameFormat->setEnabled(false);
    c.wiringMode = user.combo(4, 1, "CB_NetType", tr("接线模式："), "Label8");
    c.wiringModeCaption = CaptionOf(c.wiringMode);
    user.layout()->setColumnStretch(user.layout()->columnCount(), 1);
    box1Layout->addWidget(others);
    column->addWidget(box1);
    column->addStretch(1);
    pageLayout->addWidget(Scrolled(content, "Tab_CSPZ_Area", page), 1);

    // The page's buttons stay in view below the fields.
    auto* panel = new QWidget(page);
    panel->setObjectName(QStringLiteral("PZ_Pdata"));
    auto* buttons = new QHBoxLayout(panel);
    buttons->setContentsMargins(4, 2, 4, 4);
    c.download = Button(panel, "BitBtn1", tr("下载配置"));
    c.readBack = Button(panel, "BitBtn6", tr("读取配置"));
    c.defaults = Button(panel, "BitBtn_DefaultSet", tr("默认配置"));
    c.setClock = Button(panel, "BitBtn9", tr("校时"));
    c.readClock = Button(panel, "BitBtn3", tr("读时间"));
    for (QPushButton* button : {c.download, c.readBack, c.defaults, c.setClock, c.readClock})
        buttons->addWidget(button);
    buttons->addStretch(1);
    pageLayout->addWidget(panel);
    return page;
}

QWidget* CalibrationPage::buildCalibrationPage() {
    auto* content = new QWidget;
    auto* row = new QHBoxLayout(content);
    row->setContentsMargins(4, 4, 4, 4);
    auto* panel = new QWidget(content);
    panel->setObjectName(QStringLiteral("BD_Pdata"));
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    QGroupBox* last = nullptr;
    for (int s = 1; s <= 3; ++s) {
        const QByteArray n = QByteArray::number(s);
        SegmentControls& segment = calibration_.segments[s - 1];
        QGroupBox* box = Group(panel, ("GBox_" + n).constData(), tr("%1段标定").arg(s));
        box->setProperty(
            "recordName",
            QString::fromUtf8(QT_TRANSLATE_NOOP("CalibrationPage", "%1段标定")).arg(s));
        auto* grid = new QGridLayout(box);
        segment.vip = StepButton(box, ("BitBtn_VIP" + n).constData(),
                                 QT_TRANSLATE_NOOP("CalibrationPage", "VIP标定"));
        grid->addWidget(segment.vip, 0, 0);
        segment.phaseCompensation =
            StepButton(box, ("BitBtn_VXW" + n).constData(),
                       QT_TRANSLATE_NOOP("CalibrationPage", "电压相位补偿"));
        // The voltage phase compensation is done for the first segment only.
        segment.phaseCompensation->setEnabled(s == 1);
        grid->addWidget(segment.phaseCompensation, 0, 1);
        segment.compensationReset =
            StepButton(box, ("BitBtn_BCFW" + n).constData(),
                       QT_TRANSLATE_NOOP("CalibrationPage", "补偿系数复位"));
        grid->addWidget(segment.compensationReset, 0, 2);
        segment.powerCompensation =
            StepButton(box, ("BitBtn_PBC" + n).constData(),
                       QT_TRANSLATE_NOOP("CalibrationPage", "60度功率补偿"));
        grid->addWidget(segment.powerCompensation, 0, 3);
        segment.hz50 = new QRadioButton(tr("50Hz标定"), box);
        segment.hz50->setObjectName(QLatin1String("Radio_50HZ_" + n));
        segment.hz50->setChecked(true);
        segment.hz60 = new QRadioButton(tr("60Hz标定"), box);
        segment.hz60->setObjectName(QLatin1String("Radio_60HZ_" + n));
        grid->addWidget(segment.hz50, 0, 4);
        grid->addWidget(segment.hz60, 0, 5);
        column->addWidget(box);
        last = box;
    }
    // Step glyphs of the calibration buttons: pending, done, finished.
    const QStyle::StandardPixmap glyphs[] = {QStyle::SP_MediaPause, QStyle::SP_DialogApplyButton,
                                             QStyle::SP_DialogYesButton};
    for (int i = 0; i < 3; ++i) {
        auto* image = new QLabel(last);
        image->setObjectName(QStringLiteral("Image%1").arg(i + 1));
        image->setPixmap(style()->standardIcon(glyphs[i]).pixmap(16, 16));
        image->hide();
        calibration_.glyphs[i] = image;
    }
    calibration_.finish = StepButton(
        panel, "BitBtn19", QT_TRANSLATE_NOOP("CalibrationPage", "标定完成(清除标定状态标志)"));
    column->addWidget(calibration_.finish);
    calibration_.restore = StepButton(panel, "BitBtn_RestoreCalibration",
                                      QT_TRANSLATE_NOOP("CalibrationPage", "恢复标定数据"));
    column->addWidget(calibration_.restore);
    column->addStretch(1);
    row->addWidget(panel);
    auto* log = new QListWidget(content);
    log->setObjectName(QStringLiteral("ListBox"));
    row->addWidget(log, 1);
    calibration_.log = log;
    return Scrolled(content, "Tab_CSBD", this);
}

QWidget* CalibrationPage::buildProtocolPage() {
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    auto* panel = new QWidget(content);
    panel->setObjectName(QStringLiteral("Panel5"));
    auto* buttons = new QHBoxLayout(panel);
    protocol_.wiring = Button(panel, "BitBtn2", tr("接线模式配置"));
    buttons->addWidget(protocol_.wiring);
    protocol_.protocol = Button(panel, "BitBtn4", tr("协议配置"));
    // Enabled only right after the wiring mode was written for the current product.
    protocol_.protocol->setEnabled(false);
    buttons->addWidget(protocol_.protocol);
    buttons->addStretch(1);
    column->addWidget(panel);
    column->addStretch(1);
    return Scrolled(content, "Tab_XYPZ", this);
}
