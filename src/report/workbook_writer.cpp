#include "workbook_writer.h"

#include "report/record_report.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <filesystem>
#include <system_error>
#include <xlsxwriter.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

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

std::filesystem::path FsPath(const QString& path) {
    return std::filesystem::path(path.toStdU16String());
}

// Puts the written file on the disk before it is renamed over the target: without it a power cut
// soon after the rename can leave the target's name on a file whose contents never got there.
bool SyncToDisk(const QString& path) {
#ifdef _WIN32
    const int fd = _wopen(reinterpret_cast<const wchar_t*>(path.utf16()), _O_RDWR | _O_BINARY);
    if (fd < 0) return false;
    const bool synced = _commit(fd) == 0;
    _close(fd);
#else
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
#endif
    return synced;
}

// Temporary files of earlier exports to the same target that died before their rename
// (".<name>.XXXXXX.part", six random characters); those of other targets are not touched.
void RemoveLeftovers(const QFileInfo& target) {
    const QDir folder = target.absoluteDir();
    const QRegularExpression leftover(
        QLatin1Char('^') +
        QRegularExpression::escape(QLatin1Char('.') + target.fileName() + QLatin1Char('.')) +
        QStringLiteral("[^.]{6}\\.part$"));
    for (const QString& entry : folder.entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (leftover.match(entry).hasMatch()) QFile::remove(folder.filePath(entry));
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
    const QFileInfo target(path);
    if (path.isEmpty()) return {false, QStringLiteral("no file name")};
    if (target.isDir()) return {false, path + QStringLiteral(" is a folder")};

    RemoveLeftovers(target);

    // The temporary name lives beside the target so that the final rename stays within one file
    // system and replaces the target in one step.
    QTemporaryFile reserve(target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                           QStringLiteral(".XXXXXX.part"));
    reserve.setAutoRemove(false);
    if (!reserve.open()) return {false, path + QStringLiteral(": ") + reserve.errorString()};
    const QString partName = reserve.fileName();
    reserve.close();

    ExportResult result{true, {}};
    auto fail = [&](const QString& why) {
        if (result.ok) result = {false, why};
    };

    lxw_workbook* book = workbook_new(NativeName(partName).constData());
    if (!book) {
        fail(QStringLiteral("cannot create the workbook"));
    } else {
        const QString filled = fill(book);
        if (!filled.isEmpty()) fail(filled);
        // Closing also frees the workbook, so it runs after a failed fill as well; the file it
        // writes then is thrown away below.
        const lxw_error closed = workbook_close(book);
        if (closed != LXW_NO_ERROR) fail(LxwText(closed));
    }

    if (result.ok) {
        // The reservation was made private to the owner; give the workbook the modes of the
        // file it replaces, or the usual ones of a new document.
        const QFileDevice::Permissions modes =
            target.exists()
                ? QFile::permissions(path)
                : (QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                   QFileDevice::WriteUser | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        QFile::setPermissions(partName, modes);

        if (!SyncToDisk(partName)) fail(partName + QStringLiteral(": cannot flush it to disk"));
    }
    if (result.ok) {
        std::error_code ec;
        std::filesystem::rename(FsPath(partName), FsPath(path), ec);
        if (ec) fail(path + QStringLiteral(": ") + QString::fromStdString(ec.message()));
    }

    if (!result.ok) QFile::remove(partName);
    return result;
}
