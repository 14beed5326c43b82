#include "gui/main/main_form.h"

#include "acquire/read_thread.h"
#include "calib/configuration_download.h"
#include "common/conversion.h"
#include "gui/admin/administration.h"
#include "gui/calib/calibration_controller.h"
#include "gui/calib/calibration_page.h"
#include "gui/calib/configuration_controller.h"
#include "gui/calib/station_record.h"
#include "gui/calib/user_page.h"
#include "gui/check/check_page.h"
#include "gui/curves/curve_page.h"
#include "gui/kit/fresh_combo_box.h"
#include "gui/kit/help_viewer.h"
#include "gui/kit/messages.h"
#include "gui/kit/up_down.h"
#include "gui/monitor/traffic_panel.h"
#include "gui/records/records_page.h"
#include "gui/settings/setcheck_dialog.h"
#include "gui/settings/setcom_dialog.h"
#include "link/open_failure.h"
#include "link/ports.h"
#include "link/serial_link.h"
#include "link/traffic.h"
#include "session/device_session.h"
#include "store/database.h"
#include "store/results.h"
#include "store/settings.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QSysInfo>
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

TMainForm::TMainForm(const QString& dataDir, SerialLink& link, ProductDatabase& database,
                     QWidget* parent)
    : QMainWindow(parent), dataDir_(dataDir), link_(link), database_(database),
      traffic_(std::make_unique<TrafficLog>()),
      results_(ResultsDatabase::ForStation(database.location(), dataDir)),
      session_(std::make_unique<DeviceSession>(link)) {
    link_.SetTrafficLog(traffic_.get());
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(tr("KX7410M3三相电参数采集模块上位机软件   V1.0"));
    resize(876, 563);
    // The window never shrinks below the size its pages are laid out for.
    setMinimumSize(840, 557);
    buildToolBar();
    buildMenu();
    buildPages();
    buildStatusBar();
    buildKeys();
    // The port text always shows the line the port opens with, whoever changed it.
    connect(&station_, &StationState::lineChanged, this, [this] {
        const LineChoice& line = station_.line();
        comText_->setText(PortStatusText(line.PortName, line.BaudIndex, line.ParityIndex,
                                         line.DataBitsIndex, line.StopBitsIndex));
    });

    // The line settings are those the user last confirmed, so that 打开串口 opens that port
    // again; a SetCom section that is broken keeps the fixed defaults (the serial settings
    // dialog names the fault when it opens).
    try {
        if (const auto saved = SavedSerialChoice(dataDir_, AvailablePortNames()))
            ApplySerialChoice(*saved);
    } catch (const ConversionError&) {
    }
    station_.setRated({220.0, 5.0});
    const RatedValues& rated = station_.rated();
    const CalibrationPage::ConfigurationControls& fields = calibrationPage_->configurationTab();
    fields.schedule.pulseConstant->setText(
        QString::number(static_cast<int>(3.96e6 / (rated.RatedVoltage * rated.RatedCurrent))));
    fields.ratedVoltage->setText(FloatToText(rated.RatedVoltage));
    fields.ratedCurrent->setText(FloatToText(rated.RatedCurrent));
    FillFixedLists();
    try {
        EngineeringMode = LoadEngineeringMode(dataDir_);
    } catch (const ConversionError& e) {
        // A broken switch keeps the delivered layout; the rest of the program does not need it.
        Ui().error(nullptr, e.text());
    }
    if (EngineeringMode) ApplyEngineeringMode();
    LoadModelList();
    if (const QString failure = results_->Open(); !failure.isEmpty()) Ui().error(nullptr, failure);
    connect(session_.get(), &DeviceSession::stateChanged, this, &TMainForm::SessionStateChanged);
    // A close asked for while a job ran goes ahead once the job has stored what it finished.
    connect(session_.get(), &DeviceSession::jobEnded, this, [this] {
        if (closeConfirmed_) close();
    });
    configuration_ = new ConfigurationController(*this);
    calibration_ = new CalibrationController(*this);
}

