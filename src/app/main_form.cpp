#include "app/main_form.h"

#include "app/help_viewer.h"
#include "app/messages.h"
#include "link/serial_link.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace {
QToolButton* AddToolButton(QToolBar* bar, const char* name, const QString& caption,
                           const QString& hint, QStyle::StandardPixmap icon) {
    auto* button = new QToolButton(bar);
    button->setObjectName(QLatin1String(name));
    button->setText(caption);
    button->setToolTip(hint);
    button->setIcon(bar->style()->standardIcon(icon));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    bar->addWidget(button);
    return button;
}

QLabel* AddStatusField(QStatusBar* bar, const char* name, const QString& text, const QString& hint,
                       int stretch) {
    auto* label = new QLabel(text, bar);
    label->setObjectName(QLatin1String(name));
    label->setToolTip(hint);
    label->setFrameShape(QFrame::Panel);
    label->setFrameShadow(QFrame::Sunken);
    bar->addPermanentWidget(label, stretch);
    return label;
}
} // namespace

TMainForm::TMainForm(const QString& dataDir, SerialLink& link, QWidget* parent)
    : QMainWindow(parent), dataDir_(dataDir), link_(link) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("KX7410M3三相电参数采集模块上位机软件   V1.0"));
    resize(876, 563);
    // The window never shrinks below the size its pages are laid out for.
    setMinimumSize(840, 557);
    buildToolBar();
    buildMenu();
    buildPages();
    buildStatusBar();
}

TMainForm::~TMainForm() = default;

void TMainForm::buildToolBar() {
    auto* bar = addToolBar(QStringLiteral("ToolBar1"));
    bar->setObjectName(QStringLiteral("ToolBar1"));
    bar->setMovable(false);
    toolButton5_ = AddToolButton(bar, "ToolButton5", QStringLiteral("串口设置"),
                                 QStringLiteral("进入串口设置界面"), QStyle::SP_ComputerIcon);
    bar->addSeparator();
    comk_ = AddToolButton(bar, "comk", QStringLiteral("打开串口"), QStringLiteral("打开关闭串口"),
                          QStyle::SP_DriveNetIcon);
    comk_->setCheckable(true);
    connect(comk_, &QToolButton::clicked, this, &TMainForm::comkClick);
    bar->addSeparator();
    AddToolButton(bar, "ToolButton6", QStringLiteral("检验配置"),
                  QStringLiteral("进入检验配置界面"), QStyle::SP_FileDialogDetailedView);
    bar->addSeparator();
    // The administrator's entry stays hidden in the delivered layout.
    auto* admin = AddToolButton(bar, "ToolButton1", QStringLiteral("管理配置"),
                                QStringLiteral("进入管理配置界面"), QStyle::SP_DirHomeIcon);
    bar->actions().last()->setVisible(false);
    admin->setVisible(false);
    auto* help = AddToolButton(bar, "send", QStringLiteral("帮助文件"),
                               QStringLiteral("查看帮助文件"), QStyle::SP_DialogHelpButton);
    connect(help, &QToolButton::clicked, this, &TMainForm::sendClick);
    bar->addSeparator();
    auto* exit = AddToolButton(bar, "exit", QStringLiteral("退出程序"),
                               QStringLiteral("关闭退出软件"), QStyle::SP_DialogCloseButton);
    connect(exit, &QToolButton::clicked, this, &TMainForm::exitClick);
}

void TMainForm::buildMenu() {
    auto* menu = menuBar();
    menu->setObjectName(QStringLiteral("MainMenu1"));
    menu->addMenu(QStringLiteral("串口设置"));
    menu->addMenu(QStringLiteral("配置管理"));
    auto* help = menu->addMenu(QStringLiteral("帮助"));
    auto* about = help->addAction(QStringLiteral("关于......."));
    about->setObjectName(QStringLiteral("N5"));
    connect(about, &QAction::triggered, this, &TMainForm::N5Click);
}

