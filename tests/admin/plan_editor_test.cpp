#include "gui/admin/management_form.h"
#include "gui/admin/plan_editor.h"
#include "gui/kit/messages.h"
#include "recording_messages.h"
#include "store/db_check.h"

#include "admin_fixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTest>

class PlanEditorTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void controls();
    void createsAPlanThatIsShownWhenReopened();
    void pointButtons();
    void refusalsWriteNothing_data();
    void refusalsWriteNothing();
    void unsavedChangesAsk_data();
    void unsavedChangesAsk();
    void unchangedPlansDoNotAsk();
    void savingOverAnotherPlanAsks_data();
    void savingOverAnotherPlanAsks();
    void deleteAsks_data();
    void deleteAsks();
    void managementWindowOpensItOnTheChosenModel();

private:
    std::unique_ptr<AdminFolder> folder_;
};

// Failure messages name the plan and its points.
char* toString(const TestPlanPoint& p) {
    return qstrdup(QStringLiteral("(%1, %2, %3, %4)")
                       .arg(p.voltagePercent)
                       .arg(p.currentPercent)
                       .arg(p.angle)
                       .arg(p.frequency)
                       .toUtf8()
                       .constData());
}
char* toString(const TestPlan& plan) {
    QStringList points;
    for (const TestPlanPoint& p : plan.points) {
        char* text = toString(p);
        points << QString::fromUtf8(text);
        delete[] text;
    }
    return qstrdup((plan.model + '/' + plan.name + ": " + points.join(' ')).toUtf8().constData());
}

namespace {
const QString kModel = QStringLiteral("KX7410D07-01");
const QString kOther = QStringLiteral("KX7410Y35-01");
const QString kFull = QStringLiteral("满载");
const QString kLight = QStringLiteral("轻载");
const TestPlan kFullPlan{kModel, kFull, {{100, 100, 0, 50}, {120, 120, 60, 55}}};
const TestPlan kLightPlan{kModel, kLight, {{10, 1, 0, 50}}};

struct Editor {
    PlanEditor& dialog;

    template <typename T = QWidget> T* get(const char* name) const {
        return dialog.findChild<T*>(QLatin1String(name));
    }
    void click(const char* name) const {
        QPushButton* button = get<QPushButton>(name);
        QVERIFY2(button, name);
        button->click();
    }
    QTableWidget* grid() const { return get<QTableWidget>("Grid_Points"); }
    QComboBox* cell(int row, int column) const {
        return qobject_cast<QComboBox*>(grid()->cellWidget(row, column));
    }
    // The point of a row as its four drop-downs show it ("100%", "100%", "0°", "50Hz").
    QStringList shownRow(int row) const {
        QStringList texts;
        for (int c = 0; c < 4; ++c)
            texts << cell(row, c)->currentText();
        return texts;
    }
    // A user's choice in a drop-down: it takes the focus (its row becomes current), then the
    // entry is picked.
    void choose(int row, int column, const QString& text) const {
        QComboBox* box = cell(row, column);
        QVERIFY(box);
        dialog.activateWindow();
        box->setFocus();
        QCoreApplication::processEvents();
        const int index = box->findText(text);
        QVERIFY2(index >= 0, qPrintable(text));
        box->setCurrentIndex(index);
    }
    void setPoint(int row, const QStringList& texts) const {
        for (int c = 0; c < 4; ++c)
            choose(row, c, texts[c]);
    }
    QStringList plans() const {
        QStringList names;
        const QListWidget* list = get<QListWidget>("ListBox_Plans");
        for (int i = 0; i < list->count(); ++i)
            names << list->item(i)->text();
        return names;
    }
    void choosePlan(const QString& name) const {
        get<QListWidget>("ListBox_Plans")->setCurrentRow(plans().indexOf(name));
    }
    void chooseModel(const QString& model) const {
        QComboBox* box = get<QComboBox>("CB_PlanModel");
        box->setCurrentIndex(box->findText(model));
        emit box->activated(box->currentIndex());
    }
};

QList<TestPlan> Plans(ProductDatabase& db, const QString& model) {
    QList<TestPlan> plans;
    db.SelectPlans(model, plans);
    return plans;
}
} // namespace

