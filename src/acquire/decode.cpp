#include "acquire/decode.h"

#include "acquire/numberformat.h"

#include <QStringEncoder>
#include <algorithm>
#include <cmath>

namespace {

bool IsUnit(const QString& dw) {
    static const QStringList units = {
        QStringLiteral("V"),  QStringLiteral("A"),   QStringLiteral("W"),    QStringLiteral("Var"),
        QStringLiteral("VA"), QStringLiteral("kWh"), QStringLiteral("kVarh")};
    return units.contains(dw);
}

bool IsPowerUnit(const QString& dw) {
    return dw == QStringLiteral("W") || dw == QStringLiteral("Var") || dw == QStringLiteral("VA");
}

AcquiredRow Undecodable(const QString& name) {
    return {name, UndecodableText(), true};
}

QString StateBitsText(uint16_t w) {
    QString t;
    t += (w & 0x01) ? QStringLiteral("电压相序(错误)  ") : QStringLiteral("电压相序(正确)  ");
    t += (w & 0x02) ? QStringLiteral("电流相序(错误)  ") : QStringLiteral("电流相序(正确)  ");
    if (w & 0x04) t += QStringLiteral("过压  ");
    if (w & 0x08) t += QStringLiteral("欠压  ");
    if (w & 0x10) t += QStringLiteral("断相  ");
    t += (w & 0x20) ? QStringLiteral("有功方向(负)  ") : QStringLiteral("有功方向(正)  ");
    t += (w & 0x40) ? QStringLiteral("无功方向(负)") : QStringLiteral("无功方向(正)");
    return t;
}

QString DateTimeText(uint16_t w0, uint16_t w1, uint16_t w2) {
    return QString::number(w0 >> 8) + QStringLiteral("年") + QString::number(w0 & 0xFF) +
           QStringLiteral("月") + QString::number(w1 >> 8) + QStringLiteral("日") +
           QString::number(w1 & 0xFF) + QStringLiteral("时") + QString::number(w2 >> 8) +
           QStringLiteral("分") + QString::number(w2 & 0xFF) + QStringLiteral("秒");
}

// Divisor for a value in one of the scheme's units: direction 0xAA55 multiplies the reading by the
// scheme factor (divisor BL / factor), 0 divides it (divisor BL * factor). A direction that is
// neither leaves the scheme factor out rather than inventing one.
double UnitDivisor(const SchemeScales& s, const QString& dw, int bl) {
    int factor = 1, direction = -1;
    if (dw == QStringLiteral("V")) {
        factor = s.ubl;
        direction = s.ublfx;
    } else if (dw == QStringLiteral("A")) {
        factor = s.ibl;
        direction = s.iblfx;
    } else if (IsPowerUnit(dw)) {
        factor = s.pbl;
        direction = s.pblfx;
    } else {
        factor = s.ebl;
        direction = s.eblfx;
    }
    if (direction == kPattern) return double(bl) / double(factor);
    if (direction == 0) return double(bl) * double(factor);
    return double(bl);
}

QString UnitPattern(double z, const QString& dw) {
    if (z <= 1) return QStringLiteral("0 ") + dw;
    if (z == 10) return QStringLiteral("0.0 ") + dw;
    if (z == 100) return QStringLiteral("0.00 ") + dw;
    if (z == 1000) return QStringLiteral("0.000 ") + dw;
    if (z == 10000) return QStringLiteral("0.0000 ") + dw;
    return QString();
}

} // namespace

QString GridStateText(int code) {
    switch (code) {
    case 0:
        return QStringLiteral("电网正常");
    case 1:
        return QStringLiteral("电网缺相");
    case 2:
        return QStringLiteral("电网停电");
    default:
        return UndecodableText();
    }
}

int RegistersTaken(const OutputParameter& p) {
    switch (p.bl) {
    case 1:
    case 2:
        return 1;
    case 3:
        return 3;
    default:
        return p.zs;
    }
}

