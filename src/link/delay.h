#pragma once
// Waits while the calling thread's event loop keeps running (the window keeps painting).
// Callable from any thread that may run a local event loop.

// Returns the milliseconds that actually passed, always more than ms (so at least 1 for 0).
int DelayMs(int ms);
