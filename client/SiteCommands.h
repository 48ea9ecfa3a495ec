#pragma once
// The commands every client program that watches a site runs again and again (discovery,
// collecting the polled values, writing one point), and how their answers read: what the
// gateway and the web console share.

#include "client/DriverAnswer.h"

#include <QString>
#include <QStringList>

class TSiteSession;

// GETDATA DRIVERCOMMAND=GETPOINTSLIST.
QStringList DiscoveryRequest();
// The problem of a discovery that did not end in Done.
QString DiscoveryProblem(const TDriverAnswer &answer);
// GETPOINTSLIST: the polled values of the client's points list.
QStringList CollectRequest();
// The problem of a collection the driver failed (the answer is Failed).
QString CollectProblem(const TDriverAnswer &answer);
// POINTMODIFY of one point, the writer named in the request.
QStringList PointModifyRequest(const QString &writer, const QString &address, const QString &value);

// GETDATA DRIVERCOMMAND=POLLSTATUS: the poller's mode and figures.
QStringList PollStatusRequest();
struct TPollFigures
{
    bool Known = false;        // false: the driver does not answer POLLSTATUS (an earlier one)
    QString Mode;              // "one fetch per tick", "25 fetches/s", ...
    double FetchesPerSecond = 0;
    double CycleSeconds = 0;   // the last complete round; 0 before the first
    int InFlight = 0;
    int StoppedPoints = 0;
};
TPollFigures ReadPollFigures(const TDriverAnswer &answer);

// A write's outcome as clients report it: "done", "refused" (the site is locked by another
// client) or "failed" (the driver's text).
struct TWriteOutcome
{
    QString Outcome;
    QString Message;
};
TWriteOutcome WriteOutcome(const TDriverAnswer &answer);

// Gives the session's driver object back (Disconnect, Release) and deletes the session
// afterwards (none: nothing).
void GiveBackSession(TSiteSession *session);
