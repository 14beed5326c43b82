#include "acquire/dlt645_pass.h"

#include "link/dlt645_frames.h"
#include "scripted_link.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const Dlt645Address kMeter = {0x37, 0, 0, 0, 0, 0}; // module address 37

// The module's answer to a read: identifier bytes then the value bytes, offset by the frame.
std::vector<uint8_t> Reply(uint8_t control, std::vector<uint8_t> identifier,
                           const std::vector<uint8_t>& value) {
    identifier.insert(identifier.end(), value.begin(), value.end());
    return BuildDlt645Frame(kMeter, control, uint8_t(identifier.size()), identifier);
}
std::vector<uint8_t> Reply1997(uint8_t di0, uint8_t di1, const std::vector<uint8_t>& value) {
    return Reply(0x81, {di0, di1}, value);
}
std::vector<uint8_t> Reply2007(std::vector<uint8_t> di, const std::vector<uint8_t>& value) {
    return Reply(0x91, std::move(di), value);
}

Dlt645Item Item(const char* infonum, const char* format, const char* name, const char* dw,
                const char* checkmc = "") {
    return {QString::fromUtf8(infonum), QString::fromUtf8(format), QString::fromUtf8(name),
            QString::fromUtf8(dw), QString::fromUtf8(checkmc)};
}

struct Recorder {
    std::vector<std::pair<int, AcquiredRow>> rows;
    std::vector<std::pair<int, int>> statuses; // counters at each status line
    int stopAfterStatus = -1;                  // keepRunning turns false after this many
    TestPoint point{1, 1, 0, 50};

    Dlt645PassHooks Hooks(const PassCounters& counters) {
        Dlt645PassHooks h;
        h.showRow = [this](int r, const AcquiredRow& row) { rows.emplace_back(r, row); };
        h.showStatus = [this, &counters] {
            statuses.emplace_back(counters.sent, counters.received);
        };
        h.keepRunning = [this] {
            return stopAfterStatus < 0 || int(statuses.size()) < stopAfterStatus;
        };
        h.testPoint = [this] { return point; };
        return h;
    }
};

const QList<Dlt645Item> k1997Items = {
    Item("0x9010", "XXXXXX.XX", "正向有功总电能", "kWh"),
    Item("0xB611", "XXX", "A相电压", "V", "Ua"),
    Item("0xB621", "XX.XX", "A相电流", "A", "Ia"),
};

TEST(ReadItems1997, AsksEachItemInOrderAndWritesRowsFromRowTwo) {
    ScriptedLink link;
    link.QueueReply(Reply1997(0x10, 0x90, {0x56, 0x34, 0x12, 0x00}));
    link.QueueReply(Reply1997(0x11, 0xB6, {0x30, 0x02})); // 230 V: fails at 220 V rated
    link.QueueReply(Reply1997(0x21, 0xB6, {0x00, 0x05})); // 05.00 A
    PassCounters counters;
    Recorder rec;
    EXPECT_TRUE(
        ReadItems1997(link, 37, k1997Items, CheckSettings{}, counters, rec.Hooks(counters)));

    const auto sent = link.Exchanges();
    ASSERT_EQ(sent.size(), 3u);
    const uint8_t di[3][2] = {{0x10, 0x90}, {0x11, 0xB6}, {0x21, 0xB6}};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(sent[k].request[1], 0x37) << "meter address in BCD";
        EXPECT_EQ(sent[k].request[10], uint8_t(di[k][0] + 0x33)) << "DI0 first, item " << k;
        EXPECT_EQ(sent[k].request[11], uint8_t(di[k][1] + 0x33)) << "item " << k;
    }
    ASSERT_EQ(rec.rows.size(), 3u);
    EXPECT_EQ(rec.rows[0].first, 2);
    EXPECT_EQ(rec.rows[0].second.value, QStringLiteral("001234.56 kWh"));
    EXPECT_EQ(rec.rows[1].first, 3);
    EXPECT_EQ(rec.rows[1].second,
              (AcquiredRow{QStringLiteral("A相电压"), QStringLiteral("230 V"), true}));
    EXPECT_EQ(rec.rows[2].first, 4);
    EXPECT_EQ(rec.rows[2].second.value, QStringLiteral("05.00 A"));
    EXPECT_FALSE(rec.rows[2].second.checkFailed);
    EXPECT_EQ(rec.statuses, (std::vector<std::pair<int, int>>{{1, 1}, {2, 2}, {3, 3}}));
}

TEST(ReadItems1997, AnUnansweredItemEndsThePass) {
    ScriptedLink link;
    link.QueueReply(Reply1997(0x10, 0x90, {0x56, 0x34, 0x12, 0x00}));
    link.QueueSilence();
    PassCounters counters{10, 9}; // the counters run on across passes
    Recorder rec;
    EXPECT_FALSE(
        ReadItems1997(link, 37, k1997Items, CheckSettings{}, counters, rec.Hooks(counters)));
    EXPECT_EQ(link.ExchangeCount(), 2u) << "the third item is not requested";
    EXPECT_EQ(counters.sent, 12);
    EXPECT_EQ(counters.received, 10);
    EXPECT_EQ(rec.rows.size(), 1u);
    EXPECT_EQ(rec.statuses.size(), 1u);
}

