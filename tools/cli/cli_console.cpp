#include "cli_console.h"

#include "cli_station.h"

#include <QSocketNotifier>
#include <QTextStream>
#include <csignal>
#include <cstdio>
#include <utility>

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
LineWaiter::LineWaiter() {
    notifier_ = new QSocketNotifier(0, QSocketNotifier::Read);
    notifier_->setEnabled(false);
    QObject::connect(notifier_, &QSocketNotifier::activated, [this] {
        char buffer[256];
        const ssize_t n = ::read(0, buffer, sizeof buffer);
        if (n <= 0) {
            ended_ = true;
            notifier_->setEnabled(false);
        } else {
            pending_.append(buffer, n);
        }
        if (!onLine_ || (!ended_ && !pending_.contains('\n'))) return;
        pending_.remove(0, pending_.indexOf('\n') + 1);
        notifier_->setEnabled(false);
        std::exchange(onLine_, nullptr)();
    });
}

LineWaiter::~LineWaiter() {
    delete notifier_;
}

void LineWaiter::Wait(std::function<void()> onLine) {
    if (ended_ || pending_.contains('\n')) {
        if (!ended_) pending_.remove(0, pending_.indexOf('\n') + 1);
        onLine();
        return;
    }
    onLine_ = std::move(onLine);
    notifier_->setEnabled(true);
}

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
LineWaiter::LineWaiter() = default;
LineWaiter::~LineWaiter() = default;
void LineWaiter::Wait(std::function<void()> onLine) {
    QTextStream in(stdin);
    in.readLine();
    onLine();
}

// Windows: Ctrl-C ends the program as the system does; a console handler can come with the port.
InterruptNotifier::InterruptNotifier(std::function<void()> onInterrupt)
    : onInterrupt_(std::move(onInterrupt)) {}
InterruptNotifier::~InterruptNotifier() = default;
#endif
