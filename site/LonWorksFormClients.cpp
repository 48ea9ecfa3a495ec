// The site's clients: attaching and detaching them, and opening and closing the
// network interface on their behalf.
#include "site/LonWorksForm.h"

#include "site/TypeSite.h"
#include "site/SiteNetwork.h"

#include <algorithm>

void TLonWorksForm::AddClient(TSiteClient *client, const QString &description)
{
    const bool known = std::any_of(FClients.cbegin(), FClients.cend(),
                                   [client](const TSiteClientEntry &e) { return e.Client == client; });
    if (known)
        return;
    FClients.append({description, client});
    ShowClientCount();
}

void TLonWorksForm::RemoveClient(TSiteClient *client)
{
    // A client is listed once (AddClient); clients tend to leave in the order they came,
    // which finds and removes the entry at the front in constant time.
    const auto found = std::find_if(FClients.begin(), FClients.end(),
                                    [client](const TSiteClientEntry &e) { return e.Client == client; });
    if (found != FClients.end())
        FClients.erase(found);
    // A released client must not go on holding the slot or the lock: its address could
    // be handed to the next driver object created.
    if (client && FCommandClient == client) {
        FCommandClient = nullptr;
        FCommandTimeout = 0;
        if (FPendingJob == jobNone)
            SetCommandState(0);
    }
    if (client && FLockOwner == client) {
        FLockOwner = nullptr;
        UnlockClient();
    }
    ShowClientCount();
    if (FClients.isEmpty())
        ScheduleRelease();
}

bool TLonWorksForm::ConnectClient(TSiteClient *client)
{
    FResultData = QString();
    if (FCommandClient == this)
        return false;
    FCommandClient = client;
    FWorkingOffline = FSite->OfflineMode;

    if (FWorkingOffline) {
        ResetCommandState();
        SetCommandState(2);
        SetStatusText(QString());
        ShowSiteCaption();
        FConnected = true;
        return true;
    }

    SetErrorText(QString());
    // The last client's disconnect is still waiting for the tick: the newcomer needs the
    // interface, so it stays open.
    if (FPendingJob == jobDisconnect)
        SetPendingJob(jobNone);
    // The interface is already open for another client: opening it again would fail or
    // leak the first handle, so the new client shares it.
    if (FConnected) {
        SetCommandState(2);
        SetStatusText(QString());
        return true;
    }

    short result = -1;
    try {
        result = OpenSiteInterface(*FInterface, FSite->LonDeviceName);
        if (result == 0) {
            FConnected = true;
            FInterfaceName = SiteInterfaceName(FSite->LonDeviceName);
            FLibraryVersion = SiteLibraryVersion();
            StartSiteInterface(*FInterface, *FSite);
            ShowSiteCaption();
            SetCommandState(2);
            SetStatusText(QString());
            return true;
        }
    } catch (...) {
    }
    SetCommandState(3);
    SetStatusText(QString());
    SetErrorText(QStringLiteral("Could not connect to the LonWorks Interface named \"%1\"...Error #%2")
                     .arg(FSite->LonDeviceName)
                     .arg(result));
    return true;
}

bool TLonWorksForm::DisconnectClient(TSiteClient *client)
{
    FResultData = QString();
    if (FCommandClient == this || FLockOwner == this)
        return false;
    FCommandClient = client;

    if (FClients.size() > 1) {
        SetCommandState(2);
        SetStatusText(QString());
        return true;
    }
    ResetCommandState();
    if (FWorkingOffline) {
        SetCommandState(2);
        SetStatusText(QString());
        FConnected = false;
        ShowSiteCaption();
    } else {
        SetCommandState(1);
        SetStatusText(JobProgressText(jobDisconnect));
        SetPendingJob(jobDisconnect);
    }
    return true;
}

void TLonWorksForm::RunDisconnect()
{
    bool closed = true;
    if (FConnected) {
        closed = CloseSiteInterface(*FInterface) == 0;
        if (!closed) {
            SetCommandState(3);
            SetStatusText(QString());
        }
        FConnected = false;
    }
    if (closed) {
        SetCommandState(2);
        SetStatusText(QString());
    }
    SetPendingJob(jobNone);
}
