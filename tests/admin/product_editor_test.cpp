#include "gui/admin/management_form.h"
#include "gui/kit/messages.h"
#include "gui/kit/up_down.h"
#include "recording_messages.h"

#include "admin_fixture.h"
#include "admin_window.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <optional>

class ProductEditorTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void controls();
    void newProduct_data();
    void newProduct();
    void choosingAModelShowsItAndItsScheme();
    void updateWritesTheChosenScheme();
    void updateWithAnEmptySchemeOrABadRatio();
    void deleteAsksAndKeepsTheScheme_data();
    void deleteAsksAndKeepsTheScheme();
    void exitCloses();

private:
    std::unique_ptr<AdminFolder> folder_;
};

namespace {
const QString kYaao = QStringLiteral("亚奥方式");

QLineEdit* Edit(const Window& w, const char* name) {
    return w.get<QLineEdit>(name);
}

std::optional<ProductModel> Model(ProductDatabase& db, const QString& name) {
    std::optional<ProductModel> m;
    db.SelectModel(name, m);
    return m;
}
} // namespace

void ProductEditorTest::init() {
    folder_ = std::make_unique<AdminFolder>();
    QVERIFY2(folder_->ok(), qPrintable(folder_->openError()));
}

void ProductEditorTest::controls() {
    TGlForm form(folder_->db());
    Window w{form};
    QCOMPARE(Edit(w, "Edit_Addcpxh")->text(), QStringLiteral("KX**********"));
    QCOMPARE(Edit(w, "LE_PT")->text(), QStringLiteral("1"));
    QCOMPARE(Edit(w, "LE_CT")->text(), QStringLiteral("1"));
    QCOMPARE(w.get<UpDown>("UpDown_Addr")->buddy(), Edit(w, "LE_PT"));
    QCOMPARE(w.get<UpDown>("UpDown_Addr")->maximum(), 5000);
    QCOMPARE(w.get<UpDown>("UpDown1")->buddy(), Edit(w, "LE_CT"));
    QCOMPARE(w.get<UpDown>("UpDown1")->maximum(), 9999);
    QCOMPARE(w.get<UpDown>("UpDown1")->minimum(), 1);
    QCOMPARE(Window::Items(w.box("CB_CheckoutType")),
             (QStringList{"N无,2S", "O奇,1S", "E偶,1S", "N无,1S"}));
    QCOMPARE(Window::Items(w.box("CB_NetType")), (QStringList{"三相四线", "三相三线", "单相"}));
    QCOMPARE(Window::Items(w.box("CB_CT_Num")), (QStringList{"2CT", "3CT"}));
    QCOMPARE(Window::Items(w.box("CBox_XLType")), (QStringList{"固定滑块", "滑差式"}));
    QList<ProductModel> models;
    QVERIFY(folder_->db().SelectAllModels(models));
    QStringList names;
    for (const auto& m : models)
        names << m.cpxh;
    QCOMPARE(Window::Items(w.box("CB_CPType")), names);
    QCOMPARE(form.findChild<QPushButton*>("BitBtn4")->text(), QStringLiteral("新建产品"));
    QCOMPARE(form.findChild<QPushButton*>("BitBtn3")->text(), QStringLiteral("更新产品配置"));
    QCOMPARE(form.findChild<QPushButton*>("BitBtn6")->text(), QStringLiteral("删除产品"));
    QCOMPARE(form.findChild<QPushButton*>("BitBtn5")->text(), QStringLiteral("退出"));
}

