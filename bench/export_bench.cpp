// Prints how long writing the check workbook takes for a grid of 200 data rows, on the calling
// thread and on a worker thread, so one can judge whether the export may run on the GUI thread.
// A figure, not a test: nothing here passes or fails.

#include "report/workbook_writer.h"

#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

ExportGrid Grid(int rows) {
    ExportGrid grid;
    grid.title = QStringLiteral("三相电参数采集模块输出寄存器数据");
    grid.status = QStringLiteral("发送：1234 接收：1234");
    for (int i = 1; i <= rows; ++i)
        grid.rows.push_back({QString::number(i), QStringLiteral("A相电压%1次谐波含量").arg(i),
                             QStringLiteral("%1.25 V").arg(220 + i % 10), i % 5 == 0});
    return grid;
}

double WriteOnceMs(const QString& path, const ExportGrid& grid, const ExportHeaderLines& header,
                   bool* ok) {
    const auto start = std::chrono::steady_clock::now();
    *ok = WriteCheckWorkbook(path, grid, header).ok && *ok;
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

void Report(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%-28s runs %zu  min %.2f ms  median %.2f ms  max %.2f ms\n", what, ms.size(),
                ms.front(), ms[ms.size() / 2], ms.back());
}

} // namespace

int main() {
    QTemporaryDir dir;
    if (!dir.isValid()) return 1;
    const QString path = dir.filePath(QStringLiteral("Excel.xlsx"));
    const ExportGrid grid = Grid(200);
    const ExportHeaderLines header = BuildHeaderLines(ExportSettings{}, ExportTestPoint{});
    const int runs = 20;
    bool ok = true;

    std::vector<double> here;
    for (int i = 0; i < runs; ++i)
        here.push_back(WriteOnceMs(path, grid, header, &ok));

    std::vector<double> worker;
    std::thread thread([&] {
        for (int i = 0; i < runs; ++i)
            worker.push_back(WriteOnceMs(path, grid, header, &ok));
    });
    thread.join();

    std::printf("check workbook, %zu data rows\n", grid.rows.size());
    Report("calling thread", here);
    Report("worker thread", worker);
    if (!ok) std::printf("some writes FAILED\n");
    return ok ? 0 : 1;
}
