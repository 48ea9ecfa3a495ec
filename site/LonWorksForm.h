#pragma once
// TLonWorksForm: the window of one site. It owns the site's settings and network
// interface, keeps the site's clients, and runs their commands one at a time on its tick.

#include "site/JobCodes.h"
#include "snvt/PointAddress.h"
#include "site/PointData.h"
#include "site/SiteClient.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QWidget>

class QCheckBox;
class QCloseEvent;
class QLabel;
class QMessageBox;
class QToolBar;
class TSite;
class TniNetworkInterface;

// One attached client: the site Description it connected with and the client itself.
struct TSiteClientEntry
{
    QString Description;
    TSiteClient *Client = nullptr;
};

class TLonWorksForm : public QWidget, public TSiteClient
{
    Q_OBJECT

public:
    explicit TLonWorksForm(QWidget *parent = nullptr);
    ~TLonWorksForm() override;

    // Ticks of 100 ms.
    static constexpr int CommandTimeoutTicks = 150;
    static constexpr int LockTimeoutTicks = 300;
    static constexpr int ClockTicks = 10;

    // Site and clients
    TSite *FSite = nullptr;                     // owned
    TniNetworkInterface *FInterface = nullptr;  // owned
    QList<TSiteClientEntry> FClients;
    int FRemoteClientCount = 0;
    bool FConnected = false;
    bool FWorkingOffline = false;
    QString FInterfaceName;
    QString FLibraryVersion;
    int FTickCount = 0;
    qint64 FSiteTimeOffset = 0;                 // ms the site clock runs behind the host's

    // Command slot and lock
    TSiteClient *FCommandClient = nullptr;      // a driver object, or the form itself while blocked
    int FCommandState = 0;                      // 0 idle, 1 in progress, 2 done, 3 failed
    QString FStatusText;
    QString FErrorText;
    QVariant FResultData;                       // QString, QStringList, QVariantList or QByteArray
    QVariant FRequest;
    int FPendingJob = jobNone;
    int FRunningJob = 0;    // the job the tick is running now (0 between jobs)
    int FTickDepth = 0;          // above 0 while ProcessTick runs: its network waits let client calls in
    bool FReleaseScheduled = false;   // the last client left during a tick; released when it ends
    bool FReleasing = false;          // freed once pending events are handled; takes no one new
    bool FBusy = false;
    int FCommandTimeout = 0;
    bool FLocked = false;
    TSiteClient *FLockOwner = nullptr;
    QString FLockComment;
    int FLockTimeout = 0;

    // Alarm texts, kept sorted without duplicates; nothing fills it yet.
    QStringList FAlarms;
    // Points lists and polling: the union of the clients' points lists, the variables
    // fetched in the current poll cycle, and the poller's state (0, 1, 2, 900 or 901;
    // reset to 0 whenever a job is pending or the site is locked).
    TPointList FPoints;
    TValueCache FValueCache;
    bool FPointsChanged = false;   // the polling set was rebuilt since the poller last looked
    int FPollState = 0;
    int FPollIndex = -1;           // position in FPoints of the point last looked at
    int FPollDelay = 0;            // ticks still to wait in state 901
    QString FPollKey;              // value key of the variable being fetched

    // Components
    QToolBar *ToolBar1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *ClientCountLbl = nullptr;
    QCheckBox *BlockChk = nullptr;
    QWidget *Panel1 = nullptr;
    QLabel *MessagePnl = nullptr;
    QLabel *TimePnl = nullptr;

    // Lifecycle and clients
    virtual void ScheduleRelease();
    // True once the form is on its way out: the main window no longer hands it to a
    // Connect, which gets a new form of the same site instead.
    bool IsReleasing() const { return FReleasing; }
    virtual void AssignSite(const TSite &site);
    virtual void AddClient(TSiteClient *client, const QString &description);
    virtual void RemoveClient(TSiteClient *client);
    virtual bool ConnectClient(TSiteClient *client);
    virtual bool DisconnectClient(TSiteClient *client);
    virtual void RunDisconnect();
    virtual void ShowSiteCaption();
    virtual void ShowClientCount();
    virtual void ShowMessageText(const QString &text);
    bool IsBlocked() const;
    virtual void Block();
    virtual void Unblock();

