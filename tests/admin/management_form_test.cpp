#include "gui/admin/management_form.h"
#include "gui/kit/messages.h"
#include "recording_messages.h"

#include "admin_fixture.h"
#include "admin_window.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTest>

#include <optional>

class ManagementFormTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void opensOnTheFirstScheme();
    void dropDownEditorsOfTheGrid();
    void emptyEntrySwitchesToEntryModeAndBack();
    void createsASchemeInListOrder();
    void duplicateNameIsRefused();
    void modifyKeepsTheNewOrder();
    void aSchemeChangedElsewhereAsksBeforeOverwriting_data();
    void aSchemeChangedElsewhereAsksBeforeOverwriting();
    void refusalsWriteNothing_data();
    void refusalsWriteNothing();
    void yaaoRegisterLimit_data();
    void yaaoRegisterLimit();
    void failurePartWayLeavesTheDatabaseAsItWas_data();
    void failurePartWayLeavesTheDatabaseAsItWas();
    void deleteAsksFirst_data();
    void deleteAsksFirst();
    void moveUpAndDownStopAtTheEnds();
    void addTakesFromTheAvailableList();
    void removeReturnsToTheCataloguePosition_data();
    void removeReturnsToTheCataloguePosition();
    void addAllAndRemoveAll();
    void protocolOutsideTheListKeepsTheCell();
    void probeFailureStopsTheConstruction();
    void storedTextThatIsNotANumberIsReported();

private:
    std::unique_ptr<AdminFolder> folder_;
};

namespace {
const QString kModbus = QStringLiteral("ModBus标准方式");
const QString kYaao = QStringLiteral("亚奥方式");
const QStringList kSchemes{kModbus, QStringLiteral("DLT645-1997方式"),
                           QStringLiteral("DLT645-2007方式"), kYaao,
                           QStringLiteral("大唐相对码方式")};

// What the database holds of a scheme, to compare before and after.
struct Stored {
    std::optional<Scheme> row;
    QStringList parameters;
    bool operator==(const Stored& o) const {
        const auto same = [](const Scheme& a, const Scheme& b) {
            return a.fs == b.fs && a.ublfx == b.ublfx && a.ubl == b.ubl && a.iblfx == b.iblfx &&
                   a.ibl == b.ibl && a.pblfx == b.pblfx && a.pbl == b.pbl && a.eblfx == b.eblfx &&
                   a.ebl == b.ebl && a.txxy == b.txxy && a.sdbjxs == b.sdbjxs &&
                   a.cslxsn == b.cslxsn && a.fdbdsn == b.fdbdsn && a.csfhsn == b.csfhsn &&
                   a.glysfxsn == b.glysfxsn;
        };
        return row.has_value() == o.row.has_value() && (!row || same(*row, *o.row)) &&
               parameters == o.parameters;
    }
};

Stored Read(ProductDatabase& db, const QString& scheme) {
    Stored s;
    db.SelectScheme(scheme, s.row);
    db.SelectSchemeParameters(scheme, s.parameters);
    return s;
}

// A complete set of cells for a new scheme.
void FillCells(const Window& w, const QString& protocol = QStringLiteral("ModBus_RTU")) {
    const QStringList upper{"0xAA55", "10", "0x0000", "20", "0xAA55", "30", "0x0000"};
    const QStringList lower{"40", protocol, "85", "0xAA55", "0x0000", "0xAA55", "0x0000"};
    for (int c = 2; c <= 8; ++c) {
        w.setCell(1, c, upper[c - 2]);
        w.setCell(3, c, lower[c - 2]);
    }
}

void Save(TGlForm& form) {
    form.findChild<QPushButton*>("SaveSchemeButton")->click();
}
} // namespace

void ManagementFormTest::init() {
    folder_ = std::make_unique<AdminFolder>();
    QVERIFY2(folder_->ok(), qPrintable(folder_->openError()));
}

