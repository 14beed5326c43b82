#include "acquire/check.h"

#include <cmath>

namespace {

// The constants are kept as the module's test procedures state them, so that borderline readings
// are judged the same way on every installation.
constexpr double kPi = 3.1415926;
constexpr double kSqrt3 = 1.7320508075688;
constexpr double kLineVoltageCode = 17320.508075687998;
constexpr double kMargin = 0.001;

enum class Kind {
    None,
    ActiveTotal,
    Active,
    ReactiveTotal,
    Reactive,
    ApparentTotal,
    Apparent,
    PowerFactor,
    PhaseVoltage,
    Current,
    LineVoltage,
    Frequency
};

Kind KindOf(const QString& q) {
    if (q == QStringLiteral("P总")) return Kind::ActiveTotal;
    if (q == QStringLiteral("Pa") || q == QStringLiteral("Pb") || q == QStringLiteral("Pc"))
        return Kind::Active;
    if (q == QStringLiteral("Q总")) return Kind::ReactiveTotal;
    if (q == QStringLiteral("Qa") || q == QStringLiteral("Qb") || q == QStringLiteral("Qc"))
        return Kind::Reactive;
    if (q == QStringLiteral("S总")) return Kind::ApparentTotal;
    if (q == QStringLiteral("Sa") || q == QStringLiteral("Sb") || q == QStringLiteral("Sc"))
        return Kind::Apparent;
    if (q == QStringLiteral("C总") || q == QStringLiteral("Ca") || q == QStringLiteral("Cb") ||
        q == QStringLiteral("Cc"))
        return Kind::PowerFactor;
    if (q == QStringLiteral("Ua") || q == QStringLiteral("Ub") || q == QStringLiteral("Uc"))
        return Kind::PhaseVoltage;
    if (q == QStringLiteral("Ia") || q == QStringLiteral("Ib") || q == QStringLiteral("Ic"))
        return Kind::Current;
    if (q == QStringLiteral("Uab") || q == QStringLiteral("Ubc") || q == QStringLiteral("Uca"))
        return Kind::LineVoltage;
    if (q == QStringLiteral("F")) return Kind::Frequency;
    return Kind::None;
}

double Radians(double degrees) {
    return degrees * (1.0 / 180) * kPi;
}

// Expected power-factor angle: the selected angle folded into 0..90 degrees.
double FoldedAngle(double degrees) {
    return degrees > 90 ? 360 - degrees : degrees;
}

// err = | |x| - |E| * k | / FS * 100, failed when above the class plus the margin. A full scale of
// zero or a non-finite error (NaN compares false) cannot be judged and counts as failed.
QuantityCheck Exceeds(double x, double expected, double fullScale, double k, double cls) {
    QuantityCheck c;
    c.checked = true;
    c.expected = std::fabs(expected) * k;
    c.measured = x;
    c.limit = cls + kMargin;
    c.error = fullScale == 0 || !std::isfinite(fullScale)
                  ? std::nan("")
                  : std::fabs(std::fabs(x) - c.expected) / fullScale * 100;
    c.failed = !std::isfinite(c.error) || c.error > c.limit;
    return c;
}

QuantityCheck Frequency(double x, const CheckSettings& s, const TestPoint& p) {
    QuantityCheck c;
    c.checked = true;
    c.expected = p.frequency;
    c.measured = x;
    c.error = x - p.frequency;
    c.limit = s.jdf;
    const bool pass = p.frequency - s.jdf <= x && x <= p.frequency + s.jdf;
    c.failed = !pass; // a NaN reading fails both comparisons and so fails the check
    return c;
}

QuantityCheck PowerFactor(double x, const CheckSettings& s, const TestPoint& p) {
    const double angle = std::acos(x) * (1 / kPi) * 180; // NaN outside -1..1: fails below
    return Exceeds(angle, FoldedAngle(p.angle), 90, 1, s.jdc);
}

} // namespace