void PlanEditorTest::init() {
    folder_ = std::make_unique<AdminFolder>();
    QVERIFY2(folder_->ok(), qPrintable(folder_->openError()));
    QVERIFY(folder_->db().SavePlan(kFullPlan));
    QVERIFY(folder_->db().SavePlan(kLightPlan));
}

void PlanEditorTest::controls() {
    RecordingMessages messages;
    PlanEditor dialog(folder_->db(), kModel);
    Editor e{dialog};
    QCOMPARE(dialog.windowTitle(), QStringLiteral("检验方案"));
    QList<ProductModel> models;
    QVERIFY(folder_->db().SelectAllModels(models));
    QComboBox* chooser = e.get<QComboBox>("CB_PlanModel");
    QCOMPARE(chooser->count(), models.size());
    for (int i = 0; i < models.size(); ++i)
        QCOMPARE(chooser->itemText(i), models[i].cpxh);
    QCOMPARE(chooser->currentText(), kModel);
    // The plans by name, the first shown.
    QCOMPARE(e.plans(), (QStringList{kFull, kLight}));
    QCOMPARE(e.get<QLineEdit>("Edit_PlanName")->text(), kFull);
    QCOMPARE(dialog.shownPlan(), kFullPlan);
    QCOMPARE(e.shownRow(1), (QStringList{"120%", "120%", "60°", "55Hz"}));
    // Each drop-down offers exactly the choices of the real-time page.
    const QStringList choices[] = {{"0%", "10%", "50%", "100%", "120%"},
                                   {"0%", "1%", "50%", "100%", "120%"},
                                   {"0°", "30°", "60°", "90°", "300°", "330°"},
                                   {"45Hz", "50Hz", "55Hz", "60Hz", "65Hz"}};
    for (int c = 0; c < 4; ++c) {
        QStringList items;
        for (int i = 0; i < e.cell(0, c)->count(); ++i)
            items << e.cell(0, c)->itemText(i);
        QCOMPARE(items, choices[c]);
        QVERIFY(!e.cell(0, c)->isEditable());
    }
    QCOMPARE(e.grid()->horizontalHeaderItem(2)->text(), QStringLiteral("角度Φ"));
    // A model not in the list starts on the first.
    PlanEditor unknown(folder_->db(), QStringLiteral("KX0000X00-00"));
    QCOMPARE(Editor{unknown}.get<QComboBox>("CB_PlanModel")->currentIndex(), 0);
    QVERIFY(messages.shown.isEmpty());
}

void PlanEditorTest::createsAPlanThatIsShownWhenReopened() {
    RecordingMessages messages;
    const TestPlan expected{
        kOther, QStringLiteral("出厂检验"), {{0, 0, 330, 45}, {50, 1, 90, 60}, {120, 50, 300, 65}}};
    {
        PlanEditor dialog(folder_->db(), kOther);
        dialog.show();
        Editor e{dialog};
        QVERIFY(e.plans().isEmpty());
        e.click("BitBtn_NewPlan");
        e.get<QLineEdit>("Edit_PlanName")->setText(QStringLiteral("  出厂检验 "));
        for (int i = 0; i < 3; ++i)
            e.click("BitBtn_AddPoint");
        e.setPoint(0, {"0%", "0%", "330°", "45Hz"});
        e.setPoint(1, {"50%", "1%", "90°", "60Hz"});
        e.setPoint(2, {"120%", "50%", "300°", "65Hz"});
        QVERIFY(dialog.modified());
        QSignalSpy changed(&dialog, &PlanEditor::plansChanged);
        QVERIFY(dialog.SaveClick());
        QCOMPARE(messages.shown, QStringList{"inform: 保存方案 出厂检验 成功!"});
        QCOMPARE(changed.count(), 1);
        QVERIFY(!dialog.modified());
        QCOMPARE(e.plans(), QStringList{expected.name});
    }
    QCOMPARE(Plans(folder_->db(), kOther), QList<TestPlan>{expected});
    // The other model's plans are untouched, and the database passes the check.
    QCOMPARE(Plans(folder_->db(), kModel), (QList<TestPlan>{kFullPlan, kLightPlan}));
    QCOMPARE(CheckDatabase(folder_->db().Connection()), QStringList());

    PlanEditor reopened(folder_->db(), kOther);
    Editor e{reopened};
    QCOMPARE(e.plans(), QStringList{expected.name});
    QCOMPARE(e.get<QLineEdit>("Edit_PlanName")->text(), expected.name);
    QCOMPARE(e.grid()->rowCount(), 3);
    QCOMPARE(e.shownRow(0), (QStringList{"0%", "0%", "330°", "45Hz"}));
    QCOMPARE(e.shownRow(1), (QStringList{"50%", "1%", "90°", "60Hz"}));
    QCOMPARE(e.shownRow(2), (QStringList{"120%", "50%", "300°", "65Hz"}));
    QCOMPARE(reopened.shownPlan(), expected);
    QVERIFY(!reopened.modified());
}