TEST(ReadItems1997, StoppingEndsThePassAfterTheCurrentItem) {
    ScriptedLink link;
    link.QueueReply(Reply1997(0x10, 0x90, {0x56, 0x34, 0x12, 0x00}));
    link.QueueReply(Reply1997(0x11, 0xB6, {0x20, 0x02}));
    PassCounters counters;
    Recorder rec;
    rec.stopAfterStatus = 1;
    EXPECT_TRUE(
        ReadItems1997(link, 37, k1997Items, CheckSettings{}, counters, rec.Hooks(counters)));
    EXPECT_EQ(link.ExchangeCount(), 1u);
    EXPECT_EQ(rec.rows.size(), 1u);
    EXPECT_EQ(counters.sent, 1);
    EXPECT_EQ(counters.received, 1);
}

TEST(ReadItems1997, EmptyTableIsASuccessfulPassWithoutRows) {
    ScriptedLink link;
    PassCounters counters;
    Recorder rec;
    EXPECT_TRUE(ReadItems1997(link, 1, {}, CheckSettings{}, counters, rec.Hooks(counters)));
    EXPECT_EQ(link.ExchangeCount(), 0u);
    EXPECT_TRUE(rec.rows.empty());
    EXPECT_TRUE(rec.statuses.empty());
}

TEST(ReadItems2007, MultiRowItemsShiftTheRowsAfterThem) {
    const QList<Dlt645Item> items = {
        Item("0x0101FF00", "075XX.XXXX YYMMDDHHmm", "正向有功最大需量及发生时间", "kW"),
        Item(" 0x02030100 ", "07XX.XXXX", "瞬时A相有功功率", "kW", "Pa"),
    };
    std::vector<uint8_t> demands;
    for (uint8_t k = 0; k < 5; ++k)
        demands.insert(demands.end(), {0x00, 0x00, k, k, 0x10, 0x01, 0x02, 0x24});
    ScriptedLink link;
    link.QueueReply(Reply2007({0x00, 0xFF, 0x01, 0x01}, demands));
    link.QueueReply(Reply2007({0x00, 0x01, 0x03, 0x02}, {0x00, 0x10, 0x81})); // -1.1000 kW
    PassCounters counters;
    Recorder rec;
    EXPECT_TRUE(ReadItems2007(link, 100, items, CheckSettings{}, counters, rec.Hooks(counters)));

    const auto sent = link.Exchanges();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].request[1], 0x00) << "address 100 is BCD 00";
    // D0 first on the wire: 00 FF 01 01 for 0x0101FF00.
    EXPECT_EQ(sent[0].request[10], uint8_t(0x00 + 0x33));
    EXPECT_EQ(sent[0].request[11], uint8_t(0xFF + 0x33));
    EXPECT_EQ(sent[1].request[12], uint8_t(0x03 + 0x33));

    ASSERT_EQ(rec.rows.size(), 3u);
    EXPECT_EQ(rec.rows[0].first, 2);
    EXPECT_EQ(rec.rows[0].second.name, QStringLiteral("正向有功最大需量及发生时间+第1时段"));
    EXPECT_EQ(rec.rows[1].first, 3);
    EXPECT_EQ(rec.rows[1].second.name, QStringLiteral("正向有功最大需量及发生时间(第2～4时段)"));
    EXPECT_EQ(rec.rows[2].first, 4);
    EXPECT_EQ(rec.rows[2].second, (AcquiredRow{QStringLiteral("瞬时A相有功功率"),
                                               QStringLiteral("-01.1000 kW"), false}));
    EXPECT_EQ(counters.sent, 2);
    EXPECT_EQ(counters.received, 2);
}

TEST(ReadItems2007, TheTestPointIsTakenAtEachItem) {
    const QList<Dlt645Item> items = {Item("0x02010100", "XXX.X", "A相电压", "V", "Ua"),
                                     Item("0x02010200", "XXX.X", "B相电压", "V", "Ub")};
    ScriptedLink link;
    link.QueueReply(Reply2007({0x00, 0x01, 0x01, 0x02}, {0x00, 0x22}));
    link.QueueReply(Reply2007({0x00, 0x02, 0x01, 0x02}, {0x00, 0x22}));
    PassCounters counters;
    Recorder rec;
    Dlt645PassHooks hooks = rec.Hooks(counters);
    auto show = hooks.showRow;
    hooks.showRow = [&rec, show](int r, const AcquiredRow& row) {
        show(r, row);
        rec.point.ku = 0; // the operator switches to 0 % after the first row
    };
    EXPECT_TRUE(ReadItems2007(link, 1, items, CheckSettings{}, counters, hooks));
    ASSERT_EQ(rec.rows.size(), 2u);
    EXPECT_FALSE(rec.rows[0].second.checkFailed);
    EXPECT_TRUE(rec.rows[1].second.checkFailed);
}

} // namespace
