#include "acquire/dlt645.h"

#include "acquire/decode.h"
#include "common/conversion.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>

namespace {

constexpr qsizetype kMaxDataBytes = 256;

QString H(uint8_t b) {
    return QStringLiteral("%1").arg(unsigned(b), 2, 16, QLatin1Char('0')).toUpper();
}
QString Hi(uint8_t b) {
    return QString::number(b >> 4);
}
QString Lo(uint8_t b) {
    return QString::number(b & 0x0F);
}
int Bcd(uint8_t b) {
    return 10 * (b >> 4) + (b & 0x0F);
}

// "-" for a set bit 7, which is then cleared before the byte's digits are written.
QString Sign(uint8_t& b) {
    if (!(b & 0x80)) return QString();
    b &= 0x7F;
    return QStringLiteral("-");
}

// The answer's bytes, zero beyond what was delivered, so every template reads a fixed frame.
struct Bytes {
    std::array<uint8_t, kMaxDataBytes> d{};
    explicit Bytes(std::span<const uint8_t> data) {
        std::copy_n(data.begin(), std::min<qsizetype>(data.size(), kMaxDataBytes), d.begin());
    }
    uint8_t operator[](int i) const { return i < kMaxDataBytes ? d[i] : 0; }
};

// Pieces of several templates, each over a group whose first byte is g[0].
QString Energy(const Bytes& d, int g) { // XXXXXX.XX
    return H(d[g + 3]) + H(d[g + 2]) + H(d[g + 1]) + QLatin1Char('.') + H(d[g]);
}
QString TwoFour(const Bytes& d, int g) { // XX.XXXX
    return H(d[g + 2]) + QLatin1Char('.') + H(d[g + 1]) + H(d[g]);
}
QString SignedTwoFour(const Bytes& d, int g) { // signed XX.XXXX
    uint8_t top = d[g + 2];
    const QString s = Sign(top);
    return s + H(top) + QLatin1Char('.') + H(d[g + 1]) + H(d[g]);
}
QString OneThree(const Bytes& d, int g) { // X.XXX
    return Hi(d[g + 1]) + QLatin1Char('.') + Lo(d[g + 1]) + H(d[g]);
}
QString SignedOneThree(const Bytes& d, int g) { // signed X.XXX
    uint8_t top = d[g + 1];
    const QString s = Sign(top);
    return s + Hi(top) + QLatin1Char('.') + Lo(top) + H(d[g]);
}
QString ThreeOne(const Bytes& d, int g) { // XXX.X
    return H(d[g + 1]) + Hi(d[g]) + QLatin1Char('.') + Lo(d[g]);
}
QString SignedThreeThree(const Bytes& d, int g) { // signed XXX.XXX
    uint8_t top = d[g + 2];
    const QString s = Sign(top);
    return s + H(top) + Hi(d[g + 1]) + QLatin1Char('.') + Lo(d[g + 1]) + H(d[g]);
}
QString Stamp(const Bytes& d, int g) { // YYMMDDHHmm from the five bytes g .. g+4, g+4 the year
    return H(d[g + 4]) + QStringLiteral("年") + H(d[g + 3]) + QStringLiteral("月") + H(d[g + 2]) +
           QStringLiteral("日") + H(d[g + 1]) + QStringLiteral("时") + H(d[g]) +
           QStringLiteral("分");
}
QString Demand(const Bytes& d, int g, const QString& unit, const QString& gap) {
    return SignedTwoFour(d, g) + QLatin1Char(' ') + unit + gap + Stamp(d, g + 3);
}

QString StateBits(int v) {
    QString t;
    t += (v & 0x01) ? QStringLiteral("电压相序(错误)  ") : QStringLiteral("电压相序(正确)  ");
    t += (v & 0x02) ? QStringLiteral("电流相序(错误)  ") : QStringLiteral("电流相序(正确)  ");
    if (v & 0x04) t += QStringLiteral("过压  ");
    if (v & 0x10) t += QStringLiteral("欠压  ");
    if (v & 0x20) t += QStringLiteral("断相  ");
    t += (v & 0x40) ? QStringLiteral("有功方向(负)  ") : QStringLiteral("有功方向(正)  ");
    t += (v & 0x80) ? QStringLiteral("无功方向(负)") : QStringLiteral("无功方向(正)");
    return t;
}

QString Weekday(uint8_t b) {
    static const char16_t* names[] = {u"一", u"二", u"三", u"四", u"五", u"六", u"天"};
    if (b >= 1 && b <= 7) return QString::fromUtf16(names[b - 1]);
    return QString();
}

const QString kSep3 = QStringLiteral("   ");

struct TemplateInfo {
    const char16_t* name;
    int bytes;
};

// Every template with the number of bytes it reads, in the order they are matched.
constexpr TemplateInfo kTemplates[] = {
    {u"XXXXXXXXXXXX", 6},
    {u"XXXXXX.XX", 4},
    {u"XXXXXX", 3},
    {u"XX.XXXX", 3},
    {u"XXXXX.X", 3},
    {u"XXXX", 2},
    {u"X.XXX", 2},
    {u"XX.XX", 2},
    {u"XXX.X", 2},
    {u"XX", 1},
    {u"MMDDHHmm", 4},
    {u"YYMMDDWW", 4},
    {u"hhmmss", 3},
    {u"DDhh", 2},
    {u"MMDDNN", 3},
    {u"hhmmNN", 3},
    {u"XXX", 2},
    {u"07XXX.XXX YYMMDDHHmm", 8},
    {u"07XX.XXXX YYMMDDHHmm", 8},
    {u"XXX.XXX", 3},
    {u"5XXXXXX.XX", 20},
    {u"4XX.XXXX", 12},
    {u"4X.XXX", 8},
    {u"3XXX.X", 6},
    {u"3XXX.XXX", 9},
    {u"5XX.XXXX", 15},
    {u"12XXXXXX.XX", 48},
    {u"5MMDDHHmm", 20},
    {u"07XX.XXXX", 3},
    {u"074XX.XXXX", 12},
    {u"07X.XXX", 2},
    {u"074X.XXX", 8},
    {u"31XX.XX", 62},
    {u"3XXXX", 3},
    {u"075XX.XXXX YYMMDDHHmm", 40},
};

const QString kTwelveMonths = QStringLiteral("12XXXXXX.XX");
const QString kThirtyOne = QStringLiteral("31XX.XX");
const QString kFiveDemands = QStringLiteral("075XX.XXXX YYMMDDHHmm");

} // namespace

