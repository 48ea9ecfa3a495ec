// Points lists: a client's list received through PutValue or as job 9, the rebuild of the
// site's polling set from all clients' lists, the values handed back (job 10) and the
// disabled state of a device object (job 13).
#include "site/LonWorksForm.h"

#include "site/DriverLimits.h"
#include "support/ParamList.h"
#include "lonworks/LonInterface.h"
#include "site/DeviceObject.h"
#include "site/PointNetwork.h"
#include "support/StrLib.h"

#include <array>
#include <utility>

void TLonWorksForm::SplitPointEntry(const QString &entry, QString &name, QString &address)
{
    name = TextBetween(entry, u'{', u'}', 0);
    address = TextBetween(entry, u'{', u'}', int(name.size()) + 2);
}

void TLonWorksForm::ClearPollingSet()
{
    FPoints.Clear();
}

bool TLonWorksForm::ReadPointsList(TSiteClient &client, const QVariant &request)
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
        client.FPointEntries = std::move(entries);
        return false;
    }
    // A list refused for the site's limit leaves the client's last list in place.
    QStringList previous = std::exchange(client.FPointEntries, std::move(entries));
    try {
        RebuildPollingSet();
    } catch (const TLimitExceeded &) {
        client.FPointEntries = std::move(previous);
        throw;
    }
    return true;
}

void TLonWorksForm::RebuildPollingSet()
{
    TPointList points;
    QString name;
    QString address;
    for (const TSiteClientEntry &attached : std::as_const(FClients)) {
        if (!attached.Client)
            continue;
        try {
            for (const QString &entry : std::as_const(attached.Client->FPointEntries)) {
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

bool TLonWorksForm::ReceivePointsList(TSiteClient *client, const QVariant &request)
{
    return client && ReadPointsList(*client, request);
}

void TLonWorksForm::RunSendPointsList()
{
    // The slot's client may have been released since the job was started.
    try {
        CompleteJob(FCommandClient && ReadPointsList(*FCommandClient, FRequest));
    } catch (const TLimitExceeded &limit) {
        SetErrorText(limit.Message());
        CompleteJob(false);
    }
}

void TLonWorksForm::RunGetPointsList()
{
    QStringList entries;
    qint64 answerBytes = 0;
    for (qsizetype i = 0; i < FPoints.Count(); ++i) {
        const TPointData &point = FPoints.At(i);
        if (!point.HasValue)
            continue;
        entries.append(QStringLiteral("POINT%1={%2}{VALUE=%3}")
                           .arg(entries.size())
                           .arg(FPoints.Key(i), point.Value));
        answerBytes += DriverLimits::AnswerTextBytes(entries.constLast());
        if (answerBytes > DriverLimits::kMaxAnswerBytes) {
            SetErrorText(TLimitExceeded::Text("bytes per answer", DriverLimits::kMaxAnswerBytes));
            CompleteJob(false);
            return;
        }
    }
    FResultData = entries;
    CompleteJob(true);
}

bool TLonWorksForm::ParseRequestedPoint(PointAddress &address)
{
    QString entry;
    QString name;
    QString text;
    FindParam(FRequest, QStringLiteral("POINT"), entry);
    SplitPointEntry(entry, name, text);
    return ParsePointAddress(text, address);
}

void TLonWorksForm::RunPointGetDisabled()
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
                FResultData = QStringList{BoolParam(QStringLiteral("DISABLED"), disabled), QString()};
                success = true;
            }
        }
    } catch (...) {
    }
    SetErrorText(success ? QString() : QStringLiteral("Could not modify point."));
    CompleteJob(success);
}
