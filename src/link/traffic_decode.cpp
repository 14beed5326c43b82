// The judging and decoding of exchanges for the traffic monitor. Plain C++ (no Qt) so that the fuzz
// target compiles it alone; every function takes any bytes at all and reads only what is there.

#include "link/dlt645_frames.h"
#include "link/modbus_frames.h"
#include "link/traffic.h"
#include "link/yaao_datang_frames.h"

#include <algorithm>
#include <string_view>

namespace {

using Bytes = std::span<const uint8_t>;

constexpr char kHexDigits[] = "0123456789ABCDEF";

// A line names at most this many data bytes; a poll reply of 127 words would fill the screen,
// and the hexadecimal column shows every byte anyway.
constexpr std::size_t kShownDataBytes = 32;

void AppendHexByte(std::string& out, uint8_t value) {
    out += kHexDigits[value >> 4];
    out += kHexDigits[value & 0x0F];
}

std::string HexByte(uint8_t value) {
    std::string out;
    AppendHexByte(out, value);
    return out;
}

std::string HexWord(uint16_t value) {
    std::string out;
    AppendHexByte(out, static_cast<uint8_t>(value >> 8));
    AppendHexByte(out, static_cast<uint8_t>(value & 0xFF));
    return out;
}

// "名称 值", separated from what came before by a blank.
void Field(std::string& out, std::string_view name, std::string_view value = {}) {
    if (!out.empty()) out += ' ';
    out += name;
    if (!value.empty()) {
        out += ' ';
        out += value;
    }
}

void Field(std::string& out, std::string_view name, std::size_t value) {
    Field(out, name, std::to_string(value));
}

// The data bytes, each less offset (DL/T 645 sends data plus 0x33), as hexadecimal.
std::string DataText(Bytes data, uint8_t offset = 0) {
    std::string out;
    const std::size_t shown = std::min(data.size(), kShownDataBytes);
    out.reserve(3 * shown + 16);
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0) out += ' ';
        AppendHexByte(out, static_cast<uint8_t>(data[i] - offset));
    }
    if (shown < data.size()) out += " … 共 " + std::to_string(data.size()) + " 字节";
    return out;
}

// "不完整 5/8 字节" when the frame's length is known, "不完整" otherwise.
void Incomplete(std::string& out, std::size_t received, std::size_t expected) {
    if (expected > received)
        Field(out, "不完整", std::to_string(received) + "/" + std::to_string(expected) + " 字节");
    else
        Field(out, "不完整");
}

void Surplus(std::string& out, std::size_t received, std::size_t expected) {
    if (expected > 0 && received > expected)
        Field(out, "多余", std::to_string(received - expected) + " 字节");
}

uint8_t Sum8(Bytes bytes) {
    unsigned sum = 0;
    for (uint8_t b : bytes)
        sum += b;
    return static_cast<uint8_t>(sum);
}

// ---- Modbus RTU ---------------------------------------------------------------------------

constexpr std::size_t kModbusMinimum = 5; // address, function, exception code or byte count, CRC

bool IsModbusRead(uint8_t function) {
    return function == kFcReadRegisters || function == kFcReadRawSamples ||
           function == kFcReadCalibration;
}

bool IsModbusWriteBlock(uint8_t function) {
    return function == kFcWriteRegisters || function == kFcWriteCalibration;
}

// The length a request announces; 0 while it cannot tell. A 0x40 block may exceed 127 registers,
// whose byte-count field then wraps, so the register count gives the length.
std::size_t ModbusRequestLength(Bytes b) {
    if (b.size() < 2) return 0;
    if (IsModbusRead(b[1]) || b[1] == kFcWriteRegister) return 8;
    if (IsModbusWriteBlock(b[1])) return b.size() < 6 ? 0 : 9 + 2 * std::size_t(b[4] << 8 | b[5]);
    return 0;
}

const char* ModbusExceptionName(uint8_t code) {
    switch (code) {
    case 0x01:
        return "非法功能";
    case 0x02:
        return "非法数据地址";
    case 0x03:
        return "非法数据值";
    case 0x04:
        return "从站设备故障";
    default:
        return nullptr;
    }
}