UnitRecord TMainForm::RecordTemplate() const {
    UnitRecord r = StationRecord(*this, RecordKind::Check);
    r.model = modelText();
    // A check speaks the protocol of the model's scheme, not only Modbus.
    r.protocol = ProtocolCaption(protocol()).section(QStringLiteral(": "), 1);
    return r;
}

TMainForm::~TMainForm() {
    // No job may record once the log is gone: the session joins its worker first.
    session_.reset();
    link_.SetTrafficLog(nullptr);
}

void TMainForm::buildToolBar() {
    auto* bar = addToolBar(QStringLiteral("ToolBar1"));
    bar->setObjectName(QStringLiteral("ToolBar1"));
    bar->setMovable(false);
    toolButton5_ = AddToolButton(bar, "ToolButton5", tr("串口设置"), tr("进入串口设置界面"),
                                 QStyle::SP_ComputerIcon);
    bar->addSeparator();
    comk_ = AddToolButton(bar, "comk", tr("打开串口"), tr("打开关闭串口"), QStyle::SP_DriveNetIcon);
    comk_->setCheckable(true);
    // The button's checked state is the request: a click, the keyboard and an assistive
    // technology's "Toggle" all change it, and only a change that differs from the port acts.
    connect(comk_, &QToolButton::toggled, this, [this](bool on) {
        if (on == station_.portOpen()) return;
        if (RefuseWhileBusy()) {
            const QSignalBlocker quiet(comk_);
            comk_->setChecked(station_.portOpen());
            return;
        }
        comkClick();
    });
    bar->addSeparator();
    connect(toolButton5_, &QToolButton::clicked, this, &TMainForm::ToolButton5Click);
    toolButton6_ = AddToolButton(bar, "ToolButton6", tr("检验配置"), tr("进入检验配置界面"),
                                 QStyle::SP_FileDialogDetailedView);
    connect(toolButton6_, &QToolButton::clicked, this, &TMainForm::ToolButton6Click);
    bar->addSeparator();
    // The administrator's entry stays hidden in the delivered layout.
    toolButton1_ = AddToolButton(bar, "ToolButton1", tr("管理配置"), tr("进入管理配置界面"),
                                 QStyle::SP_DirHomeIcon);
    toolButton1Action_ = bar->actions().last();
    toolButton1Action_->setVisible(false);
    toolButton1_->setVisible(false);
    connect(toolButton1_, &QToolButton::clicked, this, &TMainForm::ToolButton1Click);
    helpButton_ =
        AddToolButton(bar, "send", tr("帮助文件"), tr("查看帮助文件"), QStyle::SP_DialogHelpButton);
    connect(helpButton_, &QToolButton::clicked, this, &TMainForm::sendClick);
    bar->addSeparator();
    exitButton_ = AddToolButton(bar, "exit", tr("退出程序"), tr("关闭退出软件"),
                                QStyle::SP_DialogCloseButton);
    connect(exitButton_, &QToolButton::clicked, this, &TMainForm::exitClick);
}

