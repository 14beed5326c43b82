// SerialLink against a real pseudo-terminal: the test plays the module on the master side.

#include "link/delay.h"
#include "link/ports.h"
#include "link/serial_link.h"
#include "test_bytes.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <mutex>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

// The module's side of a pseudo-terminal. A reader thread collects what the link sends and, when
// a responder is set, answers each complete request.
class PtyPeer {
public:
    // Given everything received but not yet answered; returns how many bytes it consumed and
    // appends the answer to reply.
    using Responder = std::function<std::size_t(const Bytes& pending, Bytes& reply)>;

    PtyPeer() {
        char name[128] = {};
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
        path_ = name;
        termios raw{};
        tcgetattr(slave_, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave_, TCSANOW, &raw);
        reader_ = std::thread([this] { Run(); });
    }

    ~PtyPeer() {
        stop_ = true;
        if (reader_.joinable()) reader_.join();
        if (master_ >= 0) close(master_);
        if (slave_ >= 0) close(slave_);
    }

    bool ok() const { return master_ >= 0; }

    // The module goes away: its side of the line is closed.
    void Vanish() {
        stop_ = true;
        if (reader_.joinable()) reader_.join();
        close(master_);
        master_ = -1;
    }
    QString path() const { return QString::fromLocal8Bit(path_.c_str()); }
    int slaveFd() const { return slave_; }

    void SetResponder(Responder responder) {
        std::lock_guard lock(mutex_);
        responder_ = std::move(responder);
    }

    void Send(const Bytes& bytes) {
        std::lock_guard lock(writeMutex_);
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) return;
            done += static_cast<std::size_t>(n);
        }
    }

    // Everything received so far.
    Bytes Received() const {
        std::lock_guard lock(mutex_);
        return received_;
    }

    // Waits (bounded) until at least count bytes have been received.
    bool WaitReceived(std::size_t count, int timeoutMs = 5000) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return received_.size() >= count; });
    }

private:
    void Run() {
        uint8_t buffer[512];
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n <= 0) continue;
            Bytes reply;
            {
                std::lock_guard lock(mutex_);
                received_.insert(received_.end(), buffer, buffer + n);
                pending_.insert(pending_.end(), buffer, buffer + n);
                while (responder_ && !pending_.empty()) {
                    const std::size_t used = responder_(pending_, reply);
                    if (used == 0) break;
                    pending_.erase(pending_.begin(),
                                   pending_.begin() + std::min(used, pending_.size()));
                }
                changed_.notify_all();
            }
            if (!reply.empty()) Send(reply);
        }
    }

    int master_ = -1;
    int slave_ = -1;
    std::string path_;
    std::thread reader_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::mutex writeMutex_;
    std::condition_variable changed_;
    Bytes received_;
    Bytes pending_;
    Responder responder_;
};

const TransactParams kSilentWindow{1, 100, 256, 1, 100, 0}; // 356 ms read window

class SerialLinkOnPty : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer_.ok()) << "no pseudo-terminal";
        ASSERT_TRUE(link_.Open(peer_.path(), 3, 0, 2, 0));
    }

    PtyPeer peer_;
    SerialLink link_;
};

TEST_F(SerialLinkOnPty, SilentPeerCostsTheWholeReadWindow) {
    QElapsedTimer clock;
    clock.start();
    const auto reply = link_.Transact(Hex("01 03 00 00 00 01 84 0A"), kSilentWindow);
    const qint64 elapsed = clock.elapsed();
    ASSERT_TRUE(reply.has_value());
    EXPECT_TRUE(reply->empty());
    EXPECT_GE(elapsed, 340);
    EXPECT_LT(elapsed, 1500);
    ASSERT_TRUE(peer_.WaitReceived(8));
    EXPECT_EQ(ToHex(peer_.Received()), "01 03 00 00 00 01 84 0A");
}

