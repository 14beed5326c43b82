#include "calib/calibration.h"

#include "common/conversion.h"
#include "link/modbus.h"

#include <QCoreApplication>
#include <QStringList>

#include <cmath>
#include <vector>

namespace {

// 3.1415926 / 3, not pi / 3 to full precision: the module's compensation expects this offset.
constexpr double kSixtyDegrees = 1.0471975333333334;

// Neutral compensation of one frequency: K1 of A, B, C, then K2 of A, B, C.
const std::vector<uint16_t> kNeutral{10000, 10000, 10000, 0, 0, 0};

int ClampSegment(int segment) {
    return segment < 1 ? 1 : (segment > 3 ? 3 : segment);
}

// Truncation toward zero of a scaled value, as the coefficient words are formed.
long long Truncate(long double value) {
    return static_cast<long long>(value);
}

void LogRawRead(const RawRead& words, int n, const CalibrationLog& log) {
    log(QCoreApplication::translate("Calibration", "第%1次读原始AD采集数据为：").arg(n));
    for (int g = 0; g < 3; ++g)
        log(JoinWords(words.data() + 3 * g, 3));
    log(QString());
}

} // namespace

uint16_t SegmentBase(int segment) {
    return static_cast<uint16_t>(12000 + 100 * (ClampSegment(segment) - 1));
}

double SegmentFactor(int segment) {
    switch (ClampSegment(segment)) {
    case 2:
        return 0.5;
    case 3:
        return 0.1;
    default:
        return 1.0;
    }
}

uint16_t PowerCompensationRegister(int segment, bool hz60) {
    return static_cast<uint16_t>(SegmentBase(segment) + (hz60 ? 15 : 9));
}

uint16_t AngleCoefficientRegister(int segment, bool hz60) {
    return static_cast<uint16_t>(SegmentBase(segment) + (hz60 ? 24 : 21));
}

VipAverageSet AverageRawWords(const RawSeries& series) {
    VipAverageSet averages{};
    for (int k = 0; k < 9; ++k) {
        // Eight unsigned words fit a 32-bit sum whatever their values.
        uint32_t sum = 0;
        for (const RawRead& read : series)
            sum += read[k];
        averages[k] = sum * 0.125;
    }
    return averages;
}

std::array<uint16_t, 9> VipDataWords(const VipAverageSet& averages) {
    std::array<uint16_t, 9> words{};
    for (int k = 0; k < 9; ++k)
        words[k] = static_cast<uint16_t>(Truncate(static_cast<long double>(averages[k]) + 0.5L));
    return words;
}

std::array<double, 3> AverageAngles(const AngleSeries& series) {
    std::array<double, 3> averages{};
    for (int p = 0; p < 3; ++p) {
        uint32_t sum = 0;
        for (const AngleRead& read : series)
            sum += read[p];
        averages[p] = static_cast<double>(sum * (1.0L / 30.0L));
    }
    return averages;
}

uint16_t AngleCoefficient(double average) {
    const long double scaled =
        (static_cast<long double>(average) * 32768.0L * 0.17777777777777777778L * 0.001L + 5.0L) *
        0.1L;
    return static_cast<uint16_t>(Truncate(scaled));
}

PhaseCompensation CompensationForAngle(long double theta) {
    const long double c = std::cos(theta) * 100000.0L;
    const long double s = std::sin(theta) * 100000.0L;
    PhaseCompensation k;
    k.k1 = static_cast<int16_t>(Truncate((c + 5.0L) * 0.1L));
    k.k2 = static_cast<int16_t>(Truncate((s >= 0 ? s + 5.0L : s - 5.0L) * 0.1L));
    return k;
}

QString NoVipCalibrationText() {
    return QCoreApplication::translate("Calibration",
                                       "未做VIP标定(平均功率数据为0),不计算功率补偿系数!!");
}

QString NoSourcePowerText() {
    return QCoreApplication::translate("Calibration",
                                       "未填写源的真实有功功率值,不计算功率补偿系数!!");
}

QString PowerRatioOutOfRangeText() {
    return QCoreApplication::translate("Calibration",
                                       "测量功率与源有功功率之比超出范围,不计算功率补偿系数!!");
}

QString PowerCompensationPrecondition(const VipAverageSet& averages, double sourceActivePower) {
    for (int w = 6; w < 9; ++w)
        if (averages[w] == 0) return NoVipCalibrationText();
    if (sourceActivePower == 0 || !std::isfinite(sourceActivePower)) return NoSourcePowerText();
    return {};
}

