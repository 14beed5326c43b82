#include "frames.h"

namespace simframe {

uint16_t crc16(std::span<const uint8_t> bytes) {
    uint16_t crc = 0xFFFF;
    for (uint8_t b : bytes) {
        crc ^= b;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

void appendCrc(Bytes& frame) {
    const uint16_t crc = crc16(frame);
    frame.push_back(uint8_t(crc & 0xFF));
    frame.push_back(uint8_t(crc >> 8));
}

bool crcOk(std::span<const uint8_t> frame) {
    if (frame.size() < 3) return false;
    const uint16_t crc = crc16(frame.first(frame.size() - 2));
    return frame[frame.size() - 2] == (crc & 0xFF) && frame[frame.size() - 1] == (crc >> 8);
}

uint8_t sum8(std::span<const uint8_t> bytes) {
    unsigned s = 0;
    for (uint8_t b : bytes)
        s += b;
    return uint8_t(s);
}

} // namespace simframe
