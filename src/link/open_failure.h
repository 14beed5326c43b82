#pragma once
// Why a serial port did not open, told so that the user can act on it: no port chosen, no such
// device, no permission (and which group grants it), in use by another program. Pure functions of
// the port's error and the device file; any thread.

#include <QSerialPort>
#include <QString>

struct OpenFailure {
    enum class Kind {
        None,
        NoPortChosen,
        NoSuchDevice,
        PermissionDenied,
        InUse,
        BadSettings,
        Other
    };
    Kind kind = Kind::None;
    QString port;
    QString group;  // PermissionDenied: the group that owns the device, when it is known
    QString detail; // Other: the system's own words
};

// Classifies a failed open of port from the serial port's error and a look at the device itself:
// a permission error on a device the user may read and write means another program holds it.
OpenFailure DiagnoseOpenFailure(const QString& port, QSerialPort::SerialPortError error,
                                const QString& errorString);

// "初始化失败！！" followed by a line that names the port and the reason.
QString OpenFailureMessage(const OpenFailure& failure);
