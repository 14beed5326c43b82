#include "pty_server.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &c, 1);
}

int baudOf(speed_t speed) {
    switch (speed) {
    case B1200:
        return 1200;
    case B2400:
        return 2400;
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    default:
        return 0;
    }
}

const auto kStart = std::chrono::steady_clock::now();

} // namespace

PtyServer::PtyServer(Module& module, CommandShell& shell, const Options& options)
    : PtyServer(std::vector<Module*>{&module}, shell, options) {}

PtyServer::PtyServer(std::vector<Module*> modules, CommandShell& shell, const Options& options)
    : modules_(std::move(modules)), shell_(shell), options_(options) {}

PtyServer::~PtyServer() {
    removeLink();
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
    if (client_ >= 0) ::close(client_);
    if (listen_ >= 0) ::close(listen_);
}

double PtyServer::now() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - kStart).count();
}

bool PtyServer::catchSignals(QString& error) {
    if (signalPipe[0] < 0 && ::pipe(signalPipe) != 0) {
        error = QString("cannot create a pipe: %1").arg(std::strerror(errno));
        return false;
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    return true;
}

bool PtyServer::listenTcp(const QString& hostPort, QString& error, bool rfc2217) {
    if (!catchSignals(error)) return false;
    rfc2217_ = rfc2217;
    const qsizetype colon = hostPort.lastIndexOf(':');
    QString host = colon < 0 ? QStringLiteral("127.0.0.1") : hostPort.left(colon);
    if (host == QLatin1String("localhost")) host = QStringLiteral("127.0.0.1");
    bool ok = false;
    const int port = hostPort.mid(colon + 1).toInt(&ok);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    if (!ok || port < 0 || port > 65535 ||
        ::inet_pton(AF_INET, host.toLatin1().constData(), &address.sin_addr) != 1) {
        error = QString("--tcp %1 is not [HOST:]PORT of an IPv4 address").arg(hostPort);
        return false;
    }
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const int yes = 1;
    if (listen_ < 0 || ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0 ||
        ::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listen_, 1) != 0) {
        error = QString("cannot listen on %1:%2: %3").arg(host).arg(port).arg(std::strerror(errno));
        return false;
    }
    // Port 0 takes a free one: the first output line says which.
    socklen_t length = sizeof address;
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
    slavePath_ = QString("%1://%2:%3")
                     .arg(rfc2217 ? "rfc2217" : "tcp")
                     .arg(host)
                     .arg(ntohs(address.sin_port));
    return true;
}

