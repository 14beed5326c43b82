#pragma once
// DL/T 645 (1997 and 2007) frames as plain bytes: the frame builder, the reply checkers of the six
// transactions and two small value conversions. Plain C++ (no Qt) so that the fuzz targets compile
// this file alone; every checker is safe on any bytes and answers false for what it refuses.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

using Dlt645Address = std::array<uint8_t, 6>;

inline constexpr uint8_t kDlt645Start = 0x68;
inline constexpr uint8_t kDlt645End = 0x16;
inline constexpr uint8_t kDlt645Offset = 0x33;
inline constexpr uint8_t kDlt645Read1997 = 0x01;
inline constexpr uint8_t kDlt645Read2007 = 0x11;
inline constexpr uint8_t kDlt645Read2007Reply = 0x91;

// The meter address of a module: its bus address as one packed BCD byte (the two digits of the
// address mod 100, so 112 is 12), then five zero bytes. Every frame addressed to the module
// carries it, reads, writes and clears alike; a module does not answer its address in binary.
Dlt645Address Dlt645ModuleAddress(uint8_t moduleAddress);

// 68 A0..A5 68 C L data+0x33 CS 16. The length byte is sent as given, whatever data follows (the
// module's 1997 clear commands rely on that); data is written in full.
std::vector<uint8_t> BuildDlt645Frame(const Dlt645Address& address, uint8_t control,
                                      uint8_t lengthByte, std::span<const uint8_t> data);

// Reply to a 1997 read: n >= 5, checksum, 68 first, 16 last. Delivers bytes 12 .. n-1 minus 0x33
// (the last two delivered bytes are the checksum and the end byte, minus 0x33).
bool CheckRead1997Reply(std::span<const uint8_t> reply, std::vector<uint8_t>& out);

// Reply to a 2007 read: checksum, 68 first, control 0x91 at byte 8, 16 last. Delivers bytes
// 14 .. n-1 minus 0x33.
bool CheckRead2007Reply(std::span<const uint8_t> reply, std::vector<uint8_t>& out);

// Reply to the four commands: checksum, 68 first, 16 last; the control code is not examined.
bool CheckCommandReply(std::span<const uint8_t> reply);

// The 2007 identifier text ("0x02010100"): trimmed of blanks, characters 3 to 10 are eight
// hexadecimal digits, most significant byte first. Returns D0..D3 (the order on the wire), or
// nothing when the text is too short or a digit is not hexadecimal.
std::optional<std::array<uint8_t, 4>> ParseIdentifier2007(std::string_view text);

// "0A" for 10: two upper-case hexadecimal characters, high half first.
std::string HexByteText(uint8_t value);

// 10 * high half + low half: the decimal value of a packed BCD byte.
inline int BcdToInt(uint8_t value) {
    return 10 * (value >> 4) + (value & 0x0F);
}
