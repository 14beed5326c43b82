#pragma once
// The Telnet layer of a network serial port with COM port control (RFC 2217 over RFC 854): data
// bytes with 0xFF doubled, option negotiation, and the COM-PORT-OPTION subnegotiations that set a
// remote port's baud rate, data size, parity and stop bits. Pure values: any one thread at a time.

#include <cstdint>
#include <functional>
#include <vector>

namespace telnet {
inline constexpr uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250,
                         kSe = 240;
inline constexpr uint8_t kBinary = 0, kSuppressGoAhead = 3, kComPortOption = 44;
// COM-PORT-OPTION commands, client to server; the server answers with the command + 100.
inline constexpr uint8_t kSetBaudRate = 1, kSetDataSize = 2, kSetParity = 3, kSetStopSize = 4,
                         kSetControl = 5, kPurgeData = 12, kServerOffset = 100;
} // namespace telnet

// Data bytes as they travel: every 0xFF doubled.
std::vector<uint8_t> TelnetEscape(const std::vector<uint8_t>& data);

// A COM-PORT-OPTION subnegotiation: IAC SB 44 command value... IAC SE, 0xFF in value doubled.
std::vector<uint8_t> ComPortCommand(uint8_t command, const std::vector<uint8_t>& value);

// The four commands that set a port to these line settings (parity 0 none, 1 odd, 2 even; RFC
// 2217 numbers them 1, 2, 3).
std::vector<uint8_t> ComPortSettings(int baudRate, int dataBits, int parity, int stopBits);

// Splits a received byte stream into data and Telnet commands, across any number of pieces: a
// command or a subnegotiation cut between two reads is completed by the next.
class TelnetDecoder {
public:
    struct Events {
        // An option command: verb kWill/kWont/kDo/kDont, option.
        std::function<void(uint8_t verb, uint8_t option)> option;
        // A subnegotiation's option and its bytes (doubled 0xFF undone).
        std::function<void(uint8_t option, const std::vector<uint8_t>& bytes)> subnegotiation;
    };
    explicit TelnetDecoder(Events events = {}) : events_(std::move(events)) {}
    // Appends the data bytes of bytes to data; reports the commands as they complete.
    void Feed(const uint8_t* bytes, std::size_t count, std::vector<uint8_t>& data);
    // Drops a half-received command (a new connection).
    void Reset();

private:
    enum class State { Data, Iac, Verb, Sb, SbData, SbIac };
    Events events_;
    State state_ = State::Data;
    uint8_t verb_ = 0;
    std::vector<uint8_t> sb_;
};
