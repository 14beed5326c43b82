#include "link/yaao_datang_frames.h"

namespace {

uint8_t SumOf(std::span<const uint8_t> bytes) {
    unsigned sum = 0;
    for (uint8_t b : bytes)
        sum += b;
    return static_cast<uint8_t>(sum & 0xFF);
}

uint8_t NegatedSum(std::span<const uint8_t> bytes) {
    return static_cast<uint8_t>((0x100 - SumOf(bytes)) & 0xFF);
}

} // namespace

std::vector<uint8_t> BuildYaaoFrame(uint8_t address, uint8_t command,
                                    std::span<const uint8_t> data) {
    if (data.size() > kYaaoMaxData) return {};
    std::vector<uint8_t> frame{kYaaoStart, address, static_cast<uint8_t>(data.size() + 1), command};
    frame.insert(frame.end(), data.begin(), data.end());
    frame.push_back(SumOf(std::span<const uint8_t>(frame).subspan(3)));
    frame.push_back(kYaaoEnd);
    return frame;
}

std::vector<uint8_t> BuildDatangFrame(uint8_t address, uint8_t command) {
    std::vector<uint8_t> frame{0x7E, 0x0A, address, command, 0x02, 0x00, 0xFF};
    frame.push_back(NegatedSum(std::span<const uint8_t>(frame).subspan(1)));
    return frame;
}

bool CheckYaaoReply(std::span<const uint8_t> reply) {
    const std::size_t n = reply.size();
    return n >= 5 && reply[2] == n - 5;
}

bool CheckYaaoPollReply(std::span<const uint8_t> reply, std::vector<uint16_t>& words) {
    if (!CheckYaaoReply(reply)) return false;
    const std::size_t n = reply.size();
    const std::size_t count = n >= 6 ? (n - 6) / 2 : 0;
    words.assign(count, 0);
    for (std::size_t i = 0; i < count; ++i)
        words[i] = static_cast<uint16_t>(reply[4 + 2 * i] << 8 | reply[5 + 2 * i]);
    return true;
}

bool CheckYaaoQueryReply(std::span<const uint8_t> reply, YaaoRecord& record) {
    if (!CheckYaaoReply(reply)) return false;
    const std::size_t n = reply.size();
    if (n >= 6) {
        record.bytes.assign(reply.begin() + 4, reply.end() - 2);
    } else {
        record.bytes.clear();
    }
    record.count = static_cast<uint8_t>(record.bytes.size());
    return true;
}

bool CheckDatangPollReply(std::span<const uint8_t> reply, std::vector<uint16_t>& words) {
    const std::size_t n = reply.size();
    if (n < 6) return false;
    if (reply[n - 1] != NegatedSum(reply.subspan(1, n - 2))) return false;
    const std::size_t count = n >= 7 ? (n - 7) / 2 : 0;
    words.assign(count, 0);
    for (std::size_t i = 0; i < count; ++i)
        words[i] = static_cast<uint16_t>(reply[8 + 2 * i] << 8 | reply[7 + 2 * i]);
    return true;
}

bool CheckDatangClearReply(std::span<const uint8_t> reply) {
    if (reply.size() < 8) return false;
    return reply[7] == NegatedSum(reply.subspan(1, 6));
}
