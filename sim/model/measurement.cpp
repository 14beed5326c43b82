#include "measurement.h"

#include "common/conversion.h"

#include <QDir>
#include <QHash>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kSqrt3 = 1.7320508075688772;
constexpr uint16_t kEnabled = 0xAA55;

// Calibration configuration block: rated values (low word first) and the scheme's scaling.
constexpr int kRatedVoltageReg = 11002; // V x 10
constexpr int kRatedCurrentReg = 11004; // A x 1000
constexpr int kVoltageScaleReg = 11015; // direction, then factor; current, power, energy follow
constexpr int kCurrentScaleReg = 11017;
constexpr int kPowerScaleReg = 11019;
constexpr int kEnergyScaleReg = 11021;
constexpr int kRelativeCodesReg = 11025;
constexpr int kSignedPowerReg = 11027;

// User configuration.
constexpr int kClockReg = 257;
constexpr int kReadingDayReg = 268;
constexpr int kPulseConstantReg = 271;
constexpr int kOverVoltageReg = 279; // limits in 0.1 %
constexpr int kUnderVoltageReg = 280;
constexpr int kPhaseBreakReg = 281;
constexpr int kTariffCountReg = 286;
constexpr int kSegmentCountReg = 287;

constexpr int kHarmonicsReg = 1000;
constexpr int kCurveReg = 7035;
constexpr int kRawSamplesReg = 10000;

constexpr double kDemandWindowSeconds = 900;

enum Quantity {
    Ua,
    Ub,
    Uc,
    Uab,
    Ubc,
    Uca,
    Ia,
    Ib,
    Ic,
    INeutral,
    Pa,
    Pb,
    Pc,
    PTotal,
    Qa,
    Qb,
    Qc,
    QTotal,
    Sa,
    Sb,
    Sc,
    STotal,
    Ca,
    Cb,
    Cc,
    CTotal,
    Freq,
    AngleA,
    AngleB,
    AngleC,
    ActiveImport,
    ActiveExport,
    ReactiveImport,
    ReactiveExport,
    ActiveRate1,
    ActiveRate2,
    ActiveRate3,
    ActiveRate4,
    DemandP,
    DemandQ,
    MaxDemandP,
    QuantityCount,
    // not numbers: the special register kinds
    GridStateWord,
    StateBitsWord,
    ClockTime,
    MaxDemandTime
};

// The accuracy-check name of each measured quantity; an error set on that name moves it.
const QHash<QString, Quantity>& CheckNames() {
    static const QHash<QString, Quantity> names{
        {"Ua", Ua}, {"Ub", Ub},      {"Uc", Uc}, {"Uab", Uab},    {"Ubc", Ubc}, {"Uca", Uca},
        {"Ia", Ia}, {"Ib", Ib},      {"Ic", Ic}, {"P总", PTotal}, {"Pa", Pa},   {"Pb", Pb},
        {"Pc", Pc}, {"Q总", QTotal}, {"Qa", Qa}, {"Qb", Qb},      {"Qc", Qc},   {"S总", STotal},
        {"Sa", Sa}, {"Sb", Sb},      {"Sc", Sc}, {"C总", CTotal}, {"Ca", Ca},   {"Cb", Cb},
        {"Cc", Cc}, {"F", Freq}};
    return names;
}

// What each catalogue row measures, for the rows without a check quantity of their own.
const QHash<QString, Quantity>& CatalogueNames() {
    static const QHash<QString, Quantity> names{{"零线电流", INeutral},
                                                {"电网状态", GridStateWord},
                                                {"状态字", StateBitsWord},
                                                {"日期时间", ClockTime},
                                                {"A相电流相角", AngleA},
                                                {"B相电流相角", AngleB},
                                                {"C相电流相角", AngleC},
                                                {"正向有功总电能", ActiveImport},
                                                {"反向有功总电能", ActiveExport},
                                                {"正向无功总电能", ReactiveImport},
                                                {"反向无功总电能", ReactiveExport},
                                                {"正向有功尖电能", ActiveRate1},
                                                {"正向有功峰电能", ActiveRate2},
                                                {"正向有功平电能", ActiveRate3},
                                                {"正向有功谷电能", ActiveRate4},
                                                {"有功需量", DemandP},
                                                {"无功需量", DemandQ},
                                                {"最大有功需量", MaxDemandP},
                                                {"最大有功需量时间", MaxDemandTime}};
    return names;
}

// Harmonic content of the source in percent of the fundamental (order 1 is 100 %).
double VoltageHarmonic(int n) {
    switch (n) {
    case 1:
        return 100;
    case 3:
        return 2.0;
    case 5:
        return 1.5;
    case 7:
        return 1.0;
    case 11:
        return 0.5;
    case 13:
        return 0.3;
    default:
        return 0;
    }
}
double CurrentHarmonic(int n) {
    switch (n) {
    case 1:
        return 100;
    case 3:
        return 8.0;
    case 5:
        return 5.0;
    case 7:
        return 3.0;
    case 9:
        return 1.5;
    case 11:
        return 1.0;
    case 13:
        return 0.8;
    default:
        return 0;
    }
}
double Distortion(double (*content)(int)) {
    double sum = 0;
    for (int n = 2; n <= 31; ++n)
        sum += content(n) * content(n);
    return std::sqrt(sum);
}
double KFactor() {
    double num = 0, den = 0;
    for (int n = 1; n <= 31; ++n) {
        const double i = CurrentHarmonic(n) / 100;
        num += i * i * n * n;
        den += i * i;
    }
    return num / den;
}