void PtyServer::takeConnection() {
    const int client = ::accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (client < 0) return;
    // One host at a time, as on a device server's port: a new connection replaces the old.
    if (client_ >= 0) ::close(client_);
    client_ = client;
    const int yes = 1;
    ::setsockopt(client_, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    tx_.clear();
    txStarted_ = false;
    rx_.clear();
    if (!rfc2217_) return;
    remote_ = ModuleLineSettings{9600, 1, 0};
    telnet_ = std::make_unique<TelnetDecoder>(TelnetDecoder::Events{
        [this](uint8_t verb, uint8_t option) {
            using namespace telnet;
            const bool ours =
                option == kBinary || option == kSuppressGoAhead || option == kComPortOption;
            uint8_t answer = 0;
            if (verb == kWill) answer = ours ? kDo : kDont;
            if (verb == kDo) answer = ours && option != kComPortOption ? kWill : kWont;
            if (answer == 0) return;
            const uint8_t reply[3] = {kIac, answer, option};
            [[maybe_unused]] ssize_t w = ::write(client_, reply, 3);
        },
        [this](uint8_t option, const std::vector<uint8_t>& bytes) {
            if (option == telnet::kComPortOption) comPortCommand(bytes);
        }});
}

void PtyServer::comPortCommand(const std::vector<uint8_t>& bytes) {
    using namespace telnet;
    if (bytes.empty()) return;
    const uint8_t command = bytes[0];
    std::vector<uint8_t> value(bytes.begin() + 1, bytes.end());
    // A value of 0 asks for the current setting; anything else sets it. The answer carries it.
    switch (command) {
    case kSetBaudRate:
        if (value.size() == 4) {
            const uint32_t baud = uint32_t(value[0]) << 24 | uint32_t(value[1]) << 16 |
                                  uint32_t(value[2]) << 8 | value[3];
            if (baud != 0) remote_.baud = int(baud);
            const auto b = uint32_t(remote_.baud);
            value = {uint8_t(b >> 24), uint8_t(b >> 16), uint8_t(b >> 8), uint8_t(b)};
        }
        break;
    case kSetParity:
        if (value.size() == 1 && value[0] >= 1 && value[0] <= 3) remote_.parity = value[0] - 1;
        if (value.size() == 1) value[0] = uint8_t(remote_.parity + 1);
        break;
    case kSetStopSize:
        if (value.size() == 1 && (value[0] == 1 || value[0] == 2)) remote_.stopBits = value[0];
        if (value.size() == 1) value[0] = uint8_t(remote_.stopBits);
        break;
    case kSetDataSize:
        if (value.size() == 1 && value[0] == 0) value[0] = 8;
        break;
    default:
        break; // control, masks, purge: taken as asked
    }
    const std::vector<uint8_t> answer = ComPortCommand(uint8_t(command + kServerOffset), value);
    [[maybe_unused]] ssize_t w = ::write(client_, answer.data(), answer.size());
}

void PtyServer::writeLine(const std::vector<uint8_t>& bytes) {
    if (lineFd() < 0) return;
    // A full buffer (nobody reading the line) loses the rest, as a line would.
    const std::vector<uint8_t> wire = telnet_ ? TelnetEscape(bytes) : bytes;
    [[maybe_unused]] ssize_t w = ::write(lineFd(), wire.data(), wire.size());
}

bool PtyServer::open(const QString& linkPath, QString& error) {
    // Signals are caught before the link exists, so that a SIGTERM right after the first output
    // line still removes it.
    if (!catchSignals(error)) return false;

    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        error = QString("cannot open a pseudo-terminal: %1").arg(std::strerror(errno));
        return false;
    }
    const char* name = ::ptsname(master_);
    if (!name) {
        error = "cannot name the pseudo-terminal";
        return false;
    }
    slavePath_ = QString::fromLocal8Bit(name);
    slave_ = ::open(name, O_RDWR | O_NOCTTY);
    if (slave_ < 0) {
        error = QString("cannot open %1: %2").arg(slavePath_, std::strerror(errno));
        return false;
    }
    // A raw 9600 8N1 line until the host sets its own: no echo, no line editing, no translation.
    termios t{};
    ::tcgetattr(slave_, &t);
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&t, B9600);
    ::cfsetospeed(&t, B9600);
    ::tcsetattr(slave_, TCSANOW, &t);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    // Told when the host opens the port, so that a fresh open finds an empty receive buffer as
    // on a real port (bytes sent while it was closed are not kept).
    opens_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (opens_ >= 0) ::inotify_add_watch(opens_, name, IN_OPEN);

    const QFileInfo link(linkPath);
    QDir().mkpath(link.absolutePath());
    if (link.isSymLink()) {
        ::unlink(QFile::encodeName(linkPath).constData());
    } else if (link.exists()) {
        error = QString("%1 exists and is not a symbolic link").arg(linkPath);
        return false;
    }
    if (::symlink(name, QFile::encodeName(linkPath).constData()) != 0) {
        error = QString("cannot create link %1: %2").arg(linkPath, std::strerror(errno));
        return false;
    }
    linkPath_ = linkPath;
    return true;
}

void PtyServer::removeLink() {
    if (linkPath_.isEmpty()) return;
    // Only our own link: another simulator may have taken the name since.
    const QByteArray path = QFile::encodeName(linkPath_);
    char target[4096];
    const ssize_t n = ::readlink(path.constData(), target, sizeof target - 1);
    if (n > 0 && QString::fromLocal8Bit(target, n) == slavePath_) ::unlink(path.constData());
    linkPath_.clear();
}

ModuleLineSettings PtyServer::lineSettings() const {
    ModuleLineSettings line;
    if (rfc2217_) return remote_;
    if (listen_ >= 0) {
        // Raw TCP carries no line settings: the device server's port is set as the module is.
        const double t = now();
        line.baud = primary().activeBaud(t);
        line.stopBits = primary().activeFrameFormat(t) == 0 ? 2 : 1;
        return line;
    }
    // The master side reports the terminal attributes the host set on the slave side.
    termios t{};
    if (::tcgetattr(master_, &t) == 0) {
        line.baud = baudOf(::cfgetospeed(&t));
        line.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    }
    return line;
}

void PtyServer::serveRequest(double now) {
    // Every module hears the frame; the one it is addressed to answers (a broadcast: none).
    std::optional<Module::Reply> reply;
    const ModuleLineSettings line = lineSettings();
    for (Module* module : modules_) {
        auto answer = module->handle(rx_, line, now);
        if (!reply && answer && !answer->bytes.empty()) reply = std::move(answer);
    }
    rx_.clear();
    if (!reply || reply->bytes.empty()) return;
    const double charTime = double(primary().bitsPerChar(now)) / primary().activeBaud(now);
    double due = now + reply->delayMs / 1000.0;
    if (options_.pace) due += options_.turnaroundMs / 1000.0;
    std::size_t gapAt = reply->bytes.size(); // no gap
    double gap = 0;
    if (options_.jitterMs > 0) {
        std::uniform_int_distribution<int> ms(0, options_.jitterMs);
        due += ms(jitter_) / 1000.0;
        if (reply->bytes.size() > 1) {
            gapAt = std::uniform_int_distribution<std::size_t>(1, reply->bytes.size() - 1)(jitter_);
            gap = std::max(1, ms(jitter_)) / 1000.0;
        }
    }
    for (std::size_t i = 0; i < reply->bytes.size(); ++i) {
        if (i == gapAt) due += gap;
        tx_.push_back({reply->bytes[i], due});
        if (options_.pace) due += charTime;
    }
}