    // Command slot
    virtual void ResetCommandState();
    virtual void SetCommandState(int state);
    virtual void SetStatusText(const QString &text);
    virtual void SetErrorText(const QString &text);
    virtual void SetPendingJob(int jobCode);
    virtual int CommandStatusFor(TSiteClient *client);
    virtual void ReleaseCommand(TSiteClient *client);
    virtual bool StartCommand(TSiteClient *client, int jobCode, const QVariant &request);
    virtual void ProcessTick();
    virtual void RunPendingJob();
    // Ends the running job: state 2 (done) or 3 (failed), no status text, no job pending.
    void CompleteJob(bool success);

    // Locks and the GETDATA driver commands
    virtual bool IsOnline() const;
    virtual bool LockSite(const QString &comment);
    virtual bool LockClient();
    virtual bool UnlockClient();
    virtual bool SendCommand();
    virtual bool BackupStart();
    virtual bool BackupUpdate();
    virtual bool BackupAbort();
    virtual bool RestoreStart();
    virtual bool RestoreStatus();
    virtual bool RestoreUpdate();
    virtual bool RestoreAbort();
    // Device discovery (GETPOINTSLIST) and file read (GETFILE): replace FResultData on success.
    virtual bool DiscoverPoints();
    virtual bool ReadDeviceFile();

    // Jobs
    virtual void RunDriverCommand();
    virtual void RunSiteTime();
    virtual void RunSiteStatus();
    virtual void RunPointVerify();
    virtual void RunSendData();
    virtual void RunGetAlarms();
    virtual void RunGetSchedule();
    virtual void RunSetSchedule();
    virtual void RunGetTrendData();

    // Points lists (PUTVALUE and job 9), the polling set and its values (job 10), and the
    // disabled state of device objects (job 13)
    virtual bool ReceivePointsList(TSiteClient *client, const QVariant &request);
    virtual void RunSendPointsList();
    virtual void RunGetPointsList();
    virtual void RunPointGetDisabled();
    virtual void ClearPollingSet();
    // The first two brace groups of a point entry: the client's name and the address.
    virtual void SplitPointEntry(const QString &entry, QString &name, QString &address);
    // The address of the request's POINT entry, parsed; false when it does not parse.
    bool ParseRequestedPoint(PointAddress &address);

    // Background polling, one step per tick
    virtual void PollPoints();
    virtual void ClearFreshFlags();
    virtual void ClearValueCache();
    // Records a value for a point of the polling set (ON... stored as TRUE, OFF... as FALSE);
    // nothing while the set has just been rebuilt or when the address is not in it.
    virtual void StorePointValue(const QString &address, const QString &value);
    // Decodes the point from the cache entry at cacheIndex and stores its value.
    virtual void DecodeCachedPoint(const QString &address, qsizetype cacheIndex);

    // Single reads (job 14) and writes (job 12)
    virtual void RunPointGetValue();
    virtual void RunPointModify();
    // Writes a field of the address's variable from value, or commands the address's
    // device object with stateFlag (1, 0, or -1 for the device's present state) and
    // objectValue; on success stores the written text. True when the write reached the device.
    virtual bool WritePoint(const QString &address, const QString &value, qint32 stateFlag,
                            const QString &objectValue);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void BuildComponents();
    void RefreshClock();
    void OnBlockClicked(bool checked);
    QStringList SiteStatusLines() const;
    bool ReadPointsList(TSiteClient &client, const QVariant &request);
    void RebuildPollingSet();
    void PollLookForWork();
    void PollFetch();
    bool WriteObject(const PointAddress &address, qint32 stateFlag, const QString &objectValue);
    bool WriteField(const PointAddress &address, const QString &value);

    QPointer<QMessageBox> FCloseRefusal;
};
