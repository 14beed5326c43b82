#include "link/modbus_frames.h"

uint16_t Crc16(std::span<const uint8_t> bytes) {
    uint16_t crc = 0xFFFF;
    for (uint8_t b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit) {
            if (crc & 1)
                crc = static_cast<uint16_t>((crc >> 1) ^ 0xA001);
            else
                crc = static_cast<uint16_t>(crc >> 1);
        }
    }
    return crc;
}

namespace {

void AppendWord(std::vector<uint8_t>& frame, uint16_t word) {
    frame.push_back(static_cast<uint8_t>(word >> 8));
    frame.push_back(static_cast<uint8_t>(word & 0xFF));
}

void AppendCrc(std::vector<uint8_t>& frame) {
    const uint16_t crc = Crc16(frame);
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
}

} // namespace

std::vector<uint8_t> BuildReadRequest(uint8_t address, uint8_t function, uint16_t first,
                                      uint16_t count) {
    std::vector<uint8_t> frame{address, function};
    AppendWord(frame, first);
    AppendWord(frame, count);
    AppendCrc(frame);
    return frame;
}

std::vector<uint8_t> BuildWriteRegisterRequest(uint8_t address, uint16_t reg, uint16_t value) {
    std::vector<uint8_t> frame{address, kFcWriteRegister};
    AppendWord(frame, reg);
    AppendWord(frame, value);
    AppendCrc(frame);
    return frame;
}

std::vector<uint8_t> BuildWriteRegistersRequest(uint8_t address, uint8_t function, uint16_t first,
                                                uint16_t count, std::span<const uint16_t> values) {
    const uint16_t limit =
        function == kFcWriteCalibration ? kMaxWriteCalibrationCount : kMaxWriteRegistersCount;
    if (count > limit || values.size() < count) return {};
    std::vector<uint8_t> frame{address, function};
    frame.reserve(9 + 2 * std::size_t{count});
    AppendWord(frame, first);
    AppendWord(frame, count);
    frame.push_back(static_cast<uint8_t>((2 * count) & 0xFF));
    for (std::size_t i = 0; i < count; ++i)
        AppendWord(frame, values[i]);
    AppendCrc(frame);
    return frame;
}

bool CrcMatches(std::span<const uint8_t> reply) {
    const std::size_t n = reply.size();
    if (n < 2) return false;
    const uint16_t crc = Crc16(reply.first(n - 2));
    return reply[n - 2] == (crc & 0xFF) && reply[n - 1] == (crc >> 8);
}

bool CheckReadReply(std::span<const uint8_t> reply, uint16_t count, std::vector<uint16_t>& values,
                    std::size_t* delivered) {
    if (delivered) *delivered = 0;
    const std::size_t n = reply.size();
    if (n < 5 || !CrcMatches(reply) || IsExceptionReply(reply)) return false;
    std::size_t carried = (n - 5) / 2;
    if (carried > count) carried = count;
    // Callers index the first count entries; keep the vector at least that long.
    if (values.size() < count) values.resize(count);
    for (std::size_t i = 0; i < carried; ++i)
        values[i] = static_cast<uint16_t>(reply[3 + 2 * i] << 8 | reply[4 + 2 * i]);
    if (delivered) *delivered = carried;
    return true;
}

bool CheckWriteRegisterReply(std::span<const uint8_t> reply, uint16_t value) {
    if (reply.size() < 6) return false;
    if (reply[4] != (value >> 8) || reply[5] != (value & 0xFF)) return false;
    return CrcMatches(reply);
}

bool CheckWriteRegistersReply(std::span<const uint8_t> reply) {
    return reply.size() >= 5 && CrcMatches(reply) && !IsExceptionReply(reply);
}

bool CheckWriteCalibrationReply(std::span<const uint8_t> reply, uint16_t count) {
    if (reply.size() < 6) return false;
    if (reply[5] != count) return false;
    return CrcMatches(reply);
}
