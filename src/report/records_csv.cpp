#include "report/records_csv.h"

#include <QFile>

#include <cmath>

namespace {

// A figure in the shortest text that reads back as the stored number; a figure that could not be
// judged (NaN) is an empty field rather than a word a spreadsheet would take for text.
QString Figure(double v) {
    return std::isfinite(v) ? QString::number(v, 'g', 15) : QString();
}

QString TimeText(const QDateTime& t) {
    return t.isValid() ? t.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")) : QString();
}

const RecordPoint* PointOf(const UnitRecord& record, int index) {
    for (const RecordPoint& p : record.points)
        if (p.index == index) return &p;
    return nullptr;
}

QStringList Identity(const UnitRecord& r) {
    return {QString::number(r.id),
            RecordKindText(r.kind),
            r.serial,
            r.model,
            r.operatorName,
            r.station,
            TimeText(r.started),
            TimeText(r.ended),
            r.port,
            r.lineSettings,
            r.protocol,
            QString::number(r.address),
            r.plan,
            VerdictText(r.verdict)};
}

void AppendLine(QString& text, const QStringList& fields) {
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0) text += QLatin1Char(',');
        text += CsvQuoted(fields[i]);
    }
    text += QLatin1String("\r\n");
}

} // namespace

QString RecordKindText(RecordKind kind) {
    switch (kind) {
    case RecordKind::Check:
        return QStringLiteral("检验");
    case RecordKind::Calibration:
        return QStringLiteral("标定");
    case RecordKind::Download:
        return QStringLiteral("配置下载");
    }
    return QString::number(int(kind));
}

QStringList RecordsCsvHeader() {
    return {QStringLiteral("记录号"),   QStringLiteral("类型"),     QStringLiteral("序列号"),
            QStringLiteral("型号"),     QStringLiteral("操作员"),   QStringLiteral("工位"),
            QStringLiteral("开始时间"), QStringLiteral("结束时间"), QStringLiteral("串口"),
            QStringLiteral("通信参数"), QStringLiteral("协议"),     QStringLiteral("地址"),
            QStringLiteral("方案"),     QStringLiteral("结论"),     QStringLiteral("测试点"),
            QStringLiteral("电压(%)"),  QStringLiteral("电流(%)"),  QStringLiteral("角度(°)"),
            QStringLiteral("频率(Hz)"), QStringLiteral("名称"),     QStringLiteral("检验量"),
            QStringLiteral("显示值"),   QStringLiteral("单位"),     QStringLiteral("期望值"),
            QStringLiteral("测量值"),   QStringLiteral("误差"),     QStringLiteral("限值"),
            QStringLiteral("判定")};
}

QString CsvQuoted(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString RecordsCsvText(const QList<UnitRecord>& records) {
    QString text;
    AppendLine(text, RecordsCsvHeader());
    const int quantityColumns = 14; // from 测试点 to 判定
    for (const UnitRecord& r : records) {
        const QStringList identity = Identity(r);
        if (r.quantities.isEmpty()) {
            QStringList fields = identity;
            for (int i = 0; i < quantityColumns; ++i)
                fields << QString();
            AppendLine(text, fields);
            continue;
        }
        for (const RecordQuantity& c : r.quantities) {
            QStringList fields = identity;
            fields << QString::number(c.point);
            if (const RecordPoint* p = PointOf(r, c.point))
                fields << Figure(p->voltagePercent) << Figure(p->currentPercent) << Figure(p->angle)
                       << Figure(p->frequency);
            else
                fields << QString() << QString() << QString() << QString();
            fields << c.name << c.quantity << c.text << c.unit << Figure(c.expected)
                   << Figure(c.measured) << Figure(c.error) << Figure(c.limit)
                   << (c.passed ? QStringLiteral("合格") : QStringLiteral("不合格"));
            AppendLine(text, fields);
        }
    }
    return text;
}

ExportResult WriteRecordsCsv(const QString& path, const QList<UnitRecord>& records) {
    const QByteArray bytes = QByteArray("\xEF\xBB\xBF") + RecordsCsvText(records).toUtf8();
    return ReplaceFile(path, [&](const QString& partName) -> QString {
        QFile part(partName);
        if (!part.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return partName + QStringLiteral(": ") + part.errorString();
        if (part.write(bytes) != bytes.size() || !part.flush())
            return partName + QStringLiteral(": ") + part.errorString();
        return QString();
    });
}
