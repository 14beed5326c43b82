#include "link/traffic.h"

// Placeholder until the decoders land.
ExchangeOutcome ClassifyExchange(WireProtocol, std::span<const uint8_t>,
                                 std::span<const uint8_t> reply, std::size_t, bool linkFailed) {
    if (linkFailed) return ExchangeOutcome::LinkFailed;
    return reply.empty() ? ExchangeOutcome::Timeout : ExchangeOutcome::Answered;
}
std::string DecodeFrame(WireProtocol, bool, std::span<const uint8_t>) {
    return {};
}
std::string OutcomeText(ExchangeOutcome) {
    return {};
}
std::string HexText(std::span<const uint8_t>) {
    return {};
}
