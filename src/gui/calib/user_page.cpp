#include "gui/calib/user_page.h"

#include "gui/kit/form_grid.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {
QPushButton* Button(QWidget* parent, const char* name, const QString& caption) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    return button;
}
} // namespace

UserPage::UserPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("TabSheet4"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* area = new QScrollArea(this);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    auto* content = new QWidget;
    auto* row = new QHBoxLayout(content);
    row->setContentsMargins(4, 4, 4, 4);

    Controls& c = controls_;
    auto* panel10 = new QWidget(content);
    panel10->setObjectName(QStringLiteral("Panel10"));
    c.parameters = panel10;
    auto* panel10Layout = new QVBoxLayout(panel10);
    panel10Layout->setContentsMargins(0, 0, 0, 0);
    auto* box = new QGroupBox(tr("用户配置参数"), panel10);
    box->setObjectName(QStringLiteral("GroupBox5"));
    auto* boxLayout = new QVBoxLayout(box);
    auto* segments = new QWidget(box);
    FormGrid segmentGrid(segments);
    AddSegmentFields(segmentGrid, QStringLiteral("YH_"), 0);
    c.schedule.segments = SegmentEdits(segmentGrid, 0);
    segmentGrid.layout()->setColumnStretch(segmentGrid.layout()->columnCount(), 1);
    boxLayout->addWidget(segments);
    auto* others = new QWidget(box);
    FormGrid grid(others);
    c.schedule.readingDay = grid.edit(0, 0, "YH_TD", tr("抄表(日)："), QStringLiteral("1"));
    c.schedule.readingHour = grid.edit(0, 1, "YH_TH", tr("抄表(时)："), QStringLiteral("1"));
    c.schedule.tariffCount = grid.edit(0, 2, "YH_TFLN", tr("费率数："), QStringLiteral("4"));
    c.schedule.segmentCount = grid.edit(0, 3, "YH_TSDN", tr("时段数："), QStringLiteral("4"));
    c.schedule.pulseMode = grid.combo(1, 0, "YH_CB_MCType", tr("脉冲输出方式："));
    c.schedule.pulseConstant =
        grid.edit(1, 1, "YH_LE_MCCS", tr("脉冲常数："), QStringLiteral("3200"));
    c.schedule.startCurrent = grid.edit(1, 2, "YH_LE_QDDL", tr("启动电流："), QStringLiteral("10"));
    c.harmonicMode = grid.combo(1, 3, "YH_CB_LBType", tr("谐波计算方式："));
    c.wiringMode = grid.combo(2, 0, "YH_CB_NetType", tr("接线模式："));
    c.pt = grid.edit(2, 1, "YH_LE_PT", tr("电压变比PT："), QStringLiteral("1"));
    grid.upDown(2, 1, c.pt, "YH_UpDown_PT", 1, 5000);
    c.ct = grid.edit(2, 2, "YH_LE_CT", tr("电流变比CT："), QStringLiteral("1"));
    grid.upDown(2, 2, c.ct, "YH_UpDown_CT", 1, 9999);
    c.ctCount = grid.combo(2, 3, "YH_CB_CT_Num", tr("CT个数："));
    c.lowBaud = grid.combo(3, 0, "YH_CB_DBTLSN", tr("低通讯波特率使能："));
    c.overVoltage = grid.edit(3, 1, "YH_LE_GYXZ", tr("过压限值："), QStringLiteral("125"));
    c.underVoltage = grid.edit(3, 2, "YH_LE_QYXZ", tr("欠压限值："), QStringLiteral("70"));
    c.demandMethod = grid.combo(3, 3, "YH_CB_JSXLFS", tr("计算需量方式："));
    c.phaseBreak = grid.edit(4, 1, "YH_LE_DXXZ", tr("断相限值："), QStringLiteral("50"));
    c.threshold = grid.edit(4, 2, "YH_GQDFZ", tr("过欠压/断相阈值："), QStringLiteral("10"));
    grid.layout()->setColumnStretch(grid.layout()->columnCount(), 1);
    boxLayout->addWidget(others);
    // The PC time the download sends.
    auto* clockWidget = new QWidget(box);
    FormGrid clockGrid(clockWidget);
    const struct {
        const char* name;
        const char* caption;
    } clock[] = {{"YH_LE_Year", QT_TRANSLATE_NOOP("UserPage", "年：")},
                 {"YH_LE_Month", QT_TRANSLATE_NOOP("UserPage", "月：")},
                 {"YH_LE_Day", QT_TRANSLATE_NOOP("UserPage", "日：")},
                 {"YH_LE_Shi", QT_TRANSLATE_NOOP("UserPage", "时：")},
                 {"YH_LE_Fen", QT_TRANSLATE_NOOP("UserPage", "分：")},
                 {"YH_LE_Miao", QT_TRANSLATE_NOOP("UserPage", "秒：")}};
    QLineEdit** const clockEdits[] = {&c.clock.year, &c.clock.month,  &c.clock.day,
                                      &c.clock.hour, &c.clock.minute, &c.clock.second};
    for (int i = 0; i < 6; ++i)
        *clockEdits[i] =
            clockGrid.edit(0, i, clock[i].name, tr(clock[i].caption), QString(), {}, 40);
    clockGrid.layout()->setColumnStretch(clockGrid.layout()->columnCount(), 1);
    boxLayout->addWidget(clockWidget);
    boxLayout->addStretch(1);
    panel10Layout->addWidget(box);
    row->addWidget(panel10, 1);

    // The 亚奥 service log takes the place of the parameters when they are hidden.
    auto* panel11 = new QWidget(content);
    panel11->setObjectName(QStringLiteral("Panel11"));
    c.logPanel = panel11;
    auto* logLayout = new QVBoxLayout(panel11);
    logLayout->setContentsMargins(0, 0, 0, 0);
    auto* log = new QListWidget(panel11);
    log->setObjectName(QStringLiteral("ListBox1"));
    c.log = log;
    logLayout->addWidget(log);
    row->addWidget(panel11, 1);

    area->setWidget(content);
    outer->addWidget(area, 1);

    auto* panel8 = new QWidget(this);
    panel8->setObjectName(QStringLiteral("Panel8"));
    auto* buttons = new QHBoxLayout(panel8);
    buttons->setContentsMargins(4, 2, 4, 4);
    c.download = Button(panel8, "BitBtn5", tr("下载配置"));
    buttons->addWidget(c.download);
    auto* baseLabel = new QLabel(tr("电量底数："), panel8);
    auto* base = new QLineEdit(QStringLiteral("0"), panel8);
    base->setObjectName(QStringLiteral("YH_LEdit_DS"));
    base->setFixedWidth(90);
    baseLabel->setBuddy(base);
    AttachCaption(base, baseLabel);
    c.energyBase = base;
    buttons->addWidget(baseLabel);
    buttons->addWidget(base);
    c.setEnergyBase = Button(panel8, "BitBtn10", tr("设置电量底数"));
    c.readAddress = Button(panel8, "BitBtn11", tr("读通信地址"));
    c.readCalibration = Button(panel8, "BitBtn12", tr("读标定数据"));
    c.readRawData = Button(panel8, "BitBtn13", tr("读原始数据"));
    for (QPushButton* button : {c.setEnergyBase, c.readAddress, c.readCalibration, c.readRawData})
        buttons->addWidget(button);
    buttons->addStretch(1);
    outer->addWidget(panel8);
}
