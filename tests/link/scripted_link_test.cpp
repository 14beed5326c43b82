#include "scripted_link.h"
#include "test_bytes.h"

#include <gtest/gtest.h>

namespace {

const TransactParams kFour{1, 100, 4, 1, 100, 0};

TEST(ScriptedLink, AnswersInOrderThenFromResponderThenSilence) {
    ScriptedLink link;
    link.QueueReply(Hex("01"));
    link.QueueFailure();
    link.QueueSilence();
    EXPECT_EQ(link.Transact(Hex("A0"), kFour), std::optional<Bytes>(Hex("01")));
    EXPECT_EQ(link.Transact(Hex("A1"), kFour), std::nullopt);
    EXPECT_EQ(link.Transact(Hex("A2"), kFour), std::optional<Bytes>(Bytes{}));
    EXPECT_EQ(link.Transact(Hex("A3"), kFour), std::optional<Bytes>(Bytes{}));
    link.SetResponder([](const Bytes& request, const TransactParams&) -> std::optional<Bytes> {
        return Bytes{static_cast<uint8_t>(request[0] + 1)};
    });
    EXPECT_EQ(link.Transact(Hex("A4"), kFour), std::optional<Bytes>(Hex("A5")));
    EXPECT_EQ(link.PendingReplies(), 0u);
    const auto sent = link.Exchanges();
    ASSERT_EQ(sent.size(), 5u);
    for (std::size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(sent[i].request, Bytes{static_cast<uint8_t>(0xA0 + i)});
        EXPECT_EQ(sent[i].params, kFour);
    }
}

TEST(ScriptedLink, CutsRepliesAtTheReadSizeLikeThePort) {
    ScriptedLink link;
    link.QueueReply(Hex("01 02 03 04 05 06"));
    EXPECT_EQ(ToHex(*link.Transact(Hex("00"), kFour)), "01 02 03 04");
}

TEST(ScriptedLink, ClosedLinkRecordsNothingAndKeepsItsScript) {
    ScriptedLink link;
    link.QueueReply(Hex("01"));
    link.SetOpen(false);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(link.Transact(Hex("00"), kFour), std::nullopt);
    EXPECT_EQ(link.ExchangeCount(), 0u);
    link.SetOpen(true);
    EXPECT_EQ(link.Transact(Hex("00"), kFour), std::optional<Bytes>(Hex("01")));
}

} // namespace
