#include "gui/calib/calibration_page.h"
#include "gui/calib/user_page.h"
#include "gui/kit/messages.h"
#include "gui/main/main_form.h"
#include "link/serial_link.h"
#include "recording_messages.h"
#include "store/database.h"

#include "app_fixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>

// The product selection on a window over a seeded database; each test adds the rows it needs.
class ProductSelectionTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void loadsTheModelAndItsScheme();
    void protocolArrangesThePages_data();
    void protocolArrangesThePages();
    void seriesRuleLocksTheProductParameters_data();
    void seriesRuleLocksTheProductParameters();
    void editableModelShowsItsValues();
    void segmentedCalibrationEnablesSegments_data();
    void segmentedCalibrationEnablesSegments();
    void unknownProtocolChangesNoPage();
    void failuresStopTheLoad_data();
    void failuresStopTheLoad();

private:
    void Select(const QString& model);
    QWidget* Control(const char* name) const;
    bool TabShown(const char* name) const;

    std::unique_ptr<DataFolder> folder_;
    std::unique_ptr<ProductDatabase> db_;
    std::unique_ptr<SerialLink> link_;
    std::unique_ptr<RecordingMessages> messages_;
    std::unique_ptr<TMainForm> form_;
};

void ProductSelectionTest::init() {
    folder_ = std::make_unique<DataFolder>();
    db_ = folder_->OpenDatabase();
    QVERIFY(db_);
    ProductModel extra;
    extra.fs = QStringLiteral("ModBus标准方式");
    extra.btlgs = 0;
    extra.jxms = 2;
    extra.upt = 35;
    extra.ict = 200;
    extra.ctnum = 1;
    extra.xljsfs = 1;
    for (const char* name : {"KX2954B35-01", "KX295", "kx2953B35-01", "XK2953B35-01", "KX2953"}) {
        extra.cpxh = QLatin1String(name);
        QVERIFY(db_->InsertModel(extra));
    }
    link_ = std::make_unique<SerialLink>();
    messages_ = std::make_unique<RecordingMessages>();
    form_ = std::make_unique<TMainForm>(folder_->path(), *link_, *db_);
    QCOMPARE(messages_->shown, QStringList());
}

void ProductSelectionTest::cleanup() {
    form_.reset();
    messages_.reset();
    link_.reset();
    db_.reset();
    folder_.reset();
}

void ProductSelectionTest::Select(const QString& model) {
    auto* list = form_->findChild<QComboBox*>("CB_CPType");
    int index = list->findText(model);
    if (index < 0) {
        list->addItem(model);
        index = list->count() - 1;
    }
    list->setCurrentIndex(index);
    form_->CB_CPTypeChange();
}

QWidget* ProductSelectionTest::Control(const char* name) const {
    return form_->findChild<QWidget*>(QLatin1String(name));
}

bool ProductSelectionTest::TabShown(const char* name) const {
    return form_->pageControl()->isTabVisible(form_->pageControl()->indexOf(Control(name)));
}

void ProductSelectionTest::loadsTheModelAndItsScheme() {
    Select("KX7410D07-01");
    QCOMPARE(messages_->shown, QStringList());
    TMainForm& f = *form_;
    QCOMPARE(f.station().product().ModelName, QStringLiteral("KX7410D07-01"));
    QCOMPARE(f.station().product().SchemeName, QStringLiteral("DLT645-2007方式"));
    const int model[] = {f.station().product().BTLGS, f.station().product().JXMS,
                         f.station().product().UPT,   f.station().product().ICT,
                         f.station().product().CTNUM, f.station().product().XLJSFS};
    const int modelExpected[] = {3, 0, 10, 100, 1, 0};
    for (int i = 0; i < 6; ++i)
        QCOMPARE(model[i], modelExpected[i]);
    const int scheme[] = {
        f.station().product().UBLFX,  f.station().product().UBL,     f.station().product().IBLFX,
        f.station().product().IBL,    f.station().product().PBLFX,   f.station().product().PBL,
        f.station().product().EBLFX,  f.station().product().EBL,     f.station().product().TXXY,
        f.station().product().SDBJXS, f.station().product().CSLXSN,  f.station().product().FDBDSN,
        f.station().product().CSFHSN, f.station().product().GLYSFXSN};
    const int schemeExpected[] = {43605, 1, 0, 1, 0, 1, 0, 1, 2, 80, 0, 0, 43605, 0};
    for (int i = 0; i < 14; ++i)
        QCOMPARE(scheme[i], schemeExpected[i]);
    QVERIFY(f.station().product().UserParamsEditable);
    QCOMPARE(f.protocol(), 2);
}

