#pragma once
// 亚奥 and 大唐 frames as plain bytes: builders and reply checkers. Plain C++ (no Qt) so that the
// fuzz targets compile this file alone; every checker is safe on any bytes.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

inline constexpr uint8_t kYaaoStart = 0x55;
inline constexpr uint8_t kYaaoEnd = 0xAA;
inline constexpr uint8_t kYaaoPollCommand = 0x01;
inline constexpr uint8_t kDatangPollCommand = 0x30;
inline constexpr uint8_t kDatangClearEnergyCommand = 0x31;

// The length byte counts the command and the data, so at most 254 data bytes fit.
inline constexpr std::size_t kYaaoMaxData = 254;

// What a 亚奥 query returns: the data bytes between the command and the checksum.
struct YaaoRecord {
    uint8_t count = 0;
    std::vector<uint8_t> bytes;
};

// 55 address L command data checksum AA, L = 1 + data size, checksum = sum of command and data.
// Empty when the data does not fit the length byte.
std::vector<uint8_t> BuildYaaoFrame(uint8_t address, uint8_t command,
                                    std::span<const uint8_t> data);

// 7E 0A address command 02 00 FF checksum (negated sum of bytes 1..6).
std::vector<uint8_t> BuildDatangFrame(uint8_t address, uint8_t command);

// 亚奥 replies are judged by their length byte only: byte 2 == n - 5. The command byte, the
// checksum and the end byte are not examined.
bool CheckYaaoReply(std::span<const uint8_t> reply);

// Poll reply: words from byte 4 on, high byte first, (n - 6) / 2 of them (replaces words).
bool CheckYaaoPollReply(std::span<const uint8_t> reply, std::vector<uint16_t>& words);

// Query reply: the bytes 4 .. n-3. A 5-byte reply (length byte 0, no command) has no data.
bool CheckYaaoQueryReply(std::span<const uint8_t> reply, YaaoRecord& record);

// 大唐 poll reply: n >= 6, last byte = negated sum of bytes 1 .. n-2; words from byte 7 on, low
// byte first, (n - 7) / 2 of them (replaces words).
bool CheckDatangPollReply(std::span<const uint8_t> reply, std::vector<uint16_t>& words);

// The length of a 大唐 poll reply of that many words: seven bytes before the words, the checksum
// after them.
inline std::size_t DatangPollReplyLength(std::size_t words) {
    return 8 + 2 * words;
}
// 大唐 clear reply: n >= 8 and byte 7 = negated sum of bytes 1..6.
bool CheckDatangClearReply(std::span<const uint8_t> reply);
