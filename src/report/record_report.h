#pragma once
// The report of a unit's record as a quality engineer signs it: one A4 page with the identity of
// the unit and the test (serial number, model, operator, station, times, software, line,
// protocol, test points), the table of checked quantities (numbers stored as numbers, units in
// their own column, header row, borders), the overall verdict and a line for the signature.
//
// Thread use: works only on its arguments and on the files it creates (any thread).

#include "report/workbook_writer.h"
#include "store/results.h"

#include <QString>

// "<model>_<serial>_<yyyyMMdd-HHmmss>.xlsx" from the record's start time; characters that cannot
// stand in a file name are replaced by "_", and an empty serial number reads "无序列号".
QString DefaultReportFileName(const UnitRecord& record);

// A workbook holding only the record's report sheet, written as WriteCheckWorkbook writes (built
// beside the target and renamed into place once complete).
ExportResult WriteRecordWorkbook(const QString& path, const UnitRecord& record);

// "数据导出成功！" and the path the workbook went to, on a line of its own.
QString ExportSucceededMessage(const QString& path);

// A test point as the report names it: "U 100% I 100% 60° 50Hz".
QString ReportPointText(const RecordPoint& point);
// The overall verdict as the report prints it: "合格", "不合格（3 项不合格）", or the plain text of
// the other verdicts ("无应答", "未判定").
QString ReportVerdictText(const UnitRecord& record);

// Adds the report sheet ("检验报告") to a workbook the writers of this folder are filling; why it
// could not, empty when all went in.
QString AddRecordSheet(lxw_workbook* book, const UnitRecord& record);