// Adding copies the current point below it; moving stops at the ends; deleting takes the
// current row. The row acted on is the one whose drop-down was used last.
void PlanEditorTest::pointButtons() {
    RecordingMessages messages;
    PlanEditor dialog(folder_->db(), kModel);
    dialog.show();
    Editor e{dialog};
    const auto points = [&] { return dialog.shownPlan().points; };
    const TestPlanPoint a = kFullPlan.points[0], b = kFullPlan.points[1];
    e.choose(0, 0, "100%"); // row 0 current
    e.click("BitBtn_AddPoint");
    QCOMPARE(points(), (QList<TestPlanPoint>{a, a, b}));
    QCOMPARE(e.grid()->currentRow(), 1);
    e.choose(1, 2, "30°");
    const TestPlanPoint c{100, 100, 30, 50};
    QCOMPARE(points(), (QList<TestPlanPoint>{a, c, b}));
    e.click("BitBtn_PointUp");
    QCOMPARE(points(), (QList<TestPlanPoint>{c, a, b}));
    e.click("BitBtn_PointUp"); // at the top already
    QCOMPARE(points(), (QList<TestPlanPoint>{c, a, b}));
    e.choose(2, 3, "55Hz"); // the last row, unchanged value
    e.click("BitBtn_PointDown");
    QCOMPARE(points(), (QList<TestPlanPoint>{c, a, b}));
    e.click("BitBtn_PointUp");
    QCOMPARE(points(), (QList<TestPlanPoint>{c, b, a}));
    QCOMPARE(e.grid()->currentRow(), 1);
    e.click("BitBtn_DeletePoint");
    QCOMPARE(points(), (QList<TestPlanPoint>{c, a}));
    QCOMPARE(e.grid()->currentRow(), 1);
    e.click("BitBtn_DeletePoint");
    e.click("BitBtn_DeletePoint");
    QVERIFY(points().isEmpty());
    e.click("BitBtn_DeletePoint"); // nothing left: no effect
    e.click("BitBtn_AddPoint");    // without a point to copy: the default one
    QCOMPARE(points(), QList<TestPlanPoint>{TestPlanPoint{}});
    // Nothing is written before 保存.
    QCOMPARE(Plans(folder_->db(), kModel), (QList<TestPlan>{kFullPlan, kLightPlan}));
    QVERIFY(messages.shown.isEmpty());
}

void PlanEditorTest::refusalsWriteNothing_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("removePoints");
    QTest::addColumn<QString>("storedAngle"); // written into the database before opening
    QTest::addColumn<int>("failing");         // the statement the database refuses, 0 none
    QTest::addColumn<QString>("shown");
    QTest::newRow("empty name") << "" << false << "" << 0 << "inform: 方案名称不能为空!";
    QTest::newRow("blank name") << "   " << false << "" << 0 << "inform: 方案名称不能为空!";
    QTest::newRow("no points") << kFull << true << "" << 0
                               << "inform: 方案中没有测试点,请添加测试点!";
    QTest::newRow("stored point off the choices")
        << kFull << false << "45" << 0 << "inform: 第 2 个测试点的取值不在可选范围内!";
    QTest::newRow("database refuses a point")
        << QStringLiteral("新方案") << false << "" << 27 << "inform: 保存方案 新方案 失败!";
}

