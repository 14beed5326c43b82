#include "common/conversion.h"
#include "link/dlt645.h"
#include "scripted_link.h"
#include "test_bytes.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const Dlt645Address kModule1{0x01, 0, 0, 0, 0, 0};

// A frame as the meter would send it: data given before the 0x33 offset.
Bytes MeterFrame(uint8_t control, const Bytes& data) {
    return BuildDlt645Frame({0x01, 0, 0, 0, 0, 0}, control, static_cast<uint8_t>(data.size()),
                            data);
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct RequestCase {
    const char* name;
    std::function<bool(Link&)> run;
    std::string request;
    TransactParams params;
};

class Dlt645Request : public ::testing::TestWithParam<RequestCase> {};

TEST_P(Dlt645Request, SendsExactFrameWithItsTimeouts) {
    ScriptedLink link;
    GetParam().run(link);
    ASSERT_EQ(link.ExchangeCount(), 1u);
    EXPECT_EQ(ToHex(link.LastRequest()), GetParam().request);
    // The table holds the timeouts; every one of these exchanges is framed as DL/T 645.
    TransactParams framed = GetParam().params;
    framed.protocol = WireProtocol::Dlt645;
    EXPECT_EQ(link.LastParams(), framed);
}

std::vector<uint8_t> out;

INSTANTIATE_TEST_SUITE_P(
    Transactions, Dlt645Request,
    ::testing::Values(
        RequestCase{"ReadData1997Di9010",
                    [](Link& l) { return ReadData1997(l, kModule1, 0x10, 0x90, out); },
                    "68 01 00 00 00 00 00 68 01 02 43 C3 DA 16",
                    {0, 100, 256, 0, 150, 0}},
        RequestCase{"ReadData2007",
                    [](Link& l) { return ReadData2007(l, kModule1, "0x02010100", out); },
                    "68 01 00 00 00 00 00 68 11 04 33 34 34 35 B6 16",
                    {0, 100, 256, 0, 120, 0}},
        RequestCase{"ReadData2007TrimsAndTakesLowerCase",
                    [](Link& l) { return ReadData2007(l, kModule1, "  0x0201ff00\t", out); },
                    "68 01 00 00 00 00 00 68 11 04 33 32 34 35 B4 16",
                    {0, 100, 256, 0, 120, 0}},
        RequestCase{"ClearEnergy1997",
                    [](Link& l) { return ClearEnergy1997(l, kModule1, 0x04, 2); },
                    "68 01 00 00 00 00 00 68 04 02 F6 E5 B2 16",
                    {1, 100, 256, 1, 100, 0}},
        RequestCase{"ClearEnergy1997LengthAsGiven",
                    [](Link& l) { return ClearEnergy1997(l, kModule1, 0x04, 0); },
                    "68 01 00 00 00 00 00 68 04 00 F6 E5 B0 16",
                    {1, 100, 256, 1, 100, 0}},
        RequestCase{"ClearDemand1997",
                    [](Link& l) { return ClearDemand1997(l, kModule1, 0x10, 0); },
                    "68 01 00 00 00 00 00 68 10 00 E1 16",
                    {1, 100, 256, 1, 100, 0}},
        RequestCase{"ClearCommand2007",
                    [](Link& l) { return ClearCommand2007(l, kModule1, 0x1A, 8, Bytes(8, 0)); },
                    "68 01 00 00 00 00 00 68 1A 08 33 33 33 33 33 33 33 33 8B 16",
                    {1, 100, 256, 1, 100, 500}},
        RequestCase{"WriteData645Broadcast",
                    [](Link& l) {
                        return WriteData645(l, {0x99, 0x99, 0x99, 0x99, 0x99, 0x99}, 0x08, 2,
                                            {0x00, 0xCD, 0xEE});
                    },
                    "68 99 99 99 99 99 99 68 08 02 33 00 A3 16",
                    {0, 100, 256, 0, 100, 500}}),
    [](const auto& info) { return std::string(info.param.name); });

// The clears go to the module's meter address as every other frame does: the bus address in BCD.
struct ClearAddressCase {
    const char* name;
    uint8_t moduleAddress;
    std::function<bool(Link&, const Dlt645Address&)> clear;
    std::string request;
};

class Dlt645ClearAddress : public ::testing::TestWithParam<ClearAddressCase> {};

TEST_P(Dlt645ClearAddress, SendsTheBcdAddress) {
    ScriptedLink link;
    GetParam().clear(link, Dlt645ModuleAddress(GetParam().moduleAddress));
    ASSERT_EQ(link.ExchangeCount(), 1u);
    EXPECT_EQ(ToHex(link.LastRequest()), GetParam().request);
}

const auto kEnergy1997 = [](Link& l, const Dlt645Address& a) {
    return ClearEnergy1997(l, a, 0x04, 2);
};
const auto kDemand1997 = [](Link& l, const Dlt645Address& a) {
    return ClearDemand1997(l, a, 0x10, 0);
};

INSTANTIATE_TEST_SUITE_P(
    Addresses, Dlt645ClearAddress,
    ::testing::Values(
        ClearAddressCase{"Energy1997At1", 1, kEnergy1997,
                         "68 01 00 00 00 00 00 68 04 02 F6 E5 B2 16"},
        ClearAddressCase{"Energy1997At12", 12, kEnergy1997,
                         "68 12 00 00 00 00 00 68 04 02 F6 E5 C3 16"},
        ClearAddressCase{"Energy1997At255", 255, kEnergy1997,
                         "68 55 00 00 00 00 00 68 04 02 F6 E5 06 16"},
        ClearAddressCase{"Demand1997At10", 10, kDemand1997, "68 10 00 00 00 00 00 68 10 00 F0 16"},
        ClearAddressCase{"Demand1997At112", 112, kDemand1997,
                         "68 12 00 00 00 00 00 68 10 00 F2 16"},
        ClearAddressCase{"Energy2007At12", 12,
                         [](Link& l, const Dlt645Address& a) {
                             return ClearCommand2007(l, a, 0x1A, 8, Bytes(8, 0));
                         },
                         "68 12 00 00 00 00 00 68 1A 08 33 33 33 33 33 33 33 33 9C 16"},
        ClearAddressCase{"Demand2007At99", 99,
                         [](Link& l, const Dlt645Address& a) {
                             return ClearCommand2007(l, a, 0x19, 8, Bytes(8, 0));
                         },
                         "68 99 00 00 00 00 00 68 19 08 33 33 33 33 33 33 33 33 22 16"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Dlt645Request, ChecksumByteIsSumOfEverythingBefore) {
    const Bytes frame = BuildDlt645Frame({1, 2, 3, 4, 5, 6}, 0x11, 4, Bytes{0xFF, 0, 1, 2});
    ASSERT_EQ(frame.size(), 16u);
    unsigned sum = 0;
    for (std::size_t i = 0; i + 2 < frame.size(); ++i)
        sum += frame[i];
    EXPECT_EQ(frame[14], sum & 0xFF);
    EXPECT_EQ(frame[10], 0x32); // 0xFF + 0x33 wraps
}

TEST(Dlt645Request, RefusedCommandsSendNothing) {
    ScriptedLink link;
    EXPECT_FALSE(ClearCommand2007(link, kModule1, 0x1A, 21, Bytes(21, 0)));
    EXPECT_FALSE(ClearCommand2007(link, kModule1, 0x1A, 8, Bytes(7, 0)));
    EXPECT_FALSE(WriteData645(link, kModule1, 0x14, 4, Bytes(3, 0)));
    EXPECT_EQ(link.ExchangeCount(), 0u);
}

class Identifier2007Bad : public ::testing::TestWithParam<QString> {};

TEST_P(Identifier2007Bad, RaisesConversionErrorAndSendsNothing) {
    ScriptedLink link;
    std::vector<uint8_t> data;
    EXPECT_THROW(ReadData2007(link, kModule1, GetParam(), data), ConversionError);
    EXPECT_EQ(link.ExchangeCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Texts, Identifier2007Bad,
                         ::testing::Values(QString(), QString("0x"), QString("0x0201010"),
                                           QString("   0x0201010   "), QString("0x0201010G"),
                                           QString("0x 2010100"), QString("0x02-10100"),
                                           QStringLiteral("0x0201０100"), QString("0x0201 100")));

TEST(Identifier2007, PrefixIsNotExaminedAndTailIgnored) {
    const std::array<uint8_t, 4> expected{0x00, 0x01, 0x01, 0x02};
    EXPECT_EQ(Identifier2007Bytes("0x02010100"), expected);
    EXPECT_EQ(Identifier2007Bytes("$$02010100"), expected);
    EXPECT_EQ(Identifier2007Bytes("0x02010100 ; kWh"), expected);
    EXPECT_EQ(Identifier2007Bytes(QStringLiteral("电能02010100")), expected);
}

struct ReplyCase {
    const char* name;
    Bytes reply;
    bool ok;
    Bytes delivered; // when ok
};

class Read1997Reply : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(Read1997Reply, JudgedAndDelivered) {
    ScriptedLink link;
    link.QueueReply(GetParam().reply);
    std::vector<uint8_t> data{0xEE};
    EXPECT_EQ(ReadData1997(link, kModule1, 0x10, 0x90, data), GetParam().ok);
    if (GetParam().ok) {
        EXPECT_EQ(ToHex(data), ToHex(GetParam().delivered));
    }
}

const Bytes kEnergy97 = MeterFrame(0x81, Hex("10 90 56 34 12 00"));

INSTANTIATE_TEST_SUITE_P(
    Replies, Read1997Reply,
    ::testing::Values(
        // Data after the identifier, then checksum and end byte, each minus 0x33.
        ReplyCase{
            "Normal", kEnergy97, true,
            Concat(Hex("56 34 12 00"), Bytes{static_cast<uint8_t>(kEnergy97[16] - 0x33), 0xE3})},
        ReplyCase{"ErrorReplyPassesControlUnchecked", MeterFrame(0xC1, Hex("01")), true,
                  Bytes{0xE3}},
        ReplyCase{"PreambleRefused", Concat(Hex("FE FE FE FE"), kEnergy97), false, {}},
        ReplyCase{"WrongChecksum",
                  [] {
                      Bytes b = kEnergy97;
                      b[b.size() - 2] ^= 1;
                      return b;
                  }(),
                  false,
                  {}},
        ReplyCase{"MissingEnd", Bytes(kEnergy97.begin(), kEnergy97.end() - 1), false, {}},
        ReplyCase{"FourBytes", Hex("68 68 16 16"), false, {}},
        ReplyCase{"MinimalFivePasses", Hex("68 00 00 68 16"), true, {}},
        ReplyCase{"Silence", {}, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

class Read2007Reply : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(Read2007Reply, JudgedAndDelivered) {
    ScriptedLink link;
    link.QueueReply(GetParam().reply);
    std::vector<uint8_t> data{0xEE};
    EXPECT_EQ(ReadData2007(link, kModule1, "0x02010100", data), GetParam().ok);
    if (GetParam().ok) {
        EXPECT_EQ(ToHex(data), ToHex(GetParam().delivered));
    }
}

const Bytes kVoltage07 = MeterFrame(0x91, Hex("00 01 01 02 00 22"));

INSTANTIATE_TEST_SUITE_P(
    Replies, Read2007Reply,
    ::testing::Values(
        ReplyCase{"Normal", kVoltage07, true,
                  Concat(Hex("00 22"), Bytes{static_cast<uint8_t>(kVoltage07[16] - 0x33), 0xE3})},
        ReplyCase{"OtherControlRefused", MeterFrame(0xD1, Hex("00 01 01 02 00 22")), false, {}},
        ReplyCase{"PreambleRefused", Concat(Hex("FE FE"), kVoltage07), false, {}},
        ReplyCase{"EightBytes", Hex("68 01 00 00 00 00 B9 16"), false, {}},
        ReplyCase{"Silence", {}, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

class CommandReply : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(CommandReply, JudgedByFrameOnly) {
    const std::vector<std::function<bool(Link&)>> commands = {
        [](Link& l) { return ClearEnergy1997(l, kModule1, 0x04, 2); },
        [](Link& l) { return ClearDemand1997(l, kModule1, 0x10, 0); },
        [](Link& l) { return ClearCommand2007(l, kModule1, 0x19, 8, Bytes(8, 0)); },
        [](Link& l) { return WriteData645(l, kModule1, 0x14, 1, {0x05}); },
    };
    for (std::size_t i = 0; i < commands.size(); ++i) {
        ScriptedLink link;
        link.QueueReply(GetParam().reply);
        EXPECT_EQ(commands[i](link), GetParam().ok) << "command " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, CommandReply,
    ::testing::Values(
        ReplyCase{"Normal", MeterFrame(0x84, {}), true, {}},
        ReplyCase{"ErrorReplyPasses", MeterFrame(0xC4, Hex("02")), true, {}},
        ReplyCase{"PreambleRefused", Concat(Hex("FE"), MeterFrame(0x84, {})), false, {}},
        ReplyCase{"WrongChecksum", Hex("68 01 00 00 00 00 00 68 84 00 00 16"), false, {}},
        ReplyCase{"Silence", {}, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Dlt645LinkFailure, ClosedLinkFailsAtOnceAndSendsNothing) {
    ScriptedLink link;
    link.SetOpen(false);
    std::vector<uint8_t> data;
    EXPECT_FALSE(ReadData1997(link, kModule1, 0x10, 0x90, data));
    EXPECT_FALSE(ReadData2007(link, kModule1, "0x02010100", data));
    EXPECT_FALSE(ClearEnergy1997(link, kModule1, 4, 2));
    EXPECT_FALSE(ClearDemand1997(link, kModule1, 0x10, 0));
    EXPECT_FALSE(ClearCommand2007(link, kModule1, 0x1A, 8, Bytes(8, 0)));
    EXPECT_FALSE(WriteData645(link, kModule1, 0x08, 0, {}));
    EXPECT_EQ(link.ExchangeCount(), 0u);
}

struct ByteTextCase {
    uint8_t value;
    std::string hex;
    int bcd;
};

class ByteConversions : public ::testing::TestWithParam<ByteTextCase> {};

TEST_P(ByteConversions, HexTextAndBcd) {
    EXPECT_EQ(HexByteText(GetParam().value), GetParam().hex);
    EXPECT_EQ(BcdToInt(GetParam().value), GetParam().bcd);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, ByteConversions,
    ::testing::Values(ByteTextCase{0x0A, "0A", 10}, ByteTextCase{0x00, "00", 0},
                      ByteTextCase{0x59, "59", 59}, ByteTextCase{0x99, "99", 99},
                      ByteTextCase{0xFF, "FF", 165}, ByteTextCase{0xA3, "A3", 103}));

} // namespace
