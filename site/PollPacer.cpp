#include "site/PollPacer.h"

#include <algorithm>

namespace {
constexpr qint64 SecondUs = 1'000'000;
} // namespace

TPollPacer::TPollPacer(double rate, qint64 toleranceUs)
    : FRate(rate)
    , FToleranceUs(toleranceUs)
{
}

void TPollPacer::Forget(qint64 nowUs)
{
    while (!FWindow.empty() && FWindow.front().first <= nowUs - SecondUs) {
        FWindowCost -= FWindow.front().second;
        FWindow.pop_front();
    }
    if (FWindow.empty())
        FWindowCost = 0;
}

bool TPollPacer::MayStart(qint64 nowUs, double cost)
{
    Forget(nowUs);
    // A fetch dearer than a whole second's rate goes alone, and the schedule then waits for it.
    return FRate > 0 && FScheduleUs <= double(nowUs + FToleranceUs)
           && (FWindow.empty() || FWindowCost + cost <= FRate * (1 + 1e-9));
}

void TPollPacer::Started(qint64 nowUs, double cost)
{
    FScheduleUs = std::max(FScheduleUs, double(nowUs)) + cost / FRate * SecondUs;
    FWindow.emplace_back(nowUs, cost);
    FWindowCost += cost;
}

double TPollPacer::LastSecond(qint64 nowUs)
{
    Forget(nowUs);
    return FWindowCost;
}
