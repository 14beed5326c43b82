// The Telnet layer of RFC 2217 ports: 0xFF doubled both ways (Modbus frames and CRCs hold it),
// commands and subnegotiations cut anywhere between two reads, the COM port settings.

#include "link/telnet.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;
using namespace telnet;

TEST(Telnet, DataBytes0xFFAreDoubledAndUndone) {
    // A Modbus reply whose data and CRC hold 0xFF.
    const Bytes frame{0x01, 0x03, 0x02, 0xFF, 0xFF, 0xB9, 0xF4};
    const Bytes wire = TelnetEscape(frame);
    EXPECT_EQ(wire, (Bytes{0x01, 0x03, 0x02, 0xFF, 0xFF, 0xFF, 0xFF, 0xB9, 0xF4}));
    // Fed a byte at a time, as TCP may cut it.
    TelnetDecoder decoder;
    Bytes data;
    for (uint8_t b : wire)
        decoder.Feed(&b, 1, data);
    EXPECT_EQ(data, frame);
}

TEST(Telnet, CommandsAndSubnegotiationsSplitAcrossReadsAreReported) {
    std::vector<std::pair<int, int>> options;
    std::vector<std::pair<int, Bytes>> subs;
    TelnetDecoder decoder({[&](uint8_t verb, uint8_t option) {
                               options.push_back({verb, option});
                           },
                           [&](uint8_t option, const Bytes& bytes) {
                               subs.push_back({option, bytes});
                           }});
    // Data, an option, a baud-rate answer holding 0xFF in its value, more data.
    Bytes stream{0x01, kIac, kWill, kComPortOption, 0x02};
    const Bytes answer = ComPortCommand(kSetBaudRate + kServerOffset, {0x00, 0x00, 0x25, 0xFF});
    stream.insert(stream.end(), answer.begin(), answer.end());
    stream.push_back(0x03);
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        options.clear();
        subs.clear();
        decoder.Reset();
        Bytes data;
        decoder.Feed(stream.data(), cut, data);
        decoder.Feed(stream.data() + cut, stream.size() - cut, data);
        EXPECT_EQ(data, (Bytes{0x01, 0x02, 0x03})) << cut;
        EXPECT_EQ(options, (std::vector<std::pair<int, int>>{{kWill, kComPortOption}})) << cut;
        ASSERT_EQ(subs.size(), 1u) << cut;
        EXPECT_EQ(subs[0].first, kComPortOption);
        EXPECT_EQ(subs[0].second, (Bytes{kSetBaudRate + kServerOffset, 0x00, 0x00, 0x25, 0xFF}));
    }
}

TEST(Telnet, ComPortSettingsOfALine) {
    EXPECT_EQ(ComPortSettings(9600, 8, 2, 1),
              (Bytes{kIac, kSb, 44, 1, 0x00, 0x00, 0x25, 0x80, kIac, kSe, // 9600
                     kIac, kSb, 44, 2, 8,    kIac, kSe,                   // 8 data bits
                     kIac, kSb, 44, 3, 3,    kIac, kSe,                   // even
                     kIac, kSb, 44, 4, 1,    kIac, kSe}));                // one stop bit
    const Bytes odd = ComPortSettings(1200, 8, 1, 2);
    EXPECT_EQ(odd[21], 2);             // odd
    EXPECT_EQ(odd[odd.size() - 3], 2); // two stop bits
    // 0xFF inside a value is doubled like data: 65535 baud.
    EXPECT_EQ(ComPortCommand(kSetBaudRate, {0, 0, 0xFF, 0xFF}),
              (Bytes{kIac, kSb, 44, 1, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, kIac, kSe}));
}

} // namespace