double NormalisedAngle(double deg) {
    double a = std::fmod(deg, 360.0);
    if (a > 180) a -= 360;
    if (a <= -180) a += 360;
    return a;
}

uint16_t ClampUnsigned16(long long v) {
    return uint16_t(std::clamp<long long>(v, 0, 65535));
}

int Bcd(int v) {
    return ((v / 10) % 10) << 4 | (v % 10);
}

} // namespace

struct Measurement::Snapshot {
    std::array<double, QuantityCount> q{};
    double ratedVoltage = 0, ratedCurrent = 0;
    int gridState = 0; // 0 normal, 1 phase missing, 2 no voltage
    bool overVoltage = false, underVoltage = false, phaseBreak = false;
    QDateTime clock;
    int tariff = 1;                                            // 1..4
    double voltageHarmonicScale = 0, currentHarmonicScale = 0; // 0 when there is no signal

    uint16_t stateWord() const {
        uint16_t w = 0;
        if (overVoltage) w |= 1 << 2;
        if (underVoltage) w |= 1 << 3;
        if (phaseBreak) w |= 1 << 4;
        if (q[PTotal] < 0) w |= 1 << 5;
        if (q[QTotal] < 0) w |= 1 << 6;
        return w;
    }
};

namespace {

QDateTime ClockFromRegisters(const RegisterFile& regs) {
    const uint16_t w0 = regs.get(kClockReg), w1 = regs.get(kClockReg + 1),
                   w2 = regs.get(kClockReg + 2);
    const QDate date(2000 + (w0 >> 8), w0 & 0xFF, w1 >> 8);
    const QTime time(w1 & 0xFF, w2 >> 8, w2 & 0xFF);
    if (!date.isValid() || !time.isValid()) return {};
    return QDateTime(date, time);
}

void ClockToRegisters(const QDateTime& t, RegisterFile& regs, int address) {
    if (!t.isValid()) {
        for (int i = 0; i < 3; ++i)
            regs.set(address + i, 0);
        return;
    }
    const QDate d = t.date();
    const QTime h = t.time();
    regs.set(address, uint16_t(((d.year() - 2000) & 0xFF) << 8 | d.month()));
    regs.set(address + 1, uint16_t(d.day() << 8 | h.hour()));
    regs.set(address + 2, uint16_t(h.minute() << 8 | h.second()));
}

QDateTime NowToTheSecond() {
    QDateTime now = QDateTime::currentDateTime();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    return now;
}

// Tariff of the time-of-use segment in force at a time of day. Segments 1..4 live at 260..267,
// 5..12 at 288..303; an unconfigured module uses the default four segments.
int TariffAt(const RegisterFile& regs, const QTime& time) {
    int count = regs.get(kSegmentCountReg);
    if (count < 1 || count > 12) count = 4;
    struct Segment {
        int start, tariff;
    };
    std::vector<Segment> segs;
    bool configured = false;
    for (int i = 0; i < count; ++i) {
        const int base = i < 4 ? 260 + 2 * i : 288 + 2 * (i - 4);
        const uint16_t hm = regs.get(base), tn = regs.get(base + 1);
        if (hm || tn) configured = true;
        segs.push_back({(hm >> 8) * 60 + (hm & 0xFF), tn});
    }
    if (!configured) segs = {{60, 1}, {7 * 60, 2}, {13 * 60, 3}, {19 * 60, 4}};
    const int now = time.isValid() ? time.hour() * 60 + time.minute() : 0;
    const Segment* best = nullptr;
    const Segment* latest = nullptr;
    for (const Segment& s : segs) {
        if (s.start <= now && (!best || s.start >= best->start)) best = &s;
        if (!latest || s.start >= latest->start) latest = &s;
    }
    if (!best) best = latest; // before the first start of the day: yesterday's last segment
    return best && best->tariff >= 1 && best->tariff <= 4 ? best->tariff : 1;
}

} // namespace

Measurement::Measurement(const QString& dataDir) {
    const QDir dir(dataDir);
    catalogue_ = LoadOutputCatalogue(dir.filePath(kOutparFile));
    for (const Dlt645Item& item : LoadDlt645Items(dir.filePath(kDlt645Items1997File)))
        items1997_.insert(uint16_t(StrToInt(item.infonum)), item);
    for (const Dlt645Item& item : LoadDlt645Items(dir.filePath(kDlt645Items2007File))) {
        bool ok = false;
        const uint32_t di = item.infonum.mid(2, 8).toUInt(&ok, 16);
        if (!ok) throw ConversionError(QStringLiteral("bad data identifier %1").arg(item.infonum));
        items2007_.insert(di, item);
    }
}

