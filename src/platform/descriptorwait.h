#pragma once

#include <chrono>

// Waits for events (poll's POLLIN, POLLOUT) on a descriptor until the
// deadline, going on after a signal interrupts it; false when the deadline
// passed first or the descriptor cannot be waited on.
bool waitForDescriptor(int fd, short events, std::chrono::steady_clock::time_point deadline);
