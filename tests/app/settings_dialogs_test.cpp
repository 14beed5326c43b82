#include "common/conversion.h"
#include "gui/kit/messages.h"
#include "gui/main/main_form.h"
#include "gui/settings/setcheck_dialog.h"
#include "gui/settings/setcom_dialog.h"
#include "link/serial_link.h"
#include "recording_messages.h"
#include "store/database.h"
#include "store/settings.h"

#include "app_fixture.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

class SettingsDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void portListIsSortedAsText();
    void opensWithTheStoredSettings();
    void brokenSetComStillOpens();
    void confirmStoresAndHandsOver_data();
    void confirmStoresAndHandsOver();
    void addressThatIsNotANumberWritesNothing();
    void noPortSelectedGivesAnEmptyName();
    void aTypedNetworkPortIsKeptAmongTheRecentOnes();
    void storedPortNameWinsOverTheIndex_data();
    void storedPortNameWinsOverTheIndex();
    void confirmStoresThePortName();
    void savedChoiceForTheStart_data();
    void savedChoiceForTheStart();
    void portStatusText_data();
    void portStatusText();
    void inspectionShowsShortestTexts();
    void inspectionSavesTheSameTexts();
    void inspectionFieldNotANumberWritesNothing_data();
    void inspectionFieldNotANumberWritesNothing();
    void incompleteSetCheckDoesNotOpen();
};

namespace {
QStringList Items(QComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->itemText(i);
    return items;
}

const QStringList kPorts{"COM2", "COM10", "COM1"};
} // namespace

void SettingsDialogsTest::portListIsSortedAsText() {
    RecordingMessages messages;
    DataFolder folder(IniWith("port=0", "port=2"));
    TSetComForm dialog(folder.path(), kPorts);
    auto* list = dialog.findChild<QComboBox*>("CB_Com_list");
    QCOMPARE(Items(list), (QStringList{"COM1", "COM10", "COM2"}));
    QCOMPARE(list->currentText(), QStringLiteral("COM2"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("系统通信设置"));
    QCOMPARE(messages.shown, QStringList());
}

void SettingsDialogsTest::opensWithTheStoredSettings() {
    DataFolder folder;
    SaveSerialSettings(folder.path(), {1, 5, 2, 0, 1, 17});
    TSetComForm dialog(folder.path(), kPorts);
    const auto list = [&](const char* name) { return dialog.findChild<QComboBox*>(name); };
    QCOMPARE(list("CB_Com_list")->currentText(), QStringLiteral("COM10"));
    QCOMPARE(Items(list("CB_Baudrate_list")),
             (QStringList{"1200", "2400", "4800", "9600", "19200", "38400"}));
    QCOMPARE(list("CB_Baudrate_list")->currentText(), QStringLiteral("38400"));
    QCOMPARE(Items(list("CB_Parity_list")), (QStringList{"N无", "O奇", "E偶"}));
    QCOMPARE(list("CB_Parity_list")->currentText(), QStringLiteral("E偶"));
    QCOMPARE(Items(list("CB_Databits_list")), (QStringList{"6", "7", "8"}));
    QCOMPARE(list("CB_Databits_list")->currentText(), QStringLiteral("6"));
    QCOMPARE(Items(list("CB_Stopbits_list")), (QStringList{"1", "2"}));
    QCOMPARE(list("CB_Stopbits_list")->currentText(), QStringLiteral("2"));
    QCOMPARE(dialog.findChild<QLineEdit*>("Edit_Addr")->text(), QStringLiteral("17"));
    // An index outside its list leaves that list without a selection.
    SaveSerialSettings(folder.path(), {7, 3, 0, 2, 0, 1});
    TSetComForm again(folder.path(), kPorts);
    QCOMPARE(again.findChild<QComboBox*>("CB_Com_list")->currentIndex(), -1);
    QCOMPARE(again.findChild<QComboBox*>("CB_Baudrate_list")->currentIndex(), 3);
}

void SettingsDialogsTest::brokenSetComStillOpens() {
    RecordingMessages messages;
    DataFolder folder(IniWith("baudrate=3", "baudrate=fast"));
    TSetComForm dialog(folder.path(), kPorts);
    QCOMPARE(messages.shown.size(), 1);
    QVERIFY2(messages.shown[0].startsWith("error: ") && messages.shown[0].contains("fast"),
             qPrintable(messages.shown[0]));
    auto* list = dialog.findChild<QComboBox*>("CB_Com_list");
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->currentIndex(), -1);
}

