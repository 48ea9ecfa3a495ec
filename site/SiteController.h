#pragma once
// TSiteController: one site's engine, without a window. It owns the site's settings and
// network interface, keeps the site's clients, runs their commands one at a time through
// its command slot on its 100 ms tick, and polls the points they listed. Whatever shows
// the site (its window, TLonWorksForm) follows it through its signals.

#include "site/CommandSlot.h"
#include "site/DeviceCatalogue.h"
#include "site/JobCodes.h"
#include "site/SiteClient.h"
#include "site/SitePoller.h"
#include "site/SiteStatusBoard.h"
#include "site/TypeSite.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariant>

#include <memory>

struct PointAddress;
class TniNetworkInterface;
namespace xif {
class TemplateCatalogue;
}

class TSiteController : public QObject, public TSiteClient
{
    Q_OBJECT

public:
    // Ticks of 100 ms between two refreshes of the site's clock.
    static constexpr int ClockTicks = 10;

    explicit TSiteController(QObject *parent = nullptr);
    // Gives back an interface still open: no disconnect job ran before the release.
    ~TSiteController() override;

    // The site's record (copied once from its first client) and its interface.
    void AssignSite(const TSite &site);
    const TSite &Site() const { return FSite; }
    // FConnected: the interface was opened for a client (or offline work was started).
    bool IsConnected() const { return FConnected; }
    // FWorkingOffline: the site was connected offline.
    bool IsWorkingOffline() const { return FWorkingOffline; }
    // Connected and not offline: the network may be used.
    bool IsOnline() const;
    const QString &InterfaceName() const { return FInterfaceName; }
    const QString &LibraryVersion() const { return FLibraryVersion; }
    // The driver library's handle of the open interface, -1 while none is open.
    qint16 InterfaceHandle() const;

    // Clients: the driver objects attached to the site, each with the Description it
    // connected with, and the count of remote ones shown with the site.
    void AddClient(TSiteClient *client, const QString &description);
    // The last client gone, the site releases itself.
    void RemoveClient(TSiteClient *client);
    const QList<TSiteClientEntry> &Clients() const { return FClients; }
    int RemoteClientCount() const { return FRemoteClientCount; }
    // The count changes without being shown; AddClient and RemoveClient show it.
    void AddRemoteClient() { ++FRemoteClientCount; }
    void RemoveRemoteClient() { --FRemoteClientCount; }
    // Opens the interface (or works offline) for the client, which then holds the slot
    // with the outcome; false only while the site is blocked.
    bool ConnectClient(TSiteClient *client);
    // Closes the interface on the next tick when the client is the only one; false
    // while the site is blocked.
    bool DisconnectClient(TSiteClient *client);

    // The command slot and the site lock.
    const TCommandSlot &CommandSlot() const { return FSlot; }
    bool StartCommand(TSiteClient *client, int jobCode, const QVariant &request);
    int CommandStatusFor(const TSiteClient *client) const { return FSlot.CommandStatusFor(client); }
    void ReleaseCommand(TSiteClient *client) { FSlot.ReleaseCommand(client); }
    bool LockSite(const QString &comment) { return FSlot.LockSite(comment); }
    bool UnlockClient() { return FSlot.UnlockClient(); }
    // The command slot as published for the bus thread, which answers status polls from
    // it; the board is closed when the site goes.
    const std::shared_ptr<TSiteStatusBoard> &StatusBoard() const { return FStatusBoard; }
    // Publishes the slot as it is now; called wherever a client's call could see it.
    void PublishStatus() { FStatusBoard->Publish(FSlot.View()); }
    // Blocked (the window's Block box): every client is turned away until Unblock.
    bool IsBlocked() const { return FSlot.IsBlocked(); }
    void Block();
    void Unblock();

    // The tick: the clock, the time-outs, the pending job, then one step of the poller.
    virtual void ProcessTick();
    // Ticks since the clock was last refreshed, 0..9.
    int TickCount() const { return FTickCount; }
    // Milliseconds the site's clock runs behind the host's (measured by SITETIME).
    qint64 SiteTimeOffset() const { return FSiteTimeOffset; }

    // Points lists and the polling set.
    const TSitePoller &Poller() const { return FPoller; }
    // The poller's mode, measured fetch rate and cycle (lonctl status, POLLSTATUS).
    TPollFigures PollFigures() { return FPoller.Figures(); }
    // The client's points list taken at once; the polling set is rebuilt. Throws
    // TLimitExceeded past a limit, keeping the client's last list.
    bool ReceivePointsList(TSiteClient *client, const QVariant &request);
    void StorePointValue(const QString &address, const QString &value) { FPoller.StorePointValue(address, value); }
    void DecodeCachedPoint(const QString &address, qsizetype cacheIndex)
    {
        FPoller.DecodeCachedPoint(address, cacheIndex);
    }

    // The release once the last client has gone: the interface is closed and the site
    // is freed once pending events are handled (after the tick, when one is running).
    void ScheduleRelease();
    // On its way out: no Connect is handed this site any more.
    bool IsReleasing() const { return FReleasing; }
    // The user closed the site's window: the site goes with it, at once or, while its
    // tick runs, when the tick has ended.
    void CloseWithWindow();

Q_SIGNALS:
    void CaptionChanged(const QString &caption);
    void ClientCountChanged(int count);
    // A progress message for the site's message panel.
    void MessageChanged(const QString &text);
    // Once a second of ticks: the clock shown with the site moves on.
    void ClockRefreshed();
    void BlockedChanged(bool blocked);
    // The site is released: whatever shows it goes too.
    void Releasing();

private:
    friend struct TSiteTestHook;

