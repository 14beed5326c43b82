#include "app/main_form.h"
#include "app/messages.h"
#include "app/single_instance.h"
#include "link/serial_link.h"

#include <QComboBox>
#include <QLabel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <pty.h>
#include <unistd.h>

class MainFormTest : public QObject {
    Q_OBJECT
private slots:
    void startsWithTheDeliveredLayout();
    void portButtonOpensAndCloses();
    void portThatCannotOpenIsReported();
    void closingAsksFirst();
    void pageChangeNamesTheFunction();
    void secondInstanceIsRefused();

private:
    QTemporaryDir dir_;
};

void MainFormTest::startsWithTheDeliveredLayout() {
    SerialLink link;
    TMainForm form(dir_.path(), link);
    QCOMPARE(form.windowTitle(), QStringLiteral("KX7410M3三相电参数采集模块上位机软件   V1.0"));
    auto* pages = form.findChild<QTabWidget*>("PageControl1");
    QVERIFY(pages);
    QCOMPARE(pages->count(), 4);
    QVERIFY(!pages->isTabVisible(0));
    QVERIFY(pages->isTabVisible(1));
    QVERIFY(!pages->isTabVisible(2));
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("TabSheet2"));
    QVERIFY(form.findChild<QToolButton*>("ToolButton1")->isHidden());
    QVERIFY(form.findChild<QWidget*>("BitBtn14")->isHidden());
    QCOMPARE(form.findChild<QLabel*>("ComText")->text(), QStringLiteral("COM1,9600,N无,8,1"));
    QCOMPARE(form.findChild<QLabel*>("Stext1")->text(), QStringLiteral("配置"));
    QVERIFY(form.findChild<QLabel*>("StatusText")->text().isEmpty());
    QVERIFY(form.findChild<QWidget*>("ProgressBar")->isHidden());
    QCOMPARE(form.minimumSize(), QSize(840, 557));
    QVERIFY(form.findChild<QComboBox*>("CB_CPType"));
}

void MainFormTest::portButtonOpensAndCloses() {
    int master = -1, slave = -1;
    char name[256] = {};
    QVERIFY(openpty(&master, &slave, name, nullptr, nullptr) == 0);
    SerialLink link;
    TMainForm form(dir_.path(), link);
    form.PortName = QString::fromLocal8Bit(name);
    auto* comk = form.findChild<QToolButton*>("comk");
    auto* settings = form.findChild<QToolButton*>("ToolButton5");
    form.comkClick();
    QVERIFY(form.PortOpen);
    QVERIFY(link.IsOpen());
    QCOMPARE(comk->text(), QStringLiteral("关闭串口"));
    QVERIFY(comk->isChecked());
    QVERIFY(!settings->isEnabled());
    form.comkClick();
    QVERIFY(!form.PortOpen);
    QVERIFY(!link.IsOpen());
    QCOMPARE(comk->text(), QStringLiteral("打开串口"));
    QVERIFY(!comk->isChecked());
    QVERIFY(settings->isEnabled());
    ::close(slave);
    ::close(master);
}

void MainFormTest::portThatCannotOpenIsReported() {
    RecordingMessages messages;
    SerialLink link;
    TMainForm form(dir_.path(), link);
    form.PortName = dir_.filePath("no-such-device");
    form.comkClick();
    QCOMPARE(messages.shown, QStringList{"inform: 初始化失败！！"});
    QVERIFY(!form.PortOpen);
    QCOMPARE(form.findChild<QToolButton*>("comk")->text(), QStringLiteral("打开串口"));
    QVERIFY(form.findChild<QToolButton*>("ToolButton5")->isEnabled());
}

void MainFormTest::closingAsksFirst() {
    RecordingMessages messages;
    SerialLink link;
    TMainForm form(dir_.path(), link);
    form.show();
    messages.answers = {false};
    QVERIFY(!form.close());
    QVERIFY(form.isVisible());
    messages.answers = {true};
    QVERIFY(form.close());
    QCOMPARE(messages.shown, (QStringList{"ask: 确定退出吗?", "ask: 确定退出吗?"}));
}

void MainFormTest::pageChangeNamesTheFunction() {
    SerialLink link;
    TMainForm form(dir_.path(), link);
    auto* status = form.findChild<QLabel*>("StatusText");
    status->setText("busy");
    form.PageControl1Change(3);
    QCOMPARE(form.findChild<QLabel*>("Stext1")->text(), QStringLiteral("配置"));
    QVERIFY(status->text().isEmpty());
    form.PageControl1Change(1);
    QCOMPARE(form.findChild<QLabel*>("Stext1")->text(), QStringLiteral("检验"));
}

void MainFormTest::secondInstanceIsRefused() {
    QTemporaryDir lockDir;
    SingleInstance first(lockDir.path());
    QVERIFY(first.isFirst());
    SingleInstance second(lockDir.path());
    QVERIFY(!second.isFirst());
}

QTEST_MAIN(MainFormTest)
#include "main_form_test.moc"