TEST_F(SerialLinkOnPty, LongerReplyIsCutAndItsRestDropped) {
    peer_.SetResponder([](const Bytes& pending, Bytes& reply) {
        for (int i = 0; i < 40; ++i)
            reply.push_back(static_cast<uint8_t>(i));
        return pending.size();
    });
    const auto first = link_.Transact(Hex("AA"), {1, 100, 10, 1, 2000, 0});
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(ToHex(*first), "00 01 02 03 04 05 06 07 08 09");
    // The rest of that reply never shows up in the next exchange.
    peer_.SetResponder(nullptr);
    const auto second = link_.Transact(Hex("BB"), {1, 100, 16, 0, 200, 0});
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(ToHex(*second), "");
}

TEST_F(SerialLinkOnPty, StaleInputIsDiscardedBeforeTheRequest) {
    peer_.SetResponder([](const Bytes& pending, Bytes& reply) {
        reply = Hex("4F 4B");
        return pending.size();
    });
    peer_.Send(Hex("58 59 5A"));
    const auto reply = link_.Transact(Hex("01"), {1, 100, 2, 1, 3000, 0});
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(ToHex(*reply), "4F 4B");
}

TEST_F(SerialLinkOnPty, ReplyFillingTheRequestedSizeEndsTheReadEarly) {
    peer_.SetResponder([](const Bytes& pending, Bytes& reply) {
        reply = pending;
        return pending.size();
    });
    // A 10 s window that an echo fills at once: returning at all before it ends shows the rule.
    QElapsedTimer clock;
    clock.start();
    const auto reply = link_.Transact(Hex("01 02 03 04"), {1, 100, 4, 0, 10000, 0});
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(ToHex(*reply), "01 02 03 04");
    EXPECT_LT(clock.elapsed(), 9000);
}

TEST_F(SerialLinkOnPty, PauseComesBeforeTheReadWindow) {
    // The peer answers at once; the reply still counts since it is read after the pause.
    peer_.SetResponder([](const Bytes& pending, Bytes& reply) {
        reply = Hex("16");
        return pending.size();
    });
    QElapsedTimer clock;
    clock.start();
    const auto reply = link_.Transact(Hex("68"), {0, 100, 256, 0, 100, 500});
    const qint64 elapsed = clock.elapsed();
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(ToHex(*reply), "16");
    EXPECT_GE(elapsed, 590);
    EXPECT_LT(elapsed, 1600);
}

TEST_F(SerialLinkOnPty, CloseThenTransactionFailsAtOnce) {
    EXPECT_TRUE(link_.IsOpen());
    EXPECT_TRUE(link_.Close());
    EXPECT_FALSE(link_.IsOpen());
    EXPECT_FALSE(link_.Close());
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(link_.Transact(Hex("01"), {1, 100, 256, 1, 5000, 0}).has_value());
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_TRUE(peer_.Received().empty());
    // And the same device opens again.
    EXPECT_TRUE(link_.Open(peer_.path(), 3, 0, 2, 0));
}

TEST_F(SerialLinkOnPty, TwoThreadsNeverInterleaveOnTheWire) {
    // The peer echoes every 8-byte request.
    peer_.SetResponder([](const Bytes& pending, Bytes& reply) -> std::size_t {
        if (pending.size() < 8) return 0;
        reply.insert(reply.end(), pending.begin(), pending.begin() + 8);
        return 8;
    });
    constexpr int kRounds = 12;
    std::atomic<int> mismatches{0};
    auto caller = [&](uint8_t tag) {
        for (int i = 0; i < kRounds; ++i) {
            const Bytes request(8, static_cast<uint8_t>(tag + i));
            const auto reply = link_.Transact(request, {1, 100, 8, 1, 2000, 0});
            if (!reply || *reply != request) ++mismatches;
        }
    };
    std::thread a(caller, uint8_t{0x10});
    std::thread b(caller, uint8_t{0x80});
    a.join();
    b.join();
    EXPECT_EQ(mismatches.load(), 0);
    const Bytes wire = peer_.Received();
    ASSERT_EQ(wire.size(), 2u * kRounds * 8);
    for (std::size_t at = 0; at < wire.size(); at += 8)
        for (std::size_t k = 1; k < 8; ++k)
            ASSERT_EQ(wire[at + k], wire[at]) << "request mixed at byte " << at + k;
}

