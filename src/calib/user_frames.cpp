#include "calib/user_frames.h"

#include "calib/configuration_download.h"
#include "link/dlt645.h"
#include "link/modbus.h"
#include "link/yaao_datang.h"

#include <QCoreApplication>

namespace {

uint16_t Word(int value) {
    return static_cast<uint16_t>(value);
}

// v as two BCD bytes, low pair first: 1200 -> 00 12.
std::vector<uint8_t> LowPairFirst(int v) {
    return {BcdByte(v % 100), BcdByte(v / 100)};
}

// v as three BCD bytes, most significant pair first: 3200 -> 00 32 00.
std::vector<uint8_t> ThreePairs(int v) {
    return {BcdByte(v / 10000), BcdByte(v / 100 % 100), BcdByte(v % 100)};
}

std::vector<uint8_t> SegmentBytes(const TimeSegment& s) {
    return {BcdByte(s.tariff), BcdByte(s.minute), BcdByte(s.hour)};
}

} // namespace

uint8_t BcdByte(int v) {
    int r = v % 100;
    if (r < 0) r += 100;
    return static_cast<uint8_t>((r / 10) << 4 | (r % 10));
}

std::vector<uint8_t> TimeBroadcastData(const QDateTime& now) {
    const QDate d = now.date();
    const QTime t = now.time();
    return {BcdByte(t.second()), BcdByte(t.minute()), BcdByte(t.hour()),
            BcdByte(d.day()),    BcdByte(d.month()),  BcdByte(d.year() - 2000)};
}

std::vector<uint16_t> UserModbusBlock260(const UserParameters& p) {
    std::vector<uint16_t> words;
    for (int n = 0; n < 4; ++n) {
        words.push_back(BytePair(p.segments[n].hour, p.segments[n].minute));
        words.push_back(Word(p.segments[n].tariff));
    }
    words.push_back(BytePair(p.readingDay, p.readingHour));
    return words;
}

std::vector<uint16_t> UserModbusBlock270(const UserParameters& p) {
    return {Word(p.pulseMode),
            Word(p.pulseConstant),
            Word(p.startCurrent),
            Word(p.wiring),
            Word(p.pt),
            Word(p.ct),
            Word(p.ctCount),
            Word(p.harmonic),
            p.lowBaudIndex == 1 ? kLowBaudEnabled : uint16_t(0),
            Word(p.overVoltage * 10),
            Word(p.underVoltage * 10),
            Word(p.phaseBreak * 10),
            Word(p.threshold * 10),
            Word(p.demandMethod)};
}

std::vector<uint16_t> UserModbusBlock286(const UserParameters& p) {
    std::vector<uint16_t> words{Word(p.tariffs), Word(p.segmentCount)};
    for (int n = 4; n < 12; ++n) {
        words.push_back(BytePair(p.segments[n].hour, p.segments[n].minute));
        words.push_back(Word(p.segments[n].tariff));
    }
    return words;
}

std::vector<Dlt645WriteItem> UserItems1997(const UserParameters& p) {
    std::vector<Dlt645WriteItem> items;
    for (int n = 0; n < 12; ++n)
        items.push_back({uint32_t(0xC331 + n), SegmentBytes(p.segments[n])});
    items.push_back({0xC313, {BcdByte(p.tariffs)}});
    items.push_back({0xC312, {BcdByte(p.segmentCount)}});
    items.push_back({0xC117, {BcdByte(p.readingHour), BcdByte(p.readingDay)}});
    items.push_back({0xC213, LowPairFirst(p.pulseMode)});
    items.push_back({p.pulseMode == 0 ? 0xC030u : 0xC031u, ThreePairs(p.pulseConstant)});
    items.push_back({0xC214, LowPairFirst(p.startCurrent)});
    items.push_back({0xC215, LowPairFirst(p.wiring)});
    items.push_back({0xC216, LowPairFirst(p.pt)});
    items.push_back({0xC217, LowPairFirst(p.ct)});
    items.push_back({0xC218, LowPairFirst(p.ctCount)});
    items.push_back({0xC219, LowPairFirst(p.harmonic)});
    items.push_back({0xC21A, LowPairFirst(p.lowBaudIndex)});
    items.push_back({0xC21B, LowPairFirst(p.overVoltage)});
    items.push_back({0xC21C, LowPairFirst(p.underVoltage)});
    items.push_back({0xC21D, LowPairFirst(p.phaseBreak)});
    items.push_back({0xC21E, LowPairFirst(p.threshold)});
    items.push_back({0xC21F, LowPairFirst(p.demandMethod)});
    return items;
}

