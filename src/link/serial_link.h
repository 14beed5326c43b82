#pragma once
// The one serial port of the process: a local device, or a serial device server's port on the
// network ("tcp://HOST:PORT", the bytes of the line over a TCP connection in raw mode, or
// "rfc2217://HOST:PORT", Telnet with COM port control, which also sets the remote port's baud
// rate, data bits, parity and stop bits). A
// dedicated I/O thread owns the port and runs every Open, Close and Transact one at a time, in the
// order they were queued, so exchanges never mix.
// Threads: Open, Close, IsOpen and Transact may be called from any thread and block the caller
// (transactions come from the device session's worker; the GUI thread only opens and closes);
// construct and destroy the link on one thread, after its users stop.

#include "link/link.h"
#include "link/open_failure.h"

#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

class QIODevice;
class QSerialPort;
class QTcpSocket;

// Index tables of the serial settings: baud 0..5 -> 1200..38400 (others refused by Open);
// parity 0 none, 1 odd, 2 even, others none; data bits 0..2 -> 6..8, others 8; stop bits 0 one,
// 1 two, others one.
int BaudRateForIndex(int baudIndex);

// The line settings a link applies, as values (parity 0 none, 1 odd, 2 even).
struct LineSettings {
    int baudRate = 9600;
    int parity = 0;
    int dataBits = 8;
    int stopBits = 1;
    bool operator==(const LineSettings&) const = default;
};

// The settings that Open applies for these indexes; baudRate 0 for a baud index outside the table.
LineSettings LineSettingsFor(int baudIndex, int parityIndex, int dataBitsIndex, int stopBitsIndex);

// A network port name ("tcp://HOST:PORT", "rfc2217://HOST:PORT"); false for a local device.
bool IsNetworkPort(const QString& name);

class SerialLink : public Link {
public:
    static constexpr int kConnectTimeoutMs = 3000;

    SerialLink();
    ~SerialLink() override;
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    // Opens the device by its name as given (a path such as /dev/ttyUSB0 or a link to a pty), or
    // connects to "tcp://HOST:PORT" within kConnectTimeoutMs (the device server keeps the line
    // settings of its port). False when the device cannot be opened or refuses the settings, or
    // the connection is refused or times out; the link is closed then and failure, when given,
    // says why, naming host and port.
    bool Open(const QString& device, int baudIndex, int parityIndex, int dataBitsIndex,
              int stopBitsIndex, OpenFailure* failure = nullptr);
    // True if a port was open and has been released.
    bool Close();
    bool IsOpen() const override;

    // Clears both directions, applies the line settings again, writes, pauses, reads until the
    // requested size or the read window (or, with params.endAtFrame, the end of the reply's
    // frame), then drops whatever else arrives. Every exchange goes to the traffic log if set.
    std::optional<std::vector<uint8_t>> Transact(const std::vector<uint8_t>& request,
                                                 const TransactParams& params) override;

    // The settings of the last successful Open.
    LineSettings Settings() const;
    // What the last Open had to give up, for the user (an RFC 2217 server that refused COM port
    // control: the connection goes on raw, with the device server's own settings); empty else.
    QString Warning() const;

    // Closes the port and joins the I/O thread; later calls fail at once. Safe to call twice.
    void Stop();

private:
    // Runs job on the I/O thread and waits for it; false if the link has been stopped.
    bool RunOnIoThread(const std::function<void()>& job);
    bool ApplySettings();
    std::optional<std::vector<uint8_t>> TransactOnIoThread(const std::vector<uint8_t>& request,
                                                           const TransactParams& params);
    void CloseOnIoThread();
    // Before a request after a read that ended with its frame: waits until no byte has arrived
    // for 3.5 characters, so the request never runs into the tail of the module's turn.
    void WaitForQuietLine();

    QThread thread_;
    QObject* context_ = nullptr; // lives on thread_: the target of queued jobs
    std::mutex stopMutex_;
    bool stopped_ = false;
    bool ConnectOnIoThread(const QString& name, OpenFailure& why);
    // RFC 2217: offers COM port control and sets the remote port; falls back to raw when refused.
    void Negotiate(const LineSettings& settings);
    // The line's data bytes, Telnet taken off for RFC 2217, at most max; and written likewise.
    QByteArray ReadData(qint64 max);
    bool WriteData(const std::vector<uint8_t>& bytes);
    // The open port, serial or network; null when closed.
    QIODevice* io() const;
    // Drops what the port has received so far.
    void DiscardInput();

    // Touched only on the I/O thread.
    std::unique_ptr<QSerialPort> port_;
    std::unique_ptr<QTcpSocket> socket_;
    std::unique_ptr<class TelnetDecoder> telnet_; // RFC 2217 only
    QByteArray pendingData_;                      // decoded, not yet taken
    QString warning_;                             // guarded by settingsMutex_
    int comPortAnswers_ = 0;                      // RFC 2217: settings the far side confirmed
    bool comPortRefused_ = false;                 // RFC 2217: it declined COM port control
    LineSettings settings_;
    bool lastReadEndedAtFrame_ = false;
    std::chrono::steady_clock::time_point lastByteAt_;
    mutable std::mutex settingsMutex_; // settings_ is read by Settings() from any thread
    std::atomic<bool> open_{false};
};