ExchangeOutcome ClassifyModbus(Bytes request, Bytes reply, std::size_t knownLength) {
    if (reply.size() < kModbusMinimum) return ExchangeOutcome::Short;
    std::size_t expected = CompleteReplyLength(WireProtocol::Modbus, reply, knownLength);
    if (expected == 0) expected = knownLength; // a function code whose framing we do not know
    if (expected > reply.size()) return ExchangeOutcome::Short;
    // The transactions take the last two bytes for the CRC, so bytes after the announced frame
    // spoil the reply: a bad checksum, even a trailing 00, which a CRC over every byte would pass
    // (a frame plus the low byte of its CRC has the high byte for its CRC).
    if (expected > 0 && reply.size() > expected) return ExchangeOutcome::BadChecksum;
    if (!CrcMatches(reply)) return ExchangeOutcome::BadChecksum;
    if (!request.empty() && reply[0] != request[0]) return ExchangeOutcome::WrongAddress;
    if (IsExceptionReply(reply)) return ExchangeOutcome::Exception;
    return ExchangeOutcome::Answered;
}

std::string DecodeModbus(bool isRequest, Bytes b) {
    std::string out;
    Field(out, "地址", b[0]);
    if (b.size() < 2) {
        Incomplete(out, b.size(), 0);
        return out;
    }
    const uint8_t function = b[1];
    Field(out, "功能", HexByte(function));
    const auto has = [&](std::size_t n) { return b.size() >= n; };
    const auto word = [&](std::size_t at) { return static_cast<uint16_t>(b[at] << 8 | b[at + 1]); };

    if (function & 0x80) {
        if (has(3)) {
            Field(out, "异常码", HexByte(b[2]));
            if (const char* name = ModbusExceptionName(b[2])) Field(out, name);
        }
    } else if (IsModbusRead(function)) {
        if (isRequest) {
            if (has(4)) Field(out, "起始", word(2));
            if (has(6)) Field(out, "数量", word(4));
        } else if (has(3)) {
            Field(out, "字节数", b[2]);
        }
    } else if (function == kFcWriteRegister) {
        if (has(4)) Field(out, "寄存器", word(2));
        if (has(6)) Field(out, "值", std::to_string(word(4)) + " (0x" + HexWord(word(4)) + ")");
    } else if (IsModbusWriteBlock(function)) {
        if (has(4)) Field(out, "起始", word(2));
        if (has(6)) Field(out, "数量", word(4));
        if (isRequest && has(7)) Field(out, "字节数", b[6]);
    }

    const std::size_t expected =
        isRequest ? ModbusRequestLength(b) : CompleteReplyLength(WireProtocol::Modbus, b);
    if (b.size() < std::max(expected, std::size_t{4})) {
        Incomplete(out, b.size(), expected);
        return out;
    }
    const Bytes frame = expected > 0 ? b.first(expected) : b;
    Field(out, "CRC", CrcMatches(frame) ? "正确" : "错误");
    Surplus(out, b.size(), expected);
    return out;
}

// ---- DL/T 645 -----------------------------------------------------------------------------

constexpr std::size_t kDlt645Minimum = 12; // 68 A0..A5 68 C L CS 16

struct Dlt645Header {
    enum Kind { Found, Truncated, Missing } kind = Missing;
    std::size_t start = 0;
};

// The first 68 .. 68 header, after FE preamble bytes or whatever else came first; the same rule
// as the framing that ends a read.
Dlt645Header FindDlt645Header(Bytes b) {
    for (std::size_t start = 0; start < b.size(); ++start) {
        if (b[start] != 0x68) continue;
        if (b.size() < start + 8) return {Dlt645Header::Truncated, start};
        if (b[start + 7] == 0x68) return {Dlt645Header::Found, start};
    }
    return {};
}

// A request to all meters (99..99) or to any meter (AA..AA) gets its reply from an address of
// its own.
bool IsDlt645Wildcard(Bytes address) {
    return std::all_of(address.begin(), address.end(), [](uint8_t a) { return a == 0x99; }) ||
           std::all_of(address.begin(), address.end(), [](uint8_t a) { return a == 0xAA; });
}

