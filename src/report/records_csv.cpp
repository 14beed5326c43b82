#include "report/records_csv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <cmath>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

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

std::filesystem::path FsPath(const QString& path) {
    return std::filesystem::path(path.toStdU16String());
}

// Temporary files of earlier exports to the same target that died before their rename; those of
// other targets are not touched.
void RemoveLeftovers(const QFileInfo& target) {
    const QDir folder = target.absoluteDir();
    const QRegularExpression leftover(
        QLatin1Char('^') +
        QRegularExpression::escape(QLatin1Char('.') + target.fileName() + QLatin1Char('.')) +
        QStringLiteral("[^.]{6}\\.part$"));
    for (const QString& entry : folder.entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (leftover.match(entry).hasMatch()) QFile::remove(folder.filePath(entry));
}

// Puts the written bytes on the disk before the rename: without it a power cut soon after can
// leave the target's name on a file whose contents never got there.
bool SyncToDisk(QFile& file) {
    if (!file.flush()) return false;
#ifdef _WIN32
    return _commit(file.handle()) == 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
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
    if (path.isEmpty()) return {false, QStringLiteral("no file name")};
    const QFileInfo target(path);
    if (target.isDir()) return {false, path + QStringLiteral(" is a folder")};

    RemoveLeftovers(target);

    // Beside the target, so that the rename stays within one file system and replaces the
    // target in one step.
    QTemporaryFile part(target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                        QStringLiteral(".XXXXXX.part"));
    if (!part.open()) return {false, path + QStringLiteral(": ") + part.errorString()};

    const QByteArray bytes = QByteArray("\xEF\xBB\xBF") + RecordsCsvText(records).toUtf8();
    if (part.write(bytes) != bytes.size())
        return {false, part.fileName() + QStringLiteral(": ") + part.errorString()};
    if (!SyncToDisk(part))
        return {false, part.fileName() + QStringLiteral(": cannot flush it to disk")};
    part.close();

    // The temporary file was made private to the owner; give the export the modes of the file
    // it replaces, or those of a new document.
    const QFileDevice::Permissions modes =
        target.exists()
            ? QFile::permissions(path)
            : (QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
               QFileDevice::WriteUser | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    part.setPermissions(modes);

    std::error_code ec;
    std::filesystem::rename(FsPath(part.fileName()), FsPath(path), ec);
    if (ec) return {false, path + QStringLiteral(": ") + QString::fromStdString(ec.message())};
    // Renamed: nothing is left under the temporary name for the destructor to remove.
    part.setAutoRemove(false);
    return {true, {}};
}
