#pragma once
// Wiring mode, protocol and frame-format switching and the calibration state entry, as sequences
// of transactions over a Link (no widgets). The PC port is switched by the caller's PortSwitch,
// so the same sequence runs against the real port or a scripted line. Each sequence returns the
// outcome text the window shows. Callable from any one thread at a time (a job of the device
// session in the program); the port switch and the progress steps run on that thread.

#include "link/link.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace switching {
inline constexpr uint16_t kFrameFormat = 269;
inline constexpr uint16_t kWiringMode = 273;
inline constexpr uint16_t kProtocol = 11023;
inline constexpr int kCalibrationFrameFormat = 3; // "N无,1S"
inline constexpr int kCalibrationProtocol = 0;    // Modbus RTU
} // namespace switching

// The PC line settings as indexes (baud 0..5, parity 0 none 1 odd 2 even, data bits 0..2 for
// 6..8, stop bits 0 one 1 two).
struct PortIndexes {
    int baud = 3;
    int parity = 0;
    int dataBits = 2;
    int stopBits = 0;
    bool operator==(const PortIndexes&) const = default;
};

// The PC settings for a frame format: 9600 baud and 8 data bits always; parity and stop bits from
// the format (0 "N无,2S", 1 "O奇,1S", 2 "E偶,1S", 3 "N无,1S"), unchanged for any other value.
PortIndexes PortIndexesForFrameFormat(int frameFormat, const PortIndexes& current);

// Reconfigures the PC port for a frame format; false when the port could not be reopened.
using PortSwitch = std::function<bool(int frameFormat)>;
// Called at each step of the progress bar.
using ProgressStep = std::function<void()>;

// Writes the wiring mode to 273.
bool WriteWiringMode(Link& link, uint8_t address, int wiringMode);

// Switches the PC port, writes the frame format to 269 twice (the first write travels in the new
// format and its outcome is not used) and the protocol to 11023. Returns the outcome text.
QString ConfigureProtocol(Link& link, uint8_t address, int frameFormat, int protocol,
                          const PortSwitch& switchPort, const ProgressStep& step);

// Brings a module in its power-on window back to Modbus RTU with "N无,1S".
QString EnterCalibrationState(Link& link, uint8_t address, const PortSwitch& switchPort,
                              const ProgressStep& step);

// Outcome texts.
QString ProtocolSwitchPortFailedText();
QString FrameFormatWriteFailedText();
QString ProtocolWriteFailedText();
QString ProtocolConfiguredText();
QString StateEntrySwitchPortFailedText();
QString StateEntryProtocolFailedText();
QString StateEntryDoneText();
