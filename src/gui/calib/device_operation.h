#pragma once
// One device operation at a time. A one-shot operation of the calibration or user page keeps the
// event loop running while it waits (DelayMs, or a transaction on the GUI thread), so a second
// click could start another operation in the middle of it; the second one is refused instead.
// GUI thread only.

#include <QString>

class DeviceOperation {
public:
    DeviceOperation() : acquired_(!active_) {
        if (acquired_) active_ = true;
    }
    ~DeviceOperation() {
        if (acquired_) active_ = false;
    }
    DeviceOperation(const DeviceOperation&) = delete;
    DeviceOperation& operator=(const DeviceOperation&) = delete;

    // False when another operation is still running: the caller shows BusyText() and returns.
    bool acquired() const { return acquired_; }
    static bool Running() { return active_; }
    static QString BusyText() { return QStringLiteral("操作正在进行，请稍候！"); }

private:
    static inline bool active_ = false;
    bool acquired_;
};
