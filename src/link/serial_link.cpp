#include "link/serial_link.h"

#include "link/telnet.h"
#include "link/traffic.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QPointer>
#include <QSerialPort>
#include <QTcpSocket>
#include <QUrl>

#include <chrono>
#include <condition_variable>

#ifdef Q_OS_LINUX
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#endif

int BaudRateForIndex(int baudIndex) {
    static constexpr int kRates[] = {1200, 2400, 4800, 9600, 19200, 38400};
    if (baudIndex < 0 || baudIndex >= 6) return 0;
    return kRates[baudIndex];
}

LineSettings LineSettingsFor(int baudIndex, int parityIndex, int dataBitsIndex, int stopBitsIndex) {
    LineSettings settings;
    settings.baudRate = BaudRateForIndex(baudIndex);
    settings.parity = parityIndex == 1 || parityIndex == 2 ? parityIndex : 0;
    settings.dataBits = dataBitsIndex == 0 ? 6 : dataBitsIndex == 1 ? 7 : 8;
    settings.stopBits = stopBitsIndex == 1 ? 2 : 1;
    return settings;
}

namespace {

// A pseudo-terminal (the simulated module's line) always carries 8 bits without parity: Linux
// drops those flags, and QSerialPort reports that as a failure.
bool IsPseudoTerminal(QSerialPort& port) {
#ifdef Q_OS_LINUX
    struct stat info {};
    if (fstat(static_cast<int>(port.handle()), &info) != 0 || !S_ISCHR(info.st_mode)) return false;
    const unsigned majorNumber = major(info.st_rdev);
    return majorNumber == 3 || (majorNumber >= 136 && majorNumber <= 143);
#else
    Q_UNUSED(port);
    return false;
#endif
}

// The write of a request ends when its last byte has left the line, as the read window counts from
// there; the kernel's output queue is drained in sleeps sized to the bytes still queued. False
// when the write window ends first.
bool DrainOutput(QSerialPort& port, int baudRate, const QDeadlineTimer& deadline) {
#ifdef Q_OS_LINUX
    int queued = 0;
    while (ioctl(static_cast<int>(port.handle()), TIOCOUTQ, &queued) == 0 && queued > 0) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0) return false;
        // About 11 bits a character (start, 8 data, parity, stop).
        const qint64 needed = 1 + qint64{queued} * 11000 / std::max(baudRate, 1);
        QThread::msleep(static_cast<unsigned long>(std::min(needed, left)));
    }
#else
    Q_UNUSED(port);
    Q_UNUSED(baudRate);
    Q_UNUSED(deadline);
#endif
    return true;
}

QSerialPort::Parity ParityFor(int parity) {
    switch (parity) {
    case 1:
        return QSerialPort::OddParity;
    case 2:
        return QSerialPort::EvenParity;
    default:
        return QSerialPort::NoParity;
    }
}

QSerialPort::DataBits DataBitsFor(int dataBits) {
    switch (dataBits) {
    case 6:
        return QSerialPort::Data6;
    case 7:
        return QSerialPort::Data7;
    default:
        return QSerialPort::Data8;
    }
}

// One queued job and its completion, shared by the waiting caller and the I/O thread.
struct JobState {
    std::mutex mutex;
    std::condition_variable doneChanged;
    bool done = false;
};

} // namespace

SerialLink::SerialLink() {
    thread_.setObjectName(QStringLiteral("SerialLink I/O"));
    context_ = new QObject;
    context_->moveToThread(&thread_);
    thread_.start();
}

SerialLink::~SerialLink() {
    Stop();
    delete context_;
}

