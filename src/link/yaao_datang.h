#pragma once
// 亚奥 and 大唐 transactions over a Link. Each returns true on success and false on any failure;
// each blocks the calling thread for the write and the 562 ms read window.

#include "link/link.h"
#include "link/yaao_datang_frames.h"

#include <cstdint>
#include <vector>

// Measurement poll (command 1): words receives the reply's words, high byte first.
bool YaaoPoll(Link& link, uint8_t address, std::vector<uint16_t>& words);
// Command with data (set energy base, clear energy, clear demand). Refused without sending when
// the data does not fit the length byte (more than 254 bytes).
bool YaaoCommand(Link& link, uint8_t address, uint8_t command, const std::vector<uint8_t>& data);
// Query without data (address, calibration data, raw data): record gets the reply's data bytes.
bool YaaoQuery(Link& link, uint8_t address, uint8_t command, YaaoRecord& record);
// Measurement poll: words receives the reply's words, low byte first.
bool DatangPoll(Link& link, uint8_t address, std::vector<uint16_t>& words);
bool DatangClearEnergy(Link& link, uint8_t address);

inline constexpr TransactParams kYaaoDatangParams{1, 100, 512, 1, 50, 0};