ExchangeOutcome ClassifyDlt645(Bytes request, Bytes reply) {
    const Dlt645Header header = FindDlt645Header(reply);
    if (header.kind != Dlt645Header::Found)
        return header.kind == Dlt645Header::Truncated || reply.size() < kDlt645Minimum
                   ? ExchangeOutcome::Short
                   : ExchangeOutcome::BadChecksum; // bytes enough for a frame, but no header
    const std::size_t s = header.start;
    if (reply.size() < s + 10) return ExchangeOutcome::Short;
    const std::size_t length = reply[s + 9];
    if (reply.size() < s + kDlt645Minimum + length) return ExchangeOutcome::Short;
    if (Sum8(reply.subspan(s, 10 + length)) != reply[s + 10 + length] ||
        reply[s + 11 + length] != 0x16)
        return ExchangeOutcome::BadChecksum;
    const Dlt645Header asked = FindDlt645Header(request);
    if (asked.kind == Dlt645Header::Found) {
        const Bytes askedAddress = request.subspan(asked.start + 1, 6);
        if (!IsDlt645Wildcard(askedAddress) &&
            !std::equal(askedAddress.begin(), askedAddress.end(), reply.begin() + s + 1))
            return ExchangeOutcome::WrongAddress;
    }
    return ExchangeOutcome::Answered;
}

// The length of the data identifier that opens the data of this control code: two bytes for the
// reads and writes of the 1997 edition, four for those of 2007, none for the other commands.
std::size_t Dlt645IdentifierLength(uint8_t control) {
    switch (control & 0x1F) {
    case 0x01:
    case 0x02:
    case 0x04:
        return 2;
    case 0x11:
    case 0x12:
    case 0x14:
        return 4;
    default:
        return 0;
    }
}

std::string DecodeDlt645(Bytes b) {
    std::string out;
    const Dlt645Header header = FindDlt645Header(b);
    if (header.kind == Dlt645Header::Missing) {
        Field(out, "无帧头 68");
        Field(out, "不完整");
        return out;
    }
    const std::size_t s = header.start;
    if (s > 0) Field(out, "前导", std::to_string(s) + " 字节");
    if (header.kind == Dlt645Header::Truncated) {
        Incomplete(out, b.size() - s, 0);
        return out;
    }
    // A0 is sent first; the meter address reads from A5 down, as printed on the meter.
    std::string address;
    for (std::size_t i = 6; i >= 1; --i)
        AppendHexByte(address, b[s + i]);
    Field(out, "地址", address);
    if (b.size() < s + 10) {
        if (b.size() > s + 8) Field(out, "控制码", HexByte(b[s + 8]));
        Incomplete(out, b.size() - s, 0);
        return out;
    }
    const uint8_t control = b[s + 8];
    const std::size_t length = b[s + 9];
    const std::size_t expected = kDlt645Minimum + length;
    Field(out, "控制码", HexByte(control));
    const bool abnormal = (control & 0xC0) == 0xC0; // a reply that reports an error
    if (abnormal) Field(out, "异常应答");
    Field(out, "长度", length);

    Bytes data = b.subspan(s + 10, std::min(length, b.size() - s - 10));
    const std::size_t idLength =
        abnormal || length < Dlt645IdentifierLength(control) ? 0 : Dlt645IdentifierLength(control);
    if (abnormal && !data.empty()) {
        Field(out, "错误字", HexByte(static_cast<uint8_t>(data[0] - kDlt645Offset)));
        data = data.subspan(1);
    } else if (idLength > 0 && data.size() >= idLength) {
        std::string identifier; // DI0 travels first; read most significant first
        for (std::size_t i = idLength; i >= 1; --i)
            AppendHexByte(identifier, static_cast<uint8_t>(data[i - 1] - kDlt645Offset));
        Field(out, "标识", identifier);
        data = data.subspan(idLength);
    } else if (idLength > 0) {
        data = {}; // part of an identifier is no data of its own
    }
    if (!data.empty()) Field(out, "数据", DataText(data, kDlt645Offset));

    if (b.size() < s + expected) {
        Incomplete(out, b.size() - s, expected);
        return out;
    }
    const bool sumGood = Sum8(b.subspan(s, 10 + length)) == b[s + 10 + length];
    Field(out, "校验", sumGood ? "正确" : "错误");
    if (b[s + 11 + length] != 0x16) Field(out, "结束符", HexByte(b[s + 11 + length]) + " 错误");
    Surplus(out, b.size() - s, expected);
    return out;
}