std::vector<Dlt645WriteItem> UserItems2007(const UserParameters& p) {
    std::vector<Dlt645WriteItem> items;
    std::vector<uint8_t> segments;
    for (const TimeSegment& s : p.segments) {
        const auto bytes = SegmentBytes(s);
        segments.insert(segments.end(), bytes.begin(), bytes.end());
    }
    items.push_back({0x04010001, segments});
    items.push_back({0x04000204, {BcdByte(p.tariffs)}});
    items.push_back({0x04000203, {BcdByte(p.segmentCount)}});
    items.push_back({0x04000108, {BcdByte(p.readingHour), BcdByte(p.readingDay)}});
    items.push_back({0x04000109, LowPairFirst(p.pulseMode)});
    items.push_back({p.pulseMode == 0 ? 0x04000409u : 0x0400040Au, ThreePairs(p.pulseConstant)});
    items.push_back({0x0400040E, LowPairFirst(p.startCurrent)});
    items.push_back({0x0400040F, LowPairFirst(p.wiring)});
    items.push_back({0x04000F01, LowPairFirst(p.pt)});
    items.push_back({0x04000F02, LowPairFirst(p.ct)});
    items.push_back({0x04000F03, LowPairFirst(p.ctCount)});
    items.push_back({0x04000F04, LowPairFirst(p.harmonic)});
    items.push_back({0x04000F05, LowPairFirst(p.lowBaudIndex)});
    items.push_back({0x04000E03, LowPairFirst(p.overVoltage)});
    items.push_back({0x04000E04, LowPairFirst(p.underVoltage)});
    items.push_back({0x04000E05, LowPairFirst(p.phaseBreak)});
    items.push_back({0x04000E06, LowPairFirst(p.threshold)});
    items.push_back({0x04000E07, LowPairFirst(p.demandMethod)});
    return items;
}

std::vector<uint8_t> WriteData1997(const Dlt645WriteItem& item) {
    std::vector<uint8_t> data{uint8_t(item.identifier & 0xFF), uint8_t(item.identifier >> 8)};
    data.insert(data.end(), item.value.begin(), item.value.end());
    return data;
}

std::vector<uint8_t> WriteData2007(const Dlt645WriteItem& item) {
    std::vector<uint8_t> data;
    for (int shift = 0; shift < 32; shift += 8)
        data.push_back(uint8_t(item.identifier >> shift));
    data.insert(data.end(), kPassword2007.begin(), kPassword2007.end());
    data.insert(data.end(), 4, 0); // operator code
    data.insert(data.end(), item.value.begin(), item.value.end());
    return data;
}

bool UserDownloadModbus(Link& link, uint8_t address, const UserParameters& p, const QDateTime& now,
                        DownloadProgress& progress) {
    // Every block is formed before the first write: a field that cannot be sent stops the
    // download before anything reaches the module.
    const std::vector<std::pair<uint16_t, std::vector<uint16_t>>> blocks{
        {kClockRegister, ClockWords(now)},
        {kUserBlock1Register, UserModbusBlock260(p)},
        {kUserBlock2Register, UserModbusBlock270(p)},
        {kUserBlock4Register, UserModbusBlock286(p)}};
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        const auto& [first, words] = blocks[b];
        if (!WriteRegisters(link, address, first, uint16_t(words.size()), words)) return false;
        if (b + 1 < blocks.size()) {
            progress.Step();
            progress.Wait(kUserWaitMs);
            progress.Step();
        }
    }
    progress.Step();
    progress.Wait(10);
    return true;
}

namespace {

bool Download645(Link& link, uint8_t address, const std::vector<std::vector<uint8_t>>& frames,
                 uint8_t control, const QDateTime& now, DownloadProgress& progress) {
    const auto broadcast = TimeBroadcastData(now);
    // The broadcast is not answered; its outcome says nothing.
    WriteData645(link, kBroadcastAddress, 0x08, uint8_t(broadcast.size()), broadcast);
    progress.Step();
    const Dlt645Address target = Dlt645ModuleAddress(address);
    for (const auto& data : frames) {
        if (!WriteData645(link, target, control, uint8_t(data.size()), data)) return false;
        progress.Step();
    }
    progress.Step();
    progress.Wait(10);
    return true;
}

} // namespace

bool UserDownload1997(Link& link, uint8_t address, const UserParameters& p, const QDateTime& now,
                      DownloadProgress& progress) {
    std::vector<std::vector<uint8_t>> frames;
    for (const auto& item : UserItems1997(p))
        frames.push_back(WriteData1997(item));
    return Download645(link, address, frames, 0x04, now, progress);
}

bool UserDownload2007(Link& link, uint8_t address, const UserParameters& p, const QDateTime& now,
                      DownloadProgress& progress) {
    std::vector<std::vector<uint8_t>> frames;
    for (const auto& item : UserItems2007(p))
        frames.push_back(WriteData2007(item));
    return Download645(link, address, frames, 0x14, now, progress);
}

