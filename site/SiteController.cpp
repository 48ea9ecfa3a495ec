// The site's lifecycle: its record and interface, its clients, opening and closing the
// network for them, the tick that runs the pending job and the poller, and the release.
#include "site/SiteController.h"

#include "lonworks/LonInterface.h"
#include "site/BudgetPoller.h"
#include "site/SiteLog.h"
#include "site/SiteNetwork.h"

#include <QCoreApplication>
#include <QScopeGuard>

#include <algorithm>
#include <exception>

TSiteController::TSiteController(QObject *parent)
    : QObject(parent)
    , FInterface(std::make_unique<TniNetworkInterface>())
    , FSlot(this)
    , FPoller(FSlot, *FInterface, FSite)
{
    FPollPump.setInterval(int(TBudgetPoller::PumpIntervalUs / 1000));
    connect(&FPollPump, &QTimer::timeout, this, &TSiteController::PumpPoller);
    PublishStatus();
}

TSiteController::~TSiteController()
{
    FStatusBoard->Close();
    // A site released without a disconnect job still holds the driver handle: give it
    // back, or the interface stays open (and unopenable) for the rest of the process.
    if (FConnected && !FWorkingOffline)
        CloseSiteInterface(*FInterface);
}

void TSiteController::AssignSite(const TSite &site)
{
    FSite.AssignFrom(&site);
}

bool TSiteController::IsOnline() const
{
    return FConnected && !FSite.OfflineMode;
}

qint16 TSiteController::InterfaceHandle() const
{
    return FInterface->Handle();
}

void TSiteController::ShowSiteCaption()
{
    Q_EMIT CaptionChanged(FSite.Description);
}

void TSiteController::ShowClientCount()
{
    Q_EMIT ClientCountChanged(FRemoteClientCount);
}

void TSiteController::ShowMessageText(const QString &text)
{
    Q_EMIT MessageChanged(text);
    QCoreApplication::processEvents();
}

void TSiteController::SetStatusText(const QString &text)
{
    FSlot.SetStatusText(text);
    Q_EMIT MessageChanged(text);
}

void TSiteController::AddClient(TSiteClient *client, const QString &description)
{
    const bool known = std::any_of(FClients.cbegin(), FClients.cend(),
                                   [client](const TSiteClientEntry &e) { return e.Client == client; });
    if (known)
        return;
    FClients.append({description, client});
    ShowClientCount();
}

void TSiteController::RemoveClient(TSiteClient *client)
{
    // A client is listed once (AddClient); clients tend to leave in the order they came,
    // which finds and removes the entry at the front in constant time.
    const auto found = std::find_if(FClients.begin(), FClients.end(),
                                    [client](const TSiteClientEntry &e) { return e.Client == client; });
    if (found != FClients.end())
        FClients.erase(found);
    FSlot.Forget(client);
    ShowClientCount();
    if (FClients.isEmpty())
        ScheduleRelease();
}

bool TSiteController::ConnectClient(TSiteClient *client)
{
    FSlot.SetResultData(QString());
    if (FSlot.CommandClient() == this)
        return false;
    FSlot.Take(client);
    FWorkingOffline = FSite.OfflineMode;

    if (FWorkingOffline) {
        FSlot.ResetCommandState();
        FSlot.SetCommandState(2);
        SetStatusText(QString());
        ShowSiteCaption();
        FConnected = true;
        return true;
    }

    FSlot.SetErrorText(QString());
    // The last client's disconnect is still waiting for the tick: the newcomer needs the
    // interface, so it stays open.
    if (FSlot.PendingJob() == jobDisconnect)
        FSlot.SetPendingJob(jobNone);
    // The interface is already open for another client: opening it again would fail or
    // leak the first handle, so the new client shares it.
    if (FConnected) {
        FSlot.SetCommandState(2);
        SetStatusText(QString());
        return true;
    }

    short result = -1;
    QString reason;
    try {
        result = OpenSiteInterface(*FInterface, FSite.LonDeviceName);
        if (result == 0) {
            FConnected = true;
            FInterfaceName = SiteInterfaceName(FSite.LonDeviceName);
            FLibraryVersion = SiteLibraryVersion();
            StartSiteInterface(*FInterface, FSite);
            StartPollPump();
            ShowSiteCaption();
            FSlot.SetCommandState(2);
            SetStatusText(QString());
            return true;
        }
        // A status the library never returned: the call could not be made. Say why.
        reason = SiteLibraryProblem();
    } catch (const std::exception &error) {
        reason = QString::fromLocal8Bit(error.what());
    } catch (...) {
        reason = QStringLiteral("an unknown exception");
    }
    FSlot.SetCommandState(3);
    SetStatusText(QString());
    QString text = QStringLiteral("Could not connect to the LonWorks Interface named \"%1\"...Error #%2")
                       .arg(FSite.LonDeviceName)
                       .arg(result);
    if (!reason.isEmpty())
        text += QStringLiteral(" (%1)").arg(reason);
    FSlot.SetErrorText(text);
    qCWarning(lcSite, "site \"%s\": %s", qPrintable(FSite.Description), qPrintable(text));
    // The window names its site and shows why it is not connected.
    ShowSiteCaption();
    Q_EMIT MessageChanged(text);
    return true;
}

