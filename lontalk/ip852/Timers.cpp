#include "lontalk/ip852/Timers.h"

namespace ip852 {

namespace {
int series(int base, int code)
{
    if (code < 0)
        code = 0;
    if (code > 31)
        code = 31;
    const int value = base << (code / 2);
    return code % 2 ? value + value / 2 : value;
}
} // namespace

int transmitTimerMs(int code)
{
    return series(16, code);
}

int receiveTimerMs(int code)
{
    return series(128, code & 0x0F);
}

} // namespace ip852
