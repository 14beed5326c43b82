#include "gui/kit/form_grid.h"

#include "gui/kit/up_down.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace {
class CaptionFollower : public QObject {
public:
    CaptionFollower(QWidget* control, QLabel* label) : QObject(control), label_(label) {
        control->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* control = static_cast<QWidget*>(watched);
        switch (event->type()) {
        // Only an explicit hide or show of the control moves its caption; a hidden page does
        // not.
        case QEvent::HideToParent:
            label_->hide();
            break;
        case QEvent::ShowToParent:
            label_->show();
            break;
        case QEvent::EnabledChange:
            label_->setEnabled(control->isEnabled());
            break;
        default:
            break;
        }
        return false;
    }

private:
    QLabel* label_;
};
} // namespace

void AttachCaption(QWidget* control, QLabel* label) {
    new CaptionFollower(control, label);
}

FormGrid::FormGrid(QWidget* box) : box_(box), grid_(new QGridLayout(box)) {
    grid_->setHorizontalSpacing(4);
    grid_->setVerticalSpacing(3);
    grid_->setContentsMargins(6, 6, 6, 6);
}

QLabel* FormGrid::caption(int row, int column, const QString& text) {
    auto* label = new QLabel(text, box_);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid_->addWidget(label, row, column * 3);
    return label;
}

QLineEdit* FormGrid::edit(int row, int column, const char* name, const QString& captionText,
                          const QString& text, const QString& unit, int width) {
    QLabel* label = caption(row, column, captionText);
    auto* field = new QLineEdit(text, box_);
    field->setObjectName(QLatin1String(name));
    field->setFixedWidth(width);
    label->setBuddy(field);
    AttachCaption(field, label);
    grid_->addWidget(field, row, column * 3 + 1);
    if (!unit.isEmpty()) {
        auto* unitLabel = new QLabel(unit, box_);
        AttachCaption(field, unitLabel);
        grid_->addWidget(unitLabel, row, column * 3 + 2);
    }
    return field;
}

QComboBox* FormGrid::combo(int row, int column, const char* name, const QString& captionText,
                           const char* labelName, int width) {
    QLabel* label = caption(row, column, captionText);
    if (labelName) label->setObjectName(QLatin1String(labelName));
    auto* list = new QComboBox(box_);
    list->setObjectName(QLatin1String(name));
    list->setFixedWidth(width);
    label->setBuddy(list);
    grid_->addWidget(list, row, column * 3 + 1, 1, 2);
    return list;
}

UpDown* FormGrid::upDown(int row, int column, QLineEdit* buddy, const char* name, int minimum,
                         int maximum) {
    auto* arrows = new UpDown(buddy, minimum, maximum, box_);
    arrows->setObjectName(QLatin1String(name));
    grid_->addWidget(arrows, row, column * 3 + 2);
    return arrows;
}

void AddSegmentFields(FormGrid& grid, const QString& prefix, int firstRow) {
    static const char* const hours[] = {"1", "7", "13", "19"};
    for (int n = 1; n <= 12; ++n) {
        const int row = firstRow + (n - 1) % 6;
        const int column = (n - 1) / 6 * 3;
        const QString num = QString::number(n);
        const QString hour = n <= 4 ? QString::fromLatin1(hours[n - 1]) : QStringLiteral("0");
        const QString tariff = n <= 4 ? num : QStringLiteral("0");
        const QByteArray th = (prefix + QStringLiteral("TH") + num).toLatin1();
        const QByteArray tm = (prefix + QStringLiteral("TM") + num).toLatin1();
        const QByteArray tn = (prefix + QStringLiteral("TN") + num).toLatin1();
        grid.edit(row, column, th.constData(),
                  QCoreApplication::translate("FormGrid", "时段%1时：").arg(n), hour, {}, 32);
        grid.edit(row, column + 1, tm.constData(),
                  QCoreApplication::translate("FormGrid", "时段%1分：").arg(n), QStringLiteral("0"),
                  {}, 32);
        grid.edit(row, column + 2, tn.constData(),
                  QCoreApplication::translate("FormGrid", "时段%1费率号：").arg(n), tariff, {}, 32);
    }
}
