#include "acquire/read_thread.h"
#include "gui/calib/calibration_page.h"
#include "gui/calib/user_page.h"
#include "gui/check/check_page.h"
#include "gui/kit/help_viewer.h"
#include "gui/kit/messages.h"
#include "gui/kit/single_instance.h"
#include "gui/kit/up_down.h"
#include "gui/main/main_form.h"
#include "gui/main/startup.h"
#include "gui/monitor/traffic_panel.h"
#include "gui/settings/setcom_dialog.h"
#include "link/serial_link.h"
#include "recording_messages.h"
#include "session/device_session.h"
#include "store/database.h"

#include "app_fixture.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <atomic>
#include <pty.h>
#include <thread>
#include <unistd.h>

class MainFormTest : public QObject {
    Q_OBJECT
private slots:
    void startsWithTheDeliveredLayout();
    void startUpFillsListsAndDefaults_data();
    void startUpFillsListsAndDefaults();
    void engineeringModeShowsFactoryPages();
    void fatalStartUpErrors_data();
    void fatalStartUpErrors();
    void emptyModelListReportsEmptyModel();
    void failingModelQueryLeavesListEmpty();
    void portButtonOpensAndCloses();
    void portThatCannotOpenIsReported();
    void portFailuresNameTheReason();
    void startUpTakesTheSavedSerialSettings();
    void brokenSetComKeepsTheDefaults_data();
    void brokenSetComKeepsTheDefaults();
    void portTextFollowsTheLineSettings();
    void portButtonAnswersKeyboardAndAccessibility();
    void closingAsksFirst();
    void aRunningJobLocksTheDeviceControls();
    void closingCancelsARunningJob();
    void pageChangeNamesTheFunction();
    void runningCheckLocksTheWindow_data();
    void runningCheckLocksTheWindow();
    void closingStopsARunningCheck();
    void modelListFollowsTheDatabase();
    void modelListOpensWithTheModelsOfOtherStations();
    void runningCurvesLockTheWindow_data();
    void runningCurvesLockTheWindow();
    void trafficMonitorShowsTheWindowsExchanges();
    void upDownStaysInRange();
    void secondInstanceIsRefused();
    void keysAndMenusReachTheirActions();
};

namespace {
// Changes the window's line settings the way the settings dialog would, one field at a time.
template <class Edit> void EditLine(TMainForm& form, Edit edit) {
    LineChoice line = form.station().line();
    edit(line);
    form.station().setLine(line);
}

QStringList Items(QComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->itemText(i);
    return items;
}

// A started application on a folder; the start-up must succeed.
struct Started {
    explicit Started(const QByteArray& ini = ShippedIni()) : folder(ini) {
        ok = StartApplication(folder.path(), SeedDir(), link, app);
    }
    TMainForm& form() { return *app.window; }
    DataFolder folder;
    SerialLink link;
    Application app;
    bool ok = false;
};

// A pseudo-terminal whose far end stays silent: a port the window can open.
struct Pty {
    Pty() {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0)
            path = QString::fromLocal8Bit(name);
    }
    ~Pty() {
        if (slave >= 0) ::close(slave);
        if (master >= 0) ::close(master);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    int master = -1;
    int slave = -1;
    QString path;
};

int TabIndex(TMainForm& form, const char* name) {
    return form.pageControl()->indexOf(form.findChild<QWidget*>(QLatin1String(name)));
}
} // namespace

void MainFormTest::startsWithTheDeliveredLayout() {
    RecordingMessages messages;
    Started s(IniWith("port=0", "port=0\nportname=/dev/ttyKXNONE"));
    QVERIFY(s.ok);
    TMainForm& form = s.form();
    QCOMPARE(messages.shown, QStringList());
    QCOMPARE(form.windowTitle(), QStringLiteral("KX7410M3三相电参数采集模块上位机软件   V1.0"));
    auto* pages = form.pageControl();
    // The four pages of the delivered layout, and the station's records after them.
    QCOMPARE(pages->count(), 5);
    QCOMPARE(pages->tabText(4), QStringLiteral("检验记录"));
    QVERIFY(pages->isTabVisible(TabIndex(form, "RecordsPage")));
    QVERIFY(!pages->isTabVisible(TabIndex(form, "TabSheet1")));
    QVERIFY(pages->isTabVisible(TabIndex(form, "TabSheet2")));
    QVERIFY(!pages->isTabVisible(TabIndex(form, "TabSheet3")));
    // The first seed model speaks Modbus: the user page is there.
    QVERIFY(pages->isTabVisible(TabIndex(form, "TabSheet4")));
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("TabSheet2"));
    QVERIFY(form.findChild<QToolButton*>("ToolButton1")->isHidden());
    QVERIFY(form.findChild<QWidget*>("BitBtn14")->isHidden());
    QCOMPARE(form.findChild<QLabel*>("ComText")->text(),
             QStringLiteral("/dev/ttyKXNONE,9600,N无,8,1"));
    QCOMPARE(form.findChild<QLabel*>("Stext1")->text(), QStringLiteral("配置"));
    QVERIFY(form.findChild<QLabel*>("StatusText")->text().isEmpty());
    QVERIFY(form.findChild<QWidget*>("ProgressBar")->isHidden());
    QCOMPARE(form.minimumSize(), QSize(840, 557));
    // The line settings the user last confirmed.
    QCOMPARE(form.station().line().PortName, QStringLiteral("/dev/ttyKXNONE"));
    QCOMPARE(form.station().line().BaudIndex, 3);
    QCOMPARE(form.station().line().ParityIndex, 0);
    QCOMPARE(form.station().line().DataBitsIndex, 2);
    QCOMPARE(form.station().line().StopBitsIndex, 0);
    QCOMPARE(form.station().line().ModuleAddress, quint8(1));
    QVERIFY(!form.station().portOpen());
    QCOMPARE(form.station().rated().RatedVoltage, 220.0);
    QCOMPARE(form.station().rated().RatedCurrent, 5.0);

    auto* models = form.findChild<QComboBox*>("CB_CPType");
    QCOMPARE(Items(models), (QStringList{"KX2953B35-01", "KX7410M31-01", "KX7410D97-01",
                                         "KX7410D07-01", "KX7410Y35-01", "KX7410T35-01"}));
    QCOMPARE(models->currentIndex(), 0);
    // The selection ran for the first model.
    QCOMPARE(form.station().product().ModelName, QStringLiteral("KX2953B35-01"));
    QCOMPARE(form.station().product().SchemeName, QStringLiteral("ModBus标准方式"));
    QCOMPARE(form.station().product().TXXY, 0);
    QVERIFY(!form.station().product().UserParamsEditable);
}