void ManagementFormTest::opensOnTheFirstScheme() {
    RecordingMessages messages;
    TGlForm form(folder_->db());
    Window w{form};
    QCOMPARE(form.windowTitle(), QStringLiteral("管理配置界面"));
    QCOMPARE(Window::Items(w.box("CBox_Type")), kSchemes + QStringList{QString()});
    QCOMPARE(Window::Items(w.box("CBox_Pz")), kSchemes);
    QCOMPARE(w.box("CBox_Type")->currentIndex(), 0);
    QVERIFY(!form.entryMode());
    QVERIFY(!w.box("CBox_Type")->isEditable());
    // Row 1 and row 3 as stored for the first scheme, the protocol by name.
    const QStringList upper{"0x0000", "1", "0x0000", "1", "0xAA55", "10", "0x0000"};
    const QStringList lower{"10", "ModBus_RTU", "80", "0x0000", "0xAA55", "0xAA55", "0xAA55"};
    for (int c = 2; c <= 8; ++c) {
        QCOMPARE(w.cell(1, c), upper[c - 2]);
        QCOMPARE(w.cell(3, c), lower[c - 2]);
    }
    QCOMPARE(w.cell(0, 1), QStringLiteral("方式(修改/新建)"));
    QCOMPARE(w.cell(2, 3), QStringLiteral("通讯协议"));
    QCOMPARE(w.grid()->columnWidth(0), 11);
    QCOMPARE(w.grid()->columnWidth(8), 110);
    QCOMPARE(w.grid()->rowHeight(2), 21);
    // Headings are not editable.
    QVERIFY(!(w.grid()->item(0, 2)->flags() & Qt::ItemIsEditable));
    QVERIFY(!(w.grid()->item(2, 5)->flags() & Qt::ItemIsEditable));
    QVERIFY(w.grid()->item(1, 3)->flags() & Qt::ItemIsEditable);
    // The scheme's list in its order; the rest of the catalogue in catalogue order.
    QStringList selected;
    QVERIFY(folder_->db().SelectSchemeParameters(kModbus, selected));
    QCOMPARE(Window::Items(w.list("ListBox2")), selected);
    QList<OutputParameterRow> catalogue;
    QVERIFY(folder_->db().SelectCatalogue(catalogue));
    QStringList rest;
    for (const auto& row : catalogue)
        if (!selected.contains(row.parameter.csmc)) rest << row.parameter.csmc;
    QCOMPARE(Window::Items(w.list("ListBox1")), rest);
    // The product group's lists start where they should.
    QCOMPARE(w.box("CB_CheckoutType")->currentIndex(), 3);
    QCOMPARE(w.box("CB_NetType")->currentIndex(), 0);
    QCOMPARE(w.box("CB_CT_Num")->currentIndex(), 0);
    QCOMPARE(w.box("CBox_XLType")->currentIndex(), 0);
    QCOMPARE(w.box("CB_CPType")->currentText(), QStringLiteral("KX2953B35-01"));
    QCOMPARE(messages.shown, QStringList());
}

void ManagementFormTest::dropDownEditorsOfTheGrid() {
    TGlForm form(folder_->db());
    Window w{form};
    form.show();
    const auto editorItems = [&](int row, int column) -> QStringList {
        w.grid()->setCurrentCell(row, column);
        w.grid()->editItem(w.grid()->item(row, column));
        for (QComboBox* b : w.grid()->viewport()->findChildren<QComboBox*>())
            if (b->objectName().isEmpty() && b->isVisible()) {
                const QStringList items = Window::Items(b);
                b->setCurrentIndex(b->count() - 1); // choose the last entry
                w.grid()->setCurrentCell(0, 0);     // leave the cell: the choice is kept
                return items;
            }
        return {};
    };
    QCOMPARE(editorItems(1, 2), (QStringList{"0xAA55", "0x0000"}));
    QCOMPARE(w.cell(1, 2), QStringLiteral("0x0000"));
    QCOMPARE(editorItems(3, 7), (QStringList{"0xAA55", "0x0000"}));
    QCOMPARE(editorItems(3, 3), ProtocolNames());
    QCOMPARE(w.cell(3, 3), QStringLiteral("大唐协议"));
    QCOMPARE(editorItems(1, 3), QStringList()); // a number cell takes text
}

