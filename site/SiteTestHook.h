#pragma once
// TSiteTestHook: the few states of a site that tests must set up and that no client request
// reaches in a test's time: a point's failure count and a cycle's cached variable (the
// poller's records), the poller having taken a rebuilt polling set, a job code that runs
// nothing, the busy flag without a command, the alarm list that nothing fills yet, and the
// site's interface for reading a device back. Nothing in the driver uses it.

#include "site/SiteController.h"

#include "lonworks/LonInterface.h"

struct TSiteTestHook
{
    // The record of a point of the polling set (the address must be in it).
    static TPointData &Point(TSiteController &site, const QString &address)
    {
        return *site.FPoller.FPoints.Find(address);
    }
    // Adds a fetched variable to the current cycle's cache; its position in the cache.
    static qsizetype CacheValue(TSiteController &site, const QString &key, const TPointIndexData &entry)
    {
        return site.FPoller.FValueCache.Add(key, entry);
    }
    // As the poller's first step after a rebuild: the new set is taken, values may be stored.
    static void TakePointsChange(TSiteController &site) { site.FPoller.FPointsChanged = false; }
    static void SetPendingJob(TSiteController &site, int jobCode) { site.FSlot.SetPendingJob(jobCode); }
    static void SetBusy(TSiteController &site, bool busy) { site.FSlot.SetBusy(busy); }
    static void SetAlarms(TSiteController &site, const QStringList &alarms) { site.FAlarms = alarms; }
    static const QStringList &Alarms(const TSiteController &site) { return site.FAlarms; }
    static TniNetworkInterface &Interface(TSiteController &site) { return *site.FInterface; }
    // The poller's clock, and one pump of the budget mode as its timer gives it (the test
    // steps both on a clock of its own and stops the timer).
    static void SetPollClock(TSiteController &site, TPollClock clock) { site.FPoller.SetClock(std::move(clock)); }
    static void StopPollTimer(TSiteController &site) { site.FPollPump.stop(); }
    static void PumpPoller(TSiteController &site) { site.PumpPoller(); }
};