void TMainForm::buildMenu() {
    auto* menu = menuBar();
    menu->setObjectName(QStringLiteral("MainMenu1"));
    // The two entries act at once, as their tool buttons do; each follows its button's state.
    QAction* serial = menu->addAction(tr("串口设置"));
    serial->setObjectName(QStringLiteral("SerialSettingsAction"));
    connect(serial, &QAction::triggered, this, &TMainForm::ToolButton5Click);
    QAction* management = menu->addAction(tr("配置管理"));
    management->setObjectName(QStringLiteral("ManagementAction"));
    connect(management, &QAction::triggered, this, &TMainForm::ToolButton1Click);
    // The traffic monitor docks at the bottom, hidden until asked for; it can be torn off.
    trafficPanel_ = new TrafficPanel(*traffic_, this);
    addDockWidget(Qt::BottomDockWidgetArea, trafficPanel_);
    trafficPanel_->hide();
    auto* view = menu->addMenu(tr("查看"));
    view->setObjectName(QStringLiteral("ViewMenu"));
    QAction* monitor = trafficPanel_->toggleViewAction();
    monitor->setObjectName(QStringLiteral("TrafficMonitorAction"));
    view->addAction(monitor);
    auto* help = menu->addMenu(tr("帮助"));
    auto* about = help->addAction(tr("关于......."));
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
    row->addWidget(new QLabel(tr("选择产品型号："), panel1));
    auto* modelBox = new FreshComboBox(panel1);
    cbCPType_ = modelBox;
    cbCPType_->setObjectName(QStringLiteral("CB_CPType"));
    cbCPType_->setMinimumWidth(220);
    row->addWidget(cbCPType_);
    bitBtn14_ = new QPushButton(tr("进入标定状态"), panel1);
    bitBtn14_->setObjectName(QStringLiteral("BitBtn14"));
    bitBtn14_->setVisible(false);
    row->addWidget(bitBtn14_);
    // Only a pick by the user runs the selection; start-up and the operations call it directly.
    connect(cbCPType_, &QComboBox::activated, this, [this] {
        if (!RefuseWhileBusy()) CB_CPTypeChange();
    });
    // Models added, renamed or deleted on another station are in the list when it is opened.
    connect(modelBox, &FreshComboBox::aboutToShowPopup, this, &TMainForm::RefreshModelItems);
    row->addStretch(1);
    layout->addWidget(panel1);

    pageControl1_ = new QTabWidget(central);
    pageControl1_->setObjectName(QStringLiteral("PageControl1"));
    calibrationPage_ = new CalibrationPage(pageControl1_);
    pageControl1_->addTab(calibrationPage_, tr("产品标定"));
    checkPage_ = new CheckPage(*this, pageControl1_);
    pageControl1_->addTab(checkPage_, tr("实时数据"));
    // The service buttons of the real-time page sit beside its own buttons.
    QWidget* service = checkPage_->ServicePanel();
    const struct {
        const char* name;
        const char* caption;
        int left;
        QPushButton** button;
    } serviceButtons[] = {
        {"BitBtn7", QT_TRANSLATE_NOOP("TMainForm", "清除电能数据"), 480, &bitBtn7_},
        {"BitBtn8", QT_TRANSLATE_NOOP("TMainForm", "清除需量数据"), 600, &bitBtn8_}};
    for (const auto& b : serviceButtons) {
        auto* button = new QPushButton(tr(b.caption), service);
        button->setObjectName(QLatin1String(b.name));
        button->setGeometry(b.left, 8, 110, 32);
        *b.button = button;
    }
    curvePage_ = new CurvePage(*this, pageControl1_);
    pageControl1_->addTab(curvePage_, tr("曲线监测"));
    userPage_ = new UserPage(pageControl1_);
    pageControl1_->addTab(userPage_, tr("用户配置"));
    // The station's records: read only, so the page never touches the device.
    QList<ProductModel> models;
    QStringList modelNames;
    if (database_.SelectAllModels(models))
        for (const ProductModel& m : models)
            modelNames << m.cpxh;
    recordsPage_ = new RecordsPage(*results_, modelNames, pageControl1_);
    pageControl1_->addTab(recordsPage_, tr("检验记录"));
    connect(pageControl1_, &QTabWidget::currentChanged, this, [this](int index) {
        if (pageControl1_->widget(index) == recordsPage_) recordsPage_->Refresh();
    });
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
    comText_ = AddStatusField(bar, "ComText", tr("COM1,9600,N无,8,1"), tr("端口信息显示"), 0);
    AddStatusField(bar, "CPText", tr("三相电参数采集模块"), QString(), 0);
    statusText_ = AddStatusField(bar, "StatusText", QString(), tr("状态信息显示"), 1);
    stext1_ = AddStatusField(bar, "Stext1", tr("配置"), tr("功能显示"), 0);
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
    if (station_.portOpen()) {
        link_.Close();
        station_.setPortOpen(false);
        comk_->setChecked(false);
        comk_->setText(tr("打开串口"));
        toolButton5_->setEnabled(true);
        return;
    }
    link_.Close();
    OpenFailure failure;
    const LineChoice& line = station_.line();
    if (link_.Open(line.PortName, line.BaudIndex, line.ParityIndex, line.DataBitsIndex,
                   line.StopBitsIndex, &failure)) {
        station_.setPortOpen(true);
        comk_->setChecked(true);
        comk_->setText(tr("关闭串口"));
        toolButton5_->setEnabled(false);
        // An RFC 2217 server that refused COM port control: the port works raw, with the device
        // server's own settings, and the operator should know.
        if (const QString warning = link_.Warning(); !warning.isEmpty()) Ui().inform(this, warning);
    } else {
        comk_->setChecked(false);
        Ui().inform(this, OpenFailureMessage(failure));
    }
}

