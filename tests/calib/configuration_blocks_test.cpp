#include "calib/configuration_blocks.h"
#include "common/conversion.h"
#include "link/modbus_frames.h"
#include "scripted_link.h"
#include "test_bytes.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

ConfigurationFields DefaultFields() {
    ConfigurationFields f;
    const int hours[] = {1, 7, 13, 19};
    for (int n = 0; n < 4; ++n)
        f.segments[n] = {hours[n], 0, n + 1};
    f.readingDay = 1;
    f.readingHour = 1;
    f.tariffs = 4;
    f.segmentCount = 4;
    f.pulseConstant = 3600;
    f.startCurrent = 10;
    f.pt = 1;
    f.ct = 1;
    f.overVoltage = 125;
    f.underVoltage = 70;
    f.phaseBreak = 50;
    f.threshold = 5;
    return f;
}

CalibrationFields Calibration(double v, double i, const QString& model) {
    CalibrationFields f;
    f.ratedVoltage = v;
    f.ratedCurrent = i;
    f.serialNumbers = {"1306", "1701", "0001"};
    f.hardwareVersions = {"0001", "0002", "0003"};
    f.modelName = model;
    f.scales = {43605, 100, 0, 1000, 43605, 10, 0, 100};
    f.enables = {1, 2, 3, 4, 5};
    return f;
}

} // namespace

struct PulseCase {
    double voltage;
    double current;
    int expected;
};

void PrintTo(const PulseCase& c, std::ostream* os) {
    *os << c.voltage << " V " << c.current << " A";
}

class PulseConstantTest : public testing::TestWithParam<PulseCase> {};

