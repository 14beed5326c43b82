#pragma once
// The configuration of the module as register blocks: the user configuration at 260..303, the
// 30-word calibration block at 11002, the output-parameter list at 11300 and the clock at 257.
// Pure functions over values already read from the page, so the layouts are checked without a
// window or a line; what comes back from the module is decoded here too.

#include "common/conversion.h"
#include "link/link.h"

#include <QDateTime>
#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

inline constexpr uint16_t kClockRegister = 257;
inline constexpr uint16_t kUserBlock1Register = 260; // segments 1-4, meter-reading day/hour
inline constexpr uint16_t kUserBlock2Register = 270; // pulse output, pulse constant, start current
inline constexpr uint16_t kUserBlock3Register = 274; // PT .. demand method
inline constexpr uint16_t kUserBlock4Register = 286; // tariffs, segments, segments 5-12
inline constexpr uint16_t kCalibrationBlockRegister = 11002;
inline constexpr uint16_t kCalibrationBlockWords = 30;
inline constexpr uint16_t kProtocolRegister = 11023;
inline constexpr uint16_t kOutputListRegister = 11300;
// The list travels in a buffer of 200 words: the count and at most 199 addresses.
inline constexpr int kOutputListMaxAddresses = 199;
inline constexpr uint16_t kUserReadBackWords = 44; // 260 .. 303
inline constexpr int kDownloadWaitMs = 2000;

struct TimeSegment {
    int hour = 0;
    int minute = 0;
    int tariff = 0;
};

// The user configuration fields of the calibration page, converted.
struct ConfigurationFields {
    std::array<TimeSegment, 12> segments{};
    int readingDay = 0;
    int readingHour = 0;
    int tariffs = 0;
    int segmentCount = 0;
    int pulseMode = 0;     // CB_MCType index
    int pulseConstant = 0; // LE_MCCS
    int startCurrent = 0;  // LE_QDDL
    int pt = 0;            // already chosen between LE_PT and UPT
    int ct = 0;
    int ctCount = 0;
    int harmonic = 0; // CB_LBType index
    int overVoltage = 0;
    int underVoltage = 0;
    int phaseBreak = 0;
    int threshold = 0;
    int demandMethod = 0;
};

// What the tariff schedule and the parameter fields may hold in one form of the download: what
// the register or data item carries, and for PT and CT the bounds of the pages' up-downs. A value
// outside is refused before anything is sent, never cut to fit.
struct FieldRanges {
    FieldRange hour; // of a segment
    FieldRange minute;
    FieldRange tariff;
    FieldRange readingDay;
    FieldRange readingHour;
    FieldRange tariffs;
    FieldRange segmentCount;
    FieldRange pulseConstant;
    FieldRange startCurrent;
    FieldRange pt;
    FieldRange ct;
    FieldRange limit; // over- and under-voltage, phase break, threshold (in percent)
};

inline constexpr FieldRange kPtRange{1, 5000};
inline constexpr FieldRange kCtRange{1, 9999};

// Modbus registers: hours, minutes and the reading day and hour take one byte of a word, the
// limits go out × 10 in a word, everything else is a whole unsigned word.
inline constexpr FieldRanges kModbusFieldRanges{.hour = {0, 255},
                                                .minute = {0, 255},
                                                .tariff = {0, 65535},
                                                .readingDay = {0, 255},
                                                .readingHour = {0, 255},
                                                .tariffs = {0, 65535},
                                                .segmentCount = {0, 65535},
                                                .pulseConstant = {0, 65535},
                                                .startCurrent = {0, 65535},
                                                .pt = kPtRange,
                                                .ct = kCtRange,
                                                .limit = {0, 6553}};

// The rated values go out as 32-bit integers, voltage × 10 and current × 1000 truncated, that
// the module reads back signed: the largest ratings that come back as they were typed.
inline constexpr int kRatedVoltageScale = 10;
inline constexpr int kRatedCurrentScale = 1000;
// True when value × scale, truncated, lies within 0 .. 2^31 - 1.
bool RatingFits(double value, int scale);