void SerialLink::Stop() {
    {
        std::lock_guard lock(stopMutex_);
        if (stopped_) return;
        stopped_ = true;
    }
    // Queued behind every job already waiting, so each of those still runs and its caller wakes.
    QMetaObject::invokeMethod(
        context_,
        [this] {
            CloseOnIoThread();
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
    thread_.wait();
}

bool SerialLink::RunOnIoThread(const std::function<void()>& job) {
    if (QThread::currentThread() == &thread_) {
        job();
        return true;
    }
    auto state = std::make_shared<JobState>();
    {
        // Holding the lock while posting keeps Stop from slipping its quit in front of this job.
        std::lock_guard lock(stopMutex_);
        if (stopped_) return false;
        QMetaObject::invokeMethod(
            context_,
            [job, state] {
                job();
                std::lock_guard jobLock(state->mutex);
                state->done = true;
                state->doneChanged.notify_all();
            },
            Qt::QueuedConnection);
    }
    // The caller waits here: device operations run on the session's worker, and what the GUI
    // thread asks of the link itself (open, close) takes no bus time.
    std::unique_lock lock(state->mutex);
    state->doneChanged.wait(lock, [&] { return state->done; });
    return true;
}

bool IsNetworkPort(const QString& name) {
    return name.startsWith(QLatin1String("tcp://"), Qt::CaseInsensitive) ||
           name.startsWith(QLatin1String("rfc2217://"), Qt::CaseInsensitive);
}

QString SerialLink::Warning() const {
    std::lock_guard lock(settingsMutex_);
    return warning_;
}

QByteArray SerialLink::ReadData(qint64 max) {
    if (!telnet_) return io()->read(max);
    const QByteArray raw = socket_->readAll();
    std::vector<uint8_t> data;
    telnet_->Feed(reinterpret_cast<const uint8_t*>(raw.constData()), std::size_t(raw.size()), data);
    pendingData_.append(reinterpret_cast<const char*>(data.data()), qsizetype(data.size()));
    const QByteArray taken = pendingData_.left(max);
    pendingData_.remove(0, taken.size());
    return taken;
}

bool SerialLink::WriteData(const std::vector<uint8_t>& bytes) {
    // RFC 2217 doubles every 0xFF of the data; the module sees the bytes as given.
    const std::vector<uint8_t> wire = telnet_ ? TelnetEscape(bytes) : bytes;
    return io()->write(reinterpret_cast<const char*>(wire.data()), qint64(wire.size())) ==
           qint64(wire.size());
}

void SerialLink::Negotiate(const LineSettings& settings) {
    // The far side's answers to the four settings, or its refusal of COM port control. The
    // decoder lives as long as the connection, so what it counts are members, not locals.
    comPortAnswers_ = 0;
    comPortRefused_ = false;
    telnet_ = std::make_unique<TelnetDecoder>(TelnetDecoder::Events{
        [this](uint8_t verb, uint8_t option) {
            using namespace telnet;
            if (option == kComPortOption && (verb == kDont || verb == kWont))
                comPortRefused_ = true;
            // What is not ours to do is declined.
            if (option != kBinary && option != kSuppressGoAhead && option != kComPortOption &&
                (verb == kDo || verb == kWill)) {
                const char reply[3] = {char(kIac), char(verb == kDo ? kWont : kDont), char(option)};
                socket_->write(reply, 3);
            }
        },
        [this](uint8_t option, const std::vector<uint8_t>& bytes) {
            using namespace telnet;
            if (option == kComPortOption && !bytes.empty() && bytes[0] > kServerOffset &&
                bytes[0] <= kServerOffset + kSetStopSize)
                ++comPortAnswers_;
        }});
    using namespace telnet;
    const std::vector<uint8_t> hello{kIac, kWill, kComPortOption,  kIac, kWill, kBinary,
                                     kIac, kDo,   kBinary,         kIac, kWill, kSuppressGoAhead,
                                     kIac, kDo,   kSuppressGoAhead};
    std::vector<uint8_t> out = hello;
    const std::vector<uint8_t> line =
        ComPortSettings(settings.baudRate, settings.dataBits, settings.parity, settings.stopBits);
    out.insert(out.end(), line.begin(), line.end());
    socket_->write(reinterpret_cast<const char*>(out.data()), qint64(out.size()));
    socket_->waitForBytesWritten(kConnectTimeoutMs);
    const QDeadlineTimer deadline(kConnectTimeoutMs);
    while (comPortAnswers_ < 4 && !comPortRefused_ && !deadline.hasExpired()) {
        if (!socket_->waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())))) break;
        ReadData(0);
    }
    pendingData_.clear();
    std::lock_guard lock(settingsMutex_);
    const bool accepted = comPortAnswers_ >= 4;
    warning_ =
        accepted ? QString()
                 : QCoreApplication::translate(
                       "Link",
                       "远端不支持 RFC 2217 串口设置，按原始 TCP 通信（串口参数由设备服务器决定）");
    if (!accepted) telnet_.reset(); // raw from here on
}

QIODevice* SerialLink::io() const {
    if (port_) return port_.get();
    return socket_.get();
}

void SerialLink::DiscardInput() {
    if (port_) {
        port_->clear(QSerialPort::AllDirections);
    } else if (socket_) {
        // Through the decoder, so that commands the far side sent meanwhile are still seen.
        if (telnet_)
            ReadData(0);
        else
            socket_->readAll();
        pendingData_.clear();
    }
}