void Measurement::setError(const QString& name, double percent) {
    if (percent == 0)
        errors_.remove(name);
    else
        errors_.insert(name, percent);
}

double Measurement::errorFactor(const QString& name) const {
    if (name.isEmpty()) return 1;
    const auto it = errors_.constFind(name);
    return it == errors_.constEnd() ? 1 : 1 + *it / 100;
}

Measurement::Snapshot Measurement::snapshot(const RegisterFile& regs, bool withErrors) const {
    Snapshot s;
    const uint32_t ratedV = regs.getLowFirst(kRatedVoltageReg);
    const uint32_t ratedI = regs.getLowFirst(kRatedCurrentReg);
    s.ratedVoltage = ratedV ? ratedV / 10.0 : point_.ratedVoltage;
    s.ratedCurrent = ratedI ? ratedI / 1000.0 : point_.ratedCurrent;

    const double u = s.ratedVoltage * point_.voltagePct / 100;
    const double i = s.ratedCurrent * point_.currentPct / 100;
    const double phi = point_.angleDeg * kPi / 180;
    auto& q = s.q;
    q[Ua] = q[Ub] = q[Uc] = u;
    q[Uab] = q[Ubc] = q[Uca] = u * kSqrt3;
    q[Ia] = q[Ib] = q[Ic] = i;
    q[INeutral] = 0; // balanced load
    q[Pa] = q[Pb] = q[Pc] = u * i * std::cos(phi);
    q[Qa] = q[Qb] = q[Qc] = u * i * std::sin(phi);
    q[Sa] = q[Sb] = q[Sc] = u * i;
    q[PTotal] = 3 * q[Pa];
    q[QTotal] = 3 * q[Qa];
    q[STotal] = 3 * q[Sa];
    q[Ca] = q[Cb] = q[Cc] = q[CTotal] = std::cos(phi);
    q[Freq] = point_.frequencyHz;
    q[AngleA] = q[AngleB] = q[AngleC] = NormalisedAngle(point_.angleDeg);
    q[ActiveImport] = activeImport_;
    q[ActiveExport] = activeExport_;
    q[ReactiveImport] = reactiveImport_;
    q[ReactiveExport] = reactiveExport_;
    for (int r = 0; r < 4; ++r)
        q[ActiveRate1 + r] = activeImportRate_[r];
    q[DemandP] = demandP_;
    q[DemandQ] = demandQ_;
    q[MaxDemandP] = maxDemand_[0];

    if (withErrors)
        for (auto it = CheckNames().cbegin(); it != CheckNames().cend(); ++it)
            q[it.value()] *= errorFactor(it.key());

    // Grid state and limit flags from the phase voltage in percent of rated.
    auto limit = [&](int reg, double fallback) {
        const uint16_t v = regs.get(reg);
        return v ? v / 10.0 : fallback;
    };
    const double pct = point_.voltagePct;
    if (pct <= 0)
        s.gridState = 2;
    else if (pct < limit(kPhaseBreakReg, 50))
        s.gridState = 1;
    s.overVoltage = pct > limit(kOverVoltageReg, 125);
    s.phaseBreak = pct > 0 && pct < limit(kPhaseBreakReg, 50);
    s.underVoltage = pct > 0 && !s.phaseBreak && pct < limit(kUnderVoltageReg, 70);

    s.clock = ClockFromRegisters(regs);
    if (!s.clock.isValid()) s.clock = NowToTheSecond();
    s.tariff = TariffAt(regs, s.clock.time());
    s.voltageHarmonicScale = u > 0 ? 1 : 0;
    s.currentHarmonicScale = i > 0 ? 1 : 0;
    return s;
}

void Measurement::advance(double seconds, RegisterFile& regs) {
    if (!(seconds > 0)) return;
    const Snapshot s = snapshot(regs, false);

    const double hours = seconds / 3600;
    const double p = s.q[PTotal] / 1000 * hours, r = s.q[QTotal] / 1000 * hours;
    if (p >= 0) {
        activeImport_ += p;
        activeImportRate_[s.tariff - 1] += p;
    } else {
        activeExport_ -= p;
    }
    (r >= 0 ? reactiveImport_ : reactiveExport_) += std::fabs(r);

    // Sliding demand: the mean power over the last window (or over what has run of it so far).
    demandWindow_.push_back({seconds, s.q[PTotal], s.q[QTotal]});
    double span = 0;
    for (const DemandSample& d : demandWindow_)
        span += d.seconds;
    while (span > kDemandWindowSeconds) {
        DemandSample& first = demandWindow_.front();
        const double excess = span - kDemandWindowSeconds;
        if (first.seconds <= excess) {
            span -= first.seconds;
            demandWindow_.pop_front();
        } else {
            first.seconds -= excess;
            span -= excess;
        }
    }
    double ep = 0, eq = 0;
    for (const DemandSample& d : demandWindow_) {
        ep += d.p * d.seconds;
        eq += d.q * d.seconds;
    }
    demandP_ = span > 0 ? ep / span : 0;
    demandQ_ = span > 0 ? eq / span : 0;

    // The clock runs in whole seconds; the fraction waits for the next call.
    clockFraction_ += seconds;
    const qint64 whole = qint64(std::floor(clockFraction_));
    clockFraction_ -= double(whole);
    const QDateTime now = s.clock.addSecs(whole);
    ClockToRegisters(now, regs, kClockReg);
    runSeconds_ += seconds;

    if (demandP_ >= 0) {
        if (demandP_ > maxDemand_[0]) {
            maxDemand_[0] = demandP_;
            maxDemandTime_[0] = now;
        }
        if (demandP_ > maxDemand_[s.tariff]) {
            maxDemand_[s.tariff] = demandP_;
            maxDemandTime_[s.tariff] = now;
        }
    } else if (-demandP_ > maxDemandExport_) {
        maxDemandExport_ = -demandP_;
        maxDemandExportTime_ = now;
    }
}