void ManagementFormTest::emptyEntrySwitchesToEntryModeAndBack() {
    RecordingMessages messages;
    TGlForm form(folder_->db());
    Window w{form};
    form.show();
    QApplication::setActiveWindow(&form);
    QVERIFY(QTest::qWaitForWindowActive(&form));
    w.choose("CBox_Type", kSchemes.size());
    QVERIFY(form.entryMode());
    QVERIFY(w.box("CBox_Type")->isEditable());
    QVERIFY(w.box("CBox_Type")->hasFocus() || w.box("CBox_Type")->lineEdit()->hasFocus());
    // The grid still shows the last scheme loaded.
    QCOMPARE(w.cell(3, 3), QStringLiteral("ModBus_RTU"));
    w.choose("CBox_Type", kYaao);
    QVERIFY(!form.entryMode());
    QVERIFY(!w.box("CBox_Type")->isEditable());
    QCOMPARE(w.cell(3, 3), QStringLiteral("亚奥协议"));
    QCOMPARE(w.box("CBox_Pz")->currentText(), kYaao);
    QStringList yaao;
    QVERIFY(folder_->db().SelectSchemeParameters(kYaao, yaao));
    QCOMPARE(Window::Items(w.list("ListBox2")), yaao);
    // The product group's selector loads a scheme the same way and CBox_Type follows.
    w.choose("CBox_Pz", 1);
    QCOMPARE(w.box("CBox_Type")->currentIndex(), 1);
    QCOMPARE(w.cell(3, 3), QStringLiteral("DLT645-1997"));
    QCOMPARE(messages.shown, QStringList());
}

void ManagementFormTest::createsASchemeInListOrder() {
    RecordingMessages messages;
    TGlForm form(folder_->db());
    Window w{form};
    w.typeNewScheme(QStringLiteral("  新方式 "));
    form.BitBtn10Click(); // nothing selected
    for (const char* name : {"频率", "A相电压", "日期时间"}) {
        w.selectParameter("ListBox1", QString::fromUtf8(name));
        form.BitBtn9Click();
    }
    FillCells(w, QStringLiteral("大唐协议"));
    const int schemesBefore = folder_->Rows("Fstable");
    Save(form);
    QCOMPARE(messages.shown, QStringList{QStringLiteral("inform: 新建 新方式 成功!")});
    const Stored stored = Read(folder_->db(), QStringLiteral("新方式"));
    QVERIFY(stored.row);
    QCOMPARE(stored.parameters, (QStringList{"频率", "A相电压", "日期时间"}));
    QCOMPARE(stored.row->ublfx, QStringLiteral("0xAA55"));
    QCOMPARE(stored.row->ubl, 10);
    QCOMPARE(stored.row->ibl, 20);
    QCOMPARE(stored.row->pbl, 30);
    QCOMPARE(stored.row->ebl, 40);
    QCOMPARE(stored.row->txxy, 4);
    QCOMPARE(stored.row->sdbjxs, 85);
    QCOMPARE(stored.row->fdbdsn, QStringLiteral("0x0000"));
    QCOMPARE(folder_->Rows("Fstable"), schemesBefore + 1);
    // Both selectors back on the first scheme, in list mode; the grid keeps what was saved.
    QVERIFY(!form.entryMode());
    QCOMPARE(w.box("CBox_Type")->currentIndex(), 0);
    QCOMPARE(w.box("CBox_Pz")->currentIndex(), 0);
    QCOMPARE(Window::Items(w.box("CBox_Pz")), kSchemes + QStringList{"新方式"});
    QCOMPARE(w.cell(3, 3), QStringLiteral("大唐协议"));
    QCOMPARE(Window::Items(w.list("ListBox2")), stored.parameters);
}

void ManagementFormTest::duplicateNameIsRefused() {
    RecordingMessages messages;
    TGlForm form(folder_->db());
    Window w{form};
    w.typeNewScheme(kYaao);
    // Enter in the typed name neither picks the existing entry nor leaves entry mode.
    QTest::keyClick(w.box("CBox_Type")->lineEdit(), Qt::Key_Return);
    QVERIFY(form.entryMode());
    FillCells(w);
    const Stored before = Read(folder_->db(), kYaao);
    const int rows = folder_->Rows("Cstable");
    Save(form);
    QCOMPARE(messages.shown,
             (QStringList{QStringLiteral("inform: 对不起,系统有该名称的配置方式,不能重复!"),
                          QStringLiteral("inform: 新建 亚奥方式 失败!")}));
    QCOMPARE(w.box("CBox_Type")->currentText(), QString());
    QVERIFY(form.entryMode());
    QVERIFY(Read(folder_->db(), kYaao) == before);
    QCOMPARE(folder_->Rows("Cstable"), rows);
}

void ManagementFormTest::aSchemeChangedElsewhereAsksBeforeOverwriting_data() {
    QTest::addColumn<bool>("overwrite");
    QTest::newRow("overwrite") << true;
    QTest::newRow("keep theirs") << false;
}