TEST_P(PulseConstantTest, FollowsTheRatingsWithItsCap) {
    EXPECT_EQ(PulseConstant(GetParam().voltage, GetParam().current), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Ratings, PulseConstantTest,
                         testing::Values(PulseCase{220, 5, 3600}, PulseCase{1, 1, 65530},
                                         PulseCase{57.7, 1.5, 45753}, PulseCase{100, 0.6, 65530},
                                         PulseCase{60.42, 1, 65530}, PulseCase{60.5, 1, 65454},
                                         PulseCase{0, 5, 65530}));

TEST(UserBlocks, DefaultsLayOutAsTheModuleReadsThem) {
    const ConfigurationFields f = DefaultFields();
    EXPECT_EQ(UserBlock1(f),
              (std::vector<uint16_t>{0x0100, 1, 0x0700, 2, 0x0D00, 3, 0x1300, 4, 0x0101}));
    EXPECT_EQ(UserBlock2(f), (std::vector<uint16_t>{0, 3600, 10}));
    EXPECT_EQ(UserBlock3(f), (std::vector<uint16_t>{1, 1, 0, 0, 0, 1250, 700, 500, 50, 0}));
    const auto b4 = UserBlock4(f);
    ASSERT_EQ(b4.size(), 18u);
    EXPECT_EQ(b4[0], 4);
    EXPECT_EQ(b4[1], 4);
    for (std::size_t k = 2; k < 18; ++k)
        EXPECT_EQ(b4[k], 0) << k;
}

TEST(UserBlocks, SegmentsFiveToTwelveKeepTheirOrderAndRegister278StaysZero) {
    ConfigurationFields f = DefaultFields();
    for (int n = 4; n < 12; ++n)
        f.segments[n] = {n + 1, 10 + n, n - 3};
    f.pulseMode = 1;
    f.harmonic = 1;
    f.ctCount = 1;
    f.demandMethod = 1;
    const auto b4 = UserBlock4(f);
    for (int n = 4; n < 12; ++n) {
        EXPECT_EQ(b4[2 + 2 * (n - 4)], (n + 1) * 256 + 10 + n) << n;
        EXPECT_EQ(b4[3 + 2 * (n - 4)], n - 3) << n;
    }
    const auto b3 = UserBlock3(f);
    EXPECT_EQ(b3[2], 1);
    EXPECT_EQ(b3[3], 1);
    EXPECT_EQ(b3[4], 0); // 278
    EXPECT_EQ(b3[9], 1);
    EXPECT_EQ(UserBlock2(f)[0], 1);
}

TEST(UserBlocks, SpillingTimesRefused) {
    ConfigurationFields f = DefaultFields();
    f.segments[2].minute = 256; // would carry into the hour
    EXPECT_THROW(UserBlock1(f), ConversionError);
    f = DefaultFields();
    f.segments[11].hour = -1;
    EXPECT_THROW(UserBlock4(f), ConversionError);
}

// The largest value each Modbus range admits goes out as it is: none is cut to fit its word.
TEST(UserBlocks, TheTopOfEveryModbusRangeGoesOutUnchanged) {
    const FieldRanges& r = kModbusFieldRanges;
    ConfigurationFields f = DefaultFields();
    for (TimeSegment& s : f.segments)
        s = {r.hour.maximum, r.minute.maximum, r.tariff.maximum};
    f.readingDay = r.readingDay.maximum;
    f.readingHour = r.readingHour.maximum;
    f.tariffs = r.tariffs.maximum;
    f.segmentCount = r.segmentCount.maximum;
    f.pulseConstant = r.pulseConstant.maximum;
    f.startCurrent = r.startCurrent.maximum;
    f.pt = r.pt.maximum;
    f.ct = r.ct.maximum;
    f.overVoltage = f.underVoltage = f.phaseBreak = f.threshold = r.limit.maximum;
    const auto b1 = UserBlock1(f);
    EXPECT_EQ(b1[0], r.hour.maximum << 8 | r.minute.maximum);
    EXPECT_EQ(b1[1], r.tariff.maximum);
    EXPECT_EQ(b1[8], r.readingDay.maximum << 8 | r.readingHour.maximum);
    EXPECT_EQ(UserBlock2(f), (std::vector<uint16_t>{0, uint16_t(r.pulseConstant.maximum),
                                                    uint16_t(r.startCurrent.maximum)}));
    const auto b3 = UserBlock3(f);
    EXPECT_EQ(b3[0], r.pt.maximum);
    EXPECT_EQ(b3[1], r.ct.maximum);
    for (int k = 5; k <= 8; ++k)
        EXPECT_EQ(b3[k], r.limit.maximum * 10) << k;
    const auto b4 = UserBlock4(f);
    EXPECT_EQ(b4[0], r.tariffs.maximum);
    EXPECT_EQ(b4[1], r.segmentCount.maximum);
}

struct RatingCase {
    double voltage;
    double current;
    uint32_t v;
    uint32_t i;
    uint32_t power;
};

void PrintTo(const RatingCase& c, std::ostream* os) {
    *os << c.voltage << " V " << c.current << " A";
}

class CalibrationRatingTest : public testing::TestWithParam<RatingCase> {};

TEST_P(CalibrationRatingTest, LowWordFirstTruncated) {
    const RatingCase c = GetParam();
    const auto w = CalibrationBlock(Calibration(c.voltage, c.current, "KX2953B35-01"));
    ASSERT_EQ(w.size(), 30u);
    EXPECT_EQ(w[0], c.v & 0xFFFF);
    EXPECT_EQ(w[1], c.v >> 16);
    EXPECT_EQ(w[2], c.i & 0xFFFF);
    EXPECT_EQ(w[3], c.i >> 16);
    EXPECT_EQ(w[4], c.power & 0xFFFF);
    EXPECT_EQ(w[5], c.power >> 16);
}

INSTANTIATE_TEST_SUITE_P(
    Ratings, CalibrationRatingTest,
    testing::Values(RatingCase{57.5, 1.5, 575, 1500, 862}, RatingCase{220, 5, 2200, 5000, 11000},
                    RatingCase{380, 100, 3800, 100000, 380000},
                    // 10 kV and 2 kA: the product leaves 32 bits; the quotient still fits.
                    RatingCase{10000, 2000, 100000, 2000000, 200000000},
                    RatingCase{0.19, 0.0019, 1, 1, 0}));

TEST(HexWordTest, FirstFourCharactersAsHexadecimal) {
    EXPECT_EQ(HexWord("产品序列号1：", "1306"), 0x1306);
    EXPECT_EQ(HexWord("产品序列号2：", "13067"), 0x1306); // only the first four characters
    EXPECT_EQ(HexWord("产品序列号3：", "abcd"), 0xABCD);
    EXPECT_EQ(HexWord("硬件版本号1：", "0001G"), 0x0001); // ... whatever follows them
}

TEST(HexWordTest, RefusalNamesTheField) {
    for (const char* text : {"", "00G1", "-123"}) {
        try {
            HexWord(QStringLiteral("硬件版本号3："), QString::fromUtf8(text));
            FAIL() << text;
        } catch (const ConversionError& e) {
            EXPECT_EQ(e.text(), QStringLiteral("硬件版本号3：“%1”不是有效的十六进制数")
                                    .arg(QString::fromUtf8(text)));
        }
    }
}

TEST(CalibrationBlockTest, LayoutOfNumbersNameScalesAndVersions) {
    CalibrationFields f = Calibration(220, 5, "KX2953B35-01");
    f.serialNumbers = {"1306", "13067", "abcd"};
    const auto w = CalibrationBlock(f);
    EXPECT_EQ(w[6], 0x1306);
    EXPECT_EQ(w[7], 0x1306); // only the first four characters
    EXPECT_EQ(w[8], 0xABCD);
    EXPECT_EQ(w[9], '2' << 8 | '9');
    EXPECT_EQ(w[10], '5' << 8 | '3');
    EXPECT_EQ(w[11], 'B' << 8 | '-');
    EXPECT_EQ(w[12], '0' << 8 | '1');
    EXPECT_EQ(std::vector<uint16_t>(w.begin() + 13, w.begin() + 21),
              (std::vector<uint16_t>{43605, 100, 0, 1000, 43605, 10, 0, 100}));
    EXPECT_EQ(w[21], 0); // 11023: the protocol switch writes the scheme's own
    EXPECT_EQ(std::vector<uint16_t>(w.begin() + 22, w.begin() + 27),
              (std::vector<uint16_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(std::vector<uint16_t>(w.begin() + 27, w.end()), (std::vector<uint16_t>{1, 2, 3}));
}

TEST(CalibrationBlockTest, RefusesWhatCannotBeSent) {
    EXPECT_THROW(CalibrationBlock(Calibration(220, 5, "KX2953B35-0")), ConversionError);
    CalibrationFields f = Calibration(220, 5, "KX2953B35-01");
    f.serialNumbers[1] = "";
    EXPECT_THROW(CalibrationBlock(f), ConversionError);
    f = Calibration(220, 5, "KX2953B35-01");
    f.hardwareVersions[2] = "00G1";
    EXPECT_THROW(CalibrationBlock(f), ConversionError);
    // Words the module would read back as other ratings than those typed.
    EXPECT_THROW(CalibrationBlock(Calibration(-220, 5, "KX2953B35-01")), ConversionError);
    EXPECT_THROW(CalibrationBlock(Calibration(220, 2147484, "KX2953B35-01")), ConversionError);
    // Each rating fits, their product does not.
    EXPECT_THROW(CalibrationBlock(Calibration(220000, 2000000, "KX2953B35-01")), ConversionError);
}

struct RatingFitCase {
    double value;
    int scale;
    bool fits;
};

class RatingFitsTest : public testing::TestWithParam<RatingFitCase> {};

TEST_P(RatingFitsTest, ScaledWithinTheSignedWord) {
    EXPECT_EQ(RatingFits(GetParam().value, GetParam().scale), GetParam().fits)
        << GetParam().value << " x " << GetParam().scale;
}

INSTANTIATE_TEST_SUITE_P(Table, RatingFitsTest,
                         testing::Values(RatingFitCase{0, 10, true}, RatingFitCase{220, 10, true},
                                         RatingFitCase{-0.05, 10, true}, // truncates to 0
                                         RatingFitCase{-0.1, 10, false},
                                         RatingFitCase{214748364.7, 10, true},
                                         RatingFitCase{214748364.8, 10, false},
                                         RatingFitCase{2147483.647, 1000, true},
                                         RatingFitCase{2147483.648, 1000, false}));

TEST(OutputList, CountThenAddressesWithinTheBuffer) {
    EXPECT_EQ(OutputListBlock({}), (std::vector<uint16_t>{0}));
    EXPECT_EQ(OutputListBlock({4000, 4040, 4041}), (std::vector<uint16_t>{3, 4000, 4040, 4041}));
    EXPECT_EQ(OutputListBlock(std::vector<uint16_t>(199, 7)).size(), 200u);
    EXPECT_TRUE(OutputListBlock(std::vector<uint16_t>(200, 7)).empty());
}

TEST(Clock, WordsOfALocalTime) {
    EXPECT_EQ(ClockWords(QDateTime(QDate(2013, 6, 17), QTime(9, 45, 30))),
              (std::vector<uint16_t>{13 << 8 | 6, 17 << 8 | 9, 45 << 8 | 30}));
    // The year keeps one byte.
    EXPECT_EQ(ClockWords(QDateTime(QDate(2300, 12, 31), QTime(23, 59, 59)))[0],
              (300 & 0xFF) << 8 | 12);
}

using CodeCase = std::tuple<int, int, const char*>;
class FrameFormatCodeTest : public testing::TestWithParam<CodeCase> {};

TEST_P(FrameFormatCodeTest, Table) {
    const auto [protocol, index, code] = GetParam();
    EXPECT_EQ(FrameFormatCode(protocol, index), QString::fromUtf8(code));
}

INSTANTIATE_TEST_SUITE_P(
    Codes, FrameFormatCodeTest,
    testing::Values(CodeCase{0, 0, "B0"}, CodeCase{0, 3, "B3"}, CodeCase{0, -1, "比特率格式错误"},
                    CodeCase{1, 0, "比特率格式错误"}, CodeCase{1, 1, "G1"}, CodeCase{2, 2, "G2"},
                    CodeCase{2, 3, "G0"}, CodeCase{1, 4, "比特率格式错误"}, CodeCase{3, 0, "J0"},
                    CodeCase{3, 2, "J2"}, CodeCase{4, 1, "T1"}, CodeCase{4, 3, "T3"},
                    CodeCase{4, 7, "比特率格式错误"}, CodeCase{5, 3, ""}, CodeCase{9, -1, ""}));

TEST(ModelName, RebuiltFromTheCalibrationWords) {
    const auto w = CalibrationBlock(Calibration(220, 5, "KX2953B35-01"));
    EXPECT_EQ(RebuildModelName(w, FrameFormatCode(0, 3)), QStringLiteral("KX2953B35-01"));
    EXPECT_EQ(RebuildModelName(w, FrameFormatCode(3, 1)), QStringLiteral("KX2953J15-01"));
    EXPECT_EQ(RebuildModelName(w, FrameFormatCode(1, 0)),
              QStringLiteral("KX2953比特率格式错误5-01"));
}

TEST(LowWordFirstValue, IsSigned) {
    EXPECT_EQ(LowWordFirst(2200, 0), 2200);
    EXPECT_EQ(LowWordFirst(0x86A0, 0x0001), 100000);
    EXPECT_EQ(LowWordFirst(0xFFFF, 0xFFFF), -1);
}

namespace {
Bytes ReadReply(uint8_t function, const std::vector<uint16_t>& words) {
    Bytes reply{1, function, uint8_t(2 * words.size())};
    for (uint16_t w : words) {
        reply.push_back(uint8_t(w >> 8));
        reply.push_back(uint8_t(w & 0xFF));
    }
    const uint16_t crc = Crc16(reply);
    reply.push_back(uint8_t(crc & 0xFF));
    reply.push_back(uint8_t(crc >> 8));
    return reply;
}
} // namespace

// A well-formed reply that carries fewer words than asked fails the read.
TEST(ReadAllWordsTest, AShortReplyIsAFailedRead) {
    for (ReadKind kind : {ReadKind::Registers, ReadKind::Calibration}) {
        const uint8_t function = kind == ReadKind::Registers ? 0x03 : 0x33;
        ScriptedLink link;
        link.QueueReply(ReadReply(function, {1, 2, 3}));
        std::vector<uint16_t> values;
        EXPECT_TRUE(ReadAllWords(link, 1, kind, 257, 3, values));
        EXPECT_EQ(values, (std::vector<uint16_t>{1, 2, 3}));
        link.QueueReply(ReadReply(function, {1, 2}));
        EXPECT_FALSE(ReadAllWords(link, 1, kind, 257, 3, values));
        EXPECT_EQ(link.LastRequest()[1], function);
        link.QueueSilence();
        EXPECT_FALSE(ReadAllWords(link, 1, kind, 257, 3, values));
    }
}

namespace {
class RecordingProgress : public DownloadProgress {
public:
    int steps = 0;
    std::vector<int> waits;
    void Step() override { ++steps; }
    void Wait(int ms) override { waits.push_back(ms); }
};

// Echo of a write request's head, as the module confirms 0x10 and 0x40 writes.
std::optional<Bytes> ConfirmWrite(const Bytes& request, const TransactParams&) {
    Bytes reply(request.begin(), request.begin() + 6);
    const uint16_t crc = Crc16(reply);
    reply.push_back(uint8_t(crc & 0xFF));
    reply.push_back(uint8_t(crc >> 8));
    return reply;
}
} // namespace

TEST(ConfigurationDownload, FourBlocksWithWaitsThenTheCalibrationBlock) {
    const ConfigurationBlocks blocks =
        BuildConfigurationBlocks(DefaultFields(), Calibration(220, 5, "KX2953B35-01"));
    ScriptedLink link;
    link.SetResponder(ConfirmWrite);
    RecordingProgress progress;
    ASSERT_TRUE(WriteConfigurationBlocks(link, 7, blocks, progress));
    const auto ex = link.Exchanges();
    ASSERT_EQ(ex.size(), 5u);
    const std::tuple<uint8_t, uint16_t, uint16_t> expected[] = {
        {0x10, 260, 9}, {0x10, 270, 3}, {0x10, 274, 10}, {0x10, 286, 18}, {0x40, 11002, 30}};
    for (std::size_t k = 0; k < 5; ++k) {
        const auto [function, first, count] = expected[k];
        EXPECT_EQ(ex[k].request[0], 7);
        EXPECT_EQ(ex[k].request[1], function) << k;
        EXPECT_EQ(ex[k].request[2] << 8 | ex[k].request[3], first) << k;
        EXPECT_EQ(ex[k].request[4] << 8 | ex[k].request[5], count) << k;
    }
    EXPECT_EQ(progress.waits, (std::vector<int>{2000, 2000, 2000, 2000}));
    EXPECT_EQ(progress.steps, 5);
}

TEST(ConfigurationDownload, StopsAtTheFirstFailedBlock) {
    const ConfigurationBlocks blocks =
        BuildConfigurationBlocks(DefaultFields(), Calibration(220, 5, "KX2953B35-01"));
    ScriptedLink link;
    link.QueueReply(*ConfirmWrite(Hex("07 10 01 04 00 09"), {}));
    link.QueueReply(*ConfirmWrite(Hex("07 10 01 0E 00 03"), {}));
    link.QueueSilence();
    RecordingProgress progress;
    EXPECT_FALSE(WriteConfigurationBlocks(link, 7, blocks, progress));
    EXPECT_EQ(link.ExchangeCount(), 3u);
    EXPECT_EQ(progress.waits.size(), 2u);
}

TEST(ConfigurationDownload, NameTooShortIsFoundBeforeAnyBlockIsFormed) {
    EXPECT_THROW(BuildConfigurationBlocks(DefaultFields(), Calibration(220, 5, "KX2953")),
                 ConversionError);
}