void ProductEditorTest::newProduct_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("pt");
    QTest::addColumn<QString>("ct");
    QTest::addColumn<QString>("shown"); // the one message; "error: " for a conversion error
    QTest::addColumn<int>("storedPt");  // -1: nothing written

    const QString format =
        QStringLiteral("inform: 产品型号命名格式填写不正确，请参照<KX2953B35-01>格式填写！");
    QTest::newRow("accepted") << "KX2953B35-09"
                              << "100"
                              << "200"
                              << "inform: 添加  KX2953B35-09  产品成功!" << 100;
    QTest::newRow("blanks around are not stored") << "KX2953B35-09  "
                                                  << "1"
                                                  << "1"
                                                  << "inform: 添加  KX2953B35-09  产品成功!" << 1;
    QTest::newRow("00 passes") << "KX2953B35-09"
                               << "00"
                               << "5"
                               << "inform: 添加  KX2953B35-09  产品成功!" << 0;
    QTest::newRow("wrong second letter") << "KY2953B35-01"
                                         << "1"
                                         << "1" << format << -1;
    QTest::newRow("no hyphen") << "KX2953B35_01"
                               << "1"
                               << "1" << format << -1;
    QTest::newRow("too short") << "KX2953"
                               << "1"
                               << "1" << format << -1;
    QTest::newRow("PT zero") << "KX2953B35-09"
                             << "0"
                             << "1"
                             << "inform: 电压变比PT和电流变比CT不能配置为0！" << -1;
    QTest::newRow("CT zero") << "KX2953B35-09"
                             << "1"
                             << "0"
                             << "inform: 电压变比PT和电流变比CT不能配置为0！" << -1;
    QTest::newRow("empty CT") << "KX2953B35-09"
                              << "1"
                              << ""
                              << "inform: 请将新建信息填写完整！" << -1;
    QTest::newRow("empty name") << ""
                                << "1"
                                << "1"
                                << "inform: 请将新建信息填写完整！" << -1;
    QTest::newRow("PT not a number") << "KX2953B35-09"
                                     << "1O"
                                     << "1"
                                     << "error: " << -1;
    QTest::newRow("existing") << "KX2953B35-01"
                              << "1"
                              << "1"
                              << "inform: 该产品型号系统有记录，不能重复添加！" << -1;
    QTest::newRow("existing with blanks") << "KX7410Y35-01   "
                                          << "1"
                                          << "1"
                                          << "inform: 该产品型号系统有记录，不能重复添加！" << -1;
    QTest::newRow("quote in the name") << "KX29'3B35-09"
                                       << "1"
                                       << "1"
                                       << "inform: 添加  KX29'3B35-09  产品成功!" << 1;
}

void ProductEditorTest::newProduct() {
    QFETCH(QString, entry);
    QFETCH(QString, pt);
    QFETCH(QString, ct);
    QFETCH(QString, shown);
    QFETCH(int, storedPt);
    RecordingMessages messages;
    TGlForm form(folder_->db());
    Window w{form};
    int changes = 0;
    connect(&form, &TGlForm::databaseChanged, [&] { ++changes; });
    Edit(w, "Edit_Addcpxh")->setText(entry);
    Edit(w, "LE_PT")->setText(pt);
    Edit(w, "LE_CT")->setText(ct);
    w.box("CBox_Pz")->setCurrentText(kYaao);
    w.box("CB_CheckoutType")->setCurrentIndex(2);
    w.box("CB_NetType")->setCurrentIndex(1);
    w.box("CB_CT_Num")->setCurrentIndex(1);
    w.box("CBox_XLType")->setCurrentIndex(1);
    const QStringList before = Window::Items(w.box("CB_CPType"));
    const int rows = folder_->Rows("Config");
    form.findChild<QPushButton*>("BitBtn4")->click();
    QCOMPARE(messages.shown.size(), 1);
    QVERIFY2(messages.shown[0].startsWith(shown), qPrintable(messages.shown[0]));
    if (storedPt < 0) {
        QCOMPARE(folder_->Rows("Config"), rows);
        QCOMPARE(changes, 0);
        return;
    }
    const QString name = entry.trimmed();
    const auto model = Model(folder_->db(), name);
    QVERIFY(model);
    QCOMPARE(model->cpxh, name);
    QCOMPARE(model->fs, kYaao);
    QCOMPARE(model->upt, storedPt);
    QCOMPARE(model->ict, ct.toInt());
    QCOMPARE(model->btlgs, 2);
    QCOMPARE(model->jxms, 1);
    QCOMPARE(model->ctnum, 1);
    QCOMPARE(model->xljsfs, 1);
    // The model list is read again, its first entry selected.
    QCOMPARE(Window::Items(w.box("CB_CPType")), before + QStringList{name});
    QCOMPARE(w.box("CB_CPType")->currentIndex(), 0);
    QCOMPARE(changes, 1);
}

void ProductEditorTest::choosingAModelShowsItAndItsScheme() {
    RecordingMessages messages;
    TGlForm form(folder_->db());
    Window w{form};
    const int index = w.box("CB_CPType")->findText(QStringLiteral("KX7410D07-01"));
    w.box("CB_CPType")->setCurrentIndex(index);
    emit w.box("CB_CPType")->activated(index);
    // KX7410D07-01: DLT645-2007方式, frame 3, wiring 0, PT 10, CT 100, 1 CT index, demand 0.
    QCOMPARE(Edit(w, "LE_PT")->text(), QStringLiteral("10"));
    QCOMPARE(Edit(w, "LE_CT")->text(), QStringLiteral("100"));
    QCOMPARE(w.box("CB_CheckoutType")->currentIndex(), 3);
    QCOMPARE(w.box("CB_CT_Num")->currentIndex(), 1);
    QCOMPARE(w.box("CBox_Pz")->currentText(), QStringLiteral("DLT645-2007方式"));
    QCOMPARE(w.box("CBox_Type")->currentText(), QStringLiteral("DLT645-2007方式"));
    QCOMPARE(w.cell(3, 3), QStringLiteral("DLT645-2007"));
    QStringList parameters;
    QVERIFY(folder_->db().SelectSchemeParameters(QStringLiteral("DLT645-2007方式"), parameters));
    QCOMPARE(Window::Items(w.list("ListBox2")), parameters);
    QCOMPARE(messages.shown, QStringList());
}