// Another station (its own connection) saves the scheme while this window has it loaded: the save
// here asks first, and writes only when told to.
void ManagementFormTest::aSchemeChangedElsewhereAsksBeforeOverwriting() {
    QFETCH(bool, overwrite);
    RecordingMessages messages;
    messages.answers = {overwrite};
    TGlForm form(folder_->db());
    Window w{form};
    w.choose("CBox_Type", kYaao);
    ProductDatabase other(folder_->path() + QStringLiteral("/Config.db"));
    QVERIFY(other.Open(QStringLiteral(KX_SEED_DIR)).isEmpty());
    std::optional<Scheme> theirs;
    QVERIFY(other.SelectScheme(kYaao, theirs) && theirs);
    theirs->ubl = 77;
    QVERIFY(other.UpdateScheme(*theirs));

    w.setCell(1, 3, QStringLiteral("0x20"));
    Save(form);
    QCOMPARE(
        messages.shown.value(0),
        QStringLiteral("ask: 方案 亚奥方式 已在别处被修改（载入之后）。是否用本窗口的内容覆盖？"));
    QCOMPARE(messages.shown.value(1), overwrite ? QStringLiteral("inform: 修改 亚奥方式 成功!")
                                                : QStringLiteral("inform: 修改 亚奥方式 失败!"));
    QCOMPARE(Read(folder_->db(), kYaao).row->ubl, overwrite ? 32 : 77);
    if (!overwrite) QCOMPARE(w.cell(1, 3), QStringLiteral("77")); // shows what is stored now
}

void ManagementFormTest::modifyKeepsTheNewOrder() {
    RecordingMessages messages;
    TGlForm form(folder_->db());
    Window w{form};
    w.choose("CBox_Type", kYaao);
    QStringList expected = Window::Items(w.list("ListBox2"));
    // Last entry to the top, the second removed, one added at the end.
    w.list("ListBox2")->setCurrentRow(expected.size() - 1);
    for (int i = 0; i < expected.size(); ++i)
        form.BitBtn1Click();
    expected.prepend(expected.takeLast());
    w.list("ListBox2")->setCurrentRow(1);
    form.BitBtn8Click();
    expected.removeAt(1);
    w.selectParameter("ListBox1", QStringLiteral("日期时间"));
    form.BitBtn9Click();
    expected << QStringLiteral("日期时间");
    QCOMPARE(Window::Items(w.list("ListBox2")), expected);
    w.setCell(1, 3, QStringLiteral("0x20"));
    Save(form);
    QCOMPARE(messages.shown, QStringList{QStringLiteral("inform: 修改 亚奥方式 成功!")});
    const Stored stored = Read(folder_->db(), kYaao);
    QCOMPARE(stored.parameters, expected);
    QCOMPARE(stored.row->ubl, 32); // written back as a number
    QCOMPARE(stored.row->txxy, 3);
}

void ManagementFormTest::refusalsWriteNothing_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("emptyList");
    QTest::addColumn<QString>("first"); // the first message; the second is "修改 ... 失败!"
    const QString empty = QStringLiteral("inform: 对不起,界面配置数据不能为空!");
    QTest::newRow("no parameters")
        << 1 << 3 << "1" << true << QStringLiteral("inform: 已选参数列表为空,请添加参数!");
    QTest::newRow("empty direction") << 1 << 2 << "" << false << empty;
    QTest::newRow("empty enable") << 3 << 8 << "" << false << empty;
    QTest::newRow("empty protocol") << 3 << 3 << "" << false << empty;
    // Each number cell is read before anything is written.
    QTest::newRow("UBL") << 1 << 3 << "ten" << false << "error: ";
    QTest::newRow("IBL") << 1 << 5 << "1.5" << false << "error: ";
    QTest::newRow("PBL") << 1 << 7 << "0x" << false << "error: ";
    QTest::newRow("EBL") << 3 << 2 << "12abc" << false << "error: ";
    QTest::newRow("SDBJXS") << 3 << 4 << " " << false << "error: ";
}