uint8_t AddressToBcd(uint8_t address) {
    int ones = 0, tens = 0;
    for (int bit = 7; bit >= 0; --bit) {
        ones = 2 * ones + ((address >> bit) & 1);
        int carry = 0;
        if (ones > 9) {
            ones -= 10;
            carry = 1;
        }
        tens = 2 * tens + carry;
        if (tens > 9) tens -= 10; // the hundreds are dropped
    }
    return uint8_t(tens * 16 + ones);
}

std::array<uint8_t, 6> MeterAddress(uint8_t address) {
    return {AddressToBcd(address), 0, 0, 0, 0, 0};
}

int Dlt645TemplateBytes(const QString& format) {
    for (const TemplateInfo& t : kTemplates)
        if (format == QStringView(t.name)) return t.bytes;
    return 0;
}

QString FormatDlt645Value(const QString& format, const QString& unit, std::span<const uint8_t> data,
                          QStringList* items) {
    const Bytes d(data);
    const QString withUnit = QLatin1Char(' ') + unit;
    auto is = [&format](const char16_t* name) { return format == QStringView(name); };

    if (is(u"XXXXXXXXXXXX")) return H(d[5]) + H(d[4]) + H(d[3]) + H(d[2]) + H(d[1]) + H(d[0]);
    if (is(u"XXXXXX.XX")) return Energy(d, 0) + withUnit;
    if (is(u"XXXXXX")) return H(d[2]) + H(d[1]) + H(d[0]);
    if (is(u"XX.XXXX")) return TwoFour(d, 0) + withUnit;
    if (is(u"XXXXX.X")) return H(d[2]) + H(d[1]) + Hi(d[0]) + QLatin1Char('.') + Lo(d[0]);
    if (is(u"XXXX")) return GridStateText(Bcd(d[1]) * 256 + Bcd(d[0]));
    if (is(u"X.XXX")) return OneThree(d, 0) + withUnit;
    if (is(u"XX.XX")) return H(d[1]) + QLatin1Char('.') + H(d[0]) + withUnit;
    if (is(u"XXX.X")) return ThreeOne(d, 0) + withUnit;
    if (is(u"XX")) return H(d[0]);
    if (is(u"MMDDHHmm"))
        return H(d[3]) + QStringLiteral("月") + H(d[2]) + QStringLiteral("日  ") + H(d[1]) +
               QStringLiteral("时") + H(d[0]) + QStringLiteral("分");
    if (is(u"YYMMDDWW"))
        return H(d[3]) + QStringLiteral("年") + H(d[2]) + QStringLiteral("月") + H(d[1]) +
               QStringLiteral("日  星期") + Weekday(d[0]);
    if (is(u"hhmmss"))
        return H(d[2]) + QStringLiteral("时") + H(d[1]) + QStringLiteral("分") + H(d[0]) +
               QStringLiteral("秒");
    if (is(u"DDhh")) return H(d[1]) + QStringLiteral("日") + H(d[0]) + QStringLiteral("时");
    if (is(u"MMDDNN"))
        return H(d[2]) + QStringLiteral("月") + H(d[1]) + QStringLiteral("日  时段表号：") +
               H(d[0]);
    if (is(u"hhmmNN"))
        return H(d[2]) + QStringLiteral("时") + H(d[1]) + QStringLiteral("分  费率号：") + H(d[0]);
    if (is(u"XXX")) return Lo(d[1]) + H(d[0]) + withUnit;
    if (is(u"07XXX.XXX YYMMDDHHmm")) return SignedThreeThree(d, 0) + withUnit + kSep3 + Stamp(d, 3);
    if (is(u"07XX.XXXX YYMMDDHHmm")) return Demand(d, 0, unit, kSep3);
    if (is(u"XXX.XXX")) return SignedThreeThree(d, 0) + withUnit;
    if (is(u"5XXXXXX.XX")) {
        QStringList parts;
        for (int g = 0; g < 5; ++g)
            parts.append(Energy(d, 4 * g) + withUnit);
        return parts.join(kSep3);
    }
    if (is(u"4XX.XXXX")) {
        QStringList parts;
        for (int g = 0; g < 4; ++g)
            parts.append(TwoFour(d, 3 * g));
        return parts.join(kSep3) + withUnit;
    }
    if (is(u"4X.XXX")) {
        QStringList parts;
        for (int g = 3; g >= 0; --g)
            parts.append(OneThree(d, 2 * g));
        return parts.join(kSep3) + withUnit;
    }
    if (is(u"3XXX.X")) {
        QStringList parts;
        for (int g = 2; g >= 0; --g)
            parts.append(ThreeOne(d, 2 * g));
        return parts.join(kSep3) + withUnit;
    }
    if (is(u"3XXX.XXX")) {
        QStringList parts;
        for (int g = 0; g < 3; ++g)
            parts.append(SignedThreeThree(d, 3 * g));
        return parts.join(kSep3) + withUnit;
    }
    if (is(u"5XX.XXXX")) {
        QStringList parts;
        for (int g = 0; g < 5; ++g)
            parts.append(TwoFour(d, 3 * g));
        return parts.join(kSep3) + withUnit;
    }
    if (format == kTwelveMonths) {
        QStringList first, second;
        for (int g = 0; g < 6; ++g)
            first.append(Energy(d, 4 * g));
        for (int g = 6; g < 12; ++g)
            second.append(Energy(d, 4 * g));
        if (items) *items = {first.join(kSep3), second.join(kSep3)};
        return format;
    }
    if (is(u"5MMDDHHmm")) {
        QStringList parts;
        for (int g = 0; g < 5; ++g) {
            const int b = 4 * g;
            parts.append(H(d[b + 3]) + QStringLiteral("月") + H(d[b + 2]) + QStringLiteral("日") +
                         H(d[b + 1]) + QStringLiteral("时") + H(d[b]) + QStringLiteral("分"));
        }
        return parts.join(QStringLiteral("  "));
    }
    if (is(u"07XX.XXXX")) return SignedTwoFour(d, 0) + withUnit;
    if (is(u"074XX.XXXX")) {
        QStringList parts;
        for (int g = 0; g < 4; ++g)
            parts.append(SignedTwoFour(d, 3 * g));
        return parts.join(kSep3) + withUnit;
    }
    if (is(u"07X.XXX")) return SignedOneThree(d, 0) + withUnit;
    if (is(u"074X.XXX")) {
        QStringList parts;
        for (int g = 0; g < 4; ++g)
            parts.append(SignedOneThree(d, 2 * g));
        return parts.join(kSep3) + withUnit;
    }
    if (format == kThirtyOne) {
        if (items) {
            items->clear();
            for (int j = 0; j < 31; ++j)
                items->append(H(d[2 * j + 1]) + QLatin1Char('.') + H(d[2 * j]) + withUnit);
        }
        return format;
    }
    if (is(u"3XXXX")) return StateBits(Bcd(d[2]) * 10000 + Bcd(d[1]) * 100 + Bcd(d[0]));
    if (format == kFiveDemands) {
        const QString gap = QStringLiteral("  ");
        auto record = [&](int k) { return Demand(d, 8 * k, unit, gap); };
        if (items)
            *items = {record(3) + gap + record(4), record(2) + gap + record(0) + gap + record(1)};
        return format;
    }
    return QString();
}