void Measurement::clearEnergy() {
    activeImport_ = activeExport_ = reactiveImport_ = reactiveExport_ = 0;
    activeImportRate_.fill(0);
}

void Measurement::clearDemand() {
    demandWindow_.clear();
    demandP_ = demandQ_ = 0;
    maxDemand_.fill(0);
    maxDemandTime_.fill(QDateTime());
    maxDemandExport_ = 0;
    maxDemandExportTime_ = QDateTime();
}

// The base is the forward active total in whole kWh; what accumulates afterwards adds to it.
void Measurement::setEnergyBase(uint32_t base) {
    activeImport_ = base;
}

void Measurement::refresh(RegisterFile& regs) const {
    const Snapshot s = snapshot(regs);
    if (!ClockFromRegisters(regs).isValid()) ClockToRegisters(s.clock, regs, kClockReg);
    const bool codes = regs.get(kRelativeCodesReg) == kEnabled;
    const bool signedPower = regs.get(kSignedPowerReg) == kEnabled;
    const double un = s.ratedVoltage, in = s.ratedCurrent;

    // Full scale of a relative code (10000): the line voltages are coded against the phase
    // rating, so a healthy three-phase supply shows about 17320 there.
    auto codeReference = [&](Quantity q) -> double {
        switch (q) {
        case Ua:
        case Ub:
        case Uc:
        case Uab:
        case Ubc:
        case Uca:
            return un;
        case Ia:
        case Ib:
        case Ic:
        case INeutral:
            return in;
        case Pa:
        case Pb:
        case Pc:
        case Qa:
        case Qb:
        case Qc:
        case Sa:
        case Sb:
        case Sc:
            return un * in;
        case PTotal:
        case QTotal:
        case STotal:
        case DemandP:
        case DemandQ:
        case MaxDemandP:
            return 3 * un * in;
        default:
            return 0;
        }
    };
    static const QStringList kUnits{"V", "A", "W", "Var", "VA", "kWh", "kVarh"};

    for (const OutputParameter& p : catalogue_) {
        Quantity q = QuantityCount;
        if (const auto it = CatalogueNames().constFind(p.csmc); it != CatalogueNames().cend())
            q = *it;
        else if (const auto c = CheckNames().constFind(p.checkmc); c != CheckNames().cend())
            q = *c;
        if (p.bl == 1) {
            regs.set(p.addr, uint16_t(s.gridState));
            continue;
        }
        if (p.bl == 2) {
            regs.set(p.addr, s.stateWord());
            continue;
        }
        if (p.bl == 3) {
            ClockToRegisters(q == MaxDemandTime ? maxDemandTime_[0] : s.clock, regs, p.addr);
            continue;
        }
        const double value = (q < QuantityCount ? s.q[q] : 0) * errorFactor(p.csmc);

        double z = p.bl;
        long long raw;
        const bool unit = kUnits.contains(p.dw);
        if (unit) {
            const int reg = p.dw == "V"            ? kVoltageScaleReg
                            : p.dw == "A"          ? kCurrentScaleReg
                            : p.dw.startsWith('k') ? kEnergyScaleReg
                                                   : kPowerScaleReg;
            const uint16_t direction = regs.get(reg);
            const double factor = regs.get(reg + 1) ? regs.get(reg + 1) : 1;
            // 0 divides the host's reading by the factor, so the module multiplies its own.
            z = direction == 0 ? p.bl * factor : p.bl / factor;
        } else if (p.dw == "0.0000") {
            z = codes ? p.bl : 1000;
        }
        const double ref = q < QuantityCount ? codeReference(q) : 0;
        if (unit && codes && ref > 0)
            raw = std::llround(value / ref * 10000);
        else
            raw = std::llround(value * z);

        if (p.zs >= 2) {
            uint32_t word;
            if (p.fh == 1)
                word =
                    uint32_t(int32_t(std::clamp<long long>(raw, std::numeric_limits<int32_t>::min(),
                                                           std::numeric_limits<int32_t>::max())));
            else
                word = uint32_t(std::min<long long>(std::llabs(raw), 0xFFFFFFFFLL));
            regs.set(p.addr, uint16_t(word >> 16));
            regs.set(p.addr + 1, uint16_t(word & 0xFFFF));
        } else {
            const bool power = p.dw == "W" || p.dw == "Var" || p.dw == "VA";
            if (p.fh == 1 && (!power || signedPower))
                regs.set(p.addr, uint16_t(int16_t(std::clamp<long long>(raw, -32768, 32767))));
            else // an unsigned word carries the magnitude; the state word tells the direction
                regs.set(p.addr, ClampUnsigned16(std::llabs(raw)));
        }
    }

    // Harmonic contents in 0.01 %, K factors in 0.1.
    const double thdU = Distortion(VoltageHarmonic) * s.voltageHarmonicScale;
    const double thdI = Distortion(CurrentHarmonic) * s.currentHarmonicScale;
    for (int ph = 0; ph < 3; ++ph) {
        regs.set(kHarmonicsReg + ph, ClampUnsigned16(std::llround(thdU * 100)));
        regs.set(kHarmonicsReg + 3 + ph, ClampUnsigned16(std::llround(thdI * 100)));
        regs.set(kHarmonicsReg + 6 + ph,
                 ClampUnsigned16(std::llround((s.currentHarmonicScale ? KFactor() : 1) * 10)));
        for (int n = 1; n <= 31; ++n) {
            regs.set(
                kHarmonicsReg + 9 + ph * 31 + n - 1,
                ClampUnsigned16(std::llround(VoltageHarmonic(n) * s.voltageHarmonicScale * 100)));
            regs.set(
                kHarmonicsReg + 102 + ph * 31 + n - 1,
                ClampUnsigned16(std::llround(CurrentHarmonic(n) * s.currentHarmonicScale * 100)));
        }
    }

    // Curve block: fixed scales (W and var x 10 per phase, totals in W, V x 100, A x 1000,
    // Hz x 100), two's complement for negative powers.
    auto word = [](double v) {
        return uint16_t(int16_t(std::clamp<long long>(std::llround(v), -32768, 32767)));
    };
    const auto& q = s.q;
    const double curve[22] = {q[Pa] * 10, q[Pb] * 10, q[Pc] * 10,   q[PTotal],    q[Qa] * 10,
                              q[Qb] * 10, q[Qc] * 10, q[QTotal],    q[Sa] * 10,   q[Sb] * 10,
                              q[Sc] * 10, q[STotal],  q[Ca] * 1000, q[Cb] * 1000, q[Cc] * 1000};
    for (int k = 0; k < 15; ++k)
        regs.set(kCurveReg + k, word(curve[k]));
    regs.set(kCurveReg + 15, ClampUnsigned16(std::llround(q[Freq] * 100)));
    for (int ph = 0; ph < 3; ++ph) {
        regs.set(kCurveReg + 16 + ph, ClampUnsigned16(std::llround(q[Ua + ph] * 100)));
        regs.set(kCurveReg + 19 + ph, ClampUnsigned16(std::llround(q[Ia + ph] * 1000)));
    }

    // Raw converter samples: 20000 counts at rated voltage, rated current and rated power of a
    // phase; then the small intrinsic voltage angle errors of the three channels.
    for (int ph = 0; ph < 3; ++ph) {
        regs.set(kRawSamplesReg + ph, ClampUnsigned16(std::llround(q[Ua + ph] / un * 20000)));
        regs.set(kRawSamplesReg + 3 + ph, ClampUnsigned16(std::llround(q[Ia + ph] / in * 20000)));
        regs.set(kRawSamplesReg + 6 + ph,
                 ClampUnsigned16(std::llround(std::fabs(q[Pa + ph]) / (un * in) * 20000)));
    }
    regs.set(kRawSamplesReg + 9, 120);
    regs.set(kRawSamplesReg + 10, 135);
    regs.set(kRawSamplesReg + 11, 110);
}

