// The budget mode of the poller: fetches in flight, their pace, their order, their outcomes.
#include "site/BudgetPoller.h"

#include "lonworks/LDV32.h"
#include "lonworks/LonInterface.h"
#include "lonworks/LonLib.h"
#include "site/PointNetwork.h"
#include "site/SitePoller.h"

#include <limits>

namespace {

// Variables looked at per pick past those whose device is busy.
constexpr int MaxPickScan = 256;

bool IsStopped(const TPointData &point)
{
    return point.FailCount >= PointFailLimit;
}

qint64 IntervalOf(TPollClass pollClass)
{
    switch (pollClass) {
    case TPollClass::Fast:
        return FastIntervalUs;
    case TPollClass::Slow:
        return SlowIntervalUs;
    case TPollClass::Normal:
        break;
    }
    return NormalLongestUs;
}

} // namespace

TBudgetPoller::TBudgetPoller(TSitePoller &poller, TniNetworkInterface &ni, const TPollSettings &settings)
    : FPoller(poller)
    , FInterface(ni)
    , FSettings(settings)
    , FPacer(settings.Share > 0 ? settings.Share / 100.0 * 1e9 : settings.Budget, PumpIntervalUs)
{
}

double TBudgetPoller::CostOf(const TVariable &variable) const
{
    if (FSettings.Share <= 0)
        return 1.0;
    const int domainLength = FInterface.Domain(variable.Address.Domain).IdLength;
    return double(lontalk::channel::fetchTimeNs(FSettings.Channel, domainLength, quint16(variable.Address.VariableIndex),
                                                variable.ValueLength));
}

void TBudgetPoller::Rebuild(qint64 nowUs)
{
    // Timings of the variables that stay are kept: a new list does not fetch them all again at once.
    QHash<QString, TVariable> before;
    for (TVariable &variable : FVariables)
        before.insert(variable.Key, std::move(variable));
    FVariables.clear();
    FIndexOfKey.clear();
    FDue.clear();
    FNormal.clear();
    const TPointList &points = FPoller.FPoints;
    for (qsizetype i = 0; i < points.Count(); ++i) {
        const QString &address = points.Key(i);
        const QString key = PointValueKey(address);
        auto found = FIndexOfKey.constFind(key);
        if (found == FIndexOfKey.constEnd()) {
            TVariable variable = before.take(key);
            variable.Key = key;
            variable.Points.clear();
            variable.Class = TPollClass::Slow;
            if (!ParsePointAddress(address, variable.Address)) {
                // Never fetched, as in the tick mode.
                FPoller.FPoints.At(i).FailCount = PointFailLimit;
                FPoller.FPoints.At(i).RetryAtUs = std::numeric_limits<qint64>::max();
                continue;
            }
            variable.Device = key.section(u':', 0, 2);
            found = FIndexOfKey.insert(key, int(FVariables.size()));
            FVariables.append(variable);
        }
        TVariable &variable = FVariables[*found];
        variable.Points.append(address);
        variable.Class = std::min(variable.Class, points.At(i).PollClass);
    }
    for (const QString &key : std::as_const(FKeyOfTag))
        if (const auto found = FIndexOfKey.constFind(key); found != FIndexOfKey.constEnd())
            FVariables[*found].InFlight = true;
    for (int index = 0; index < FVariables.size(); ++index)
        Schedule(index, nowUs);
    StartRound(nowUs);
}

void TBudgetPoller::Schedule(int index, qint64 nowUs)
{
    TVariable &variable = FVariables[index];
    Unschedule(index);
    if (variable.InFlight)
        return;
    bool active = false;
    qint64 retryAt = std::numeric_limits<qint64>::max();
    for (const QString &address : std::as_const(variable.Points)) {
        const TPointData *point = FPoller.FPoints.Find(address);
        if (!point)
            continue;
        PointAddress parsed;
        if (!IsStopped(*point) || (ParsePointAddress(address, parsed) && IsCommStatusPoint(parsed)))
            active = true;
        else
            retryAt = std::min(retryAt, point->RetryAtUs);
    }
    if (active) {
        variable.DueUs = variable.LastStartUs < 0 ? nowUs : variable.LastStartUs + IntervalOf(variable.Class);
        FDue.emplace(variable.DueUs, index);
        if (variable.Class == TPollClass::Normal)
            FNormal.emplace(variable.DueUs, index);
    } else if (FSettings.RetrySeconds > 0 && retryAt != std::numeric_limits<qint64>::max()) {
        variable.DueUs = retryAt;
        FDue.emplace(variable.DueUs, index);
    }
}

void TBudgetPoller::Unschedule(int index)
{
    const qint64 due = FVariables[index].DueUs;
    FDue.erase({due, index});
    FNormal.erase({due, index});
}

void TBudgetPoller::Step(qint64 nowUs, bool mayStart)
{
    Collect(nowUs);
    if (mayStart)
        StartMore(nowUs);
}