// A caller on the GUI thread waits without a nested event loop: no click, no timer of the window
// can start a second operation inside the first.
TEST_F(SerialLinkOnPty, CallerOnTheGuiThreadRunsNoEventLoop) {
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(1);
    const auto reply = link_.Transact(Hex("01"), kSilentWindow);
    const int during = ticks;
    timer.stop();
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(during, 0);
}

TEST_F(SerialLinkOnPty, VanishedPeerIsAFailureNotSilence) {
    peer_.Vanish();
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(link_.Transact(Hex("01 02"), {1, 100, 256, 1, 3000, 0}).has_value());
    EXPECT_LT(clock.elapsed(), 10000);
}

TEST_F(SerialLinkOnPty, StopIsSafeTwiceAndLaterCallsFail) {
    link_.Stop();
    link_.Stop();
    EXPECT_FALSE(link_.IsOpen());
    EXPECT_FALSE(link_.Transact(Hex("01"), kSilentWindow).has_value());
    EXPECT_FALSE(link_.Open(peer_.path(), 3, 0, 2, 0));
}

TEST(SerialLinkOpen, MissingDeviceFailsAndLeavesTheLinkClosed) {
    QTemporaryDir dir;
    SerialLink link;
    EXPECT_FALSE(link.Open(dir.filePath("no-such-tty"), 3, 0, 2, 0));
    EXPECT_FALSE(link.IsOpen());
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(link.Transact(Hex("01"), {1, 100, 256, 1, 5000, 0}).has_value());
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_FALSE(link.Close());
}

TEST(SerialLinkOpen, BaudIndexOutsideTheTableIsRefused) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    SerialLink link;
    EXPECT_FALSE(link.Open(peer.path(), 6, 0, 2, 0));
    EXPECT_FALSE(link.Open(peer.path(), -1, 0, 2, 0));
    EXPECT_FALSE(link.IsOpen());
}

TEST(SerialLinkOpen, AFailedOpenSaysWhy) {
    QTemporaryDir dir;
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    const QString dangling = dir.filePath("ttyGone");
    ASSERT_TRUE(QFile::link(dir.filePath("nothing"), dangling));
    SerialLink holder;
    ASSERT_TRUE(holder.Open(peer.path(), 3, 0, 2, 0));

    const struct {
        QString port;
        int baudIndex;
        OpenFailure::Kind kind;
    } cases[] = {
        {dir.filePath("no-such-tty"), 3, OpenFailure::Kind::NoSuchDevice},
        {dangling, 3, OpenFailure::Kind::NoSuchDevice},
        {QString(), 3, OpenFailure::Kind::NoPortChosen},
        {peer.path(), 3, OpenFailure::Kind::InUse}, // the holder has it
        {peer.path(), 6, OpenFailure::Kind::BadSettings},
    };
    for (const auto& c : cases) {
        SerialLink link;
        OpenFailure failure;
        EXPECT_FALSE(link.Open(c.port, c.baudIndex, 0, 2, 0, &failure)) << c.port.toStdString();
        EXPECT_EQ(failure.kind, c.kind) << c.port.toStdString();
        EXPECT_EQ(failure.port, c.port);
    }
    // Once the holder lets go, the same port opens and the failure is cleared.
    holder.Close();
    SerialLink link;
    OpenFailure failure;
    failure.kind = OpenFailure::Kind::Other;
    EXPECT_TRUE(link.Open(peer.path(), 3, 0, 2, 0, &failure));
    EXPECT_EQ(failure.kind, OpenFailure::Kind::None);
}

