#pragma once
// The simulated module's request handling, without any port: request bytes and the line settings
// the host has set go in, the reply bytes (or silence) come out. The pseudo-terminal server feeds
// it; the tests drive it directly. Single-threaded: one request at a time, as on the bus.
//
// Line settings rule: a pseudo-terminal carries the baud rate and the stop bits the host sets,
// but not the parity (the kernel clears it), so parity formats are matched on their stop bits only;
// over RFC 2217 the parity is known: a module with a parity format hears only that parity, one
// without takes a host's parity bit as a stop bit.
// A module set to one stop bit also hears a host that sends two (the second is idle line to it);
// a module set to two stop bits does not hear a host that sends one.

#include "frames.h"
#include "measurement.h"
#include "register_file.h"

#include <QString>
#include <map>
#include <memory>
#include <optional>
#include <span>

namespace simreg {
inline constexpr int kClock = 257;
inline constexpr int kFrameFormat = 269;
inline constexpr int kClearEnergy = 512;
inline constexpr int kClearDemand = 513;
inline constexpr int kCalibration = 11002;
inline constexpr int kCalibrationEnd = 11031;
inline constexpr int kProtocol = 11023;
inline constexpr int kRawSamples = 10000;
inline constexpr int kOutputList = 11300;
inline constexpr int kOutputListMax = 199;
inline constexpr int kStateFlag = 13000;
inline constexpr int kFlashCommand = 13001;
inline constexpr uint16_t kCommand = 0xAA55;
} // namespace simreg

// Serial line settings as the host set them on its side of the line.
struct ModuleLineSettings {
    int baud = 9600;
    int stopBits = 1;
    int parity = -1; // 0 none, 1 odd, 2 even; -1 not known (a pseudo-terminal carries none)
};

// Faults on demand; each stays on until switched off.
struct Misbehaviour {
    bool silent = false;       // hear nothing, answer nothing
    bool badChecksum = false;  // corrupt the reply's checksum (CRC, sum)
    bool shortReply = false;   // send only the first half of the reply
    bool late = false;         // answer after the host's read window
    bool fePrefix = false;     // put FE FE FE FE before the reply
    bool wrongAddress = false; // reply in the name of another address
};

struct ModuleConfig {
    int address = 1;
    // Registers 11023 and 269 at start; unset: from the flash image, else Modbus RTU and N,1S.
    std::optional<int> protocol;    // 0 Modbus RTU, 1 DL/T 645-1997, 2 -2007, 3 亚奥, 4 大唐
    std::optional<int> frameFormat; // 0 N,2S  1 O,1S  2 E,1S  3 N,1S
    int baudIndex = 3;              // 0..5: 1200 .. 38400
    QString dataDir;
    QString statePath;        // flash image; empty: none
    double powerWindowS = 10; // after power-on: Modbus RTU at 9600 8N1
    int lateMs = 1500;        // beyond the longest read window of the host (1100 ms)
};

class Module {
public:
    struct Reply {
        simframe::Bytes bytes;
        int delayMs = 0; // extra wait before sending (late replies)
    };

    // Loads the measurement model from config.dataDir and the flash image, if any. Throws
    // std::runtime_error (unreadable flash image) or ConversionError (data files).
    explicit Module(const ModuleConfig& config);
    ~Module();

    // Answer to one request received at time now (seconds, monotonic), or nullopt for silence.
    std::optional<Reply> handle(std::span<const uint8_t> request, const ModuleLineSettings& line,
                                double now);
    // True when the bytes gathered so far form a whole frame of the protocol spoken now.
    bool frameComplete(std::span<const uint8_t> bytes, double now) const;
    bool lineMatches(const ModuleLineSettings& line, double now) const;

    // Protocol, baud and format in force now (the power-on window overrides the configuration).
    int activeProtocol(double now) const;
    int activeBaud(double now) const;
    int activeFrameFormat(double now) const;
    // Bits on the line per character of the active format (start, 8 data, parity, stop).
    int bitsPerChar(double now) const;

    void powerCycle(double now) { powerOnAt_ = now; }
    bool inPowerWindow(double now) const;
    // Lets the measurement model's time run up to now (energies, demand, clock).
    void advanceTo(double now);

    // Register values as a read at address would deliver them (measurements refreshed, the
    // output list presented from register 0).
    std::vector<uint16_t> readView(int address, int count);
    // Stores registers as a write would; false (nothing stored) for a value the module refuses.
    bool writeRegisters(int address, std::span<const uint16_t> values);

    int address() const { return address_; }
    void setAddress(int address) { address_ = address; }
    int baudIndex() const { return baudIndex_; }
    bool setBaudIndex(int index);
    static int baudOfIndex(int index);

    Misbehaviour& misbehaviour() { return misbehaviour_; }
    // A register that does not keep what is written to it: it holds value until released, so a
    // host's read-back of its writes meets a difference.
    void stick(int address, uint16_t value);
    void release(int address) { stuck_.erase(uint16_t(address)); }
    // What the module has heard and said, for tests of the host: frames handled, replies given,
    // and the bytes of the last frame heard.
    int requestCount() const { return requests_; }
    int replyCount() const { return replies_; }
    const simframe::Bytes& lastRequest() const { return lastRequest_; }
    RegisterFile& registers() { return regs_; }
    Measurement& measurement() { return *measurement_; }
    const ModuleConfig& config() const { return config_; }
    bool saveState() const;

private:
    std::optional<simframe::Bytes> handleModbus(std::span<const uint8_t> req, bool* broadcast);
    std::optional<simframe::Bytes> handleDlt645(std::span<const uint8_t> req, bool edition2007);
    std::optional<simframe::Bytes> handleYaao(std::span<const uint8_t> req);
    std::optional<simframe::Bytes> handleDatang(std::span<const uint8_t> req);
    bool write645Item(uint32_t di, std::span<const uint8_t> value, bool edition2007);
    void setClockFromBcd(std::span<const uint8_t> ssmmhhDDMMYY);
    uint16_t outputValue(int address) const;
    std::vector<uint16_t> outputWords(int maxWords);
    int replyAddress() const;
    void loadState();
    void misbehave(simframe::Bytes& reply, int protocol) const;

    ModuleConfig config_;
    int address_;
    int baudIndex_;
    RegisterFile regs_;
    std::unique_ptr<Measurement> measurement_;
    Misbehaviour misbehaviour_;
    std::map<uint16_t, uint16_t> stuck_;
    std::optional<double> powerOnAt_;
    std::optional<double> lastAdvance_;
    int requests_ = 0;
    int replies_ = 0;
    simframe::Bytes lastRequest_;
};