// Each refusal shows its message, writes nothing and keeps the edit on screen.
void PlanEditorTest::refusalsWriteNothing() {
    QFETCH(QString, name);
    QFETCH(bool, removePoints);
    QFETCH(QString, storedAngle);
    QFETCH(int, failing);
    QFETCH(QString, shown);
    if (!storedAngle.isEmpty()) {
        QSqlQuery q = folder_->db().NewQuery();
        QVERIFY(ExecQuery(q, "update TestPlan set Angle = ? where Name = ? and Position = 1",
                          {storedAngle, kFull}));
    }
    const QList<TestPlan> before = Plans(folder_->db(), kModel);
    RecordingMessages messages;
    PlanEditor dialog(folder_->db(), kModel);
    Editor e{dialog};
    if (!storedAngle.isEmpty()) QCOMPARE(e.cell(1, 2)->currentIndex(), -1); // shown blank
    e.get<QLineEdit>("Edit_PlanName")->setText(name);
    if (removePoints) {
        e.grid()->selectRow(0);
        e.click("BitBtn_DeletePoint");
        e.click("BitBtn_DeletePoint");
    }
    const TestPlan edited = dialog.shownPlan();
    folder_->db().SetFaultHook([failing](int statement) { return statement == failing; });
    QVERIFY(!dialog.SaveClick());
    folder_->db().SetFaultHook({});
    QCOMPARE(messages.shown, QStringList{shown});
    QCOMPARE(Plans(folder_->db(), kModel), before);
    QCOMPARE(dialog.shownPlan(), edited);
}

void PlanEditorTest::unsavedChangesAsk_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("yes");
    for (const char* action : {"close", "other plan", "new plan", "other model"}) {
        QTest::addRow("%s, yes", action) << action << true;
        QTest::addRow("%s, no", action) << action << false;
    }
}

// Leaving an edited plan asks; No keeps the edit on screen, Yes drops it and goes on.
void PlanEditorTest::unsavedChangesAsk() {
    QFETCH(QString, action);
    QFETCH(bool, yes);
    RecordingMessages messages;
    messages.answers << yes;
    PlanEditor dialog(folder_->db(), kModel);
    dialog.show();
    Editor e{dialog};
    e.choose(0, 1, "50%");
    const TestPlan edited = dialog.shownPlan();
    QVERIFY(dialog.modified());
    TestPlan next = kFullPlan;
    if (action == "close") {
        dialog.close();
        QCOMPARE(dialog.isVisible(), !yes);
    } else if (action == "other plan") {
        e.choosePlan(kLight);
        next = kLightPlan;
    } else if (action == "new plan") {
        e.click("BitBtn_NewPlan");
        next = TestPlan{kModel, QString(), {}};
    } else {
        e.chooseModel(kOther);
        next = TestPlan{kOther, QString(), {}};
    }
    QCOMPARE(messages.shown, QStringList{"ask: 当前方案的修改尚未保存，确定放弃修改吗?"});
    if (action != "close") QCOMPARE(dialog.shownPlan(), yes ? next : edited);
    if (!yes) {
        // The selectors point at the plan still shown.
        QCOMPARE(e.get<QComboBox>("CB_PlanModel")->currentText(), kModel);
        QCOMPARE(e.get<QListWidget>("ListBox_Plans")->currentRow(), 0);
    }
    QCOMPARE(Plans(folder_->db(), kModel), (QList<TestPlan>{kFullPlan, kLightPlan}));
}

void PlanEditorTest::unchangedPlansDoNotAsk() {
    RecordingMessages messages;
    PlanEditor dialog(folder_->db(), kModel);
    dialog.show();
    Editor e{dialog};
    // A change undone is no change.
    e.choose(0, 1, "50%");
    e.choose(0, 1, "100%");
    e.choosePlan(kLight);
    QCOMPARE(dialog.shownPlan(), kLightPlan);
    e.chooseModel(kOther);
    e.click("BitBtn_NewPlan");
    dialog.close();
    QVERIFY(!dialog.isVisible());
    QVERIFY(messages.shown.isEmpty());
}