    // Display
    void ShowSiteCaption();
    void ShowClientCount();
    // Shows the text at once: pending events (and client calls) are handled.
    void ShowMessageText(const QString &text);
    void SetStatusText(const QString &text);

    // Jobs
    void RunPendingJob();
    // Ends the running job: state 2 (done) or 3 (failed), no status text, no job pending.
    void CompleteJob(bool success);
    void RunDisconnect();
    void RunSiteTime();
    void RunSiteStatus();
    QStringList SiteStatusLines() const;
    void RunPointVerify();
    void RunSendData();
    void RunGetAlarms();
    void RunGetSchedule();
    void RunSetSchedule();
    void RunGetTrendData();

    // GETDATA: the driver commands
    void RunDriverCommand();
    bool LockClient();
    bool SendCommand();
    bool BackupStart();
    bool BackupUpdate();
    bool BackupAbort();
    bool RestoreStart();
    bool RestoreStatus();
    bool RestoreUpdate();
    bool RestoreAbort();
    // Device discovery (GETPOINTSLIST) and file read (GETFILE): set the result on success.
    bool DiscoverPoints();
    bool ReadDeviceFile();
    // POLLSTATUS: the poller's mode and figures as the result.
    bool PollStatus();
    // Finds every device and reads its points into entries; the devices are kept in
    // FDevices. False with the error text set when a limit was met.
    bool DiscoverDevices(QStringList &entries);
    // The site's devices by name (GETDEVICESLIST) and one device's points (GETDEVICEPOINTS).
    bool ListDevices();
    bool ListDevicePoints();
    // The addresses of the devices that go by the name (letter case aside).
    QStringList DevicesNamed(const QString &name, const QHash<QString, QString> &names) const;
    // One device's points (deviceKey: "domain:subnet:node" and, from FindDevices, the
    // Neuron ID's characters), appended to entries within the budget.
    TDeviceRecord ReadDevicePoints(const xif::TemplateCatalogue &templates, const QString &deviceKey,
                                   QStringList &entries, TDiscoveryBudget &budget);
    static xif::TemplateCatalogue LoadTemplates();
    // The names file's names of this site's devices, by address.
    QHash<QString, QString> DeviceNames() const;

    // Points lists (job 9), the values of the polling set (job 10) and the disabled
    // state of device objects (job 13)
    bool ReadPointsList(TSiteClient &client, const QVariant &request);
    // Logs (warning) the entries of a new points list that can never be polled.
    void WarnIgnoredEntries(const QStringList &entries) const;
    void RunSendPointsList();
    void RunGetPointsList();
    void RunPointGetDisabled();
    // The address of the request's POINT entry, parsed; false when it does not parse.
    bool ParseRequestedPoint(PointAddress &address) const;
    void PollPoints();
    // The budget mode's pump between ticks: answers taken, fetches started while no job
    // is pending and the site is not locked; nothing while a tick runs (a job's exchange
    // then reads the interface).
    void PumpPoller();
    void StartPollPump();

    // Single reads (job 14) and writes (job 12)
    void RunPointGetValue();
    void RunPointModify();
    // Writes a field of the address's variable from value, or commands the address's
    // device object with stateFlag (1, 0, or -1 for the device's present state) and
    // objectValue; on success stores the written text. True when the write reached the device;
    // a value its field cannot hold is refused before anything is sent, with the reason in
    // `refusal`.
    bool WritePoint(const QString &address, const QString &value, qint32 stateFlag, const QString &objectValue,
                    QString &refusal);
    bool WriteObject(const PointAddress &address, qint32 stateFlag, const QString &objectValue);
    bool WriteField(const PointAddress &address, const QString &value, QString &refusal);

    TSite FSite;
    std::unique_ptr<TniNetworkInterface> FInterface;
    TCommandSlot FSlot;
    TSitePoller FPoller;
    std::shared_ptr<TSiteStatusBoard> FStatusBoard = std::make_shared<TSiteStatusBoard>();
    QTimer FPollPump;
    QList<TSiteClientEntry> FClients;
    int FRemoteClientCount = 0;
    bool FConnected = false;
    bool FWorkingOffline = false;
    QString FInterfaceName;
    QString FLibraryVersion;
    int FTickCount = 0;
    qint64 FSiteTimeOffset = 0;
    // The devices of the last discovery.
    TDeviceCatalogue FDevices;
    // Alarm texts, kept sorted without duplicates; nothing fills it yet.
    QStringList FAlarms;

    int FRunningJob = jobNone;        // the job the tick is running now
    int FTickDepth = 0;               // above 0 while ProcessTick runs: its waits let client calls in
    bool FReleaseScheduled = false;   // the last client left during a tick; released when it ends
    bool FCloseScheduled = false;     // the window was closed during a tick; freed when it ends
    bool FReleasing = false;          // freed once pending events are handled; takes no one new
};
