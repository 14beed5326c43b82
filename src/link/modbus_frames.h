#pragma once
// Modbus RTU frames of the module as plain bytes: request builders and reply checkers.
// Plain C++ (no Qt) so that the fuzz targets compile this file alone. Every checker accepts any
// bytes at all (empty, truncated, oversized, garbage) and answers false for what it refuses.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

inline constexpr uint8_t kFcReadRegisters = 0x03;
inline constexpr uint8_t kFcWriteRegister = 0x06;
inline constexpr uint8_t kFcWriteRegisters = 0x10;
inline constexpr uint8_t kFcReadRawSamples = 0x30;
inline constexpr uint8_t kFcReadCalibration = 0x33;
inline constexpr uint8_t kFcWriteCalibration = 0x40;

// The module's request buffers: a 0x10 request holds at most 256 bytes, a 0x40 request 1000.
inline constexpr uint16_t kMaxWriteRegistersCount = 123;
inline constexpr uint16_t kMaxWriteCalibrationCount = 495;

// CRC-16/MODBUS (start 0xFFFF, reflected polynomial 0xA001); sent low byte first.
uint16_t Crc16(std::span<const uint8_t> bytes);

// 8-byte read request (0x03, 0x30, 0x33): address, code, first, count, CRC.
std::vector<uint8_t> BuildReadRequest(uint8_t address, uint8_t function, uint16_t first,
                                      uint16_t count);

// 8-byte 0x06 request.
std::vector<uint8_t> BuildWriteRegisterRequest(uint8_t address, uint16_t reg, uint16_t value);

// 0x10 or 0x40 request of 9 + 2 * count bytes. The byte-count field carries the low eight bits of
// 2 * count, as the module expects. Empty when values holds fewer than count entries or count is
// beyond the limit of the function code (the caller then sends nothing).
std::vector<uint8_t> BuildWriteRegistersRequest(uint8_t address, uint8_t function, uint16_t first,
                                                uint16_t count, std::span<const uint16_t> values);

// True when the last two bytes are the CRC of the bytes before them, low byte first.
bool CrcMatches(std::span<const uint8_t> reply);

// The function code of the reply has bit 7 set: the module refused the request.
inline bool IsExceptionReply(std::span<const uint8_t> reply) {
    return reply.size() >= 2 && (reply[1] & 0x80) != 0;
}

// Reply to a read: at least 5 bytes and a good CRC. Values are taken from byte 3 on, high byte
// first, (n - 5) / 2 of them and never more than count. Address, code and byte count are not
// compared with the request, but an exception reply (function code with bit 7 set) is the
// module's refusal and fails. Returns the number of values delivered through delivered.
bool CheckReadReply(std::span<const uint8_t> reply, uint16_t count, std::vector<uint16_t>& values,
                    std::size_t* delivered = nullptr);

// Reply to 0x06: bytes 4 and 5 repeat the value written, and a good CRC.
bool CheckWriteRegisterReply(std::span<const uint8_t> reply, uint16_t value);

// Reply to 0x10: at least 5 bytes and a good CRC; an exception reply (the module refused the
// write) fails.
bool CheckWriteRegistersReply(std::span<const uint8_t> reply);

// Reply to 0x40: byte 5 equals the whole count (so a count above 255 never passes), good CRC.
bool CheckWriteCalibrationReply(std::span<const uint8_t> reply, uint16_t count);