// ---- DL/T 645 ---------------------------------------------------------------------------

namespace {

struct NumberFormat {
    int bytes, decimals;
    bool sign; // the sign travels in bit 7 of the most significant byte
};

// Packed BCD, least significant byte first.
void PutBcd(std::vector<uint8_t>& out, double value, NumberFormat f) {
    unsigned long long n = std::llround(std::fabs(value) * std::pow(10.0, f.decimals));
    unsigned long long max = 1;
    for (int i = 0; i < 2 * f.bytes; ++i)
        max *= 10;
    max = f.sign ? max / 10 * 8 - 1 : max - 1;
    const bool negative = f.sign && value < 0 && n != 0;
    n = std::min(n, max);
    for (int i = 0; i < f.bytes; ++i) {
        out.push_back(uint8_t(Bcd(int(n % 100))));
        n /= 100;
    }
    if (negative) out.back() |= 0x80;
}

// Fields of a date written most significant first (d(n-1) .. d0 on the wire reversed).
void PutFields(std::vector<uint8_t>& out, std::initializer_list<int> fieldsHighFirst) {
    std::vector<uint8_t> bytes;
    for (int v : fieldsHighFirst)
        bytes.push_back(uint8_t(Bcd(std::max(v, 0) % 100)));
    out.insert(out.end(), bytes.rbegin(), bytes.rend());
}

void PutStamp(std::vector<uint8_t>& out, const QDateTime& t) { // YYMMDDhhmm
    if (!t.isValid())
        PutFields(out, {0, 0, 0, 0, 0});
    else
        PutFields(out, {t.date().year() % 100, t.date().month(), t.date().day(), t.time().hour(),
                        t.time().minute()});
}

void PutMonthStamp(std::vector<uint8_t>& out, const QDateTime& t) { // MMDDhhmm
    if (!t.isValid())
        PutFields(out, {0, 0, 0, 0});
    else
        PutFields(out, {t.date().month(), t.date().day(), t.time().hour(), t.time().minute()});
}

// Single numbers and runs of numbers of one format.
const QHash<QString, std::pair<int, NumberFormat>>& NumberTemplates() {
    static const QHash<QString, std::pair<int, NumberFormat>> t{
        {"XXXXXXXXXXXX", {1, {6, 0, false}}}, {"XXXXXX.XX", {1, {4, 2, false}}},
        {"XXXXXX", {1, {3, 0, false}}},       {"XX.XXXX", {1, {3, 4, false}}},
        {"XXXXX.X", {1, {3, 1, false}}},      {"X.XXX", {1, {2, 3, false}}},
        {"XX.XX", {1, {2, 2, false}}},        {"XXX.X", {1, {2, 1, false}}},
        {"XX", {1, {1, 0, false}}},           {"XXX", {1, {2, 0, false}}},
        {"XXX.XXX", {1, {3, 3, true}}},       {"07XX.XXXX", {1, {3, 4, true}}},
        {"07X.XXX", {1, {2, 3, true}}},       {"5XXXXXX.XX", {5, {4, 2, false}}},
        {"4XX.XXXX", {4, {3, 4, false}}},     {"4X.XXX", {4, {2, 3, false}}},
        {"3XXX.X", {3, {2, 1, false}}},       {"3XXX.XXX", {3, {3, 3, true}}},
        {"5XX.XXXX", {5, {3, 4, false}}},     {"12XXXXXX.XX", {12, {4, 2, false}}},
        {"074XX.XXXX", {4, {3, 4, true}}},    {"074X.XXX", {4, {2, 3, true}}},
        {"31XX.XX", {31, {2, 2, false}}}};
    return t;
}

} // namespace

