#include "calib/switching.h"

#include "link/delay.h"
#include "link/modbus.h"

#include <QCoreApplication>

#include <vector>

PortIndexes PortIndexesForFrameFormat(int frameFormat, const PortIndexes& current) {
    PortIndexes next = current;
    switch (frameFormat) {
    case 0:
        next.parity = 0;
        next.stopBits = 1;
        break;
    case 1:
        next.parity = 1;
        next.stopBits = 0;
        break;
    case 2:
        next.parity = 2;
        next.stopBits = 0;
        break;
    case 3:
        next.parity = 0;
        next.stopBits = 0;
        break;
    default:
        break;
    }
    next.baud = 3;
    next.dataBits = 2;
    return next;
}

QString ProtocolSwitchPortFailedText() {
    return QCoreApplication::translate("Switching", "根据系统比特率格式切换端口失败！");
}
QString FrameFormatWriteFailedText() {
    return QCoreApplication::translate("Switching", "配置<比特率格式>数据失败！");
}
QString ProtocolWriteFailedText() {
    return QCoreApplication::translate("Switching", "配置<通信协议>数据失败！");
}
QString ProtocolConfiguredText() {
    return QCoreApplication::translate("Switching", "配置<通信协议>和<比特率格式>成功！");
}
QString StateEntrySwitchPortFailedText() {
    return QCoreApplication::translate("Switching", "进入标定状态切换端口失败！");
}
QString StateEntryProtocolFailedText() {
    return QCoreApplication::translate("Switching", "进入标定状态配置通信协议失败！");
}
QString StateEntryDoneText() {
    return QCoreApplication::translate("Switching", "进入标定状态成功,可以进行产品标定！");
}

bool WriteWiringMode(Link& link, uint8_t address, int wiringMode) {
    return WriteRegisters(link, address, switching::kWiringMode, 1,
                          {static_cast<uint16_t>(wiringMode)});
}

QString ConfigureProtocol(Link& link, uint8_t address, int frameFormat, int protocol,
                          const PortSwitch& switchPort, const ProgressStep& step) {
    if (!switchPort(frameFormat)) return ProtocolSwitchPortFailedText();
    const std::vector<uint16_t> format{static_cast<uint16_t>(frameFormat)};
    // The module may still listen in its old format: the first write is a try, the second counts.
    WriteRegisters(link, address, switching::kFrameFormat, 1, format);
    DelayMs(50);
    if (!WriteRegisters(link, address, switching::kFrameFormat, 1, format))
        return FrameFormatWriteFailedText();
    step();
    if (!WriteCalibrationRegisters(link, address, switching::kProtocol, 1,
                                   {static_cast<uint16_t>(protocol)}))
        return ProtocolWriteFailedText();
    step();
    DelayMs(50);
    return ProtocolConfiguredText();
}

QString EnterCalibrationState(Link& link, uint8_t address, const PortSwitch& switchPort,
                              const ProgressStep& step) {
    if (!switchPort(switching::kCalibrationFrameFormat)) return StateEntrySwitchPortFailedText();
    step();
    if (!WriteCalibrationRegisters(link, address, switching::kProtocol, 1,
                                   {static_cast<uint16_t>(switching::kCalibrationProtocol)}))
        return StateEntryProtocolFailedText();
    step();
    const std::vector<uint16_t> format{static_cast<uint16_t>(switching::kCalibrationFrameFormat)};
    WriteRegisters(link, address, switching::kFrameFormat, 1, format);
    step();
    if (!WriteRegisters(link, address, switching::kFrameFormat, 1, format))
        return FrameFormatWriteFailedText();
    step();
    DelayMs(50);
    return StateEntryDoneText();
}
