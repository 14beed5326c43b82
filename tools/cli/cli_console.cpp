#include "cli_console.h"

#include "cli_station.h"

#include <QSocketNotifier>
#include <csignal>
#include <cstdio>

#ifndef _WIN32
#include <sys/socket.h>
#include <unistd.h>
#else
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#endif

Progress::Progress() : terminal_(isatty(fileno(stderr)) != 0) {}

void Progress::Unit(int index, int count, int address) {
    Done();
    unit_ = QStringLiteral("unit %1/%2 (address %3)").arg(index).arg(count).arg(address);
    if (terminal_) {
        Err() << '\r' << unit_ << ' ';
        open_ = true;
    } else {
        Err() << unit_ << '\n';
    }
    Err().flush();
}

void Progress::Cycle(int good, int needed) {
    if (terminal_) {
        const int width = 20;
        const int filled = needed > 0 ? std::min(width, good * width / needed) : width;
        Err() << '\r' << unit_ << " [" << QString(filled, QLatin1Char('#'))
              << QString(width - filled, QLatin1Char('.')) << "] " << good << '/' << needed
              << "   ";
        open_ = true;
    } else {
        Err() << unit_ << ": " << good << '/' << needed << " good cycles\n";
    }
    Err().flush();
}

void Progress::Percent(int value, const QString& what) {
    if (terminal_) {
        Err() << '\r' << what << ' ' << value << "%   ";
        open_ = true;
    } else {
        Err() << what << ' ' << value << "%\n";
    }
    Err().flush();
}

void Progress::Done() {
    if (open_) Err() << '\n';
    open_ = false;
    Err().flush();
}

#ifndef _WIN32
namespace {
int gSignalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(gSignalPipe[1], &byte, 1);
}
} // namespace

InterruptNotifier::InterruptNotifier(std::function<void()> onInterrupt)
    : onInterrupt_(std::move(onInterrupt)) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, gSignalPipe) != 0) return;
    notifier_ = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_, &QSocketNotifier::activated, [this] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(gSignalPipe[0], &byte, 1);
        if (fired_) return;
        fired_ = true;
        Err() << "\nstopping at the next transaction boundary\n";
        Err().flush();
        onInterrupt_();
    });
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
}

InterruptNotifier::~InterruptNotifier() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    delete notifier_;
    if (gSignalPipe[0] >= 0) {
        ::close(gSignalPipe[0]);
        ::close(gSignalPipe[1]);
        gSignalPipe[0] = gSignalPipe[1] = -1;
    }
}
#else
// Windows: Ctrl-C ends the program as the system does; a console handler can come with the port.
InterruptNotifier::InterruptNotifier(std::function<void()> onInterrupt)
    : onInterrupt_(std::move(onInterrupt)) {}
InterruptNotifier::~InterruptNotifier() = default;
#endif
