#include "link/modbus.h"
#include "link/modbus_frames.h"
#include "scripted_link.h"
#include "test_bytes.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

Bytes WithCrc(Bytes frame) {
    const uint16_t crc = Crc16(frame);
    frame.push_back(crc & 0xFF);
    frame.push_back(crc >> 8);
    return frame;
}

Bytes WithSwappedCrc(Bytes frame) {
    const uint16_t crc = Crc16(frame);
    frame.push_back(crc >> 8);
    frame.push_back(crc & 0xFF);
    return frame;
}

struct CrcCase {
    std::string bytes;
    uint16_t crc;
};

class Crc16Known : public ::testing::TestWithParam<CrcCase> {};

TEST_P(Crc16Known, MatchesCatalogueValue) {
    const std::string& text = GetParam().bytes;
    const Bytes bytes(text.begin(), text.end());
    EXPECT_EQ(Crc16(bytes), GetParam().crc);
}

INSTANTIATE_TEST_SUITE_P(Texts, Crc16Known,
                         ::testing::Values(CrcCase{"123456789", 0x4B37}, CrcCase{"", 0xFFFF},
                                           CrcCase{std::string("\x01\x03\x01\x01\x00\x01", 6),
                                                   0x36D4}));

// Request bytes and timeouts of each transaction, checked through the scripted link.
struct RequestCase {
    const char* name;
    std::function<bool(Link&)> run;
    std::string request; // hex; "CRC" appended when crcAppended
    bool crcAppended;
    TransactParams params;
};

class ModbusRequest : public ::testing::TestWithParam<RequestCase> {};

TEST_P(ModbusRequest, SendsExactFrameWithItsTimeouts) {
    ScriptedLink link;
    GetParam().run(link);
    ASSERT_EQ(link.ExchangeCount(), 1u);
    const Bytes expected =
        GetParam().crcAppended ? WithCrc(Hex(GetParam().request)) : Hex(GetParam().request);
    EXPECT_EQ(ToHex(link.LastRequest()), ToHex(expected));
    // The table holds the timeouts; every one of these exchanges is framed as Modbus RTU.
    TransactParams framed = GetParam().params;
    framed.protocol = WireProtocol::Modbus;
    EXPECT_EQ(link.LastParams(), framed);
}

std::vector<uint16_t> scratch;

