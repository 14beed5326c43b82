#include "report/record_report.h"

#include <QByteArray>
#include <QDir>
#include <QHash>
#include <QStringList>
#include <QStringView>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <xlsxwriter.h>

namespace {

const char* const kSheetName = "检验报告";
const char* const kBodyFont = "宋体";

// The columns of the quantity table, A to I; the identity block above shares them.
enum Column : lxw_col_t {
    kPointColumn = 0,
    kNameColumn,
    kQuantityColumn,
    kExpectedColumn,
    kMeasuredColumn,
    kUnitColumn,
    kErrorColumn,
    kLimitColumn,
    kVerdictColumn,
    kColumnCount
};

// Widths in characters: the test point text ("U 100% I 100% 330° 65Hz") and the longest names
// of the grid fit without wrapping; the whole is scaled onto the page when printed.
const double kWidths[kColumnCount] = {22, 16, 8, 11, 11, 7, 9, 9, 8};

// One line of the wrapped test-point cell, in points.
const double kLineHeight = 15;

QString Number(double value) {
    return QString::number(value, 'g', 12);
}

QString TimeText(const QDateTime& time) {
    return time.isValid() ? time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                          : QString();
}

// Width of a text in column units: a Chinese character takes two.
int DisplayWidth(const QString& text) {
    int width = 0;
    for (const QChar c : text)
        width += c.unicode() >= 0x2E80 ? 2 : 1;
    return width;
}

struct Formats {
    lxw_format* title = nullptr;
    lxw_format* label = nullptr;
    lxw_format* value = nullptr;
    lxw_format* wrapped = nullptr;
    lxw_format* head = nullptr;
    lxw_format* text = nullptr;
    lxw_format* centred = nullptr;
    lxw_format* figure = nullptr; // expected, measured, error
    lxw_format* limit = nullptr;
    lxw_format* passed = nullptr;
    lxw_format* failed = nullptr;
    lxw_format* verdictLabel = nullptr;
    lxw_format* verdictPassed = nullptr;
    lxw_format* verdictFailed = nullptr;
    lxw_format* signature = nullptr;
};

lxw_format* BodyFormat(lxw_workbook* book, bool bordered) {
    lxw_format* format = workbook_add_format(book);
    if (!format) return nullptr;
    format_set_font_name(format, kBodyFont);
    format_set_font_size(format, 11);
    format_set_align(format, LXW_ALIGN_VERTICAL_CENTER);
    if (bordered) format_set_border(format, LXW_BORDER_THIN);
    return format;
}

bool MakeFormats(lxw_workbook* book, Formats& f) {
    lxw_format** all[] = {&f.title,         &f.label,         &f.value,    &f.wrapped,
                          &f.head,          &f.text,          &f.centred,  &f.figure,
                          &f.limit,         &f.passed,        &f.failed,   &f.verdictLabel,
                          &f.verdictPassed, &f.verdictFailed, &f.signature};
    const bool unbordered[] = {true,  false, false, false, false, false, false, false,
                               false, false, false, true,  true,  true,  true};
    for (size_t i = 0; i < std::size(all); ++i) {
        *all[i] = BodyFormat(book, !unbordered[i]);
        if (!*all[i]) return false;
    }

    format_set_font_name(f.title, "黑体");
    format_set_font_size(f.title, 20);
    format_set_align(f.title, LXW_ALIGN_CENTER);

    format_set_bold(f.label);
    format_set_align(f.label, LXW_ALIGN_CENTER);
    format_set_bg_color(f.label, 0xF2F2F2);
    format_set_align(f.value, LXW_ALIGN_LEFT);
    format_set_align(f.wrapped, LXW_ALIGN_LEFT);
    format_set_text_wrap(f.wrapped);

    format_set_bold(f.head);
    format_set_align(f.head, LXW_ALIGN_CENTER);
    format_set_bg_color(f.head, 0xD9D9D9);
    format_set_text_wrap(f.head);

    format_set_align(f.text, LXW_ALIGN_LEFT);
    format_set_align(f.centred, LXW_ALIGN_CENTER);
    format_set_align(f.figure, LXW_ALIGN_RIGHT);
    format_set_num_format(f.figure, "0.000");
    format_set_align(f.limit, LXW_ALIGN_RIGHT);
    format_set_align(f.passed, LXW_ALIGN_CENTER);
    format_set_align(f.failed, LXW_ALIGN_CENTER);
    format_set_bold(f.failed);
    format_set_font_color(f.failed, LXW_COLOR_RED);

    for (lxw_format* verdict : {f.verdictLabel, f.verdictPassed, f.verdictFailed}) {
        format_set_font_size(verdict, 16);
        format_set_bold(verdict);
    }
    format_set_align(f.verdictPassed, LXW_ALIGN_LEFT);
    format_set_align(f.verdictFailed, LXW_ALIGN_LEFT);
    format_set_font_color(f.verdictFailed, LXW_COLOR_RED);
    format_set_align(f.signature, LXW_ALIGN_LEFT);
    format_set_align(f.signature, LXW_ALIGN_VERTICAL_BOTTOM);
    return true;
}

// Writes cells and keeps the first error of libxlsxwriter; later writes after an error change
// nothing of the outcome, so the fill reads straight through.
class Sheet {
public:
    explicit Sheet(lxw_worksheet* sheet) : sheet_(sheet) {}

