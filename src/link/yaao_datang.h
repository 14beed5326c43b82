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
// Measurement poll: words receives the reply's words, low byte first. expectedWords, when given,
// is the number of words the module answers (its output list): the 大唐 reply carries no length,
// so a polling read knows its end only from that.
bool DatangPoll(Link& link, uint8_t address, std::vector<uint16_t>& words,
                std::size_t expectedWords = 0);
bool DatangClearEnergy(Link& link, uint8_t address);

inline constexpr TransactParams kYaaoParams{1, 100, 512, 1, 50, 0, WireProtocol::Yaao};
inline constexpr TransactParams kDatangParams{1, 100, 512, 1, 50, 0, WireProtocol::Datang};