// visibility columns: 1 shown, 0 hidden, -1 as the previous model left it
void ProductSelectionTest::protocolArrangesThePages_data() {
    QTest::addColumn<QString>("previous");
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("txxy");
    QTest::addColumn<bool>("userTab");
    QTest::addColumn<bool>("parameters");  // Panel10, BitBtn5
    QTest::addColumn<bool>("yaao");        // Panel11, YH_LEdit_DS, BitBtn10..13
    QTest::addColumn<bool>("clearDemand"); // BitBtn8
    QTest::addColumn<bool>("dataModes");   // RButton_PZdata, RButton_XBdata
    QTest::addColumn<int>("checkLeft");    // BitBtn_Check
    const struct {
        const char* row;
        const char* previous;
        const char* model;
        int txxy;
        bool userTab, parameters, yaao, clearDemand, dataModes;
        int checkLeft;
    } rows[] = {
        {"Modbus after 亚奥", "KX7410Y35-01", "KX7410M31-01", 0, true, true, false, true, true,
         240},
        {"1997 after 亚奥", "KX7410Y35-01", "KX7410D97-01", 1, true, true, false, true, false, 48},
        {"2007 after 亚奥", "KX7410Y35-01", "KX7410D07-01", 2, true, true, false, true, false, 48},
        {"亚奥 after Modbus", "KX7410M31-01", "KX7410Y35-01", 3, true, false, true, true, false,
         48},
        // The 大唐 page is hidden as a whole; its parts stay as the previous model left them.
        {"大唐 after Modbus", "KX7410M31-01", "KX7410T35-01", 4, false, true, false, false, false,
         48},
        {"大唐 after 亚奥", "KX7410Y35-01", "KX7410T35-01", 4, false, false, true, false, false,
         48},
        {"Modbus after 大唐", "KX7410T35-01", "KX7410M31-01", 0, true, true, false, true, true,
         240},
    };
    for (const auto& r : rows)
        QTest::newRow(r.row) << QString::fromUtf8(r.previous) << QString::fromUtf8(r.model)
                             << r.txxy << r.userTab << r.parameters << r.yaao << r.clearDemand
                             << r.dataModes << r.checkLeft;
}

void ProductSelectionTest::protocolArrangesThePages() {
    QFETCH(QString, previous);
    QFETCH(QString, model);
    QFETCH(int, txxy);
    QFETCH(bool, userTab);
    QFETCH(bool, parameters);
    QFETCH(bool, yaao);
    QFETCH(bool, clearDemand);
    QFETCH(bool, dataModes);
    QFETCH(int, checkLeft);
    Select(previous);
    // The protocol button is re-enabled only by a wiring-mode write; pretend one happened.
    Control("BitBtn4")->setEnabled(true);
    Select(model);
    QCOMPARE(messages_->shown, QStringList());
    QCOMPARE(form_->station().product().TXXY, txxy);
    QCOMPARE(TabShown("TabSheet4"), userTab);
    QVERIFY(TabShown("TabSheet2"));
    for (const char* name : {"Panel10", "BitBtn5"})
        QVERIFY2(Control(name)->isHidden() != parameters, name);
    for (const char* name :
         {"Panel11", "YH_LEdit_DS", "BitBtn10", "BitBtn11", "BitBtn12", "BitBtn13"})
        QVERIFY2(Control(name)->isHidden() != yaao, name);
    QVERIFY(!Control("BitBtn7")->isHidden());
    QCOMPARE(!Control("BitBtn8")->isHidden(), clearDemand);
    for (const char* name : {"RButton_PZdata", "RButton_XBdata"})
        QVERIFY2(Control(name)->isHidden() != dataModes, name);
    QCOMPARE(Control("BitBtn_Check")->x(), checkLeft);
    QVERIFY(!Control("BitBtn4")->isEnabled());
}

void ProductSelectionTest::seriesRuleLocksTheProductParameters_data() {
    QTest::addColumn<QString>("model");
    QTest::addColumn<bool>("editable");
    QTest::newRow("KX2953B35-01") << "KX2953B35-01" << false;
    QTest::newRow("exactly KX2953") << "KX2953" << false;
    QTest::newRow("sixth character differs") << "KX2954B35-01" << true;
    QTest::newRow("first character differs") << "XK2953B35-01" << true;
    QTest::newRow("lower case") << "kx2953B35-01" << true;
    QTest::newRow("shorter than six") << "KX295" << true;
}

void ProductSelectionTest::seriesRuleLocksTheProductParameters() {
    QFETCH(QString, model);
    QFETCH(bool, editable);
    // From the opposite state, so that each rule both enables and disables.
    Select(editable ? "KX2953B35-01" : "KX7410M31-01");
    Select(model);
    QCOMPARE(messages_->shown, QStringList());
    QCOMPARE(form_->station().product().UserParamsEditable, editable);
    for (const char* name : {"Label2", "Label8", "CB_NetType", "LE_PT", "LE_CT", "UpDown_Addr",
                             "UpDown1", "Label3", "CB_CT_Num", "Label7", "CBox_XLType"})
        QVERIFY2(Control(name)->isEnabled() == editable, name);
    // The frame format list stays disabled either way.
    QVERIFY(!Control("CB_CheckoutType")->isEnabled());
}