PowerCompensationResult ComputePowerCompensation(int segment, const RawSeries& series,
                                                 const VipAverageSet& averages, double ratedVoltage,
                                                 double ratedCurrent, double sourceActivePower) {
    PowerCompensationResult result;
    result.refusal = PowerCompensationPrecondition(averages, sourceActivePower);
    if (!result.refusal.isEmpty()) return result;
    const long double factor = SegmentFactor(segment);
    CompensationSet values;
    for (int p = 0; p < 3; ++p) {
        const int w = 6 + p;
        double sum = 0;
        for (const RawRead& read : series)
            sum += read[w];
        const double m = sum * 0.125;
        const double measured = static_cast<double>(static_cast<long double>(ratedVoltage) *
                                                    ratedCurrent * factor * m / averages[w]);
        const double e = (measured - sourceActivePower) / sourceActivePower;
        const double half = (e + 1) * 0.5;
        if (!std::isfinite(half) || half < -1 || half > 1) {
            result.refusal = PowerRatioOutOfRangeText();
            return result;
        }
        const double theta = std::acos(half) - kSixtyDegrees;
        values[p] = CompensationForAngle(theta);
    }
    result.values = values;
    return result;
}

QString JoinWords(const uint16_t* words, int count) {
    QStringList parts;
    for (int i = 0; i < count; ++i)
        parts << QString::number(words[i]);
    return parts.join(QStringLiteral("    "));
}

QString JoinReals(const double* values, int count) {
    QStringList parts;
    for (int i = 0; i < count; ++i)
        parts << FloatToText(values[i]);
    return parts.join(QStringLiteral("    "));
}

bool ReadRawSeries(Link& link, uint8_t address, CalibrationState& state,
                   const CalibrationLog& log) {
    for (int n = 1; n <= calib::kRawReads; ++n) {
        std::vector<uint16_t> values;
        std::size_t delivered = 0;
        // A read that delivers fewer than the nine words is as good as none.
        if (!ReadRawSamples(link, address, calib::kRawSamples, 9, values, &delivered) ||
            delivered < 9) {
            log(QCoreApplication::translate("Calibration", "第%1次读原始AD采集数据失败").arg(n));
            return false;
        }
        RawRead& read = state.RawSamples[n - 1];
        for (int k = 0; k < 9; ++k)
            read[k] = values[k];
        LogRawRead(read, n, log);
    }
    return true;
}

namespace {
// A calibration write that notes what the module acknowledged.
bool WriteNoted(Link& link, uint8_t address, uint16_t first, const std::vector<uint16_t>& words,
                RegisterWords* written) {
    if (!WriteCalibrationRegisters(link, address, first, uint16_t(words.size()), words))
        return false;
    if (written) AddWords(*written, first, words);
    return true;
}
} // namespace

void AverageRawSeries(CalibrationState& state, const CalibrationLog& log) {
    state.VipAverages = AverageRawWords(state.RawSamples);
    log(QCoreApplication::translate("Calibration", "8次平均数据为："));
    for (int g = 0; g < 3; ++g)
        log(JoinReals(state.VipAverages.data() + 3 * g, 3));
    log(QString());
}

bool WriteVipData(Link& link, uint8_t address, int segment, const CalibrationState& state,
                  const CalibrationLog& log, RegisterWords* written) {
    const std::array<uint16_t, 9> words = VipDataWords(state.VipAverages);
    const std::vector<uint16_t> values(words.begin(), words.end());
    if (!WriteNoted(link, address, SegmentBase(segment), values, written)) {
        log(QCoreApplication::translate("Calibration", "写 %1 段VIP标定数据失败!!").arg(segment));
        return false;
    }
    log(QCoreApplication::translate("Calibration", "写 %1 段VIP标定数据成功!").arg(segment));
    log(QString());
    return true;
}

bool RunVipCalibration(Link& link, uint8_t address, int segment, CalibrationState& state,
                       const CalibrationLog& log, RegisterWords* written) {
    if (segment == 1 && !WriteNoted(link, address, calib::kStateFlag, {calib::kCommand}, written)) {
        log(QCoreApplication::translate("Calibration", "设置标定状态失败!!"));
        return false;
    }
    std::vector<uint16_t> neutral = kNeutral;
    neutral.insert(neutral.end(), kNeutral.begin(), kNeutral.end());
    if (!WriteNoted(link, address, PowerCompensationRegister(segment, false), neutral, written)) {
        log(QCoreApplication::translate("Calibration", "初始功率校正系数失败!!"));
        return false;
    }
    if (!ReadRawSeries(link, address, state, log)) return false;
    AverageRawSeries(state, log);
    return WriteVipData(link, address, segment, state, log, written);
}