void TMainForm::exitClick() {
    close();
}

void TMainForm::N5Click() {
    Ui().inform(nullptr, tr("KX7410M3三相电参数采集模块上位机软件\n版本：V1.0\n"
                            "完成日期：2026年12月"));
}

void TMainForm::sendClick() {
    HelpViewer::ShowContents(this, HelpFile());
}

QString TMainForm::currentHelpAnchor() const {
    const QWidget* page = pageControl1_->currentWidget();
    if (page == calibrationPage_) return QStringLiteral("calibration");
    if (page == checkPage_) return QStringLiteral("check");
    if (page == curvePage_) return QStringLiteral("curves");
    if (page == userPage_) return QStringLiteral("user");
    if (page == recordsPage_) return QStringLiteral("records");
    return QStringLiteral("contents");
}

void TMainForm::buildKeys() {
    const auto key = [this](const QKeySequence& sequence, auto action) {
        auto* shortcut = new QShortcut(sequence, this);
        connect(shortcut, &QShortcut::activated, this, action);
        return shortcut;
    };
    key(QKeySequence::HelpContents,
        [this] { HelpViewer::ShowContents(this, HelpFile(), currentHelpAnchor()); });
    // F5 and Ctrl+S act as the page's own buttons would, so a disabled button stays refused.
    key(Qt::Key_F5, [this] {
        QPushButton* check = checkPage_->checkButton();
        if (!check->isEnabled()) return;
        pageControl1_->setCurrentWidget(checkPage_);
        check->click();
    });
    key(QKeySequence::Save, [this] {
        QPushButton* save = checkPage_->saveButton();
        if (save->isEnabled() && save->isVisible()) save->click();
    });
    // The tool buttons' captions stay as they are; Alt and a letter press them. A QShortcut and
    // not a mnemonic in the text, which 打开串口 would lose at its next caption.
    const struct {
        QToolButton* button;
        Qt::Key letter;
    } mnemonics[] = {{toolButton5_, Qt::Key_S}, {comk_, Qt::Key_O},       {toolButton6_, Qt::Key_J},
                     {toolButton1_, Qt::Key_G}, {helpButton_, Qt::Key_H}, {exitButton_, Qt::Key_X}};
    for (const auto& m : mnemonics) {
        QToolButton* button = m.button;
        key(QKeySequence(Qt::ALT | m.letter), [button] {
            if (button->isEnabled() && button->isVisible()) button->click();
        });
    }
}

void TMainForm::PageControl1Change(int index) {
    static const char* const names[] = {
        QT_TRANSLATE_NOOP("TMainForm", "标定"), QT_TRANSLATE_NOOP("TMainForm", "检验"),
        QT_TRANSLATE_NOOP("TMainForm", "曲线"), QT_TRANSLATE_NOOP("TMainForm", "配置")};
    if (index < 0 || index > 3) return;
    stext1_->setText(tr(names[index]));
    statusText_->clear();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (!closeConfirmed_ && !Ui().ask(nullptr, tr("确定退出吗?"), tr("信息"))) {
        event->ignore();
        return;
    }
    closeConfirmed_ = true;
    if (session_->isIdle()) {
        event->accept();
        return;
    }
    // Whatever runs on the bus stops at its next transaction boundary, so nothing the job had not
    // yet begun is sent; the window stays until the job's end has stored its record (a download's
    // read-back, a check's readings), then closes without asking again.
    checkPage_->StopCheck(); // a run over an address list goes no further than this unit
    session_->Cancel();
    event->ignore();
}

bool TMainForm::RefuseWhileBusy() {
    if (session_->isIdle()) return false;
    Ui().inform(this, DeviceSession::BusyText());
    return true;
}

