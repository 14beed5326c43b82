// The simulated module without a port: request bytes in, reply bytes out.

#include "command_shell.h"
#include "frames.h"
#include "module.h"
#include "options.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using simframe::Bytes;

namespace {

const ModuleLineSettings k9600{9600, 1};

ModuleConfig config(int protocol = 0) {
    ModuleConfig c;
    c.dataDir = KX_SIM_DATA_DIR;
    c.protocol = protocol;
    return c;
}

Bytes modbus(Bytes body) {
    simframe::appendCrc(body);
    return body;
}

Bytes readRequest(uint8_t fc, int start, int count, uint8_t addr = 1) {
    return modbus(
        {addr, fc, uint8_t(start >> 8), uint8_t(start), uint8_t(count >> 8), uint8_t(count)});
}

Bytes writeRequest(uint8_t fc, int start, const std::vector<uint16_t>& values, uint8_t addr = 1) {
    Bytes b{addr,
            fc,
            uint8_t(start >> 8),
            uint8_t(start),
            uint8_t(values.size() >> 8),
            uint8_t(values.size()),
            uint8_t(2 * values.size())};
    for (uint16_t v : values) {
        b.push_back(uint8_t(v >> 8));
        b.push_back(uint8_t(v));
    }
    return modbus(b);
}

// Register values of a read reply, checked the way an independent master would.
std::vector<uint16_t> valuesOf(const Bytes& reply) {
    EXPECT_TRUE(simframe::crcOk(reply));
    std::vector<uint16_t> v;
    for (size_t i = 3; i + 3 < reply.size(); i += 2)
        v.push_back(uint16_t(reply[i] << 8 | reply[i + 1]));
    return v;
}

Bytes dlt645(uint8_t c, Bytes data, uint8_t a0 = 0x01, uint8_t rest = 0x00) {
    Bytes f{0x68, a0, rest, rest, rest, rest, rest, 0x68, c, uint8_t(data.size())};
    for (uint8_t b : data)
        f.push_back(uint8_t(b + 0x33));
    f.push_back(simframe::sum8(f));
    f.push_back(0x16);
    return f;
}

Bytes yaao(uint8_t cmd, Bytes data = {}, uint8_t addr = 1) {
    Bytes f{0x55, addr, uint8_t(data.size() + 1), cmd};
    f.insert(f.end(), data.begin(), data.end());
    f.push_back(simframe::sum8(std::span(f).subspan(3)));
    f.push_back(0xAA);
    return f;
}

Bytes datang(uint8_t cmd, uint8_t addr = 1) {
    Bytes f{0x7E, 0x0A, addr, cmd, 0x02, 0x00, 0xFF};
    f.push_back(simframe::negatedSum8(std::span(f).subspan(1)));
    return f;
}

struct ModuleFixture : ::testing::Test {
    Module module{config()};
    double now = 100;
    std::optional<Bytes> ask(const Bytes& req, ModuleLineSettings line = k9600) {
        auto r = module.handle(req, line, now);
        return r ? std::optional(r->bytes) : std::nullopt;
    }
};

} // namespace

// ---- checksums --------------------------------------------------------------------------------

TEST(SimFrames, KnownChecksums) {
    const std::string digits = "123456789";
    EXPECT_EQ(simframe::crc16({reinterpret_cast<const uint8_t*>(digits.data()), digits.size()}),
              0x4B37);
    EXPECT_EQ(readRequest(0x03, 257, 1), (Bytes{0x01, 0x03, 0x01, 0x01, 0x00, 0x01, 0xD4, 0x36}));
    EXPECT_EQ(dlt645(0x01, {0x10, 0x90}),
              (Bytes{0x68, 1, 0, 0, 0, 0, 0, 0x68, 0x01, 0x02, 0x43, 0xC3, 0xDA, 0x16}));
    EXPECT_EQ(yaao(7, {0xAA, 0x55}), (Bytes{0x55, 0x01, 0x03, 0x07, 0xAA, 0x55, 0x06, 0xAA}));
    EXPECT_EQ(datang(0x30), (Bytes{0x7E, 0x0A, 0x01, 0x30, 0x02, 0x00, 0xFF, 0xC4}));
    EXPECT_EQ(datang(0x31).back(), 0xC3);
    EXPECT_EQ(simframe::toBcd(125), 0x25);
    EXPECT_EQ(simframe::fromBcd(0x99), 99u);
}

// ---- Modbus ------------------------------------------------------------------------------------

struct RegisterRange {
    int start;
    std::vector<uint16_t> values;
    uint8_t writeFc;
    uint8_t readFc;
};

class ModbusRoundTrip : public ModuleFixture,
                        public ::testing::WithParamInterface<RegisterRange> {};