    void Text(lxw_row_t row, lxw_col_t column, const QString& text, lxw_format* format) {
        const QByteArray utf8 = text.toUtf8();
        Keep(worksheet_write_string(sheet_, row, column, utf8.constData(), format));
    }
    // A figure that is not a number (a value judged by nothing) stays an empty cell.
    void Figure(lxw_row_t row, lxw_col_t column, double value, lxw_format* format) {
        if (std::isfinite(value))
            Keep(worksheet_write_number(sheet_, row, column, value, format));
        else
            Keep(worksheet_write_blank(sheet_, row, column, format));
    }
    void Merge(lxw_row_t firstRow, lxw_col_t firstColumn, lxw_row_t lastRow, lxw_col_t lastColumn,
               const QString& text, lxw_format* format) {
        if (firstRow == lastRow && firstColumn == lastColumn) {
            Text(firstRow, firstColumn, text, format);
            return;
        }
        const QByteArray utf8 = text.toUtf8();
        Keep(worksheet_merge_range(sheet_, firstRow, firstColumn, lastRow, lastColumn,
                                   utf8.constData(), format));
    }
    void Height(lxw_row_t row, double points) {
        Keep(worksheet_set_row(sheet_, row, points, nullptr));
    }
    void Keep(lxw_error error) {
        if (error_ == LXW_NO_ERROR) error_ = error;
    }
    lxw_error error() const { return error_; }

private:
    lxw_worksheet* sheet_;
    lxw_error error_ = LXW_NO_ERROR;
};

QString PointsText(const UnitRecord& record) {
    QStringList texts;
    for (const RecordPoint& point : record.points)
        texts << ReportPointText(point);
    return texts.join(QStringLiteral("；"));
}

// Two label-value pairs a row: label A, value B:D, label E:F, value G:I.
void IdentityRow(Sheet& sheet, const Formats& f, lxw_row_t row, const QString& leftLabel,
                 const QString& leftValue, const QString& rightLabel, const QString& rightValue) {
    sheet.Text(row, kPointColumn, leftLabel, f.label);
    sheet.Merge(row, kNameColumn, row, kExpectedColumn, leftValue, f.value);
    sheet.Merge(row, kMeasuredColumn, row, kUnitColumn, rightLabel, f.label);
    sheet.Merge(row, kErrorColumn, row, kVerdictColumn, rightValue, f.value);
}

lxw_row_t FillIdentity(Sheet& sheet, const Formats& f, const UnitRecord& r, lxw_row_t row) {
    const QString serial = r.serial.isEmpty() ? QStringLiteral("（无序列号）") : r.serial;
    const QString plan = r.plan.isEmpty() ? QStringLiteral("单点") : r.plan;
    IdentityRow(sheet, f, row++, QStringLiteral("序列号"), serial, QStringLiteral("型号"), r.model);
    IdentityRow(sheet, f, row++, QStringLiteral("操作员"), r.operatorName, QStringLiteral("工位"),
                r.station);
    IdentityRow(sheet, f, row++, QStringLiteral("开始时间"), TimeText(r.started),
                QStringLiteral("结束时间"), TimeText(r.ended));
    IdentityRow(sheet, f, row++, QStringLiteral("软件版本"), r.softwareVersion,
                QStringLiteral("通信协议"), r.protocol);
    IdentityRow(sheet, f, row++, QStringLiteral("串口"), r.port, QStringLiteral("通信参数"),
                r.lineSettings);
    // The address is a number the module answers to and stays one: the merged cell is made
    // first and its first cell then given the number.
    sheet.Text(row, kPointColumn, QStringLiteral("地址"), f.label);
    sheet.Merge(row, kNameColumn, row, kExpectedColumn, QString(), f.value);
    sheet.Figure(row, kNameColumn, r.address, f.value);
    sheet.Merge(row, kMeasuredColumn, row, kUnitColumn, QStringLiteral("检验方案"), f.label);
    sheet.Merge(row, kErrorColumn, row, kVerdictColumn, plan, f.value);
    ++row;

    const QString points = PointsText(r);
    sheet.Text(row, kPointColumn, QStringLiteral("测试点"), f.label);
    sheet.Merge(row, kNameColumn, row, kVerdictColumn, points, f.wrapped);
    // A merged cell does not grow with its text, so the row is given the lines it needs.
    double capacity = 0;
    for (int c = kNameColumn; c < kColumnCount; ++c)
        capacity += kWidths[c];
    const int lines = std::max(1, static_cast<int>(std::ceil(DisplayWidth(points) / capacity)));
    if (lines > 1) sheet.Height(row, lines * kLineHeight);
    return row + 1;
}

lxw_row_t FillQuantities(Sheet& sheet, const Formats& f, const UnitRecord& r, lxw_row_t row) {
    const QString heads[kColumnCount] = {
        QStringLiteral("测试点"),  QStringLiteral("名称"),    QStringLiteral("检验量"),
        QStringLiteral("期望值"),  QStringLiteral("测量值"),  QStringLiteral("单位"),
        QStringLiteral("误差(%)"), QStringLiteral("限值(%)"), QStringLiteral("结论")};
    for (lxw_col_t c = 0; c < kColumnCount; ++c)
        sheet.Text(row, c, heads[c], f.head);
    ++row;

    if (r.quantities.isEmpty()) {
        sheet.Merge(row, kPointColumn, row, kVerdictColumn, QStringLiteral("无检验数据"),
                    f.centred);
        return row + 1;
    }

    QHash<int, QString> pointTexts;
    for (const RecordPoint& point : r.points)
        pointTexts.insert(point.index, ReportPointText(point));
    auto pointText = [&](int index) {
        return pointTexts.value(index, QStringLiteral("第%1点").arg(index + 1));
    };

    const lxw_row_t first = row;
    for (const RecordQuantity& q : r.quantities) {
        sheet.Text(row, kNameColumn, q.name, f.text);
        sheet.Text(row, kQuantityColumn, q.quantity, f.centred);
        sheet.Figure(row, kExpectedColumn, q.expected, f.figure);
        sheet.Figure(row, kMeasuredColumn, q.measured, f.figure);
        sheet.Text(row, kUnitColumn, q.unit, f.centred);
        sheet.Figure(row, kErrorColumn, q.error, f.figure);
        sheet.Figure(row, kLimitColumn, q.limit, f.limit);
        sheet.Text(row, kVerdictColumn,
                   q.passed ? QStringLiteral("合格") : QStringLiteral("不合格"),
                   q.passed ? f.passed : f.failed);
        ++row;
    }
    // The point is named once for each run of its quantities, in one cell down the run.
    for (lxw_row_t start = first; start < row;) {
        const int point = r.quantities[static_cast<qsizetype>(start - first)].point;
        lxw_row_t end = start + 1;
        while (end < row && r.quantities[static_cast<qsizetype>(end - first)].point == point)
            ++end;
        sheet.Merge(start, kPointColumn, end - 1, kPointColumn, pointText(point), f.text);
        start = end;
    }
    return row;
}

} // namespace