bool TSiteController::DisconnectClient(TSiteClient *client)
{
    FSlot.SetResultData(QString());
    if (FSlot.CommandClient() == this || FSlot.LockOwner() == this)
        return false;
    FSlot.Take(client);

    if (FClients.size() > 1) {
        FSlot.SetCommandState(2);
        SetStatusText(QString());
        return true;
    }
    FSlot.ResetCommandState();
    if (FWorkingOffline) {
        FSlot.SetCommandState(2);
        SetStatusText(QString());
        FConnected = false;
        ShowSiteCaption();
    } else {
        FSlot.SetCommandState(1);
        SetStatusText(JobProgressText(jobDisconnect));
        FSlot.SetPendingJob(jobDisconnect);
    }
    return true;
}

void TSiteController::RunDisconnect()
{
    bool closed = true;
    FPollPump.stop();
    if (FConnected) {
        closed = CloseSiteInterface(*FInterface) == 0;
        if (!closed) {
            FSlot.SetCommandState(3);
            SetStatusText(QString());
        }
        FConnected = false;
    }
    if (closed) {
        FSlot.SetCommandState(2);
        SetStatusText(QString());
    }
    FSlot.SetPendingJob(jobNone);
}

void TSiteController::Block()
{
    FSlot.Block();
    Q_EMIT BlockedChanged(true);
}

void TSiteController::Unblock()
{
    FSlot.Unblock();
    Q_EMIT BlockedChanged(false);
}

bool TSiteController::StartCommand(TSiteClient *client, int jobCode, const QVariant &request)
{
    if (!IsClientJob(jobCode))
        return false;
    FSlot.Start(client, jobCode, request);
    Q_EMIT MessageChanged(FSlot.StatusText());
    return true;
}

void TSiteController::CompleteJob(bool success)
{
    // A disconnect queued while this job waited on the network keeps the slot: it still
    // runs on the next tick and closes the interface, and this job's outcome is dropped.
    if (FRunningJob != jobNone && FSlot.PendingJob() != FRunningJob)
        return;
    FSlot.SetCommandState(success ? 2 : 3);
    SetStatusText(QString());
    FSlot.SetPendingJob(jobNone);
}

void TSiteController::ProcessTick()
{
    ++FTickDepth;
    const auto ended = qScopeGuard([this] {
        if (--FTickDepth > 0)
            return;
        if (FCloseScheduled) {
            FCloseScheduled = false;
            FReleaseScheduled = false;
            FReleasing = true;
            Q_EMIT Releasing();
            deleteLater();
        } else if (FReleaseScheduled) {
            FReleaseScheduled = false;
            // A client that connected meanwhile keeps the site.
            if (FClients.isEmpty())
                ScheduleRelease();
        }
    });
    if (++FTickCount >= ClockTicks) {
        FTickCount = 0;
        Q_EMIT ClockRefreshed();
    }
    FSlot.CountDown();
    RunPendingJob();
    if (FSlot.PendingJob() == jobNone && !FSlot.IsLocked())
        PollPoints();
    else
        FPoller.ResetState();
}

void TSiteController::PollPoints()
{
    if (IsOnline())
        FPoller.PollPoints();
}

void TSiteController::StartPollPump()
{
    if (FPoller.BudgetMode())
        FPollPump.start();
}

void TSiteController::PumpPoller()
{
    if (FTickDepth > 0 || !IsOnline() || !FPoller.BudgetMode())
        return;
    FPoller.PumpBudget(FSlot.PendingJob() == jobNone && !FSlot.IsLocked());
}

void TSiteController::RunPendingJob()
{
    const int job = FSlot.PendingJob();
    FRunningJob = job;
    const auto finished = qScopeGuard([this] { FRunningJob = jobNone; });
    try {
        switch (job) {
        case jobDisconnect: RunDisconnect(); break;
        case jobSiteTime: RunSiteTime(); break;
        case jobSiteStatus: RunSiteStatus(); break;
        case jobPointVerify: RunPointVerify(); break;
        case jobGetData: RunDriverCommand(); break;
        case jobSendData: RunSendData(); break;
        case jobSendPointsList: RunSendPointsList(); break;
        case jobGetPointsList: RunGetPointsList(); break;
        case jobPointModify: RunPointModify(); break;
        case jobPointGetDisabled: RunPointGetDisabled(); break;
        case jobPointGetValue: RunPointGetValue(); break;
        case jobGetAlarms: RunGetAlarms(); break;
        case jobGetSchedule: RunGetSchedule(); break;
        case jobSetSchedule: RunSetSchedule(); break;
        case jobGetTrendData: RunGetTrendData(); break;
        default: return;
        }
    } catch (...) {
        // A job that raised ends as failed instead of being run again on every tick.
        if (FSlot.PendingJob() == job)
            CompleteJob(false);
    }
}

void TSiteController::ScheduleRelease()
{
    // A client that leaves while this site's tick waits on the network must not free the
    // site under the running job: the release then happens when the tick has ended.
    if (FTickDepth > 0) {
        FReleaseScheduled = true;
        return;
    }
    // From here on the site is gone for its clients: one connecting before the deletion
    // gets a new site, which must be able to open the interface this one holds.
    FReleasing = true;
    FPollPump.stop();
    if (FConnected && !FWorkingOffline)
        CloseSiteInterface(*FInterface);
    FConnected = false;
    Q_EMIT Releasing();
    deleteLater();
}

void TSiteController::CloseWithWindow()
{
    if (FReleasing)
        return;
    if (FTickDepth > 0) {
        FCloseScheduled = true;
        return;
    }
    delete this;
}