bool RunAnglePhaseCompensation(Link& link, uint8_t address, int segment, bool hz60,
                               CalibrationState& state, const CalibrationLog& log,
                               RegisterWords* written) {
    for (int n = 1; n <= calib::kAngleReads; ++n) {
        std::vector<uint16_t> values;
        std::size_t delivered = 0;
        if (!ReadRawSamples(link, address, calib::kRawAngles, 3, values, &delivered) ||
            delivered < 3) {
            log(QCoreApplication::translate("Calibration", "第%1次读电压角差原始AD采集数据失败")
                    .arg(n));
            return false;
        }
        AngleRead& read = state.AngleSamples[n - 1];
        for (int p = 0; p < 3; ++p)
            read[p] = values[p];
        log(QCoreApplication::translate("Calibration", "第%1次读原始AD采集数据为：").arg(n));
        log(JoinWords(read.data(), 3));
        log(QString());
    }
    const std::array<double, 3> averages = AverageAngles(state.AngleSamples);
    for (int p = 0; p < 3; ++p)
        state.AngleCoefficients[p] = AngleCoefficient(averages[p]);
    log(QCoreApplication::translate("Calibration", "30次平均数据为："));
    log(JoinReals(averages.data(), 3));
    log(QCoreApplication::translate("Calibration", "角差标定系数为："));
    log(JoinWords(state.AngleCoefficients.data(), 3));
    log(QString());
    const std::vector<uint16_t> words(state.AngleCoefficients.begin(),
                                      state.AngleCoefficients.end());
    if (!WriteNoted(link, address, AngleCoefficientRegister(segment, hz60), words, written)) {
        log(QCoreApplication::translate("Calibration", "写角差标定系数数据失败"));
        return false;
    }
    log(QCoreApplication::translate("Calibration", "写角差标定系数数据成功"));
    log(QString());
    return true;
}

bool ResetPowerCompensation(Link& link, uint8_t address, int segment, bool hz60,
                            const CalibrationLog& log, RegisterWords* written) {
    const QString frequency = hz60 ? QStringLiteral("60HZ") : QStringLiteral("50HZ");
    if (!WriteNoted(link, address, PowerCompensationRegister(segment, hz60), kNeutral, written)) {
        log(QCoreApplication::translate("Calibration", "初始%1功率校正系数失败!!").arg(frequency));
        return false;
    }
    log(QCoreApplication::translate("Calibration", "初始%1功率校正系数完成!").arg(frequency));
    return true;
}

bool WritePowerCompensation(Link& link, uint8_t address, int segment, bool hz60,
                            const CompensationSet& values, const CalibrationLog& log,
                            RegisterWords* written) {
    std::vector<uint16_t> words;
    for (const PhaseCompensation& k : values)
        words.push_back(static_cast<uint16_t>(k.k1));
    for (const PhaseCompensation& k : values)
        words.push_back(static_cast<uint16_t>(k.k2));
    if (!WriteNoted(link, address, PowerCompensationRegister(segment, hz60), words, written)) {
        log(QCoreApplication::translate("Calibration", "写相位补偿系数失败"));
        return false;
    }
    log(QCoreApplication::translate("Calibration", "写相位补偿系数成功 K1:%1 %2 %3")
            .arg(values[0].k1)
            .arg(values[1].k1)
            .arg(values[2].k1));
    log(QCoreApplication::translate("Calibration", "写相位补偿系数成功 K2:%1 %2 %3")
            .arg(values[0].k2)
            .arg(values[1].k2)
            .arg(values[2].k2));
    log(QString());
    return true;
}

bool RunPowerCompensation(Link& link, uint8_t address, int segment, bool hz60, double ratedVoltage,
                          double ratedCurrent, CalibrationState& state, const CalibrationLog& log,
                          RegisterWords* written) {
    // Without VIP averages or a true power the arithmetic has no answer: refuse before reading.
    const QString refusal =
        PowerCompensationPrecondition(state.VipAverages, state.SourceActivePower);
    if (!refusal.isEmpty()) {
        log(refusal);
        return false;
    }
    for (int n = 1; n <= 3; ++n) {
        log(QCoreApplication::translate("Calibration", "第%1次补偿；").arg(n));
        log(QString());
        if (!ReadRawSeries(link, address, state, log)) return false;
        const PowerCompensationResult result =
            ComputePowerCompensation(segment, state.RawSamples, state.VipAverages, ratedVoltage,
                                     ratedCurrent, state.SourceActivePower);
        if (!result.values) {
            log(result.refusal);
            return false;
        }
        state.PowerCompensation = *result.values;
        if (!WritePowerCompensation(link, address, segment, hz60, state.PowerCompensation, log,
                                    written))
            return false;
        log(QString());
        log(QString());
    }
    return true;
}

bool WriteCalibrationFlash(Link& link, uint8_t address, const CalibrationLog& log,
                           RegisterWords* written) {
    if (!WriteNoted(link, address, calib::kStateFlag, {0, calib::kCommand}, written)) {
        log(QCoreApplication::translate("Calibration", "写标定FLASH 失败!!"));
        return false;
    }
    log(QCoreApplication::translate("Calibration", "写标定FLASH 成功!!"));
    return true;
}
