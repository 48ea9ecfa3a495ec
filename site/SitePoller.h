#pragma once
// TSitePoller: a site's background poller. It keeps the polling set (the union of the
// clients' points lists, with each point's last value) and the value cache of the current
// poll cycle, and takes one step per tick: each network variable is fetched once per cycle
// and decoded for every point that shares it, one fetch per tick at most.

#include "site/PointData.h"
#include "site/SiteClient.h"

#include <QList>
#include <QString>

class TCommandSlot;
class TSite;
class TniNetworkInterface;

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

    TSitePoller(const TSitePoller &) = delete;
    TSitePoller &operator=(const TSitePoller &) = delete;

    // One step of the poller; the site is online.
    void PollPoints();
    // The tick ran a job or the site is locked: the poller starts over.
    void ResetState() { FPollState = StateIdle; }

    // The polling set made anew from every client's points list (first listing wins the
    // order, duplicates once); a point that stays keeps its value and failure count.
    // Throws TLimitExceeded past the points a site polls, leaving the set as it was.
    void RebuildPollingSet(const QList<TSiteClientEntry> &clients);

    // Records a value for a point of the polling set (ON... stored as TRUE, OFF... as
    // FALSE); nothing while the set has just been rebuilt or when the address is not in it.
    void StorePointValue(const QString &address, const QString &value);
    // Decodes the point from the cache entry at cacheIndex and stores its value.
    void DecodeCachedPoint(const QString &address, qsizetype cacheIndex);
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
};
