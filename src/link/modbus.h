#pragma once
// Modbus RTU transactions of the module over a Link. Each returns true on success and false on any
// failure; each blocks the calling thread for one exchange (its read window).

#include "link/link.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Reads fill values from index 0 with as many values as the reply carries, never more than count,
// and leave values at least count long; an exception reply of the module fails.
// delivered (when given) receives the number of values the reply carried: a caller that needs
// all count values treats fewer as a failed read instead of using stale entries.
bool ReadRegisters(Link& link, uint8_t address, uint16_t first, uint16_t count,
                   std::vector<uint16_t>& values, std::size_t* delivered = nullptr);
bool ReadRawSamples(Link& link, uint8_t address, uint16_t first, uint16_t count,
                    std::vector<uint16_t>& values, std::size_t* delivered = nullptr);
bool ReadCalibrationRegisters(Link& link, uint8_t address, uint16_t first, uint16_t count,
                              std::vector<uint16_t>& values, std::size_t* delivered = nullptr);

// Succeeds only when the reply echoes the value.
bool WriteRegister(Link& link, uint8_t address, uint16_t reg, uint16_t value);

// Writes the first count entries of values. Refused without sending when values is shorter than
// count or count exceeds the request buffer (123 registers for 0x10, 495 for 0x40).
bool WriteRegisters(Link& link, uint8_t address, uint16_t first, uint16_t count,
                    const std::vector<uint16_t>& values);
bool WriteCalibrationRegisters(Link& link, uint8_t address, uint16_t first, uint16_t count,
                               const std::vector<uint16_t>& values);

// Timeouts of each transaction.
inline constexpr TransactParams kReadRegistersParams{1, 100, 512, 1, 100, 0, WireProtocol::Modbus};
inline constexpr TransactParams kModbusShortParams{1, 100, 256, 1, 100, 0, WireProtocol::Modbus};
inline constexpr TransactParams kWriteCalibrationParams{
    1, 100, 1000, 1, 100, 0, WireProtocol::Modbus};
