#pragma once
// The one serial port of the process. A dedicated I/O thread owns the QSerialPort and runs every
// Open, Close and Transact one at a time, in the order they were queued, so exchanges never mix.
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

class QSerialPort;

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

class SerialLink : public Link {
public:
    SerialLink();
    ~SerialLink() override;
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    // Opens the device by its name as given (a path such as /dev/ttyUSB0 or a link to a pty).
    // False when the device cannot be opened or refuses the settings; the link is closed then and
    // failure, when given, says why.
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
    // Touched only on the I/O thread.
    std::unique_ptr<QSerialPort> port_;
    LineSettings settings_;
    bool lastReadEndedAtFrame_ = false;
    std::chrono::steady_clock::time_point lastByteAt_;
    mutable std::mutex settingsMutex_; // settings_ is read by Settings() from any thread
    std::atomic<bool> open_{false};
};