AcquiredRow DecodeParameter(const SchemeScales& scheme, const OutputParameter& p,
                            std::span<const uint16_t> image, qsizetype& position,
                            const CheckSettings& settings, const TestPoint& point) {
    const qsizetype at = position;
    const int taken = RegistersTaken(p);
    position += std::max(taken, 0);
    if (taken <= 0 || at < 0 || at + taken > qsizetype(image.size())) return Undecodable(p.csmc);
    const uint16_t w = image[at];

    switch (p.bl) {
    case 1:
        return {p.csmc, GridStateText(w & 0xFF), false};
    case 2:
        return {p.csmc, StateBitsText(w), false};
    case 3:
        return {p.csmc, DateTimeText(w, image[at + 1], image[at + 2]), false};
    default:
        break;
    }

    const bool unit = IsUnit(p.dw);
    const bool codes = scheme.cslxsn == kPattern;
    double z = unit ? UnitDivisor(scheme, p.dw, p.bl) : double(p.bl);
    QString pattern = unit ? UnitPattern(z, p.dw) : p.dw;
    if (p.dw == QStringLiteral("0.0000") && !codes) {
        pattern = QStringLiteral("0.000");
        z = 1000;
    }

    // Raw value; two registers are high word first.
    double raw = 0;
    if (p.zs == 1) {
        bool isSigned = false;
        if (p.fh == 1)
            isSigned = IsPowerUnit(p.dw) ? scheme.csfhsn == kPattern : true;
        else if (p.fh != 0)
            return Undecodable(p.csmc);
        raw = isSigned ? double(int16_t(w)) : double(w);
    } else if (p.zs == 2) {
        const uint32_t v = (uint32_t(w) << 16) | image[at + 1];
        if (p.fh == 1)
            raw = double(int32_t(v));
        else if (p.fh == 0)
            raw = double(v);
        else
            return Undecodable(p.csmc);
    } else {
        return Undecodable(p.csmc);
    }

    // Relative codes of measured quantities are shown as they come; everything else is scaled,
    // and a zero or infinite divisor has no meaningful result.
    const bool plainCode = unit && codes;
    if (!plainCode && (z == 0 || !std::isfinite(z))) return Undecodable(p.csmc);
    const double scaled = plainCode ? raw : raw / z;

    AcquiredRow row;
    row.name = p.csmc;
    row.value = plainCode ? QString::number(qint64(raw)) : FormatNumber(scaled, pattern);
    if (codes) {
        const bool useScaled = p.dw == QStringLiteral("0.0000") || p.checkmc == QStringLiteral("F");
        double v = raw;
        if (useScaled) {
            if (z == 0 || !std::isfinite(z)) return Undecodable(p.csmc);
            v = raw / z;
        }
        row.check = EvaluateCodeValue(p.checkmc, v, settings, point);
    } else {
        row.check = EvaluateEngineeringValue(p.checkmc, scaled, settings, point);
    }
    row.checkFailed = row.check.failed;
    if (row.check.checked) {
        row.quantity = p.checkmc;
        row.unit = QuantityUnit(p.checkmc, codes);
    }
    return row;
}

QList<AcquiredRow> DecodeRegisters(const SchemeScales& scheme,
                                   const QList<OutputParameter>& parameters,
                                   std::span<const uint16_t> image, const CheckSettings& settings,
                                   const TestPoint& point) {
    QList<AcquiredRow> rows;
    rows.reserve(parameters.size());
    qsizetype position = 0;
    for (const OutputParameter& p : parameters)
        rows.append(DecodeParameter(scheme, p, image, position, settings, point));
    return rows;
}

QList<RegisterBlock> PlanRegisterBlocks(int start, int count) {
    QList<RegisterBlock> blocks;
    for (int done = 0; done < count; done += kMaxBlockRegisters)
        blocks.append({start + done, std::min(kMaxBlockRegisters, count - done)});
    return blocks;
}

const QStringList& HarmonicNames() {
    static const QStringList names = [] {
        QStringList n;
        for (const char* phase : {"A", "B", "C"})
            n.append(QString::fromUtf8(phase) + QStringLiteral("相电压总谐波含量"));
        for (const char* phase : {"A", "B", "C"})
            n.append(QString::fromUtf8(phase) + QStringLiteral("相电流总谐波含量"));
        for (const char* phase : {"A", "B", "C"})
            n.append(QString::fromUtf8(phase) + QStringLiteral("相电流K系数"));
        for (const QString& quantity : {QStringLiteral("相电压"), QStringLiteral("相电流")})
            for (const char* phase : {"A", "B", "C"})
                for (int order = 1; order <= 31; ++order)
                    n.append(QString::fromUtf8(phase) + quantity + QString::number(order) +
                             QStringLiteral("次谐波含量"));
        return n;
    }();
    return names;
}

QString HarmonicValueText(const QString& name, uint16_t word) {
    // The K-factor rows are told by the name from its second byte on, as GBK text.
    QStringEncoder gbk("GBK");
    const QByteArray bytes = gbk.encode(name);
    static const QByteArray kFactor = QStringEncoder("GBK").encode(QStringLiteral("相电流K系数"));
    if (bytes.mid(1, 11) == kFactor) return FormatNumber(word * 0.1, QStringLiteral("0.0"));
    return FormatNumber(word * 0.01, QStringLiteral("0.00 %"));
}

QList<AcquiredRow> ShowHarmonics(std::span<const uint16_t> image) {
    QList<AcquiredRow> rows;
    const QStringList& names = HarmonicNames();
    rows.reserve(names.size());
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (i < qsizetype(image.size()))
            rows.append({names[i], HarmonicValueText(names[i], image[i]), false});
        else
            rows.append(Undecodable(names[i]));
    }
    return rows;
}
