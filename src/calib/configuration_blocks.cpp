#include "calib/configuration_blocks.h"

#include "common/conversion.h"
#include "link/modbus.h"

#include <QCoreApplication>
#include <QStringEncoder>

#include <cmath>

namespace {

uint16_t Word(int value) {
    return static_cast<uint16_t>(value);
}

void PutLowWordFirst(std::vector<uint16_t>& words, uint32_t value) {
    words.push_back(static_cast<uint16_t>(value & 0xFFFF));
    words.push_back(static_cast<uint16_t>(value >> 16));
}

// The bytes of the model name as the module stores them (GBK, one byte per ASCII character).
QByteArray NameBytes(const QString& name) {
    QStringEncoder gbk("GBK");
    if (gbk.isValid()) return gbk.encode(name);
    return name.toLatin1();
}

} // namespace

uint16_t BytePair(int high, int low) {
    if (high < 0 || high > 255 || low < 0 || low > 255)
        throw ConversionError(
            QStringLiteral("'%1:%2' is not a valid time (0..255 each)").arg(high).arg(low));
    return static_cast<uint16_t>(high * 256 + low);
}

int PulseConstant(double ratedVoltage, double ratedCurrent) {
    const double c = std::trunc(3960000.0 / (ratedVoltage * ratedCurrent));
    // A zero or missing rating gives no finite constant: the cap applies as to any large one.
    if (!std::isfinite(c) || c > 65535.0) return 65530;
    if (c < -2147483648.0) return 0;
    return static_cast<int>(c);
}

std::vector<uint16_t> UserBlock1(const ConfigurationFields& f) {
    std::vector<uint16_t> words;
    for (int n = 0; n < 4; ++n) {
        words.push_back(BytePair(f.segments[n].hour, f.segments[n].minute));
        words.push_back(Word(f.segments[n].tariff));
    }
    words.push_back(BytePair(f.readingDay, f.readingHour));
    return words;
}

std::vector<uint16_t> UserBlock2(const ConfigurationFields& f) {
    return {Word(f.pulseMode), Word(f.pulseConstant), Word(f.startCurrent)};
}

std::vector<uint16_t> UserBlock3(const ConfigurationFields& f) {
    // 278, the low-baud-rate enable, belongs to the user page: this page always sends 0.
    return {Word(f.pt),
            Word(f.ct),
            Word(f.ctCount),
            Word(f.harmonic),
            0,
            Word(f.overVoltage * 10),
            Word(f.underVoltage * 10),
            Word(f.phaseBreak * 10),
            Word(f.threshold * 10),
            Word(f.demandMethod)};
}

std::vector<uint16_t> UserBlock4(const ConfigurationFields& f) {
    std::vector<uint16_t> words{Word(f.tariffs), Word(f.segmentCount)};
    for (int n = 4; n < 12; ++n) {
        words.push_back(BytePair(f.segments[n].hour, f.segments[n].minute));
        words.push_back(Word(f.segments[n].tariff));
    }
    return words;
}

uint16_t HexWord(const QString& caption, const QString& text) {
    try {
        return static_cast<uint16_t>(StrToInt(QStringLiteral("0x") + text.left(4)));
    } catch (const ConversionError&) {
        throw FieldError(caption, text,
                         QCoreApplication::translate("Conversion", "不是有效的十六进制数"));
    }
}

bool RatingFits(double value, int scale) {
    const double scaled = std::trunc(value * scale);
    return scaled >= 0 && scaled <= 2147483647.0;
}

std::vector<uint16_t> CalibrationBlock(const CalibrationFields& f) {
    const QByteArray name = NameBytes(f.modelName);
    if (name.size() < 12)
        throw ConversionError(
            QStringLiteral("Model name '%1' is shorter than 12 characters").arg(f.modelName));
    const auto ch = [&name](int position) { // counted from 1
        return static_cast<uint8_t>(name[position - 1]);
    };
    const auto pair = [&ch](int a, int b) { return static_cast<uint16_t>(ch(a) << 8 | ch(b)); };

    if (!RatingFits(f.ratedVoltage, kRatedVoltageScale) ||
        !RatingFits(f.ratedCurrent, kRatedCurrentScale))
        throw ConversionError(
            QCoreApplication::translate("Configuration", "电压额定值或电流额定值超出范围"));
    const int64_t v = static_cast<int64_t>(std::trunc(f.ratedVoltage * kRatedVoltageScale));
    const int64_t i = static_cast<int64_t>(std::trunc(f.ratedCurrent * kRatedCurrentScale));
    // The module keeps 32 bits; the product is formed wide so a large rating cannot overflow.
    const int64_t power = v * i / 1000;
    if (power > 2147483647)
        throw ConversionError(QCoreApplication::translate(
            "Configuration", "额定功率（电压额定值×电流额定值）超出范围"));

    std::vector<uint16_t> words;
    words.reserve(kCalibrationBlockWords);
    PutLowWordFirst(words, static_cast<uint32_t>(v));
    PutLowWordFirst(words, static_cast<uint32_t>(i));
    PutLowWordFirst(words, static_cast<uint32_t>(power));
    for (const QString& serial : f.serialNumbers)
        words.push_back(HexWord(QString(), serial));
    words.push_back(pair(3, 4));
    words.push_back(pair(5, 6));
    words.push_back(pair(7, 10));
    words.push_back(pair(11, 12));
    for (int scale : f.scales)
        words.push_back(Word(scale));
    words.push_back(0); // protocol: the protocol switch writes the scheme's own
    for (int enable : f.enables)
        words.push_back(Word(enable));
    for (const QString& version : f.hardwareVersions)
        words.push_back(HexWord(QString(), version));
    return words;
}