void PtyServer::takeOpens() {
    if (opens_ < 0) return;
    alignas(inotify_event) char buf[4096];
    bool opened = false;
    while (::read(opens_, buf, sizeof buf) > 0)
        opened = true;
    if (opened) {
        ::tcflush(slave_, TCIFLUSH);
        tx_.clear();
        txStarted_ = false;
        rx_.clear();
    }
}

void PtyServer::runCommandLines() {
    qsizetype nl;
    while ((nl = stdinBuffer_.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(stdinBuffer_.left(nl)).trimmed();
        stdinBuffer_.remove(0, nl + 1);
        if (line.isEmpty()) continue;
        if (line == QLatin1String("line")) {
            // The line as the module hears it: what the host set (RFC 2217) or the pty carries.
            const ModuleLineSettings l = lineSettings();
            std::printf("ok baud=%d parity=%d stop=%d\n", l.baud, l.parity, l.stopBits);
            std::fflush(stdout);
            continue;
        }
        const auto result = shell_.execute(line, now());
        std::fputs(result.line.toUtf8().constData(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
        if (result.quit) {
            quit_ = true;
            return;
        }
    }
}

int PtyServer::run() {
    while (!quit_) {
        const double t = now();
        // Next deadline: the end of a request (quiet line) or the next byte to send.
        double deadline = -1;
        if (!rx_.empty()) {
            const double charTime = double(primary().bitsPerChar(t)) / primary().activeBaud(t);
            deadline = lastRx_ + std::max(0.002, 3.5 * charTime);
        }
        if (!tx_.empty() && (deadline < 0 || tx_.front().due < deadline))
            deadline = tx_.front().due;
        int timeoutMs = -1;
        if (deadline >= 0) timeoutMs = std::max(0, int(std::ceil((deadline - t) * 1000.0)));

        // Negative descriptors are left out by poll: no connection yet, no console.
        pollfd fds[5] = {{lineFd(), POLLIN, 0},
                         {signalPipe[0], POLLIN, 0},
                         {opens_, POLLIN, 0},
                         {listen_, POLLIN, 0},
                         {stdinOpen_ ? 0 : -1, POLLIN, 0}};
        const int n = ::poll(fds, 5, timeoutMs);
        if (n < 0 && errno != EINTR) break;
        if (n > 0 && (fds[1].revents & POLLIN)) break; // SIGINT or SIGTERM
        // Before the request bytes: the host's open precedes what it writes.
        takeOpens();
        if (n > 0 && (fds[3].revents & POLLIN)) takeConnection();
        const double t2 = now();
        if (n > 0 && fds[0].fd >= 0 && (fds[0].revents & (POLLIN | POLLHUP))) {
            uint8_t buf[1024];
            const ssize_t got = ::read(fds[0].fd, buf, sizeof buf);
            if (got == 0 && fds[0].fd == client_) {
                // The host closed the connection; the next one is accepted.
                ::close(client_);
                client_ = -1;
                telnet_.reset();
                rx_.clear();
                tx_.clear();
            }
            std::vector<uint8_t> data(buf, buf + std::max<ssize_t>(got, 0));
            if (telnet_ && got > 0) {
                data.clear();
                telnet_->Feed(buf, std::size_t(got), data);
            }
            if (!data.empty()) {
                // A host that talks while a late reply is still waiting has given up on it.
                if (!txStarted_) tx_.clear();
                rx_.insert(rx_.end(), data.begin(), data.end());
                lastRx_ = t2;
                if (std::any_of(modules_.begin(), modules_.end(),
                                [&](Module* m) { return m->frameComplete(rx_, t2); }))
                    serveRequest(t2);
            }
        }
        if (stdinOpen_ && n > 0 && (fds[4].revents & (POLLIN | POLLHUP))) {
            char buf[1024];
            const ssize_t got = ::read(0, buf, sizeof buf);
            if (got <= 0) {
                // No console (e.g. started in the background): keep serving.
                stdinOpen_ = false;
                stdinBuffer_.append('\n');
            } else {
                stdinBuffer_.append(buf, got);
            }
            runCommandLines();
        }
        const double t3 = now();
        if (!rx_.empty()) {
            const double charTime = double(primary().bitsPerChar(t3)) / primary().activeBaud(t3);
            if (t3 >= lastRx_ + std::max(0.002, 3.5 * charTime)) serveRequest(t3);
        }
        std::vector<uint8_t> out;
        while (!tx_.empty() && tx_.front().due <= t3) {
            out.push_back(tx_.front().byte);
            tx_.pop_front();
        }
        if (!out.empty()) {
            // A full buffer (nobody reading the line) loses the rest, as a line would.
            writeLine(out);
            txStarted_ = !tx_.empty();
        }
        if (tx_.empty()) txStarted_ = false;
    }
    return 0;
}
