// The command slot: starting, completing and releasing commands, the tick that runs
// the pending job, and the time-outs of uncollected results and idle locks.
#include "site/LonWorksForm.h"

#include <QLabel>
#include <QScopeGuard>

void TLonWorksForm::ResetCommandState()
{
    SetCommandState(0);
    SetStatusText(QString());
    SetErrorText(QString());
}

void TLonWorksForm::SetCommandState(int state)
{
    FCommandState = state;
}

void TLonWorksForm::SetStatusText(const QString &text)
{
    FStatusText = text;
    MessagePnl->setText(text);
}

void TLonWorksForm::SetErrorText(const QString &text)
{
    FErrorText = text;
}

void TLonWorksForm::SetPendingJob(int jobCode)
{
    FPendingJob = jobCode;
    if (jobCode != jobNone) {
        FBusy = true;
        return;
    }
    FBusy = false;
    FCommandTimeout = CommandTimeoutTicks;
    if (FLocked)
        FLockTimeout = LockTimeoutTicks;
}

void TLonWorksForm::CompleteJob(bool success)
{
    // A disconnect queued while this job waited on the network keeps the slot: it still
    // runs on the next tick and closes the interface, and this job's outcome is dropped.
    if (FRunningJob != jobNone && FPendingJob != FRunningJob)
        return;
    SetCommandState(success ? 2 : 3);
    SetStatusText(QString());
    SetPendingJob(jobNone);
}

int TLonWorksForm::CommandStatusFor(TSiteClient *client)
{
    if (FCommandClient == client || FCommandClient == nullptr || client == FLockOwner)
        return FCommandState;
    return FLocked ? 4 : -1;
}

void TLonWorksForm::ReleaseCommand(TSiteClient *client)
{
    if (FCommandClient != client)
        return;
    FCommandClient = nullptr;
    FCommandTimeout = 0;
    SetCommandState(0);
}

bool TLonWorksForm::StartCommand(TSiteClient *client, int jobCode, const QVariant &request)
{
    if (!IsClientJob(jobCode))
        return false;
    FStatusText = JobProgressText(jobCode);
    MessagePnl->setText(FStatusText);
    FResultData = QString();
    FRequest = request;
    FCommandClient = client;
    SetPendingJob(jobCode);
    SetCommandState(1);
    SetErrorText(QString());
    return true;
}

void TLonWorksForm::ProcessTick()
{
    ++FTickDepth;
    const auto ended = qScopeGuard([this] {
        if (--FTickDepth == 0 && FReleaseScheduled) {
            FReleaseScheduled = false;
            // A client that connected meanwhile keeps the form.
            if (FClients.isEmpty())
                ScheduleRelease();
        }
    });
    if (++FTickCount >= ClockTicks) {
        FTickCount = 0;
        RefreshClock();
    }
    if (FCommandTimeout > 0 && !IsBlocked() && --FCommandTimeout == 0)
        ReleaseCommand(FCommandClient);
    if (FLockTimeout > 0 && FLockOwner != this && --FLockTimeout == 0) {
        FLockOwner = nullptr;
        UnlockClient();
    }
    RunPendingJob();
    if (FPendingJob == jobNone && !FLocked)
        PollPoints();
    else
        FPollState = 0;
}

void TLonWorksForm::RunPendingJob()
{
    const int job = FPendingJob;
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
        if (FPendingJob == job)
            CompleteJob(false);
    }
}
