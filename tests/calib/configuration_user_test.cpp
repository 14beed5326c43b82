// The user page's downloads and service commands on a scripted line: the exact bytes of the
// DL/T 645 write items, the Modbus blocks, the energy base, the 亚奥 reads and the clear commands.

#include "calib/user_frames.h"
#include "common/conversion.h"
#include "link/dlt645_frames.h"
#include "link/modbus_frames.h"
#include "link/yaao_datang_frames.h"
#include "scripted_link.h"
#include "test_bytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

namespace {

UserParameters Defaults() {
    UserParameters p;
    const int hours[] = {1, 7, 13, 19};
    for (int n = 0; n < 4; ++n)
        p.segments[n] = {hours[n], 0, n + 1};
    p.readingDay = 1;
    p.readingHour = 1;
    p.tariffs = 4;
    p.segmentCount = 4;
    p.pulseConstant = 3200;
    p.startCurrent = 10;
    p.pt = 1;
    p.ct = 1;
    p.overVoltage = 125;
    p.underVoltage = 70;
    p.phaseBreak = 50;
    p.threshold = 10;
    return p;
}

class CountingProgress : public DownloadProgress {
public:
    int steps = 0;
    std::vector<int> waits;
    void Step() override { ++steps; }
    void Wait(int ms) override { waits.push_back(ms); }
};

// A module that accepts everything: Modbus writes echoed, DL/T 645 commands confirmed, 亚奥
// commands answered with no data.
std::optional<Bytes> Accepting(const Bytes& request, const TransactParams&) {
    if (request.empty()) return Bytes{};
    if (request[0] == 0x68) {
        Bytes reply{0x68,       request[1], request[2],
                    request[3], request[4], request[5],
                    request[6], 0x68,       uint8_t(request[8] | 0x80),
                    0};
        uint8_t sum = 0;
        for (uint8_t b : reply)
            sum = uint8_t(sum + b);
        reply.push_back(sum);
        reply.push_back(0x16);
        return reply;
    }
    if (request[0] == 0x55) return Bytes{0x55, request[1], 0x01, request[3], request[3], 0xAA};
    if (request[0] == 0x7E) {
        Bytes reply{0x7E, 0x0A, request[2], 0x31, 0x02, 0x00, 0xFF};
        uint8_t sum = 0;
        for (std::size_t k = 1; k < reply.size(); ++k)
            sum = uint8_t(sum + reply[k]);
        reply.push_back(uint8_t(-sum));
        return reply;
    }
    Bytes reply;
    if (request[1] == 0x06) {
        reply = request;
        return reply;
    }
    reply.assign(request.begin(), request.begin() + 6);
    const uint16_t crc = Crc16(reply);
    reply.push_back(uint8_t(crc & 0xFF));
    reply.push_back(uint8_t(crc >> 8));
    return reply;
}

// The data field of a DL/T 645 request, offset removed.
Bytes DataOf(const Bytes& frame) {
    Bytes data;
    for (std::size_t k = 0; k < frame[9]; ++k)
        data.push_back(uint8_t(frame[10 + k] - 0x33));
    return data;
}

const QDateTime kNow(QDate(2013, 6, 17), QTime(9, 45, 30));

// The request that carries an identifier (1997: DI0 DI1; 2007: 4 bytes) among the exchanges.
std::optional<Bytes> ValueOf(const std::vector<ScriptedLink::Exchange>& exchanges, uint32_t di,
                             bool edition2007) {
    for (const auto& e : exchanges) {
        if (e.request[0] != 0x68 || e.request[1] == 0x99) continue;
        const Bytes data = DataOf(e.request);
        if (edition2007) {
            if (data.size() >= 12 &&
                (uint32_t(data[3]) << 24 | uint32_t(data[2]) << 16 | data[1] << 8 | data[0]) == di)
                return Bytes(data.begin() + 12, data.end());
        } else if (data.size() >= 2 && uint32_t(data[1] << 8 | data[0]) == di) {
            return Bytes(data.begin() + 2, data.end());
        }
    }
    return std::nullopt;
}

} // namespace

TEST(Bcd, TwoDigitsOfTheLastPair) {
    EXPECT_EQ(BcdByte(125), 0x25);
    EXPECT_EQ(BcdByte(12), 0x12);
    EXPECT_EQ(BcdByte(112), 0x12);
    EXPECT_EQ(BcdByte(0), 0x00);
    EXPECT_EQ(BcdByte(99), 0x99);
}

