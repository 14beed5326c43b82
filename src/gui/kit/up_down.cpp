#include "gui/kit/up_down.h"

#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

UpDown::UpDown(QLineEdit* buddy, int minimum, int maximum, QWidget* parent)
    : QWidget(parent), buddy_(buddy), minimum_(minimum), maximum_(maximum) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    const struct {
        Qt::ArrowType arrow;
        int delta;
    } buttons[] = {{Qt::UpArrow, 1}, {Qt::DownArrow, -1}};
    for (const auto& b : buttons) {
        auto* button = new QToolButton(this);
        button->setArrowType(b.arrow);
        button->setAutoRepeat(true);
        button->setFixedSize(16, 11);
        const int delta = b.delta;
        connect(button, &QToolButton::clicked, this, [this, delta] { stepBy(delta); });
        column->addWidget(button);
    }
    setFixedWidth(16);
}

void UpDown::stepBy(int delta) {
    bool ok = false;
    const int current = buddy_->text().trimmed().toInt(&ok);
    setPosition(ok ? std::clamp(current, minimum_, maximum_) + delta : minimum_);
}

void UpDown::setPosition(int value) {
    buddy_->setText(QString::number(std::clamp(value, minimum_, maximum_)));
}