// ---- 亚奥 --------------------------------------------------------------------------------

constexpr std::size_t kYaaoMinimum = 5; // 55 address L checksum AA

// From the first 55, as the framing that ends a read.
std::size_t FindYaaoStart(Bytes b) {
    const auto it = std::find(b.begin(), b.end(), kYaaoStart);
    return static_cast<std::size_t>(it - b.begin());
}

ExchangeOutcome ClassifyYaao(Bytes request, Bytes reply) {
    const std::size_t s = FindYaaoStart(reply);
    if (s == reply.size())
        return reply.size() < kYaaoMinimum ? ExchangeOutcome::Short : ExchangeOutcome::BadChecksum;
    if (reply.size() < s + 3) return ExchangeOutcome::Short;
    const std::size_t length = reply[s + 2];
    if (reply.size() < s + kYaaoMinimum + length) return ExchangeOutcome::Short;
    if (Sum8(reply.subspan(s + 3, length)) != reply[s + 3 + length] ||
        reply[s + 4 + length] != kYaaoEnd)
        return ExchangeOutcome::BadChecksum;
    const std::size_t asked = FindYaaoStart(request);
    if (request.size() > asked + 1 && request[asked + 1] != reply[s + 1])
        return ExchangeOutcome::WrongAddress;
    return ExchangeOutcome::Answered;
}

std::string DecodeYaao(bool isRequest, Bytes b) {
    std::string out;
    const std::size_t s = FindYaaoStart(b);
    if (s == b.size()) {
        Field(out, "无帧头 55");
        Field(out, "不完整");
        return out;
    }
    if (s > 0) Field(out, "前导", std::to_string(s) + " 字节");
    if (b.size() < s + 3) {
        if (b.size() > s + 1) Field(out, "地址", b[s + 1]);
        Incomplete(out, b.size() - s, 0);
        return out;
    }
    const std::size_t length = b[s + 2];
    const std::size_t expected = kYaaoMinimum + length;
    Field(out, "地址", b[s + 1]);
    Field(out, "长度", length);
    if (length >= 1 && b.size() > s + 3) {
        const uint8_t command = b[s + 3];
        Field(out, "命令", HexByte(command));
        const Bytes data = b.subspan(s + 4, std::min(length - 1, b.size() - s - 4));
        if (!data.empty()) {
            if (!isRequest && command == kYaaoPollCommand) Field(out, "字数", data.size() / 2);
            Field(out, "数据", DataText(data));
        }
    }
    if (b.size() < s + expected) {
        Incomplete(out, b.size() - s, expected);
        return out;
    }
    const bool sumGood = Sum8(b.subspan(s + 3, length)) == b[s + 3 + length];
    Field(out, "校验", sumGood ? "正确" : "错误");
    const uint8_t end = b[s + 4 + length];
    Field(out, "结束符", end == kYaaoEnd ? HexByte(end) : HexByte(end) + " 错误");
    Surplus(out, b.size() - s, expected);
    return out;
}

// ---- 大唐 --------------------------------------------------------------------------------

// 7E 0A address command, three bytes more, the checksum: every request and the shortest reply.
constexpr std::size_t kDatangMinimum = 8;

bool DatangSumMatches(Bytes b) {
    return b.size() >= 2 &&
           static_cast<uint8_t>(-Sum8(b.subspan(1, b.size() - 2))) == b[b.size() - 1];
}

