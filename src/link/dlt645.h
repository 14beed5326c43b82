#pragma once
// DL/T 645-1997 and -2007 transactions over a Link. Each returns true on success and false on any
// failure; each blocks the calling thread for its write, pause and read window.

#include "link/dlt645_frames.h"
#include "link/link.h"

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

// Reads a 1997 data item (DI0 sent first). out receives bytes 12 .. n-1 of the reply minus 0x33.
bool ReadData1997(Link& link, const Dlt645Address& address, uint8_t di0, uint8_t di1,
                  std::vector<uint8_t>& out);

// Reads a 2007 data item named by its text ("0x02010100"). out receives bytes 14 .. n-1 minus
// 0x33. Throws ConversionError when the text is too short or its digits are not hexadecimal.
bool ReadData2007(Link& link, const Dlt645Address& address, const QString& identifier,
                  std::vector<uint8_t>& out);

// D0..D3 of a 2007 identifier text; throws ConversionError for a text that is not one.
std::array<uint8_t, 4> Identifier2007Bytes(const QString& identifier);

// Clear energy (1997): two fixed data bytes, the length byte as the caller gives it.
bool ClearEnergy1997(Link& link, const Dlt645Address& address, uint8_t c, uint8_t l);
// Clear demand (1997): no data, the length byte as the caller gives it.
bool ClearDemand1997(Link& link, const Dlt645Address& address, uint8_t c, uint8_t l);
// Clear command (2007) with l bytes of data, l at most 20. Refused without sending when data
// holds fewer than l bytes or l is above 20.
bool ClearCommand2007(Link& link, const Dlt645Address& address, uint8_t c, uint8_t l,
                      const std::vector<uint8_t>& data);
// General command with l bytes of data (time broadcast, write data). Refused without sending when
// data holds fewer than l bytes.
bool WriteData645(Link& link, const Dlt645Address& address, uint8_t c, uint8_t l,
                  const std::vector<uint8_t>& data);

inline constexpr int kClearCommand2007MaxData = 20;

inline constexpr TransactParams kRead1997Params{0, 100, 256, 0, 150, 0, WireProtocol::Dlt645};
inline constexpr TransactParams kRead2007Params{0, 100, 256, 0, 120, 0, WireProtocol::Dlt645};
inline constexpr TransactParams kClear1997Params{1, 100, 256, 1, 100, 0, WireProtocol::Dlt645};
inline constexpr TransactParams kClearCommand2007Params{
    1, 100, 256, 1, 100, 500, WireProtocol::Dlt645};
inline constexpr TransactParams kWriteData645Params{0, 100, 256, 0, 100, 500, WireProtocol::Dlt645};