void ProductSelectionTest::editableModelShowsItsValues() {
    auto* demand = form_->calibrationPage()->findChild<QComboBox*>("CBox_XLType");
    demand->setCurrentIndex(0);
    Select("KX2954B35-01"); // BTLGS 0, JXMS 2, UPT 35, ICT 200, CTNUM 1, XLJSFS 1
    const auto combo = [this](const char* name) {
        return form_->calibrationPage()->findChild<QComboBox*>(QLatin1String(name))->currentIndex();
    };
    const auto text = [this](const char* name) {
        return form_->calibrationPage()->findChild<QLineEdit*>(QLatin1String(name))->text();
    };
    QCOMPARE(combo("CB_CheckoutType"), 0);
    QCOMPARE(combo("CB_NetType"), 2);
    QCOMPARE(combo("CB_CT_Num"), 1);
    QCOMPARE(text("LE_PT"), QStringLiteral("35"));
    QCOMPARE(text("LE_CT"), QStringLiteral("200"));
    // The demand method list keeps its own selection.
    QCOMPARE(combo("CBox_XLType"), 0);
    // A series model leaves the fields as they were.
    Select("KX2953B35-01"); // BTLGS 3, UPT 1
    QCOMPARE(combo("CB_CheckoutType"), 0);
    QCOMPARE(text("LE_PT"), QStringLiteral("35"));
    QCOMPARE(form_->station().product().UPT, 1);
}

void ProductSelectionTest::segmentedCalibrationEnablesSegments_data() {
    QTest::addColumn<QString>("model");
    QTest::addColumn<bool>("segmented");
    QTest::newRow("FDBDSN 0xAA55") << "KX7410M31-01" << true;
    QTest::newRow("FDBDSN 0x0000") << "KX7410D97-01" << false;
}

void ProductSelectionTest::segmentedCalibrationEnablesSegments() {
    QFETCH(QString, model);
    QFETCH(bool, segmented);
    Select(segmented ? "KX7410D97-01" : "KX7410M31-01");
    Select(model);
    for (const char* name :
         {"BitBtn_VIP2", "Radio_50HZ_2", "Radio_60HZ_2", "BitBtn_BCFW2", "BitBtn_PBC2",
          "BitBtn_VIP3", "Radio_50HZ_3", "Radio_60HZ_3", "BitBtn_BCFW3", "BitBtn_PBC3"})
        QVERIFY2(Control(name)->isEnabled() == segmented, name);
    // Segment 1 and the phase compensation of segments 2 and 3 are not the rule's.
    QVERIFY(Control("BitBtn_VIP1")->isEnabled());
    QVERIFY(!Control("BitBtn_VXW2")->isEnabled());
    QVERIFY(!Control("BitBtn_VXW3")->isEnabled());
}

void ProductSelectionTest::unknownProtocolChangesNoPage() {
    Scheme odd;
    odd.fs = QStringLiteral("seven");
    odd.txxy = 7;
    QVERIFY(db_->InsertScheme(odd));
    ProductModel model;
    model.cpxh = QStringLiteral("KX7410X77-01");
    model.fs = odd.fs;
    QVERIFY(db_->InsertModel(model));
    Select("KX7410T35-01"); // hides the user tab
    Control("BitBtn4")->setEnabled(true);
    Select("KX7410X77-01");
    QCOMPARE(messages_->shown, QStringList());
    QCOMPARE(form_->station().product().TXXY, 7);
    QVERIFY(!TabShown("TabSheet4"));
    QVERIFY(!Control("BitBtn4")->isEnabled());
}

void ProductSelectionTest::failuresStopTheLoad_data() {
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("schemeAfter");
    QTest::addColumn<int>("txxyAfter");
    QTest::newRow("no such model") << "KX0000"
                                   << "error: '' is not a valid integer value"
                                   << "" << 3;
    QTest::newRow("no such scheme") << "KX7410N00-01"
                                    << "error: '' is not a valid integer value"
                                    << "nowhere" << 3;
    QTest::newRow("flag not a number") << "KX7410B00-01"
                                       << "error: 'abc' is not a valid integer value"
                                       << "bad flags" << 3;
}

void ProductSelectionTest::failuresStopTheLoad() {
    QFETCH(QString, model);
    QFETCH(QString, message);
    QFETCH(QString, schemeAfter);
    QFETCH(int, txxyAfter);
    ProductModel orphan;
    orphan.cpxh = QStringLiteral("KX7410N00-01");
    orphan.fs = QStringLiteral("nowhere");
    QVERIFY(db_->InsertModel(orphan));
    Scheme bad;
    bad.fs = QStringLiteral("bad flags");
    bad.ublfx = QStringLiteral("abc");
    QVERIFY(db_->InsertScheme(bad));
    ProductModel badModel;
    badModel.cpxh = QStringLiteral("KX7410B00-01");
    badModel.fs = bad.fs;
    QVERIFY(db_->InsertModel(badModel));

    Select("KX7410Y35-01");
    messages_->shown.clear();
    Select(model);
    QCOMPARE(messages_->shown, QStringList{message});
    QCOMPARE(form_->station().product().ModelName, model);
    QCOMPARE(form_->station().product().SchemeName, schemeAfter);
    // What the load did not reach keeps the previous model's values.
    QCOMPARE(form_->station().product().TXXY, txxyAfter);
    QCOMPARE(form_->station().product().UBLFX, 43605);
}

QTEST_MAIN(ProductSelectionTest)
#include "product_selection_test.moc"
