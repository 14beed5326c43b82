#include "link/yaao_datang.h"

bool YaaoPoll(Link& link, uint8_t address, std::vector<uint16_t>& words) {
    const auto reply =
        link.Transact(BuildYaaoFrame(address, kYaaoPollCommand, {}), kYaaoDatangParams);
    return reply && CheckYaaoPollReply(*reply, words);
}

bool YaaoCommand(Link& link, uint8_t address, uint8_t command, const std::vector<uint8_t>& data) {
    const auto request = BuildYaaoFrame(address, command, data);
    if (request.empty()) return false;
    const auto reply = link.Transact(request, kYaaoDatangParams);
    return reply && CheckYaaoReply(*reply);
}

bool YaaoQuery(Link& link, uint8_t address, uint8_t command, YaaoRecord& record) {
    const auto reply = link.Transact(BuildYaaoFrame(address, command, {}), kYaaoDatangParams);
    return reply && CheckYaaoQueryReply(*reply, record);
}

bool DatangPoll(Link& link, uint8_t address, std::vector<uint16_t>& words) {
    const auto reply =
        link.Transact(BuildDatangFrame(address, kDatangPollCommand), kYaaoDatangParams);
    return reply && CheckDatangPollReply(*reply, words);
}

bool DatangClearEnergy(Link& link, uint8_t address) {
    const auto reply =
        link.Transact(BuildDatangFrame(address, kDatangClearEnergyCommand), kYaaoDatangParams);
    return reply && CheckDatangClearReply(*reply);
}
