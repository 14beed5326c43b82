#include "link/yaao_datang.h"
#include "scripted_link.h"
#include "test_bytes.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const TransactParams kParams{1, 100, 512, 1, 50, 0};

struct RequestCase {
    const char* name;
    std::function<bool(Link&)> run;
    std::string request;
};

// The timeouts are those of every 亚奥 and 大唐 transaction; the protocol names the framing.
TransactParams ParamsOf(const std::string& request) {
    TransactParams params = kParams;
    params.protocol = request.rfind("55", 0) == 0 ? WireProtocol::Yaao : WireProtocol::Datang;
    return params;
}

class YaaoDatangRequest : public ::testing::TestWithParam<RequestCase> {};

TEST_P(YaaoDatangRequest, SendsExactFrameWithItsTimeouts) {
    ScriptedLink link;
    GetParam().run(link);
    ASSERT_EQ(link.ExchangeCount(), 1u);
    EXPECT_EQ(ToHex(link.LastRequest()), GetParam().request);
    EXPECT_EQ(link.LastParams(), ParamsOf(GetParam().request));
}

std::vector<uint16_t> words;
YaaoRecord record;

INSTANTIATE_TEST_SUITE_P(
    Transactions, YaaoDatangRequest,
    ::testing::Values(
        RequestCase{"YaaoPoll", [](Link& l) { return YaaoPoll(l, 1, words); }, "55 01 01 01 01 AA"},
        RequestCase{"YaaoClearEnergy",
                    [](Link& l) {
                        return YaaoCommand(l, 1, 7, {0xAA, 0x55});
                    },
                    "55 01 03 07 AA 55 06 AA"},
        RequestCase{"YaaoEnergyBase",
                    [](Link& l) {
                        return YaaoCommand(l, 0x10, 6, {0x00, 0x01, 0xE2, 0x40});
                    },
                    "55 10 05 06 00 01 E2 40 29 AA"},
        RequestCase{"YaaoQueryAddress", [](Link& l) { return YaaoQuery(l, 2, 4, record); },
                    "55 02 01 04 04 AA"},
        RequestCase{"YaaoQueryRaw", [](Link& l) { return YaaoQuery(l, 2, 0x11, record); },
                    "55 02 01 11 11 AA"},
        RequestCase{"DatangPoll", [](Link& l) { return DatangPoll(l, 1, words); },
                    "7E 0A 01 30 02 00 FF C4"},
        RequestCase{"DatangClearEnergy", [](Link& l) { return DatangClearEnergy(l, 1); },
                    "7E 0A 01 31 02 00 FF C3"},
        RequestCase{"DatangPollAddressWraps", [](Link& l) { return DatangPoll(l, 0xFF, words); },
                    "7E 0A FF 30 02 00 FF C6"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(YaaoRequest, DataBeyondTheLengthByteIsRefused) {
    ScriptedLink link;
    EXPECT_FALSE(YaaoCommand(link, 1, 6, Bytes(255, 0)));
    EXPECT_EQ(link.ExchangeCount(), 0u);
    YaaoCommand(link, 1, 6, Bytes(254, 1));
    const Bytes sent = link.LastRequest();
    ASSERT_EQ(sent.size(), 260u);
    EXPECT_EQ(sent[2], 255);
}

struct WordsCase {
    const char* name;
    Bytes reply;
    bool ok;
    std::vector<uint16_t> words;
};

class YaaoPollReply : public ::testing::TestWithParam<WordsCase> {};

TEST_P(YaaoPollReply, JudgedByLengthByte) {
    ScriptedLink link;
    link.QueueReply(GetParam().reply);
    std::vector<uint16_t> got{0xEEEE};
    EXPECT_EQ(YaaoPoll(link, 1, got), GetParam().ok);
    if (GetParam().ok) {
        EXPECT_EQ(got, GetParam().words);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, YaaoPollReply,
    ::testing::Values(
        WordsCase{"TenBytesTwoWords", Hex("55 01 05 01 12 34 AB CD 00 AA"), true, {0x1234, 0xABCD}},
        WordsCase{"LengthFourFails", Hex("55 01 04 01 12 34 AB CD 00 AA"), false, {}},
        WordsCase{"ChecksumAndEndNotExamined", Hex("55 01 05 09 00 05 00 06 77 00"), true, {5, 6}},
        WordsCase{"OddDataByteDropped", Hex("55 01 04 01 00 07 01 00 AA"), true, {7}},
        WordsCase{"NoWords", Hex("55 01 01 01 00 AA"), true, {}},
        WordsCase{"FiveBytesNoWords", Hex("55 01 00 00 AA"), true, {}},
        WordsCase{"FourBytes", Hex("55 01 00 00"), false, {}}, WordsCase{"Silence", {}, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(YaaoPollReply, LongestReplyDeliversAllItsWords) {
    Bytes reply{0x55, 0x01, 255, 0x01};
    for (int i = 0; i < 254; ++i)
        reply.push_back(static_cast<uint8_t>(i));
    reply.push_back(0);
    reply.push_back(0xAA);
    ASSERT_EQ(reply.size(), 260u);
    ScriptedLink link;
    link.QueueReply(reply);
    std::vector<uint16_t> got;
    ASSERT_TRUE(YaaoPoll(link, 1, got));
    ASSERT_EQ(got.size(), 127u);
    EXPECT_EQ(got[126], 0xFCFD);
}

struct QueryCase {
    const char* name;
    Bytes reply;
    bool ok;
    Bytes data;
};

class YaaoQueryReply : public ::testing::TestWithParam<QueryCase> {};

TEST_P(YaaoQueryReply, DeliversBytesBetweenCommandAndChecksum) {
    ScriptedLink link;
    link.QueueReply(GetParam().reply);
    YaaoRecord got;
    got.count = 99;
    got.bytes = {1, 2, 3};
    EXPECT_EQ(YaaoQuery(link, 1, 4, got), GetParam().ok);
    if (!GetParam().ok) return;
    EXPECT_EQ(got.count, GetParam().data.size());
    EXPECT_EQ(ToHex(got.bytes), ToHex(GetParam().data));
}

INSTANTIATE_TEST_SUITE_P(
    Replies, YaaoQueryReply,
    ::testing::Values(QueryCase{"Address", Hex("55 01 02 04 01 05 AA"), true, Hex("01")},
                      QueryCase{"SixBytesCountZero", Hex("55 01 01 04 04 AA"), true, {}},
                      // A frame without even a command byte carries no data (not a count of -1).
                      QueryCase{"FiveBytesCountZero", Hex("55 01 00 00 AA"), true, {}},
                      QueryCase{"LengthMismatch", Hex("55 01 03 04 01 05 AA"), false, {}},
                      QueryCase{"Silence", {}, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct CommandCase {
    const char* name;
    Bytes reply;
    bool ok;
};

class YaaoCommandReply : public ::testing::TestWithParam<CommandCase> {};

TEST_P(YaaoCommandReply, JudgedByLengthByte) {
    ScriptedLink link;
    link.QueueReply(GetParam().reply);
    EXPECT_EQ(YaaoCommand(link, 1, 7, {0xAA, 0x55}), GetParam().ok);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, YaaoCommandReply,
    ::testing::Values(CommandCase{"Ack", Hex("55 01 01 07 07 AA"), true},
                      CommandCase{"BadChecksumStillPasses", Hex("55 01 01 07 00 00"), true},
                      CommandCase{"LengthMismatch", Hex("55 01 02 07 07 AA"), false},
                      CommandCase{"Silence", {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

Bytes DatangReply(Bytes body) {
    unsigned sum = 0;
    for (std::size_t i = 1; i < body.size(); ++i)
        sum += body[i];
    body.push_back(static_cast<uint8_t>((0x100 - (sum & 0xFF)) & 0xFF));
    return body;
}

class DatangPollReply : public ::testing::TestWithParam<WordsCase> {};

TEST_P(DatangPollReply, JudgedByChecksum) {
    ScriptedLink link;
    link.QueueReply(GetParam().reply);
    std::vector<uint16_t> got{0xEEEE};
    EXPECT_EQ(DatangPoll(link, 1, got), GetParam().ok);
    if (GetParam().ok) {
        EXPECT_EQ(got, GetParam().words);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, DatangPollReply,
    ::testing::Values(
        WordsCase{"TwelveBytesTwoWordsLowFirst",
                  DatangReply(Hex("7E 0A 01 30 02 00 FF 34 12 CD AB")),
                  true,
                  {0x1234, 0xABCD}},
        WordsCase{"HeaderNotExamined", DatangReply(Hex("00 00 09 99 00 00 00 01 00")), true, {1}},
        WordsCase{"ChecksumOffByOne",
                  [] {
                      Bytes b = DatangReply(Hex("7E 0A 01 30 02 00 FF 34 12 CD AB"));
                      b.back() += 1;
                      return b;
                  }(),
                  false,
                  {}},
        WordsCase{"SixBytesNoWords", DatangReply(Hex("7E 0A 01 30 02")), true, {}},
        WordsCase{"FiveBytes", DatangReply(Hex("7E 0A 01 30")), false, {}},
        WordsCase{"Silence", {}, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

class DatangClearReply : public ::testing::TestWithParam<CommandCase> {};

TEST_P(DatangClearReply, ByteSevenIsChecksumOfOneToSix) {
    ScriptedLink link;
    link.QueueReply(GetParam().reply);
    EXPECT_EQ(DatangClearEnergy(link, 1), GetParam().ok);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, DatangClearReply,
    ::testing::Values(CommandCase{"Echo", Hex("7E 0A 01 31 02 00 FF C3"), true},
                      CommandCase{"TrailingBytesIgnored", Hex("7E 0A 01 31 02 00 FF C3 00 00"),
                                  true},
                      CommandCase{"WrongChecksum", Hex("7E 0A 01 31 02 00 FF C4"), false},
                      CommandCase{"SevenBytes", Hex("7E 0A 01 31 02 00 FF"), false},
                      CommandCase{"Silence", {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(YaaoDatangLinkFailure, ClosedLinkFailsAtOnceAndSendsNothing) {
    ScriptedLink link;
    link.SetOpen(false);
    std::vector<uint16_t> w;
    YaaoRecord r;
    EXPECT_FALSE(YaaoPoll(link, 1, w));
    EXPECT_FALSE(YaaoCommand(link, 1, 7, {0xAA, 0x55}));
    EXPECT_FALSE(YaaoQuery(link, 1, 4, r));
    EXPECT_FALSE(DatangPoll(link, 1, w));
    EXPECT_FALSE(DatangClearEnergy(link, 1));
    EXPECT_EQ(link.ExchangeCount(), 0u);
}

} // namespace