QString ReportPointText(const RecordPoint& point) {
    return QStringLiteral("U %1% I %2% %3° %4Hz")
        .arg(Number(point.voltagePercent), Number(point.currentPercent), Number(point.angle),
             Number(point.frequency));
}

QString ReportVerdictText(const UnitRecord& record) {
    if (record.verdict == Verdict::Fail && record.failures > 0)
        return QStringLiteral("不合格（%1 项不合格）").arg(record.failures);
    return VerdictText(record.verdict);
}

QString AddRecordSheet(lxw_workbook* book, const UnitRecord& record) {
    lxw_worksheet* ws = workbook_add_worksheet(book, kSheetName);
    Formats f;
    if (!ws || !MakeFormats(book, f))
        return QString::fromUtf8(lxw_strerror(LXW_ERROR_MEMORY_MALLOC_FAILED));
    Sheet sheet(ws);

    for (lxw_col_t c = 0; c < kColumnCount; ++c)
        sheet.Keep(worksheet_set_column(ws, c, c, kWidths[c], nullptr));

    lxw_row_t row = 0;
    sheet.Merge(row, kPointColumn, row, kVerdictColumn, QStringLiteral("检验报告"), f.title);
    sheet.Height(row, 36);
    row = FillIdentity(sheet, f, record, row + 1);
    row = FillQuantities(sheet, f, record, row + 1); // a blank row between the two blocks

    ++row;
    sheet.Text(row, kPointColumn, QStringLiteral("检验结论"), f.verdictLabel);
    sheet.Merge(row, kNameColumn, row, kVerdictColumn, ReportVerdictText(record),
                record.verdict == Verdict::Pass ? f.verdictPassed : f.verdictFailed);
    sheet.Height(row, 30);
    row += 2;
    sheet.Merge(row, kPointColumn, row, kVerdictColumn,
                QStringLiteral("检验员：________  审核：________  日期：________"), f.signature);
    sheet.Height(row, 30);

    // One A4 page, upright, however many quantities the check had.
    worksheet_set_paper(ws, 9);
    worksheet_set_portrait(ws);
    worksheet_fit_to_pages(ws, 1, 1);
    worksheet_set_margins(ws, 0.5, 0.5, 0.6, 0.6);
    worksheet_center_horizontally(ws);
    sheet.Keep(worksheet_print_area(ws, 0, 0, row, kColumnCount - 1));

    return sheet.error() == LXW_NO_ERROR ? QString()
                                         : QString::fromUtf8(lxw_strerror(sheet.error()));
}

QString DefaultReportFileName(const UnitRecord& record) {
    QString name = record.model + QLatin1Char('_') +
                   (record.serial.isEmpty() ? QStringLiteral("无序列号") : record.serial);
    if (record.started.isValid())
        name += QLatin1Char('_') +
                record.started.toLocalTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    // What Windows refuses in a name, with Linux's "/" among it, so that the file can travel.
    const QStringView refused = u"\\/:*?\"<>|";
    for (QChar& c : name)
        if (c.category() == QChar::Other_Control || refused.contains(c)) c = QLatin1Char('_');
    return name + QStringLiteral(".xlsx");
}

ExportResult WriteRecordWorkbook(const QString& path, const UnitRecord& record) {
    return WriteWorkbookFile(path,
                             [&](lxw_workbook* book) { return AddRecordSheet(book, record); });
}

QString ExportSucceededMessage(const QString& path) {
    return QStringLiteral("数据导出成功！\n") + QDir::toNativeSeparators(path);
}
