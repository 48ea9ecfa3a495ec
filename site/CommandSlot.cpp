#include "site/CommandSlot.h"

TCommandSlot::TCommandSlot(TSiteClient *site)
    : FSite(site)
    , FResultData(QString())
{
}

void TCommandSlot::ResetCommandState()
{
    SetCommandState(0);
    SetStatusText(QString());
    SetErrorText(QString());
}

void TCommandSlot::SetCommandState(int state)
{
    FCommandState = state;
}

void TCommandSlot::SetPendingJob(int jobCode)
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

void TCommandSlot::Start(TSiteClient *client, int jobCode, const QVariant &request)
{
    FStatusText = JobProgressText(jobCode);
    FResultData = QString();
    FRequest = request;
    FCommandClient = client;
    SetPendingJob(jobCode);
    SetCommandState(1);
    SetErrorText(QString());
}

TCommandSlotView TCommandSlot::View() const
{
    return {FCommandClient, FCommandState, FStatusText, FErrorText,
            FBusy,          FLocked,       FLockOwner,  FLockComment};
}

void TCommandSlot::ReleaseCommand(const TSiteClient *client)
{
    if (FCommandClient != client)
        return;
    FCommandClient = nullptr;
    FCommandTimeout = 0;
    SetCommandState(0);
}

void TCommandSlot::Forget(const TSiteClient *client)
{
    if (!client)
        return;
    if (FCommandClient == client) {
        FCommandClient = nullptr;
        FCommandTimeout = 0;
        if (FPendingJob == jobNone)
            SetCommandState(0);
    }
    if (FLockOwner == client) {
        FLockOwner = nullptr;
        UnlockClient();
    }
}

bool TCommandSlot::LockSite(const QString &comment)
{
    if (FLocked)
        return false;
    FLockComment = comment;
    FLocked = true;
    FLockTimeout = LockTimeoutTicks;
    FLockOwner = FCommandClient;
    return true;
}

bool TCommandSlot::UnlockClient()
{
    if (FCommandClient == FSite)
        return false;
    FLocked = false;
    FLockComment.clear();
    FLockTimeout = 0;
    FLockOwner = nullptr;
    return true;
}

void TCommandSlot::Block()
{
    FBlocked = true;
    FBusy = true;
    FLocked = true;
    FCommandClient = FSite;
}

void TCommandSlot::Unblock()
{
    FBlocked = false;
    FBusy = false;
    FLocked = false;
    FLockComment.clear();
    FCommandClient = nullptr;
    FCommandTimeout = 0;
}

void TCommandSlot::CountDown()
{
    if (FCommandTimeout > 0 && !FBlocked && --FCommandTimeout == 0)
        ReleaseCommand(FCommandClient);
    if (FLockTimeout > 0 && FLockOwner != FSite && --FLockTimeout == 0) {
        FLockOwner = nullptr;
        UnlockClient();
    }
}