void MainFormTest::startUpFillsListsAndDefaults_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<int>("selected");
    const QStringList frame{"N无,2S", "O奇,1S", "E偶,1S", "N无,1S"};
    const QStringList ct{"2CT", "3CT"};
    const QStringList net{"三相四线", "三相三线", "单相"};
    const QStringList harmonics{"RMS", "FUND"};
    const QStringList pulse{"有功脉冲输出", "无功脉冲输出"};
    const QStringList demand{"固定滑块", "滑差式"};
    // The first model is a KX2953: the frame format keeps the list's own selection.
    QTest::newRow("CB_CheckoutType") << "CB_CheckoutType" << frame << 3;
    QTest::newRow("CB_CT_Num") << "CB_CT_Num" << ct << 0;
    QTest::newRow("YH_CB_CT_Num") << "YH_CB_CT_Num" << ct << 0;
    QTest::newRow("CB_NetType") << "CB_NetType" << net << 0;
    QTest::newRow("YH_CB_NetType") << "YH_CB_NetType" << net << 0;
    QTest::newRow("CB_LBType") << "CB_LBType" << harmonics << 0;
    QTest::newRow("YH_CB_LBType") << "YH_CB_LBType" << harmonics << 0;
    QTest::newRow("CB_MCType") << "CB_MCType" << pulse << 0;
    QTest::newRow("YH_CB_MCType") << "YH_CB_MCType" << pulse << 0;
    QTest::newRow("CBox_XLType") << "CBox_XLType" << demand << 0;
    QTest::newRow("YH_CB_JSXLFS") << "YH_CB_JSXLFS" << demand << 0;
    QTest::newRow("YH_CB_DBTLSN") << "YH_CB_DBTLSN" << QStringList{"不使能", "使能"} << 0;
}

void MainFormTest::startUpFillsListsAndDefaults() {
    QFETCH(QString, name);
    QFETCH(QStringList, items);
    QFETCH(int, selected);
    Started s;
    QVERIFY(s.ok);
    auto* list = s.form().findChild<QComboBox*>(name);
    QVERIFY(list);
    QCOMPARE(Items(list), items);
    QCOMPARE(list->currentIndex(), selected);
}

void MainFormTest::engineeringModeShowsFactoryPages() {
    RecordingMessages messages;
    Started s(IniWith("Engineering=0", "Engineering=1"));
    QVERIFY(s.ok);
    TMainForm& form = s.form();
    QVERIFY(form.EngineeringMode);
    QVERIFY(form.pageControl()->isTabVisible(TabIndex(form, "TabSheet1")));
    QVERIFY(form.pageControl()->isTabVisible(TabIndex(form, "TabSheet3")));
    QVERIFY(!form.findChild<QToolButton*>("ToolButton1")->isHidden());
    QVERIFY(!form.findChild<QWidget*>("BitBtn14")->isHidden());
    QCOMPARE(messages.shown, QStringList());
}

void MainFormTest::fatalStartUpErrors_data() {
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<bool>("writeIni");
    QTest::addColumn<QByteArray>("database");
    QTest::addColumn<QString>("messagePart");
    QTest::newRow("corrupt Config.db")
        << ShippedIni() << true << QByteArray("this is not an SQLite file\n") << "Config.db";
    QTest::newRow("SetCheck key missing")
        << IniWith("JDS=0.5", "") << true << QByteArray() << "JDS";
    QTest::newRow("SetCheck value not a number")
        << IniWith("JDU=0.2", "JDU=abc") << true << QByteArray() << "abc";
    QTest::newRow("Config.ini missing") << QByteArray() << false << QByteArray() << "SetCheck";
}