std::vector<uint16_t> OutputListBlock(const std::vector<uint16_t>& addresses) {
    if (addresses.size() > static_cast<std::size_t>(kOutputListMaxAddresses)) return {};
    std::vector<uint16_t> words{static_cast<uint16_t>(addresses.size())};
    words.insert(words.end(), addresses.begin(), addresses.end());
    return words;
}

std::vector<uint16_t> ClockWords(const QDateTime& now) {
    const QDate d = now.date();
    const QTime t = now.time();
    const int year = (d.year() - 2000) & 0xFF;
    return {static_cast<uint16_t>(year << 8 | d.month()),
            static_cast<uint16_t>(d.day() << 8 | t.hour()),
            static_cast<uint16_t>(t.minute() << 8 | t.second())};
}

QString FrameFormatCode(int protocol, int formatIndex) {
    const QString wrong = QStringLiteral("比特率格式错误");
    if (protocol > 4) return {};
    if (formatIndex < 0 || formatIndex > 3 || protocol < 0) return wrong;
    switch (protocol) {
    case 0:
        return QStringLiteral("B%1").arg(formatIndex);
    case 1:
    case 2: {
        static const char* const codes[] = {nullptr, "G1", "G2", "G0"};
        return codes[formatIndex] ? QString::fromLatin1(codes[formatIndex]) : wrong;
    }
    case 3:
        return QStringLiteral("J%1").arg(formatIndex);
    default:
        return QStringLiteral("T%1").arg(formatIndex);
    }
}

QString RebuildModelName(const std::vector<uint16_t>& words, const QString& code) {
    const auto word = [&words](int reg) { return words.at(reg - kCalibrationBlockRegister); };
    const auto high = [&](int reg) { return QChar(char16_t(word(reg) >> 8)); };
    const auto low = [&](int reg) { return QChar(char16_t(word(reg) & 0xFF)); };
    QString name = QStringLiteral("KX");
    name += high(11011);
    name += low(11011);
    name += high(11012);
    name += low(11012);
    name += code;
    name += QLatin1Char('5');
    name += low(11013);
    name += high(11014);
    name += low(11014);
    return name;
}

int32_t LowWordFirst(uint16_t low, uint16_t high) {
    return static_cast<int32_t>(static_cast<uint32_t>(high) << 16 | low);
}

bool ReadAllWords(Link& link, uint8_t address, ReadKind kind, uint16_t first, uint16_t count,
                  std::vector<uint16_t>& values) {
    std::size_t delivered = 0;
    const bool ok = kind == ReadKind::Registers
                        ? ReadRegisters(link, address, first, count, values, &delivered)
                        : ReadCalibrationRegisters(link, address, first, count, values, &delivered);
    return ok && delivered >= count;
}

ConfigurationBlocks BuildConfigurationBlocks(const ConfigurationFields& fields,
                                             const CalibrationFields& calibration) {
    ConfigurationBlocks blocks;
    blocks.user = {{kUserBlock1Register, UserBlock1(fields)},
                   {kUserBlock2Register, UserBlock2(fields)},
                   {kUserBlock3Register, UserBlock3(fields)},
                   {kUserBlock4Register, UserBlock4(fields)}};
    blocks.calibration = CalibrationBlock(calibration);
    return blocks;
}

bool WriteConfigurationBlocks(Link& link, uint8_t address, const ConfigurationBlocks& blocks,
                              DownloadProgress& progress, std::size_t* blocksWritten) {
    std::size_t written = 0;
    const auto confirmed = [&] {
        if (blocksWritten) *blocksWritten = written;
    };
    confirmed();
    for (const auto& [first, words] : blocks.user) {
        if (!WriteRegisters(link, address, first, uint16_t(words.size()), words)) return false;
        ++written;
        confirmed();
        progress.Wait(kDownloadWaitMs);
        progress.Step();
    }
    if (!WriteCalibrationRegisters(link, address, kCalibrationBlockRegister,
                                   uint16_t(blocks.calibration.size()), blocks.calibration))
        return false;
    ++written;
    confirmed();
    progress.Step();
    return true;
}