struct ItemCase {
    const char* name;
    bool edition2007;
    uint32_t di;
    const char* bytes;
};

void PrintTo(const ItemCase& c, std::ostream* os) {
    *os << c.name;
}

class UserItemTest : public testing::TestWithParam<ItemCase> {};

// Each item of both downloads on the line, with its identifier and value bytes.
TEST_P(UserItemTest, DownloadSendsTheItem) {
    const ItemCase c = GetParam();
    UserParameters p = Defaults();
    p.pt = 1200;
    p.ct = 75;
    p.lowBaudIndex = 1;
    p.wiring = 2;
    p.ctCount = 1;
    p.harmonic = 1;
    p.demandMethod = 1;
    p.startCurrent = 4;
    p.segments[11] = {23, 59, 4};
    ScriptedLink link;
    link.SetResponder(Accepting);
    CountingProgress progress;
    const bool ok = c.edition2007 ? UserDownload2007(link, 12, p, kNow, progress)
                                  : UserDownload1997(link, 12, p, kNow, progress);
    ASSERT_TRUE(ok);
    const auto value = ValueOf(link.Exchanges(), c.di, c.edition2007);
    ASSERT_TRUE(value) << c.name;
    EXPECT_EQ(ToHex(*value), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Items, UserItemTest,
    testing::Values(
        ItemCase{"S1", false, 0xC331, "01 00 01"}, ItemCase{"S4", false, 0xC334, "04 00 19"},
        ItemCase{"S12", false, 0xC33C, "04 59 23"}, ItemCase{"Tariffs", false, 0xC313, "04"},
        ItemCase{"Segments", false, 0xC312, "04"}, ItemCase{"DayHour", false, 0xC117, "01 01"},
        ItemCase{"PulseMode", false, 0xC213, "00 00"}, ItemCase{"Mccs", false, 0xC030, "00 32 00"},
        ItemCase{"Qddl", false, 0xC214, "04 00"}, ItemCase{"Wiring", false, 0xC215, "02 00"},
        ItemCase{"Pt", false, 0xC216, "00 12"}, ItemCase{"Ct", false, 0xC217, "75 00"},
        ItemCase{"CtNum", false, 0xC218, "01 00"}, ItemCase{"Harmonic", false, 0xC219, "01 00"},
        ItemCase{"LowBaud", false, 0xC21A, "01 00"}, ItemCase{"Gyxz", false, 0xC21B, "25 01"},
        ItemCase{"Qyxz", false, 0xC21C, "70 00"}, ItemCase{"Dxxz", false, 0xC21D, "50 00"},
        ItemCase{"Gqdfz", false, 0xC21E, "10 00"}, ItemCase{"Demand", false, 0xC21F, "01 00"},
        ItemCase{"Tariffs07", true, 0x04000204, "04"},
        ItemCase{"Segments07", true, 0x04000203, "04"},
        ItemCase{"DayHour07", true, 0x04000108, "01 01"},
        ItemCase{"PulseMode07", true, 0x04000109, "00 00"},
        ItemCase{"Mccs07", true, 0x04000409, "00 32 00"},
        ItemCase{"Qddl07", true, 0x0400040E, "04 00"},
        ItemCase{"Wiring07", true, 0x0400040F, "02 00"},
        ItemCase{"Pt07", true, 0x04000F01, "00 12"}, ItemCase{"Ct07", true, 0x04000F02, "75 00"},
        ItemCase{"CtNum07", true, 0x04000F03, "01 00"},
        ItemCase{"Harmonic07", true, 0x04000F04, "01 00"},
        ItemCase{"LowBaud07", true, 0x04000F05, "01 00"},
        ItemCase{"Gyxz07", true, 0x04000E03, "25 01"},
        ItemCase{"Qyxz07", true, 0x04000E04, "70 00"},
        ItemCase{"Dxxz07", true, 0x04000E05, "50 00"},
        ItemCase{"Gqdfz07", true, 0x04000E06, "10 00"},
        ItemCase{"Demand07", true, 0x04000E07, "01 00"}),
    [](const testing::TestParamInfo<ItemCase>& info) { return std::string(info.param.name); });

TEST(UserDownload645, FramesCarryAddressControlPasswordAndOrder) {
    UserParameters p = Defaults();
    p.pulseMode = 1; // reactive pulses: the constant goes to the reactive item
    for (bool edition2007 : {false, true}) {
        ScriptedLink link;
        link.SetResponder(Accepting);
        CountingProgress progress;
        ASSERT_TRUE(edition2007 ? UserDownload2007(link, 112, p, kNow, progress)
                                : UserDownload1997(link, 112, p, kNow, progress));
        const auto ex = link.Exchanges();
        ASSERT_EQ(ex.size(), edition2007 ? 19u : 30u);
        // First the time broadcast: second, minute, hour, day, month, year as BCD.
        EXPECT_EQ(ToHex(Bytes(ex[0].request.begin() + 1, ex[0].request.begin() + 7)),
                  "99 99 99 99 99 99");
        EXPECT_EQ(ex[0].request[8], 0x08);
        EXPECT_EQ(ToHex(DataOf(ex[0].request)), "30 45 09 17 06 13");
        for (std::size_t k = 1; k < ex.size(); ++k) {
            const Bytes& f = ex[k].request;
            EXPECT_EQ(ToHex(Bytes(f.begin() + 1, f.begin() + 7)), "12 00 00 00 00 00");
            EXPECT_EQ(f[8], edition2007 ? 0x14 : 0x04);
            if (edition2007) {
                const Bytes data = DataOf(f);
                EXPECT_EQ(ToHex(Bytes(data.begin() + 4, data.begin() + 12)),
                          "02 00 00 00 00 00 00 00");
            }
        }
        EXPECT_EQ(progress.steps, int(ex.size()) + 1);
        if (edition2007) {
            EXPECT_EQ(ToHex(*ValueOf(ex, 0x0400040A, true)), "00 32 00");
            EXPECT_FALSE(ValueOf(ex, 0x04000409, true));
            const Bytes all = *ValueOf(ex, 0x04010001, true);
            ASSERT_EQ(all.size(), 36u);
            EXPECT_EQ(ToHex(Bytes(all.begin(), all.begin() + 12)),
                      "01 00 01 02 00 07 03 00 13 04 00 19");
            EXPECT_TRUE(std::all_of(all.begin() + 12, all.end(), [](uint8_t b) { return b == 0; }));
        } else {
            EXPECT_EQ(ToHex(*ValueOf(ex, 0xC031, false)), "00 32 00");
            EXPECT_FALSE(ValueOf(ex, 0xC030, false));
            // Segments first, in order.
            EXPECT_EQ(DataOf(ex[1].request)[0], 0x31);
            EXPECT_EQ(DataOf(ex[12].request)[0], 0x3C);
        }
    }
}

// The largest value each DL/T 645 range admits goes out as its own digits: none loses a digit to
// the item's width.
TEST(UserDownload645, TheTopOfEveryRangeGoesOutAsItsDigits) {
    const FieldRanges& r = kDlt645FieldRanges;
    UserParameters p = Defaults();
    for (TimeSegment& s : p.segments)
        s = {r.hour.maximum, r.minute.maximum, r.tariff.maximum};
    p.readingDay = r.readingDay.maximum;
    p.readingHour = r.readingHour.maximum;
    p.tariffs = r.tariffs.maximum;
    p.segmentCount = r.segmentCount.maximum;
    p.pulseConstant = r.pulseConstant.maximum;
    p.startCurrent = r.startCurrent.maximum;
    p.pt = r.pt.maximum;
    p.ct = r.ct.maximum;
    p.overVoltage = p.underVoltage = p.phaseBreak = p.threshold = r.limit.maximum;
    const std::tuple<uint32_t, uint32_t, const char*> items[] = {
        {0xC331, 0, "99 99 99"},          {0xC313, 0x04000204, "99"},
        {0xC312, 0x04000203, "99"},       {0xC117, 0x04000108, "99 99"},
        {0xC030, 0x04000409, "99 99 99"}, {0xC214, 0x0400040E, "99 99"},
        {0xC216, 0x04000F01, "00 50"},    {0xC217, 0x04000F02, "99 99"},
        {0xC21B, 0x04000E03, "99 99"},    {0xC21C, 0x04000E04, "99 99"},
        {0xC21D, 0x04000E05, "99 99"},    {0xC21E, 0x04000E06, "99 99"}};
    for (bool edition2007 : {false, true}) {
        ScriptedLink link;
        link.SetResponder(Accepting);
        CountingProgress progress;
        ASSERT_TRUE(edition2007 ? UserDownload2007(link, 1, p, kNow, progress)
                                : UserDownload1997(link, 1, p, kNow, progress));
        for (const auto& [di1997, di2007, bytes] : items) {
            if (edition2007 && di2007 == 0) continue;
            const auto value =
                ValueOf(link.Exchanges(), edition2007 ? di2007 : di1997, edition2007);
            ASSERT_TRUE(value) << std::hex << (edition2007 ? di2007 : di1997);
            EXPECT_EQ(ToHex(*value), bytes) << std::hex << (edition2007 ? di2007 : di1997);
        }
        if (edition2007) {
            const Bytes all = *ValueOf(link.Exchanges(), 0x04010001, true);
            EXPECT_TRUE(std::all_of(all.begin(), all.end(), [](uint8_t b) { return b == 0x99; }));
        }
    }
}

TEST(UserDownload645, StopsAtTheFirstUnansweredItem) {
    for (bool edition2007 : {false, true}) {
        ScriptedLink link;
        link.QueueSilence(); // the broadcast is never answered
        link.QueueReply(*Accepting(Bytes{0x68, 0x12, 0, 0, 0, 0, 0, 0x68, 0x04}, {}));
        link.QueueSilence(); // the second item: nothing after it goes out
        CountingProgress progress;
        EXPECT_FALSE(edition2007 ? UserDownload2007(link, 12, Defaults(), kNow, progress)
                                 : UserDownload1997(link, 12, Defaults(), kNow, progress));
        EXPECT_EQ(link.ExchangeCount(), 3u);
    }
}

TEST(UserDownloadModbusTest, ClockThenThreeBlocksWithTheEnable) {
    UserParameters p = Defaults();
    p.lowBaudIndex = 1;
    p.wiring = 1;
    p.pt = 1200;
    ScriptedLink link;
    link.SetResponder(Accepting);
    CountingProgress progress;
    ASSERT_TRUE(UserDownloadModbus(link, 5, p, kNow, progress));
    const auto ex = link.Exchanges();
    ASSERT_EQ(ex.size(), 4u);
    auto words = [](const Bytes& request) {
        std::vector<uint16_t> w;
        for (std::size_t k = 7; k + 2 < request.size(); k += 2)
            w.push_back(uint16_t(request[k] << 8 | request[k + 1]));
        return w;
    };
    const uint16_t firsts[] = {257, 260, 270, 286};
    const std::size_t counts[] = {3, 9, 14, 18};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(ex[k].request[0], 5);
        EXPECT_EQ(ex[k].request[1], 0x10);
        EXPECT_EQ(ex[k].request[2] << 8 | ex[k].request[3], firsts[k]);
        EXPECT_EQ(words(ex[k].request).size(), counts[k]);
    }
    EXPECT_EQ(words(ex[0].request),
              (std::vector<uint16_t>{13 << 8 | 6, 17 << 8 | 9, 45 << 8 | 30}));
    EXPECT_EQ(words(ex[2].request), (std::vector<uint16_t>{0, 3200, 10, 1, 1200, 1, 0, 0, 0xAA55,
                                                           1250, 700, 500, 100, 0}));
    EXPECT_EQ(progress.waits, (std::vector<int>{1000, 1000, 1000, 10}));
    EXPECT_EQ(progress.steps, 7);
}

