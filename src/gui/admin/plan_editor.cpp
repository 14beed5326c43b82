#include "gui/admin/plan_editor.h"

#include "admin/admin_rules.h"
#include "common/conversion.h"
#include "gui/kit/messages.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>
#include <span>

namespace {

// The four coordinates of a point, as the real-time page names and offers them.
struct Coordinate {
    const char* heading;
    double TestPlanPoint::*field;
    std::span<const double> choices;
    const char* unit;
};
const Coordinate kCoordinates[] = {
    {QT_TRANSLATE_NOOP("PlanEditor", "电压U"), &TestPlanPoint::voltagePercent, kPlanVoltagePercents,
     "%"},
    {QT_TRANSLATE_NOOP("PlanEditor", "电流I"), &TestPlanPoint::currentPercent, kPlanCurrentPercents,
     "%"},
    {QT_TRANSLATE_NOOP("PlanEditor", "角度Φ"), &TestPlanPoint::angle, kPlanAngles, "°"},
    {QT_TRANSLATE_NOOP("PlanEditor", "频率F"), &TestPlanPoint::frequency, kPlanFrequencies, "Hz"},
};
constexpr int kColumns = static_cast<int>(std::size(kCoordinates));

const char* const kCaption = QT_TRANSLATE_NOOP("PlanEditor", "提示");
const char* const kDiscard =
    QT_TRANSLATE_NOOP("PlanEditor", "当前方案的修改尚未保存，确定放弃修改吗?");
const char* const kNoModel = QT_TRANSLATE_NOOP("PlanEditor", "请选择产品型号!");
const char* const kNameEmpty = QT_TRANSLATE_NOOP("PlanEditor", "方案名称不能为空!");
const char* const kNoPoints = QT_TRANSLATE_NOOP("PlanEditor", "方案中没有测试点,请添加测试点!");
const char* const kChoosePlan = QT_TRANSLATE_NOOP("PlanEditor", "请选择要删除的方案!");

QPushButton* Button(QWidget* parent, const char* name, const QString& caption,
                    QStyle::StandardPixmap icon) {
    auto* button = new QPushButton(parent->style()->standardIcon(icon), caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    return button;
}

// A stored number that does not read as one (a database edited elsewhere) ends the operation
// with the conversion error shown.
template <typename Body> void Guard(QWidget* window, Body body) {
    try {
        body();
    } catch (const ConversionError& e) {
        Ui().error(window, e.text());
    }
}

} // namespace

PlanEditor::PlanEditor(ProductDatabase& db, const QString& model, QWidget* parent)
    : QDialog(parent), db_(db) {
    setObjectName(QStringLiteral("PlanEditor"));
    setWindowTitle(tr("检验方案"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    auto* outer = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    cbModel_ = new QComboBox(this);
    cbModel_->setObjectName(QStringLiteral("CB_PlanModel"));
    cbModel_->setMinimumContentsLength(16);
    top->addWidget(new QLabel(tr("产品型号："), this));
    top->addWidget(cbModel_);
    top->addStretch();
    outer->addLayout(top);
    connect(cbModel_, &QComboBox::activated, this, &PlanEditor::ModelChange);

    auto* middle = new QHBoxLayout;
    auto* planColumn = new QVBoxLayout;
    planColumn->addWidget(new QLabel(tr("方案列表"), this));
    listPlans_ = new QListWidget(this);
    listPlans_->setObjectName(QStringLiteral("ListBox_Plans"));
    listPlans_->setSelectionMode(QAbstractItemView::SingleSelection);
    listPlans_->setFixedWidth(160);
    planColumn->addWidget(listPlans_);
    auto* planButtons = new QHBoxLayout;
    QPushButton* newPlan = Button(this, "BitBtn_NewPlan", tr("新建方案"), QStyle::SP_FileIcon);
    QPushButton* deletePlan =
        Button(this, "BitBtn_DeletePlan", tr("删除方案"), QStyle::SP_TrashIcon);
    planButtons->addWidget(newPlan);
    planButtons->addWidget(deletePlan);
    planColumn->addLayout(planButtons);
    middle->addLayout(planColumn);
    connect(listPlans_, &QListWidget::currentRowChanged, this, &PlanEditor::PlanChange);
    connect(newPlan, &QPushButton::clicked, this, &PlanEditor::NewPlanClick);
    connect(deletePlan, &QPushButton::clicked, this, &PlanEditor::DeletePlanClick);

    auto* pointColumn = new QVBoxLayout;
    auto* nameRow = new QHBoxLayout;
    editName_ = new QLineEdit(this);
    editName_->setObjectName(QStringLiteral("Edit_PlanName"));
    nameRow->addWidget(new QLabel(tr("方案名称："), this));
    nameRow->addWidget(editName_);
    pointColumn->addLayout(nameRow);
    gridPoints_ = new QTableWidget(0, kColumns, this);
    gridPoints_->setObjectName(QStringLiteral("Grid_Points"));
    QStringList headings;
    for (const Coordinate& c : kCoordinates)
        headings << tr(c.heading);
    gridPoints_->setHorizontalHeaderLabels(headings);
    gridPoints_->setSelectionBehavior(QAbstractItemView::SelectRows);
    gridPoints_->setSelectionMode(QAbstractItemView::SingleSelection);
    gridPoints_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    gridPoints_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    gridPoints_->setMinimumSize(420, 240);
    pointColumn->addWidget(gridPoints_);
    auto* pointButtons = new QHBoxLayout;
    const struct {
        const char* name;
        const char* caption;
        QStyle::StandardPixmap icon;
        void (PlanEditor::*handler)();
    } kPointButtons[] = {
        {"BitBtn_AddPoint", QT_TRANSLATE_NOOP("PlanEditor", "添加测试点"),
         QStyle::SP_FileDialogNewFolder, &PlanEditor::AddPointClick},
        {"BitBtn_DeletePoint", QT_TRANSLATE_NOOP("PlanEditor", "删除测试点"),
         QStyle::SP_DialogDiscardButton, &PlanEditor::DeletePointClick},
        {"BitBtn_PointUp", QT_TRANSLATE_NOOP("PlanEditor", "上移"), QStyle::SP_ArrowUp,
         &PlanEditor::PointUpClick},
        {"BitBtn_PointDown", QT_TRANSLATE_NOOP("PlanEditor", "下移"), QStyle::SP_ArrowDown,
         &PlanEditor::PointDownClick},
    };
    for (const auto& b : kPointButtons) {
        QPushButton* button = Button(this, b.name, tr(b.caption), b.icon);
        connect(button, &QPushButton::clicked, this, b.handler);
        pointButtons->addWidget(button);
    }
    pointColumn->addLayout(pointButtons);
    middle->addLayout(pointColumn, 1);
    outer->addLayout(middle);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    QPushButton* save = Button(this, "BitBtn_SavePlan", tr("保存"), QStyle::SP_DialogSaveButton);
    QPushButton* close =
        Button(this, "BitBtn_ClosePlans", tr("关闭"), QStyle::SP_DialogCloseButton);
    bottom->addWidget(save);
    bottom->addWidget(close);
    outer->addLayout(bottom);
    connect(save, &QPushButton::clicked, this, [this] { SaveClick(); });
    connect(close, &QPushButton::clicked, this, &PlanEditor::reject);

    loadModels(model.trimmed());
    setFixedSize(sizeHint());
}

QString PlanEditor::model() const {
    return cbModel_->currentText().trimmed();
}

TestPlan PlanEditor::shownPlan() const {
    return {shownModel_, editName_->text().trimmed(), points_};
}

bool PlanEditor::modified() const {
    return shownPlan() != baseline_;
}

bool PlanEditor::confirmDiscard() {
    return !modified() || Ui().ask(this, tr(kDiscard), tr(kCaption));
}

void PlanEditor::loadModels(const QString& wanted) {
    QList<ProductModel> models;
    Guard(this, [&] {
        if (!db_.SelectAllModels(models)) Ui().inform(this, AdminText::DatabaseFailed);
    });
    {
        const QSignalBlocker blocker(cbModel_);
        for (const ProductModel& m : models)
            cbModel_->addItem(m.cpxh);
        const int index = cbModel_->findText(wanted);
        cbModel_->setCurrentIndex(index >= 0 ? index : (cbModel_->count() > 0 ? 0 : -1));
    }
    shownModel_ = model();
    loadPlans(QString());
}

void PlanEditor::loadPlans(const QString& select) {
    // Filling the list is not a user's choice of a plan.
    const QSignalBlocker blocker(listPlans_);
    plans_.clear();
    listPlans_->clear();
    Guard(this, [&] {
        // Plans read half-way before a failure are not shown.
        QList<TestPlan> plans;
        if (shownModel_.isEmpty()) return;
        if (db_.SelectPlans(shownModel_, plans))
            plans_ = plans;
        else
            Ui().inform(this, AdminText::DatabaseFailed);
    });
    int row = plans_.isEmpty() ? -1 : 0;
    for (int i = 0; i < plans_.size(); ++i) {
        listPlans_->addItem(plans_[i].name);
        if (plans_[i].name == select) row = i;
    }
    if (row < 0) {
        showPlan({shownModel_, QString(), {}});
        return;
    }
    listPlans_->setCurrentRow(row);
    showPlan(plans_[row]);
}

void PlanEditor::showPlan(const TestPlan& plan) {
    baseline_ = plan;
    editName_->setText(plan.name);
    points_ = plan.points;
    showPoints(points_.isEmpty() ? -1 : 0);
}

// The table is made anew from the points after every change of rows, so each drop-down knows
// its row. A drop-down taking the focus makes its row the current one (the view does so for
// its cell widgets): the point buttons act on the point last touched.
void PlanEditor::showPoints(int current) {
    gridPoints_->setRowCount(0);
    gridPoints_->setRowCount(static_cast<int>(points_.size()));
    for (int row = 0; row < points_.size(); ++row) {
        for (int column = 0; column < kColumns; ++column) {
            const Coordinate& c = kCoordinates[column];
            auto* box = new QComboBox(gridPoints_);
            for (double value : c.choices)
                box->addItem(FloatToText(value) + QString::fromUtf8(c.unit), value);
            // A stored value that is none of the choices shows blank; saving then refuses it.
            box->setCurrentIndex(box->findData(points_[row].*c.field));
            connect(box, &QComboBox::currentIndexChanged, this, [this, box, row, column] {
                if (box->currentIndex() >= 0)
                    points_[row].*kCoordinates[column].field = box->currentData().toDouble();
            });
            gridPoints_->setCellWidget(row, column, box);
        }
    }
    if (current >= 0) gridPoints_->selectRow(current);
}

void PlanEditor::ModelChange() {
    if (model() == shownModel_) return;
    if (!confirmDiscard()) {
        const QSignalBlocker blocker(cbModel_);
        cbModel_->setCurrentIndex(cbModel_->findText(shownModel_));
        return;
    }
    shownModel_ = model();
    loadPlans(QString());
}

void PlanEditor::PlanChange() {
    const int row = listPlans_->currentRow();
    if (row < 0 || row >= plans_.size() || plans_[row] == baseline_) return;
    if (!confirmDiscard()) {
        const QSignalBlocker blocker(listPlans_);
        listPlans_->setCurrentRow(static_cast<int>(plans_.indexOf(baseline_)));
        return;
    }
    showPlan(plans_[row]);
}

void PlanEditor::NewPlanClick() {
    if (!confirmDiscard()) return;
    {
        const QSignalBlocker blocker(listPlans_);
        listPlans_->setCurrentRow(-1);
    }
    showPlan({shownModel_, QString(), {}});
    editName_->setFocus();
}

void PlanEditor::DeletePlanClick() {
    const QString name = baseline_.name;
    if (name.isEmpty()) {
        Ui().inform(this, tr(kChoosePlan));
        return;
    }
    if (!Ui().ask(this, tr("确定删除方案 %1 吗?").arg(name), tr(kCaption))) return;
    if (!db_.DeletePlan(shownModel_, name)) {
        Ui().inform(this, AdminText::DatabaseFailed);
        return;
    }
    emit plansChanged();
    loadPlans(QString());
}

void PlanEditor::AddPointClick() {
    const int row = gridPoints_->currentRow();
    const int at = row >= 0 ? row + 1 : static_cast<int>(points_.size());
    points_.insert(at, row >= 0 ? points_[row] : TestPlanPoint{});
    showPoints(at);
}

void PlanEditor::DeletePointClick() {
    const int row = gridPoints_->currentRow();
    if (row < 0) return;
    points_.removeAt(row);
    showPoints(points_.isEmpty() ? -1 : std::min(row, static_cast<int>(points_.size()) - 1));
}

void PlanEditor::PointUpClick() {
    const int row = gridPoints_->currentRow();
    if (row <= 0) return;
    points_.swapItemsAt(row, row - 1);
    showPoints(row - 1);
}

void PlanEditor::PointDownClick() {
    const int row = gridPoints_->currentRow();
    if (row < 0 || row >= points_.size() - 1) return;
    points_.swapItemsAt(row, row + 1);
    showPoints(row + 1);
}

bool PlanEditor::SaveClick() {
    const TestPlan plan = shownPlan();
    if (plan.model.isEmpty()) {
        Ui().inform(this, tr(kNoModel));
        return false;
    }
    if (plan.name.isEmpty()) {
        Ui().inform(this, tr(kNameEmpty));
        editName_->setFocus();
        return false;
    }
    if (plan.points.isEmpty()) {
        Ui().inform(this, tr(kNoPoints));
        return false;
    }
    for (int i = 0; i < plan.points.size(); ++i)
        if (!IsSelectableTestPoint(plan.points[i])) {
            Ui().inform(this, tr("第 %1 个测试点的取值不在可选范围内!").arg(i + 1));
            return false;
        }
    // Saving under the name of another stored plan replaces that plan.
    const bool other = plan.name != baseline_.name &&
                       std::any_of(plans_.begin(), plans_.end(),
                                   [&](const TestPlan& p) { return p.name == plan.name; });
    if (other && !Ui().ask(this, tr("方案 %1 已存在，确定替换吗?").arg(plan.name), tr(kCaption)))
        return false;
    if (!db_.SavePlan(plan)) {
        Ui().inform(this, tr("保存方案 %1 失败!").arg(plan.name));
        return false;
    }
    Ui().inform(this, tr("保存方案 %1 成功!").arg(plan.name));
    emit plansChanged();
    loadPlans(plan.name);
    return true;
}

void PlanEditor::reject() {
    if (!confirmDiscard()) return;
    QDialog::reject();
}
