#pragma once
// The console side of long operations: progress on standard error (a bar redrawn in place on a
// terminal, plain lines otherwise, so that a log file stays readable), and Ctrl-C turned into a
// call on the event loop's thread, so that an operation stops at its next transaction boundary
// and still reports what finished.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

class QSocketNotifier;

class Progress {
public:
    Progress();
    // Unit index of count (from 1) at address has started.
    void Unit(int index, int count, int address);
    // A cycle ended with good consecutive answered cycles of needed.
    void Cycle(int good, int needed);
    // A step of a long operation, in percent.
    void Percent(int value, const QString& what);
    // The current line is complete (the unit has ended).
    void Done();

private:
    bool terminal_;
    bool open_ = false; // a bar is drawn on the current line
    QString unit_;
};

// Waits for the operator's Enter on standard input without blocking the event loop (so that
// Ctrl-C still stops the run), then calls onLine; at the end of input it calls it at once.
class LineWaiter {
public:
    LineWaiter();
    ~LineWaiter();
    LineWaiter(const LineWaiter&) = delete;
    LineWaiter& operator=(const LineWaiter&) = delete;
    void Wait(std::function<void()> onLine);

private:
    QSocketNotifier* notifier_ = nullptr;
    std::function<void()> onLine_;
    QByteArray pending_;
    bool ended_ = false;
};

// While it lives, SIGINT (and SIGTERM) run onInterrupt on the thread that created it, once.
class InterruptNotifier {
public:
    explicit InterruptNotifier(std::function<void()> onInterrupt);
    ~InterruptNotifier();
    InterruptNotifier(const InterruptNotifier&) = delete;
    InterruptNotifier& operator=(const InterruptNotifier&) = delete;

private:
    std::function<void()> onInterrupt_;
    QSocketNotifier* notifier_ = nullptr;
    bool fired_ = false;
};
