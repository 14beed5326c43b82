#include "workbook_writer.h"

#include "report/record_report.h"

#include <QByteArray>
#include <QFile>
#include <xlsxwriter.h>

namespace {

// The grid's texts are trimmed of blanks and control characters at both ends, as they were when
// typed into a spreadsheet cell by hand.
QString TrimCell(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first).unicode() <= u' ')
        ++first;
    while (last > first && text.at(last - 1).unicode() <= u' ')
        --last;
    return text.mid(first, last - first);
}

QByteArray NativeName(const QString& path) {
#ifdef _WIN32
    return path.toUtf8(); // libxlsxwriter converts UTF-8 names to wide ones on Windows
#else
    return QFile::encodeName(path);
#endif
}

QString LxwText(lxw_error error) {
    return QString::fromUtf8(lxw_strerror(error));
}

// Fills the sheet; returns the first error of libxlsxwriter, LXW_NO_ERROR when all went in.
lxw_error FillSheet(lxw_workbook* book, const ExportGrid& grid, const ExportHeaderLines& header) {
    lxw_worksheet* sheet = workbook_add_worksheet(book, nullptr);
    if (!sheet) return LXW_ERROR_MEMORY_MALLOC_FAILED;

    lxw_format* title = workbook_add_format(book);
    lxw_format* plain = workbook_add_format(book);
    lxw_format* failed = workbook_add_format(book);
    if (!title || !plain || !failed) return LXW_ERROR_MEMORY_MALLOC_FAILED;
    format_set_font_name(title, "黑体");
    format_set_font_size(title, 20);
    format_set_align(title, LXW_ALIGN_CENTER);
    format_set_align(title, LXW_ALIGN_VERTICAL_CENTER);
    format_set_align(plain, LXW_ALIGN_LEFT);
    format_set_align(plain, LXW_ALIGN_VERTICAL_CENTER);
    format_set_align(failed, LXW_ALIGN_LEFT);
    format_set_align(failed, LXW_ALIGN_VERTICAL_CENTER);
    format_set_font_color(failed, LXW_COLOR_RED);
    format_set_underline(failed, LXW_UNDERLINE_SINGLE);

    const QString lines[5] = {TrimCell(grid.title), TrimCell(grid.status), header.ratedValues,
                              header.accuracy, header.testConditions};
    for (int r = 0; r < 5; ++r) {
        const QByteArray text = lines[r].toUtf8();
        lxw_error e =
            worksheet_merge_range(sheet, static_cast<lxw_row_t>(r), 0, static_cast<lxw_row_t>(r), 2,
                                  text.constData(), r == 0 ? title : plain);
        if (e != LXW_NO_ERROR) return e;
    }

    const double widths[3] = {4, 46, 99};
    for (lxw_col_t c = 0; c < 3; ++c) {
        lxw_error e = worksheet_set_column(sheet, c, c, widths[c], nullptr);
        if (e != LXW_NO_ERROR) return e;
    }

    lxw_row_t row = 5; // grid row 2 lands on sheet row 6
    for (const ExportRow& gridRow : grid.rows) {
        const QString cells[3] = {gridRow.number, gridRow.name, gridRow.value};
        for (lxw_col_t c = 0; c < 3; ++c) {
            const QByteArray text = TrimCell(cells[c]).toUtf8();
            lxw_format* format = (c == 2 && gridRow.failed) ? failed : plain;
            lxw_error e = worksheet_write_string(sheet, row, c, text.constData(), format);
            if (e != LXW_NO_ERROR) return e;
        }
        ++row;
    }
    return LXW_NO_ERROR;
}

} // namespace

ExportGrid CollectGrid(int rowCount, const std::function<QString(int column, int row)>& text,
                       const std::function<bool(int column, int row)>& failed) {
    ExportGrid grid;
    if (rowCount > 0) grid.title = text(0, 0);
    if (rowCount > 1) grid.status = text(0, 1);
    for (int r = 2; r < rowCount; ++r)
        grid.rows.push_back({text(0, r), text(1, r), text(2, r), failed(2, r)});
    return grid;
}

ExportResult WriteCheckWorkbook(const QString& path, const ExportGrid& grid,
                                const ExportHeaderLines& header, const UnitRecord* record) {
    return WriteWorkbookFile(path, [&](lxw_workbook* book) {
        // The grid's sheet is filled first so that its cells, strings and formats are numbered
        // as in a workbook without the report.
        const lxw_error filled = FillSheet(book, grid, header);
        if (filled != LXW_NO_ERROR) return LxwText(filled);
        return record ? AddRecordSheet(book, *record) : QString();
    });
}

ExportResult WriteWorkbookFile(const QString& path,
                               const std::function<QString(lxw_workbook* book)>& fill) {
    return ReplaceFile(path, [&](const QString& partName) -> QString {
        lxw_workbook* book = workbook_new(NativeName(partName).constData());
        if (!book) return QStringLiteral("cannot create the workbook");
        const QString filled = fill(book);
        // Closing also frees the workbook, so it runs after a failed fill as well; the file it
        // writes then is thrown away.
        const lxw_error closed = workbook_close(book);
        if (!filled.isEmpty()) return filled;
        return closed != LXW_NO_ERROR ? LxwText(closed) : QString();
    });
}