void TMainForm::SessionStateChanged(DeviceSession::State state, const QString& operation) {
    const bool idle = state == DeviceSession::State::Idle;
    // The running loop's own page keeps its controls: its start/stop button stops it.
    QList<QWidget*> pages{calibrationPage_, userPage_};
    if (state != DeviceSession::State::Checking) pages << checkPage_;
    if (state != DeviceSession::State::Curves) pages << curvePage_;
    QList<QWidget*> controls{cbCPType_, toolButton5_, comk_, toolButton6_, toolButton1_};
    if (state != DeviceSession::State::Checking && state != DeviceSession::State::Curves)
        controls << bitBtn14_; // during the loops it refuses with its own message
    for (QWidget* page : pages)
        for (QAbstractButton* button : page->findChildren<QAbstractButton*>())
            if (!qobject_cast<QCheckBox*>(button)) controls << button;
    LockControls(idle ? QList<QWidget*>() : controls);
    if (state == DeviceSession::State::Busy)
        statusText_->setText(tr("正在进行：%1").arg(operation));
    else if (idle && statusText_->text().startsWith(tr("正在进行：%1").arg(QString())))
        statusText_->clear();
}

void TMainForm::LockControls(const QList<QWidget*>& controls) {
    // Only what was enabled is locked and later unlocked: controls that their own rules keep
    // disabled (the serial settings while the port is open, 协议配置 before the wiring) stay so.
    for (const QPointer<QWidget>& w : std::as_const(locked_))
        if (w) w->setEnabled(true);
    locked_.clear();
    for (QWidget* w : controls)
        if (w->isEnabled()) {
            w->setEnabled(false);
            locked_ << w;
        }
}

void TMainForm::ApplyCheckProtocol(int txxy) {
    checkPage_->ApplyProtocol(txxy);
    checkPage_->ReloadPlans();
}

QString TMainForm::modelText() const {
    return cbCPType_->currentText().trimmed();
}

Link& TMainForm::link() {
    return link_;
}

void TMainForm::ToolButton5Click() {
    // The menu entry reaches here too: the serial settings stay shut while the port is open.
    if (!toolButton5_->isEnabled() || RefuseWhileBusy()) return;
    TSetComForm dialog(dataDir_, AvailablePortNames(), this);
    if (dialog.exec() == QDialog::Accepted) ApplySerialChoice(dialog.choice());
}

void TMainForm::ApplySerialChoice(const SerialChoice& choice) {
    LineChoice line;
    line.PortName = choice.portName;
    line.PortIndex = choice.portIndex;
    line.BaudIndex = choice.baudIndex;
    line.ParityIndex = choice.parityIndex;
    line.DataBitsIndex = choice.dataBitsIndex;
    line.StopBitsIndex = choice.stopBitsIndex;
    line.ModuleAddress = choice.moduleAddress;
    station_.setLine(line);
}

void TMainForm::ToolButton6Click() {
    if (RefuseWhileBusy()) return;
    try {
        TSetCheckForm dialog(dataDir_, this);
        dialog.exec();
    } catch (const ConversionError& e) {
        Ui().error(this, e.text());
    }
}

namespace {
void SetItems(QComboBox* list, const QStringList& items, int selected) {
    list->clear();
    list->addItems(items);
    list->setCurrentIndex(selected);
}
} // namespace

void TMainForm::FillFixedLists() {
    const QStringList frame = {tr("N无,2S"), tr("O奇,1S"), tr("E偶,1S"), tr("N无,1S")};
    const QStringList ct = {QStringLiteral("2CT"), QStringLiteral("3CT")};
    const QStringList net = {tr("三相四线"), tr("三相三线"), tr("单相")};
    const QStringList harmonics = {QStringLiteral("RMS"), QStringLiteral("FUND")};
    const QStringList pulse = {tr("有功脉冲输出"), tr("无功脉冲输出")};
    const QStringList demand = {tr("固定滑块"), tr("滑差式")};
    const QStringList lowBaud = {tr("不使能"), tr("使能")};
    const CalibrationPage::ConfigurationControls& calib = calibrationPage_->configurationTab();
    const UserPage::Controls& user = userPage_->controls();
    SetItems(calib.frameFormat, frame, 3);
    SetItems(calib.ctCount, ct, 0);
    SetItems(user.ctCount, ct, 0);
    SetItems(calib.wiringMode, net, 0);
    SetItems(user.wiringMode, net, 0);
    SetItems(calib.harmonicMode, harmonics, 0);
    SetItems(user.harmonicMode, harmonics, 0);
    SetItems(calib.schedule.pulseMode, pulse, 0);
    SetItems(user.schedule.pulseMode, pulse, 0);
    SetItems(calib.demandMethod, demand, 0);
    SetItems(user.demandMethod, demand, 0);
    SetItems(user.lowBaud, lowBaud, 0);
}

