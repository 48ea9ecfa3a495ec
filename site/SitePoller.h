#pragma once
// TSitePoller: a site's background poller. It keeps the polling set (the union of the
// clients' points lists, with each point's last value) and the value cache of the current
// poll cycle, and takes one step per tick: each network variable is fetched once per cycle
// and decoded for every point that shares it, one fetch per tick at most.

#include "site/PointData.h"
#include "site/PollSettings.h"
#include "site/SiteClient.h"

#include <QList>
#include <QString>

#include <deque>
#include <memory>

class TBudgetPoller;
class TCommandSlot;
class TSite;
class TniNetworkInterface;
struct PointAddress;

// A point whose object name contains X1 shows whether its device answers (1) or not (0).
bool IsCommStatusPoint(const PointAddress &address);

// What the poller shows of itself: its mode, the fetches started per second over the last
// 10 s, the last complete cycle (every polled variable fetched once).
struct TPollFigures
{
    QString Mode;           // TPollSettings::Describe()
    double FetchRate = 0;   // fetches per second
    double CycleSeconds = 0;    // 0 before the first cycle ended
    int InFlight = 0;
    int Stopped = 0;        // points no longer polled (three failures)
    qint64 Cycles = 0;      // cycles completed since the site opened
};

class TSitePoller
{
public:
    // The poller's states.
    static constexpr int StateIdle = 0;
    static constexpr int StateLook = 1;         // walking the set for the next point to do
    static constexpr int StateFetch = 2;        // fetching one variable
    static constexpr int StateCycleDone = 900;
    static constexpr int StatePause = 901;

    // slot: whose busy flag the poller raises while it waits on the network; ni and site:
    // the site's interface and record (temperatures in Fahrenheit).
    TSitePoller(TCommandSlot &slot, TniNetworkInterface &ni, const TSite &site);
    ~TSitePoller();

    TSitePoller(const TSitePoller &) = delete;
    TSitePoller &operator=(const TSitePoller &) = delete;

    // One step of the poller; the site is online.
    void PollPoints();
    // The tick ran a job or the site is locked: the poller starts over (the budget mode
    // starts nothing new; its fetches in flight end as they come).
    void ResetState() { FPollState = StateIdle; }
    // The site polls to a budget (POLLBUDGET or POLLSHARE).
    bool BudgetMode() const;
    // Between ticks, in the budget mode: answers are taken, and fetches started when mayStart.
    void PumpBudget(bool mayStart);
    // The clock of the budget's pace, of the cycle's length and of stopped points' retries.
    void SetClock(TPollClock clock) { FClock = std::move(clock); }
    TPollFigures Figures();
    // Cycles completed since the site opened.
    qint64 CyclesEnded() const { return FCycles; }

    // The polling set made anew from every client's points list (first listing wins the
    // order, duplicates once); a point that stays keeps its value and failure count.
    // Throws TLimitExceeded past the points a site polls, leaving the set as it was.
    void RebuildPollingSet(const QList<TSiteClientEntry> &clients);

    // Records a value for a point of the polling set (ON... stored as TRUE, OFF... as
    // FALSE); nothing while the set has just been rebuilt or when the address is not in it.
    void StorePointValue(const QString &address, const QString &value);
    // Decodes the point from the cache entry at cacheIndex and stores its value.
    void DecodeCachedPoint(const QString &address, qsizetype cacheIndex);
    // Decodes the point from a variable's bytes and stores its value.
    void DecodeValue(const QString &address, const TPointIndexData &entry);
    void ClearFreshFlags();
    void ClearValueCache();

    // FPoints: point address -> the point's last value, in the order the clients listed them.
    const TPointList &Points() const { return FPoints; }
    // FValueCache: value key -> the variable's bytes fetched in this cycle.
    const TValueCache &ValueCache() const { return FValueCache; }
    // The polling set was rebuilt since the poller last looked at it.
    bool PointsChanged() const { return FPointsChanged; }
    int PollState() const { return FPollState; }
    int PollDelay() const { return FPollDelay; }
    const QString &PollKey() const { return FPollKey; }

private:
    friend struct TSiteTestHook;
    friend class TBudgetPoller;

    TBudgetPoller &Budget();
    // A fetch started, for the rate; a cycle ended after cycleUs.
    void NoteFetch(qint64 nowUs);
    void NoteCycle(qint64 cycleUs)
    {
        FLastCycleUs = cycleUs;
        ++FCycles;
    }
    // A stopped point whose retry is due (POLLRETRY) is polled again.
    bool IsSkipped(const TPointData &point) const;

    void ClearPollingSet();
    void PollLookForWork();
    void PollFetch();
    // A point's variable is in the cycle's cache at cacheIndex: the point's value is
    // stored and the poller looks for the next point.
    void TakeFetchedValue(TPointData &point, const QString &address, qsizetype cacheIndex, bool commStatus);

    TCommandSlot &FSlot;
    TniNetworkInterface &FInterface;
    const TSite &FSite;
    TPointList FPoints;
    TValueCache FValueCache;
    bool FPointsChanged = false;
    int FPollState = StateIdle;
    int FPollIndex = -1;   // position in FPoints of the point last looked at
    int FPollDelay = 0;    // ticks still to wait in state 901
    QString FPollKey;      // value key of the variable being fetched
    TPollClock FClock = MonotonicMicroseconds;
    std::unique_ptr<TBudgetPoller> FBudget;
    std::deque<qint64> FFetchTimes;     // fetches started in the last 10 s
    qint64 FCycleStartUs = -1;
    qint64 FLastCycleUs = 0;
    qint64 FCycles = 0;
};
