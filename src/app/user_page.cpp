#include "app/user_page.h"

#include "app/form_grid.h"

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

    auto* panel10 = new QWidget(content);
    panel10->setObjectName(QStringLiteral("Panel10"));
    auto* panel10Layout = new QVBoxLayout(panel10);
    panel10Layout->setContentsMargins(0, 0, 0, 0);
    auto* box = new QGroupBox(QStringLiteral("用户配置参数"), panel10);
    box->setObjectName(QStringLiteral("GroupBox5"));
    FormGrid grid(box);
    AddSegmentFields(grid, QStringLiteral("YH_"), 0);
    grid.edit(6, 0, "YH_TD", QStringLiteral("抄表(日)："), QStringLiteral("1"), {}, 32);
    grid.edit(6, 1, "YH_TH", QStringLiteral("抄表(时)："), QStringLiteral("1"), {}, 32);
    grid.edit(6, 2, "YH_TFLN", QStringLiteral("费率数："), QStringLiteral("4"), {}, 32);
    grid.edit(6, 3, "YH_TSDN", QStringLiteral("时段数："), QStringLiteral("4"), {}, 32);
    grid.combo(7, 0, "YH_CB_MCType", QStringLiteral("脉冲输出方式："));
    grid.edit(7, 2, "YH_LE_MCCS", QStringLiteral("脉冲常数："), QStringLiteral("3200"));
    grid.edit(7, 3, "YH_LE_QDDL", QStringLiteral("启动电流："), QStringLiteral("10"));
    grid.combo(7, 4, "YH_CB_LBType", QStringLiteral("谐波计算方式："));
    grid.combo(8, 0, "YH_CB_NetType", QStringLiteral("接线模式："));
    QLineEdit* pt =
        grid.edit(8, 2, "YH_LE_PT", QStringLiteral("电压变比PT："), QStringLiteral("1"));
    grid.upDown(8, 2, pt, "YH_UpDown_PT", 1, 5000);
    QLineEdit* ct =
        grid.edit(8, 3, "YH_LE_CT", QStringLiteral("电流变比CT："), QStringLiteral("1"));
    grid.upDown(8, 3, ct, "YH_UpDown_CT", 1, 9999);
    grid.combo(8, 4, "YH_CB_CT_Num", QStringLiteral("CT个数："));
    grid.combo(9, 0, "YH_CB_DBTLSN", QStringLiteral("低通讯波特率使能："));
    grid.edit(9, 2, "YH_LE_GYXZ", QStringLiteral("过压限值："), QStringLiteral("125"));
    grid.edit(9, 3, "YH_LE_QYXZ", QStringLiteral("欠压限值："), QStringLiteral("70"));
    grid.combo(9, 4, "YH_CB_JSXLFS", QStringLiteral("计算需量方式："));
    grid.edit(10, 2, "YH_LE_DXXZ", QStringLiteral("断相限值："), QStringLiteral("50"));
    grid.edit(10, 3, "YH_GQDFZ", QStringLiteral("过欠压/断相阈值："), QStringLiteral("10"));
    // The PC time the download sends.
    const struct {
        const char* name;
        const char* caption;
    } clock[] = {{"YH_LE_Year", "年："}, {"YH_LE_Month", "月："}, {"YH_LE_Day", "日："},
                 {"YH_LE_Shi", "时："},  {"YH_LE_Fen", "分："},   {"YH_LE_Miao", "秒："}};
    for (int i = 0; i < 6; ++i)
        grid.edit(11, i, clock[i].name, QString::fromUtf8(clock[i].caption), QString(), {}, 32);
    grid.layout()->setColumnStretch(grid.layout()->columnCount(), 1);
    grid.layout()->setRowStretch(12, 1);
    panel10Layout->addWidget(box);
    row->addWidget(panel10, 1);

    auto* side = new QVBoxLayout;
    auto* panel8 = new QWidget(content);
    panel8->setObjectName(QStringLiteral("Panel8"));
    auto* buttons = new QVBoxLayout(panel8);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->addWidget(Button(panel8, "BitBtn5", QStringLiteral("下载配置")));
    auto* baseRow = new QHBoxLayout;
    auto* baseLabel = new QLabel(QStringLiteral("电量底数："), panel8);
    auto* base = new QLineEdit(QStringLiteral("0"), panel8);
    base->setObjectName(QStringLiteral("YH_LEdit_DS"));
    baseLabel->setBuddy(base);
    AttachCaption(base, baseLabel);
    baseRow->addWidget(baseLabel);
    baseRow->addWidget(base);
    buttons->addLayout(baseRow);
    buttons->addWidget(Button(panel8, "BitBtn10", QStringLiteral("设置电量底数")));
    buttons->addWidget(Button(panel8, "BitBtn11", QStringLiteral("读通信地址")));
    buttons->addWidget(Button(panel8, "BitBtn12", QStringLiteral("读标定数据")));
    buttons->addWidget(Button(panel8, "BitBtn13", QStringLiteral("读原始数据")));
    side->addWidget(panel8);
    auto* panel11 = new QWidget(content);
    panel11->setObjectName(QStringLiteral("Panel11"));
    auto* logLayout = new QVBoxLayout(panel11);
    logLayout->setContentsMargins(0, 0, 0, 0);
    auto* log = new QListWidget(panel11);
    log->setObjectName(QStringLiteral("ListBox1"));
    log->setMinimumWidth(150);
    logLayout->addWidget(log);
    side->addWidget(panel11, 1);
    row->addLayout(side);

    area->setWidget(content);
    outer->addWidget(area);
}
