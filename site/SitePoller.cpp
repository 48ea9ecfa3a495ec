// The background poller's steps, the rebuild of the polling set and the storing of point values.
#include "site/SitePoller.h"

#include "lonworks/LonInterface.h"
#include "site/CommandSlot.h"
#include "site/DriverLimits.h"
#include "site/PointEntry.h"
#include "site/PointNetwork.h"
#include "site/TypeSite.h"
#include "snvt/FieldDecoder.h"
#include "support/StrLib.h"

namespace {

constexpr int PauseAfterRebuildWhileBusy = 30;
constexpr int PauseAfterFailure = 3;
constexpr int PauseAfterCycle = 10;

// A point whose object name contains X1 shows whether its device answers (1) or not (0).
bool IsCommStatusPoint(const PointAddress &address)
{
    return address.HasObject && address.ObjectName.toUpper().contains(QLatin1String("X1"));
}

} // namespace

TSitePoller::TSitePoller(TCommandSlot &slot, TniNetworkInterface &ni, const TSite &site)
    : FSlot(slot)
    , FInterface(ni)
    , FSite(site)
{
}

void TSitePoller::ClearPollingSet()
{
    FPoints.Clear();
}

void TSitePoller::RebuildPollingSet(const QList<TSiteClientEntry> &clients)
{
    TPointList points;
    QString name;
    QString address;
    for (const TSiteClientEntry &attached : clients) {
        if (!attached.Client)
            continue;
        try {
            for (const QString &entry : attached.Client->PointEntries()) {
                SplitPointEntry(entry, name, address);
                if (address.isEmpty() || points.Contains(address))
                    continue;
                if (points.Count() >= DriverLimits::kMaxPointsPerSite)
                    throw TLimitExceeded("points polled per site", DriverLimits::kMaxPointsPerSite);
                // A point that stays keeps its value and its failure count.
                const TPointData *old = FPoints.Find(address);
                points.Add(address, old ? *old : TPointData());
            }
        } catch (const TLimitExceeded &) {
            throw;
        } catch (...) {
        }
    }
    ClearPollingSet();
    FPoints = std::move(points);
    FPointsChanged = true;
}

void TSitePoller::ClearFreshFlags()
{
    for (qsizetype i = 0; i < FPoints.Count(); ++i)
        FPoints.At(i).Fresh = false;
}

void TSitePoller::ClearValueCache()
{
    FValueCache.Clear();
}

void TSitePoller::StorePointValue(const QString &address, const QString &value)
{
    if (FPointsChanged)
        return;
    TPointData *point = FPoints.Find(address);
    if (!point)
        return;
    QString text = value;
    if (text.toUpper().startsWith(QLatin1String("ON")))
        text = QStringLiteral("TRUE");
    if (text.toUpper().startsWith(QLatin1String("OFF")))
        text = QStringLiteral("FALSE");
    point->Value = text;
    point->HasValue = true;
    point->Fresh = true;
    point->FailCount = 0;
}

void TSitePoller::DecodeCachedPoint(const QString &address, qsizetype cacheIndex)
{
    if (!FValueCache.IsIndex(cacheIndex))
        return;
    const TPointIndexData &entry = FValueCache.At(cacheIndex);
    PointAddress parsed;
    QString value;
    if (ParsePointAddress(address, parsed)) {
        value = DecodeField(QByteArrayView(entry.ValueBytes.data(), entry.ValueBytes.size()), entry.ValueLength,
                            parsed.VariableOffset, parsed.VariableType, parsed.Parameter, FSite.TempsInF);
        // Scaling applies to a value; a field that could not be decoded stays empty
        // instead of reading as 0.
        if (parsed.Scale != 0.0 && !value.isEmpty())
            value = FormatFixed(ScaleNumber(value) / parsed.Scale, 4);
    }
    StorePointValue(address, value);
}

