#include "measurement.h"

Measurement::Measurement(const QString&) {}
void Measurement::setError(const QString&, double) {}
void Measurement::advance(double, RegisterFile&) {}
void Measurement::clearEnergy() {}
void Measurement::clearDemand() {}
void Measurement::setEnergyBase(uint32_t) {}
void Measurement::refresh(RegisterFile&) const {}
std::optional<std::vector<uint8_t>> Measurement::read1997(uint16_t, const RegisterFile&) const {
    return std::nullopt;
}
std::optional<std::vector<uint8_t>> Measurement::read2007(uint32_t, const RegisterFile&) const {
    return std::nullopt;
}
