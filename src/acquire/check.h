#pragma once
// Accuracy check of readings against the test point of the reference source. Pure functions: the
// reading thread passes the settings it loaded at start and the test point selected on the page
// at the moment of the call.

#include <QString>

// The nine values of section "SetCheck" of Config.ini. Defaults are those of the inspection
// settings dialog.
struct CheckSettings {
    double u = 220;    // rated voltage Un, V
    double i = 5;      // rated current In, A
    double jdf = 0.02; // frequency tolerance, Hz (absolute)
    double jdu = 0.2;  // voltage class, % of full scale
    double jdi = 0.2;  // current class, %
    double jdc = 0.5;  // power-factor class, % of 90 degrees
    double jdp = 0.5;  // active-power class, %
    double jdq = 0.5;  // reactive-power class, %
    double jds = 0.5;  // apparent-power class, %
};

// The test point chosen by the four radio groups of the real-time page. Defaults are the
// buttons checked when the page is created (0 %, 0 %, 0 degrees, 45 Hz).
struct TestPoint {
    double ku = 0;         // voltage as a fraction of rated
    double ki = 0;         // current as a fraction of rated
    double angle = 0;      // phase angle, degrees
    double frequency = 45; // Hz
};

// The choices of the four radio groups, in the order of their buttons.
inline constexpr double kVoltageFactors[] = {0, 0.1, 0.5, 1.0, 1.2};
inline constexpr double kCurrentFactors[] = {0, 0.01, 0.5, 1.0, 1.2};
inline constexpr double kAngles[] = {0, 30, 60, 90, 300, 330};
inline constexpr double kFrequencies[] = {45, 50, 55, 60, 65};

// The judgement of one reading, as a verdict panel and a unit's record show it. For a power factor
// expected and measured are angles in degrees; for the frequency errorPercent is the deviation in
// Hz and limit the tolerance JDF in Hz (unit "Hz"), elsewhere the error and the class are in % of
// the full scale. A quantity the check does not know is not checked (checked false, passes).
struct QuantityCheck {
    bool checked = false;
    double expected = 0; // |E| * k: what the reading should be in magnitude
    double measured = 0; // the reading as judged (its angle for a power factor)
    double error = 0;    // err as the check computes it (NaN when it cannot be computed)
    double limit = 0;    // the class plus the margin (the frequency: JDF)
    bool failed = false;
    bool operator==(const QuantityCheck&) const = default;
};

// The same judgement as CheckEngineeringValue / CheckCodeValue, with its figures.
QuantityCheck EvaluateEngineeringValue(const QString& quantity, double x,
                                       const CheckSettings& settings, const TestPoint& point);
QuantityCheck EvaluateCodeValue(const QString& quantity, double x, const CheckSettings& settings,
                                const TestPoint& point);

// The unit in which a quantity's expectation and reading are judged: "W", "var", "VA", "V", "A",
// "Hz", "°" for a power factor (its angle); in relative codes "码" but for those two.
QString QuantityUnit(const QString& quantity, bool codes = false);

// Reading in engineering units (V, A, W, var, VA, Hz, power factor). Returns true when the reading
// FAILED its check. An empty or unknown quantity passes. A check that cannot be computed (a rated
// value of zero, a reading that is not a number, a power factor outside -1..1) fails: it is never
// a silent pass.
bool CheckEngineeringValue(const QString& quantity, double x, const CheckSettings& settings,
                           const TestPoint& point);

// Reading in relative codes (10000 = rated). Same conventions as CheckEngineeringValue.
bool CheckCodeValue(const QString& quantity, double x, const CheckSettings& settings,
                    const TestPoint& point);
