#pragma once
// Writes the real-time grid and the conditions of the check to an .xlsx workbook: the title and
// status rows and the three header lines merged across A:C in sheet rows 1 to 5, the grid's data
// rows from sheet row 6, failed values red and underlined. The report of the unit's record
// (record_report.h) may follow as a second sheet.
//
// Thread use: WriteCheckWorkbook works only on its arguments and on files it creates, so a window
// can run it on a worker thread with copies of the grid (no GUI types involved); several exports
// may run at once on different targets.

#include "report/check_export.h"
#include "report/replace_file.h"

#include <QString>
#include <functional>
#include <vector>

struct UnitRecord;
struct lxw_workbook; // libxlsxwriter's, for the writers of this folder only

// One data row of the grid as it is shown: column 0 the running number, column 1 the parameter
// name, column 2 the value; failed is set when the value is shown red (it failed its accuracy
// check).
struct ExportRow {
    QString number;
    QString name;
    QString value;
    bool failed = false;
};

// What the grid shows: the title row (row 0), the status line of the reading thread (row 1) and
// the data rows (row 2 onward), texts as they appear in the cells.
struct ExportGrid {
    QString title;
    QString status;
    std::vector<ExportRow> rows;
};

// Gathers an ExportGrid from a grid of rowCount rows, cells addressed (column, row) from 0: the
// title and status from column 0 of rows 0 and 1, data rows from row 2 to the last. failed tells
// whether a value cell (column 2) is shown red. Call it on the thread that owns the grid.
ExportGrid CollectGrid(int rowCount, const std::function<QString(int column, int row)>& text,
                       const std::function<bool(int column, int row)>& failed);

// Writes the workbook under path, replacing what is there as ReplaceFile does: a failure at any
// point leaves the target as it was and no partial file behind.
// With a record, its report sheet follows the grid's sheet, which stays as it is without one.
ExportResult WriteCheckWorkbook(const QString& path, const ExportGrid& grid,
                                const ExportHeaderLines& header,
                                const UnitRecord* record = nullptr);

// The writing shared by the workbooks of this folder, as WriteCheckWorkbook describes it: fill
// adds the sheets to the open workbook and returns why it could not, empty when all went in.
ExportResult WriteWorkbookFile(const QString& path,
                               const std::function<QString(lxw_workbook* book)>& fill);