TEST_P(ModbusRoundTrip, WrittenValuesReadBack) {
    const auto& p = GetParam();
    const auto w = ask(writeRequest(p.writeFc, p.start, p.values));
    ASSERT_TRUE(w);
    // Both writes answer address, code, first register, count: the 0x40 check reads byte 5.
    ASSERT_EQ(w->size(), 8u);
    EXPECT_TRUE(simframe::crcOk(*w));
    EXPECT_EQ((*w)[5], uint8_t(p.values.size()));
    const auto r = ask(readRequest(p.readFc, p.start, int(p.values.size())));
    ASSERT_TRUE(r);
    EXPECT_EQ((*r)[2], 2 * p.values.size());
    EXPECT_EQ(valuesOf(*r), p.values);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, ModbusRoundTrip,
    ::testing::Values(
        RegisterRange{260, {0x0100, 1, 0x0700, 2, 0x0D00, 3, 0x1300, 4, 0x0101}, 0x10, 0x03},
        RegisterRange{274, {1, 1, 0, 0, 0, 1250, 700, 500, 50, 0}, 0x10, 0x03},
        RegisterRange{286, std::vector<uint16_t>(18, 7), 0x10, 0x03},
        RegisterRange{11002, {2200, 0, 5000, 0, 1100, 0, 0x1306, 0x1701, 1}, 0x40, 0x33},
        RegisterRange{12000, std::vector<uint16_t>(27, 1000), 0x40, 0x33},
        RegisterRange{13000, {0xAA55}, 0x40, 0x33}));

TEST_F(ModuleFixture, WriteSingleEchoesAndClearRegistersActWithoutKeeping) {
    for (int reg : {512, 513}) {
        const auto req = modbus({1, 0x06, uint8_t(reg >> 8), uint8_t(reg), 0xAA, 0x55});
        EXPECT_EQ(ask(req), req);
        EXPECT_EQ(module.readView(reg, 1), std::vector<uint16_t>{0});
    }
    const auto req = modbus({1, 0x06, 0x01, 0x10, 0x12, 0x34});
    EXPECT_EQ(ask(req), req);
    EXPECT_EQ(module.readView(0x110, 1), std::vector<uint16_t>{0x1234});
}

TEST_F(ModuleFixture, CalibrationWriteOfMoreThan127RegistersCarriesTruncatedByteCount) {
    std::vector<uint16_t> values(128, 3);
    const Bytes req = writeRequest(0x40, 12000, values);
    EXPECT_EQ(req[6], 0x00);
    const auto w = ask(req);
    ASSERT_TRUE(w);
    EXPECT_EQ((*w)[5], 128);
    EXPECT_EQ(module.readView(12127, 1), std::vector<uint16_t>{3});
}

struct Refused {
    const char* name;
    Bytes request;
    uint8_t exception; // 0: no reply at all
};

class ModbusRefused : public ModuleFixture, public ::testing::WithParamInterface<Refused> {};

TEST_P(ModbusRefused, AnswersExceptionOrNothing) {
    const auto r = ask(GetParam().request);
    if (GetParam().exception == 0) {
        EXPECT_FALSE(r);
        return;
    }
    ASSERT_TRUE(r);
    ASSERT_EQ(r->size(), 5u);
    EXPECT_TRUE(simframe::crcOk(*r));
    EXPECT_EQ((*r)[1] & 0x80, 0x80);
    EXPECT_EQ((*r)[2], GetParam().exception);
}

