// The traffic monitor's engine: each frame decoded to the fields it carries, each outcome judged
// from its bytes, and the bounded log of exchanges.

#include "link/traffic.h"
#include "link/yaao_datang_frames.h"
#include "test_bytes.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// ---- DecodeFrame ----------------------------------------------------------------------------

struct DecodeCase {
    const char* name;
    WireProtocol protocol;
    bool isRequest;
    std::string bytes;
    std::string line;
};

void PrintTo(const DecodeCase& c, std::ostream* os) {
    *os << c.name;
}

class Decode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Decode, NamesTheFieldsTheFrameCarries) {
    const DecodeCase& c = GetParam();
    EXPECT_EQ(DecodeFrame(c.protocol, c.isRequest, Hex(c.bytes)), c.line) << c.bytes;
}

constexpr bool kRequest = true;
constexpr bool kReply = false;
constexpr auto kModbus = WireProtocol::Modbus;
constexpr auto kDlt = WireProtocol::Dlt645;
constexpr auto kYaao = WireProtocol::Yaao;
constexpr auto kDatang = WireProtocol::Datang;

INSTANTIATE_TEST_SUITE_P(
    Modbus, Decode,
    ::testing::Values(
        DecodeCase{"ReadRequest", kModbus, kRequest, "01 03 01 01 00 01 D4 36",
                   "地址 1 功能 03 起始 257 数量 1 CRC 正确"},
        DecodeCase{"ReadCalibrationRequest", kModbus, kRequest, "01 33 2B 0F 00 01 FD E9",
                   "地址 1 功能 33 起始 11023 数量 1 CRC 正确"},
        DecodeCase{"RawSamplesRequest", kModbus, kRequest, "02 30 27 10 00 0C 4A 89",
                   "地址 2 功能 30 起始 10000 数量 12 CRC 正确"},
        DecodeCase{"ReadReply", kModbus, kReply, "01 03 06 00 01 00 02 00 03 FD 74",
                   "地址 1 功能 03 字节数 6 CRC 正确"},
        DecodeCase{"ReplyCrcHighByteFirst", kModbus, kReply, "01 03 02 00 2A 9B 39",
                   "地址 1 功能 03 字节数 2 CRC 错误"},
        DecodeCase{"ExceptionReply", kModbus, kReply, "01 83 02 C0 F1",
                   "地址 1 功能 83 异常码 02 非法数据地址 CRC 正确"},
        DecodeCase{"WriteRegister", kModbus, kRequest, "01 06 02 00 AA 55 36 ED",
                   "地址 1 功能 06 寄存器 512 值 43605 (0xAA55) CRC 正确"},
        DecodeCase{"WriteRegistersRequest", kModbus, kRequest,
                   "01 10 01 01 00 03 06 20 24 05 13 10 30 38 03",
                   "地址 1 功能 10 起始 257 数量 3 字节数 6 CRC 正确"},
        DecodeCase{"WriteRegistersReply", kModbus, kReply, "01 10 01 01 00 03 D0 34",
                   "地址 1 功能 10 起始 257 数量 3 CRC 正确"},
        DecodeCase{"WriteCalibrationRequest", kModbus, kRequest, "01 40 2B 0F 00 01 02 00 01 F9 51",
                   "地址 1 功能 40 起始 11023 数量 1 字节数 2 CRC 正确"},
        DecodeCase{"TruncatedRequest", kModbus, kRequest, "01 03 01 01 00",
                   "地址 1 功能 03 起始 257 不完整 5/8 字节"},
        DecodeCase{"TruncatedReply", kModbus, kReply, "01 03 06 00 01",
                   "地址 1 功能 03 字节数 6 不完整 5/11 字节"},
        DecodeCase{"TruncatedWriteBlock", kModbus, kRequest, "01 10 01 01 00 03 06 20",
                   "地址 1 功能 10 起始 257 数量 3 字节数 6 不完整 8/15 字节"},
        DecodeCase{"OneByte", kModbus, kReply, "01", "地址 1 不完整"},
        DecodeCase{"TrailingByte", kModbus, kRequest, "01 03 01 01 00 01 D4 36 00",
                   "地址 1 功能 03 起始 257 数量 1 CRC 正确 多余 1 字节"},
        DecodeCase{"UnknownFunction", kModbus, kReply, "01 41 00 00", "地址 1 功能 41 CRC 错误"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Dlt645, Decode,
    ::testing::Values(
        DecodeCase{"Read1997Request", kDlt, kRequest, "68 01 00 00 00 00 00 68 01 02 43 C3 DA 16",
                   "地址 000000000001 控制码 01 长度 2 标识 9010 校验 正确"},
        DecodeCase{"AddressMostSignificantFirst", kDlt, kRequest,
                   "68 01 02 03 04 05 06 68 01 02 43 C3 EE 16",
                   "地址 060504030201 控制码 01 长度 2 标识 9010 校验 正确"},
        DecodeCase{"Read1997Reply", kDlt, kReply,
                   "68 01 00 00 00 00 00 68 81 05 43 C3 33 83 55 68 16",
                   "地址 000000000001 控制码 81 长度 5 标识 9010 数据 00 50 22 校验 正确"},
        DecodeCase{"Read2007Request", kDlt, kRequest,
                   "68 01 00 00 00 00 00 68 11 04 33 34 34 35 B6 16",
                   "地址 000000000001 控制码 11 长度 4 标识 02010100 校验 正确"},
        DecodeCase{"Read2007ReplyAfterPreamble", kDlt, kReply,
                   "FE FE FE FE 68 01 00 00 00 00 00 68 91 06 33 34 34 35 33 55 C0 16",
                   "前导 4 字节 地址 000000000001 控制码 91 长度 6 标识 02010100 数据 00 22 "
                   "校验 正确"},
        DecodeCase{"ClearDemand1997", kDlt, kRequest, "68 01 00 00 00 00 00 68 10 00 E1 16",
                   "地址 000000000001 控制码 10 长度 0 校验 正确"},
        DecodeCase{"ClearEnergy2007", kDlt, kRequest,
                   "68 01 00 00 00 00 00 68 1A 08 33 33 33 33 33 33 33 33 8B 16",
                   "地址 000000000001 控制码 1A 长度 8 数据 00 00 00 00 00 00 00 00 校验 正确"},
        DecodeCase{"ErrorReply", kDlt, kReply, "68 01 00 00 00 00 00 68 D1 01 35 D8 16",
                   "地址 000000000001 控制码 D1 异常应答 长度 1 错误字 02 校验 正确"},
        DecodeCase{"TimeBroadcast", kDlt, kRequest,
                   "68 99 99 99 99 99 99 68 08 06 33 63 45 48 39 57 27 16",
                   "地址 999999999999 控制码 08 长度 6 数据 00 30 12 15 06 24 校验 正确"},
        DecodeCase{"BadChecksum", kDlt, kRequest, "68 01 00 00 00 00 00 68 01 02 43 C3 DB 16",
                   "地址 000000000001 控制码 01 长度 2 标识 9010 校验 错误"},
        DecodeCase{"BadEndByte", kDlt, kRequest, "68 01 00 00 00 00 00 68 01 02 43 C3 DA 17",
                   "地址 000000000001 控制码 01 长度 2 标识 9010 校验 正确 结束符 17 错误"},
        DecodeCase{"TruncatedInIdentifier", kDlt, kReply, "68 01 00 00 00 00 00 68 01 02 43",
                   "地址 000000000001 控制码 01 长度 2 不完整 11/14 字节"},
        DecodeCase{"TruncatedHeader", kDlt, kReply, "FE 68 01 00 00", "前导 1 字节 不完整"},
        DecodeCase{"NoHeader", kDlt, kReply, "12 34 56", "无帧头 68 不完整"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    YaaoDatang, Decode,
    ::testing::Values(
        DecodeCase{"YaaoPoll", kYaao, kRequest, "55 01 01 01 01 AA",
                   "地址 1 长度 1 命令 01 校验 正确 结束符 AA"},
        DecodeCase{"YaaoClearEnergy", kYaao, kRequest, "55 01 03 07 AA 55 06 AA",
                   "地址 1 长度 3 命令 07 数据 AA 55 校验 正确 结束符 AA"},
        DecodeCase{"YaaoEnergyBase", kYaao, kRequest, "55 10 05 06 00 01 E2 40 29 AA",
                   "地址 16 长度 5 命令 06 数据 00 01 E2 40 校验 正确 结束符 AA"},
        DecodeCase{"YaaoPollReply", kYaao, kReply, "55 01 05 01 00 0A 00 14 1F AA",
                   "地址 1 长度 5 命令 01 字数 2 数据 00 0A 00 14 校验 正确 结束符 AA"},
        DecodeCase{"YaaoBadChecksumAndEnd", kYaao, kReply, "55 01 05 01 00 0A 00 14 20 AB",
                   "地址 1 长度 5 命令 01 字数 2 数据 00 0A 00 14 校验 错误 结束符 AB 错误"},
        DecodeCase{"YaaoTruncated", kYaao, kReply, "55 01 05 01 00 0A",
                   "地址 1 长度 5 命令 01 字数 1 数据 00 0A 不完整 6/10 字节"},
        DecodeCase{"YaaoNoStart", kYaao, kReply, "00 01", "无帧头 55 不完整"},
        DecodeCase{"DatangPoll", kDatang, kRequest, "7E 0A 01 30 02 00 FF C4",
                   "地址 1 命令 30 轮询 校验 正确"},
        DecodeCase{"DatangClearEnergy", kDatang, kRequest, "7E 0A 01 31 02 00 FF C3",
                   "地址 1 命令 31 清电量 校验 正确"},
        DecodeCase{"DatangPollReply", kDatang, kReply, "7E 0A 01 30 04 00 FF 0A 00 14 00 A4",
                   "地址 1 命令 30 轮询 字数 2 校验 正确"},
        DecodeCase{"DatangBadChecksum", kDatang, kReply, "7E 0A 01 30 04 00 FF 0A 00 14 00 A5",
                   "地址 1 命令 30 轮询 字数 2 校验 错误"},
        DecodeCase{"DatangTruncated", kDatang, kReply, "7E 0A 01 30 04",
                   "地址 1 命令 30 轮询 不完整 5/8 字节"},
        DecodeCase{"DatangWrongStart", kDatang, kRequest, "00 0A 01 30 02 00 FF C4",
                   "帧头 错误 地址 1 命令 30 轮询 校验 正确"},
        DecodeCase{"UnknownProtocol", WireProtocol::Unknown, kReply, "01 02 03", "3 字节"},
        DecodeCase{"Empty", kModbus, kReply, "", "无数据"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DecodeLongData, NamesTheFirstBytesAndTheCount) {
    const Bytes frame = BuildYaaoFrame(1, kYaaoPollCommand, Bytes(40, 0x11));
    const std::string line = DecodeFrame(kYaao, kReply, frame);
    EXPECT_NE(line.find("字数 20 数据 11 11"), std::string::npos) << line;
    EXPECT_NE(line.find(" … 共 40 字节 校验 正确"), std::string::npos) << line;
}

// ---- ClassifyExchange -----------------------------------------------------------------------

struct ClassifyCase {
    const char* name;
    WireProtocol protocol;
    std::string request;
    std::string reply;
    ExchangeOutcome outcome;
    std::size_t knownLength = 0;
    bool linkFailed = false;
};

void PrintTo(const ClassifyCase& c, std::ostream* os) {
    *os << c.name;
}

class Classify : public ::testing::TestWithParam<ClassifyCase> {};

TEST_P(Classify, JudgesTheExchangeByItsBytes) {
    const ClassifyCase& c = GetParam();
    EXPECT_EQ(OutcomeText(ClassifyExchange(c.protocol, Hex(c.request), Hex(c.reply), c.knownLength,
                                           c.linkFailed)),
              OutcomeText(c.outcome))
        << c.reply;
}

using O = ExchangeOutcome;
const std::string kModbusRead = "01 03 01 01 00 01 D4 36";
const std::string kRead1997 = "68 01 00 00 00 00 00 68 01 02 43 C3 DA 16";
const std::string kRead2007 = "68 01 00 00 00 00 00 68 11 04 33 34 34 35 B6 16";
const std::string kReply2007 = "68 01 00 00 00 00 00 68 91 06 33 34 34 35 33 55 C0 16";
const std::string kYaaoPoll = "55 01 01 01 01 AA";
const std::string kDatangPoll = "7E 0A 01 30 02 00 FF C4";

INSTANTIATE_TEST_SUITE_P(
    Modbus, Classify,
    ::testing::Values(
        ClassifyCase{"Answered", kModbus, kModbusRead, "01 03 02 00 2A 39 9B", O::Answered},
        ClassifyCase{"WriteAnswered", kModbus, "01 10 01 01 00 03 06 20 24 05 13 10 30 38 03",
                     "01 10 01 01 00 03 D0 34", O::Answered},
        ClassifyCase{"Silent", kModbus, kModbusRead, "", O::Timeout},
        ClassifyCase{"LinkFailed", kModbus, kModbusRead, "", O::LinkFailed, 0, true},
        ClassifyCase{"LinkFailedWinsOverBytes", kModbus, kModbusRead, "01 03 02 00 2A 39 9B",
                     O::LinkFailed, 0, true},
        ClassifyCase{"FewerThanAnnounced", kModbus, kModbusRead, "01 03 06 00 01", O::Short},
        ClassifyCase{"UnderMinimum", kModbus, kModbusRead, "01 03", O::Short},
        ClassifyCase{"CrcHighByteFirst", kModbus, kModbusRead, "01 03 02 00 2A 9B 39",
                     O::BadChecksum},
        // A trailing 00 passes a CRC taken over every byte; the frame is still spoilt.
        ClassifyCase{"ByteAfterFrame", kModbus, kModbusRead, "01 03 02 00 2A 39 9B 00",
                     O::BadChecksum},
        ClassifyCase{"OtherAddress", kModbus, kModbusRead, "02 03 02 00 2A 7D 9B", O::WrongAddress},
        ClassifyCase{"Exception", kModbus, kModbusRead, "01 83 02 C0 F1", O::Exception},
        ClassifyCase{"ExceptionBadCrc", kModbus, kModbusRead, "01 83 02 C0 F2", O::BadChecksum},
        ClassifyCase{"UnknownFunctionShortOfKnownLength", kModbus, kModbusRead, "01 41 00 00 00",
                     O::Short, 8}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Dlt645, Classify,
    ::testing::Values(
        ClassifyCase{"Answered", kDlt, kRead2007, kReply2007, O::Answered},
        ClassifyCase{"AnsweredAfterPreamble", kDlt, kRead2007, "FE FE FE FE " + kReply2007,
                     O::Answered},
        ClassifyCase{"Silent", kDlt, kRead1997, "", O::Timeout},
        ClassifyCase{"FewerThanAnnounced", kDlt, kRead2007, "68 01 00 00 00 00 00 68 91 06 33 34",
                     O::Short},
        ClassifyCase{"PreambleOnly", kDlt, kRead2007, "FE FE FE FE", O::Short},
        ClassifyCase{"BadChecksum", kDlt, kRead2007,
                     "68 01 00 00 00 00 00 68 91 06 33 34 34 35 33 55 C1 16", O::BadChecksum},
        ClassifyCase{"BadEndByte", kDlt, kRead2007,
                     "68 01 00 00 00 00 00 68 91 06 33 34 34 35 33 55 C0 17", O::BadChecksum},
        ClassifyCase{"GarbageOfFrameLength", kDlt, kRead2007, "00 11 22 33 44 55 66 77 88 99 AA BB",
                     O::BadChecksum},
        ClassifyCase{"OtherAddress", kDlt, kRead2007,
                     "68 02 00 00 00 00 00 68 91 06 33 34 34 35 33 55 C1 16", O::WrongAddress},
        ClassifyCase{"ReplyToBroadcast", kDlt,
                     "68 99 99 99 99 99 99 68 08 06 33 63 45 48 39 57 27 16", kReply2007,
                     O::Answered}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    YaaoDatang, Classify,
    ::testing::Values(
        ClassifyCase{"YaaoAnswered", kYaao, kYaaoPoll, "55 01 05 01 00 0A 00 14 1F AA",
                     O::Answered},
        ClassifyCase{"YaaoSilent", kYaao, kYaaoPoll, "", O::Timeout},
        ClassifyCase{"YaaoFewerThanAnnounced", kYaao, kYaaoPoll, "55 01 05 01 00 0A", O::Short},
        ClassifyCase{"YaaoUnderMinimum", kYaao, kYaaoPoll, "55 01", O::Short},
        ClassifyCase{"YaaoBadChecksum", kYaao, kYaaoPoll, "55 01 05 01 00 0A 00 14 20 AA",
                     O::BadChecksum},
        ClassifyCase{"YaaoBadEnd", kYaao, kYaaoPoll, "55 01 05 01 00 0A 00 14 1F AB",
                     O::BadChecksum},
        ClassifyCase{"YaaoOtherAddress", kYaao, "55 02 01 01 01 AA",
                     "55 01 05 01 00 0A 00 14 1F AA", O::WrongAddress},
        ClassifyCase{"DatangAnswered", kDatang, kDatangPoll, "7E 0A 01 30 04 00 FF 0A 00 14 00 A4",
                     O::Answered},
        ClassifyCase{"DatangClearAnswered", kDatang, "7E 0A 01 31 02 00 FF C3",
                     "7E 0A 01 31 02 00 FF C3", O::Answered},
        ClassifyCase{"DatangUnderMinimum", kDatang, kDatangPoll, "7E 0A 01 30 04 00 FF", O::Short},
        ClassifyCase{"DatangFewerThanKnown", kDatang, kDatangPoll,
                     "7E 0A 01 30 04 00 FF 0A 00 14 00 A4", O::Short, 14},
        ClassifyCase{"DatangBadChecksum", kDatang, kDatangPoll,
                     "7E 0A 01 30 04 00 FF 0A 00 14 00 A5", O::BadChecksum},
        ClassifyCase{"DatangOtherAddress", kDatang, kDatangPoll,
                     "7E 0A 02 30 04 00 FF 0A 00 14 00 A3", O::WrongAddress},
        ClassifyCase{"UnknownAnyBytes", WireProtocol::Unknown, "01", "FF FF", O::Answered},
        ClassifyCase{"UnknownSilent", WireProtocol::Unknown, "01", "", O::Timeout}),
    [](const auto& info) { return std::string(info.param.name); });

// A reply cut off anywhere before its end is short, never a checksum or address fault.
TEST(ClassifyPrefixes, EveryCutOfAGoodReplyIsShort) {
    struct Good {
        WireProtocol protocol;
        std::string request, reply;
    };
    const Good replies[] = {
        {kModbus, kModbusRead, "01 03 06 00 01 00 02 00 03 FD 74"},
        {kDlt, kRead2007, "FE FE FE FE " + kReply2007},
        {kYaao, kYaaoPoll, "55 01 05 01 00 0A 00 14 1F AA"},
        {kDatang, kDatangPoll, "7E 0A 01 30 04 00 FF 0A 00 14 00 A4"},
    };
    for (const Good& good : replies) {
        const Bytes reply = Hex(good.reply);
        ASSERT_EQ(ClassifyExchange(good.protocol, Hex(good.request), reply, reply.size()),
                  O::Answered)
            << good.reply;
        for (std::size_t n = 1; n < reply.size(); ++n) {
            const Bytes cut(reply.begin(), reply.begin() + n);
            EXPECT_EQ(ClassifyExchange(good.protocol, Hex(good.request), cut, reply.size()),
                      O::Short)
                << good.reply << " cut at " << n;
            EXPECT_FALSE(DecodeFrame(good.protocol, false, cut).empty());
        }
    }
}

// ---- texts ----------------------------------------------------------------------------------

TEST(OutcomeText, NamesEveryOutcome) {
    const std::pair<ExchangeOutcome, const char*> names[] = {
        {O::Answered, "应答"},       {O::Timeout, "超时"},        {O::Short, "不完整"},
        {O::BadChecksum, "校验错"},  {O::WrongAddress, "地址错"}, {O::Exception, "异常应答"},
        {O::LinkFailed, "链路失败"},
    };
    static_assert(std::size(names) == kExchangeOutcomeCount);
    for (const auto& [outcome, text] : names)
        EXPECT_EQ(OutcomeText(outcome), text);
}

TEST(HexText, UpperCaseSeparatedByBlanks) {
    EXPECT_EQ(HexText(Bytes{}), "");
    EXPECT_EQ(HexText(Bytes{0x0A}), "0A");
    EXPECT_EQ(HexText(Bytes{0x01, 0x03, 0xAB, 0x0F, 0xFF}), "01 03 AB 0F FF");
}

// ---- TrafficLog -----------------------------------------------------------------------------

Exchange Made(ExchangeOutcome outcome, int64_t roundTripUs, bool withReply = true) {
    Exchange e;
    e.protocol = kModbus;
    e.request = Hex(kModbusRead);
    if (withReply) e.reply = Hex("01 03 02 00 2A 39 9B");
    e.roundTripUs = roundTripUs;
    e.outcome = outcome;
    return e;
}

std::vector<uint64_t> Sequences(const std::vector<Exchange>& exchanges) {
    std::vector<uint64_t> out;
    for (const Exchange& e : exchanges)
        out.push_back(e.sequence);
    return out;
}

TEST(TrafficLog, RingKeepsTheNewestWithConsecutiveSequences) {
    TrafficLog log(5);
    for (int i = 0; i < 12; ++i)
        log.Record(Made(O::Answered, 1000 + i));
    EXPECT_EQ(log.size(), 5u);
    EXPECT_EQ(log.lastSequence(), 12u);
    const auto kept = log.Since(0);
    EXPECT_EQ(Sequences(kept), (std::vector<uint64_t>{8, 9, 10, 11, 12}));
    EXPECT_EQ(kept.front().roundTripUs, 1007); // the exchange itself, not only its number
    EXPECT_EQ(kept.back().roundTripUs, 1011);
}

TEST(TrafficLog, SinceAfterTheRingWrapped) {
    TrafficLog log(5);
    for (int i = 0; i < 12; ++i)
        log.Record(Made(O::Answered, 1000));
    struct Case {
        uint64_t after;
        std::size_t max;
        std::vector<uint64_t> sequences;
    };
    const Case cases[] = {
        {9, SIZE_MAX, {10, 11, 12}},       // within the ring
        {3, SIZE_MAX, {8, 9, 10, 11, 12}}, // already dropped: from the oldest kept
        {12, SIZE_MAX, {}},                // nothing newer
        {40, SIZE_MAX, {}},                // beyond the newest
        {0, 2, {8, 9}},                    // at most max, oldest first
        {10, 0, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Sequences(log.Since(c.after, c.max)), c.sequences)
            << "after " << c.after << " max " << c.max;
}

TEST(TrafficLog, TotalsCountTheExchangesDroppedFromTheRing) {
    TrafficLog log(3);
    const ExchangeOutcome outcomes[] = {O::Answered,   O::Timeout,      O::Answered, O::BadChecksum,
                                        O::Short,      O::WrongAddress, O::Answered, O::Exception,
                                        O::LinkFailed, O::Answered};
    for (ExchangeOutcome o : outcomes)
        log.Record(Made(o, 1000, o != O::Timeout && o != O::LinkFailed));
    const TrafficLog::Totals totals = log.totals();
    EXPECT_EQ(totals.exchanges, std::size(outcomes));
    const auto count = [&](ExchangeOutcome o) {
        return totals.byOutcome[static_cast<std::size_t>(o)];
    };
    EXPECT_EQ(count(O::Answered), 4u);
    EXPECT_EQ(count(O::Timeout), 1u);
    EXPECT_EQ(count(O::BadChecksum), 1u);
    EXPECT_EQ(count(O::Short), 1u);
    EXPECT_EQ(count(O::WrongAddress), 1u);
    EXPECT_EQ(count(O::Exception), 1u);
    EXPECT_EQ(count(O::LinkFailed), 1u);
    EXPECT_EQ(log.size(), 3u);
}

TEST(TrafficLog, RoundTripsOfExchangesWithReplyBytesOnly) {
    TrafficLog log;
    EXPECT_EQ(log.totals().minRoundTripUs, 0);
    EXPECT_EQ(log.totals().maxRoundTripUs, 0);
    EXPECT_EQ(log.totals().meanRoundTripUs, 0);
    log.Record(Made(O::Answered, 3000));
    log.Record(Made(O::Timeout, 612000, false)); // a silent window is no round trip
    log.Record(Made(O::Answered, 1000));
    log.Record(Made(O::BadChecksum, 2000));
    const TrafficLog::Totals totals = log.totals();
    EXPECT_EQ(totals.minRoundTripUs, 1000);
    EXPECT_EQ(totals.maxRoundTripUs, 3000);
    EXPECT_DOUBLE_EQ(totals.meanRoundTripUs, 2000.0);
}

TEST(TrafficLog, ClearForgetsExchangesAndCountersButSequencesGoOn) {
    TrafficLog log(4);
    for (int i = 0; i < 6; ++i)
        log.Record(Made(O::Answered, 500));
    log.Clear();
    EXPECT_EQ(log.size(), 0u);
    EXPECT_TRUE(log.Since(0).empty());
    const TrafficLog::Totals cleared = log.totals();
    EXPECT_EQ(cleared.exchanges, 0u);
    EXPECT_EQ(cleared.byOutcome[static_cast<std::size_t>(O::Answered)], 0u);
    EXPECT_EQ(cleared.maxRoundTripUs, 0);
    EXPECT_EQ(log.lastSequence(), 6u);

    log.Record(Made(O::Timeout, 0, false));
    EXPECT_EQ(Sequences(log.Since(0)), (std::vector<uint64_t>{7}));
    EXPECT_EQ(log.totals().exchanges, 1u);
    EXPECT_EQ(log.totals().minRoundTripUs, 0); // the old round trips do not come back
}

} // namespace