void ManagementFormTest::refusalsWriteNothing() {
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QString, text);
    QFETCH(bool, emptyList);
    QFETCH(QString, first);
    RecordingMessages messages;
    TGlForm form(folder_->db());
    Window w{form};
    w.choose("CBox_Type", kYaao);
    const Stored before = Read(folder_->db(), kYaao);
    if (emptyList)
        form.BitBtn10Click();
    else
        form.BitBtn1Click(); // a changed order that must not reach the database
    w.setCell(row, column, text);
    Save(form);
    QCOMPARE(messages.shown.size(), 2);
    QVERIFY2(messages.shown[0].startsWith(first), qPrintable(messages.shown[0]));
    QCOMPARE(messages.shown[1], QStringLiteral("inform: 修改 亚奥方式 失败!"));
    QVERIFY(Read(folder_->db(), kYaao) == before);
}

void ManagementFormTest::yaaoRegisterLimit_data() {
    QTest::addColumn<int>("blockSize");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<bool>("saved");
    // The demo 亚奥 scheme holds 22 registers; one more entry of the given size is added.
    QTest::newRow("127") << 105 << "亚奥协议" << true;
    QTest::newRow("128") << 106 << "亚奥协议" << false;
    QTest::newRow("128 under Modbus") << 106 << "ModBus_RTU" << true;
}

void ManagementFormTest::yaaoRegisterLimit() {
    QFETCH(int, blockSize);
    QFETCH(QString, protocol);
    QFETCH(bool, saved);
    QVERIFY(folder_->AddParameter(QStringLiteral("大块"), blockSize));
    RecordingMessages messages;
    TGlForm form(folder_->db());
    Window w{form};
    w.choose("CBox_Type", kYaao);
    int registers = 0;
    QVERIFY(CountRegisters(folder_->db(), Window::Items(w.list("ListBox2")), registers));
    QCOMPARE(registers, 22);
    w.selectParameter("ListBox1", QStringLiteral("大块"));
    form.BitBtn9Click();
    w.setCell(3, 3, protocol);
    const Stored before = Read(folder_->db(), kYaao);
    Save(form);
    if (saved) {
        QCOMPARE(messages.shown, QStringList{QStringLiteral("inform: 修改 亚奥方式 成功!")});
        QCOMPARE(Read(folder_->db(), kYaao).parameters.last(), QStringLiteral("大块"));
    } else {
        QCOMPARE(messages.shown,
                 (QStringList{QStringLiteral("inform: ") + AdminText::YaaoTooManyRegisters,
                              QStringLiteral("inform: 修改 亚奥方式 失败!")}));
        QVERIFY(Read(folder_->db(), kYaao) == before);
    }
}

void ManagementFormTest::failurePartWayLeavesTheDatabaseAsItWas_data() {
    QTest::addColumn<bool>("create");
    QTest::addColumn<int>("statement");
    QTest::addColumn<int>("occurrence"); // which run of that statement fails
    QTest::newRow("create: third parameter") << true << 10 << 3;
    QTest::newRow("create: scheme row") << true << 11 << 1;
    QTest::newRow("modify: old list removed") << false << 12 << 1;
    QTest::newRow("modify: second parameter") << false << 10 << 2;
    QTest::newRow("modify: scheme row") << false << 13 << 1;
}

void ManagementFormTest::failurePartWayLeavesTheDatabaseAsItWas() {
    QFETCH(bool, create);
    QFETCH(int, statement);
    QFETCH(int, occurrence);
    RecordingMessages messages;
    TGlForm form(folder_->db());
    Window w{form};
    const QString name = create ? QStringLiteral("新方式") : kYaao;
    if (create) {
        w.typeNewScheme(name);
        form.BitBtn11Click(); // the whole catalogue
    } else {
        w.choose("CBox_Type", kYaao);
        form.BitBtn1Click();
        w.setCell(1, 3, QStringLiteral("99"));
    }
    FillCells(w);
    const Stored before = Read(folder_->db(), name);
    const int rows = folder_->Rows("Cstable");
    int seen = 0;
    folder_->db().SetFaultHook([&](int s) { return s == statement && ++seen == occurrence; });
    Save(form);
    folder_->db().SetFaultHook({});
    QCOMPARE(seen, occurrence);
    QCOMPARE(messages.shown,
             (QStringList{QStringLiteral("inform: 操作数据库失败！"),
                          QStringLiteral("inform: ") + (create ? "新建 " : "修改 ") + name +
                              QStringLiteral(" 失败!")}));
    QVERIFY(Read(folder_->db(), name) == before);
    QCOMPARE(folder_->Rows("Cstable"), rows);
}

