// The background poller: one step per tick through the polling set, one network-variable
// fetch per tick at most, each variable fetched once per cycle and decoded for every
// point that shares it; and the storing of point values.
#include "site/LonWorksForm.h"

#include "site/TypeSite.h"
#include "lonworks/LonInterface.h"
#include "site/PointNetwork.h"
#include "snvt/FieldDecoder.h"
#include "support/StrLib.h"

namespace {

constexpr int PollStateIdle = 0;
constexpr int PollStateLook = 1;
constexpr int PollStateFetch = 2;
constexpr int PollStateCycleDone = 900;
constexpr int PollStatePause = 901;

constexpr int PauseAfterRebuildWhileBusy = 30;
constexpr int PauseAfterFailure = 3;
constexpr int PauseAfterCycle = 10;

// A point whose object name contains X1 shows whether its device answers (1) or not (0).
bool IsCommStatusPoint(const PointAddress &address)
{
    return address.HasObject && address.ObjectName.toUpper().contains(QLatin1String("X1"));
}

} // namespace

void TLonWorksForm::ClearFreshFlags()
{
    for (qsizetype i = 0; i < FPoints.Count(); ++i)
        FPoints.At(i).Fresh = false;
}

void TLonWorksForm::ClearValueCache()
{
    FValueCache.Clear();
}

void TLonWorksForm::StorePointValue(const QString &address, const QString &value)
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

void TLonWorksForm::DecodeCachedPoint(const QString &address, qsizetype cacheIndex)
{
    if (!FValueCache.IsIndex(cacheIndex))
        return;
    const TPointIndexData &entry = FValueCache.At(cacheIndex);
    PointAddress parsed;
    QString value;
    if (ParsePointAddress(address, parsed)) {
        value = DecodeField(QByteArrayView(entry.ValueBytes.data(), entry.ValueBytes.size()), entry.ValueLength,
                            parsed.VariableOffset, parsed.VariableType, parsed.Parameter, FSite->TempsInF);
        // Scaling applies to a value; a field that could not be decoded stays empty
        // instead of reading as 0.
        if (parsed.Scale != 0.0 && !value.isEmpty())
            value = FormatFixed(ScaleNumber(value) / parsed.Scale, 4);
    }
    StorePointValue(address, value);
}

void TLonWorksForm::PollPoints()
{
    if (!IsOnline())
        return;
    if (FPointsChanged) {
        FPointsChanged = false;
        FPollDelay = FBusy ? PauseAfterRebuildWhileBusy : 0;
        FPollState = PollStatePause;
        ClearFreshFlags();
        ClearValueCache();
        FPollIndex = -1;
    }
    switch (FPollState) {
    case PollStateIdle:
        FBusy = false;
        if (!FPoints.IsEmpty())
            FPollState = PollStateLook;
        break;
    case PollStateLook:
        PollLookForWork();
        break;
    case PollStateFetch:
        PollFetch();
        break;
    case PollStateCycleDone:
        FBusy = false;
        ClearFreshFlags();
        ClearValueCache();
        FPollDelay = PauseAfterCycle;
        FPollState = PollStatePause;
        break;
    case PollStatePause:
        FBusy = false;
        if (FPollDelay < 1)
            FPollState = PollStateIdle;
        else
            --FPollDelay;
        break;
    default:
        FPollState = PollStateIdle;
        break;
    }
}

void TLonWorksForm::PollLookForWork()
{
    FPollState = PollStateCycleDone;
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
            FPollState = PollStateFetch;
            return;
        }
        // Fetched earlier in this cycle for another point of the same variable.
        point.FailCount = 0;
        PointAddress parsed;
        if (ParsePointAddress(address, parsed) && IsCommStatusPoint(parsed))
            StorePointValue(address, QStringLiteral("1"));
        else
            DecodeCachedPoint(address, cached);
        FBusy = false;
        FPollState = PollStateLook;
        FPollDelay = 0;
    }
}

void TLonWorksForm::PollFetch()
{
    FBusy = true;
    if (!FPoints.IsIndex(FPollIndex)) {
        FPollState = PollStateIdle;
        return;
    }
    // Copies: the polling set may be rebuilt while the fetch waits for the device.
    const QString address = FPoints.Key(FPollIndex);
    const QString key = FPollKey;
    PointAddress parsed;
    if (!ParsePointAddress(address, parsed)) {
        FPoints.At(FPollIndex).FailCount = PointFailLimit;
        FPollDelay = PauseAfterFailure;
        FPollState = PollStatePause;
        return;
    }
    TPointIndexData entry;
    const qint16 status = FetchPointVariable(*FInterface, parsed, parsed.VariableIndex, entry.ValueBytes,
                                             entry.ValueLength);
    // A points list received during the wait replaced the set: FPollIndex may now name
    // another point or none, so the answer is dropped and the next tick starts over.
    if (FPointsChanged)
        return;
    TPointData &point = FPoints.At(FPollIndex);
    const bool commStatus = IsCommStatusPoint(parsed);
    if (status == 0) {
        const qsizetype cached = FValueCache.Add(key, entry);
        point.FailCount = 0;
        if (commStatus)
            StorePointValue(address, QStringLiteral("1"));
        else
            DecodeCachedPoint(address, cached);
        FBusy = false;
        FPollState = PollStateLook;
        FPollDelay = 0;
        return;
    }
    if (commStatus) {
        point.FailCount = 0;
        StorePointValue(address, QStringLiteral("0"));
    } else {
        point.FailCount += 1;
    }
    FPollDelay = PauseAfterFailure;
    FPollState = PollStatePause;
}
