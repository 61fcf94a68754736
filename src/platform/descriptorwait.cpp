#include "descriptorwait.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>

bool waitForDescriptor(int fd, short events, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, int(std::max<long long>(0, left)));
        if (n > 0)
            return true;
        if (n == 0 || errno != EINTR)
            return false;
    }
}