std::vector<uint8_t> EnergyBaseData(int value) {
    const uint32_t v = static_cast<uint32_t>(value);
    return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

bool SetEnergyBase(Link& link, uint8_t address, int value) {
    return YaaoCommand(link, address, 6, EnergyBaseData(value));
}

bool YaaoRead(Link& link, uint8_t address, uint8_t command, QStringList& lines) {
    YaaoRecord record;
    if (!YaaoQuery(link, address, command, record)) return false;
    lines.clear();
    switch (command) {
    case 4:
        lines << QCoreApplication::translate("UserPage", "产品地址为：");
        break;
    case 9:
        lines << QCoreApplication::translate("UserPage", "标定数据为：");
        break;
    default:
        lines << QCoreApplication::translate("UserPage", "原始数据为：");
        break;
    }
    for (uint8_t b : record.bytes)
        lines << QString::fromStdString(HexByteText(b));
    return true;
}

ClearResult ClearEnergy(Link& link, int protocol, uint8_t address) {
    bool ok = false;
    switch (protocol) {
    case 0:
        ok = WriteRegister(link, address, kClearEnergyRegister, kCommandWord);
        break;
    case 1:
        ok = ClearEnergy1997(link, Dlt645ModuleAddress(address), 0x04, 2);
        break;
    case 2:
        ok = ClearCommand2007(link, Dlt645ModuleAddress(address), 0x1A, 8,
                              std::vector<uint8_t>(8, 0));
        break;
    case 3:
        ok = YaaoCommand(link, address, 7, {0xAA, 0x55});
        break;
    case 4:
        ok = DatangClearEnergy(link, address);
        break;
    default:
        return ClearResult::NotSent;
    }
    return ok ? ClearResult::Done : ClearResult::Failed;
}

ClearResult ClearDemand(Link& link, int protocol, uint8_t address) {
    bool ok = false;
    switch (protocol) {
    case 0:
        ok = WriteRegister(link, address, kClearDemandRegister, kCommandWord);
        break;
    case 1:
        ok = ClearDemand1997(link, Dlt645ModuleAddress(address), 0x10, 0);
        break;
    case 2:
        ok = ClearCommand2007(link, Dlt645ModuleAddress(address), 0x19, 8,
                              std::vector<uint8_t>(8, 0));
        break;
    case 3:
        ok = YaaoCommand(link, address, 0x12, {0xAA, 0x55});
        break;
    default: // 大唐 has no demand to clear
        return ClearResult::NotSent;
    }
    return ok ? ClearResult::Done : ClearResult::Failed;
}

UserParameters DefaultUserParameters() {
    // The schedule and the limits as on the calibration page; the pulse constant and the
    // threshold are the user page's own.
    const ConfigurationFields c = DefaultConfigurationFields();
    UserParameters p;
    p.segments = c.segments;
    p.readingDay = c.readingDay;
    p.readingHour = c.readingHour;
    p.tariffs = c.tariffs;
    p.segmentCount = c.segmentCount;
    p.pulseConstant = 3200;
    p.startCurrent = c.startCurrent;
    p.pt = c.pt;
    p.ct = c.ct;
    p.overVoltage = c.overVoltage;
    p.underVoltage = c.underVoltage;
    p.phaseBreak = c.phaseBreak;
    p.threshold = 10;
    return p;
}

bool SetUserField(UserParameters& p, int protocol, const QString& name, const QString& text,
                  QString& error) {
    const FieldRanges& r = UserFieldRanges(protocol);
    // The lists of the page, by their number of choices.
    constexpr FieldRange kPulseModes{0, 1}, kHarmonic{0, 1}, kWiring{0, 2}, kCtCounts{0, 1},
        kLowBaud{0, 1}, kDemand{0, 1};
    try {
        if (SetSegmentField(p.segments, r, name, text)) return true;
        const struct {
            const char* name;
            int* field;
            FieldRange range;
        } fields[] = {{"抄表(日)", &p.readingDay, r.readingDay},
                      {"抄表(时)", &p.readingHour, r.readingHour},
                      {"费率数", &p.tariffs, r.tariffs},
                      {"时段数", &p.segmentCount, r.segmentCount},
                      {"脉冲输出方式", &p.pulseMode, kPulseModes},
                      {"脉冲常数", &p.pulseConstant, r.pulseConstant},
                      {"启动电流", &p.startCurrent, r.startCurrent},
                      {"谐波计算方式", &p.harmonic, kHarmonic},
                      {"接线模式", &p.wiring, kWiring},
                      {"电压变比PT", &p.pt, r.pt},
                      {"电流变比CT", &p.ct, r.ct},
                      {"CT个数", &p.ctCount, kCtCounts},
                      {"低通讯波特率使能", &p.lowBaudIndex, kLowBaud},
                      {"过压限值", &p.overVoltage, r.limit},
                      {"欠压限值", &p.underVoltage, r.limit},
                      {"计算需量方式", &p.demandMethod, kDemand},
                      {"断相限值", &p.phaseBreak, r.limit},
                      {"过欠压/断相阈值", &p.threshold, r.limit}};
        for (const auto& f : fields)
            if (name == QString::fromUtf8(f.name))
                return *f.field = FieldToInt(name, text, f.range), true;
    } catch (const ConversionError& e) {
        error = e.text();
        return false;
    }
    error = QStringLiteral("unknown field %1").arg(name);
    return false;
}
