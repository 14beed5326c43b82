#include "link/modbus.h"

#include "link/modbus_frames.h"

namespace {

bool Read(Link& link, uint8_t function, const TransactParams& params, uint8_t address,
          uint16_t first, uint16_t count, std::vector<uint16_t>& values, std::size_t* delivered) {
    if (delivered) *delivered = 0;
    const auto reply = link.Transact(BuildReadRequest(address, function, first, count), params);
    return reply && CheckReadReply(*reply, count, values, delivered);
}

} // namespace

bool ReadRegisters(Link& link, uint8_t address, uint16_t first, uint16_t count,
                   std::vector<uint16_t>& values, std::size_t* delivered) {
    return Read(link, kFcReadRegisters, kReadRegistersParams, address, first, count, values,
                delivered);
}

bool ReadRawSamples(Link& link, uint8_t address, uint16_t first, uint16_t count,
                    std::vector<uint16_t>& values, std::size_t* delivered) {
    return Read(link, kFcReadRawSamples, kModbusShortParams, address, first, count, values,
                delivered);
}

bool ReadCalibrationRegisters(Link& link, uint8_t address, uint16_t first, uint16_t count,
                              std::vector<uint16_t>& values, std::size_t* delivered) {
    return Read(link, kFcReadCalibration, kModbusShortParams, address, first, count, values,
                delivered);
}

bool WriteRegister(Link& link, uint8_t address, uint16_t reg, uint16_t value) {
    const auto reply =
        link.Transact(BuildWriteRegisterRequest(address, reg, value), kModbusShortParams);
    return reply && CheckWriteRegisterReply(*reply, value);
}

bool WriteRegisters(Link& link, uint8_t address, uint16_t first, uint16_t count,
                    const std::vector<uint16_t>& values) {
    const auto request =
        BuildWriteRegistersRequest(address, kFcWriteRegisters, first, count, values);
    if (request.empty()) return false;
    const auto reply = link.Transact(request, kModbusShortParams);
    return reply && CheckWriteRegistersReply(*reply);
}

bool WriteCalibrationRegisters(Link& link, uint8_t address, uint16_t first, uint16_t count,
                               const std::vector<uint16_t>& values) {
    const auto request =
        BuildWriteRegistersRequest(address, kFcWriteCalibration, first, count, values);
    if (request.empty()) return false;
    const auto reply = link.Transact(request, kWriteCalibrationParams);
    return reply && CheckWriteCalibrationReply(*reply, count);
}