ExchangeOutcome ClassifyDatang(Bytes request, Bytes reply, std::size_t knownLength) {
    if (reply.size() < std::max(kDatangMinimum, knownLength)) return ExchangeOutcome::Short;
    if (!DatangSumMatches(reply)) return ExchangeOutcome::BadChecksum;
    if (request.size() > 2 && request[2] != reply[2]) return ExchangeOutcome::WrongAddress;
    return ExchangeOutcome::Answered;
}

const char* DatangCommandName(uint8_t command) {
    switch (command) {
    case kDatangPollCommand:
        return "轮询";
    case kDatangClearEnergyCommand:
        return "清电量";
    default:
        return nullptr;
    }
}

std::string DecodeDatang(bool isRequest, Bytes b) {
    std::string out;
    if (b.size() >= 2 && (b[0] != 0x7E || b[1] != 0x0A)) Field(out, "帧头 错误");
    if (b.size() > 2) Field(out, "地址", b[2]);
    if (b.size() > 3) {
        Field(out, "命令", HexByte(b[3]));
        if (const char* name = DatangCommandName(b[3])) Field(out, name);
    }
    if (b.size() < kDatangMinimum) {
        Incomplete(out, b.size(), kDatangMinimum);
        return out;
    }
    if (!isRequest && b.size() > kDatangMinimum) {
        const std::size_t dataBytes = b.size() - kDatangMinimum;
        if (b[3] == kDatangPollCommand && dataBytes % 2 == 0)
            Field(out, "字数", dataBytes / 2);
        else
            Field(out, "数据", std::to_string(dataBytes) + " 字节");
    }
    Field(out, "校验", DatangSumMatches(b) ? "正确" : "错误");
    if (isRequest) Surplus(out, b.size(), kDatangMinimum);
    return out;
}

} // namespace

ExchangeOutcome ClassifyExchange(WireProtocol protocol, std::span<const uint8_t> request,
                                 std::span<const uint8_t> reply, std::size_t knownLength,
                                 bool linkFailed) {
    if (linkFailed) return ExchangeOutcome::LinkFailed;
    if (reply.empty()) return ExchangeOutcome::Timeout;
    switch (protocol) {
    case WireProtocol::Modbus:
        return ClassifyModbus(request, reply, knownLength);
    case WireProtocol::Dlt645:
        return ClassifyDlt645(request, reply);
    case WireProtocol::Yaao:
        return ClassifyYaao(request, reply);
    case WireProtocol::Datang:
        return ClassifyDatang(request, reply, knownLength);
    case WireProtocol::Unknown:
        break;
    }
    return ExchangeOutcome::Answered; // no framing to judge by
}

std::string DecodeFrame(WireProtocol protocol, bool isRequest, std::span<const uint8_t> bytes) {
    if (bytes.empty()) return "无数据";
    switch (protocol) {
    case WireProtocol::Modbus:
        return DecodeModbus(isRequest, bytes);
    case WireProtocol::Dlt645:
        return DecodeDlt645(bytes);
    case WireProtocol::Yaao:
        return DecodeYaao(isRequest, bytes);
    case WireProtocol::Datang:
        return DecodeDatang(isRequest, bytes);
    case WireProtocol::Unknown:
        break;
    }
    return std::to_string(bytes.size()) + " 字节";
}

std::string OutcomeText(ExchangeOutcome outcome) {
    switch (outcome) {
    case ExchangeOutcome::Answered:
        return "应答";
    case ExchangeOutcome::Timeout:
        return "超时";
    case ExchangeOutcome::Short:
        return "不完整";
    case ExchangeOutcome::BadChecksum:
        return "校验错";
    case ExchangeOutcome::WrongAddress:
        return "地址错";
    case ExchangeOutcome::Exception:
        return "异常应答";
    case ExchangeOutcome::LinkFailed:
        return "链路失败";
    }
    return "?";
}

std::string HexText(std::span<const uint8_t> bytes) {
    std::string out;
    if (bytes.empty()) return out;
    out.reserve(3 * bytes.size() - 1);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) out += ' ';
        AppendHexByte(out, bytes[i]);
    }
    return out;
}
