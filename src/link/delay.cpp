#include "link/delay.h"

#include <chrono>
#include <thread>

namespace {
thread_local ThreadWaiter threadWaiter;
} // namespace

void SetThreadWaiter(ThreadWaiter waiter) {
    threadWaiter = std::move(waiter);
}

int DelayMs(int ms) {
    if (ms < 0) ms = 0;
    if (threadWaiter) return threadWaiter(ms);
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - start)
                                .count());
}