TEST(UserDownloadModbusTest, NothingIsSentWhenABlockCannotBeFormed) {
    UserParameters p = Defaults();
    p.segments[8].minute = 300;
    ScriptedLink link;
    link.SetResponder(Accepting);
    CountingProgress progress;
    EXPECT_THROW(UserDownloadModbus(link, 1, p, kNow, progress), ConversionError);
    EXPECT_EQ(link.ExchangeCount(), 0u);
}

TEST(UserDownloadModbusTest, AFailedBlockEndsTheDownload) {
    ScriptedLink link;
    link.QueueReply(
        *Accepting(BuildWriteRegistersRequest(1, 0x10, 257, 3, std::vector<uint16_t>(3)), {}));
    link.QueueSilence();
    CountingProgress progress;
    EXPECT_FALSE(UserDownloadModbus(link, 1, Defaults(), kNow, progress));
    EXPECT_EQ(link.ExchangeCount(), 2u);
}

TEST(EnergyBase, MostSignificantFirst) {
    EXPECT_EQ(ToHex(EnergyBaseData(500)), "00 00 01 F4");
    EXPECT_EQ(ToHex(EnergyBaseData(0x12345678)), "12 34 56 78");
    ScriptedLink link;
    link.SetResponder(Accepting);
    ASSERT_TRUE(SetEnergyBase(link, 3, 500));
    EXPECT_EQ(ToHex(link.LastRequest()), ToHex(BuildYaaoFrame(3, 6, Hex("00 00 01 F4"))));
}