void TMainForm::LoadModelList() {
    QList<ProductModel> models;
    bool ok = false;
    try {
        ok = database_.SelectAllModels(models);
    } catch (const ConversionError& e) {
        Ui().error(nullptr, e.text());
        return;
    }
    if (!ok) {
        Ui().inform(nullptr, tr("操作数据库失败！"));
        return;
    }
    cbCPType_->clear();
    for (const ProductModel& model : models)
        cbCPType_->addItem(model.cpxh.trimmed());
    cbCPType_->setCurrentIndex(cbCPType_->count() > 0 ? 0 : -1);
    BitBtn_DefaultSetClick();
    CB_CPTypeChange();
}

void TMainForm::ToolButton1Click() {
    if (RefuseWhileBusy()) return;
    RunAdministration(this, dataDir_, database_, [this] { ReloadModelList(); });
}

void TMainForm::RefreshModelItems() {
    // Only the list follows: the product data in use stays what was loaded, and a database that
    // cannot be read now (a server away) leaves the list as it was, without a box in the way.
    QList<ProductModel> models;
    try {
        if (!database_.SelectAllModels(models)) return;
    } catch (const ConversionError&) {
        return;
    }
    QStringList names;
    for (const ProductModel& model : models)
        names << model.cpxh.trimmed();
    QStringList shown;
    for (int i = 0; i < cbCPType_->count(); ++i)
        shown << cbCPType_->itemText(i);
    if (names == shown) return;
    const QString current = cbCPType_->currentText();
    const QSignalBlocker blocker(cbCPType_);
    cbCPType_->clear();
    cbCPType_->addItems(names);
    cbCPType_->setCurrentIndex(cbCPType_->findText(current));
}

void TMainForm::ReloadModelList() {
    // The administrator may have added, renamed or deleted models: the list follows, and the model
    // in work stays selected while it exists.
    const QString current = cbCPType_->currentText();
    QList<ProductModel> models;
    try {
        if (!database_.SelectAllModels(models)) {
            Ui().inform(nullptr, tr("操作数据库失败！"));
            return;
        }
    } catch (const ConversionError& e) {
        Ui().error(nullptr, e.text());
        return;
    }
    cbCPType_->clear();
    for (const ProductModel& model : models)
        cbCPType_->addItem(model.cpxh.trimmed());
    const int index = cbCPType_->findText(current);
    cbCPType_->setCurrentIndex(index >= 0 ? index : (cbCPType_->count() > 0 ? 0 : -1));
    CB_CPTypeChange();
}

void TMainForm::ApplyEngineeringMode() {
    pageControl1_->setTabVisible(pageControl1_->indexOf(calibrationPage_), true);
    pageControl1_->setTabVisible(pageControl1_->indexOf(curvePage_), true);
    toolButton1Action_->setVisible(true);
    toolButton1_->setVisible(true);
    bitBtn14_->setVisible(true);
}

