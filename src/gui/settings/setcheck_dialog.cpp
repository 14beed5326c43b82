#include "gui/settings/setcheck_dialog.h"

#include "common/conversion.h"
#include "gui/kit/help_viewer.h"
#include "gui/kit/messages.h"
#include "store/settings.h"

#include <QCoreApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
struct Field {
    const char* name;
    const char* label;
    const char* initial;
    int group; // 0 accuracy, 1 rated values
};
// File order (U, I, JDF .. JDS).
const Field kFields[9] = {
    {"LE_StandVol", QT_TRANSLATE_NOOP("TSetCheckForm", "额定电压(V)："), "220", 1},
    {"LE_StandCur", QT_TRANSLATE_NOOP("TSetCheckForm", "额定电流(A)："), "5", 1},
    {"LE_StandF", QT_TRANSLATE_NOOP("TSetCheckForm", "频率(Hz)："), "0.02", 0},
    {"LE_StandU", QT_TRANSLATE_NOOP("TSetCheckForm", "电压(级)："), "0.2", 0},
    {"LE_StandI", QT_TRANSLATE_NOOP("TSetCheckForm", "电流(级)："), "0.2", 0},
    {"LE_StandC", QT_TRANSLATE_NOOP("TSetCheckForm", "功率因数(级)："), "0.5", 0},
    {"LE_StandP", QT_TRANSLATE_NOOP("TSetCheckForm", "有功功率(级)："), "0.5", 0},
    {"LE_StandQ", QT_TRANSLATE_NOOP("TSetCheckForm", "无功功率(级)："), "0.5", 0},
    {"LE_StandS", QT_TRANSLATE_NOOP("TSetCheckForm", "视在功率(级)："), "0.5", 0},
};
// Shown order: the accuracy classes first, then the rated values.
const int kShownOrder[9] = {2, 3, 4, 5, 6, 7, 8, 0, 1};
} // namespace

TSetCheckForm::TSetCheckForm(const QString& dataDir, QWidget* parent)
    : QDialog(parent), dataDir_(dataDir) {
    setObjectName(QStringLiteral("SetCheckForm"));
    AddHelpKey(this, QStringLiteral("settings"));
    setWindowTitle(tr("检验参数配置"));
    auto* outer = new QVBoxLayout(this);
    QGroupBox* groups[2] = {new QGroupBox(tr("准确度设置"), this),
                            new QGroupBox(tr("额定值设置"), this)};
    groups[0]->setObjectName(QStringLiteral("GroupBox1"));
    groups[1]->setObjectName(QStringLiteral("GroupBox2"));
    QFormLayout* forms[2] = {new QFormLayout(groups[0]), new QFormLayout(groups[1])};
    for (int i : kShownOrder) {
        const Field& f = kFields[i];
        auto* edit = new QLineEdit(QString::fromUtf8(f.initial), groups[f.group]);
        edit->setObjectName(QLatin1String(f.name));
        forms[f.group]->addRow(tr(f.label), edit);
        fields_[i] = edit;
    }
    outer->addWidget(groups[0]);
    outer->addWidget(groups[1]);
    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton(tr("确定"), this);
    ok->setObjectName(QStringLiteral("BitBtn1"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(tr("取消"), this);
    cancel->setObjectName(QStringLiteral("BitBtn2"));
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    outer->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(cancel, &QPushButton::clicked, this, &TSetCheckForm::BitBtn2Click);

    const SavedCheckSettings s = LoadCheckSettings(dataDir_);
    const double values[9] = {s.U, s.I, s.JDF, s.JDU, s.JDI, s.JDC, s.JDP, s.JDQ, s.JDS};
    for (int i = 0; i < 9; ++i)
        fields_[i]->setText(FloatToText(values[i]));
}

bool TSetCheckForm::BitBtn1Click() {
    double v[9];
    try {
        for (int i = 0; i < 9; ++i)
            v[i] = FieldToFloat(tr(kFields[i].label), fields_[i]->text());
        SaveCheckSettings(dataDir_, {v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8]});
    } catch (const ConversionError& e) {
        Ui().error(this, e.text());
        return false;
    }
    accept();
    return true;
}

void TSetCheckForm::BitBtn2Click() {
    reject();
}