INSTANTIATE_TEST_SUITE_P(
    Transactions, ModbusRequest,
    ::testing::Values(
        RequestCase{"ReadRegistersAt257",
                    [](Link& l) { return ReadRegisters(l, 1, 257, 1, scratch); },
                    "01 03 01 01 00 01 D4 36",
                    false,
                    {1, 100, 512, 1, 100, 0}},
        RequestCase{"ReadRawSamples",
                    [](Link& l) { return ReadRawSamples(l, 7, 10000, 12, scratch); },
                    "07 30 27 10 00 0C",
                    true,
                    {1, 100, 256, 1, 100, 0}},
        RequestCase{"ReadCalibrationRegisters",
                    [](Link& l) { return ReadCalibrationRegisters(l, 0xFF, 11023, 1, scratch); },
                    "FF 33 2B 0F 00 01",
                    true,
                    {1, 100, 256, 1, 100, 0}},
        RequestCase{"WriteRegister",
                    [](Link& l) { return WriteRegister(l, 1, 0x0200, 0xAA55); },
                    "01 06 02 00 AA 55",
                    true,
                    {1, 100, 256, 1, 100, 0}},
        RequestCase{"WriteRegisters",
                    [](Link& l) {
                        return WriteRegisters(l, 2, 257, 3, {0x1234, 0x0506, 0xFFFF});
                    },
                    "02 10 01 01 00 03 06 12 34 05 06 FF FF",
                    true,
                    {1, 100, 256, 1, 100, 0}},
        RequestCase{"WriteRegistersUsesFirstCountValues",
                    [](Link& l) {
                        return WriteRegisters(l, 2, 269, 1, {3, 9, 9});
                    },
                    "02 10 01 0D 00 01 02 00 03",
                    true,
                    {1, 100, 256, 1, 100, 0}},
        RequestCase{"WriteCalibrationRegisters",
                    [](Link& l) { return WriteCalibrationRegisters(l, 1, 13000, 1, {0xAA55}); },
                    "01 40 32 C8 00 01 02 AA 55",
                    true,
                    {1, 100, 1000, 1, 100, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ModbusRequestLayout, CalibrationWriteOf128RegistersCarriesByteCountZero) {
    ScriptedLink link;
    std::vector<uint16_t> values(128);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<uint16_t>(0x0100 + i);
    WriteCalibrationRegisters(link, 1, 11300, 128, values);
    const Bytes request = link.LastRequest();
    ASSERT_EQ(request.size(), 9u + 256u);
    EXPECT_EQ(request[6], 0x00);
    EXPECT_EQ(request[7], 0x01);
    EXPECT_EQ(request[8], 0x00);
    EXPECT_EQ(request[7 + 2 * 127], 0x01);
    EXPECT_EQ(request[8 + 2 * 127], 0x7F);
    EXPECT_TRUE(CrcMatches(request));
}

// Read replies: what passes and what is delivered.
struct ReadReplyCase {
    const char* name;
    Bytes reply;
    uint16_t count;
    bool ok;
    std::vector<uint16_t> values; // the leading values expected when ok
};

class ModbusReadReply : public ::testing::TestWithParam<ReadReplyCase> {};

TEST_P(ModbusReadReply, JudgedAndDelivered) {
    for (auto read : {&ReadRegisters, &ReadRawSamples, &ReadCalibrationRegisters}) {
        ScriptedLink link;
        link.QueueReply(GetParam().reply);
        std::vector<uint16_t> values(GetParam().count, 0xEEEE);
        std::size_t delivered = 99;
        EXPECT_EQ(read(link, 1, 0, GetParam().count, values, &delivered), GetParam().ok);
        ASSERT_GE(values.size(), GetParam().count);
        // The count of values carried lets a caller refuse a short reply.
        EXPECT_EQ(delivered, GetParam().ok ? GetParam().values.size() : 0u);
        if (!GetParam().ok) continue;
        for (std::size_t i = 0; i < GetParam().count; ++i) {
            const uint16_t expected =
                i < GetParam().values.size() ? GetParam().values[i] : uint16_t{0xEEEE};
            EXPECT_EQ(values[i], expected) << "value " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ModbusReadReply,
    ::testing::Values(
        ReadReplyCase{
            "SevenBytesGiveOneValueOfThree", WithCrc(Hex("01 03 06 12 34")), 3, true, {0x1234}},
        ReadReplyCase{"FullReply", WithCrc(Hex("01 03 04 00 0A FF FE")), 2, true, {10, 0xFFFE}},
        ReadReplyCase{"MoreValuesThanAskedAreCapped",
                      WithCrc(Hex("01 03 06 00 01 00 02 00 03")),
                      2,
                      true,
                      {1, 2}},
        ReadReplyCase{"HeaderNotCompared", WithCrc(Hex("09 04 77 00 05")), 1, true, {5}},
        ReadReplyCase{"ExceptionReplyIsARefusal", WithCrc(Hex("01 83 02")), 2, false, {}},
        ReadReplyCase{"CrcHighThenLowFails", WithSwappedCrc(Hex("01 03 02 00 05")), 1, false, {}},
        ReadReplyCase{"CorruptedByteFails", Hex("01 03 02 00 06 B8 47"), 1, false, {}},
        ReadReplyCase{"FourBytesFail", WithCrc(Hex("01 03")), 1, false, {}},
        ReadReplyCase{"SilenceFails", {}, 1, false, {}},
        ReadReplyCase{"LeadingGarbageFails", Hex("00 01 03 02 00 05 78 47"), 1, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ModbusReadReply, GoodCrcCheckedReplyIsValidFrame) {
    // The corrupted-byte row above is a good frame with one byte changed.
    EXPECT_TRUE(CrcMatches(WithCrc(Hex("01 03 02 00 05"))));
    EXPECT_EQ(ToHex(WithCrc(Hex("01 03 02 00 05"))), "01 03 02 00 05 78 47");
}

TEST(ModbusReadReply, ShortValuesVectorIsGrownToCount) {
    ScriptedLink link;
    link.QueueReply(WithCrc(Hex("01 03 02 00 05")));
    std::vector<uint16_t> values;
    ASSERT_TRUE(ReadRegisters(link, 1, 0, 4, values));
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(values[0], 5);
}

struct WriteReplyCase {
    const char* name;
    Bytes reply;
    bool ok;
};

class WriteRegisterReply : public ::testing::TestWithParam<WriteReplyCase> {};

TEST_P(WriteRegisterReply, NeedsEchoAndCrc) {
    ScriptedLink link;
    link.QueueReply(GetParam().reply);
    EXPECT_EQ(WriteRegister(link, 1, 0x0200, 0xAA55), GetParam().ok);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, WriteRegisterReply,
    ::testing::Values(WriteReplyCase{"Echo", WithCrc(Hex("01 06 02 00 AA 55")), true},
                      WriteReplyCase{"EchoOfOtherValue", WithCrc(Hex("01 06 02 00 AA 56")), false},
                      WriteReplyCase{"EchoHighByteWrong", WithCrc(Hex("01 06 02 00 AB 55")), false},
                      WriteReplyCase{"EchoWithBadCrc", WithSwappedCrc(Hex("01 06 02 00 AA 55")),
                                     false},
                      WriteReplyCase{"ExceptionReply", WithCrc(Hex("01 86 02")), false},
                      WriteReplyCase{"FiveBytes", Hex("01 06 02 00 AA"), false},
                      WriteReplyCase{"Silence", {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

class WriteRegistersReply : public ::testing::TestWithParam<WriteReplyCase> {};

TEST_P(WriteRegistersReply, OnlyLengthAndCrc) {
    ScriptedLink link;
    link.QueueReply(GetParam().reply);
    EXPECT_EQ(WriteRegisters(link, 1, 257, 2, {1, 2}), GetParam().ok);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, WriteRegistersReply,
    ::testing::Values(WriteReplyCase{"Normal", WithCrc(Hex("01 10 01 01 00 02")), true},
                      WriteReplyCase{"ExceptionReplyIsARefusal", WithCrc(Hex("01 90 02")), false},
                      WriteReplyCase{"BadCrc", WithSwappedCrc(Hex("01 10 01 01 00 02")), false},
                      WriteReplyCase{"FourBytes", Hex("01 10 01 01"), false},
                      WriteReplyCase{"Silence", {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct CalibrationWriteCase {
    const char* name;
    uint16_t count;
    Bytes reply;
    bool ok;
};

class WriteCalibrationReply : public ::testing::TestWithParam<CalibrationWriteCase> {};

TEST_P(WriteCalibrationReply, ByteFiveMustEqualCount) {
    ScriptedLink link;
    link.QueueReply(GetParam().reply);
    const std::vector<uint16_t> values(GetParam().count, 7);
    EXPECT_EQ(WriteCalibrationRegisters(link, 1, 11300, GetParam().count, values), GetParam().ok);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, WriteCalibrationReply,
    ::testing::Values(
        CalibrationWriteCase{"CountOne", 1, WithCrc(Hex("01 40 32 C8 00 01")), true},
        CalibrationWriteCase{"Count128", 128, WithCrc(Hex("01 40 2C 24 00 80")), true},
        CalibrationWriteCase{"CountMismatch", 2, WithCrc(Hex("01 40 2C 24 00 01")), false},
        // 256 registers: the one-byte field can never equal the count, even holding 256's low 8
        // bits.
        CalibrationWriteCase{"Count256NeverPasses", 256, WithCrc(Hex("01 40 2C 24 01 00")), false},
        CalibrationWriteCase{"ExceptionReply", 1, WithCrc(Hex("01 C0 02")), false},
        CalibrationWriteCase{"BadCrc", 1, WithSwappedCrc(Hex("01 40 32 C8 00 01")), false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ModbusRefusals, OversizedOrShortWritesSendNothing) {
    ScriptedLink link;
    EXPECT_FALSE(WriteRegisters(link, 1, 0, 124, std::vector<uint16_t>(124)));
    EXPECT_FALSE(WriteRegisters(link, 1, 0, 3, {1, 2}));
    EXPECT_FALSE(WriteCalibrationRegisters(link, 1, 0, 496, std::vector<uint16_t>(496)));
    EXPECT_FALSE(WriteCalibrationRegisters(link, 1, 0, 2, {1}));
    EXPECT_EQ(link.ExchangeCount(), 0u);
    // The largest requests that fit are sent.
    WriteRegisters(link, 1, 0, 123, std::vector<uint16_t>(123));
    WriteCalibrationRegisters(link, 1, 0, 495, std::vector<uint16_t>(495));
    const auto sent = link.Exchanges();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].request.size(), 255u);
    EXPECT_EQ(sent[1].request.size(), 999u);
}

// Every transaction, for the closed-link and failed-exchange rows.
const std::vector<std::pair<const char*, std::function<bool(Link&)>>>& AllModbus() {
    static const std::vector<std::pair<const char*, std::function<bool(Link&)>>> all = {
        {"ReadRegisters", [](Link& l) { return ReadRegisters(l, 1, 0, 1, scratch); }},
        {"ReadRawSamples", [](Link& l) { return ReadRawSamples(l, 1, 0, 1, scratch); }},
        {"ReadCalibrationRegisters",
         [](Link& l) { return ReadCalibrationRegisters(l, 1, 0, 1, scratch); }},
        {"WriteRegister", [](Link& l) { return WriteRegister(l, 1, 0, 0); }},
        {"WriteRegisters", [](Link& l) { return WriteRegisters(l, 1, 0, 1, {0}); }},
        {"WriteCalibrationRegisters",
         [](Link& l) { return WriteCalibrationRegisters(l, 1, 0, 1, {0}); }},
    };
    return all;
}

TEST(ModbusLinkFailure, ClosedLinkFailsAndSendsNothing) {
    for (const auto& [name, run] : AllModbus()) {
        ScriptedLink link;
        link.SetOpen(false);
        link.SetResponder([](const Bytes& request, const TransactParams&) -> std::optional<Bytes> {
            return request; // would pass every echo check
        });
        EXPECT_FALSE(run(link)) << name;
        EXPECT_EQ(link.ExchangeCount(), 0u) << name;
    }
}

TEST(ModbusLinkFailure, FailedExchangeFails) {
    for (const auto& [name, run] : AllModbus()) {
        ScriptedLink link;
        link.QueueFailure();
        EXPECT_FALSE(run(link)) << name;
    }
}

TEST(ModbusLinkFailure, EchoingPeerSatisfiesTheWrites) {
    // A module that echoes a write request (as 0x06 does) answers every write in shape.
    for (const auto& [name, run] : AllModbus()) {
        ScriptedLink link;
        link.SetResponder([](const Bytes& request, const TransactParams&) -> std::optional<Bytes> {
            if (request[1] == kFcWriteRegisters || request[1] == kFcWriteCalibration)
                return WithCrc(Bytes(request.begin(), request.begin() + 6));
            if (request[1] == kFcWriteRegister) return request;
            return WithCrc(Bytes{request[0], request[1], 2, 0x12, 0x34});
        });
        EXPECT_TRUE(run(link)) << name;
    }
}

} // namespace
