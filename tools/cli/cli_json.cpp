#include "cli_json.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <cmath>

namespace {

QJsonValue Figure(double v) {
    return std::isfinite(v) ? QJsonValue(v) : QJsonValue(QJsonValue::Null);
}

QString KindKeyword(RecordKind kind) {
    switch (kind) {
    case RecordKind::Check:
        return QStringLiteral("check");
    case RecordKind::Calibration:
        return QStringLiteral("calibration");
    case RecordKind::Download:
        return QStringLiteral("download");
    }
    return QString::number(int(kind));
}

QString Time(const QDateTime& t) {
    return t.isValid() ? t.toString(Qt::ISODateWithMs) : QString();
}

} // namespace

QString VerdictKeyword(Verdict verdict) {
    switch (verdict) {
    case Verdict::Pass:
        return QStringLiteral("pass");
    case Verdict::Fail:
        return QStringLiteral("fail");
    case Verdict::NotAnswering:
        return QStringLiteral("not answering");
    case Verdict::None:
        break;
    }
    return QStringLiteral("not settled");
}

QJsonObject RecordJson(const UnitRecord& r) {
    QJsonArray points;
    for (const RecordPoint& p : r.points)
        points.append(QJsonObject{{"index", p.index},
                                  {"voltage_percent", p.voltagePercent},
                                  {"current_percent", p.currentPercent},
                                  {"angle", p.angle},
                                  {"frequency", p.frequency},
                                  {"verdict", VerdictKeyword(p.verdict)},
                                  {"failures", p.failures}});
    QJsonArray quantities;
    for (const RecordQuantity& q : r.quantities)
        quantities.append(QJsonObject{{"point", q.point},
                                      {"name", q.name},
                                      {"quantity", q.quantity},
                                      {"text", q.text},
                                      {"unit", q.unit},
                                      {"expected", Figure(q.expected)},
                                      {"measured", Figure(q.measured)},
                                      {"error", Figure(q.error)},
                                      {"limit", Figure(q.limit)},
                                      {"passed", q.passed}});
    QJsonObject o{{"id", r.id},
                  {"kind", KindKeyword(r.kind)},
                  {"address", r.address},
                  {"serial", r.serial},
                  {"model", r.model},
                  {"operator", r.operatorName},
                  {"station", r.station},
                  {"software", r.softwareVersion},
                  {"port", r.port},
                  {"line", r.lineSettings},
                  {"protocol", r.protocol},
                  {"plan", r.plan},
                  {"started", Time(r.started)},
                  {"ended", Time(r.ended)},
                  {"verdict", VerdictKeyword(r.verdict)},
                  {"verdict_text", VerdictText(r.verdict)},
                  {"failures", r.failures},
                  {"points", points},
                  {"quantities", quantities}};
    if (!r.details.isEmpty()) o.insert("details", r.details);
    return o;
}

QString JsonLine(const QJsonObject& object) {
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}