Bytes withBadCrc(Bytes b) {
    b.back() ^= 1;
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ModbusRefused,
    ::testing::Values(Refused{"count0", readRequest(0x03, 0, 0), 0x03},
                      Refused{"count128", readRequest(0x03, 0, 128), 0x03},
                      Refused{"beyondEnd", readRequest(0x03, 65535, 2), 0x02},
                      Refused{"unknownCode", modbus({1, 0x2B, 0, 0, 0, 1}), 0x01},
                      Refused{"byteCountMismatch", modbus({1, 0x10, 1, 4, 0, 2, 3, 0, 1, 0, 2}),
                              0x03},
                      Refused{"frameFormat4", writeRequest(0x10, 269, {4}), 0x03},
                      Refused{"protocol5", writeRequest(0x40, 11023, {5}), 0x03},
                      Refused{"badCrc", withBadCrc(readRequest(0x03, 257, 3)), 0},
                      Refused{"otherAddress", readRequest(0x03, 257, 3, 2), 0},
                      Refused{"truncated", Bytes{1, 3, 1, 1, 0}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ModuleFixture, BroadcastWriteIsExecutedButNotAnswered) {
    EXPECT_FALSE(ask(writeRequest(0x10, 272, {33}, 0)));
    EXPECT_EQ(module.readView(272, 1), std::vector<uint16_t>{33});
}

TEST_F(ModuleFixture, ReadOf127RegistersFitsOneReply) {
    const auto r = ask(readRequest(0x03, 1000, 127));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->size(), 5u + 254u);
    EXPECT_EQ((*r)[2], 254);
}

TEST_F(ModuleFixture, OutputListPresentsListedRegistersFromZero) {
    ASSERT_TRUE(ask(writeRequest(0x10, 270, {0, 3600, 10})));
    ASSERT_TRUE(ask(writeRequest(0x40, 11008, {0x1306, 0x1701})));
    // Count, then the addresses in the order they are to appear.
    ASSERT_TRUE(ask(writeRequest(0x40, 11300, {4, 272, 11009, 271, 11008})));
    const auto r = ask(readRequest(0x03, 0, 4));
    ASSERT_TRUE(r);
    EXPECT_EQ(valuesOf(*r), (std::vector<uint16_t>{10, 0x1701, 3600, 0x1306}));
    // Beyond the list, registers read as themselves.
    module.registers().set(4, 99);
    EXPECT_EQ(module.readView(3, 2), (std::vector<uint16_t>{0x1306, 99}));
    // A new, shorter list replaces the old one.
    ASSERT_TRUE(ask(writeRequest(0x40, 11300, {1, 271})));
    EXPECT_EQ(module.readView(0, 1), std::vector<uint16_t>{3600});
}

// ---- protocol switch and line settings
// -----------------------------------------------------------

TEST_F(ModuleFixture, ProtocolSwitchAnswersInOldProtocolThenSpeaksNewOne) {
    const auto w = ask(writeRequest(0x40, 11023, {1}));
    ASSERT_TRUE(w);
    EXPECT_EQ((*w)[5], 1);
    EXPECT_FALSE(ask(readRequest(0x03, 257, 3)));
    // A DL/T 645-1997 write of the tariff count is now understood.
    const auto r = ask(dlt645(0x04, {0x13, 0xC3, 0x04}));
    ASSERT_TRUE(r);
    EXPECT_EQ((*r)[8], 0x84);
    EXPECT_EQ(module.registers().get(286), 4);
    // A 2007 frame is not of this edition: refused with an error reply.
    const auto e = ask(dlt645(0x11, {0x00, 0x00, 0x01, 0x00}));
    ASSERT_TRUE(e);
    EXPECT_EQ((*e)[8], 0xD1);
}

struct LineCase {
    int format;
    int baudIndex;
    ModuleLineSettings line;
    bool answered;
};

class LineSettingsMatch : public ModuleFixture, public ::testing::WithParamInterface<LineCase> {};

TEST_P(LineSettingsMatch, AnswersOnlyMatchingLine) {
    const auto& p = GetParam();
    ASSERT_TRUE(module.setBaudIndex(p.baudIndex));
    module.registers().set(269, uint16_t(p.format));
    EXPECT_EQ(bool(ask(readRequest(0x03, 257, 3), p.line)), p.answered);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LineSettingsMatch,
    ::testing::Values(LineCase{3, 3, {9600, 1}, true}, LineCase{3, 3, {19200, 1}, false},
                      LineCase{3, 3, {4800, 1}, false}, LineCase{3, 3, {9600, 2}, true},
                      LineCase{0, 3, {9600, 2}, true}, LineCase{0, 3, {9600, 1}, false},
                      LineCase{1, 3, {9600, 1}, true}, LineCase{2, 3, {9600, 1}, true},
                      LineCase{3, 5, {38400, 1}, true}, LineCase{3, 5, {9600, 1}, false},
                      LineCase{3, 0, {1200, 1}, true}));

TEST_F(ModuleFixture, FrameFormatWriteTakesEffectForTheNextRequest) {
    // The host switches to two stop bits first; a module at one stop bit still hears it.
    ASSERT_TRUE(ask(writeRequest(0x10, 269, {0}), {9600, 2}));
    ASSERT_TRUE(ask(writeRequest(0x10, 269, {0}), {9600, 2}));
    EXPECT_FALSE(ask(readRequest(0x03, 257, 3), {9600, 1}));
    EXPECT_TRUE(ask(readRequest(0x03, 257, 3), {9600, 2}));
}

TEST_F(ModuleFixture, PowerOnWindowSpeaksModbusAt9600WhateverTheConfiguration) {
    module.registers().set(11023, 2);
    module.registers().set(269, 0);
    ASSERT_TRUE(module.setBaudIndex(5));
    module.powerCycle(now);
    now += 9.5;
    EXPECT_TRUE(ask(readRequest(0x03, 257, 3), {9600, 1}));
    EXPECT_FALSE(ask(readRequest(0x03, 257, 3), {38400, 2}));
    // Calibration state entry during the window: protocol 0, format 3.
    EXPECT_TRUE(ask(writeRequest(0x40, 11023, {0})));
    EXPECT_TRUE(ask(writeRequest(0x10, 269, {3})));
    now += 1;
    EXPECT_FALSE(ask(readRequest(0x03, 257, 3), {9600, 1})); // still 38400 baud
    EXPECT_TRUE(ask(readRequest(0x03, 257, 3), {38400, 1}));
}

TEST_F(ModuleFixture, PowerWindowEndsAndConfiguredProtocolReturns) {
    module.registers().set(11023, 3);
    module.powerCycle(now);
    now += 10.5;
    EXPECT_FALSE(ask(readRequest(0x03, 257, 3)));
    EXPECT_TRUE(ask(yaao(4)));
}

// ---- DL/T 645 ----------------------------------------------------------------------------------

struct ItemWrite {
    const char* name;
    bool edition2007;
    uint32_t di;
    Bytes value;
    int reg;
    std::vector<uint16_t> expected;
};

class Dlt645Writes : public ::testing::TestWithParam<ItemWrite> {};

TEST_P(Dlt645Writes, StoreIntoConfigurationRegisters) {
    const auto& p = GetParam();
    Module module(config(p.edition2007 ? 2 : 1));
    Bytes data;
    if (p.edition2007) {
        data = {uint8_t(p.di),
                uint8_t(p.di >> 8),
                uint8_t(p.di >> 16),
                uint8_t(p.di >> 24),
                0x12,
                0x34,
                0x56,
                0x78,
                0,
                0,
                0,
                0}; // password, operator code
    } else {
        data = {uint8_t(p.di), uint8_t(p.di >> 8)};
    }
    data.insert(data.end(), p.value.begin(), p.value.end());
    // Module address 12 is 0x12 in the meter address.
    module.setAddress(12);
    const auto r = module.handle(dlt645(p.edition2007 ? 0x14 : 0x04, data, 0x12), k9600, 1);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->bytes[1], 0x12);
    EXPECT_EQ(r->bytes[8], p.edition2007 ? 0x94 : 0x84);
    EXPECT_EQ(r->bytes[9], 0);
    EXPECT_EQ(module.readView(p.reg, int(p.expected.size())), p.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Items, Dlt645Writes,
    ::testing::Values(ItemWrite{"segment1", false, 0xC331, {0x01, 0x30, 0x07}, 260, {0x071E, 1}},
                      ItemWrite{"segment5", false, 0xC335, {0x03, 0x00, 0x22}, 288, {0x1600, 3}},
                      ItemWrite{"pulseConstant", false, 0xC030, {0x00, 0x32, 0x00}, 271, {3200}},
                      ItemWrite{"pt1200", false, 0xC216, {0x00, 0x12}, 274, {1200}},
                      ItemWrite{"lowBaud", false, 0xC21A, {0x01, 0x00}, 278, {0xAA55}},
                      ItemWrite{"overVoltage", false, 0xC21B, {0x25, 0x01}, 279, {1250}},
                      ItemWrite{"readingDay", false, 0xC117, {0x01, 0x15}, 268, {0x0F01}},
                      ItemWrite{"tariffs2007", true, 0x04000204, {0x04}, 286, {4}},
                      ItemWrite{
                          "reactivePulse2007", true, 0x0400040A, {0x00, 0x32, 0x00}, 271, {3200}},
                      ItemWrite{"ct2007", true, 0x04000F02, {0x99, 0x99}, 275, {9999}},
                      ItemWrite{"demand2007", true, 0x04000E07, {0x01, 0x00}, 283, {1}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimDlt645, AllSegmentsIn2007AndRefusals) {
    Module module(config(2));
    Bytes data{0x01, 0x00, 0x01, 0x04, 0, 0, 0, 0, 0, 0, 0, 0};
    for (int n = 1; n <= 12; ++n) {
        data.push_back(simframe::toBcd(unsigned(n % 5)));
        data.push_back(0x15);
        data.push_back(simframe::toBcd(unsigned(n)));
    }
    const auto r = module.handle(dlt645(0x14, data), k9600, 1);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->bytes[8], 0x94);
    EXPECT_EQ(module.readView(260, 2), (std::vector<uint16_t>{0x010F, 1}));
    EXPECT_EQ(module.readView(302, 2), (std::vector<uint16_t>{0x0C0F, 2}));
    // Not BCD, unknown identifier, wrong length: error replies, nothing stored.
    for (const Bytes& bad : {Bytes{0x04, 0x02, 0x00, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0x0A},
                             Bytes{0x99, 0x02, 0x00, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0x01},
                             Bytes{0x04, 0x02, 0x00, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x02}}) {
        const auto e = module.handle(dlt645(0x14, bad), k9600, 1);
        ASSERT_TRUE(e);
        EXPECT_EQ(e->bytes[8], 0xD4);
    }
    EXPECT_EQ(module.readView(286, 1), std::vector<uint16_t>{0});
}

TEST(SimDlt645, TimeBroadcastSetsClockWithoutReply) {
    Module module(config(1));
    // 2013-06-15 08:30:45: second, minute, hour, day, month, year
    EXPECT_FALSE(
        module.handle(dlt645(0x08, {0x45, 0x30, 0x08, 0x15, 0x06, 0x13}, 0x99, 0x99), k9600, 1));
    const auto clock = module.registers();
    EXPECT_EQ(clock.get(257), 13 << 8 | 6);
    EXPECT_EQ(clock.get(258), 15 << 8 | 8);
    EXPECT_EQ(clock.get(259), 30 << 8 | 45);
}

struct ClearCase {
    int protocol;
    int address;
    Bytes request;
    uint8_t replyCode; // 0: not answered
};

class Dlt645Clears : public ::testing::TestWithParam<ClearCase> {};

// A clear is heard at the meter address, the module address in BCD, as a read or a write is;
// the address in binary (0C for 12) is another meter's.
TEST_P(Dlt645Clears, AnsweredAtTheBcdAddressOnly) {
    Module module(config(GetParam().protocol));
    module.setAddress(GetParam().address);
    const auto r = module.handle(GetParam().request, k9600, 1);
    if (GetParam().replyCode == 0) {
        EXPECT_FALSE(r);
        return;
    }
    ASSERT_TRUE(r);
    const Bytes& b = r->bytes;
    ASSERT_GE(b.size(), 12u);
    EXPECT_EQ(b[0], 0x68);
    EXPECT_EQ(b[1], simframe::toBcd(unsigned(GetParam().address)));
    EXPECT_EQ(b[8], GetParam().replyCode);
    EXPECT_EQ(b[b.size() - 2], simframe::sum8(std::span(b).first(b.size() - 2)));
    EXPECT_EQ(b.back(), 0x16);
}

INSTANTIATE_TEST_SUITE_P(Cases, Dlt645Clears,
                         ::testing::Values(ClearCase{1, 1, dlt645(0x04, {0xC3, 0xB2}), 0x84},
                                           ClearCase{1, 1, dlt645(0x10, {}), 0x90},
                                           ClearCase{2, 1, dlt645(0x1A, Bytes(8, 0)), 0x9A},
                                           ClearCase{2, 1, dlt645(0x19, Bytes(8, 0)), 0x99},
                                           ClearCase{1, 12, dlt645(0x04, {0xC3, 0xB2}, 0x12), 0x84},
                                           ClearCase{1, 12, dlt645(0x10, {}, 0x12), 0x90},
                                           ClearCase{2, 12, dlt645(0x1A, Bytes(8, 0), 0x12), 0x9A},
                                           ClearCase{2, 12, dlt645(0x19, Bytes(8, 0), 0x12), 0x99},
                                           ClearCase{1, 12, dlt645(0x04, {0xC3, 0xB2}, 0x0C), 0},
                                           ClearCase{1, 12, dlt645(0x10, {}, 0x0C), 0},
                                           ClearCase{2, 12, dlt645(0x1A, Bytes(8, 0), 0x0C), 0},
                                           ClearCase{2, 12, dlt645(0x19, Bytes(8, 0), 0x0C), 0}));

TEST(SimDlt645, OnlyOwnAddressAndWholeFrames) {
    Module module(config(1));
    EXPECT_FALSE(module.handle(dlt645(0x10, {}, 0x02), k9600, 1));
    EXPECT_FALSE(module.handle(dlt645(0x10, {}, 0x01, 0x01), k9600, 1));
    Bytes bad = dlt645(0x10, {});
    bad[bad.size() - 2] ^= 1;
    EXPECT_FALSE(module.handle(bad, k9600, 1));
    Bytes woken{0xFE, 0xFE};
    const Bytes f = dlt645(0x10, {});
    woken.insert(woken.end(), f.begin(), f.end());
    EXPECT_TRUE(module.handle(woken, k9600, 1));
    EXPECT_TRUE(module.frameComplete(woken, 1));
    EXPECT_FALSE(module.frameComplete(std::span(woken).first(woken.size() - 1), 1));
}

// ---- 亚奥 and 大唐
// ---------------------------------------------------------------------------------

TEST(SimYaao, PollCommandsAndChecks) {
    Module module(config(3));
    module.registers().set(272, 10);
    module.registers().set(271, 3600);
    ASSERT_TRUE(module.writeRegisters(11300, std::vector<uint16_t>{2, 271, 272}));
    auto ask = [&](const Bytes& req) {
        auto r = module.handle(req, k9600, 1);
        return r ? std::optional(r->bytes) : std::nullopt;
    };
    EXPECT_EQ(ask(yaao(1)), (Bytes{0x55, 1, 5, 1, 0x0E, 0x10, 0x00, 0x0A,
                                   uint8_t(1 + 0x0E + 0x10 + 0x0A), 0xAA}));
    EXPECT_EQ(ask(yaao(4)), (Bytes{0x55, 1, 2, 4, 1, 5, 0xAA}));
    for (uint8_t cmd : {0x07, 0x12}) {
        const auto r = ask(yaao(cmd, {0xAA, 0x55}));
        ASSERT_TRUE(r);
        EXPECT_EQ((*r)[2], r->size() - 5);
    }
    const auto base = ask(yaao(6, {0x00, 0x00, 0x01, 0xF4}));
    ASSERT_TRUE(base);
    EXPECT_EQ((*base)[3], 6);
    const auto cal = ask(yaao(9));
    ASSERT_TRUE(cal);
    EXPECT_EQ(cal->size(), 5u + 1 + 60);
    const auto raw = ask(yaao(0x11));
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->size(), 5u + 1 + 24);
    Bytes bad = yaao(4);
    bad[4] ^= 1;
    EXPECT_FALSE(ask(bad));
    EXPECT_FALSE(ask(yaao(4, {}, 2)));
    EXPECT_FALSE(ask(yaao(7, {0x55, 0xAA})));
}

TEST(SimDatang, PollWordsLowByteFirstAndClear) {
    Module module(config(4));
    module.registers().set(272, 0x1234);
    ASSERT_TRUE(module.writeRegisters(11300, std::vector<uint16_t>{2, 272, 272}));
    const auto r = module.handle(datang(0x30), k9600, 1);
    ASSERT_TRUE(r);
    const Bytes& b = r->bytes;
    ASSERT_EQ(b.size(), 12u);
    EXPECT_EQ(b[7], 0x34);
    EXPECT_EQ(b[8], 0x12);
    EXPECT_EQ(b.back(), simframe::negatedSum8(std::span(b).subspan(1, b.size() - 2)));
    const auto c = module.handle(datang(0x31), k9600, 1);
    ASSERT_TRUE(c);
    ASSERT_EQ(c->bytes.size(), 8u);
    EXPECT_EQ(c->bytes[7], simframe::negatedSum8(std::span(c->bytes).subspan(1, 6)));
    Bytes bad = datang(0x30);
    bad[7] ^= 1;
    EXPECT_FALSE(module.handle(bad, k9600, 1));
}

// ---- misbehaviour ------------------------------------------------------------------------------

struct Fault {
    const char* name;
    int protocol;
    bool Misbehaviour::*flag;
    Bytes request;
};

class Misbehaving : public ::testing::TestWithParam<Fault> {};

// The reply a host could accept: address 1, a correct checksum, no preamble, whole.
bool acceptable(int protocol, const Bytes& b) {
    switch (protocol) {
    case 0:
        return b.size() >= 5 && b[0] == 1 && simframe::crcOk(b);
    case 1:
    case 2:
        return b.size() >= 12 && b[0] == 0x68 && b[1] == 1 && b.back() == 0x16 &&
               b[b.size() - 2] == simframe::sum8(std::span(b).first(b.size() - 2));
    case 3:
        return b.size() >= 6 && b[1] == 1 && b[2] == b.size() - 5 &&
               b[b.size() - 2] == simframe::sum8(std::span(b).subspan(3, b.size() - 5));
    default:
        return b.size() >= 8 && b[2] == 1 &&
               b.back() == simframe::negatedSum8(std::span(b).subspan(1, b.size() - 2));
    }
}

TEST_P(Misbehaving, SpoilsTheReply) {
    const auto& p = GetParam();
    Module module(config(p.protocol));
    const auto good = module.handle(p.request, k9600, 1);
    ASSERT_TRUE(good);
    ASSERT_TRUE(acceptable(p.protocol, good->bytes)) << p.name;
    EXPECT_EQ(good->delayMs, 0);
    module.misbehaviour().*p.flag = true;
    const auto bad = module.handle(p.request, k9600, 2);
    if (p.flag == &Misbehaviour::silent) {
        EXPECT_FALSE(bad);
    } else if (p.flag == &Misbehaviour::late) {
        ASSERT_TRUE(bad);
        EXPECT_GT(bad->delayMs, 1100);
        EXPECT_EQ(bad->bytes, good->bytes);
    } else {
        ASSERT_TRUE(bad);
        EXPECT_FALSE(acceptable(p.protocol, bad->bytes)) << p.name;
    }
    module.misbehaviour().*p.flag = false;
    const auto again = module.handle(p.request, k9600, 3);
    ASSERT_TRUE(again);
    EXPECT_TRUE(acceptable(p.protocol, again->bytes));
}

std::vector<Fault> faults() {
    const std::pair<int, Bytes> requests[] = {{0, readRequest(0x03, 270, 3)},
                                              {1, dlt645(0x10, {})},
                                              {2, dlt645(0x19, Bytes(8, 0))},
                                              {3, yaao(4)},
                                              {4, datang(0x30)}};
    const std::pair<const char*, bool Misbehaviour::*> flags[] = {
        {"silent", &Misbehaviour::silent},    {"badcrc", &Misbehaviour::badChecksum},
        {"short", &Misbehaviour::shortReply}, {"late", &Misbehaviour::late},
        {"fe", &Misbehaviour::fePrefix},      {"wrongaddr", &Misbehaviour::wrongAddress}};
    static std::vector<std::string> names;
    std::vector<Fault> out;
    names.reserve(30);
    for (const auto& [protocol, req] : requests)
        for (const auto& [name, flag] : flags) {
            names.push_back(std::string(name) + "_protocol" + std::to_string(protocol));
            out.push_back({names.back().c_str(), protocol, flag, req});
        }
    return out;
}

INSTANTIATE_TEST_SUITE_P(Cases, Misbehaving, ::testing::ValuesIn(faults()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- flash image
// ----------------------------------------------------------------------------------

TEST(SimFlash, CommitKeepsCalibrationForTheNextStart) {
    QTemporaryDir dir;
    ModuleConfig c = config();
    c.protocol.reset();
    c.statePath = dir.filePath("flash.txt");
    {
        Module module(c);
        ASSERT_TRUE(module.writeRegisters(11002, std::vector<uint16_t>{2200, 0, 5000}));
        ASSERT_TRUE(module.writeRegisters(11023, std::vector<uint16_t>{3}));
        ASSERT_TRUE(module.writeRegisters(12000, std::vector<uint16_t>{1000, 1001}));
        ASSERT_TRUE(module.writeRegisters(13000, std::vector<uint16_t>{0, 0xAA55}));
        // Written after the commit: lost at the next start.
        ASSERT_TRUE(module.writeRegisters(12002, std::vector<uint16_t>{7}));
    }
    Module again(c);
    EXPECT_EQ(again.readView(11002, 3), (std::vector<uint16_t>{2200, 0, 5000}));
    EXPECT_EQ(again.readView(12000, 3), (std::vector<uint16_t>{1000, 1001, 0}));
    EXPECT_EQ(again.activeProtocol(0), 3);
    // An explicit start option wins over the image.
    c.protocol = 0;
    EXPECT_EQ(Module(c).activeProtocol(0), 0);
}

TEST(SimFlash, NoCommitNoImageAndBadImageRefused) {
    QTemporaryDir dir;
    ModuleConfig c = config();
    c.statePath = dir.filePath("flash.txt");
    {
        Module module(c);
        ASSERT_TRUE(module.writeRegisters(12000, std::vector<uint16_t>{1000}));
    }
    EXPECT_FALSE(QFile::exists(c.statePath));
    QFile f(c.statePath);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("11023 9\n");
    f.close();
    EXPECT_THROW(Module{c}, std::runtime_error);
}

// ---- console and options -----------------------------------------------------------------------

TEST(SimShell, CommandsAnswerOneLine) {
    Module module(config());
    CommandShell shell(module);
    const std::pair<const char*, const char*> script[] = {
        {"set 272 10 11", "ok"},
        {"get 272 2", "ok 10 11"},
        {"get 0x111", "ok 11"},
        {"get $113", "ok 0"},
        {"set 269 4", "error value refused"},
        {"protocol 1", "ok"},
        {"status", "ok address=1 protocol=1 format=3 baud=9600 window=0"},
        {"protocol 7", "error protocol out of range"},
        {"format 0", "ok"},
        {"baud 4", "ok"},
        {"baud 6", "error baud index 0..5"},
        {"address 12", "ok"},
        {"badcrc on", "ok"},
        {"badcrc maybe", "error badcrc on|off"},
        {"point 100 50 60 50", "ok"},
        {"point u=80 freq=60", "ok"},
        {"point x=1", "error unknown key x"},
        {"error Pa 1", "ok"},
        {"get", "error get ADDR [COUNT]"},
        {"get abc", nullptr},
        {"frobnicate", "error unknown command frobnicate"},
        {"powercycle", "ok"},
        {"status", "ok address=12 protocol=0 format=3 baud=9600 window=1"},
        {"stats", "ok requests=0 replies=0"},
        {"last", "ok"},
        {"quit", "ok"}};
    for (const auto& [command, answer] : script) {
        const auto r = shell.execute(command, 5);
        if (answer)
            EXPECT_EQ(r.line.toStdString(), answer) << command;
        else
            EXPECT_TRUE(r.line.startsWith("error ")) << command;
        EXPECT_EQ(r.quit, QString(command) == "quit");
    }
    EXPECT_TRUE(module.misbehaviour().badChecksum);
    EXPECT_EQ(module.measurement().testPoint().voltagePct, 80);
    EXPECT_EQ(module.measurement().testPoint().currentPct, 50);
    EXPECT_EQ(module.measurement().testPoint().frequencyHz, 60);
    EXPECT_EQ(module.baudIndex(), 4);
}

TEST(SimOptions, ParsesAndRefuses) {
    SimOptions o;
    QString error;
    ASSERT_TRUE(ParseOptions({"--link", "/tmp/x", "--address=7", "--protocol", "2", "--pace",
                              "--error", "Pa=1.5", "--late", "--format", "0", "--baud-index", "4"},
                             o, error))
        << error.toStdString();
    EXPECT_EQ(o.link, "/tmp/x");
    EXPECT_EQ(o.module.address, 7);
    EXPECT_EQ(o.module.protocol, 2);
    EXPECT_EQ(o.module.frameFormat, 0);
    EXPECT_EQ(o.module.baudIndex, 4);
    EXPECT_TRUE(o.pace);
    EXPECT_TRUE(o.misbehaviour.late);
    ASSERT_EQ(o.errors.size(), 1);
    EXPECT_EQ(o.errors[0].second, 1.5);
    SimOptions bus;
    ASSERT_TRUE(
        ParseOptions({"--address", "1-8", "--error", "3:Pa=5", "--fault", "5:silent"}, bus, error))
        << error.toStdString();
    EXPECT_EQ(bus.addresses, (QList<int>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(bus.module.address, 1);
    ASSERT_EQ(bus.unitErrors.size(), 1);
    EXPECT_EQ(bus.unitErrors[0].address, 3);
    EXPECT_EQ(bus.unitErrors[0].name, "Pa");
    EXPECT_EQ(bus.unitErrors[0].pct, 5);
    EXPECT_EQ(bus.unitFaults, (QList<QPair<int, QString>>{{5, "silent"}}));
    for (const QStringList& bad :
         {QStringList{"--bogus"}, QStringList{"--address", "0"}, QStringList{"--address"},
          QStringList{"--protocol", "5"}, QStringList{"--pace=1"}, QStringList{"--error", "Pa"},
          QStringList{"--address", "1-3", "--fault", "4:silent"},
          QStringList{"--address", "1-3", "--fault", "2:loud"}, QStringList{"--error", "2:Pa=1"},
          QStringList{"--address", "1,2", "--state", "/tmp/flash"}}) {
        SimOptions x;
        EXPECT_FALSE(ParseOptions(bad, x, error)) << bad.join(' ').toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
}

// ---- DL/T 645 reads answered from the measurement model
// --------------------------------------------

struct ReadCase {
    const char* name;
    int protocol;
    Bytes request;
    uint8_t replyCode;
    size_t identifierBytes; // echoed at the start of the data; 0 for an error reply
};

class Dlt645Reads : public ::testing::TestWithParam<ReadCase> {};

TEST_P(Dlt645Reads, ReplyFormAsTheHostChecksIt) {
    const auto& p = GetParam();
    Module module(config(p.protocol));
    const auto r = module.handle(p.request, k9600, 1);
    ASSERT_TRUE(r);
    const Bytes& b = r->bytes;
    ASSERT_GE(b.size(), 12u);
    EXPECT_EQ(b[0], 0x68);
    EXPECT_EQ(b[7], 0x68);
    EXPECT_EQ(b[8], p.replyCode);
    EXPECT_EQ(b.size(), 12u + b[9]);
    EXPECT_EQ(b[b.size() - 2], simframe::sum8(std::span(b).first(b.size() - 2)));
    EXPECT_EQ(b.back(), 0x16);
    if (p.identifierBytes == 0) {
        EXPECT_EQ(b[9], 1);
        return;
    }
    // The identifier comes back as sent, then at least one data byte.
    EXPECT_GT(b[9], p.identifierBytes);
    for (size_t i = 0; i < p.identifierBytes; ++i)
        EXPECT_EQ(b[10 + i], p.request[10 + i]);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Dlt645Reads,
    ::testing::Values(ReadCase{"energy1997", 1, dlt645(0x01, {0x10, 0x90}), 0x81, 2},
                      ReadCase{"unknown1997", 1, dlt645(0x01, {0x34, 0x12}), 0xC1, 0},
                      ReadCase{"energy2007", 2, dlt645(0x11, {0x00, 0x00, 0x01, 0x00}), 0x91, 4},
                      ReadCase{"unknown2007", 2, dlt645(0x11, {0x78, 0x56, 0x34, 0x12}), 0xD1, 0},
                      ReadCase{"read2007In1997Mode", 1, dlt645(0x11, {0x00, 0x00, 0x01, 0x00}),
                               0xD1, 0}),
    [](const auto& info) { return std::string(info.param.name); });