QuantityCheck EvaluateEngineeringValue(const QString& quantity, double x, const CheckSettings& s,
                                       const TestPoint& p) {
    const double ui = s.u * s.i;
    const double kp = p.ku * p.ki;
    const double phi = Radians(p.angle);
    switch (KindOf(quantity)) {
    case Kind::ActiveTotal:
        return Exceeds(x, std::cos(phi) * 3 * ui, 3 * ui, kp, s.jdp);
    case Kind::Active:
        return Exceeds(x, std::cos(phi) * ui, ui, kp, s.jdp);
    case Kind::ReactiveTotal:
        return Exceeds(x, std::sin(phi) * 3 * ui, 3 * ui, kp, s.jdq);
    case Kind::Reactive:
        return Exceeds(x, std::sin(phi) * ui, ui, kp, s.jdq);
    case Kind::ApparentTotal:
        return Exceeds(x, 3 * ui, 3 * ui, kp, s.jds);
    case Kind::Apparent:
        return Exceeds(x, ui, ui, kp, s.jds);
    case Kind::PowerFactor:
        return PowerFactor(x, s, p);
    case Kind::PhaseVoltage:
        return Exceeds(x, s.u, s.u, p.ku, s.jdu);
    case Kind::Current:
        return Exceeds(x, s.i, s.i, p.ki, s.jdi);
    case Kind::LineVoltage:
        return Exceeds(x, s.u * kSqrt3, s.u * kSqrt3, p.ku, s.jdu);
    case Kind::Frequency:
        return Frequency(x, s, p);
    case Kind::None:
        break;
    }
    return {};
}

QuantityCheck EvaluateCodeValue(const QString& quantity, double x, const CheckSettings& s,
                                const TestPoint& p) {
    constexpr double kRated = 10000;
    const double kp = p.ku * p.ki;
    const double phi = Radians(p.angle);
    switch (KindOf(quantity)) {
    case Kind::ActiveTotal:
    case Kind::Active:
        return Exceeds(x, kRated * std::cos(phi), kRated, kp, s.jdp);
    case Kind::ReactiveTotal:
    case Kind::Reactive:
        return Exceeds(x, kRated * std::sin(phi), kRated, kp, s.jdq);
    case Kind::ApparentTotal:
    case Kind::Apparent:
        return Exceeds(x, kRated, kRated, kp, s.jds);
    case Kind::PowerFactor:
        return PowerFactor(x, s, p);
    case Kind::PhaseVoltage:
        return Exceeds(x, kRated, kRated, p.ku, s.jdu);
    case Kind::Current:
        return Exceeds(x, kRated, kRated, p.ki, s.jdi);
    case Kind::LineVoltage:
        return Exceeds(x, kLineVoltageCode, kLineVoltageCode, p.ku, s.jdu);
    case Kind::Frequency:
        return Frequency(x, s, p);
    case Kind::None:
        break;
    }
    return {};
}

QString QuantityUnit(const QString& quantity, bool codes) {
    const Kind kind = KindOf(quantity);
    if (kind == Kind::PowerFactor) return QStringLiteral("°");
    if (kind == Kind::Frequency) return QStringLiteral("Hz");
    if (kind == Kind::None) return {};
    if (codes) return QStringLiteral("码");
    switch (kind) {
    case Kind::ActiveTotal:
    case Kind::Active:
        return QStringLiteral("W");
    case Kind::ReactiveTotal:
    case Kind::Reactive:
        return QStringLiteral("var");
    case Kind::ApparentTotal:
    case Kind::Apparent:
        return QStringLiteral("VA");
    case Kind::PhaseVoltage:
    case Kind::LineVoltage:
        return QStringLiteral("V");
    case Kind::Current:
        return QStringLiteral("A");
    default:
        return {};
    }
}

bool CheckEngineeringValue(const QString& quantity, double x, const CheckSettings& settings,
                           const TestPoint& point) {
    return EvaluateEngineeringValue(quantity, x, settings, point).failed;
}

bool CheckCodeValue(const QString& quantity, double x, const CheckSettings& settings,
                    const TestPoint& point) {
    return EvaluateCodeValue(quantity, x, settings, point).failed;
}