void SettingsDialogsTest::confirmStoresAndHandsOver_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("moduleAddress");
    QTest::newRow("1") << "1" << 1 << 1;
    QTest::newRow("255") << "255" << 255 << 255;
    QTest::newRow("300 wraps to one byte") << "300" << 300 << 44;
    QTest::newRow("hex") << "0x20" << 32 << 32;
}

void SettingsDialogsTest::confirmStoresAndHandsOver() {
    QFETCH(QString, address);
    QFETCH(int, stored);
    QFETCH(int, moduleAddress);
    RecordingMessages messages;
    DataFolder folder(IniWith("port=0", "port=2"));
    TSetComForm dialog(folder.path(), kPorts);
    dialog.findChild<QComboBox*>("CB_Baudrate_list")->setCurrentIndex(4);
    dialog.findChild<QComboBox*>("CB_Parity_list")->setCurrentIndex(1);
    dialog.findChild<QLineEdit*>("Edit_Addr")->setText(address);
    QVERIFY(dialog.BitBtn1Click());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(LoadSerialSettings(folder.path()), (SavedSerialSettings{2, 4, 1, 2, 0, stored}));

    auto db = folder.OpenDatabase();
    QVERIFY(db);
    SerialLink link;
    TMainForm form(folder.path(), link, *db);
    form.ApplySerialChoice(dialog.choice());
    QCOMPARE(form.findChild<QLabel*>("ComText")->text(), QStringLiteral("COM2,19200,O奇,8,1"));
    QCOMPARE(form.station().line().PortName, QStringLiteral("COM2"));
    QCOMPARE(form.station().line().PortIndex, 2);
    QCOMPARE(form.station().line().BaudIndex, 4);
    QCOMPARE(form.station().line().ParityIndex, 1);
    QCOMPARE(form.station().line().DataBitsIndex, 2);
    QCOMPARE(form.station().line().StopBitsIndex, 0);
    QCOMPARE(int(form.station().line().ModuleAddress), moduleAddress);
    QCOMPARE(messages.shown, QStringList());
}

void SettingsDialogsTest::addressThatIsNotANumberWritesNothing() {
    RecordingMessages messages;
    DataFolder folder;
    const QByteArray before = folder.ReadIni();
    TSetComForm dialog(folder.path(), kPorts);
    dialog.findChild<QComboBox*>("CB_Baudrate_list")->setCurrentIndex(0);
    dialog.findChild<QLineEdit*>("Edit_Addr")->setText("abc");
    QVERIFY(!dialog.BitBtn1Click());
    QCOMPARE(messages.shown, QStringList{"error: 地址：“abc”不是有效的整数"});
    QCOMPARE(folder.ReadIni(), before);
    QVERIFY(dialog.result() != QDialog::Accepted);
    QCOMPARE(dialog.choice().portText, QString());
}

void SettingsDialogsTest::noPortSelectedGivesAnEmptyName() {
    DataFolder folder;
    TSetComForm dialog(folder.path(), {});
    QVERIFY(dialog.BitBtn1Click());
    QCOMPARE(LoadSerialSettings(folder.path()).port, -1);
    QCOMPARE(dialog.choice().portIndex, -1);
    QCOMPARE(dialog.choice().portName, QString());
    QCOMPARE(dialog.choice().portText, QStringLiteral(",9600,N无,8,1"));
}

void SettingsDialogsTest::aTypedNetworkPortIsKeptAmongTheRecentOnes() {
    DataFolder folder;
    const auto type = [&](const QString& port) {
        TSetComForm dialog(folder.path(), kPorts);
        auto* list = dialog.findChild<QComboBox*>("CB_Com_list");
        QVERIFY(list->isEditable());
        list->setEditText(port);
        QVERIFY(dialog.BitBtn1Click());
        QCOMPARE(dialog.choice().portName, port);
        QCOMPARE(dialog.choice().portIndex, -1);
    };
    type(QStringLiteral("tcp://192.168.1.50:4001"));
    type(QStringLiteral("tcp://10.0.0.7:4002"));
    type(QStringLiteral("tcp://192.168.1.50:4001"));
    QCOMPARE(LoadPortName(folder.path()), QStringLiteral("tcp://192.168.1.50:4001"));
    QCOMPARE(LoadRecentPorts(folder.path()),
             (QStringList{"tcp://192.168.1.50:4001", "tcp://10.0.0.7:4002"}));
    // The next opening offers them after the local ports and selects the one in use.
    TSetComForm dialog(folder.path(), kPorts);
    auto* list = dialog.findChild<QComboBox*>("CB_Com_list");
    QCOMPARE(list->currentText(), QStringLiteral("tcp://192.168.1.50:4001"));
    QCOMPARE(list->count(), kPorts.size() + 2);
    QCOMPARE(list->itemText(list->count() - 1), QStringLiteral("tcp://10.0.0.7:4002"));
    // At most the newest eight.
    for (int i = 0; i < 10; ++i)
        AddRecentPort(folder.path(), QStringLiteral("tcp://h%1:1").arg(i));
    QCOMPARE(LoadRecentPorts(folder.path()).size(), kMaxRecentPorts);
    QCOMPARE(LoadRecentPorts(folder.path()).first(), QStringLiteral("tcp://h9:1"));
}

