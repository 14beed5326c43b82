#include "module.h"

#include <QFile>
#include <QSaveFile>
#include <QTextStream>
#include <algorithm>
#include <stdexcept>

using simframe::Bytes;
using namespace simreg;

namespace {

// Registers a flash commit keeps: user configuration (not the running clock), the calibration
// configuration, the output-parameter list and the three calibration segments.
constexpr std::pair<int, int> kFlashRanges[] = {{260, 303},
                                                {kCalibration, kCalibrationEnd},
                                                {kOutputList, kOutputList + kOutputListMax},
                                                {12000, 12299}};

uint16_t be16(std::span<const uint8_t> b, size_t at) {
    return uint16_t(b[at] << 8 | b[at + 1]);
}

void putBe16(Bytes& out, uint16_t v) {
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v & 0xFF));
}

} // namespace

Module::Module(const ModuleConfig& config)
    : config_(config), address_(config.address), baudIndex_(config.baudIndex),
      measurement_(std::make_unique<Measurement>(config.dataDir)) {
    regs_.set(kFrameFormat, 3);
    regs_.set(kProtocol, 0);
    loadState();
    if (config.protocol) regs_.set(kProtocol, uint16_t(*config.protocol));
    if (config.frameFormat) regs_.set(kFrameFormat, uint16_t(*config.frameFormat));
}

Module::~Module() = default;

int Module::baudOfIndex(int index) {
    static constexpr int kBauds[] = {1200, 2400, 4800, 9600, 19200, 38400};
    return index >= 0 && index < 6 ? kBauds[index] : 0;
}

void Module::stick(int address, uint16_t value) {
    stuck_[uint16_t(address)] = value;
    regs_.set(address, value);
}

bool Module::setBaudIndex(int index) {
    if (baudOfIndex(index) == 0) return false;
    baudIndex_ = index;
    return true;
}

bool Module::inPowerWindow(double now) const {
    return powerOnAt_ && now >= *powerOnAt_ && now < *powerOnAt_ + config_.powerWindowS;
}

int Module::activeProtocol(double now) const {
    return inPowerWindow(now) ? 0 : regs_.get(kProtocol);
}

int Module::activeBaud(double now) const {
    return inPowerWindow(now) ? 9600 : baudOfIndex(baudIndex_);
}

int Module::activeFrameFormat(double now) const {
    return inPowerWindow(now) ? 3 : regs_.get(kFrameFormat);
}

int Module::bitsPerChar(double now) const {
    switch (activeFrameFormat(now)) {
    case 0:
        return 11; // start, 8 data, 2 stop
    case 1:
    case 2:
        return 11; // start, 8 data, parity, stop
    default:
        return 10;
    }
}

bool Module::lineMatches(const ModuleLineSettings& line, double now) const {
    if (line.baud != activeBaud(now)) return false;
    const int format = activeFrameFormat(now);
    // 0 N,2S  1 O,1S  2 E,1S  3 N,1S
    const int parity = format == 1 ? 1 : format == 2 ? 2 : 0;
    const int moduleStopBits = format == 0 ? 2 : 1;
    if (line.parity < 0) return moduleStopBits == 1 || line.stopBits == 2;
    // A module that checks parity hears only its own; one that does not takes the host's parity
    // bit where it looks for a stop bit, so what follows the data must be at least as long.
    if (parity != 0 && line.parity != parity) return false;
    const int hostTail = (line.parity != 0 ? 1 : 0) + line.stopBits;
    const int moduleTail = (parity != 0 ? 1 : 0) + moduleStopBits;
    return hostTail >= moduleTail;
}

void Module::advanceTo(double now) {
    if (lastAdvance_ && now > *lastAdvance_) measurement_->advance(now - *lastAdvance_, regs_);
    if (!lastAdvance_ || now > *lastAdvance_) lastAdvance_ = now;
}

uint16_t Module::outputValue(int address) const {
    const int listed = std::min<int>(regs_.get(kOutputList), kOutputListMax);
    if (address >= 0 && address < listed) return regs_.get(regs_.get(kOutputList + 1 + address));
    return regs_.get(address);
}

std::vector<uint16_t> Module::readView(int address, int count) {
    measurement_->refresh(regs_);
    std::vector<uint16_t> values;
    values.reserve(size_t(std::max(count, 0)));
    for (int i = 0; i < count; ++i)
        values.push_back(outputValue(address + i));
    return values;
}