void ProductEditorTest::updateWritesTheChosenScheme() {
    RecordingMessages messages;
    TGlForm form(folder_->db());
    Window w{form};
    QCOMPARE(w.box("CB_CPType")->currentText(), QStringLiteral("KX2953B35-01"));
    w.choose("CBox_Pz", kYaao);
    Edit(w, "LE_PT")->setText(QStringLiteral("0")); // the update makes no check of its own
    Edit(w, "LE_CT")->setText(QStringLiteral("0x20"));
    w.box("CB_NetType")->setCurrentIndex(2);
    const QStringList list = Window::Items(w.box("CB_CPType"));
    form.findChild<QPushButton*>("BitBtn3")->click();
    QCOMPARE(messages.shown,
             QStringList{QStringLiteral("inform: 更新产品 KX2953B35-01 配置数据成功！")});
    const auto model = Model(folder_->db(), QStringLiteral("KX2953B35-01"));
    QCOMPARE(model->fs, kYaao);
    QCOMPARE(model->upt, 0);
    QCOMPARE(model->ict, 32);
    QCOMPARE(model->jxms, 2);
    QCOMPARE(model->btlgs, 3);
    QCOMPARE(Window::Items(w.box("CB_CPType")), list);
}

void ProductEditorTest::updateWithAnEmptySchemeOrABadRatio() {
    RecordingMessages messages;
    TGlForm form(folder_->db());
    Window w{form};
    Edit(w, "LE_CT")->setText(QStringLiteral("many"));
    form.BitBtn3Click();
    QCOMPARE(messages.shown.size(), 1);
    QVERIFY(messages.shown[0].startsWith(QStringLiteral("error: ")));
    QCOMPARE(Model(folder_->db(), QStringLiteral("KX2953B35-01"))->fs,
             QStringLiteral("ModBus标准方式"));
    Edit(w, "LE_CT")->setText(QStringLiteral("7"));
    w.box("CBox_Pz")->setCurrentIndex(-1);
    form.BitBtn3Click();
    QCOMPARE(messages.shown.last(), QStringLiteral("inform: 更新产品 KX2953B35-01 配置数据成功！"));
    const auto model = Model(folder_->db(), QStringLiteral("KX2953B35-01"));
    QCOMPARE(model->fs, QString());
    QCOMPARE(model->ict, 7);
}

void ProductEditorTest::deleteAsksAndKeepsTheScheme_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("yes") << true;
    QTest::newRow("no") << false;
}

void ProductEditorTest::deleteAsksAndKeepsTheScheme() {
    QFETCH(bool, yes);
    RecordingMessages messages;
    messages.answers << yes;
    TGlForm form(folder_->db());
    Window w{form};
    const QString model = QStringLiteral("KX7410Y35-01");
    const int index = w.box("CB_CPType")->findText(model);
    w.box("CB_CPType")->setCurrentIndex(index);
    emit w.box("CB_CPType")->activated(index);
    QStringList parameters;
    QVERIFY(folder_->db().SelectSchemeParameters(kYaao, parameters));
    form.findChild<QPushButton*>("BitBtn6")->click();
    QCOMPARE(messages.shown, QStringList{QStringLiteral("ask: 确定删除 KX7410Y35-01 产品吗?")});
    QCOMPARE(Model(folder_->db(), model).has_value(), !yes);
    QCOMPARE(Window::Items(w.box("CB_CPType")).contains(model), !yes);
    QCOMPARE(w.box("CB_CPType")->currentIndex(), 0); // the list was read again either way
    std::optional<Scheme> scheme;
    QVERIFY(folder_->db().SelectScheme(kYaao, scheme));
    QVERIFY(scheme);
    QStringList after;
    QVERIFY(folder_->db().SelectSchemeParameters(kYaao, after));
    QCOMPARE(after, parameters);
}

void ProductEditorTest::exitCloses() {
    TGlForm form(folder_->db());
    form.show();
    form.findChild<QPushButton*>("BitBtn5")->click();
    QVERIFY(!form.isVisible());
    QCOMPARE(form.result(), int(QDialog::Rejected));
}

QTEST_MAIN(ProductEditorTest)
#include "product_editor_test.moc"
