#pragma once
// Checksums and small byte helpers of the four bus protocols, as the module computes them.
// Kept apart from the host's own frame code on purpose: a mistake shared by both sides would
// make every exchange look right.

#include <cstdint>
#include <span>
#include <vector>

namespace simframe {

using Bytes = std::vector<uint8_t>;

// CRC-16/MODBUS (poly 0xA001 reflected, start 0xFFFF); sent low byte first.
uint16_t crc16(std::span<const uint8_t> bytes);
// Appends the CRC of everything before it, low byte first.
void appendCrc(Bytes& frame);
// True when the last two bytes are the CRC of the bytes before them.
bool crcOk(std::span<const uint8_t> frame);

// Sum modulo 256 (DL/T 645 over the whole frame before the checksum; 亚奥 over command and data).
uint8_t sum8(std::span<const uint8_t> bytes);
// 大唐: two's complement of the sum.
inline uint8_t negatedSum8(std::span<const uint8_t> bytes) {
    return uint8_t(-sum8(bytes));
}

// Packed BCD of v mod 100 (tens in the high half) and back.
inline uint8_t toBcd(unsigned v) {
    return uint8_t(((v % 100) / 10) << 4 | (v % 10));
}
inline unsigned fromBcd(uint8_t b) {
    return (b >> 4) * 10u + (b & 0x0F);
}
// A byte is valid packed BCD when both halves are decimal digits.
inline bool isBcd(uint8_t b) {
    return (b >> 4) < 10 && (b & 0x0F) < 10;
}

} // namespace simframe