std::vector<uint16_t> Module::outputWords(int maxWords) {
    const int listed = std::min<int>({regs_.get(kOutputList), kOutputListMax, maxWords});
    return readView(0, listed);
}

bool Module::writeRegisters(int address, std::span<const uint16_t> values) {
    if (address < 0 || address + int(values.size()) > 65536) return false;
    for (size_t i = 0; i < values.size(); ++i) {
        const int reg = address + int(i);
        if ((reg == kFrameFormat && values[i] > 3) || (reg == kProtocol && values[i] > 4))
            return false;
    }
    bool commit = false;
    for (size_t i = 0; i < values.size(); ++i) {
        const int reg = address + int(i);
        const uint16_t v = values[i];
        if (reg == kClearEnergy || reg == kClearDemand) {
            // Command registers: they act, they do not keep the word.
            if (v == kCommand)
                reg == kClearEnergy ? measurement_->clearEnergy() : measurement_->clearDemand();
            continue;
        }
        if (stuck_.count(uint16_t(reg))) continue;
        regs_.set(reg, v);
        if (reg == kFlashCommand && v == kCommand) commit = true;
    }
    if (commit) saveState();
    return true;
}

bool Module::saveState() const {
    if (config_.statePath.isEmpty()) return false;
    QSaveFile file(config_.statePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) return false;
    QTextStream out(&file);
    out << "# kx7410-sim flash image: register value\n";
    for (auto [first, last] : kFlashRanges)
        for (int r = first; r <= last; ++r)
            if (regs_.get(r) != 0 || r == kFrameFormat || r == kProtocol)
                out << r << ' ' << regs_.get(r) << '\n';
    out.flush();
    return file.commit();
}

void Module::loadState() {
    if (config_.statePath.isEmpty() || !QFile::exists(config_.statePath)) return;
    QFile file(config_.statePath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        throw std::runtime_error("cannot read state file " + config_.statePath.toStdString());
    int lineNo = 0;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        ++lineNo;
        if (line.isEmpty() || line.startsWith('#')) continue;
        const QStringList parts = line.split(' ', Qt::SkipEmptyParts);
        bool okA = false, okV = false;
        const int reg = parts.size() == 2 ? parts[0].toInt(&okA) : -1;
        const uint v = parts.size() == 2 ? parts[1].toUInt(&okV) : 0;
        const bool inFlash =
            std::any_of(std::begin(kFlashRanges), std::end(kFlashRanges),
                        [reg](auto r) { return reg >= r.first && reg <= r.second; });
        if (!okA || !okV || v > 0xFFFF || !inFlash || (reg == kFrameFormat && v > 3) ||
            (reg == kProtocol && v > 4))
            throw std::runtime_error(QString("state file %1, line %2: not a flash register value")
                                         .arg(config_.statePath)
                                         .arg(lineNo)
                                         .toStdString());
        regs_.set(reg, uint16_t(v));
    }
}

int Module::replyAddress() const {
    return misbehaviour_.wrongAddress ? address_ % 255 + 1 : address_;
}

std::optional<Module::Reply> Module::handle(std::span<const uint8_t> request,
                                            const ModuleLineSettings& line, double now) {
    advanceTo(now);
    ++requests_;
    lastRequest_.assign(request.begin(), request.end());
    if (!lineMatches(line, now) || misbehaviour_.silent) return std::nullopt;
    const int protocol = activeProtocol(now);
    std::optional<Bytes> reply;
    bool broadcast = false;
    switch (protocol) {
    case 0:
        reply = handleModbus(request, &broadcast);
        break;
    case 1:
    case 2:
        reply = handleDlt645(request, protocol == 2);
        break;
    case 3:
        reply = handleYaao(request);
        break;
    case 4:
        reply = handleDatang(request);
        break;
    default:
        break;
    }
    if (!reply || broadcast) return std::nullopt;
    misbehave(*reply, protocol);
    ++replies_;
    return Reply{std::move(*reply), misbehaviour_.late ? config_.lateMs : 0};
}

void Module::misbehave(Bytes& reply, int protocol) const {
    if (reply.empty()) return;
    if (misbehaviour_.badChecksum) {
        // The byte that carries the checksum: the CRC's high byte, the sum before 0x16 / 0xAA,
        // the last byte of 大唐.
        const size_t at = (protocol == 0 || protocol == 4) ? reply.size() - 1 : reply.size() - 2;
        reply[at] ^= 0x5A;
    }
    if (misbehaviour_.fePrefix) reply.insert(reply.begin(), 4, 0xFE);
    if (misbehaviour_.shortReply) reply.resize(std::max<size_t>(1, reply.size() / 2));
}