void MainFormTest::fatalStartUpErrors() {
    QFETCH(QByteArray, ini);
    QFETCH(bool, writeIni);
    QFETCH(QByteArray, database);
    QFETCH(QString, messagePart);
    RecordingMessages messages;
    DataFolder folder(ini, writeIni);
    if (!database.isEmpty()) {
        QFile file(folder.file("Config.db"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(database);
    }
    SerialLink link;
    Application app;
    QVERIFY(!StartApplication(folder.path(), SeedDir(), link, app));
    QVERIFY(!app.window);
    QVERIFY(!app.database);
    // The one message of a fatal start is the error that ended it.
    QVERIFY2(!messages.shown.isEmpty(), "no message");
    const QString last = messages.shown.last();
    QVERIFY2(last.startsWith("error: ") && last.contains(messagePart), qPrintable(last));
}

void MainFormTest::emptyModelListReportsEmptyModel() {
    RecordingMessages messages;
    DataFolder folder;
    auto db = folder.OpenDatabase();
    QVERIFY(db);
    QSqlQuery q = db->NewQuery();
    QVERIFY(ExecQuery(q, "delete from Config"));
    SerialLink link;
    TMainForm form(folder.path(), link, *db);
    QCOMPARE(form.findChild<QComboBox*>("CB_CPType")->count(), 0);
    QCOMPARE(messages.shown, QStringList{"inform: 产品型号不允许为空！"});
}

void MainFormTest::failingModelQueryLeavesListEmpty() {
    RecordingMessages messages;
    DataFolder folder;
    auto db = folder.OpenDatabase();
    QVERIFY(db);
    db->SetFaultHook([](int statement) { return statement == 1; });
    SerialLink link;
    TMainForm form(folder.path(), link, *db);
    QCOMPARE(form.findChild<QComboBox*>("CB_CPType")->count(), 0);
    QCOMPARE(messages.shown, QStringList{"inform: 操作数据库失败！"});
    // Nothing was selected, so the defaults were not applied either.
    QVERIFY(form.station().product().ModelName.isEmpty());
}

void MainFormTest::portButtonOpensAndCloses() {
    Pty peer;
    QVERIFY(!peer.path.isEmpty());
    Started s;
    QVERIFY(s.ok);
    TMainForm& form = s.form();
    EditLine(form, [&](LineChoice& line) { line.PortName = peer.path; });
    auto* comk = form.findChild<QToolButton*>("comk");
    auto* settings = form.findChild<QToolButton*>("ToolButton5");
    form.comkClick();
    QVERIFY(form.station().portOpen());
    QVERIFY(s.link.IsOpen());
    QCOMPARE(comk->text(), QStringLiteral("关闭串口"));
    QVERIFY(comk->isChecked());
    QVERIFY(!settings->isEnabled());
    form.comkClick();
    QVERIFY(!form.station().portOpen());
    QVERIFY(!s.link.IsOpen());
    QCOMPARE(comk->text(), QStringLiteral("打开串口"));
    QVERIFY(!comk->isChecked());
    QVERIFY(settings->isEnabled());
}

void MainFormTest::portThatCannotOpenIsReported() {
    RecordingMessages messages;
    Started s;
    QVERIFY(s.ok);
    TMainForm& form = s.form();
    EditLine(form, [&](LineChoice& line) { line.PortName = s.folder.file("no-such-device"); });
    form.comkClick();
    QCOMPARE(messages.shown,
             QStringList{"inform: 初始化失败！！\n串口 " + form.station().line().PortName +
                         " 不存在：设备未连接，或端口名称有误。"});
    QVERIFY(!form.station().portOpen());
    QCOMPARE(form.findChild<QToolButton*>("comk")->text(), QStringLiteral("打开串口"));
    QVERIFY(form.findChild<QToolButton*>("ToolButton5")->isEnabled());
}

void MainFormTest::portFailuresNameTheReason() {
    Pty peer;
    QVERIFY(!peer.path.isEmpty());
    const QString pty = peer.path;
    RecordingMessages messages;
    Started s;
    QVERIFY(s.ok);
    TMainForm& form = s.form();
    {
        // Another program holds the port.
        SerialLink other;
        QVERIFY(other.Open(pty, 3, 0, 2, 0));
        EditLine(form, [&](LineChoice& line) { line.PortName = pty; });
        form.comkClick();
        QVERIFY(!form.station().portOpen());
        EditLine(form, [&](LineChoice& line) { line.PortName.clear(); });
        form.comkClick();
    }
    QCOMPARE(messages.shown,
             (QStringList{"inform: 初始化失败！！\n串口 " + pty +
                              " 正被其他程序占用：请先关闭占用它的程序。",
                          "inform: 初始化失败！！\n没有选择串口：请在“串口设置”中选择端口。"}));
    EditLine(form, [&](LineChoice& line) { line.PortName = pty; });
    form.comkClick();
    QVERIFY(form.station().portOpen());
    form.comkClick();
}

void MainFormTest::startUpTakesTheSavedSerialSettings() {
    Pty peer;
    QVERIFY(!peer.path.isEmpty());
    const QString pty = peer.path;
    // The index points at some other port; the stored path is the one the user chose.
    QByteArray ini = ShippedIni();
    ini.replace("baudrate=3", "baudrate=4");
    ini.replace("parity=0", "parity=2");
    ini.replace("stopbits=0", "stopbits=1");
    ini.replace("address=1", "address=300\nportname=" + pty.toLocal8Bit());
    ini.replace("port=0", "port=7");
    RecordingMessages messages;
    Started s(ini);
    QVERIFY(s.ok);
    TMainForm& form = s.form();
    QCOMPARE(form.station().line().PortName, pty);
    QCOMPARE(form.station().line().BaudIndex, 4);
    QCOMPARE(form.station().line().ParityIndex, 2);
    QCOMPARE(form.station().line().DataBitsIndex, 2);
    QCOMPARE(form.station().line().StopBitsIndex, 1);
    QCOMPARE(int(form.station().line().ModuleAddress), 44);
    QCOMPARE(form.comText()->text(), pty + QStringLiteral(",19200,E偶,8,2"));
    // 打开串口 opens what was chosen, with its line settings.
    form.findChild<QToolButton*>("comk")->click();
    QVERIFY(form.station().portOpen());
    QCOMPARE(s.link.Settings(), (LineSettings{19200, 2, 8, 2}));
    QCOMPARE(messages.shown, QStringList());
    form.comkClick();
}

void MainFormTest::brokenSetComKeepsTheDefaults_data() {
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");
    QTest::newRow("baud outside the table") << QByteArray("baudrate=3") << QByteArray("baudrate=9");
    QTest::newRow("missing key") << QByteArray("databit=2") << QByteArray();
    QTest::newRow("not a number") << QByteArray("address=1") << QByteArray("address=x");
}

void MainFormTest::brokenSetComKeepsTheDefaults() {
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    RecordingMessages messages;
    Started s(IniWith(from, to).replace("port=0", "port=0\nportname=/dev/ttyKXNONE"));
    QVERIFY(s.ok);
    QCOMPARE(s.form().comText()->text(), QStringLiteral("COM1,9600,N无,8,1"));
    QCOMPARE(s.form().station().line().PortName, QStringLiteral("COM1"));
    QCOMPARE(int(s.form().station().line().ModuleAddress), 1);
    // The serial settings dialog reports a broken file when it opens, not the start.
    QCOMPARE(messages.shown, QStringList());
}

void MainFormTest::portTextFollowsTheLineSettings() {
    RecordingMessages messages;
    Started s;
    QVERIFY(s.ok);
    TMainForm& form = s.form();
    QSignalSpy lineChanged(&form.station(), &StationState::lineChanged);
    SerialChoice choice;
    choice.portIndex = 1;
    choice.portName = QStringLiteral("/dev/ttyKXOTHER");
    choice.baudIndex = 5;
    choice.parityIndex = 1;
    choice.dataBitsIndex = 1;
    choice.stopBitsIndex = 1;
    choice.moduleAddress = 9;
    form.ApplySerialChoice(choice);
    QCOMPARE(lineChanged.count(), 1);
    QCOMPARE(form.comText()->text(), QStringLiteral("/dev/ttyKXOTHER,38400,O奇,7,2"));
    // The same choice again is no change.
    form.ApplySerialChoice(choice);
    QCOMPARE(lineChanged.count(), 1);
    // A change made elsewhere (the frame-format switch sets the line like this) shows too.
    LineChoice line = form.station().line();
    line.BaudIndex = 3;
    line.ParityIndex = 2;
    line.DataBitsIndex = 2;
    line.StopBitsIndex = 0;
    form.station().setLine(line);
    QCOMPARE(lineChanged.count(), 2);
    QCOMPARE(form.comText()->text(), QStringLiteral("/dev/ttyKXOTHER,9600,E偶,8,1"));
    QCOMPARE(messages.shown, QStringList());
}

void MainFormTest::portButtonAnswersKeyboardAndAccessibility() {
    Pty peer;
    QVERIFY(!peer.path.isEmpty());
    Started s;
    QVERIFY(s.ok);
    TMainForm& form = s.form();
    EditLine(form, [&](LineChoice& line) { line.PortName = peer.path; });
    auto* comk = form.findChild<QToolButton*>("comk");
    QAccessibleInterface* button = QAccessible::queryAccessibleInterface(comk);
    QVERIFY(button && button->actionInterface());
    QVERIFY(button->actionInterface()->actionNames().contains(
        QAccessibleActionInterface::toggleAction()));
    button->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    QVERIFY(form.station().portOpen());
    QCOMPARE(comk->text(), QStringLiteral("关闭串口"));
    QVERIFY(comk->isChecked());
    button->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    QVERIFY(!form.station().portOpen());
    QVERIFY(!s.link.IsOpen());
    // The keyboard: space on the focused button.
    QTest::keyClick(comk, Qt::Key_Space);
    QVERIFY(form.station().portOpen());
    QTest::keyClick(comk, Qt::Key_Space);
    QVERIFY(!form.station().portOpen());
}

void MainFormTest::closingAsksFirst() {
    RecordingMessages messages;
    Started s;
    QVERIFY(s.ok);
    TMainForm& form = s.form();
    form.show();
    messages.answers = {false};
    QVERIFY(!form.close());
    QVERIFY(form.isVisible());
    messages.answers = {true};
    QVERIFY(form.close());
    QCOMPARE(messages.shown, (QStringList{"ask: 确定退出吗?", "ask: 确定退出吗?"}));
}

void MainFormTest::aRunningJobLocksTheDeviceControls() {
    RecordingMessages messages;
    Started s(IniWith("Engineering=0", "Engineering=1"));
    QVERIFY(s.ok);
    TMainForm& form = s.form();
    const char* const locked[] = {"CB_CPType",   "ToolButton5", "comk",         "ToolButton6",
                                  "ToolButton1", "BitBtn14",    "BitBtn1",      "BitBtn2",
                                  "BitBtn_VIP1", "BitBtn19",    "BitBtn5",      "BitBtn_Check",
                                  "BitBtn16",    "BitBtn7",     "BitBtn_ReadQX"};
    for (const char* name : locked)
        QVERIFY2(form.findChild<QWidget*>(name)->isEnabled(), name);
    // The product selection keeps 协议配置 disabled until a wiring mode was written.
    QVERIFY(!form.findChild<QWidget*>("BitBtn4")->isEnabled());

    std::atomic<bool> release{false};
    QVERIFY(form.session().Submit(DeviceSession::State::Busy, QStringLiteral("下载配置"),
                                  [&](JobContext& job) {
                                      while (!release.load())
                                          job.Wait(5);
                                  }));
    for (const char* name : locked)
        QVERIFY2(!form.findChild<QWidget*>(name)->isEnabled(), name);
    QCOMPARE(form.findChild<QLabel*>("StatusText")->text(), QStringLiteral("正在进行：下载配置"));
    // A click on a locked control does nothing; a handler called anyway refuses.
    form.findChild<QToolButton*>("comk")->click();
    form.findChild<QPushButton*>("BitBtn_Check")->click();
    QVERIFY(!form.station().portOpen());
    QVERIFY(!form.checkPage()->isRunning());
    QVERIFY(messages.shown.isEmpty());
    form.ToolButton6Click();
    QCOMPARE(messages.shown, QStringList{"inform: 操作正在进行，请稍候！"});

    release = true;
    QVERIFY(QTest::qWaitFor([&] { return form.session().isIdle(); }, 20000));
    for (const char* name : locked)
        QVERIFY2(form.findChild<QWidget*>(name)->isEnabled(), name);
    QVERIFY(!form.findChild<QWidget*>("BitBtn4")->isEnabled());
    QVERIFY(form.findChild<QLabel*>("StatusText")->text().isEmpty());
}

void MainFormTest::closingCancelsARunningJob() {
    RecordingMessages messages;
    Started s;
    QVERIFY(s.ok);
    TMainForm& form = s.form();
    form.show();
    std::atomic<bool> ended{false};
    bool visibleAtDone = false;
    QVERIFY(form.session().Submit(
        DeviceSession::State::Busy, QStringLiteral("下载配置"),
        [&](JobContext& job) {
            // A wait far longer than any test: only a cancel ends it.
            job.Wait(3600 * 1000);
            ended = job.cancelled();
        },
        // Where a job stores its record: it must run before the window goes.
        [&] { visibleAtDone = form.isVisible(); }));
    messages.answers = {false};
    QVERIFY(!form.close());
    QVERIFY(!form.session().isCancelling());
    messages.answers = {true};
    // Yes cancels the job; the window waits for its end, then closes without asking again.
    QVERIFY(!form.close());
    QVERIFY(form.session().isCancelling());
    QVERIFY(QTest::qWaitFor([&] { return !form.isVisible(); }, 20000));
    QVERIFY(form.session().isIdle());
    QVERIFY(ended.load());
    QVERIFY(visibleAtDone);
    QCOMPARE(messages.shown, (QStringList{"ask: 确定退出吗?", "ask: 确定退出吗?"}));
}

void MainFormTest::pageChangeNamesTheFunction() {
    Started s;
    QVERIFY(s.ok);
    TMainForm& form = s.form();
    auto* status = form.findChild<QLabel*>("StatusText");
    status->setText("busy");
    form.PageControl1Change(3);
    QCOMPARE(form.findChild<QLabel*>("Stext1")->text(), QStringLiteral("配置"));
    QVERIFY(status->text().isEmpty());
    form.PageControl1Change(1);
    QCOMPARE(form.findChild<QLabel*>("Stext1")->text(), QStringLiteral("检验"));
}

void MainFormTest::runningCheckLocksTheWindow_data() {
    QTest::addColumn<bool>("engineering");
    QTest::addColumn<QString>("model");
    QTest::addColumn<bool>("curvesWhileRunning"); // the curve tab during the check
    QTest::addColumn<bool>("userWhileRunning");
    QTest::addColumn<bool>("userAfter");
    QTest::newRow("Modbus") << false << "KX7410M31-01" << false << false << true;
    QTest::newRow("大唐") << false << "KX7410T35-01" << false << false << false;
    QTest::newRow("engineering, Modbus") << true << "KX7410M31-01" << false << false << true;
    QTest::newRow("engineering, 1997") << true << "KX7410D97-01" << true << false << true;
}

void MainFormTest::runningCheckLocksTheWindow() {
    QFETCH(bool, engineering);
    QFETCH(QString, model);
    QFETCH(bool, curvesWhileRunning);
    QFETCH(bool, userWhileRunning);
    QFETCH(bool, userAfter);
    RecordingMessages messages;
    Started s(engineering ? IniWith("Engineering=0", "Engineering=1") : ShippedIni());
    QVERIFY(s.ok);
    TMainForm& form = s.form();
    auto* models = form.findChild<QComboBox*>("CB_CPType");
    models->setCurrentIndex(models->findText(model));
    form.CB_CPTypeChange();
    QCOMPARE(form.modelText(), model);
    auto* pages = form.pageControl();
    const char* const locked[] = {"comk", "CB_CPType", "ToolButton6", "BitBtn7", "BitBtn8"};

    form.SetCheckControls(true);
    for (const char* name : locked)
        QVERIFY2(!form.findChild<QWidget*>(name)->isEnabled(), name);
    QVERIFY(!pages->isTabVisible(TabIndex(form, "TabSheet1")));
    QCOMPARE(pages->isTabVisible(TabIndex(form, "TabSheet3")), curvesWhileRunning);
    QCOMPARE(pages->isTabVisible(TabIndex(form, "TabSheet4")), userWhileRunning);
    QVERIFY(pages->isTabVisible(TabIndex(form, "TabSheet2")));

    form.SetCheckControls(false);
    for (const char* name : locked)
        QVERIFY2(form.findChild<QWidget*>(name)->isEnabled(), name);
    // The factory pages come back only in engineering mode.
    QCOMPARE(pages->isTabVisible(TabIndex(form, "TabSheet1")), engineering);
    QCOMPARE(pages->isTabVisible(TabIndex(form, "TabSheet3")), engineering);
    QCOMPARE(pages->isTabVisible(TabIndex(form, "TabSheet4")), userAfter);
    QCOMPARE(messages.shown, QStringList());
}

void MainFormTest::closingStopsARunningCheck() {
    // A peer that never answers: the check runs, counting unanswered requests.
    Pty peer;
    QVERIFY(!peer.path.isEmpty());
    RecordingMessages messages;
    Started s;
    QVERIFY(s.ok);
    TMainForm& form = s.form();
    EditLine(form, [&](LineChoice& line) { line.PortName = peer.path; });
    form.comkClick();
    QVERIFY(form.station().portOpen());
    form.show();
    CheckPage* page = form.checkPage();
    page->BitBtn_CheckClick();
    QVERIFY(page->isRunning());
    QVERIFY(!form.findChild<QWidget*>("comk")->isEnabled());
    messages.answers = {false};
    QVERIFY(!form.close());
    QVERIFY(page->isRunning()); // No keeps everything running
    messages.answers = {true};
    QVERIFY(!form.close());
    // The check stops at its next transaction boundary; the window goes once it has.
    QVERIFY(form.session().isCancelling());
    QVERIFY(QTest::qWaitFor([&] { return !form.isVisible(); }, 20000));
    QVERIFY(form.session().isIdle());
    QVERIFY(!page->isRunning());
    QCOMPARE(messages.shown, (QStringList{"ask: 确定退出吗?", "ask: 确定退出吗?"}));
    s.link.Close();
}

void MainFormTest::trafficMonitorShowsTheWindowsExchanges() {
    // A silent module: every poll of the check is recorded as a timeout.
    Pty peer;
    QVERIFY(!peer.path.isEmpty());
    RecordingMessages messages;
    Started s;
    QVERIFY(s.ok);
    TMainForm& form = s.form();
    form.show();
    TrafficPanel* panel = form.trafficPanel();
    QVERIFY(panel);
    QVERIFY(!panel->isVisible()); // hidden until asked for
    auto* action = form.findChild<QAction*>("TrafficMonitorAction");
    QVERIFY(action);
    QCOMPARE(action->text(), QStringLiteral("通信监视"));
    action->trigger();
    QVERIFY(panel->isVisible());
    QVERIFY(panel->isPolling());

    EditLine(form, [&](LineChoice& line) { line.PortName = peer.path; });
    form.comkClick();
    QVERIFY(form.station().portOpen());
    form.checkPage()->BitBtn_CheckClick();
    QVERIFY(QTest::qWaitFor([&] { return panel->model()->exchangeCount() >= 2; }, 20000));
    form.checkPage()->StopCheck();
    QVERIFY(QTest::qWaitFor([&] { return form.session().isIdle(); }, 20000));
    const TrafficLog::Totals totals = form.trafficLog().totals();
    QVERIFY(totals.exchanges >= 2);
    QCOMPARE(totals.byOutcome[std::size_t(ExchangeOutcome::Timeout)], totals.exchanges);
    // The request line names the Modbus read the check sends, the reply line its timeout.
    QCOMPARE(panel->model()->CellText(0, TrafficModel::Direction), QStringLiteral("发送"));
    QVERIFY(panel->model()->CellText(0, TrafficModel::Decoded).contains(QStringLiteral("功能 03")));
    QCOMPARE(panel->model()->CellText(1, TrafficModel::Outcome), QStringLiteral("超时"));
    action->trigger();
    QVERIFY(!panel->isVisible());
    QVERIFY(!panel->isPolling());
    s.link.Close();
}

void MainFormTest::modelListFollowsTheDatabase() {
    RecordingMessages messages;
    Started s;
    QVERIFY(s.ok);
    TMainForm& form = s.form();
    auto* models = form.findChild<QComboBox*>("CB_CPType");
    models->setCurrentIndex(models->findText("KX7410D07-01"));
    form.CB_CPTypeChange();
    ProductModel added;
    added.cpxh = QStringLiteral("KX7410N01-01");
    added.fs = form.station().product().SchemeName;
    QVERIFY(form.database().InsertModel(added));
    form.ReloadModelList();
    QVERIFY(models->findText("KX7410N01-01") >= 0);
    QCOMPARE(models->currentText(), QStringLiteral("KX7410D07-01"));
    QCOMPARE(form.station().product().ModelName, QStringLiteral("KX7410D07-01"));
    // The model in work deleted: the first model is taken.
    QVERIFY(form.database().DeleteModel(QStringLiteral("KX7410D07-01")));
    form.ReloadModelList();
    QCOMPARE(models->currentIndex(), 0);
    QCOMPARE(form.station().product().ModelName, models->itemText(0));
    QCOMPARE(messages.shown, QStringList());
}

// Another station (a connection of its own) adds and deletes models while this one runs: the list
// shows them when it is next opened, and the product in work stays what was loaded.
void MainFormTest::modelListOpensWithTheModelsOfOtherStations() {
    RecordingMessages messages;
    Started s;
    QVERIFY(s.ok);
    TMainForm& form = s.form();
    auto* models = form.findChild<QComboBox*>("CB_CPType");
    models->setCurrentIndex(models->findText("KX7410D07-01"));
    form.CB_CPTypeChange();
    const int before = models->count();
    ProductDatabase other(form.database().filePath());
    QVERIFY(other.Open(QString()).isEmpty());
    ProductModel added;
    added.cpxh = QStringLiteral("KX7410N02-01");
    added.fs = form.station().product().SchemeName;
    QVERIFY(other.InsertModel(added));
    QVERIFY(other.DeleteModel(models->itemText(0)));
    QCOMPARE(models->findText("KX7410N02-01"), -1);

    models->showPopup();
    QCOMPARE(models->count(), before);
    QVERIFY(models->findText("KX7410N02-01") >= 0);
    QCOMPARE(models->currentText(), QStringLiteral("KX7410D07-01"));
    QCOMPARE(form.station().product().ModelName, QStringLiteral("KX7410D07-01"));
    models->hidePopup();
    QCOMPARE(messages.shown, QStringList());
}

void MainFormTest::runningCurvesLockTheWindow_data() {
    QTest::addColumn<bool>("engineering");
    QTest::addColumn<QString>("model");
    QTest::addColumn<bool>("userAfter");
    QTest::newRow("Modbus") << false << "KX7410M31-01" << true;
    QTest::newRow("大唐 keeps its user page hidden") << false << "KX7410T35-01" << false;
    QTest::newRow("engineering") << true << "KX7410M31-01" << true;
}

void MainFormTest::runningCurvesLockTheWindow() {
    QFETCH(bool, engineering);
    QFETCH(QString, model);
    QFETCH(bool, userAfter);
    RecordingMessages messages;
    Started s(engineering ? IniWith("Engineering=0", "Engineering=1") : ShippedIni());
    QVERIFY(s.ok);
    TMainForm& form = s.form();
    auto* models = form.findChild<QComboBox*>("CB_CPType");
    models->setCurrentIndex(models->findText(model));
    form.CB_CPTypeChange();
    auto* pages = form.pageControl();

    form.SetCurveControls(true);
    QVERIFY(!form.findChild<QWidget*>("comk")->isEnabled());
    QVERIFY(!models->isEnabled());
    QVERIFY(!pages->isTabVisible(TabIndex(form, "TabSheet1")));
    QVERIFY(!pages->isTabVisible(TabIndex(form, "TabSheet2")));
    QCOMPARE(pages->isTabVisible(TabIndex(form, "TabSheet3")), engineering);

    form.SetCurveControls(false);
    QVERIFY(form.findChild<QWidget*>("comk")->isEnabled());
    QVERIFY(models->isEnabled());
    QVERIFY(pages->isTabVisible(TabIndex(form, "TabSheet2")));
    QCOMPARE(pages->isTabVisible(TabIndex(form, "TabSheet4")), userAfter);
    QCOMPARE(pages->isTabVisible(TabIndex(form, "TabSheet1")), engineering);

    form.SetStatusText(QStringLiteral("发送：1    接收：1"));
    QCOMPARE(form.findChild<QLabel*>("StatusText")->text(), QStringLiteral("发送：1    接收：1"));
    QCOMPARE(messages.shown, QStringList());
}

void MainFormTest::upDownStaysInRange() {
    Started s;
    QVERIFY(s.ok);
    auto* arrows = s.form().calibrationPage()->findChild<UpDown*>("UpDown_Addr");
    QVERIFY(arrows);
    QCOMPARE(arrows->minimum(), 1);
    QCOMPARE(arrows->maximum(), 5000);
    QLineEdit* pt = arrows->buddy();
    QCOMPARE(pt->objectName(), QStringLiteral("LE_PT"));
    pt->setText("4999");
    arrows->stepBy(1);
    QCOMPARE(pt->text(), QStringLiteral("5000"));
    arrows->stepBy(1);
    QCOMPARE(pt->text(), QStringLiteral("5000"));
    pt->setText("1");
    arrows->stepBy(-1);
    QCOMPARE(pt->text(), QStringLiteral("1"));
    pt->setText("junk");
    arrows->stepBy(1);
    QCOMPARE(pt->text(), QStringLiteral("1"));
    QCOMPARE(s.form().calibrationPage()->findChild<UpDown*>("UpDown1")->maximum(), 9999);
}

void MainFormTest::secondInstanceIsRefused() {
    QTemporaryDir lockDir;
    SingleInstance first(QStringLiteral("/dev/ttyUSB0"), lockDir.path());
    QVERIFY(first.isFirst());
    // Another port is a station of its own; the same port is the running one.
    SingleInstance other(QStringLiteral("/dev/ttyUSB1"), lockDir.path());
    QVERIFY(other.isFirst());
    SingleInstance second(QStringLiteral("/dev/ttyUSB0"), lockDir.path());
    QVERIFY(!second.isFirst());

    // The second start asks the running window to the front and hears that it did.
    int raised = 0;
    connect(&first, &SingleInstance::raiseRequested, this, [&] { ++raised; });
    std::atomic<int> answer{-1};
    std::thread asker([&] { answer = second.BringRunningToFront() ? 1 : 0; });
    QTRY_VERIFY_WITH_TIMEOUT(answer != -1, 30000);
    asker.join();
    QCOMPARE(answer.load(), 1);
    QCOMPARE(raised, 1);
}

namespace {
QString HelpText(const QString& name) {
    QFile file(QStringLiteral(KX_SOURCE_DATA_DIR "/") + name);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
} // namespace

void MainFormTest::keysAndMenusReachTheirActions() {
    RecordingMessages messages;
    DataFolder folder(IniWith("Engineering=0", "Engineering=1"));
    auto db = folder.OpenDatabase();
    QVERIFY(db);
    SerialLink link;
    TMainForm form(folder.path(), link, *db);
    form.show();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));

    // F1: the help at the page on show, an anchor both help files have.
    const QString chinese = HelpText("HELP.HLP"), english = HelpText("HELP_en.HLP");
    QVERIFY(!chinese.isEmpty() && !english.isEmpty());
    for (int i = 0; i < form.pageControl()->count(); ++i) {
        form.pageControl()->setCurrentIndex(i);
        QTest::keyClick(&form, Qt::Key_F1);
        auto* viewer = form.findChild<HelpViewer*>();
        QVERIFY(viewer);
        const QString anchor = viewer->anchor();
        QVERIFY2(anchor != "contents", qPrintable(form.pageControl()->tabText(i)));
        for (const QString* help : {&chinese, &english})
            QVERIFY2(help->contains(QStringLiteral("name=\"%1\"").arg(anchor)), qPrintable(anchor));
        delete viewer;
    }
    for (const char* anchor : {"port", "settings", "admin", "errors", "calibration-procedure",
                               "error-port-in-use", "error-module-silent", "cli", "monitor"})
        QVERIFY2(chinese.contains(QStringLiteral("name=\"%1\"").arg(anchor)), anchor);

    // F5 is the check button: with the port closed it says so. Ctrl+S is the save button.
    form.pageControl()->setCurrentWidget(form.userPage());
    QTest::keyClick(&form, Qt::Key_F5);
    QCOMPARE(messages.shown, QStringList{"inform: 请打开串口！！"});
    QCOMPARE(form.pageControl()->currentWidget(), form.checkPage());
    messages.shown.clear();
    form.checkPage()->saveButton()->click();
    const QStringList byButton = messages.shown;
    QVERIFY(!byButton.isEmpty());
    messages.shown.clear();
    QTest::keyClick(&form, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(messages.shown, byButton);
    messages.shown.clear();

    // The menu entries and Alt+S open their dialogs (closed again at once from inside them).
    QStringList opened;
    const auto closeNextDialog = [&] {
        QTimer::singleShot(0, [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                opened << modal->objectName();
                modal->close();
            }
        });
    };
    auto* serial = form.findChild<QAction*>("SerialSettingsAction");
    auto* management = form.findChild<QAction*>("ManagementAction");
    QVERIFY(serial && management);
    closeNextDialog();
    serial->trigger();
    closeNextDialog();
    management->trigger();
    form.activateWindow(); // the dialogs had it
    QVERIFY(QTest::qWaitForWindowActive(&form));
    closeNextDialog();
    QTest::keyClick(&form, Qt::Key_S, Qt::AltModifier);
    QCOMPARE(opened.join(","), QStringLiteral("SetComForm,LoginForm,SetComForm"));

    // While the port is open the serial settings stay shut, from the menu as from the button.
    Pty pty;
    EditLine(form, [&](LineChoice& line) { line.PortName = pty.path; });
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QTest::keyClick(&form, Qt::Key_O, Qt::AltModifier);
    QVERIFY(form.station().portOpen());
    opened.clear();
    closeNextDialog();
    serial->trigger();
    QTest::qWait(0);
    QCOMPARE(opened, QStringList());
}

QTEST_MAIN(MainFormTest)
#include "main_form_test.moc"
