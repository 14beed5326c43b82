// Feeds arbitrary exchanges to the traffic monitor's judging and decoding. The first byte chooses
// the protocol and whether the link failed, the second where the request ends and the reply
// begins, the third the known reply length.

#include "link/traffic.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const auto protocol = static_cast<WireProtocol>(data[0] % 5);
    const bool linkFailed = (data[0] & 0x80) != 0;
    const std::span<const uint8_t> rest(data + 3, size - 3);
    const std::size_t split = std::min<std::size_t>(data[1], rest.size());
    const std::span<const uint8_t> request = rest.first(split);
    const std::span<const uint8_t> reply = rest.subspan(split);
    const std::size_t knownLength = data[2];

    const ExchangeOutcome outcome =
        ClassifyExchange(protocol, request, reply, knownLength, linkFailed);
    if (static_cast<std::size_t>(outcome) >= kExchangeOutcomeCount) __builtin_trap();
    if (linkFailed != (outcome == ExchangeOutcome::LinkFailed)) __builtin_trap();
    if (!linkFailed && reply.empty() != (outcome == ExchangeOutcome::Timeout)) __builtin_trap();
    if (protocol == WireProtocol::Unknown && !linkFailed && !reply.empty() &&
        outcome != ExchangeOutcome::Answered)
        __builtin_trap();
    if (OutcomeText(outcome).empty()) __builtin_trap();

    for (const auto& bytes : {request, reply}) {
        if (DecodeFrame(protocol, true, bytes).empty()) __builtin_trap();
        if (DecodeFrame(protocol, false, bytes).empty()) __builtin_trap();
        const std::string hex = HexText(bytes);
        if (hex.size() != (bytes.empty() ? 0 : 3 * bytes.size() - 1)) __builtin_trap();
    }
    return 0;
}