// ---- Modbus RTU ----------------------------------------------------------------------------

std::optional<Bytes> Module::handleModbus(std::span<const uint8_t> req, bool* broadcast) {
    if (req.size() < 4) return std::nullopt;
    const uint8_t fc = req[1];
    size_t length = req.size();
    switch (fc) {
    case 0x03:
    case 0x06:
    case 0x30:
    case 0x33:
        length = 8;
        break;
    case 0x10:
    case 0x40:
        if (req.size() < 7) return std::nullopt;
        length = 9 + 2 * size_t(be16(req, 4));
        break;
    default:
        break;
    }
    if (req.size() < length) return std::nullopt;
    const auto frame = req.first(length);
    if (!simframe::crcOk(frame)) return std::nullopt;
    if (frame[0] != address_ && frame[0] != 0) return std::nullopt;
    *broadcast = frame[0] == 0;

    const uint8_t addr = uint8_t(replyAddress());
    auto exception = [&](uint8_t code) {
        Bytes out{addr, uint8_t(fc | 0x80), code};
        simframe::appendCrc(out);
        return out;
    };
    switch (fc) {
    case 0x03:
    case 0x30:
    case 0x33: {
        const int start = be16(frame, 2), count = be16(frame, 4);
        // Up to 127 registers: the host reads blocks of that size, beyond standard Modbus.
        if (count < 1 || count > 127) return exception(0x03);
        if (start + count > 65536) return exception(0x02);
        Bytes out{addr, fc, uint8_t(2 * count)};
        for (uint16_t v : readView(start, count))
            putBe16(out, v);
        simframe::appendCrc(out);
        return out;
    }
    case 0x06: {
        const uint16_t value = be16(frame, 4);
        if (!writeRegisters(be16(frame, 2), std::span(&value, 1))) return exception(0x03);
        Bytes out(frame.begin(), frame.begin() + 6);
        out[0] = addr;
        simframe::appendCrc(out);
        return out;
    }
    case 0x10:
    case 0x40: {
        const int start = be16(frame, 2), count = be16(frame, 4);
        // 0x10 is standard (up to 123 registers, byte count 2n); the module's own 0x40 carries up
        // to 495 registers and only the low eight bits of 2n in its byte count.
        const int maxCount = fc == 0x10 ? 123 : 495;
        if (count < 1 || count > maxCount || frame[6] != uint8_t(2 * count)) return exception(0x03);
        std::vector<uint16_t> values;
        for (int i = 0; i < count; ++i)
            values.push_back(be16(frame, 7 + 2 * size_t(i)));
        if (start + count > 65536) return exception(0x02);
        if (!writeRegisters(start, values)) return exception(0x03);
        Bytes out(frame.begin(), frame.begin() + 6);
        out[0] = addr;
        simframe::appendCrc(out);
        return out;
    }
    default:
        return exception(0x01);
    }
}

// ---- DL/T 645 -------------------------------------------------------------------------------

