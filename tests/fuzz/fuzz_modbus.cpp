// Feeds arbitrary bytes to every Modbus reply checker; the first two bytes choose the count.

#include "link/modbus_frames.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    uint16_t count = 0;
    if (size >= 2) {
        count = static_cast<uint16_t>(data[0] << 8 | data[1]);
        data += 2;
        size -= 2;
    }
    const std::span<const uint8_t> reply(data, size);

    std::vector<uint16_t> values;
    std::size_t delivered = 0;
    if (CheckReadReply(reply, count, values, &delivered)) {
        if (delivered > count || values.size() < count || size < 5) __builtin_trap();
    }
    CheckWriteRegisterReply(reply, count);
    CheckWriteRegistersReply(reply);
    CheckWriteCalibrationReply(reply, count);
    if (CrcMatches(reply) != (size >= 2 && Crc16(reply.first(size - 2)) ==
                                               (reply[size - 2] | reply[size - 1] << 8)))
        __builtin_trap();

    // Whatever is built must pass its own frame check.
    std::vector<uint16_t> words(size / 2);
    for (std::size_t i = 0; i < words.size(); ++i)
        words[i] = static_cast<uint16_t>(data[2 * i] << 8 | data[2 * i + 1]);
    const auto request = BuildWriteRegistersRequest(count & 0xFF, kFcWriteCalibration, 0,
                                                    static_cast<uint16_t>(words.size()), words);
    if (!request.empty() && (!CrcMatches(request) || request.size() != 9 + 2 * words.size()))
        __builtin_trap();
    return 0;
}
