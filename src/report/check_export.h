#pragma once
// Texts and decisions of the export of the real-time grid to a workbook: whether there is anything
// to export, the file name the save dialog proposes, the question before overwriting, the outcome
// messages, and the three header lines that record the conditions of the check. The window asks
// these functions what to say and whether to go on; WriteCheckWorkbook (workbook_writer.h) writes
// the file.
//
// Thread use: plain functions without shared state, callable from any thread.

#include <QString>

// The inspection settings quoted by the header lines (section SetCheck of Config.ini), read
// afresh for each export.
struct ExportSettings {
    double U = 220;    // rated voltage, V
    double I = 5;      // rated current, A
    double JDF = 0.02; // frequency tolerance, Hz
    double JDU = 0.2;  // accuracy classes: voltage, current, power factor, active, reactive
    double JDI = 0.2;  // and apparent power
    double JDC = 0.5;
    double JDP = 0.5;
    double JDQ = 0.5;
    double JDS = 0.5;
};

// The checked button of each radio group of the real-time page, as its position in the group
// (0 = the first button: 0%, 0%, 0°, 45Hz); -1 (or any position the group does not have) when no
// button of the group is checked, which leaves that group out of the test-conditions line.
struct ExportTestPoint {
    int voltage = 0;   // 0%, 10%, 50%, 100%, 120%
    int current = 0;   // 0%, 1%, 50%, 100%, 120%
    int angle = 0;     // 0°, 30°, 60°, 90°, 300°, 330°
    int frequency = 0; // 45, 50, 55, 60, 65 Hz
};

struct ExportHeaderLines {
    QString ratedValues;    // sheet row 3
    QString accuracy;       // sheet row 4
    QString testConditions; // sheet row 5
};

// "额定值(电压：220V; 电流：5A)": numbers in their shortest text, no trailing zeros.
QString RatedValuesLine(const ExportSettings& settings);
// "准确度(电压：0.2级; 电流：0.2级; 频率：0.02Hz; 功率因数：0.5级; ...)".
QString AccuracyLine(const ExportSettings& settings);
// One piece per checked group, joined without separators.
QString TestConditionsLine(const ExportTestPoint& point);
ExportHeaderLines BuildHeaderLines(const ExportSettings& settings, const ExportTestPoint& point);

// The grid always carries its title row, its status row and one row for the first value (empty
// until a pass has written it), so only a grid of four rows or more has readings to save.
bool GridHasExportableData(int gridRowCount);

QString NoDataMessage();          // "无数据，不能导出保存！！"
QString ProposedExportFileName(); // "Excel.xlsx"
QString ExportDefaultSuffix();    // "xlsx"
QString ExportFileFilter();       // filter line of the save dialog
QString OverwriteQuestion();      // "文件已经存在,是否覆盖?"
QString OverwriteCaption();       // "导出提示"
QString ExportSucceededMessage(); // "数据导出成功！"
QString ExportFailedMessage();    // "数据导出失败！！"

// The chosen name with ".xlsx" appended when its file name has no suffix of its own.
QString WithExportSuffix(const QString& chosenPath);
// True when something already exists under the name, so the user must be asked first.
bool NeedsOverwriteQuestion(const QString& path);
