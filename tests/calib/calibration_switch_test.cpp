// Wiring mode, protocol and frame-format switching and the calibration state entry on a scripted
// line: the PC settings each frame format asks for (parity formats cannot travel over a
// pseudo-terminal), the exact requests in their order, and the outcome of each failing step.

#include "calib/switching.h"
#include "link/modbus_frames.h"
#include "link/serial_link.h"
#include "scripted_link.h"

#include "calibration_fake_module.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Write10(uint16_t reg, uint16_t value) {
    return BuildWriteRegistersRequest(1, kFcWriteRegisters, reg, 1, std::vector<uint16_t>{value});
}
Bytes Write40(uint16_t reg, uint16_t value) {
    return BuildWriteRegistersRequest(1, kFcWriteCalibration, reg, 1, std::vector<uint16_t>{value});
}

struct FormatCase {
    const char* name;
    int frameFormat;
    PortIndexes from;
    PortIndexes expected;
};

class FrameFormats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FrameFormats, PcSettings) {
    EXPECT_EQ(PortIndexesForFrameFormat(GetParam().frameFormat, GetParam().from),
              GetParam().expected);
}

// From 2400 baud, 7 data bits, even parity, one stop bit (or odd, two).
constexpr PortIndexes kEven7{1, 2, 1, 0};
constexpr PortIndexes kOdd7Two{1, 1, 1, 1};

