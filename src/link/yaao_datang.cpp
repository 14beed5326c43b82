#include "link/yaao_datang.h"

bool YaaoPoll(Link& link, uint8_t address, std::vector<uint16_t>& words) {
    const auto reply = link.Transact(BuildYaaoFrame(address, kYaaoPollCommand, {}), kYaaoParams);
    return reply && CheckYaaoPollReply(*reply, words);
}

bool YaaoCommand(Link& link, uint8_t address, uint8_t command, const std::vector<uint8_t>& data) {
    const auto request = BuildYaaoFrame(address, command, data);
    if (request.empty()) return false;
    const auto reply = link.Transact(request, kYaaoParams);
    return reply && CheckYaaoReply(*reply);
}

bool YaaoQuery(Link& link, uint8_t address, uint8_t command, YaaoRecord& record) {
    const auto reply = link.Transact(BuildYaaoFrame(address, command, {}), kYaaoParams);
    return reply && CheckYaaoQueryReply(*reply, record);
}

bool DatangPoll(Link& link, uint8_t address, std::vector<uint16_t>& words,
                std::size_t expectedWords) {
    TransactParams params = kDatangParams;
    if (expectedWords > 0)
        params.replyLength = static_cast<int>(DatangPollReplyLength(expectedWords));
    const auto reply = link.Transact(BuildDatangFrame(address, kDatangPollCommand), params);
    return reply && CheckDatangPollReply(*reply, words);
}

bool DatangClearEnergy(Link& link, uint8_t address) {
    const auto reply =
        link.Transact(BuildDatangFrame(address, kDatangClearEnergyCommand), kDatangParams);
    return reply && CheckDatangClearReply(*reply);
}
