// Where a reply ends by its own framing: the rule that lets a polling read stop at the last byte.

#include "link/framing.h"
#include "test_bytes.h"

#include <gtest/gtest.h>

namespace {

struct FramingCase {
    const char* name;
    WireProtocol protocol;
    const char* received;
    std::size_t knownLength;
    std::size_t end; // 0: not complete yet
};

const FramingCase kCases[] = {
    {"modbus_read_whole", WireProtocol::Modbus, "01 03 02 00 11 79 88", 0, 7},
    {"modbus_read_first_piece", WireProtocol::Modbus, "01 03 02 00", 0, 0},
    {"modbus_read_count_unknown_yet", WireProtocol::Modbus, "01 03", 0, 0},
    {"modbus_read_tail_after_frame", WireProtocol::Modbus, "01 03 02 00 11 79 88 EE EE", 0, 7},
    {"modbus_exception", WireProtocol::Modbus, "01 83 02 C0 F1", 0, 5},
    {"modbus_exception_partial", WireProtocol::Modbus, "01 83 02", 0, 0},
    {"modbus_write_echo", WireProtocol::Modbus, "01 06 02 00 AA 55 00 00", 0, 8},
    {"modbus_own_read_0x33", WireProtocol::Modbus, "01 33 04 00 01 00 02 00 00", 0, 9},
    {"modbus_unknown_function", WireProtocol::Modbus, "01 2B 00 00 00", 0, 0},
    {"modbus_empty", WireProtocol::Modbus, "", 0, 0},
    {"dlt645_whole", WireProtocol::Dlt645, "68 01 00 00 00 00 00 68 81 04 43 C3 33 33 00 16", 0,
     16},
    {"dlt645_fe_preamble", WireProtocol::Dlt645,
     "FE FE FE FE 68 01 00 00 00 00 00 68 81 04 43 C3 33 33 00 16", 0, 20},
    {"dlt645_garbage_before", WireProtocol::Dlt645,
     "00 68 13 68 01 00 00 00 00 00 68 81 02 43 C3 00 16", 0, 17},
    {"dlt645_header_only", WireProtocol::Dlt645, "FE 68 01 00 00 00 00 00 68 81", 0, 0},
    {"dlt645_length_known_data_missing", WireProtocol::Dlt645, "68 01 00 00 00 00 00 68 81 04 43",
     0, 0},
    {"yaao_whole", WireProtocol::Yaao, "55 01 03 01 00 10 11 AA", 0, 8},
    {"yaao_first_piece", WireProtocol::Yaao, "55 01 03 01", 0, 0},
    {"yaao_garbage_before", WireProtocol::Yaao, "00 00 55 01 01 04 04 AA", 0, 8},
    // 大唐 carries no length: the caller's expected length, and a checksum that holds there.
    {"datang_known_length", WireProtocol::Datang, "7E 0A 01 30 02 00 FF 10 00 B4", 10, 10},
    {"datang_before_known_length", WireProtocol::Datang, "7E 0A 01 30 02 00 FF 10", 10, 0},
    {"datang_longer_than_expected_goes_on", WireProtocol::Datang, "7E 0A 01 30 04 00 FF 10 00 20",
     10, 0},
    {"datang_longer_than_expected_whole", WireProtocol::Datang,
     "7E 0A 01 30 04 00 FF 10 00 20 00 92", 10, 12},
    {"datang_no_known_length", WireProtocol::Datang, "7E 0A 01 30 02 00 FF 10 00 B4", 0, 0},
    {"unknown_protocol_known_length", WireProtocol::Unknown, "01 02 03", 3, 3},
    {"unknown_protocol", WireProtocol::Unknown, "01 02 03", 0, 0},
};

class ReplyFraming : public ::testing::TestWithParam<FramingCase> {};

TEST_P(ReplyFraming, EndsWhereTheFrameSaysAndNotBefore) {
    const FramingCase& c = GetParam();
    const Bytes received = Hex(c.received);
    EXPECT_EQ(ReplyEnd(c.protocol, received, c.knownLength), c.end);
    // Every shorter prefix of a complete reply is still incomplete.
    for (std::size_t n = 0; n < c.end; ++n) {
        EXPECT_EQ(ReplyEnd(c.protocol, std::span(received).first(n), c.knownLength), 0u)
            << "complete after " << n << " bytes";
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ReplyFraming, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