namespace {

enum class Item {
    None,
    Segment,
    AllSegments,
    Tariffs,
    Segments,
    ReadingDayHour,
    PulseMode,
    PulseConstant,
    StartCurrent,
    Wiring,
    Pt,
    Ct,
    CtCount,
    Harmonic,
    LowBaud,
    OverVoltage,
    UnderVoltage,
    PhaseBreak,
    Threshold,
    DemandMethod
};

struct ItemRef {
    Item item = Item::None;
    int segment = 0; // 1..12 for Item::Segment
};

ItemRef item1997(uint32_t di) {
    if (di >= 0xC331 && di <= 0xC33C) return {Item::Segment, int(di - 0xC331) + 1};
    switch (di) {
    case 0xC313:
        return {Item::Tariffs};
    case 0xC312:
        return {Item::Segments};
    case 0xC117:
        return {Item::ReadingDayHour};
    case 0xC213:
        return {Item::PulseMode};
    case 0xC030:
    case 0xC031:
        return {Item::PulseConstant};
    case 0xC214:
        return {Item::StartCurrent};
    case 0xC215:
        return {Item::Wiring};
    case 0xC216:
        return {Item::Pt};
    case 0xC217:
        return {Item::Ct};
    case 0xC218:
        return {Item::CtCount};
    case 0xC219:
        return {Item::Harmonic};
    case 0xC21A:
        return {Item::LowBaud};
    case 0xC21B:
        return {Item::OverVoltage};
    case 0xC21C:
        return {Item::UnderVoltage};
    case 0xC21D:
        return {Item::PhaseBreak};
    case 0xC21E:
        return {Item::Threshold};
    case 0xC21F:
        return {Item::DemandMethod};
    default:
        return {};
    }
}

ItemRef item2007(uint32_t di) {
    switch (di) {
    case 0x04010001:
        return {Item::AllSegments};
    case 0x04000204:
        return {Item::Tariffs};
    case 0x04000203:
        return {Item::Segments};
    case 0x04000108:
        return {Item::ReadingDayHour};
    case 0x04000109:
        return {Item::PulseMode};
    case 0x04000409:
    case 0x0400040A:
        return {Item::PulseConstant};
    case 0x0400040E:
        return {Item::StartCurrent};
    case 0x0400040F:
        return {Item::Wiring};
    case 0x04000F01:
        return {Item::Pt};
    case 0x04000F02:
        return {Item::Ct};
    case 0x04000F03:
        return {Item::CtCount};
    case 0x04000F04:
        return {Item::Harmonic};
    case 0x04000F05:
        return {Item::LowBaud};
    case 0x04000E03:
        return {Item::OverVoltage};
    case 0x04000E04:
        return {Item::UnderVoltage};
    case 0x04000E05:
        return {Item::PhaseBreak};
    case 0x04000E06:
        return {Item::Threshold};
    case 0x04000E07:
        return {Item::DemandMethod};
    default:
        return {};
    }
}

// Registers of time segment n (1..12): start hour<<8 | minute, then the tariff number.
int segmentRegister(int n) {
    return n <= 4 ? 260 + 2 * (n - 1) : 288 + 2 * (n - 5);
}

} // namespace

bool Module::write645Item(uint32_t di, std::span<const uint8_t> value, bool edition2007) {
    const ItemRef ref = edition2007 ? item2007(di) : item1997(di);
    if (ref.item == Item::None) return false;
    if (!std::all_of(value.begin(), value.end(), simframe::isBcd)) return false;
    auto bcd = [&](size_t i) { return uint16_t(simframe::fromBcd(value[i])); };
    auto put = [&](int reg, uint16_t v) { return writeRegisters(reg, std::span(&v, 1)); };
    auto segment = [&](int n, size_t at) {
        // Tariff, minute, hour.
        const uint16_t words[2] = {uint16_t(bcd(at + 2) << 8 | bcd(at + 1)), bcd(at)};
        return writeRegisters(segmentRegister(n), words);
    };
    // Two-byte values travel low pair first.
    const bool twoBytes = value.size() == 2;
    const uint16_t pair = twoBytes ? uint16_t(bcd(0) + 100 * bcd(1)) : 0;
    switch (ref.item) {
    case Item::Segment:
        return value.size() == 3 && segment(ref.segment, 0);
    case Item::AllSegments:
        if (value.size() != 36) return false;
        for (int n = 1; n <= 12; ++n)
            segment(n, size_t(3 * (n - 1)));
        return true;
    case Item::Tariffs:
        return value.size() == 1 && put(286, bcd(0));
    case Item::Segments:
        return value.size() == 1 && put(287, bcd(0));
    case Item::ReadingDayHour: // hour, day
        return twoBytes && put(268, uint16_t(bcd(1) << 8 | bcd(0)));
    case Item::PulseConstant: // most significant pair first
        return value.size() == 3 && put(271, uint16_t(bcd(0) * 10000 + bcd(1) * 100 + bcd(2)));
    case Item::PulseMode:
        return twoBytes && put(270, pair);
    case Item::StartCurrent:
        return twoBytes && put(272, pair);
    case Item::Wiring:
        return twoBytes && put(273, pair);
    case Item::Pt:
        return twoBytes && put(274, pair);
    case Item::Ct:
        return twoBytes && put(275, pair);
    case Item::CtCount:
        return twoBytes && put(276, pair);
    case Item::Harmonic:
        return twoBytes && put(277, pair);
    case Item::LowBaud:
        return twoBytes && put(278, pair ? kCommand : 0);
    case Item::OverVoltage:
        return twoBytes && put(279, uint16_t(pair * 10));
    case Item::UnderVoltage:
        return twoBytes && put(280, uint16_t(pair * 10));
    case Item::PhaseBreak:
        return twoBytes && put(281, uint16_t(pair * 10));
    case Item::Threshold:
        return twoBytes && put(282, uint16_t(pair * 10));
    case Item::DemandMethod:
        return twoBytes && put(283, pair);
    case Item::None:
        break;
    }
    return false;
}

