// The background poller's steps, the rebuild of the polling set and the storing of point values.
#include "site/SitePoller.h"

#include "lonworks/LonInterface.h"
#include "site/BudgetPoller.h"
#include "site/CommandSlot.h"
#include "site/DriverLimits.h"
#include "site/PointEntry.h"
#include "site/PointNetwork.h"
#include "site/TypeSite.h"
#include "snvt/FieldDecoder.h"
#include "support/StrLib.h"

#include <limits>

namespace {

constexpr int PauseAfterRebuildWhileBusy = 30;
constexpr int PauseAfterFailure = 3;
constexpr int PauseAfterCycle = 10;
// The fetch rate is counted over this window.
constexpr qint64 RateWindowUs = 10'000'000;

} // namespace

bool IsCommStatusPoint(const PointAddress &address)
{
    return address.HasObject && address.ObjectName.toUpper().contains(QLatin1String("X1"));
}

TSitePoller::TSitePoller(TCommandSlot &slot, TniNetworkInterface &ni, const TSite &site)
    : FSlot(slot)
    , FInterface(ni)
    , FSite(site)
{
}

TSitePoller::~TSitePoller() = default;

bool TSitePoller::BudgetMode() const
{
    return FSite.PollSettings.BudgetMode();
}

TBudgetPoller &TSitePoller::Budget()
{
    if (!FBudget)
        FBudget = std::make_unique<TBudgetPoller>(*this, FInterface, FSite.PollSettings);
    return *FBudget;
}

void TSitePoller::PumpBudget(bool mayStart)
{
    TBudgetPoller &budget = Budget();
    const qint64 now = FClock();
    if (FPointsChanged) {
        FPointsChanged = false;
        ClearFreshFlags();
        ClearValueCache();
        budget.Rebuild(now);
    }
    budget.Step(now, mayStart);
}

void TSitePoller::NoteFetch(qint64 nowUs)
{
    FFetchTimes.push_back(nowUs);
    while (!FFetchTimes.empty() && FFetchTimes.front() <= nowUs - RateWindowUs)
        FFetchTimes.pop_front();
}

TPollFigures TSitePoller::Figures()
{
    const qint64 now = FClock();
    while (!FFetchTimes.empty() && FFetchTimes.front() <= now - RateWindowUs)
        FFetchTimes.pop_front();
    TPollFigures figures;
    figures.Mode = FSite.PollSettings.Describe();
    figures.FetchRate = double(FFetchTimes.size()) * 1e6 / RateWindowUs;
    figures.CycleSeconds = double(FLastCycleUs) / 1e6;
    figures.Cycles = FCycles;
    figures.InFlight = FBudget ? FBudget->InFlight() : 0;
    for (qsizetype i = 0; i < FPoints.Count(); ++i)
        figures.Stopped += FPoints.At(i).FailCount >= PointFailLimit ? 1 : 0;
    return figures;
}

bool TSitePoller::IsSkipped(const TPointData &point) const
{
    if (point.Fresh)
        return true;
    if (point.FailCount < PointFailLimit)
        return false;
    return FSite.PollSettings.RetrySeconds <= 0 || point.RetryAtUs > FClock();
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
                if (address.isEmpty())
                    continue;
                if (!points.Contains(address) && points.Count() >= DriverLimits::kMaxPointsPerSite)
                    throw TLimitExceeded("points polled per site", DriverLimits::kMaxPointsPerSite);
                // A point that stays keeps its value and its failure count; its class is
                // the fastest any list gives it.
                const TPollClass pollClass = PollClassOfEntry(entry);
                if (TPointData *listed = points.Find(address)) {
                    listed->PollClass = std::min(listed->PollClass, pollClass);
                    continue;
                }
                const TPointData *old = FPoints.Find(address);
                TPointData data = old ? *old : TPointData();
                data.PollClass = pollClass;
                points.Add(address, data);
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
    DecodeValue(address, FValueCache.At(cacheIndex));
}

void TSitePoller::DecodeValue(const QString &address, const TPointIndexData &entry)
{
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
    if (BudgetMode()) {
        PumpBudget(true);
        return;
    }
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
    case StateCycleDone: {
        const qint64 now = FClock();
        if (FCycleStartUs >= 0)
            NoteCycle(now - FCycleStartUs);
        FCycleStartUs = now;
        FSlot.SetBusy(false);
        ClearFreshFlags();
        ClearValueCache();
        FPollDelay = PauseAfterCycle;
        FPollState = StatePause;
        break;
    }
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
        if (IsSkipped(point))
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
        FPoints.At(FPollIndex).RetryAtUs = std::numeric_limits<qint64>::max();   // never fetched
        FPollDelay = PauseAfterFailure;
        FPollState = StatePause;
        return;
    }
    TPointIndexData entry;
    NoteFetch(FClock());
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
    } else if (++point.FailCount >= PointFailLimit) {
        point.RetryAtUs = FClock() + qint64(FSite.PollSettings.RetrySeconds) * 1'000'000;
    }
    FPollDelay = PauseAfterFailure;
    FPollState = StatePause;
}
