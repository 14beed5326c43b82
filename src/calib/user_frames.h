#pragma once
// The user page's downloads and service commands: the user parameters as Modbus blocks and as
// DL/T 645-1997 and -2007 write items, the energy base, the 亚奥 reads and the clear commands of
// every protocol. The frame contents are pure functions; the operations run them over a Link and
// report progress through a small interface, so they are tested on a scripted line.

#include "calib/configuration_blocks.h"
#include "link/dlt645_frames.h"
#include "link/link.h"

#include <QDateTime>
#include <QStringList>

#include <cstdint>
#include <vector>

// The user fields of the user page, converted.
struct UserParameters {
    std::array<TimeSegment, 12> segments{};
    int readingDay = 0;
    int readingHour = 0;
    int tariffs = 0;
    int segmentCount = 0;
    int pulseMode = 0;
    int pulseConstant = 0;
    int startCurrent = 0;
    int wiring = 0;
    int pt = 0;
    int ct = 0;
    int ctCount = 0;
    int harmonic = 0;
    int lowBaudIndex = 0; // 0 "不使能", 1 "使能"
    int overVoltage = 0;
    int underVoltage = 0;
    int phaseBreak = 0;
    int threshold = 0;
    int demandMethod = 0;
};

// The DL/T 645 items of both editions carry packed BCD: one byte (two digits) for each part of a
// segment, the reading day and hour, the tariffs and the segments; three for the pulse constant;
// two for the others, the limits in plain percent.
inline constexpr FieldRanges kDlt645FieldRanges{.hour = {0, 99},
                                                .minute = {0, 99},
                                                .tariff = {0, 99},
                                                .readingDay = {0, 99},
                                                .readingHour = {0, 99},
                                                .tariffs = {0, 99},
                                                .segmentCount = {0, 99},
                                                .pulseConstant = {0, 999999},
                                                .startCurrent = {0, 9999},
                                                .pt = kPtRange,
                                                .ct = kCtRange,
                                                .limit = {0, 9999}};
// The ranges of the user page's fields in the download of a protocol (0, 1 or 2).
inline const FieldRanges& UserFieldRanges(int protocol) {
    return protocol == 0 ? kModbusFieldRanges : kDlt645FieldRanges;
}

// The energy base goes out as four bytes; the field reads at most 2^31 - 1, and a negative base
// would go out as a huge one.
inline constexpr FieldRange kEnergyBaseRange{0, 2147483647};

inline constexpr uint16_t kLowBaudEnabled = 0xAA55;
inline constexpr uint16_t kClearEnergyRegister = 512;
inline constexpr uint16_t kClearDemandRegister = 513;
inline constexpr uint16_t kCommandWord = 0xAA55;
inline constexpr int kUserWaitMs = 1000;

// The password field of every 2007 write: privilege level 02 with the password 000000, the level
// and factory password the module accepts for parameter writes (PA first, then P0..P2).
inline constexpr std::array<uint8_t, 4> kPassword2007{0x02, 0x00, 0x00, 0x00};

// Two decimal digits of v mod 100, tens in the high half: 125 -> 0x25.
uint8_t BcdByte(int v);

// The downloads and the clear commands go to Dlt645ModuleAddress (the module address in BCD);
// the time broadcast goes to every meter.
inline constexpr Dlt645Address kBroadcastAddress{0x99, 0x99, 0x99, 0x99, 0x99, 0x99};

// Second, minute, hour, day, month, year - 2000 as BCD bytes.
std::vector<uint8_t> TimeBroadcastData(const QDateTime& now);

// The three Modbus blocks after the clock: 9 words to 260, 14 to 270, 18 to 286.
std::vector<uint16_t> UserModbusBlock260(const UserParameters& p);
std::vector<uint16_t> UserModbusBlock270(const UserParameters& p);
std::vector<uint16_t> UserModbusBlock286(const UserParameters& p);

struct Dlt645WriteItem {
    uint32_t identifier = 0; // 1997: DI1 DI0; 2007: DI3 .. DI0
    std::vector<uint8_t> value;
};
std::vector<Dlt645WriteItem> UserItems1997(const UserParameters& p);
std::vector<Dlt645WriteItem> UserItems2007(const UserParameters& p);
// The data field of a write: identifier low byte first, then (2007) password and operator code,
// then the value bytes.
std::vector<uint8_t> WriteData1997(const Dlt645WriteItem& item);
std::vector<uint8_t> WriteData2007(const Dlt645WriteItem& item);

// What the user page shows when it opens: the schedule of four segments from 1, 7, 13 and 19
// o'clock, reading on day 1 at 1 o'clock, 4 tariffs and segments, pulse constant 3200, start
// current 10, PT and CT 1, limits 125, 70, 50 and threshold 10, every list at its first choice.
UserParameters DefaultUserParameters();

// Sets the field the user page names so ("时段3时", "脉冲常数", "接线模式", "低通讯波特率使能",
// "过欠压/断相阈值") from text, as the page converts it for the download of protocol (0, 1, 2);
// false with the reason naming the field otherwise. A list takes its index.
bool SetUserField(UserParameters& p, int protocol, const QString& name, const QString& text,
                  QString& error);

// The downloads. Each stops at the first failed write (what went before stays written).
bool UserDownloadModbus(Link& link, uint8_t address, const UserParameters& p, const QDateTime& now,
                        DownloadProgress& progress);
bool UserDownload1997(Link& link, uint8_t address, const UserParameters& p, const QDateTime& now,
                      DownloadProgress& progress);
bool UserDownload2007(Link& link, uint8_t address, const UserParameters& p, const QDateTime& now,
                      DownloadProgress& progress);

// The energy base as four bytes, most significant first.
std::vector<uint8_t> EnergyBaseData(int value);
bool SetEnergyBase(Link& link, uint8_t address, int value);

// The 亚奥 reads: address (4), calibration data (9), raw data (0x11). lines receives the title
// and then one line per byte ("2A") on success.
bool YaaoRead(Link& link, uint8_t address, uint8_t command, QStringList& lines);

enum class ClearResult { Done, Failed, NotSent };
ClearResult ClearEnergy(Link& link, int protocol, uint8_t address);
ClearResult ClearDemand(Link& link, int protocol, uint8_t address);
