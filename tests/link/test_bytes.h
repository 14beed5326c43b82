#pragma once
// Small helpers of the link tests: byte vectors from hex text, and frames with their check bytes.

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// "01 03 0A" -> {0x01, 0x03, 0x0A}
inline Bytes Hex(const std::string& text) {
    Bytes out;
    std::istringstream in(text);
    std::string item;
    while (in >> item)
        out.push_back(static_cast<uint8_t>(std::stoul(item, nullptr, 16)));
    return out;
}

inline std::string ToHex(const Bytes& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (uint8_t b : bytes) {
        if (!out.empty()) out += ' ';
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}
