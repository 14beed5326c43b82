#pragma once
// Config.ini beside the executable: the serial settings dialog's memory (section SetCom), the
// inspection settings (SetCheck), the last administrator name and the engineering switch
// (SysInfo). Every function opens the file afresh and releases it; nothing is cached.
//
// A missing file, section or key, or a text that is not a number, throws ConversionError with a
// message naming the key (the user sees it in the error box); the file is left as it was. All
// functions may be called from any thread; concurrent writers are not serialised.

#include <QString>
#include <QStringList>

inline constexpr const char* kSettingsFile = "Config.ini";

// Indices as the serial settings dialog's lists hold them; written in this order.
struct SavedSerialSettings {
    int port = 0;     // index in the sorted port list, -1 for none
    int baudrate = 3; // 1200, 2400, 4800, 9600, 19200, 38400
    int parity = 0;   // none, odd, even
    int databit = 2;  // 6, 7, 8
    int stopbits = 0; // 1, 2
    int address = 1;  // module address as typed (1..255, stored unreduced)
    bool operator==(const SavedSerialSettings&) const = default;
};

// Rated values and accuracy classes of the data check (SetCheck), written in this order. The
// acquisition engine has its own CheckSettings; the caller copies the nine values across.
struct SavedCheckSettings {
    double U = 220;
    double I = 5;
    double JDF = 0.02;
    double JDU = 0.2;
    double JDI = 0.2;
    double JDC = 0.5;
    double JDP = 0.5;
    double JDQ = 0.5;
    double JDS = 0.5;
    bool operator==(const SavedCheckSettings&) const = default;
};

// Path of Config.ini in a data folder (the executable's folder).
QString SettingsPath(const QString& dir);

SavedSerialSettings LoadSerialSettings(const QString& dir);
// Writes the six keys; a port name that changes none of them (the frame-format switch) keeps the
// stored portname as it is.
void SaveSerialSettings(const QString& dir, const SavedSerialSettings& settings);
// The same and SetCom/portname, the device path of the chosen port (the index alone names
// another device once adapters come and go).
void SaveSerialSettings(const QString& dir, const SavedSerialSettings& settings,
                        const QString& portName);
// SetCom/portname; empty where it is absent (files of older versions hold the index only).
QString LoadPortName(const QString& dir);

// SetCom/recentports: the network ports ("tcp://HOST:PORT") last used, newest first, at most
// kMaxRecentPorts, so that the serial settings dialog offers them beside the local ports. Absent:
// none.
inline constexpr int kMaxRecentPorts = 8;
QStringList LoadRecentPorts(const QString& dir);
// Puts port first (once) and keeps the newest kMaxRecentPorts.
void AddRecentPort(const QString& dir, const QString& port);

SavedCheckSettings LoadCheckSettings(const QString& dir);
void SaveCheckSettings(const QString& dir, const SavedCheckSettings& settings);

// How the reading loops poll (SetCheck/FastPoll and SetCheck/PollPauseMs). Fast polling ends each
// read as soon as its reply is complete; 0 waits out every read window as the module's first
// host did. Absent keys take these defaults (files of older versions have neither).
struct PollSettings {
    bool fastPoll = true;
    int pauseMs = 100; // between cycles, 0 .. kMaxPollPauseMs
    bool operator==(const PollSettings&) const = default;
};
inline constexpr int kMaxPollPauseMs = 60000;

// Throws ConversionError naming the key for a text that is not a number or a pause out of range.
PollSettings LoadPollSettings(const QString& dir);

// SetCheck/SettleCycles: consecutive answered cycles before a verdict is taken (1 .. 1000).
// Absent: 3. Throws ConversionError naming the key for a text that is not a number or out of
// range.
int LoadSettleCycles(const QString& dir);

// SysInfo/Operator: the name of whoever checks units at this station; empty when never written.
QString LoadOperator(const QString& dir);
void SaveOperator(const QString& dir, const QString& name);

// SysInfo/User: the last administrator who logged in; empty when never written.
QString LoadLastUser(const QString& dir);
void SaveLastUser(const QString& dir, const QString& user);

// SysInfo/Engineering: 1 opens the engineering functions. Absent means 0; a text that is not a
// number is a conversion error like any other key.
bool LoadEngineeringMode(const QString& dir);