bool SerialLink::ConnectOnIoThread(const QString& name, OpenFailure& why) {
    const QUrl url(name);
    const QString host = url.host();
    const int portNumber = url.port();
    why.kind = OpenFailure::Kind::Other;
    if (!url.isValid() || host.isEmpty() || portNumber <= 0 || !url.path().isEmpty()) {
        why.detail = QCoreApplication::translate(
            "Link", "网络端口应为 tcp://主机:端口 或 rfc2217://主机:端口");
        return false;
    }
    auto socket = std::make_unique<QTcpSocket>();
    // A request goes out at once, not held back to be joined with the next.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket->connectToHost(host, quint16(portNumber));
    if (!socket->waitForConnected(kConnectTimeoutMs)) {
        const QString where = QStringLiteral("%1:%2").arg(host).arg(portNumber);
        why.detail = socket->error() == QAbstractSocket::SocketTimeoutError
                         ? QCoreApplication::translate("Link", "连接 %1 超时（%2 秒）")
                               .arg(where)
                               .arg(kConnectTimeoutMs / 1000)
                         : QCoreApplication::translate("Link", "无法连接 %1（%2）")
                               .arg(where, socket->errorString());
        return false;
    }
    socket_ = std::move(socket);
    telnet_.reset();
    pendingData_.clear();
    {
        std::lock_guard lock(settingsMutex_);
        warning_.clear();
    }
    if (url.scheme().compare(QLatin1String("rfc2217"), Qt::CaseInsensitive) == 0)
        Negotiate(Settings());
    return true;
}

bool SerialLink::Open(const QString& device, int baudIndex, int parityIndex, int dataBitsIndex,
                      int stopBitsIndex, OpenFailure* failure) {
    const LineSettings settings =
        LineSettingsFor(baudIndex, parityIndex, dataBitsIndex, stopBitsIndex);
    bool opened = false;
    OpenFailure why;
    why.port = device;
    why.kind = OpenFailure::Kind::Other;
    why.detail = QCoreApplication::translate("Link", "无法打开");
    RunOnIoThread([&] {
        CloseOnIoThread();
        if (settings.baudRate == 0) {
            why.kind = OpenFailure::Kind::BadSettings;
            return;
        }
        {
            std::lock_guard lock(settingsMutex_);
            settings_ = settings;
        }
        if (IsNetworkPort(device)) {
            if (!ConnectOnIoThread(device, why)) return;
            open_ = true;
            opened = true;
            return;
        }
        auto port = std::make_unique<QSerialPort>();
        port->setPortName(device);
        if (!port->open(QIODevice::ReadWrite)) {
            why = DiagnoseOpenFailure(device, port->error(), port->errorString());
            return;
        }
        port_ = std::move(port);
        if (!ApplySettings()) {
            why.kind = OpenFailure::Kind::BadSettings;
            CloseOnIoThread();
            return;
        }
        port_->clear(QSerialPort::AllDirections);
        open_ = true;
        opened = true;
    });
    if (failure) *failure = opened ? OpenFailure{} : why;
    return opened;
}

bool SerialLink::Close() {
    bool closed = false;
    RunOnIoThread([&] {
        closed = io() != nullptr;
        CloseOnIoThread();
    });
    return closed;
}

bool SerialLink::IsOpen() const {
    return open_;
}

void SerialLink::CloseOnIoThread() {
    open_ = false;
    if (port_) {
        port_->close();
        port_.reset();
    }
    if (socket_) {
        socket_->abort();
        socket_.reset();
    }
    telnet_.reset();
    pendingData_.clear();
}

LineSettings SerialLink::Settings() const {
    std::lock_guard lock(settingsMutex_);
    return settings_;
}

bool SerialLink::ApplySettings() {
    // A device server applies its own port's settings.
    if (!port_) return socket_ != nullptr;
    const LineSettings settings = Settings();
    bool frameApplied = port_->setDataBits(DataBitsFor(settings.dataBits));
    frameApplied = port_->setParity(ParityFor(settings.parity)) && frameApplied;
    if (!frameApplied && !IsPseudoTerminal(*port_)) return false;
    const bool applied =
        port_->setBaudRate(settings.baudRate) &&
        port_->setStopBits(settings.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop) &&
        port_->setFlowControl(QSerialPort::NoFlowControl);
    port_->clearError();
    return applied;
}

std::optional<std::vector<uint8_t>> SerialLink::Transact(const std::vector<uint8_t>& request,
                                                         const TransactParams& params) {
    if (!open_) return std::nullopt;
    std::optional<std::vector<uint8_t>> reply;
    RunOnIoThread([&] { reply = TransactOnIoThread(request, params); });
    return reply;
}

// The silence that ends a frame on the line: 3.5 characters of about 11 bits, and never less than
// the 1.75 ms that Modbus sets for the fast rates.
static std::chrono::microseconds QuietTime(int baudRate) {
    const int64_t us = int64_t{35} * 11 * 100000 / std::max(baudRate, 1);
    return std::chrono::microseconds(std::max<int64_t>(us, 1750));
}