void SettingsDialogsTest::storedPortNameWinsOverTheIndex_data() {
    QTest::addColumn<QByteArray>("setCom");
    QTest::addColumn<QString>("selected");
    QTest::newRow("name and a stale index") << QByteArray("port=0\nportname=COM2") << "COM2";
    QTest::newRow("older file: index only") << QByteArray("port=1") << "COM10";
    QTest::newRow("empty name: index") << QByteArray("port=1\nportname=") << "COM10";
    QTest::newRow("device away") << QByteArray("port=0\nportname=/dev/ttyUSB7") << "";
}

void SettingsDialogsTest::storedPortNameWinsOverTheIndex() {
    QFETCH(QByteArray, setCom);
    QFETCH(QString, selected);
    RecordingMessages messages;
    DataFolder folder(IniWith("port=0", setCom));
    TSetComForm dialog(folder.path(), kPorts);
    QCOMPARE(dialog.findChild<QComboBox*>("CB_Com_list")->currentText(), selected);
    QCOMPARE(messages.shown, QStringList());
}

void SettingsDialogsTest::confirmStoresThePortName() {
    RecordingMessages messages;
    DataFolder folder(IniWith("port=0", "port=2"));
    TSetComForm dialog(folder.path(), kPorts);
    dialog.findChild<QComboBox*>("CB_Com_list")->setCurrentIndex(1);
    QVERIFY(dialog.BitBtn1Click());
    QCOMPARE(LoadSerialSettings(folder.path()).port, 1);
    QCOMPARE(LoadPortName(folder.path()), QStringLiteral("COM10"));
    // The frame-format switch writes the six keys and leaves the name as it was.
    SaveSerialSettings(folder.path(), {1, 3, 2, 2, 0, 1});
    QCOMPARE(LoadPortName(folder.path()), QStringLiteral("COM10"));
    // Another list order: the dialog still finds the port by its name.
    TSetComForm again(folder.path(), {"COM10", "COM0", "COM3"});
    QCOMPARE(again.findChild<QComboBox*>("CB_Com_list")->currentText(), QStringLiteral("COM10"));
    QCOMPARE(again.findChild<QComboBox*>("CB_Parity_list")->currentIndex(), 2);
}

void SettingsDialogsTest::savedChoiceForTheStart_data() {
    QTest::addColumn<QByteArray>("setCom");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<QString>("portName");
    QTest::addColumn<int>("portIndex");
    QTest::addColumn<QString>("portText");
    QTest::newRow("name present") << QByteArray("port=0\nportname=COM2") << true << "COM2" << 2
                                  << "COM2,9600,N无,8,1";
    QTest::newRow("name away: kept, so opening names it")
        << QByteArray("port=0\nportname=/dev/ttyUSB7") << true << "/dev/ttyUSB7" << -1
        << "/dev/ttyUSB7,9600,N无,8,1";
    QTest::newRow("older file: the index")
        << QByteArray("port=1") << true << "COM10" << 1 << "COM10,9600,N无,8,1";
    QTest::newRow("index outside the list")
        << QByteArray("port=5") << true << "" << 5 << ",9600,N无,8,1";
    QTest::newRow("parity outside its table")
        << QByteArray("port=0\nparity=3") << false << "" << 0 << "";
}

void SettingsDialogsTest::savedChoiceForTheStart() {
    QFETCH(QByteArray, setCom);
    QFETCH(bool, taken);
    QFETCH(QString, portName);
    QFETCH(int, portIndex);
    QFETCH(QString, portText);
    QByteArray ini = IniWith("port=0", setCom);
    if (setCom.contains("parity")) ini.replace("parity=0\n", "").replace("parity=0\r\n", "");
    DataFolder folder(ini);
    const std::optional<SerialChoice> choice = SavedSerialChoice(folder.path(), kPorts);
    QCOMPARE(choice.has_value(), taken);
    if (!choice) return;
    QCOMPARE(choice->portName, portName);
    QCOMPARE(choice->portIndex, portIndex);
    QCOMPARE(choice->portText, portText);
}

