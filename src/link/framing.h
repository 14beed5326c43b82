#pragma once
// When a reply is complete by its own framing, so that a polling read can end as soon as the last
// byte of the frame is in instead of waiting out its whole window. Plain C++ (no Qt) so that the
// fuzz targets compile this file alone; safe on any bytes.

#include <cstddef>
#include <cstdint>
#include <span>

// The protocol of an exchange: how its reply is framed and how the traffic monitor decodes it.
enum class WireProtocol : uint8_t { Unknown, Modbus, Dlt645, Yaao, Datang };

// The length at which the bytes received so far hold a whole reply, or 0 while they cannot tell
// (too few bytes yet, or a framing that gives no length).
// - Modbus: 5 for an exception reply (function code with bit 7), 5 + byte count for the reads
//   (0x03, 0x30, 0x33), 8 for the writes (0x06, 0x10, 0x40).
// - DL/T 645: after any FE preamble or other bytes before the first 68 .. 68 header, 12 bytes of
//   frame plus its length field.
// - 亚奥: from the first 0x55, its length byte plus 5.
// - 大唐 and Unknown carry no length: knownLength, the longest reply the request can get, when the
//   caller gives one (0 otherwise).
// The result may exceed received.size(): the reply is complete once that many bytes are in.
std::size_t CompleteReplyLength(WireProtocol protocol, std::span<const uint8_t> received,
                                std::size_t knownLength = 0);

// Where the whole reply ends within received (bytes after it belong to nobody), or 0 while it is
// not complete by that rule. A 大唐 reply also needs its checksum to hold at its last byte, so
// that a module answering more words than expected is read to its end.
std::size_t ReplyEnd(WireProtocol protocol, std::span<const uint8_t> received,
                     std::size_t knownLength = 0);
