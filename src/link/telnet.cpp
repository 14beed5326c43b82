#include "link/telnet.h"

using namespace telnet;

std::vector<uint8_t> TelnetEscape(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out;
    out.reserve(data.size() + 4);
    for (uint8_t b : data) {
        out.push_back(b);
        if (b == kIac) out.push_back(kIac);
    }
    return out;
}

std::vector<uint8_t> ComPortCommand(uint8_t command, const std::vector<uint8_t>& value) {
    std::vector<uint8_t> out{kIac, kSb, kComPortOption, command};
    for (uint8_t b : TelnetEscape(value))
        out.push_back(b);
    out.push_back(kIac);
    out.push_back(kSe);
    return out;
}

std::vector<uint8_t> ComPortSettings(int baudRate, int dataBits, int parity, int stopBits) {
    const auto baud = static_cast<uint32_t>(baudRate);
    std::vector<uint8_t> out =
        ComPortCommand(kSetBaudRate, {uint8_t(baud >> 24), uint8_t(baud >> 16), uint8_t(baud >> 8),
                                      uint8_t(baud)});
    const auto add = [&](const std::vector<uint8_t>& command) {
        out.insert(out.end(), command.begin(), command.end());
    };
    add(ComPortCommand(kSetDataSize, {uint8_t(dataBits)}));
    add(ComPortCommand(kSetParity, {uint8_t(parity == 1 ? 2 : parity == 2 ? 3 : 1)}));
    add(ComPortCommand(kSetStopSize, {uint8_t(stopBits == 2 ? 2 : 1)}));
    return out;
}

void TelnetDecoder::Reset() {
    state_ = State::Data;
    sb_.clear();
}

void TelnetDecoder::Feed(const uint8_t* bytes, std::size_t count, std::vector<uint8_t>& data) {
    for (std::size_t i = 0; i < count; ++i) {
        const uint8_t b = bytes[i];
        switch (state_) {
        case State::Data:
            if (b == kIac)
                state_ = State::Iac;
            else
                data.push_back(b);
            break;
        case State::Iac:
            if (b == kIac) {
                data.push_back(kIac);
                state_ = State::Data;
            } else if (b == kWill || b == kWont || b == kDo || b == kDont) {
                verb_ = b;
                state_ = State::Verb;
            } else if (b == kSb) {
                sb_.clear();
                state_ = State::Sb;
            } else {
                state_ = State::Data; // NOP, GA and the like carry nothing for a serial line
            }
            break;
        case State::Verb:
            if (events_.option) events_.option(verb_, b);
            state_ = State::Data;
            break;
        case State::Sb:
            sb_.push_back(b); // the option
            state_ = State::SbData;
            break;
        case State::SbData:
            if (b == kIac)
                state_ = State::SbIac;
            else
                sb_.push_back(b);
            break;
        case State::SbIac:
            if (b == kIac) {
                sb_.push_back(kIac);
                state_ = State::SbData;
            } else {
                // SE (or a broken sender): the subnegotiation ends here.
                if (events_.subnegotiation && !sb_.empty())
                    events_.subnegotiation(sb_.front(),
                                           std::vector<uint8_t>(sb_.begin() + 1, sb_.end()));
                sb_.clear();
                state_ = State::Data;
            }
            break;
        }
    }
}