std::array<uint8_t, 2> Dlt645Identifier1997(const QString& infonum) {
    const int v = StrToInt(infonum);
    return {uint8_t(v & 0xFF), uint8_t((v >> 8) & 0xFF)};
}

QString GbkSlice(const QString& text, int start, int count) {
    const QByteArray bytes = QStringEncoder("GBK").encode(text);
    QStringDecoder decoder("GBK");
    // A lead byte left without its partner at the end stays in the decoder and is not shown.
    return decoder.decode(bytes.mid(start, count));
}

QList<AcquiredRow> Dlt645ItemRows(const Dlt645Item& item, std::span<const uint8_t> data,
                                  Dlt645Year year, const CheckSettings& settings,
                                  const TestPoint& point) {
    QStringList entries;
    QString value;
    bool failed = false;
    QuantityCheck check;
    if (!item.checkmc.isEmpty()) {
        value = FormatDlt645Value(item.dataFormat, QString(), data, &entries);
        try {
            double x = StrToFloat(value);
            if (item.dw == QStringLiteral("kW") || item.dw == QStringLiteral("kVar") ||
                item.dw == QStringLiteral("kVA"))
                x *= 1000;
            check = EvaluateEngineeringValue(item.checkmc, x, settings, point);
            failed = check.failed;
        } catch (const ConversionError&) {
            failed = true; // a text that is not one number cannot pass a check
        }
        value += item.dw;
    } else {
        value = FormatDlt645Value(item.dataFormat, item.dw, data, &entries);
    }
    auto entry = [&entries](int i) { return i < entries.size() ? entries[i] : QString(); };

    QList<AcquiredRow> rows;
    if (year == Dlt645Year::Y2007 && value == kFiveDemands) {
        rows.append({item.csmc + QStringLiteral("+第1时段"), entry(0), false});
        rows.append({item.csmc + QStringLiteral("(第2～4时段)"), entry(1), false});
    } else if (value == kTwelveMonths) {
        const QString stem = GbkSlice(item.csmc, 9, 12);
        rows.append({stem + QStringLiteral("数据块(1～6月份)"), entry(0), false});
        rows.append({stem + QStringLiteral("数据块(7～12月份)"), entry(1), false});
    } else if (value == kThirtyOne) {
        const QString stem = GbkSlice(item.csmc, 0, 7);
        for (int n = 1; n <= 31; ++n)
            rows.append(
                {stem + QString::number(n) + QStringLiteral("次谐波含量"), entry(n - 1), false});
    } else {
        AcquiredRow row{item.csmc, value, failed};
        if (!item.checkmc.isEmpty() && (check.checked || failed)) {
            // A reading that is no number is still the quantity's failure.
            row.quantity = item.checkmc;
            row.check = check;
            row.unit = QuantityUnit(item.checkmc);
        }
        rows.append(row);
    }

    // A short answer would show zeros where the module sent nothing: show the failure instead,
    // on as many rows as a full answer gives.
    const int needed = Dlt645TemplateBytes(item.dataFormat);
    if (qsizetype(data.size()) < needed)
        for (AcquiredRow& row : rows) {
            row.value = UndecodableText();
            row.checkFailed = true;
        }
    return rows;
}