void PlanEditorTest::savingOverAnotherPlanAsks_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("yes") << true;
    QTest::newRow("no") << false;
}

void PlanEditorTest::savingOverAnotherPlanAsks() {
    QFETCH(bool, yes);
    RecordingMessages messages;
    messages.answers << yes;
    PlanEditor dialog(folder_->db(), kModel);
    Editor e{dialog};
    e.get<QLineEdit>("Edit_PlanName")->setText(kLight); // 满载's points under the name 轻载
    QCOMPARE(dialog.SaveClick(), yes);
    QStringList shown{"ask: 方案 轻载 已存在，确定替换吗?"};
    if (yes) shown << "inform: 保存方案 轻载 成功!";
    QCOMPARE(messages.shown, shown);
    const TestPlan replaced{kModel, kLight, kFullPlan.points};
    QCOMPARE(Plans(folder_->db(), kModel),
             (QList<TestPlan>{kFullPlan, yes ? replaced : kLightPlan}));
    if (yes) QCOMPARE(dialog.shownPlan(), replaced);
}

void PlanEditorTest::deleteAsks_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("yes") << true;
    QTest::newRow("no") << false;
}

void PlanEditorTest::deleteAsks() {
    QFETCH(bool, yes);
    RecordingMessages messages;
    messages.answers << yes;
    PlanEditor dialog(folder_->db(), kModel);
    Editor e{dialog};
    QSignalSpy changed(&dialog, &PlanEditor::plansChanged);
    e.choosePlan(kLight);
    e.click("BitBtn_DeletePlan");
    QCOMPARE(messages.shown, QStringList{"ask: 确定删除方案 轻载 吗?"});
    QCOMPARE(changed.count(), yes ? 1 : 0);
    QCOMPARE(Plans(folder_->db(), kModel),
             yes ? QList<TestPlan>{kFullPlan} : (QList<TestPlan>{kFullPlan, kLightPlan}));
    QCOMPARE(e.plans(), yes ? QStringList{kFull} : (QStringList{kFull, kLight}));
    // A new plan not yet saved has nothing to delete.
    messages.shown.clear();
    e.click("BitBtn_NewPlan");
    e.click("BitBtn_DeletePlan");
    QCOMPARE(messages.shown, QStringList{"inform: 请选择要删除的方案!"});
}

void PlanEditorTest::managementWindowOpensItOnTheChosenModel() {
    RecordingMessages messages;
    TGlForm form(folder_->db());
    QComboBox* models = form.findChild<QComboBox*>("CB_CPType");
    models->setCurrentIndex(models->findText(kModel));
    QSignalSpy changed(&form, &TGlForm::databaseChanged);
    QStringList opened;
    form.setDialogRunner([&](QDialog& dialog) {
        opened << dialog.objectName();
        auto* editor = qobject_cast<PlanEditor*>(&dialog);
        if (!editor) return -1;
        Editor e{*editor};
        opened << e.get<QComboBox>("CB_PlanModel")->currentText();
        e.click("BitBtn_NewPlan");
        e.get<QLineEdit>("Edit_PlanName")->setText(QStringLiteral("试运行"));
        e.click("BitBtn_AddPoint");
        e.click("BitBtn_SavePlan");
        e.click("BitBtn_ClosePlans");
        return dialog.result();
    });
    QPushButton* button = form.findChild<QPushButton*>("BitBtn_Plans");
    QVERIFY(button);
    QCOMPARE(button->text(), QStringLiteral("检验方案"));
    button->click();
    QCOMPARE(opened, (QStringList{"PlanEditor", kModel}));
    QCOMPARE(messages.shown, QStringList{"inform: 保存方案 试运行 成功!"});
    QCOMPARE(changed.count(), 1);
    QCOMPARE(Plans(folder_->db(), kModel).size(), 3);
}

QTEST_MAIN(PlanEditorTest)
#include "plan_editor_test.moc"
