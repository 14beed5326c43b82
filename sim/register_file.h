#pragma once
// The simulated module's 16-bit register space (addresses 0..65535). Written registers keep
// their value; unwritten ones read 0. Single-threaded: the simulator serves one request at a time.

#include <array>
#include <cstdint>

class RegisterFile {
public:
    uint16_t get(int address) const { return regs_[uint16_t(address)]; }
    void set(int address, uint16_t value) { regs_[uint16_t(address)] = value; }
    // 32-bit pair, low word first (the calibration configuration block).
    uint32_t getLowFirst(int address) const {
        return uint32_t(get(address)) | (uint32_t(get(address + 1)) << 16);
    }

private:
    std::array<uint16_t, 65536> regs_{};
};
