#include "gui/calib/real_power_form.h"

#include "gui/kit/messages.h"
#include "common/conversion.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
TRealPowerForm::Answerer& InstalledAnswerer() {
    static TRealPowerForm::Answerer answerer;
    return answerer;
}
} // namespace

TRealPowerForm::TRealPowerForm(double& sourceActivePower, QWidget* parent)
    : QDialog(parent), target_(sourceActivePower) {
    setObjectName(QStringLiteral("RealPowerForm"));
    setWindowTitle(tr("请填写当前频率下"));
    auto* column = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    auto* caption = new QLabel(tr("源有功功率："), this);
    edit_ = new QLineEdit(this);
    edit_->setObjectName(QStringLiteral("LE_RealPower"));
    caption->setBuddy(edit_);
    auto* unit = new QLabel(QStringLiteral("W"), this);
    unit->setObjectName(QStringLiteral("Label10"));
    row->addWidget(caption);
    row->addWidget(edit_, 1);
    row->addWidget(unit);
    column->addLayout(row);
    ok_ = new QPushButton(tr("确定"), this);
    ok_->setObjectName(QStringLiteral("BitBtn1"));
    ok_->setDefault(true);
    ok_->setAutoDefault(true);
    column->addWidget(ok_, 0, Qt::AlignHCenter);
    connect(ok_, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
}

bool TRealPowerForm::BitBtn1Click() {
    if (edit_->text().isEmpty()) {
        Ui().inform(this, tr("请填写源的真实有功功率值！"));
        return false;
    }
    try {
        target_ = FieldToFloat(tr("源有功功率："), edit_->text());
    } catch (const ConversionError& e) {
        Ui().error(this, e.text());
        return false;
    }
    accept();
    return true;
}

void TRealPowerForm::Run(double& sourceActivePower, QWidget* parent) {
    TRealPowerForm dialog(sourceActivePower, parent);
    if (InstalledAnswerer())
        InstalledAnswerer()(dialog);
    else
        dialog.exec();
}

void TRealPowerForm::SetAnswerer(Answerer answerer) {
    InstalledAnswerer() = std::move(answerer);
}
