#include "client/SiteCommands.h"

#include "client/PointEntries.h"
#include "client/SiteSession.h"

QStringList DiscoveryRequest()
{
    return {QStringLiteral("COMMAND=GETDATA"), QStringLiteral("DRIVERCOMMAND=GETPOINTSLIST")};
}

QString DiscoveryProblem(const TDriverAnswer &answer)
{
    if (answer.Type == TDriverAnswer::Locked)
        return TSiteSession::LockedMessage(answer.Error);
    return QStringLiteral("discovery failed: %1")
        .arg(answer.Error.isEmpty() ? QStringLiteral("no reason given") : answer.Error);
}

QStringList CollectRequest()
{
    return {QStringLiteral("COMMAND=GETPOINTSLIST")};
}

QString CollectProblem(const TDriverAnswer &answer)
{
    return QStringLiteral("the driver failed to hand over the values%1")
        .arg(answer.Error.isEmpty() ? QString() : QStringLiteral(": ") + answer.Error);
}

QStringList PointModifyRequest(const QString &writer, const QString &address, const QString &value)
{
    return {QStringLiteral("COMMAND=POINTMODIFY"),
            QStringLiteral("POINT=") + RequestEntry(writer, address,
                                                    {QStringLiteral("VALUE=") + value, QString(),
                                                     QStringLiteral("OBJECTVALUE=")})};
}

QStringList PollStatusRequest()
{
    return {QStringLiteral("COMMAND=GETDATA"), QStringLiteral("DRIVERCOMMAND=POLLSTATUS")};
}

TPollFigures ReadPollFigures(const TDriverAnswer &answer)
{
    TPollFigures figures;
    if (answer.Type != TDriverAnswer::Done)
        return figures;
    figures.Known = true;
    for (const QString &item : answer.Items) {
        const QString value = item.section(u'=', 1);
        if (item.startsWith(QLatin1String("POLLMODE=")))
            figures.Mode = value;
        else if (item.startsWith(QLatin1String("POLLRATE=")))
            figures.FetchesPerSecond = value.toDouble();
        else if (item.startsWith(QLatin1String("POLLCYCLE=")))
            figures.CycleSeconds = value.toDouble();
        else if (item.startsWith(QLatin1String("POLLINFLIGHT=")))
            figures.InFlight = value.toInt();
        else if (item.startsWith(QLatin1String("POLLSTOPPED=")))
            figures.StoppedPoints = value.toInt();
    }
    return figures;
}

TWriteOutcome WriteOutcome(const TDriverAnswer &answer)
{
    if (answer.Type == TDriverAnswer::Done)
        return {QStringLiteral("done"), QString()};
    if (answer.Type == TDriverAnswer::Locked)
        return {QStringLiteral("refused"), TSiteSession::LockedMessage(answer.Error)};
    return {QStringLiteral("failed"),
            answer.Error.isEmpty() ? QStringLiteral("The driver did not write the point.") : answer.Error};
}

void GiveBackSession(TSiteSession *session)
{
    if (session)
        session->Close([session] { session->deleteLater(); });
}