INSTANTIATE_TEST_SUITE_P(
    Table, FrameFormats,
    ::testing::Values(FormatCase{"NoneTwoStop", 0, kEven7, {3, 0, 2, 1}},
                      FormatCase{"OddOneStop", 1, kEven7, {3, 1, 2, 0}},
                      FormatCase{"EvenOneStop", 2, kOdd7Two, {3, 2, 2, 0}},
                      FormatCase{"NoneOneStop", 3, kOdd7Two, {3, 0, 2, 0}},
                      // Outside the table: parity and stop bits stay, 9600 8 still forced.
                      FormatCase{"Unknown", 7, kOdd7Two, {3, 1, 2, 1}},
                      FormatCase{"Negative", -1, kEven7, {3, 2, 2, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

// What the port is then opened with: the line itself, for each frame format.
struct LineCase {
    const char* name;
    int frameFormat;
    LineSettings line;
};

class FrameFormatLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(FrameFormatLines, OpenedLine) {
    const PortIndexes p = PortIndexesForFrameFormat(GetParam().frameFormat, kEven7);
    EXPECT_EQ(LineSettingsFor(p.baud, p.parity, p.dataBits, p.stopBits), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(Table, FrameFormatLines,
                         ::testing::Values(LineCase{"N2", 0, {9600, 0, 8, 2}},
                                           LineCase{"O1", 1, {9600, 1, 8, 1}},
                                           LineCase{"E1", 2, {9600, 2, 8, 1}},
                                           LineCase{"N1", 3, {9600, 0, 8, 1}}),
                         [](const auto& info) { return std::string(info.param.name); });

class Switching : public ::testing::Test {
protected:
    // The PC side: the settings the sequence asked for, in order; a switch fails on request.
    PortSwitch Switch() {
        return [this](int f) {
            switches.push_back(f);
            line = PortIndexesForFrameFormat(f, line);
            return switchSucceeds;
        };
    }
    ProgressStep Step() {
        return [this] { ++steps; };
    }
    std::vector<Bytes> Requests() const {
        std::vector<Bytes> out;
        for (const auto& e : link.Exchanges())
            out.push_back(e.request);
        return out;
    }

    ScriptedLink link;
    CalibrationFakeModule module{link};
    std::vector<int> switches;
    PortIndexes line;
    bool switchSucceeds = true;
    int steps = 0;
};

struct ProtocolCase {
    const char* name;
    int frameFormat;
    int protocol;
    int parity;
    int stopBits;
};

class ProtocolSwitch : public Switching, public ::testing::WithParamInterface<ProtocolCase> {};

TEST_P(ProtocolSwitch, PortFirstThenTwoFormatWritesThenProtocol) {
    const ProtocolCase& c = GetParam();
    EXPECT_EQ(ConfigureProtocol(link, 1, c.frameFormat, c.protocol, Switch(), Step()),
              QStringLiteral("配置<通信协议>和<比特率格式>成功！"));
    EXPECT_EQ(switches, std::vector<int>{c.frameFormat});
    EXPECT_EQ(line, (PortIndexes{3, c.parity, 2, c.stopBits}));
    EXPECT_EQ(Requests(), (std::vector<Bytes>{Write10(269, uint16_t(c.frameFormat)),
                                              Write10(269, uint16_t(c.frameFormat)),
                                              Write40(11023, uint16_t(c.protocol))}));
    EXPECT_EQ(steps, 2);
    EXPECT_EQ(module.Get(11023, 1)[0], c.protocol);
}

INSTANTIATE_TEST_SUITE_P(Table, ProtocolSwitch,
                         ::testing::Values(ProtocolCase{"OddDlt97", 1, 1, 1, 0},
                                           ProtocolCase{"EvenDlt07", 2, 2, 2, 0},
                                           ProtocolCase{"TwoStopsYaao", 0, 3, 0, 1},
                                           ProtocolCase{"OneStopDatang", 3, 4, 0, 0},
                                           ProtocolCase{"OddModbus", 1, 0, 1, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Switching, FirstFormatWriteUnheardStillSucceeds) {
    module.silentAt = 1; // the module still listened in its old format
    EXPECT_EQ(ConfigureProtocol(link, 1, 2, 1, Switch(), Step()), ProtocolConfiguredText());
    EXPECT_EQ(link.ExchangeCount(), 3u);
}

struct FailureCase {
    const char* name;
    bool switchSucceeds;
    int silentAt;
    QString text;
    std::size_t requests;
};

class ProtocolFailures : public Switching, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ProtocolFailures, Outcome) {
    const FailureCase& c = GetParam();
    switchSucceeds = c.switchSucceeds;
    module.silentAt = c.silentAt;
    EXPECT_EQ(ConfigureProtocol(link, 1, 1, 2, Switch(), Step()), c.text);
    EXPECT_EQ(link.ExchangeCount(), c.requests);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProtocolFailures,
    ::testing::Values(
        FailureCase{"PortSwitch", false, 0, QStringLiteral("根据系统比特率格式切换端口失败！"), 0},
        FailureCase{"SecondFormatWrite", true, 2, QStringLiteral("配置<比特率格式>数据失败！"), 2},
        FailureCase{"ProtocolWrite", true, 3, QStringLiteral("配置<通信协议>数据失败！"), 3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Switching, CalibrationStateEntry) {
    line = {1, 2, 1, 1};
    module.Set(11023, {2});
    module.Set(269, {1});
    EXPECT_EQ(EnterCalibrationState(link, 1, Switch(), Step()),
              QStringLiteral("进入标定状态成功,可以进行产品标定！"));
    EXPECT_EQ(switches, std::vector<int>{3});
    EXPECT_EQ(line, (PortIndexes{3, 0, 2, 0}));
    EXPECT_EQ(Requests(),
              (std::vector<Bytes>{Write40(11023, 0), Write10(269, 3), Write10(269, 3)}));
    EXPECT_EQ(steps, 4);
    EXPECT_EQ(module.Get(269, 1)[0], 3);
    EXPECT_EQ(module.Get(11023, 1)[0], 0);
}

class StateEntryFailures : public Switching, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(StateEntryFailures, Outcome) {
    const FailureCase& c = GetParam();
    switchSucceeds = c.switchSucceeds;
    module.silentAt = c.silentAt;
    EXPECT_EQ(EnterCalibrationState(link, 1, Switch(), Step()), c.text);
    EXPECT_EQ(link.ExchangeCount(), c.requests);
}

INSTANTIATE_TEST_SUITE_P(
    Table, StateEntryFailures,
    ::testing::Values(
        FailureCase{"PortSwitch", false, 0, QStringLiteral("进入标定状态切换端口失败！"), 0},
        FailureCase{"Protocol", true, 1, QStringLiteral("进入标定状态配置通信协议失败！"), 1},
        FailureCase{"FirstFormatWriteIgnored", true, 2,
                    QStringLiteral("进入标定状态成功,可以进行产品标定！"), 3},
        FailureCase{"SecondFormatWrite", true, 3, QStringLiteral("配置<比特率格式>数据失败！"), 3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Switching, WiringModeIsOneWordAt273) {
    for (int mode : {0, 1, 2}) {
        link.ClearExchanges();
        EXPECT_TRUE(WriteWiringMode(link, 1, mode));
        EXPECT_EQ(Requests(), std::vector<Bytes>{Write10(273, uint16_t(mode))});
    }
    module.silentAt = module.requests + 1;
    EXPECT_FALSE(WriteWiringMode(link, 1, 1));
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