void SerialLink::WaitForQuietLine() {
    using Clock = std::chrono::steady_clock;
    const auto quiet = QuietTime(Settings().baudRate);
    // A line that never falls silent must not hold the next request for ever.
    const auto giveUp = Clock::now() + std::chrono::seconds(1);
    QIODevice* device = io();
    for (;;) {
        if (!ReadData(1 << 20).isEmpty()) lastByteAt_ = Clock::now();
        const auto left = lastByteAt_ + quiet - Clock::now();
        if (left <= Clock::duration::zero() || Clock::now() >= giveUp) return;
        const int ms = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
        if (device->waitForReadyRead(ms)) lastByteAt_ = Clock::now();
    }
}

std::optional<std::vector<uint8_t>>
SerialLink::TransactOnIoThread(const std::vector<uint8_t>& request, const TransactParams& params) {
    using Clock = std::chrono::steady_clock;
    Exchange exchange;
    exchange.protocol = params.protocol;
    exchange.knownLength = static_cast<std::size_t>(std::max(0, params.replyLength));
    exchange.startedMs = QDateTime::currentMSecsSinceEpoch();
    const auto started = Clock::now();
    const auto record = [&](const std::vector<uint8_t>* reply, Clock::time_point lastByte) {
        TrafficLog* log = trafficLog();
        if (!log) return;
        exchange.request = request;
        if (reply) exchange.reply = *reply;
        exchange.roundTripUs =
            std::chrono::duration_cast<std::chrono::microseconds>(lastByte - started).count();
        exchange.outcome = ClassifyExchange(exchange.protocol, exchange.request, exchange.reply,
                                            exchange.knownLength, reply == nullptr);
        log->Record(std::move(exchange));
    };
    const auto failed = [&]() -> std::optional<std::vector<uint8_t>> {
        record(nullptr, Clock::now());
        return std::nullopt;
    };

    QIODevice* device = io();
    if (!device) return failed();
    // A connection the far side dropped fails like a silent module; the next open connects again.
    if (socket_ && socket_->state() != QAbstractSocket::ConnectedState) return failed();
    // After a read that ended with its frame, the module may still be finishing its turn.
    if (lastReadEndedAtFrame_) WaitForQuietLine();
    lastReadEndedAtFrame_ = false;
    DiscardInput();
    if (!ApplySettings()) return failed();

    const int writeWindow = std::max(
        0, params.writeMultiplierMs * static_cast<int>(request.size()) + params.writeConstantMs);
    const QDeadlineTimer writeDeadline(writeWindow, Qt::PreciseTimer);
    if (!WriteData(request)) return failed();
    while (device->bytesToWrite() > 0) {
        const qint64 left = writeDeadline.remainingTime();
        if (left <= 0 || !device->waitForBytesWritten(static_cast<int>(left))) return failed();
    }
    // On the network the windows count from the moment the request is handed to the socket.
    if (port_ && !DrainOutput(*port_, Settings().baudRate, writeDeadline)) return failed();

    if (params.pauseMs > 0) QThread::msleep(static_cast<unsigned long>(params.pauseMs));

    const qint64 wanted = std::max(0, params.readSize);
    const QDeadlineTimer readDeadline(std::max(0, params.ReadWindowMs()), Qt::PreciseTimer);
    QByteArray received;
    auto lastByte = started;
    for (;;) {
        const QByteArray chunk = ReadData(wanted - received.size());
        if (!chunk.isEmpty()) {
            received += chunk;
            lastByte = Clock::now();
            if (params.endAtFrame) {
                const std::size_t end =
                    ReplyEnd(params.protocol,
                             std::span(reinterpret_cast<const uint8_t*>(received.constData()),
                                       static_cast<std::size_t>(received.size())),
                             exchange.knownLength);
                if (end > 0) {
                    received.truncate(static_cast<qsizetype>(end));
                    lastReadEndedAtFrame_ = true;
                    lastByteAt_ = lastByte;
                    break;
                }
            }
        }
        if (received.size() >= wanted) break;
        const qint64 left = readDeadline.remainingTime();
        if (left <= 0) break;
        if (!device->waitForReadyRead(static_cast<int>(left))) {
            if (port_) {
                const QSerialPort::SerialPortError error = port_->error();
                if (error != QSerialPort::NoError && error != QSerialPort::TimeoutError)
                    return failed();
            } else if (socket_->state() != QAbstractSocket::ConnectedState) {
                return failed();
            }
        }
    }
    // Whatever comes after the read belongs to nobody.
    if (port_)
        port_->clear(QSerialPort::Input);
    else
        DiscardInput();
    std::vector<uint8_t> reply(received.begin(), received.end());
    record(&reply, reply.empty() ? Clock::now() : lastByte);
    return reply;
}
