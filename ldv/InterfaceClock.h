#pragma once
// The time source of the library's own network interfaces: milliseconds on the system's
// monotonic clock, one time base for every handle in the process (handles of one
// interface share its transaction IDs). A test hands an interface a fake clock to step
// through its timers.

#include <QDeadlineTimer>

#include <cstdint>
#include <functional>

namespace ldv {

using InterfaceClock = std::function<int64_t()>;

inline int64_t monotonicMs()
{
    return QDeadlineTimer::current(Qt::PreciseTimer).deadline();
}

} // namespace ldv