struct Measurement::ItemData {
    std::vector<double> values;
    std::vector<QDateTime> times;
};

namespace {

int BcdSerialDigits(uint16_t w) { // the serial words hold their digits as hexadecimal nibbles
    int v = 0;
    for (int shift = 12; shift >= 0; shift -= 4) {
        const int d = (w >> shift) & 0xF;
        if (d > 9) return 0;
        v = v * 10 + d;
    }
    return v;
}

// The 1997 identifiers that have a counterpart in the 2007 edition.
std::optional<uint32_t> To2007(uint16_t di) {
    const uint32_t di1 = di >> 8, di0 = di & 0xFF;
    const uint32_t hi = di0 >> 4, lo = di0 & 0xF;
    auto rate = [&](uint32_t base) -> std::optional<uint32_t> {
        if (lo == 0xF) return base | 0xFF00;
        if (lo <= 4) return base | lo << 8;
        return std::nullopt;
    };
    switch (di1) {
    case 0x90:
        if (hi == 1) return rate(0x00010000);
        if (hi == 2) return rate(0x00020000);
        break;
    case 0x91:
        if (hi == 1) return rate(0x00030000);
        if (hi == 2) return rate(0x00040000);
        break;
    case 0xA0: // demand values
    case 0xB0: // their times
        if (hi == 1) return rate(0x01010000);
        if (hi == 2) return rate(0x01020000);
        break;
    case 0xB6: {
        static const uint32_t groups[] = {0, 0x0201, 0x0202, 0x0203, 0x0204, 0x0206};
        if (hi < 1 || hi > 5) break;
        if (lo == 0xF) return groups[hi] << 16 | 0xFF00;
        if (lo <= 3 && (lo >= 1 || hi >= 3)) return groups[hi] << 16 | lo << 8;
        break;
    }
    case 0xC0:
        if (di0 == 0x10) return 0x04000101;
        if (di0 == 0x11) return 0x04000102;
        if (di0 == 0x30) return 0x04000409;
        if (di0 == 0x32) return 0x04000402;
        break;
    case 0xC1:
        if (di0 == 0x17) return 0x04000B01;
        break;
    case 0xC3:
        if (di0 == 0x13) return 0x04000204;
        if (di0 == 0x21) return 0x04010000;
        if (di0 == 0x31) return 0x04010001;
        break;
    }
    return std::nullopt;
}

} // namespace