void SettingsDialogsTest::portStatusText_data() {
    QTest::addColumn<QString>("port");
    QTest::addColumn<QList<int>>("indexes");
    QTest::addColumn<QString>("text");
    QTest::newRow("start-up") << "COM1" << QList<int>{3, 0, 2, 0} << "COM1,9600,N无,8,1";
    QTest::newRow("all last") << "COM10" << QList<int>{5, 2, 2, 1} << "COM10,38400,E偶,8,2";
    QTest::newRow("all first") << "/dev/ttyS0" << QList<int>{0, 1, 0, 0}
                               << "/dev/ttyS0,1200,O奇,6,1";
    QTest::newRow("outside the tables") << "COM1" << QList<int>{6, -1, 3, 2} << "COM1,,,,";
}

void SettingsDialogsTest::portStatusText() {
    QFETCH(QString, port);
    QFETCH(QList<int>, indexes);
    QFETCH(QString, text);
    QCOMPARE(PortStatusText(port, indexes[0], indexes[1], indexes[2], indexes[3]), text);
}

void SettingsDialogsTest::inspectionShowsShortestTexts() {
    DataFolder folder;
    SaveCheckSettings(folder.path(), {57.7, 1.5, 0.01, 0.2, 0.5, 1, 0.5, 1, 2});
    TSetCheckForm dialog(folder.path());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("检验参数配置"));
    const struct {
        const char* name;
        const char* text;
    } expected[] = {{"LE_StandVol", "57.7"}, {"LE_StandCur", "1.5"}, {"LE_StandF", "0.01"},
                    {"LE_StandU", "0.2"},    {"LE_StandI", "0.5"},   {"LE_StandC", "1"},
                    {"LE_StandP", "0.5"},    {"LE_StandQ", "1"},     {"LE_StandS", "2"}};
    for (const auto& e : expected)
        QCOMPARE(dialog.findChild<QLineEdit*>(e.name)->text(), QString::fromLatin1(e.text));
}

void SettingsDialogsTest::inspectionSavesTheSameTexts() {
    DataFolder folder;
    const QByteArray before = folder.ReadIni();
    TSetCheckForm dialog(folder.path());
    QCOMPARE(dialog.findChild<QLineEdit*>("LE_StandU")->text(), QStringLiteral("0.2"));
    QCOMPARE(dialog.findChild<QLineEdit*>("LE_StandVol")->text(), QStringLiteral("220"));
    QVERIFY(dialog.BitBtn1Click());
    QCOMPARE(folder.ReadIni(), before);
    dialog.findChild<QLineEdit*>("LE_StandS")->setText(" 1.25 ");
    QVERIFY(dialog.BitBtn1Click());
    QCOMPARE(LoadCheckSettings(folder.path()).JDS, 1.25);
}

void SettingsDialogsTest::inspectionFieldNotANumberWritesNothing_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("caption");
    QTest::newRow("first") << "LE_StandVol"
                           << "abc"
                           << "额定电压(V)：";
    QTest::newRow("last") << "LE_StandS"
                          << "abc"
                          << "视在功率(级)：";
    QTest::newRow("empty") << "LE_StandF"
                           << ""
                           << "频率(Hz)：";
    QTest::newRow("comma") << "LE_StandCur"
                           << "5,0"
                           << "额定电流(A)：";
}

void SettingsDialogsTest::inspectionFieldNotANumberWritesNothing() {
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, caption);
    RecordingMessages messages;
    DataFolder folder;
    const QByteArray before = folder.ReadIni();
    TSetCheckForm dialog(folder.path());
    dialog.findChild<QLineEdit*>("LE_StandP")->setText("0.7"); // a valid edit beside the bad one
    dialog.findChild<QLineEdit*>(field)->setText(text);
    QVERIFY(!dialog.BitBtn1Click());
    QCOMPARE(messages.shown.size(), 1);
    // The field by its caption, and the text as typed.
    QCOMPARE(messages.shown[0], "error: " + caption + "“" + text + "”不是有效的数值");
    QCOMPARE(folder.ReadIni(), before);
    QVERIFY(dialog.result() != QDialog::Accepted);
}

void SettingsDialogsTest::incompleteSetCheckDoesNotOpen() {
    DataFolder folder(IniWith("JDQ=0.5", ""));
    bool thrown = false;
    try {
        TSetCheckForm dialog(folder.path());
    } catch (const ConversionError& e) {
        thrown = true;
        QVERIFY2(e.text().contains("JDQ"), qPrintable(e.text()));
    }
    QVERIFY(thrown);
}

QTEST_MAIN(SettingsDialogsTest)
#include "settings_dialogs_test.moc"
