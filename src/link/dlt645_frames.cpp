#include "link/dlt645_frames.h"

#include <cstddef>

namespace {

uint8_t SumOf(std::span<const uint8_t> bytes) {
    unsigned sum = 0;
    for (uint8_t b : bytes)
        sum += b;
    return static_cast<uint8_t>(sum & 0xFF);
}

// Checks common to every reply; byte n-2 is the sum of the bytes before it.
bool FrameChecks(std::span<const uint8_t> reply) {
    const std::size_t n = reply.size();
    if (n < 3) return false;
    if (reply[n - 2] != SumOf(reply.first(n - 2))) return false;
    return reply[0] == kDlt645Start && reply[n - 1] == kDlt645End;
}

void Deliver(std::span<const uint8_t> reply, std::size_t start, std::vector<uint8_t>& out) {
    out.clear();
    for (std::size_t i = start; i < reply.size(); ++i)
        out.push_back(static_cast<uint8_t>(reply[i] - kDlt645Offset));
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

} // namespace

Dlt645Address Dlt645ModuleAddress(uint8_t moduleAddress) {
    const unsigned pair = moduleAddress % 100u;
    return {static_cast<uint8_t>((pair / 10) << 4 | (pair % 10)), 0, 0, 0, 0, 0};
}

std::vector<uint8_t> BuildDlt645Frame(const Dlt645Address& address, uint8_t control,
                                      uint8_t lengthByte, std::span<const uint8_t> data) {
    std::vector<uint8_t> frame;
    frame.reserve(12 + data.size());
    frame.push_back(kDlt645Start);
    frame.insert(frame.end(), address.begin(), address.end());
    frame.push_back(kDlt645Start);
    frame.push_back(control);
    frame.push_back(lengthByte);
    for (uint8_t b : data)
        frame.push_back(static_cast<uint8_t>(b + kDlt645Offset));
    frame.push_back(SumOf(frame));
    frame.push_back(kDlt645End);
    return frame;
}

bool CheckRead1997Reply(std::span<const uint8_t> reply, std::vector<uint8_t>& out) {
    if (reply.size() < 5 || !FrameChecks(reply)) return false;
    Deliver(reply, 12, out);
    return true;
}

bool CheckRead2007Reply(std::span<const uint8_t> reply, std::vector<uint8_t>& out) {
    if (reply.size() < 9 || !FrameChecks(reply)) return false;
    if (reply[8] != kDlt645Read2007Reply) return false;
    Deliver(reply, 14, out);
    return true;
}

bool CheckCommandReply(std::span<const uint8_t> reply) {
    return FrameChecks(reply);
}

std::optional<std::array<uint8_t, 4>> ParseIdentifier2007(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    if (text.size() < 10) return std::nullopt;
    const std::string_view digits = text.substr(2, 8);
    std::array<uint8_t, 4> bytes{};
    for (int k = 0; k < 4; ++k) {
        const int high = HexDigit(digits[2 * k]);
        const int low = HexDigit(digits[2 * k + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        // Digits are written D3 D2 D1 D0; the wire wants D0 first.
        bytes[3 - k] = static_cast<uint8_t>(high * 16 + low);
    }
    return bytes;
}

std::string HexByteText(uint8_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return std::string{kDigits[value >> 4], kDigits[value & 0x0F]};
}