void TMainForm::BitBtn_DefaultSetClick() {
    const CalibrationPage::ConfigurationControls& f = calibrationPage_->configurationTab();
    const QDateTime now = QDateTime::currentDateTime();
    const QDate date = now.date();
    const QTime time = now.time();
    f.clock.year->setText(QString::number(date.year() - 2000));
    f.clock.month->setText(QString::number(date.month()));
    f.clock.day->setText(QString::number(date.day()));
    f.clock.hour->setText(QString::number(time.hour()));
    f.clock.minute->setText(QString::number(time.minute()));
    f.clock.second->setText(QString::number(time.second()));
    // The same defaults as the command line's download: one place says what they are.
    CalibrationFields identity;
    SetDefaultIdentity(identity, now);
    for (std::size_t n = 0; n < 3; ++n) {
        f.serialNumbers[n]->setText(identity.serialNumbers[n]);
        f.hardwareVersions[n]->setText(identity.hardwareVersions[n]);
    }
    station_.setRated({identity.ratedVoltage, identity.ratedCurrent});
    f.ratedVoltage->setText(FloatToText(identity.ratedVoltage));
    f.ratedCurrent->setText(FloatToText(identity.ratedCurrent));
    const ConfigurationFields d = DefaultConfigurationFields();
    const ScheduleControls& schedule = f.schedule;
    for (std::size_t n = 0; n < 12; ++n) {
        const ScheduleControls::Segment& segment = schedule.segments[n];
        segment.hour->setText(QString::number(d.segments[n].hour));
        segment.minute->setText(QString::number(d.segments[n].minute));
        segment.tariff->setText(QString::number(d.segments[n].tariff));
    }
    schedule.readingDay->setText(QString::number(d.readingDay));
    schedule.readingHour->setText(QString::number(d.readingHour));
    schedule.tariffCount->setText(QString::number(d.tariffs));
    schedule.segmentCount->setText(QString::number(d.segmentCount));
    schedule.pulseMode->setCurrentIndex(d.pulseMode);
    f.harmonicMode->setCurrentIndex(d.harmonic);
    schedule.pulseConstant->setText(QString::number(d.pulseConstant));
    schedule.startCurrent->setText(QString::number(d.startCurrent));
    f.overVoltage->setText(QString::number(d.overVoltage));
    f.underVoltage->setText(QString::number(d.underVoltage));
    f.phaseBreak->setText(QString::number(d.phaseBreak));
    f.threshold->setText(QString::number(d.threshold));
    f.demandMethod->setCurrentIndex(d.demandMethod);
}

void TMainForm::CB_CPTypeChange() {
    try {
        LoadProduct();
    } catch (const ConversionError& e) {
        // The load stops at the field that did not convert; what was loaded before stays.
        Ui().error(nullptr, e.text());
    }
}

void TMainForm::SetEnabled(const QList<QWidget*>& controls, bool enabled) {
    for (QWidget* w : controls)
        w->setEnabled(enabled);
}

void TMainForm::LoadProduct() {
    if (cbCPType_->currentText().isEmpty()) {
        Ui().inform(nullptr, tr("产品型号不允许为空！"));
        return;
    }
    // The selection is set as a whole once the load ends, also when it ends early: what was
    // loaded before a failing field stays, the rest keeps its previous value.
    ProductSelection p = station_.product();
    const auto commit = qScopeGuard([&] { station_.setProduct(p); });
    p.ModelName = cbCPType_->currentText().trimmed();
    std::optional<ProductModel> model;
    if (!database_.SelectModel(p.ModelName, model)) {
        Ui().inform(nullptr, tr("操作数据库失败！"));
        return;
    }
    if (!model) {
        // A model without a row reads as empty fields: the first number does not convert.
        p.SchemeName.clear();
        p.BTLGS = StrToInt(QString());
    }
    const QString chosen = p.ModelName;
    ApplyModel(p, *model);
    p.ModelName = chosen; // as the list shows it

    const CalibrationPage::ConfigurationControls& fields = calibrationPage_->configurationTab();
    // The user parameters the product may fix, but the frame format, which keeps its own state.
    const QList<QWidget*> userParamControls = {fields.wiringModeCaption,
                                               fields.wiringMode,
                                               fields.pt,
                                               fields.ct,
                                               fields.ptArrows,
                                               fields.ctArrows,
                                               fields.ctCountCaption,
                                               fields.ctCount,
                                               fields.demandMethodCaption,
                                               fields.demandMethod};
    if (!p.UserParamsEditable) {
        SetEnabled({fields.frameFormatCaption, fields.frameFormat}, false);
        SetEnabled(userParamControls, false);
    } else {
        // The frame format keeps its state: only the protocol configuration changes it.
        SetEnabled(userParamControls, true);
        fields.frameFormatCaption->setEnabled(true);
        fields.frameFormat->setCurrentIndex(p.BTLGS);
        fields.wiringMode->setCurrentIndex(p.JXMS);
        fields.ctCount->setCurrentIndex(p.CTNUM);
        fields.pt->setText(QString::number(p.UPT));
        fields.ct->setText(QString::number(p.ICT));
    }

    std::optional<Scheme> scheme;
    if (!database_.SelectScheme(p.SchemeName, scheme)) {
        Ui().inform(nullptr, tr("操作数据库失败！"));
        return;
    }
    if (!scheme) p.UBLFX = StrToInt(QString());
    ApplyScheme(p, *scheme);

    // Segments 2 and 3 exist only for schemes with segmented calibration.
    const auto& segments = calibrationPage_->calibrationTab().segments;
    QList<QWidget*> segmentControls;
    for (const CalibrationPage::SegmentControls* s : {&segments[1], &segments[2]})
        segmentControls << s->vip << s->hz50 << s->hz60 << s->compensationReset
                        << s->powerCompensation;
    SetEnabled(segmentControls, p.FDBDSN != 0);
    station_.setProduct(p);

    ApplyProtocolLayout();
    // The protocol can only be configured right after the wiring mode was written.
    calibrationPage_->protocolTab().protocol->setEnabled(false);
}

