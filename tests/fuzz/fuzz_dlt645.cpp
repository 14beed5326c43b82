// Feeds arbitrary bytes to every DL/T 645 reply checker and to the identifier parser.

#include "link/dlt645_frames.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::span<const uint8_t> reply(data, size);
    std::vector<uint8_t> out;
    if (CheckRead1997Reply(reply, out)) {
        if (reply[0] != kDlt645Start || out.size() != (size > 12 ? size - 12 : 0)) __builtin_trap();
    }
    if (CheckRead2007Reply(reply, out)) {
        if (reply[8] != kDlt645Read2007Reply || out.size() != (size > 14 ? size - 14 : 0))
            __builtin_trap();
    }
    CheckCommandReply(reply);

    ParseIdentifier2007(std::string_view(reinterpret_cast<const char*>(data), size));

    // A frame we build is a reply every command check accepts.
    if (size >= 8) {
        Dlt645Address address{data[0], data[1], data[2], data[3], data[4], data[5]};
        const auto frame = BuildDlt645Frame(address, data[6], data[7], reply.subspan(8));
        if (!CheckCommandReply(frame)) __builtin_trap();
    }
    return 0;
}
