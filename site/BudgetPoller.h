#pragma once
// TBudgetPoller: the poller's budget mode (POLLBUDGET or POLLSHARE). Instead of one fetch
// per tick it keeps several fetches in flight, at most one per device and a bounded number
// in all, and starts them at the pace of the budget. Which variable goes next: the one most
// overdue among the fast (every 2 s), slow (every 5 min) and normal ones (at most 1 min
// behind), else the normal variable fetched longest ago; so fast ones come first and no
// class starves. Every value goes through the poller's decode, store and failure rules.

#include "site/PollPacer.h"
#include "site/PollSettings.h"
#include "snvt/PointAddress.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <set>
#include <utility>

class TSitePoller;
class TniNetworkInterface;

class TBudgetPoller
{
public:
    // How early a fetch may start against the budget's schedule: the pump's interval.
    static constexpr qint64 PumpIntervalUs = 10'000;

    TBudgetPoller(TSitePoller &poller, TniNetworkInterface &ni, const TPollSettings &settings);

    // Takes the answers that came; then, when mayStart (no job, no lock), starts fetches
    // as far as the budget and the limits allow.
    void Step(qint64 nowUs, bool mayStart);
    // The polling set was rebuilt: the variables are grouped anew; fetches in flight end
    // as they come and go to the points of their variable that are still listed.
    void Rebuild(qint64 nowUs);

    int InFlight() const { return int(FKeyOfTag.size()); }
    // The last complete round (every variable that is polled fetched once); 0 before one.
    qint64 LastRoundUs() const { return FLastRoundUs; }

private:
    struct TVariable
    {
        QString Key;            // domain:subnet:node:index
        QString Device;         // domain:subnet:node: one transaction at a time
        PointAddress Address;   // of its first point
        QList<QString> Points;  // addresses of the polling set on this variable
        TPollClass Class = TPollClass::Normal;
        qint64 LastStartUs = -1;
        qint64 DueUs = 0;
        int ValueLength = 2;    // the last value's length: the channel time of its next fetch
        bool InFlight = false;
        int Round = -1;         // the last round it was fetched in
    };

    void Collect(qint64 nowUs);
    void StartMore(qint64 nowUs);
    // Index of the next variable to fetch, -1 when none may go now.
    int Pick(qint64 nowUs) const;
    bool Start(int index, qint64 nowUs);
    void Finish(int index, qint16 status, const QByteArray &value, qint64 nowUs);
    // Puts the variable in the queues by its points' state; a variable whose every point
    // is stopped waits for the retry, or for nothing without one.
    void Schedule(int index, qint64 nowUs);
    void Unschedule(int index);
    double CostOf(const TVariable &variable) const;
    void CountRound(TVariable &variable, qint64 nowUs);
    void StartRound(qint64 nowUs);

    TSitePoller &FPoller;
    TniNetworkInterface &FInterface;
    const TPollSettings FSettings;
    TPollPacer FPacer;
    QList<TVariable> FVariables;
    QHash<QString, int> FIndexOfKey;
    std::set<std::pair<qint64, int>> FDue;      // (due, variable) of every variable waiting
    std::set<std::pair<qint64, int>> FNormal;   // the normal ones among them
    QHash<quint8, QString> FKeyOfTag;           // fetches in flight: tag -> variable key
    QHash<quint8, QString> FDeviceOfTag;
    QSet<QString> FBusyDevices;
    int FRound = 0;
    int FRoundLeft = 0;
    qint64 FRoundStartUs = -1;
    qint64 FLastRoundUs = 0;
};