void TMainForm::ApplyProtocolLayout() {
    const int txxy = station_.product().TXXY;
    if (txxy < 0 || txxy > 4) return;
    const UserPage::Controls& user = userPage_->controls();
    pageControl1_->setTabVisible(pageControl1_->indexOf(userPage_), txxy != 4);
    if (txxy != 4) {
        const bool yaao = txxy == 3;
        user.parameters->setVisible(!yaao);
        user.download->setVisible(!yaao);
        // The 亚奥 service log with its buttons.
        const QList<QWidget*> yaaoControls = {user.logPanel,        user.energyBase,
                                              user.setEnergyBase,   user.readAddress,
                                              user.readCalibration, user.readRawData};
        for (QWidget* w : yaaoControls)
            w->setVisible(yaao);
    }
    bitBtn7_->setVisible(true);
    bitBtn8_->setVisible(txxy != 4);
    ApplyCheckProtocol(txxy);
}

void TMainForm::SetCheckControls(bool running) {
    const int txxy = station_.product().TXXY;
    bitBtn7_->setEnabled(!running);
    bitBtn8_->setEnabled(!running);
    comk_->setEnabled(!running);
    cbCPType_->setEnabled(!running);
    toolButton6_->setEnabled(!running);
    const int calibration = pageControl1_->indexOf(calibrationPage_);
    const int curves = pageControl1_->indexOf(curvePage_);
    const int user = pageControl1_->indexOf(userPage_);
    if (running) {
        pageControl1_->setTabVisible(calibration, false);
        if (txxy == 0) pageControl1_->setTabVisible(curves, false);
        if (txxy != 4) pageControl1_->setTabVisible(user, false);
    } else {
        if (txxy != 4) pageControl1_->setTabVisible(user, true);
        // The factory pages come back only where they were reachable before the check.
        if (EngineeringMode) {
            pageControl1_->setTabVisible(calibration, true);
            pageControl1_->setTabVisible(curves, true);
        }
    }
}

void TMainForm::SetStatusText(const QString& text) {
    statusText_->setText(text);
}

void TMainForm::SetCurveControls(bool running) {
    comk_->setEnabled(!running);
    cbCPType_->setEnabled(!running);
    const int calibration = pageControl1_->indexOf(calibrationPage_);
    const int check = pageControl1_->indexOf(checkPage_);
    const int user = pageControl1_->indexOf(userPage_);
    if (running) {
        pageControl1_->setTabVisible(calibration, false);
        pageControl1_->setTabVisible(check, false);
        return;
    }
    pageControl1_->setTabVisible(check, true);
    // A 大唐 model has no user page: the product selection hid it and it stays hidden.
    if (station_.product().TXXY != 4) pageControl1_->setTabVisible(user, true);
    if (EngineeringMode) pageControl1_->setTabVisible(calibration, true);
}