void TSitePoller::PollPoints()
{
    if (FPointsChanged) {
        FPointsChanged = false;
        FPollDelay = FSlot.IsBusy() ? PauseAfterRebuildWhileBusy : 0;
        FPollState = StatePause;
        ClearFreshFlags();
        ClearValueCache();
        FPollIndex = -1;
    }
    switch (FPollState) {
    case StateIdle:
        FSlot.SetBusy(false);
        if (!FPoints.IsEmpty())
            FPollState = StateLook;
        break;
    case StateLook:
        PollLookForWork();
        break;
    case StateFetch:
        PollFetch();
        break;
    case StateCycleDone:
        FSlot.SetBusy(false);
        ClearFreshFlags();
        ClearValueCache();
        FPollDelay = PauseAfterCycle;
        FPollState = StatePause;
        break;
    case StatePause:
        FSlot.SetBusy(false);
        if (FPollDelay < 1)
            FPollState = StateIdle;
        else
            --FPollDelay;
        break;
    default:
        FPollState = StateIdle;
        break;
    }
}

void TSitePoller::PollLookForWork()
{
    FPollState = StateCycleDone;
    const qsizetype count = FPoints.Count();
    for (qsizetype step = 0; step < count; ++step) {
        FPollIndex = (FPollIndex + 1 >= count || FPollIndex < 0) ? 0 : FPollIndex + 1;
        TPointData &point = FPoints.At(FPollIndex);
        if (point.FailCount >= PointFailLimit || point.Fresh)
            continue;
        const QString &address = FPoints.Key(FPollIndex);
        FPollKey = PointValueKey(address);
        const qsizetype cached = FValueCache.IndexOf(FPollKey);
        if (cached < 0) {
            FPollState = StateFetch;
            return;
        }
        // Fetched earlier in this cycle for another point of the same variable.
        PointAddress parsed;
        TakeFetchedValue(point, address, cached, ParsePointAddress(address, parsed) && IsCommStatusPoint(parsed));
    }
}

void TSitePoller::TakeFetchedValue(TPointData &point, const QString &address, qsizetype cacheIndex,
                                   bool commStatus)
{
    // A communication status point reads 1 while its device answers.
    point.FailCount = 0;
    if (commStatus)
        StorePointValue(address, QStringLiteral("1"));
    else
        DecodeCachedPoint(address, cacheIndex);
    FSlot.SetBusy(false);
    FPollState = StateLook;
    FPollDelay = 0;
}

void TSitePoller::PollFetch()
{
    FSlot.SetBusy(true);
    if (!FPoints.IsIndex(FPollIndex)) {
        FPollState = StateIdle;
        return;
    }
    // Copies: the polling set may be rebuilt while the fetch waits for the device.
    const QString address = FPoints.Key(FPollIndex);
    const QString key = FPollKey;
    PointAddress parsed;
    if (!ParsePointAddress(address, parsed)) {
        FPoints.At(FPollIndex).FailCount = PointFailLimit;
        FPollDelay = PauseAfterFailure;
        FPollState = StatePause;
        return;
    }
    TPointIndexData entry;
    const qint16 status = FetchPointVariable(FInterface, parsed, parsed.VariableIndex, entry.ValueBytes,
                                             entry.ValueLength);
    // A points list received during the wait replaced the set: FPollIndex may now name
    // another point or none, so the answer is dropped and the next tick starts over.
    if (FPointsChanged)
        return;
    TPointData &point = FPoints.At(FPollIndex);
    const bool commStatus = IsCommStatusPoint(parsed);
    if (status == 0) {
        TakeFetchedValue(point, address, FValueCache.Add(key, entry), commStatus);
        return;
    }
    if (commStatus) {
        point.FailCount = 0;
        StorePointValue(address, QStringLiteral("0"));
    } else {
        point.FailCount += 1;
    }
    FPollDelay = PauseAfterFailure;
    FPollState = StatePause;
}