void TBudgetPoller::Collect(qint64 nowUs)
{
    PumpPendingFetches(FInterface);
    for (const TniFetchResult &result : FInterface.Pending().TakeFinished(nowUs)) {
        const QString key = FKeyOfTag.take(result.Tag);
        FBusyDevices.remove(FDeviceOfTag.take(result.Tag));
        const auto found = FIndexOfKey.constFind(key);
        if (found != FIndexOfKey.constEnd())
            Finish(*found, result.Status, result.Value, nowUs);
    }
    // Fetches the interface no longer holds (it was closed and opened again) end unheard:
    // their variables and devices are free again.
    for (auto it = FKeyOfTag.begin(); it != FKeyOfTag.end();) {
        if (FInterface.Pending().IsTagInUse(it.key())) {
            ++it;
            continue;
        }
        FBusyDevices.remove(FDeviceOfTag.take(it.key()));
        const auto found = FIndexOfKey.constFind(it.value());
        it = FKeyOfTag.erase(it);
        if (found != FIndexOfKey.constEnd()) {
            FVariables[*found].InFlight = false;
            Schedule(*found, nowUs);
        }
    }
}

int TBudgetPoller::Pick(qint64 nowUs) const
{
    int scanned = 0;
    for (auto it = FDue.begin(); it != FDue.end() && it->first <= nowUs && scanned < MaxPickScan; ++it, ++scanned) {
        if (!FBusyDevices.contains(FVariables[it->second].Device))
            return it->second;
    }
    // Nothing overdue: the normal variable fetched longest ago uses the rest of the budget.
    scanned = 0;
    for (auto it = FNormal.begin(); it != FNormal.end() && scanned < MaxPickScan; ++it, ++scanned) {
        if (!FBusyDevices.contains(FVariables[it->second].Device))
            return it->second;
    }
    return -1;
}

void TBudgetPoller::StartMore(qint64 nowUs)
{
    while (FKeyOfTag.size() < TniPendingFetches::MaxInFlight) {
        const int index = Pick(nowUs);
        if (index < 0 || !FPacer.MayStart(nowUs, CostOf(FVariables[index])))
            return;
        if (!Start(index, nowUs))
            return;
    }
}

bool TBudgetPoller::Start(int index, qint64 nowUs)
{
    TVariable &variable = FVariables[index];
    const PointAddress &a = variable.Address;
    qint16 written = LonStatus::BadDomainIndex;
    quint8 tag = 0;
    if (CanSendTo(a, a.VariableIndex)) {
        written = StartFetch(FInterface, quint8(a.Domain), quint8(a.Subnet), quint8(a.Node), quint16(a.VariableIndex),
                             nowUs + qint64(LonLib::PendingFetchLimitMs) * 1000, tag);
        // The interface cannot take a frame now (its buffers are full, or it is setting
        // itself up again after a reset): nothing was sent, the variable stays first in
        // line for a later pump and costs nothing of the budget.
        if (written == LDV32::NoBufferAvailable)
            return false;
    }
    Unschedule(index);
    FPacer.Started(nowUs, CostOf(variable));
    FPoller.NoteFetch(nowUs);
    variable.LastStartUs = nowUs;
    if (written != 0) {
        Finish(index, written, QByteArray(), nowUs);
        return true;
    }
    variable.InFlight = true;
    FKeyOfTag.insert(tag, variable.Key);
    FDeviceOfTag.insert(tag, variable.Device);
    FBusyDevices.insert(variable.Device);
    return true;
}

void TBudgetPoller::Finish(int index, qint16 status, const QByteArray &value, qint64 nowUs)
{
    TVariable &variable = FVariables[index];
    variable.InFlight = false;
    const bool retrying = FSettings.RetrySeconds > 0;
    const qint64 retryAt = nowUs + qint64(FSettings.RetrySeconds) * 1'000'000;
    TPointIndexData entry;
    if (status == LonStatus::Ok) {
        entry.ValueLength = quint8(std::min<qsizetype>(value.size(), TPointIndexData::Capacity));
        std::copy_n(value.constData(), entry.ValueLength, entry.ValueBytes.begin());
        variable.ValueLength = entry.ValueLength;
    }
    for (const QString &address : std::as_const(variable.Points)) {
        TPointData *point = FPoller.FPoints.Find(address);
        if (!point)
            continue;
        PointAddress parsed;
        const bool commStatus = ParsePointAddress(address, parsed) && IsCommStatusPoint(parsed);
        if (commStatus) {
            point->FailCount = 0;
            FPoller.StorePointValue(address, status == LonStatus::Ok ? QStringLiteral("1") : QStringLiteral("0"));
            continue;
        }
        // A stopped point stays as it is unless stopped points are retried: then the
        // variable's answer, for it or another point, brings it back.
        if (IsStopped(*point) && !retrying)
            continue;
        if (status == LonStatus::Ok) {
            point->FailCount = 0;
            FPoller.DecodeValue(address, entry);
        } else if (++point->FailCount >= PointFailLimit) {
            point->RetryAtUs = retryAt;
        }
    }
    CountRound(variable, nowUs);
    Schedule(index, nowUs);
}

void TBudgetPoller::StartRound(qint64 nowUs)
{
    ++FRound;
    FRoundStartUs = nowUs;
    FRoundLeft = int(FDue.size()) + int(FKeyOfTag.size());
}

void TBudgetPoller::CountRound(TVariable &variable, qint64 nowUs)
{
    if (variable.Round == FRound)
        return;
    variable.Round = FRound;
    if (--FRoundLeft > 0)
        return;
    FLastRoundUs = nowUs - FRoundStartUs;
    FPoller.NoteCycle(FLastRoundUs);
    StartRound(nowUs);
}
