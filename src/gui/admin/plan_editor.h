#pragma once
// PlanEditor "检验方案": the test plans of the product models, opened from the management
// window. A model chooser, the model's plans by name, and the points of the plan shown, one row
// each with a drop-down per coordinate limited to the choices of the real-time page. A plan is
// written whole by 保存; leaving a plan with unsaved changes (another plan or model, a new plan,
// closing) asks first. Every message goes through the message seam. GUI thread only.

#include "store/database.h"

#include <QDialog>
#include <QList>
#include <QString>

class QComboBox;
class QLineEdit;
class QListWidget;
class QTableWidget;

class PlanEditor : public QDialog {
    Q_OBJECT
public:
    // model: the model to show first (the first of the list when it is not there).
    PlanEditor(ProductDatabase& db, const QString& model, QWidget* parent = nullptr);

    // A model chosen in CB_PlanModel, a plan chosen in ListBox_Plans.
    void ModelChange();
    void PlanChange();
    // 新建方案, 删除方案.
    void NewPlanClick();
    void DeletePlanClick();
    // 添加测试点 (a copy of the current point below it), 删除测试点, 上移, 下移.
    void AddPointClick();
    void DeletePointClick();
    void PointUpClick();
    void PointDownClick();
    // 保存: true when the plan was written.
    bool SaveClick();

    // The plan as the controls show it, and whether it differs from what was loaded or saved.
    TestPlan shownPlan() const;
    bool modified() const;

    // Closing (the window's close button, Esc, 关闭) asks first when the plan has unsaved changes.
    void reject() override;

signals:
    // A plan was written or deleted.
    void plansChanged();

private:
    void loadModels(const QString& wanted);
    void loadPlans(const QString& select);
    void showPlan(const TestPlan& plan);
    void showPoints(int current);
    bool confirmDiscard();
    QString model() const;

    ProductDatabase& db_;
    QList<TestPlan> plans_;       // of the model shown, by name
    TestPlan baseline_;           // the plan as loaded or saved (no name, no points: a new one)
    QList<TestPlanPoint> points_; // the points as edited
    QString shownModel_;

    QComboBox* cbModel_ = nullptr;
    QListWidget* listPlans_ = nullptr;
    QLineEdit* editName_ = nullptr;
    QTableWidget* gridPoints_ = nullptr;
};