// A device the user may not read and write: the failure names the group that owns it. As root,
// a child process becomes "nobody" to meet a pseudo-terminal's slave (group tty, mode 0620) as a
// plain user does; as another user, a file of ours with no permissions plays the device.
TEST(SerialLinkOpen, ADeviceTheUserMayNotOpenNamesItsGroup) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    if (::geteuid() == 0) {
        struct stat st {};
        ASSERT_EQ(::stat(peer.path().toLocal8Bit().constData(), &st), 0);
        const group* owner = ::getgrgid(st.st_gid);
        ASSERT_NE(owner, nullptr);
        const QString expected = QString::fromLocal8Bit(owner->gr_name);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(3);
            const OpenFailure f =
                DiagnoseOpenFailure(peer.path(), QSerialPort::PermissionError, QString());
            ::_exit(f.kind != OpenFailure::Kind::PermissionDenied ? 1
                    : f.group != expected                         ? 2
                                                                  : 0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "1: wrong kind, 2: wrong group, 3: no setuid";
    } else {
        QTemporaryDir dir;
        const QString device = dir.filePath("ttyLocked");
        QFile file(device);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        ASSERT_TRUE(QFile::setPermissions(device, {}));
        SerialLink link;
        OpenFailure failure;
        EXPECT_FALSE(link.Open(device, 3, 0, 2, 0, &failure));
        EXPECT_EQ(failure.kind, OpenFailure::Kind::PermissionDenied);
        EXPECT_EQ(failure.group, QString::fromLocal8Bit(::getgrgid(::getegid())->gr_name));
    }
}

TEST(OpenFailureMessage, FirstLineStaysAndTheSecondNamesPortAndReason) {
    using K = OpenFailure::Kind;
    const QString port = QStringLiteral("/dev/ttyUSB0");
    const struct {
        OpenFailure failure;
        QString text;
    } cases[] = {
        {{K::NoSuchDevice, port, {}, {}},
         "初始化失败！！\n串口 /dev/ttyUSB0 不存在：设备未连接，或端口名称有误。"},
        {{K::PermissionDenied, port, "dialout", {}},
         "初始化失败！！\n没有权限打开串口 /dev/ttyUSB0：请把当前用户加入拥有该设备的用户组 "
         "dialout（sudo usermod -aG dialout $USER），重新登录后再试。"},
        {{K::PermissionDenied, port, {}, {}},
         "初始化失败！！\n没有权限打开串口 /dev/ttyUSB0：请把当前用户加入拥有该设备的用户组，"
         "重新登录后再试。"},
        {{K::InUse, port, {}, {}},
         "初始化失败！！\n串口 /dev/ttyUSB0 正被其他程序占用：请先关闭占用它的程序。"},
        {{K::NoPortChosen, {}, {}, {}}, "初始化失败！！\n没有选择串口：请在“串口设置”中选择端口。"},
        {{K::BadSettings, port, {}, {}},
         "初始化失败！！\n串口 /dev/ttyUSB0 不接受所选的通信参数。"},
        {{K::Other, port, {}, "Input/output error"},
         "初始化失败！！\n串口 /dev/ttyUSB0：Input/output error"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OpenFailureMessage(c.failure), c.text);
}

struct LineCase {
    int baud, parity, dataBits, stopBits;
    LineSettings settings;
    speed_t speed;
};

class SerialLinkLineSettings : public ::testing::TestWithParam<LineCase> {};

TEST_P(SerialLinkLineSettings, IndexesMapAndReachTheTerminal) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    SerialLink link;
    const LineCase& c = GetParam();
    EXPECT_EQ(LineSettingsFor(c.baud, c.parity, c.dataBits, c.stopBits), c.settings);
    // A pseudo-terminal always carries 8 bits without parity; the other settings must still open.
    ASSERT_TRUE(link.Open(peer.path(), c.baud, c.parity, c.dataBits, c.stopBits));
    EXPECT_EQ(link.Settings(), c.settings);
    // A transaction applies them again; they must still be these afterwards.
    EXPECT_TRUE(link.Transact(Hex("00"), {0, 100, 1, 0, 10, 0}).has_value());
    termios t{};
    ASSERT_EQ(tcgetattr(peer.slaveFd(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), c.speed);
    EXPECT_EQ(cfgetispeed(&t), c.speed);
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.settings.stopBits == 2);
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Indexes, SerialLinkLineSettings,
    ::testing::Values(LineCase{0, 0, 2, 0, {1200, 0, 8, 1}, B1200},
                      LineCase{1, 1, 1, 1, {2400, 1, 7, 2}, B2400},
                      LineCase{2, 2, 0, 0, {4800, 2, 6, 1}, B4800},
                      LineCase{3, 0, 2, 1, {9600, 0, 8, 2}, B9600},
                      LineCase{4, 2, 2, 0, {19200, 2, 8, 1}, B19200},
                      LineCase{5, 1, 2, 0, {38400, 1, 8, 1}, B38400},
                      // Indexes outside the tables: no parity, 8 bits, one stop bit.
                      LineCase{3, 3, 5, 2, {9600, 0, 8, 1}, B9600},
                      LineCase{3, -1, -1, -1, {9600, 0, 8, 1}, B9600}));