void Module::setClockFromBcd(std::span<const uint8_t> t) {
    // second, minute, hour, day, month, year - 2000
    const uint16_t words[3] = {uint16_t(simframe::fromBcd(t[5]) << 8 | simframe::fromBcd(t[4])),
                               uint16_t(simframe::fromBcd(t[3]) << 8 | simframe::fromBcd(t[2])),
                               uint16_t(simframe::fromBcd(t[1]) << 8 | simframe::fromBcd(t[0]))};
    writeRegisters(kClock, words);
}

std::optional<Bytes> Module::handleDlt645(std::span<const uint8_t> req, bool edition2007) {
    size_t skip = 0;
    while (skip < req.size() && req[skip] == 0xFE) // wake-up bytes some masters send
        ++skip;
    const auto f = req.subspan(skip);
    if (f.size() < 12 || f[0] != 0x68 || f[7] != 0x68) return std::nullopt;
    const size_t len = f[9];
    if (f.size() < 12 + len || f[10 + len] != simframe::sum8(f.first(10 + len)) ||
        f[11 + len] != 0x16)
        return std::nullopt;
    const auto a = f.subspan(1, 6);
    const bool broadcast = std::all_of(a.begin(), a.end(), [](uint8_t b) { return b == 0x99; });
    const bool mine = a[0] == simframe::toBcd(unsigned(address_)) &&
                      std::all_of(a.begin() + 1, a.end(), [](uint8_t b) { return b == 0; });
    if (!broadcast && !mine) return std::nullopt;
    const uint8_t c = f[8];
    Bytes data;
    for (size_t i = 0; i < len; ++i)
        data.push_back(uint8_t(f[10 + i] - 0x33));

    if (c == 0x08) { // time broadcast: second, minute, hour, day, month, year; never answered
        if (len == 6 && std::all_of(data.begin(), data.end(), simframe::isBcd))
            setClockFromBcd(data);
        return std::nullopt;
    }
    if (broadcast) return std::nullopt;

    auto reply = [&](uint8_t code, const Bytes& payload) {
        Bytes out{0x68, simframe::toBcd(unsigned(replyAddress())),
                  0,    0,
                  0,    0,
                  0,    0x68,
                  code, uint8_t(payload.size())};
        for (uint8_t b : payload)
            out.push_back(uint8_t(b + 0x33));
        out.push_back(simframe::sum8(out));
        out.push_back(0x16);
        return out;
    };
    auto error = [&](uint8_t code) { return reply(uint8_t(c | 0xC0), Bytes{code}); };
    constexpr uint8_t kOther = 0x01, kNoData = 0x02;

    if (!edition2007) {
        switch (c) {
        case 0x01: {
            if (len < 2) return error(kOther);
            measurement_->refresh(regs_);
            const auto value = measurement_->read1997(uint16_t(data[1] << 8 | data[0]), regs_);
            if (!value) return error(kNoData);
            Bytes payload{data[0], data[1]};
            payload.insert(payload.end(), value->begin(), value->end());
            return reply(0x81, payload);
        }
        case 0x04: {
            if (len < 2) return error(kOther);
            const uint32_t di = uint32_t(data[1] << 8 | data[0]);
            if (di == 0xB2C3 && len == 2) { // clear energy
                measurement_->clearEnergy();
                return reply(0x84, {});
            }
            if (!write645Item(di, std::span(data).subspan(2), false)) return error(kNoData);
            return reply(0x84, {});
        }
        case 0x10:
            measurement_->clearDemand();
            return reply(0x90, {});
        default:
            return error(kOther);
        }
    }
    auto di32 = [&] {
        return uint32_t(data[3]) << 24 | uint32_t(data[2]) << 16 | uint32_t(data[1]) << 8 | data[0];
    };
    switch (c) {
    case 0x11: {
        if (len < 4) return error(kOther);
        measurement_->refresh(regs_);
        const auto value = measurement_->read2007(di32(), regs_);
        if (!value) return error(kNoData);
        Bytes payload(data.begin(), data.begin() + 4);
        payload.insert(payload.end(), value->begin(), value->end());
        return reply(0x91, payload);
    }
    case 0x14: // identifier, password, operator code, value
        if (len < 12 || !write645Item(di32(), std::span(data).subspan(12), true))
            return error(kNoData);
        return reply(0x94, {});
    case 0x1A:
        measurement_->clearEnergy();
        return reply(0x9A, {});
    case 0x19:
        measurement_->clearDemand();
        return reply(0x99, {});
    default:
        return error(kOther);
    }
}

