#pragma once
// TPollPacer: spaces the budget mode's fetches to a rate (fetches, or nanoseconds of channel
// time, per second). A fetch may start when the pacer's schedule has reached it (within the
// pump's granularity) and when the fetches started in the last second, with it, stay within
// the rate: never a burst above the budget over any second.

#include <QtGlobal>

#include <deque>
#include <utility>

class TPollPacer
{
public:
    // rate: cost units per second; toleranceUs: how early a fetch may start against its
    // schedule (the interval of the pump that starts fetches).
    TPollPacer(double rate, qint64 toleranceUs);

    bool MayStart(qint64 nowUs, double cost);
    void Started(qint64 nowUs, double cost);
    // The cost started in the second that ends at nowUs.
    double LastSecond(qint64 nowUs);

private:
    void Forget(qint64 nowUs);

    double FRate;
    qint64 FToleranceUs;
    double FScheduleUs = -1e18;     // when the next fetch is due by the rate
    std::deque<std::pair<qint64, double>> FWindow;
    double FWindowCost = 0;
};
