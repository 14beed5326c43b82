// Feeds arbitrary bytes to every 亚奥 and 大唐 reply checker.

#include "link/yaao_datang_frames.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::span<const uint8_t> reply(data, size);
    std::vector<uint16_t> words;
    if (CheckYaaoPollReply(reply, words)) {
        if (size < 5 || words.size() > size / 2) __builtin_trap();
    }
    YaaoRecord record;
    if (CheckYaaoQueryReply(reply, record)) {
        if (record.count != record.bytes.size() || record.bytes.size() + 5 > size)
            __builtin_trap();
    }
    CheckYaaoReply(reply);
    if (CheckDatangPollReply(reply, words)) {
        if (size < 6 || words.size() > size / 2) __builtin_trap();
    }
    CheckDatangClearReply(reply);

    // Frames we build pass their own checks.
    if (size >= 2) {
        const auto frame = BuildYaaoFrame(data[0], data[1], reply.subspan(2));
        if (!frame.empty() && !CheckYaaoReply(frame)) __builtin_trap();
        if (frame.empty() != (size - 2 > kYaaoMaxData)) __builtin_trap();
        if (!CheckDatangClearReply(BuildDatangFrame(data[0], data[1]))) __builtin_trap();
    }
    return 0;
}