void TMainForm::buildPages() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(2, 2, 2, 2);

    auto* panel1 = new QWidget(central);
    panel1->setObjectName(QStringLiteral("Panel1"));
    auto* row = new QHBoxLayout(panel1);
    row->setContentsMargins(4, 2, 4, 2);
    row->addWidget(new QLabel(QStringLiteral("选择产品型号："), panel1));
    cbCPType_ = new QComboBox(panel1);
    cbCPType_->setObjectName(QStringLiteral("CB_CPType"));
    cbCPType_->setMinimumWidth(220);
    row->addWidget(cbCPType_);
    auto* bitBtn14 = new QPushButton(QStringLiteral("进入标定状态"), panel1);
    bitBtn14->setObjectName(QStringLiteral("BitBtn14"));
    bitBtn14->setVisible(false);
    row->addWidget(bitBtn14);
    row->addStretch(1);
    layout->addWidget(panel1);

    pageControl1_ = new QTabWidget(central);
    pageControl1_->setObjectName(QStringLiteral("PageControl1"));
    const struct {
        const char* name;
        const char* caption;
    } pages[] = {{"TabSheet1", "产品标定"},
                 {"TabSheet2", "实时数据"},
                 {"TabSheet3", "曲线监测"},
                 {"TabSheet4", "用户配置"}};
    for (const auto& page : pages) {
        auto* sheet = new QWidget(pageControl1_);
        sheet->setObjectName(QLatin1String(page.name));
        pageControl1_->addTab(sheet, QString::fromUtf8(page.caption));
    }
    // Calibration and curves are factory pages, hidden in the delivered layout.
    pageControl1_->setTabVisible(0, false);
    pageControl1_->setTabVisible(2, false);
    pageControl1_->setCurrentIndex(1);
    // Only a page change by the user names the function in the status bar, so start-up keeps
    // "配置".
    connect(pageControl1_, &QTabWidget::tabBarClicked, this, [this](int index) {
        if (index != pageControl1_->currentIndex()) PageControl1Change(index);
    });
    layout->addWidget(pageControl1_, 1);
    setCentralWidget(central);
}

void TMainForm::buildStatusBar() {
    auto* bar = statusBar();
    bar->setObjectName(QStringLiteral("pstate"));
    bar->setSizeGripEnabled(false);
    comText_ = AddStatusField(bar, "ComText", QStringLiteral("COM1,9600,N无,8,1"),
                              QStringLiteral("端口信息显示"), 0);
    AddStatusField(bar, "CPText", QStringLiteral("三相电参数采集模块"), QString(), 0);
    statusText_ = AddStatusField(bar, "StatusText", QString(), QStringLiteral("状态信息显示"), 1);
    stext1_ = AddStatusField(bar, "Stext1", QStringLiteral("配置"), QStringLiteral("功能显示"), 0);
    progressBar_ = new QProgressBar(bar);
    progressBar_->setObjectName(QStringLiteral("ProgressBar"));
    progressBar_->setRange(0, 100);
    progressBar_->setVisible(false);
    bar->addPermanentWidget(progressBar_);
    stime_ = AddStatusField(bar, "Stime", QStringLiteral("12:11:10:168"), QString(), 0);
    stime_->setMinimumWidth(205);
    stime_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // The clock shows seconds; a quarter-second tick keeps it current without a busy timer.
    timer1_ = new QTimer(this);
    timer1_->setObjectName(QStringLiteral("Timer1"));
    timer1_->setInterval(250);
    connect(timer1_, &QTimer::timeout, this, &TMainForm::Timer1Timer);
    timer1_->start();
}

void TMainForm::Timer1Timer() {
    const QLocale locale;
    const QDateTime now = QDateTime::currentDateTime();
    stime_->setText(locale.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
                    locale.toString(now.time(), QLocale::LongFormat));
}

void TMainForm::comkClick() {
    if (PortOpen) {
        link_.Close();
        PortOpen = false;
        comk_->setChecked(false);
        comk_->setText(QStringLiteral("打开串口"));
        toolButton5_->setEnabled(true);
        return;
    }
    link_.Close();
    if (link_.Open(PortName, BaudIndex, ParityIndex, DataBitsIndex, StopBitsIndex)) {
        PortOpen = true;
        comk_->setChecked(true);
        comk_->setText(QStringLiteral("关闭串口"));
        toolButton5_->setEnabled(false);
    } else {
        comk_->setChecked(false);
        Ui().inform(this, QStringLiteral("初始化失败！！"));
    }
}

void TMainForm::exitClick() {
    close();
}

void TMainForm::N5Click() {
    Ui().inform(nullptr, QStringLiteral("KX7410M3三相电参数采集模块上位机软件\n版本：V1.0\n"
                                        "完成日期：2026年12月"));
}

void TMainForm::sendClick() {
    HelpViewer::ShowContents(this, QDir(dataDir_).filePath(QStringLiteral("HELP.HLP")));
}

void TMainForm::PageControl1Change(int index) {
    static const char* const names[] = {"标定", "检验", "曲线", "配置"};
    if (index < 0 || index > 3) return;
    stext1_->setText(QString::fromUtf8(names[index]));
    statusText_->clear();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (!Ui().ask(nullptr, QStringLiteral("确定退出吗?"), QStringLiteral("信息"))) {
        event->ignore();
        return;
    }
    event->accept();
}