// The product's values and the page's rated values, serial numbers and versions.
struct CalibrationFields {
    double ratedVoltage = 0;
    double ratedCurrent = 0;
    std::array<QString, 3> serialNumbers; // LE_GroupNo1..3 as typed
    std::array<QString, 3> hardwareVersions;
    QString modelName;
    std::array<int, 8> scales{};  // UBLFX, UBL, IBLFX, IBL, PBLFX, PBL, EBLFX, EBL
    std::array<int, 5> enables{}; // SDBJXS, CSLXSN, FDBDSN, CSFHSN, GLYSFXSN
};

// Hour in the high byte, minute in the low byte. Throws ConversionError when either is outside
// 0..255: one would spill into the other and send a different time than the page shows.
uint16_t BytePair(int high, int low);

// LE_MCCS for the rated values: 3960000 / (V x I) truncated; above 65535 it becomes 65530.
int PulseConstant(double ratedVoltage, double ratedCurrent);

std::vector<uint16_t> UserBlock1(const ConfigurationFields& f); // 9 words to 260
std::vector<uint16_t> UserBlock2(const ConfigurationFields& f); // 3 words to 270
std::vector<uint16_t> UserBlock3(const ConfigurationFields& f); // 10 words to 274 (278 is 0)
std::vector<uint16_t> UserBlock4(const ConfigurationFields& f); // 18 words to 286

// A serial number or version field: "0x" + its first four characters, as an integer word. Throws
// ConversionError naming the field by its caption when that is not hexadecimal (an empty field
// included).
uint16_t HexWord(const QString& caption, const QString& text);

// The 30 words to 11002. Throws ConversionError for a serial number or version that is not
// hexadecimal, for a model name of fewer than 12 characters and for ratings whose words would not
// come back as they were typed.
std::vector<uint16_t> CalibrationBlock(const CalibrationFields& f);

// Count first, then the addresses; empty when there are more than the buffer holds.
std::vector<uint16_t> OutputListBlock(const std::vector<uint16_t>& addresses);

// The 3 clock words to 257 for a local time; year - 2000 is kept to one byte.
std::vector<uint16_t> ClockWords(const QDateTime& now);

// The two-character code of the module's protocol and frame-format index in a model name; the
// error text for a pair that has none, empty for an unknown protocol.
QString FrameFormatCode(int protocol, int formatIndex);

// The model name a module's calibration words describe: words holds the 30 words from 11002.
QString RebuildModelName(const std::vector<uint16_t>& words, const QString& code);

// A signed 32-bit value stored low word first.
int32_t LowWordFirst(uint16_t low, uint16_t high);

// What a download tells the window while it runs: a progress step, and the pause between two
// writes (on the device session's worker, where a cancel cuts it short). Tests count the steps and
// skip the waits.
class DownloadProgress {
public:
    virtual ~DownloadProgress() = default;
    virtual void Step() = 0;
    virtual void Wait(int ms) = 0;
};

// The five blocks of a configuration download, formed before anything is sent.
struct ConfigurationBlocks {
    std::vector<std::pair<uint16_t, std::vector<uint16_t>>> user; // 260, 270, 274, 286
    std::vector<uint16_t> calibration;                            // 11002
};
// Throws ConversionError when a field cannot be sent (see the block builders).
ConfigurationBlocks BuildConfigurationBlocks(const ConfigurationFields& fields,
                                             const CalibrationFields& calibration);
// Writes the four user blocks with a wait of kDownloadWaitMs and a step after each, then the
// calibration block and a step. Stops at the first failed write (what went before stays written).
// blocksWritten (when given) receives how many of the five blocks the module confirmed.
bool WriteConfigurationBlocks(Link& link, uint8_t address, const ConfigurationBlocks& blocks,
                              DownloadProgress& progress, std::size_t* blocksWritten = nullptr);

// The module's read functions the configuration uses.
enum class ReadKind { Registers, Calibration };

// A read that counts only when every asked word arrived: a reply that carries fewer words is a
// failed read, so no control is ever filled from a word the module did not send.
bool ReadAllWords(Link& link, uint8_t address, ReadKind kind, uint16_t first, uint16_t count,
                  std::vector<uint16_t>& values);
