#pragma once
// Builds the pages' labelled fields on a grid: each field takes three columns (caption, control,
// unit or arrows). A caption that belongs to an edit follows the edit: hidden, shown, enabled
// and disabled with it, as a labelled edit does. GUI thread only.

#include <QString>

class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QWidget;
class UpDown;

class FormGrid {
public:
    explicit FormGrid(QWidget* box);
    QGridLayout* layout() const { return grid_; }

    // An edit at field position (row, column) with its caption, form text and optional unit.
    QLineEdit* edit(int row, int column, const char* name, const QString& caption,
                    const QString& text, const QString& unit = {}, int width = 56);
    // A drop-down list; labelName names the caption when operations enable or disable it.
    QComboBox* combo(int row, int column, const char* name, const QString& caption,
                     const char* labelName = nullptr, int width = 110);
    // Arrows in the unit column of (row, column) that step buddy within [minimum, maximum].
    UpDown* upDown(int row, int column, QLineEdit* buddy, const char* name, int minimum,
                   int maximum);

private:
    QLabel* caption(int row, int column, const QString& text);
    QWidget* box_;
    QGridLayout* grid_;
};

// Makes label follow the visibility and the enabled state of control.
void AttachCaption(QWidget* control, QLabel* label);

// The twelve tariff segments with their form defaults: prefix + TH1..TH12 "时段n时：" (1, 7, 13,
// 19, then 0), TM1..TM12 "时段n分：" (0), TN1..TN12 "时段n费率号：" (1..4, then 0); six rows
// from firstRow, segments 1-6 in field columns 0-2 and 7-12 in 3-5.
void AddSegmentFields(FormGrid& grid, const QString& prefix, int firstRow);
