#pragma once
// A module on a ScriptedLink for the calibration tests: answers Modbus reads (0x03, 0x30, 0x33)
// from a register map and stores writes (0x06, 0x10, 0x40); a chosen request can go unanswered or
// be answered short, so each failure line of the steps can be reached.

#include "link/modbus_frames.h"
#include "scripted_link.h"

#include <functional>
#include <map>
#include <optional>
#include <vector>

class CalibrationFakeModule {
public:
    using Bytes = std::vector<uint8_t>;

    explicit CalibrationFakeModule(ScriptedLink& link) {
        link.SetResponder(
            [this](const Bytes& request, const TransactParams&) { return Answer(request); });
    }

    std::map<uint16_t, uint16_t> registers;
    // Requests counted from 1; the one numbered silentAt gets no answer, and every one from
    // silentFrom on (0: never).
    int silentAt = 0;
    int silentFrom = 0;
    // A read numbered shortAt delivers one word less than asked.
    int shortAt = 0;
    // Requests seen so far.
    int requests = 0;
    // Optional per-read hook: the words of a read of first/count (raw samples that change).
    std::function<void(uint16_t first, uint16_t count)> beforeRead;

    std::vector<uint16_t> Get(uint16_t first, int count) const {
        std::vector<uint16_t> out;
        for (int i = 0; i < count; ++i) {
            auto it = registers.find(static_cast<uint16_t>(first + i));
            out.push_back(it == registers.end() ? 0 : it->second);
        }
        return out;
    }
    void Set(uint16_t first, const std::vector<uint16_t>& values) {
        for (std::size_t i = 0; i < values.size(); ++i)
            registers[static_cast<uint16_t>(first + i)] = values[i];
    }

private:
    static Bytes WithCrc(Bytes frame) {
        const uint16_t crc = Crc16(frame);
        frame.push_back(static_cast<uint8_t>(crc & 0xFF));
        frame.push_back(static_cast<uint8_t>(crc >> 8));
        return frame;
    }

    std::optional<Bytes> Answer(const Bytes& request) {
        ++requests;
        if (requests == silentAt || (silentFrom != 0 && requests >= silentFrom)) return Bytes{};
        if (request.size() < 8 || !CrcMatches(request)) return Bytes{};
        const uint8_t fc = request[1];
        const uint16_t first = static_cast<uint16_t>(request[2] << 8 | request[3]);
        const uint16_t count = static_cast<uint16_t>(request[4] << 8 | request[5]);
        if (fc == kFcReadRegisters || fc == kFcReadRawSamples || fc == kFcReadCalibration) {
            if (beforeRead) beforeRead(first, count);
            const int n = requests == shortAt ? count - 1 : count;
            Bytes reply{request[0], fc, static_cast<uint8_t>(2 * n)};
            for (uint16_t v : Get(first, n)) {
                reply.push_back(static_cast<uint8_t>(v >> 8));
                reply.push_back(static_cast<uint8_t>(v & 0xFF));
            }
            return WithCrc(reply);
        }
        if (fc == kFcWriteRegister) {
            Set(first, {count});
            return WithCrc(Bytes(request.begin(), request.begin() + 6));
        }
        if (fc == kFcWriteRegisters || fc == kFcWriteCalibration) {
            std::vector<uint16_t> values;
            for (int i = 0; i < count; ++i)
                values.push_back(
                    static_cast<uint16_t>(request[7 + 2 * i] << 8 | request[8 + 2 * i]));
            Set(first, values);
            return WithCrc(Bytes(request.begin(), request.begin() + 6));
        }
        return Bytes{};
    }
};
