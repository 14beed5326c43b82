#include "link/framing.h"

namespace {

std::size_t ModbusLength(std::span<const uint8_t> received) {
    if (received.size() < 2) return 0;
    const uint8_t function = received[1];
    if (function & 0x80) return 5;
    switch (function) {
    case 0x03:
    case 0x30:
    case 0x33:
        return received.size() < 3 ? 0 : 5 + std::size_t{received[2]};
    case 0x06:
    case 0x10:
    case 0x40:
        return 8;
    default:
        return 0;
    }
}

// 68 A0..A5 68 C L data CS 16, after whatever came before the first header.
std::size_t Dlt645Length(std::span<const uint8_t> received) {
    for (std::size_t start = 0; start < received.size(); ++start) {
        if (received[start] != 0x68) continue;
        if (received.size() < start + 8) return 0;
        if (received[start + 7] != 0x68) continue; // a 68 inside the address, not a header
        if (received.size() < start + 10) return 0;
        return start + 12 + std::size_t{received[start + 9]};
    }
    return 0;
}

// 55 address L command data checksum AA.
std::size_t YaaoLength(std::span<const uint8_t> received) {
    for (std::size_t start = 0; start < received.size(); ++start) {
        if (received[start] != 0x55) continue;
        if (received.size() < start + 3) return 0;
        return start + 5 + std::size_t{received[start + 2]};
    }
    return 0;
}

} // namespace

std::size_t CompleteReplyLength(WireProtocol protocol, std::span<const uint8_t> received,
                                std::size_t knownLength) {
    switch (protocol) {
    case WireProtocol::Modbus:
        return ModbusLength(received);
    case WireProtocol::Dlt645:
        return Dlt645Length(received);
    case WireProtocol::Yaao:
        return YaaoLength(received);
    case WireProtocol::Datang:
    case WireProtocol::Unknown:
        break;
    }
    return knownLength;
}

std::size_t ReplyEnd(WireProtocol protocol, std::span<const uint8_t> received,
                     std::size_t knownLength) {
    const std::size_t length = CompleteReplyLength(protocol, received, knownLength);
    if (length == 0 || received.size() < length) return 0;
    if (protocol != WireProtocol::Datang) return length;
    uint8_t sum = 0;
    for (std::size_t i = 1; i + 1 < received.size(); ++i)
        sum = static_cast<uint8_t>(sum + received[i]);
    return static_cast<uint8_t>(-sum) == received.back() ? received.size() : 0;
}
