#pragma once
// The traffic of the line as the monitor shows it: every exchange (request, reply, times, outcome)
// recorded by the link in a bounded ring, with running counters, and the decoding of frames into
// readable lines. Recording is cheap (the bytes are moved in, decoding waits until a line is
// shown), so it stays on whether the monitor is visible or not.
//
// Threads: TrafficLog may be used from any thread (the link records on its I/O thread, the
// monitor reads on the GUI thread); the free functions are pure.

#include "link/framing.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <vector>

// What came of one exchange, judged from its bytes.
enum class ExchangeOutcome : uint8_t {
    Answered,     // a whole reply with a good checksum from the address asked
    Timeout,      // nothing came back within the window
    Short,        // fewer bytes than the reply's framing announces
    BadChecksum,  // a whole reply whose CRC or checksum does not match
    WrongAddress, // a good reply from another address than the request's
    Exception,    // Modbus exception reply (function code with bit 7)
    LinkFailed,   // the port was closed or the write failed: nothing to judge
};
inline constexpr std::size_t kExchangeOutcomeCount = 7;

struct Exchange {
    uint64_t sequence = 0; // assigned by TrafficLog::Record, counting from 1
    int64_t startedMs = 0; // wall-clock time (ms since the epoch) the request was handed out
    WireProtocol protocol = WireProtocol::Unknown;
    std::vector<uint8_t> request;
    std::vector<uint8_t> reply;
    int64_t roundTripUs = 0;     // from the request handed out to the reply's last byte (or the
                                 // end of the window when it stayed short or silent)
    std::size_t knownLength = 0; // the full reply's length where the framing carries none
    ExchangeOutcome outcome = ExchangeOutcome::Answered;
};

// Judges an exchange by its bytes. linkFailed: the link gave no bytes at all to judge.
ExchangeOutcome ClassifyExchange(WireProtocol protocol, std::span<const uint8_t> request,
                                 std::span<const uint8_t> reply, std::size_t knownLength = 0,
                                 bool linkFailed = false);

// A readable line for one frame, e.g. "地址 1 功能 03 起始 257 数量 1 CRC 正确" for
// 01 03 01 01 00 01 D4 36. isRequest tells a request from a reply (the fields differ).
std::string DecodeFrame(WireProtocol protocol, bool isRequest, std::span<const uint8_t> bytes);

// "应答", "超时", ...: the outcome as the monitor names it.
std::string OutcomeText(ExchangeOutcome outcome);

// "01 03 01 01": the bytes in upper-case hexadecimal, separated by blanks.
std::string HexText(std::span<const uint8_t> bytes);

class TrafficLog {
public:
    static constexpr std::size_t kDefaultCapacity = 100000;

    struct Totals {
        std::array<uint64_t, kExchangeOutcomeCount> byOutcome{}; // indexed by ExchangeOutcome
        uint64_t exchanges = 0;
        // Round-trip times of the exchanges that got any reply bytes; 0 when there were none.
        int64_t minRoundTripUs = 0;
        int64_t maxRoundTripUs = 0;
        double meanRoundTripUs = 0;
    };

    explicit TrafficLog(std::size_t capacity = kDefaultCapacity);

    // Keeps the exchange (the oldest one goes once the ring is full) and counts it.
    void Record(Exchange exchange);
    // The kept exchanges with a sequence above after, oldest first, at most max of them.
    std::vector<Exchange> Since(uint64_t after, std::size_t max = SIZE_MAX) const;
    // Counters since the start or the last Clear (exchanges dropped from the ring still count).
    Totals totals() const;
    // The sequence of the newest exchange recorded, 0 before the first.
    uint64_t lastSequence() const;
    std::size_t size() const;
    std::size_t capacity() const { return capacity_; }
    // Forgets the kept exchanges and the counters; sequences go on counting.
    void Clear();

private:
    const std::size_t capacity_;
    mutable std::mutex mutex_;
    std::vector<Exchange> ring_; // ring_[(first_ + i) % capacity_] is the i-th oldest
    std::size_t first_ = 0;
    uint64_t nextSequence_ = 1;
    Totals totals_;
    int64_t roundTripSumUs_ = 0;
    uint64_t timedExchanges_ = 0;
};