TEST(YaaoReads, TitleThenOneLinePerByte) {
    const std::tuple<uint8_t, const char*> reads[] = {
        {4, "产品地址为："}, {9, "标定数据为："}, {0x11, "原始数据为："}};
    for (const auto& [command, title] : reads) {
        ScriptedLink link;
        link.QueueReply(Hex("55 01 04 04 01 2A FF 2A AA"));
        QStringList lines{"old"};
        ASSERT_TRUE(YaaoRead(link, 1, command, lines));
        EXPECT_EQ(lines, (QStringList{QString::fromUtf8(title), "01", "2A", "FF"}));
        EXPECT_EQ(link.LastRequest()[3], command);
        link.QueueSilence();
        QStringList kept{"kept"};
        EXPECT_FALSE(YaaoRead(link, 1, command, kept));
        EXPECT_EQ(kept, QStringList{"kept"});
    }
}

struct ClearCase {
    const char* name;
    int protocol;
    bool energy;
    const char* request;
};

void PrintTo(const ClearCase& c, std::ostream* os) {
    *os << c.name;
}

class ClearTest : public testing::TestWithParam<ClearCase> {};

// Module address 12: one byte 0C in the Modbus, 亚奥 and 大唐 commands, the meter address 12 (BCD)
// in the DL/T 645 clears, as in the downloads.
TEST_P(ClearTest, SendsTheProtocolsCommand) {
    const ClearCase c = GetParam();
    ScriptedLink link;
    link.SetResponder(Accepting);
    const ClearResult r =
        c.energy ? ClearEnergy(link, c.protocol, 12) : ClearDemand(link, c.protocol, 12);
    EXPECT_EQ(r, ClearResult::Done);
    EXPECT_EQ(ToHex(link.LastRequest()), c.request);
    ScriptedLink silent;
    EXPECT_EQ(c.energy ? ClearEnergy(silent, c.protocol, 12) : ClearDemand(silent, c.protocol, 12),
              ClearResult::Failed);
}

