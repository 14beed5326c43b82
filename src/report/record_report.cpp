#include "report/record_report.h"

// Placeholder until the report sheet lands.
QString DefaultReportFileName(const UnitRecord&) {
    return {};
}
ExportResult WriteRecordWorkbook(const QString&, const UnitRecord&) {
    return {false, QStringLiteral("not yet")};
}
QString ExportSucceededMessage(const QString& path) {
    return QStringLiteral("数据导出成功！\n") + path;
}
