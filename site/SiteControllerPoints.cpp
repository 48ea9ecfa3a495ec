// Points lists: a client's list received through PutValue or as job 9 (the polling set is
// then rebuilt from every client's list), the values handed back (job 10) and the disabled
// state of a device object (job 13).
#include "site/SiteController.h"

#include "lonworks/LonInterface.h"
#include "site/DeviceObject.h"
#include "site/DriverLimits.h"
#include "site/PointEntry.h"
#include "site/PointNetwork.h"
#include "site/SiteLog.h"
#include "support/ParamList.h"
#include "support/StrLib.h"

#include <array>
#include <utility>

bool TSiteController::ReadPointsList(TSiteClient &client, const QVariant &request)
{
    using namespace DriverLimits;
    // The request is indexed once, so reading POINT0, POINT1, ... stays linear in its size.
    QStringList entries;
    try {
        const TParamIndex index(request);
        QString entry;
        qsizetype characters = 0;
        for (int n = 0; index.Find(QStringLiteral("POINT%1").arg(n), entry) && !entry.isEmpty(); ++n) {
            if (n >= kMaxPointsPerList)
                throw TLimitExceeded("entries per points list", kMaxPointsPerList);
            characters += entry.size();
            if (characters > kMaxPointsListCharacters)
                throw TLimitExceeded("characters per points list", kMaxPointsListCharacters);
            entries.append(entry);
        }
    } catch (const TLimitExceeded &) {
        throw;
    } catch (...) {
        // An unreadable list keeps what was read before the fault; the set stays as it was.
        client.SetPointEntries(std::move(entries));
        return false;
    }
    WarnIgnoredEntries(entries);
    // A list refused for the site's limit leaves the client's last list in place.
    QStringList previous = client.ExchangePointEntries(std::move(entries));
    try {
        FPoller.RebuildPollingSet(FClients);
    } catch (const TLimitExceeded &) {
        client.SetPointEntries(std::move(previous));
        throw;
    }
    return true;
}

void TSiteController::WarnIgnoredEntries(const QStringList &entries) const
{
    // An entry is {name}{address}: one without its address group is never polled. The
    // first few are named, the rest counted, so a long wrong list cannot flood the log.
    constexpr int kNamedEntries = 5;
    int ignored = 0;
    QString name;
    QString address;
    for (qsizetype n = 0; n < entries.size(); ++n) {
        SplitPointEntry(entries.at(n), name, address);
        if (!address.isEmpty())
            continue;
        if (++ignored <= kNamedEntries)
            qCWarning(lcSite, "site \"%s\": points list entry POINT%lld=%s ignored: an entry is "
                              "{name}{address}", qPrintable(FSite.Description), qlonglong(n),
                      qPrintable(entries.at(n).left(80)));
    }
    if (ignored > kNamedEntries)
        qCWarning(lcSite, "site \"%s\": %d points list entries ignored in all (no {name}{address})",
                  qPrintable(FSite.Description), ignored);
}

bool TSiteController::ReceivePointsList(TSiteClient *client, const QVariant &request)
{
    return client && ReadPointsList(*client, request);
}

void TSiteController::RunSendPointsList()
{
    // The slot's client may have been released since the job was started.
    try {
        TSiteClient *client = FSlot.CommandClient();
        CompleteJob(client && ReadPointsList(*client, FSlot.Request()));
    } catch (const TLimitExceeded &limit) {
        FSlot.SetErrorText(limit.Message());
        CompleteJob(false);
    }
}

void TSiteController::RunGetPointsList()
{
    QStringList entries;
    qint64 answerBytes = 0;
    const TPointList &points = FPoller.Points();
    for (qsizetype i = 0; i < points.Count(); ++i) {
        const TPointData &point = points.At(i);
        if (!point.HasValue)
            continue;
        entries.append(QStringLiteral("POINT%1={%2}{VALUE=%3}")
                           .arg(entries.size())
                           .arg(points.Key(i), point.Value));
        answerBytes += DriverLimits::AnswerTextBytes(entries.constLast());
        if (answerBytes > DriverLimits::kMaxAnswerBytes) {
            FSlot.SetErrorText(TLimitExceeded::Text("bytes per answer", DriverLimits::kMaxAnswerBytes));
            CompleteJob(false);
            return;
        }
    }
    FSlot.SetResultData(entries);
    CompleteJob(true);
}

bool TSiteController::ParseRequestedPoint(PointAddress &address) const
{
    QString entry;
    QString name;
    QString text;
    FindParam(FSlot.Request(), QStringLiteral("POINT"), entry);
    SplitPointEntry(entry, name, text);
    return ParsePointAddress(text, address);
}

void TSiteController::RunPointGetDisabled()
{
    bool success = false;
    try {
        PointAddress address;
        TDeviceObject object;
        if (ParseRequestedPoint(address) && address.HasObject
            && ParseDeviceObject(address.ObjectName, object) && DisabledBit(object) >= 0) {
            std::array<quint8, 256> bytes{};
            quint8 length = 0;
            if (FetchPointVariable(*FInterface, address, DisabledObjectsVariable, bytes, length) == 0) {
                const bool disabled = BitInBytes(QByteArrayView(bytes.data(), length), DisabledBit(object));
                FSlot.SetResultData(QStringList{BoolParam(QStringLiteral("DISABLED"), disabled), QString()});
                success = true;
            }
        }
    } catch (...) {
    }
    FSlot.SetErrorText(success ? QString() : QStringLiteral("Could not modify point."));
    CompleteJob(success);
}

bool TSiteController::PollStatus()
{
    const TPollFigures figures = FPoller.Figures();
    FSlot.SetResultData(QStringList{QStringLiteral("POLLMODE=") + figures.Mode,
                                    QStringLiteral("POLLRATE=") + QString::number(figures.FetchRate, 'f', 1),
                                    QStringLiteral("POLLCYCLE=") + QString::number(figures.CycleSeconds, 'f', 1),
                                    QStringLiteral("POLLINFLIGHT=") + QString::number(figures.InFlight),
                                    QStringLiteral("POLLSTOPPED=") + QString::number(figures.Stopped), QString()});
    return true;
}