INSTANTIATE_TEST_SUITE_P(
    Protocols, ClearTest,
    testing::Values(ClearCase{"ModbusEnergy", 0, true, "0C 06 02 00 AA 55 37 F0"},
                    ClearCase{"ModbusDemand", 0, false, "0C 06 02 01 AA 55 66 30"},
                    ClearCase{"Energy1997", 1, true, "68 12 00 00 00 00 00 68 04 02 F6 E5 C3 16"},
                    ClearCase{"Demand1997", 1, false, "68 12 00 00 00 00 00 68 10 00 F2 16"},
                    ClearCase{"Energy2007", 2, true,
                              "68 12 00 00 00 00 00 68 1A 08 33 33 33 33 33 33 33 33 9C 16"},
                    ClearCase{"Demand2007", 2, false,
                              "68 12 00 00 00 00 00 68 19 08 33 33 33 33 33 33 33 33 9B 16"},
                    ClearCase{"EnergyYaao", 3, true, "55 0C 03 07 AA 55 06 AA"},
                    ClearCase{"DemandYaao", 3, false, "55 0C 03 12 AA 55 11 AA"},
                    ClearCase{"EnergyDatang", 4, true, "7E 0A 0C 31 02 00 FF B8"}),
    [](const testing::TestParamInfo<ClearCase>& info) { return std::string(info.param.name); });

TEST(ClearTest2, DatangHasNoDemandAndUnknownProtocolsSendNothing) {
    ScriptedLink link;
    link.SetResponder(Accepting);
    EXPECT_EQ(ClearDemand(link, 4, 1), ClearResult::NotSent);
    EXPECT_EQ(ClearEnergy(link, 5, 1), ClearResult::NotSent);
    EXPECT_EQ(ClearDemand(link, 7, 1), ClearResult::NotSent);
    EXPECT_EQ(link.ExchangeCount(), 0u);
}
