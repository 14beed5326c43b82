#pragma once
// Waits of engine code. Callable from any thread; it sleeps, runs no event loop and never spins.

#include <functional>

// Sleeps ms milliseconds (a device session's job: or less, once the job is cancelled). Returns
// the milliseconds that actually passed.
int DelayMs(int ms);

// How DelayMs waits on the calling thread; a device session installs its jobs' own wait on its
// worker. An empty waiter restores the plain sleep.
using ThreadWaiter = std::function<int(int ms)>;
void SetThreadWaiter(ThreadWaiter waiter);