void ManagementFormTest::deleteAsksFirst_data() {
    QTest::addColumn<bool>("yes");
    QTest::addColumn<int>("failing"); // statement made to fail, 0 for none
    QTest::newRow("yes") << true << 0;
    QTest::newRow("no") << false << 0;
    QTest::newRow("yes, scheme row fails") << true << 14;
    QTest::newRow("yes, parameter list fails") << true << 12;
}

void ManagementFormTest::deleteAsksFirst() {
    QFETCH(bool, yes);
    QFETCH(int, failing);
    RecordingMessages messages;
    messages.answers << yes;
    TGlForm form(folder_->db());
    Window w{form};
    w.choose("CBox_Type", kYaao);
    const Stored before = Read(folder_->db(), kYaao);
    const int models = folder_->Rows("Config");
    folder_->db().SetFaultHook([failing](int s) { return s == failing; });
    form.findChild<QPushButton*>("DeleteSchemeButton")->click();
    folder_->db().SetFaultHook({});
    QStringList expected{QStringLiteral("ask: 确定删除 亚奥方式 吗?")};
    if (failing) expected << QStringLiteral("inform: 操作数据库失败！");
    QCOMPARE(messages.shown, expected);
    const Stored after = Read(folder_->db(), kYaao);
    if (yes && !failing) {
        QVERIFY(!after.row);
        QVERIFY(after.parameters.isEmpty());
        QVERIFY(!Window::Items(w.box("CBox_Pz")).contains(kYaao));
    } else {
        QVERIFY(after == before);
        QVERIFY(Window::Items(w.box("CBox_Pz")).contains(kYaao));
    }
    // Products naming the scheme stay as they are.
    QCOMPARE(folder_->Rows("Config"), models);
    QCOMPARE(w.box("CBox_Type")->currentIndex(), 0);
}

void ManagementFormTest::moveUpAndDownStopAtTheEnds() {
    TGlForm form(folder_->db());
    Window w{form};
    QListWidget* list = w.list("ListBox2");
    const QStringList original = Window::Items(list);
    list->setCurrentRow(0);
    form.BitBtn1Click();
    QCOMPARE(Window::Items(list), original);
    QCOMPARE(list->currentRow(), 0);
    list->setCurrentRow(list->count() - 1);
    form.BitBtn2Click();
    QCOMPARE(Window::Items(list), original);
    form.BitBtn1Click();
    QStringList moved = original;
    moved.swapItemsAt(moved.size() - 1, moved.size() - 2);
    QCOMPARE(Window::Items(list), moved);
    QCOMPARE(list->currentItem()->text(), original.last());
    list->setCurrentRow(0);
    form.BitBtn2Click();
    moved.swapItemsAt(0, 1);
    QCOMPARE(Window::Items(list), moved);
    QCOMPARE(list->currentRow(), 1);
    // Without a selection nothing moves.
    list->setCurrentRow(-1);
    form.BitBtn1Click();
    form.BitBtn2Click();
    QCOMPARE(Window::Items(list), moved);
}

void ManagementFormTest::addTakesFromTheAvailableList() {
    TGlForm form(folder_->db());
    Window w{form};
    QListWidget* available = w.list("ListBox1");
    QListWidget* selected = w.list("ListBox2");
    const QStringList before = Window::Items(available);
    available->setCurrentRow(1);
    form.BitBtn9Click();
    QCOMPARE(selected->currentItem()->text(), before[1]);
    QCOMPARE(selected->currentRow(), selected->count() - 1);
    QCOMPARE(available->currentRow(), 1); // the selection stays at the same place
    QCOMPARE(available->currentItem()->text(), before[2]);
    available->setCurrentRow(available->count() - 1);
    form.BitBtn9Click();
    QCOMPARE(available->currentRow(), available->count() - 1);
}

void ManagementFormTest::removeReturnsToTheCataloguePosition_data() {
    QTest::addColumn<bool>("everything"); // start from the whole catalogue selected
    QTest::addColumn<QString>("parameter");
    QTest::addColumn<int>("position"); // where it lands among the available ones
    QTest::newRow("first of the catalogue") << false << "A相电压" << 0;
    QTest::newRow("before the available ones") << false << "反向无功总电能" << 3;
    QTest::newRow("into an empty list") << true << "总有功功率" << 0;
    QTest::newRow("last of the catalogue") << true << "最大有功需量时间" << 0;
}

