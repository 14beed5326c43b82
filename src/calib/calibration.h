#pragma once
// The calibration steps of the module (no widgets): the raw-sample series and their averages, the
// VIP data, the voltage angle coefficients, the power compensation K1/K2, the flash commit, and
// the log lines each step writes. The arithmetic is kept in pure functions so that the numbers
// can be checked without a module; the steps over a Link report their progress through a log
// callback (the calibration page appends each text as one line). Callable from any one thread at
// a time (a job of the device session in the program); the log callback runs on that thread.

#include "calib/register_words.h"
#include "link/link.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

using CalibrationLog = std::function<void(const QString&)>;

namespace calib {
inline constexpr uint16_t kRawSamples = 10000; // 9 words: U, I, P of phases A, B, C
inline constexpr uint16_t kRawAngles = 10009;  // 3 words: voltage angles of A, B, C
inline constexpr uint16_t kStateFlag = 13000;  // 0xAA55 while in calibration
inline constexpr uint16_t kCommand = 0xAA55;   // commands and enables
inline constexpr int kRawReads = 8;            // reads per raw series
inline constexpr int kAngleReads = 30;         // reads per angle series
} // namespace calib

using RawRead = std::array<uint16_t, 9>;
using RawSeries = std::array<RawRead, calib::kRawReads>;
using VipAverageSet = std::array<double, 9>;
using AngleRead = std::array<uint16_t, 3>;
using AngleSeries = std::array<AngleRead, calib::kAngleReads>;

// K1 (cos) and K2 (sin) of the phase error of one phase, scaled by 10000.
struct PhaseCompensation {
    int16_t k1 = 10000;
    int16_t k2 = 0;
    bool operator==(const PhaseCompensation&) const = default;
};
using CompensationSet = std::array<PhaseCompensation, 3>;

// What the calibration keeps between its steps for the life of the program (nothing is saved).
struct CalibrationState {
    RawSeries RawSamples{};
    VipAverageSet VipAverages{};
    AngleSeries AngleSamples{};
    std::array<uint16_t, 3> AngleCoefficients{};
    double SourceActivePower = 0;
    CompensationSet PowerCompensation{};
};

// ---- pure arithmetic ----------------------------------------------------------------------------

// Register base of segment 1, 2, 3: 12000, 12100, 12200.
uint16_t SegmentBase(int segment);
// Share of the rated power a segment is calibrated at: 1, 0.5, 0.1.
double SegmentFactor(int segment);
// Power compensation registers of a segment at 50 Hz (base + 9) or 60 Hz (base + 15); voltage
// angle coefficients at base + 21 or base + 24.
uint16_t PowerCompensationRegister(int segment, bool hz60);
uint16_t AngleCoefficientRegister(int segment, bool hz60);

// Averages of the nine words over the eight reads (unsigned; 1000 and 1001 alternating -> 1000.5).
VipAverageSet AverageRawWords(const RawSeries& series);
// The VIP data words: each average rounded half up (1000.5 -> 1001).
std::array<uint16_t, 9> VipDataWords(const VipAverageSet& averages);
// Averages of the thirty angle reads per phase.
std::array<double, 3> AverageAngles(const AngleSeries& series);
// Angle coefficient of one phase from its average: average x 32768 x 8/45 / 1000, rounded half up
// (1000 -> 583).
uint16_t AngleCoefficient(double average);

// K1 and K2 of a phase error theta (radians): cos and sin scaled by 10000, rounded half away from
// zero.
PhaseCompensation CompensationForAngle(long double theta);

// Outcome of the power compensation arithmetic: the three pairs, or the reason it was refused.
struct PowerCompensationResult {
    std::optional<CompensationSet> values;
    QString refusal; // the log line when values is empty
};
// The compensation of segment s from the active-power words (6, 7, 8) of a raw series, the VIP
// averages, the rated values and the source's true power. Refused without a division by zero or
// an arc cosine outside [-1, 1]: no VIP calibration yet (average 0), no true power entered (0),
// or a measured-to-true ratio whose half lies outside [-1, 1].
PowerCompensationResult ComputePowerCompensation(int segment, const RawSeries& series,
                                                 const VipAverageSet& averages, double ratedVoltage,
                                                 double ratedCurrent, double sourceActivePower);
// The refusal that holds before any reading (average 0 or no true power), else empty.
QString PowerCompensationPrecondition(const VipAverageSet& averages, double sourceActivePower);

// Log texts of the refusals.
QString NoVipCalibrationText();
QString NoSourcePowerText();
QString PowerRatioOutOfRangeText();

// Lines of numbers as the log shows them: separated by four spaces.
QString JoinWords(const uint16_t* words, int count);
QString JoinReals(const double* values, int count);

// ---- steps over the link ------------------------------------------------------------------------
// A step that writes takes an optional written: each write the module acknowledged adds its words
// there (a later write of a register wins), so that a unit's record can say what the step wrote.

// Eight reads of the nine raw words into state.RawSamples, each logged; false at the first read
// that fails or delivers fewer words (reads already stored stay).
bool ReadRawSeries(Link& link, uint8_t address, CalibrationState& state, const CalibrationLog& log);
// state.VipAverages from state.RawSamples, logged.
void AverageRawSeries(CalibrationState& state, const CalibrationLog& log);
// The VIP data words of the averages to the segment's base.
bool WriteVipData(Link& link, uint8_t address, int segment, const CalibrationState& state,
                  const CalibrationLog& log, RegisterWords* written = nullptr);
// The whole VIP calibration of a segment: state flag (segment 1 only), neutral compensation of
// both frequencies, raw series, averages, VIP data. True when the data was written.
bool RunVipCalibration(Link& link, uint8_t address, int segment, CalibrationState& state,
                       const CalibrationLog& log, RegisterWords* written = nullptr);

// Thirty angle reads, their averages and coefficients, written to the segment's register of the
// frequency. True when the coefficients were written.
bool RunAnglePhaseCompensation(Link& link, uint8_t address, int segment, bool hz60,
                               CalibrationState& state, const CalibrationLog& log,
                               RegisterWords* written = nullptr);

// Neutral power compensation of one frequency of a segment.
bool ResetPowerCompensation(Link& link, uint8_t address, int segment, bool hz60,
                            const CalibrationLog& log, RegisterWords* written = nullptr);

// Three passes of raw series, compensation and write. True when the third pass was written.
bool RunPowerCompensation(Link& link, uint8_t address, int segment, bool hz60, double ratedVoltage,
                          double ratedCurrent, CalibrationState& state, const CalibrationLog& log,
                          RegisterWords* written = nullptr);
bool WritePowerCompensation(Link& link, uint8_t address, int segment, bool hz60,
                            const CompensationSet& values, const CalibrationLog& log,
                            RegisterWords* written = nullptr);

// Clears the state flag and commands the flash write (0, 0xAA55 at 13000).
bool WriteCalibrationFlash(Link& link, uint8_t address, const CalibrationLog& log,
                           RegisterWords* written = nullptr);
