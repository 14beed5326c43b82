// Requests off the wire to the simulated module, in whichever protocol it speaks at the moment
// (a request may switch it). The first byte chooses the protocol the module starts in (bits 0-2)
// and its misbehaviours (bits 3-6); then each request takes a control byte and a length byte:
// control bit 0 puts the checksum (and end byte) the request's protocol wants where its framing
// says they go, so the fuzzer gets past them. A reply of a well-behaved module is a whole frame
// of its protocol with a good checksum, and a request it answered was complete by the module's
// own framing (the pseudo-terminal server hands a request over once it is).

#include "frames.h"
#include "module.h"

#include "fuzz_input.h"

#include <cstddef>
#include <cstdint>
#include <vector>

#ifndef KX_FUZZ_DATA_DIR
#error "KX_FUZZ_DATA_DIR names the shipped data folder"
#endif

namespace {

using simframe::Bytes;

uint16_t Be16(const Bytes& b, std::size_t at) {
    return static_cast<uint16_t>(b[at] << 8 | b[at + 1]);
}

bool KnownModbusFunction(uint8_t function) {
    switch (function) {
    case 0x03:
    case 0x06:
    case 0x10:
    case 0x30:
    case 0x33:
    case 0x40:
        return true;
    default:
        return false;
    }
}

void PutChecksum(int protocol, Bytes& r) {
    switch (protocol) {
    case 0: {
        if (r.size() < 4) return;
        std::size_t length = r.size();
        if (r[1] == 0x03 || r[1] == 0x06 || r[1] == 0x30 || r[1] == 0x33) length = 8;
        if ((r[1] == 0x10 || r[1] == 0x40) && r.size() >= 7) length = 9 + 2 * Be16(r, 4);
        if (r.size() < length) return;
        const uint16_t crc = simframe::crc16(std::span(r).first(length - 2));
        r[length - 2] = static_cast<uint8_t>(crc & 0xFF);
        r[length - 1] = static_cast<uint8_t>(crc >> 8);
        return;
    }
    case 1:
    case 2: {
        std::size_t skip = 0;
        while (skip < r.size() && r[skip] == 0xFE)
            ++skip;
        if (r.size() < skip + 12) return;
        const std::size_t length = r[skip + 9];
        if (r.size() < skip + 12 + length) return;
        r[skip + 10 + length] = simframe::sum8(std::span(r).subspan(skip, 10 + length));
        r[skip + 11 + length] = 0x16;
        return;
    }
    case 3: {
        if (r.size() < 5) return;
        const std::size_t length = r[2];
        if (r.size() < length + 5) return;
        r[3 + length] = simframe::sum8(std::span(r).subspan(3, length));
        r[4 + length] = 0xAA;
        return;
    }
    case 4:
        if (r.size() >= 8) r[7] = simframe::negatedSum8(std::span(r).subspan(1, 6));
        return;
    default:
        return;
    }
}

bool WellFormedReply(int protocol, const Bytes& r) {
    switch (protocol) {
    case 0:
        return r.size() >= 5 && simframe::crcOk(r);
    case 1:
    case 2:
        return r.size() >= 12 && r[0] == 0x68 && r[7] == 0x68 && r[9] + 12u == r.size() &&
               r[r.size() - 2] == simframe::sum8(std::span(r).first(r.size() - 2)) &&
               r.back() == 0x16;
    case 3:
        return r.size() >= 5 && r[0] == 0x55 && r[2] + 5u == r.size() &&
               r[r.size() - 2] == simframe::sum8(std::span(r).subspan(3, r.size() - 5)) &&
               r.back() == 0xAA;
    case 4:
        return r.size() >= 8 && r[0] == 0x7E &&
               r.back() == simframe::negatedSum8(std::span(r).subspan(1, r.size() - 2));
    default:
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const uint8_t setup = in.Byte();
    ModuleConfig config;
    config.address = 1;
    config.protocol = setup % 5;
    config.frameFormat = 3;
    config.dataDir = QStringLiteral(KX_FUZZ_DATA_DIR);
    Module module(config);
    Misbehaviour& faults = module.misbehaviour();
    faults.badChecksum = setup & 0x08;
    faults.shortReply = setup & 0x10;
    faults.fePrefix = setup & 0x20;
    faults.wrongAddress = setup & 0x40;
    const bool wellBehaved = (setup & 0x78) == 0;

    // Two stop bits are heard whatever frame format a request switches the module to.
    const ModuleLineSettings line{9600, 2, -1};
    double now = 0;
    while (!in.empty()) {
        const uint8_t control = in.Byte();
        Bytes request = in.Bytes(in.Byte());
        const int protocol = module.activeProtocol(now);
        if (control & 1) PutChecksum(protocol, request);
        const bool complete = module.frameComplete(request, now);
        const std::optional<Module::Reply> reply = module.handle(request, line, now);
        now += 0.25;
        if (!reply) continue;
        if (reply->bytes.empty()) __builtin_trap();
        if (!wellBehaved) continue;
        if (!WellFormedReply(protocol, reply->bytes)) __builtin_trap();
        if (!complete &&
            !(protocol == 0 && request.size() >= 2 && !KnownModbusFunction(request[1])))
            __builtin_trap();
    }
    return 0;
}