// ---- 亚奥 -----------------------------------------------------------------------------------

std::optional<Bytes> Module::handleYaao(std::span<const uint8_t> req) {
    if (req.size() < 5 || req[0] != 0x55) return std::nullopt;
    const size_t len = req[2];
    if (len < 1 || req.size() < len + 5 || req[1] != address_) return std::nullopt;
    if (req[3 + len] != simframe::sum8(req.subspan(3, len)) || req[4 + len] != 0xAA)
        return std::nullopt;
    const uint8_t cmd = req[3];
    const auto data = req.subspan(4, len - 1);
    auto reply = [&](const Bytes& payload) {
        Bytes out{0x55, uint8_t(replyAddress()), uint8_t(payload.size() + 1), cmd};
        out.insert(out.end(), payload.begin(), payload.end());
        out.push_back(simframe::sum8(std::span(out).subspan(3)));
        out.push_back(0xAA);
        return out;
    };
    auto words = [](const std::vector<uint16_t>& values) {
        Bytes out;
        for (uint16_t v : values)
            putBe16(out, v);
        return out;
    };
    const bool aa55 = data.size() == 2 && data[0] == 0xAA && data[1] == 0x55;
    switch (cmd) {
    case 0x01: // the length byte limits the poll to 127 words
        return reply(words(outputWords(127)));
    case 0x04:
        return reply(Bytes{uint8_t(address_)});
    case 0x06:
        if (data.size() != 4) return std::nullopt;
        measurement_->setEnergyBase(uint32_t(data[0]) << 24 | uint32_t(data[1]) << 16 |
                                    uint32_t(data[2]) << 8 | data[3]);
        return reply({});
    case 0x07:
        if (!aa55) return std::nullopt;
        measurement_->clearEnergy();
        return reply({});
    case 0x09:
        return reply(words(readView(kCalibration, kCalibrationEnd - kCalibration + 1)));
    case 0x11:
        return reply(words(readView(kRawSamples, 12)));
    case 0x12:
        if (!aa55) return std::nullopt;
        measurement_->clearDemand();
        return reply({});
    default:
        return std::nullopt;
    }
}

// ---- 大唐 -----------------------------------------------------------------------------------

std::optional<Bytes> Module::handleDatang(std::span<const uint8_t> req) {
    if (req.size() < 8 || req[0] != 0x7E || req[1] != 0x0A || req[2] != address_)
        return std::nullopt;
    if (req[7] != simframe::negatedSum8(req.subspan(1, 6))) return std::nullopt;
    const uint8_t addr = uint8_t(replyAddress());
    Bytes out;
    switch (req[3]) {
    case 0x30: {
        const auto values = outputWords(kOutputListMax);
        const size_t count = 2 * values.size();
        out = {0x7E, 0x0A, addr, 0x30, uint8_t(count & 0xFF), uint8_t(count >> 8), 0xFF};
        for (uint16_t v : values) { // low byte first
            out.push_back(uint8_t(v & 0xFF));
            out.push_back(uint8_t(v >> 8));
        }
        break;
    }
    case 0x31:
        measurement_->clearEnergy();
        out = {0x7E, 0x0A, addr, 0x31, 0x02, 0x00, 0xFF};
        break;
    default:
        return std::nullopt;
    }
    out.push_back(simframe::negatedSum8(std::span(out).subspan(1)));
    return out;
}

// ---- framing ----------------------------------------------------------------------------------

bool Module::frameComplete(std::span<const uint8_t> b, double now) const {
    switch (activeProtocol(now)) {
    case 0:
        if (b.size() < 2) return false;
        switch (b[1]) {
        case 0x03:
        case 0x06:
        case 0x30:
        case 0x33:
            return b.size() >= 8;
        case 0x10:
        case 0x40:
            return b.size() >= 7 && b.size() >= 9 + 2 * size_t(be16(b, 4));
        default:
            return false; // unknown code: the quiet line ends the frame
        }
    case 1:
    case 2: {
        size_t skip = 0;
        while (skip < b.size() && b[skip] == 0xFE)
            ++skip;
        return b.size() >= skip + 10 && b[skip] == 0x68 && b.size() >= skip + 12 + b[skip + 9];
    }
    case 3:
        return b.size() >= 3 && b.size() >= size_t(b[2]) + 5;
    case 4:
        return b.size() >= 8;
    default:
        return false;
    }
}