std::optional<Measurement::ItemData> Measurement::itemData(uint32_t di, const Snapshot& s,
                                                           const RegisterFile& regs) const {
    ItemData d;
    const auto& q = s.q;
    const uint32_t di3 = di >> 24, di2 = (di >> 16) & 0xFF, di1 = (di >> 8) & 0xFF, di0 = di & 0xFF;
    auto add = [&](std::initializer_list<double> v) { d.values.insert(d.values.end(), v); };
    // Phase quantities: 00 the total (where there is one), 01..03 the phases, FF the block.
    auto phases = [&](Quantity a, std::optional<Quantity> total, double scale) -> bool {
        if (di0 != 0) return false;
        if (di1 == 0xFF) {
            if (total) d.values.push_back(q[*total] * scale);
            for (int p = 0; p < 3; ++p)
                d.values.push_back(q[a + p] * scale);
            return true;
        }
        if (di1 == 0 && total) {
            d.values.push_back(q[*total] * scale);
            return true;
        }
        if (di1 >= 1 && di1 <= 3) {
            d.values.push_back(q[a + int(di1) - 1] * scale);
            return true;
        }
        return false;
    };

    if (di3 == 0x00 && di0 <= 0x0C && di2 >= 1 && di2 <= 4) { // energies
        const double totals[] = {0, q[ActiveImport], q[ActiveExport], q[ReactiveImport],
                                 q[ReactiveExport]};
        const double total = totals[di2];
        if (di1 == 0 && di0 == 0)
            add({total});
        else if (di2 == 1 && di1 >= 1 && di1 <= 4 && di0 == 0)
            add({q[ActiveRate1 + int(di1) - 1]});
        else if (di2 == 1 && di1 == 0xFF && di0 == 0)
            add({total, q[ActiveRate1], q[ActiveRate2], q[ActiveRate3], q[ActiveRate4]});
        else
            return std::nullopt;
        return d;
    }
    if (di3 == 0x00 && di2 == 1 && di1 == 0 && di0 == 0xFF) {
        // Settlement history: older months hold proportionally less.
        for (int month = 1; month <= 12; ++month)
            d.values.push_back(q[ActiveImport] * (13 - month) / 13);
        return d;
    }
    if (di3 == 0x01 && di0 == 0 && (di2 == 1 || di2 == 2)) { // maximum demand and its time
        if (di2 == 2 && di1 == 0) {
            d.values = {maxDemandExport_ / 1000};
            d.times = {maxDemandExportTime_};
            return d;
        }
        if (di2 == 1 && di1 <= 4) {
            d.values = {maxDemand_[di1] / 1000};
            d.times = {maxDemandTime_[di1]};
            return d;
        }
        if (di2 == 1 && di1 == 0xFF) {
            for (int r = 0; r < 5; ++r) {
                d.values.push_back(maxDemand_[r] / 1000);
                d.times.push_back(maxDemandTime_[r]);
            }
            return d;
        }
        return std::nullopt;
    }
    if (di3 == 0x02) {
        switch (di2) {
        case 0x01:
            return phases(Ua, std::nullopt, 1) ? std::optional(d) : std::nullopt;
        case 0x02:
            return phases(Ia, std::nullopt, 1) ? std::optional(d) : std::nullopt;
        case 0x03:
            return phases(Pa, PTotal, 0.001) ? std::optional(d) : std::nullopt;
        case 0x04:
            return phases(Qa, QTotal, 0.001) ? std::optional(d) : std::nullopt;
        case 0x05:
            return phases(Sa, STotal, 0.001) ? std::optional(d) : std::nullopt;
        case 0x06:
            return phases(Ca, CTotal, 1) ? std::optional(d) : std::nullopt;
        case 0x08: // distortion of the phase voltages and currents
        case 0x09:
            if (di1 < 1 || di1 > 3 || di0 != 0) return std::nullopt;
            add({(di2 == 0x08 ? Distortion(VoltageHarmonic) * s.voltageHarmonicScale
                              : Distortion(CurrentHarmonic) * s.currentHarmonicScale)});
            return d;
        case 0x0A: // harmonic contents of one phase, one order or the block of 31
        case 0x0B: {
            if (di1 < 1 || di1 > 3) return std::nullopt;
            auto content = [&](int n) {
                return di2 == 0x0A ? VoltageHarmonic(n) * s.voltageHarmonicScale
                                   : CurrentHarmonic(n) * s.currentHarmonicScale;
            };
            if (di0 == 0xFF)
                for (int n = 1; n <= 31; ++n)
                    d.values.push_back(content(n));
            else if (di0 >= 1 && di0 <= 31)
                add({content(int(di0))});
            else
                return std::nullopt;
            return d;
        }
        case 0x80:
            if (di1 != 0) return std::nullopt;
            if (di0 == 0x01)
                add({q[INeutral]});
            else if (di0 == 0x02)
                add({q[Freq]});
            else if (di0 == 0x07)
                add({25.0}); // inside temperature, deg C
            else
                return std::nullopt;
            return d;
        }
        return std::nullopt;
    }
    if (di3 == 0x04) {
        switch (di) {
        case 0x04000101: // date and time come from the clock itself
        case 0x04000102:
            return d;
        case 0x04000204: {
            const uint16_t n = regs.get(kTariffCountReg);
            add({double(n ? n : 4)});
            return d;
        }
        case 0x04000402: // meter number from the product serial words
            add({double(BcdSerialDigits(regs.get(11008))) * 1e8 +
                 double(BcdSerialDigits(regs.get(11009))) * 1e4 +
                 double(BcdSerialDigits(regs.get(11010)))});
            return d;
        case 0x04000409: {
            const uint16_t c = regs.get(kPulseConstantReg);
            add({double(c ? c : 3600)});
            return d;
        }
        case 0x04000B01: {
            const uint16_t w = regs.get(kReadingDayReg);
            add({double(w ? w >> 8 : 1), double(w ? w & 0xFF : 1)});
            return d;
        }
        case 0x04010000:
            add({1, 1, 1});
            return d; // one season from 1 January, table 1
        case 0x04010001: {
            const uint16_t hm = regs.get(260), tn = regs.get(261);
            if (hm || tn)
                add({double(hm >> 8), double(hm & 0xFF), double(tn)});
            else
                add({1, 0, 1});
            return d;
        }
        }
    }
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> Measurement::readItem(const Dlt645Item& item,
                                                          std::optional<uint32_t> di2007,
                                                          uint16_t di1997,
                                                          const RegisterFile& regs) const {
    const Snapshot s = snapshot(regs);
    ItemData d;
    if (di2007) {
        auto data = itemData(*di2007, s, regs);
        if (!data) return std::nullopt;
        d = *data;
    } else {
        switch (di1997) { // identifiers of the 1997 edition alone
        case 0xB214:
            d.values = {runSeconds_ / 3600};
            break;
        case 0xC020: { // meter state word: bit 2 over, 4 under, 5 break, 6/7 directions
            int v = 0;
            if (s.overVoltage) v |= 1 << 2;
            if (s.underVoltage) v |= 1 << 4;
            if (s.phaseBreak) v |= 1 << 5;
            if (s.q[PTotal] < 0) v |= 1 << 6;
            if (s.q[QTotal] < 0) v |= 1 << 7;
            d.values = {double(v)};
            break;
        }
        case 0xC021:
            d.values = {double(s.gridState)};
            break;
        default:
            return std::nullopt;
        }
    }
    const double f = errorFactor(item.csmc);
    for (double& v : d.values)
        v *= f;
    auto value = [&](size_t i) { return i < d.values.size() ? d.values[i] : 0.0; };
    auto time = [&](size_t i) { return i < d.times.size() ? d.times[i] : QDateTime(); };

    std::vector<uint8_t> out;
    const QString& t = item.dataFormat;
    if (const auto it = NumberTemplates().constFind(t); it != NumberTemplates().cend()) {
        for (int i = 0; i < it->first; ++i)
            PutBcd(out, value(size_t(i)), it->second);
        return out;
    }
    if (t == "XXXX") { // grid state, two BCD bytes
        PutBcd(out, value(0), {2, 0, false});
    } else if (t == "3XXXX") { // state bits as a decimal number of six digits
        PutBcd(out, value(0), {3, 0, false});
    } else if (t == "MMDDHHmm") {
        PutMonthStamp(out, time(0));
    } else if (t == "5MMDDHHmm") {
        for (size_t i = 0; i < 5; ++i)
            PutMonthStamp(out, time(i));
    } else if (t == "YYMMDDWW") {
        const QDate day = s.clock.date();
        PutFields(out, {day.year() % 100, day.month(), day.day(), day.dayOfWeek()});
    } else if (t == "hhmmss") {
        const QTime tm = s.clock.time();
        PutFields(out, {tm.hour(), tm.minute(), tm.second()});
    } else if (t == "DDhh") {
        PutFields(out, {int(value(0)), int(value(1))});
    } else if (t == "MMDDNN" || t == "hhmmNN") {
        PutFields(out, {int(value(0)), int(value(1)), int(value(2))});
    } else if (t == "07XX.XXXX YYMMDDHHmm" || t == "07XXX.XXX YYMMDDHHmm") {
        PutBcd(out, value(0), {3, t.startsWith("07XX.") ? 4 : 3, true});
        PutStamp(out, time(0));
    } else if (t == "075XX.XXXX YYMMDDHHmm") {
        for (size_t i = 0; i < 5; ++i) {
            PutBcd(out, value(i), {3, 4, true});
            PutStamp(out, time(i));
        }
    } else {
        return std::nullopt; // a template this module cannot fill
    }
    return out;
}

std::optional<std::vector<uint8_t>> Measurement::read1997(uint16_t di,
                                                          const RegisterFile& regs) const {
    const auto it = items1997_.constFind(di);
    if (it == items1997_.cend()) return std::nullopt;
    return readItem(*it, To2007(di), di, regs);
}

std::optional<std::vector<uint8_t>> Measurement::read2007(uint32_t di,
                                                          const RegisterFile& regs) const {
    const auto it = items2007_.constFind(di);
    if (it == items2007_.cend()) return std::nullopt;
    return readItem(*it, di, 0, regs);
}