void ManagementFormTest::removeReturnsToTheCataloguePosition() {
    QFETCH(bool, everything);
    QFETCH(QString, parameter);
    QFETCH(int, position);
    TGlForm form(folder_->db());
    Window w{form};
    QList<OutputParameterRow> catalogue;
    QVERIFY(folder_->db().SelectCatalogue(catalogue));
    QStringList order;
    for (const auto& row : catalogue)
        order << row.parameter.csmc;
    if (everything) form.BitBtn11Click();
    w.selectParameter("ListBox2", parameter);
    form.BitBtn8Click();
    const QStringList available = Window::Items(w.list("ListBox1"));
    QVERIFY(!Window::Items(w.list("ListBox2")).contains(parameter));
    // The available list is still in catalogue order, the returned entry selected.
    QStringList expected;
    for (const QString& name : order)
        if (available.contains(name)) expected << name;
    QCOMPARE(available, expected);
    QCOMPARE(w.list("ListBox1")->currentRow(), position);
    QCOMPARE(w.list("ListBox1")->currentItem()->text(), parameter);
    if (position < available.size() - 1) QCOMPARE(w.list("ListBox2")->currentRow(), 0);
    // Everything back, one by one from the middle, gives the catalogue.
    while (w.list("ListBox2")->count() > 0) {
        w.list("ListBox2")->setCurrentRow(w.list("ListBox2")->count() / 2);
        form.BitBtn8Click();
    }
    QCOMPARE(Window::Items(w.list("ListBox1")), order);
}

void ManagementFormTest::addAllAndRemoveAll() {
    TGlForm form(folder_->db());
    Window w{form};
    QList<OutputParameterRow> catalogue;
    QVERIFY(folder_->db().SelectCatalogue(catalogue));
    QStringList order;
    for (const auto& row : catalogue)
        order << row.parameter.csmc;
    form.BitBtn11Click();
    QCOMPARE(Window::Items(w.list("ListBox2")), order);
    QCOMPARE(w.list("ListBox1")->count(), 0);
    form.BitBtn9Click(); // nothing to add
    form.BitBtn10Click();
    QCOMPARE(Window::Items(w.list("ListBox1")), order);
    QCOMPARE(w.list("ListBox2")->count(), 0);
    form.BitBtn8Click(); // nothing to remove
    QCOMPARE(Window::Items(w.list("ListBox1")), order);
}

void ManagementFormTest::protocolOutsideTheListKeepsTheCell() {
    Scheme odd;
    odd.fs = QStringLiteral("外方式");
    odd.txxy = 7;
    odd.ubl = 5;
    QVERIFY(folder_->db().InsertScheme(odd));
    RecordingMessages messages;
    TGlForm form(folder_->db());
    Window w{form};
    w.choose("CBox_Type", kYaao);
    w.choose("CBox_Type", odd.fs);
    QCOMPARE(w.cell(1, 3), QStringLiteral("5"));
    QCOMPARE(w.cell(3, 3), QStringLiteral("亚奥协议"));
    QCOMPARE(messages.shown, QStringList());
}

void ManagementFormTest::probeFailureStopsTheConstruction() {
    RecordingMessages messages;
    folder_->db().SetFaultHook([](int s) { return s == 1; });
    TGlForm form(folder_->db());
    Window w{form};
    // The product list and the probe both fail; no grid buttons, no scheme lists.
    QCOMPARE(messages.shown, (QStringList{QStringLiteral("inform: 操作数据库失败！"),
                                          QStringLiteral("inform: 操作数据库失败！")}));
    QVERIFY(!form.findChild<QPushButton*>("SaveSchemeButton"));
    QCOMPARE(w.box("CBox_Type")->count(), 0);
}

void ManagementFormTest::storedTextThatIsNotANumberIsReported() {
    QSqlQuery q = folder_->db().NewQuery();
    QVERIFY(q.exec(QStringLiteral("update Fstable set UBL='ten' where FS='亚奥方式'")));
    RecordingMessages messages;
    TGlForm form(folder_->db());
    Window w{form};
    const QString before = w.cell(1, 3);
    w.choose("CBox_Type", kYaao);
    QCOMPARE(messages.shown.size(), 1);
    QVERIFY2(messages.shown[0].startsWith(QStringLiteral("error: ")),
             qPrintable(messages.shown[0]));
    QCOMPARE(w.cell(1, 3), before);
}

QTEST_MAIN(ManagementFormTest)
#include "management_form_test.moc"