TEST(DelayMs, WaitsWithTheWaiterOfItsThread) {
    int asked = -1;
    int reported = 0;
    std::thread worker([&] {
        SetThreadWaiter([&](int ms) {
            asked = ms;
            return 7;
        });
        reported = DelayMs(600000);
        SetThreadWaiter({});
    });
    worker.join();
    EXPECT_EQ(asked, 600000);
    EXPECT_EQ(reported, 7);
}

TEST(DelayMs, WorksOnAThreadOfItsOwn) {
    int reported = 0;
    std::thread worker([&] { reported = DelayMs(50); });
    worker.join();
    EXPECT_GE(reported, 50);
}

TEST(AvailablePortNames, ListsLiveSimulatorLinksSortedOnce) {
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    EXPECT_EQ(SimulatedPortFolder(), runtime.filePath("kx7410-sim"));
    ASSERT_TRUE(QDir(runtime.path()).mkdir("kx7410-sim"));
    const QDir folder(SimulatedPortFolder());
    PtyPeer a, b;
    ASSERT_TRUE(QFile::link(b.path(), folder.filePath("ttyB")));
    ASSERT_TRUE(QFile::link(a.path(), folder.filePath("ttyA")));
    ASSERT_TRUE(QFile::link(runtime.filePath("gone"), folder.filePath("ttyDead")));
    QFile plain(folder.filePath("notes.txt"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();

    const QStringList names = AvailablePortNames();
    qputenv("XDG_RUNTIME_DIR", saved);

    EXPECT_TRUE(names.contains(folder.filePath("ttyA")));
    EXPECT_TRUE(names.contains(folder.filePath("ttyB")));
    EXPECT_FALSE(names.contains(folder.filePath("ttyDead")));
    EXPECT_FALSE(names.contains(folder.filePath("notes.txt")));
    QStringList sorted = names;
    sorted.sort();
    sorted.removeDuplicates();
    EXPECT_EQ(names, sorted);
}

// Fast polling: a read that ends with its reply's frame. The window is long (5 s) so that a read
// ending well before it shows the rule without depending on the machine's speed.
struct FastReadCase {
    const char* name;
    WireProtocol protocol;
    const char* request;
    const char* firstPiece;
    const char* secondPiece; // sent 150 ms after the first, "" for none
    int knownLength;
    const char* expected; // what the read delivers
    bool endsEarly;       // false: the frame stays short and the read lasts its whole window
};

const FastReadCase kFastReads[] = {
    {"modbus_whole", WireProtocol::Modbus, "01 03 00 00 00 01 84 0A", "01 03 02 00 11 79 88", "", 0,
     "01 03 02 00 11 79 88", true},
    {"modbus_in_two_pieces", WireProtocol::Modbus, "01 03 00 00 00 01 84 0A", "01 03 02",
     "00 11 79 88", 0, "01 03 02 00 11 79 88", true},
    {"modbus_exception", WireProtocol::Modbus, "01 03 00 00 00 01 84 0A", "01 83 02 C0 F1", "", 0,
     "01 83 02 C0 F1", true},
    {"modbus_tail_dropped", WireProtocol::Modbus, "01 03 00 00 00 01 84 0A",
     "01 03 02 00 11 79 88 EE EE", "", 0, "01 03 02 00 11 79 88", true},
    {"modbus_short", WireProtocol::Modbus, "01 03 00 00 00 02 C4 0B", "01 03 04 00 11", "", 0,
     "01 03 04 00 11", false},
    {"dlt645_fe_preamble", WireProtocol::Dlt645, "68 01 00 00 00 00 00 68 01 02 43 C3 DA 16",
     "FE FE 68 01 00 00 00 00 00 68 81 04", "43 C3 33 33 00 16", 0,
     "FE FE 68 01 00 00 00 00 00 68 81 04 43 C3 33 33 00 16", true},
    {"dlt645_garbage_before", WireProtocol::Dlt645, "68 01 00 00 00 00 00 68 01 02 43 C3 DA 16",
     "00 68 13 68 01 00 00 00 00 00 68 81 00 00 16", "", 0,
     "00 68 13 68 01 00 00 00 00 00 68 81 00 00 16", true},
    {"yaao_in_two_pieces", WireProtocol::Yaao, "55 01 01 01 01 AA", "55 01 03", "01 00 10 11 AA", 0,
     "55 01 03 01 00 10 11 AA", true},
    {"datang_known_length", WireProtocol::Datang, "7E 0A 01 30 02 00 FF C4", "7E 0A 01 30 02 00",
     "FF 10 00 B4", 10, "7E 0A 01 30 02 00 FF 10 00 B4", true},
};

class FastRead : public SerialLinkOnPty, public ::testing::WithParamInterface<FastReadCase> {};

TEST_P(FastRead, EndsWithTheFrameWithinTheWindow) {
    const FastReadCase& c = GetParam();
    peer_.SetResponder([this, &c](const Bytes& pending, Bytes& reply) {
        peer_.Send(Hex(c.firstPiece));
        if (*c.secondPiece) {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            reply = Hex(c.secondPiece);
        }
        return pending.size();
    });
    TransactParams params{1, 100, 512, 0, 5000, 0, c.protocol, c.knownLength, true};
    QElapsedTimer clock;
    clock.start();
    const auto reply = link_.Transact(Hex(c.request), params);
    const qint64 elapsed = clock.elapsed();
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(ToHex(*reply), c.expected);
    if (c.endsEarly)
        EXPECT_LT(elapsed, 4500);
    else
        EXPECT_GE(elapsed, 4900);
}

INSTANTIATE_TEST_SUITE_P(Table, FastRead, ::testing::ValuesIn(kFastReads),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SerialLinkOnPty, WithoutEndAtFrameAWholeReplyStillWaitsOutTheWindow) {
    peer_.SetResponder([](const Bytes& pending, Bytes& reply) {
        reply = Hex("01 03 02 00 11 79 88");
        return pending.size();
    });
    TransactParams params{1, 100, 512, 0, 600, 0, WireProtocol::Modbus};
    QElapsedTimer clock;
    clock.start();
    const auto reply = link_.Transact(Hex("01 03 00 00 00 01 84 0A"), params);
    EXPECT_GE(clock.elapsed(), 590);
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(ToHex(*reply), "01 03 02 00 11 79 88");
}

TEST(AvailablePortNames, DefaultFolderWithoutRuntimeDir) {
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(SimulatedPortFolder(), "/tmp/kx7410-sim");
    if (!saved.isNull()) qputenv("XDG_RUNTIME_DIR", saved);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
