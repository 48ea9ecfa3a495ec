#pragma once
// TCommandSlot: the one command slot of a site and the site's lock. The clients of a site
// take turns through it: who holds the slot, the job pending and its outcome (state,
// progress and error texts, result), the lock with its owner and comment, and the two
// time-outs that drop a result nobody collects and end a lock nobody uses. While the
// site is blocked (its window's Block box) the site itself holds the slot and the lock.

#include "site/CommandSlotView.h"
#include "site/JobCodes.h"

#include <QString>
#include <QVariant>

class TSiteClient;

class TCommandSlot
{
public:
    // Ticks of 100 ms.
    static constexpr int CommandTimeoutTicks = 150;
    static constexpr int LockTimeoutTicks = 300;

    // site: the client that stands for the site itself while it is blocked.
    explicit TCommandSlot(TSiteClient *site);

    // FCommandClient: a driver object, the site itself while blocked, or none.
    TSiteClient *CommandClient() const { return FCommandClient; }
    // FCommandState: 0 idle, 1 in progress, 2 finished with success, 3 failed.
    int CommandState() const { return FCommandState; }
    const QString &StatusText() const { return FStatusText; }
    const QString &ErrorText() const { return FErrorText; }
    // A QString, QStringList, QVariantList or QByteArray.
    const QVariant &ResultData() const { return FResultData; }
    const QVariant &Request() const { return FRequest; }
    int PendingJob() const { return FPendingJob; }
    // A job is pending, the poller waits on the network, or the site is blocked.
    bool IsBusy() const { return FBusy; }
    int CommandTimeout() const { return FCommandTimeout; }
    bool IsLocked() const { return FLocked; }
    TSiteClient *LockOwner() const { return FLockOwner; }
    const QString &LockComment() const { return FLockComment; }
    int LockTimeout() const { return FLockTimeout; }
    bool IsBlocked() const { return FBlocked; }

    // State 0, status and error text empty.
    void ResetCommandState();
    void SetCommandState(int state);
    void SetStatusText(const QString &text) { FStatusText = text; }
    void SetErrorText(const QString &text) { FErrorText = text; }
    void SetResultData(const QVariant &data) { FResultData = data; }
    // A job code other than 0 makes the site busy; 0 ends the job: the result waits
    // CommandTimeoutTicks for its client, and a lock LockTimeoutTicks for its owner.
    void SetPendingJob(int jobCode);
    void SetBusy(bool busy) { FBusy = busy; }

    // The client takes the slot (a Connect or Disconnect of its own).
    void Take(TSiteClient *client) { FCommandClient = client; }
    // The slot's side of StartCommand: the job's progress text, an empty result, the
    // request, the client, the job pending and state 1.
    void Start(TSiteClient *client, int jobCode, const QVariant &request);
    // FCommandState for the holder, for anyone while the slot is free and for the lock's
    // owner; 4 for the others while the site is locked, else -1.
    int CommandStatusFor(const TSiteClient *client) const { return View().StatusFor(client); }
    // What a status poll reads of the slot, as one value.
    TCommandSlotView View() const;
    // Frees the slot when the client holds it (its answer was collected).
    void ReleaseCommand(const TSiteClient *client);
    // A released client gives up the slot and the lock: its address could be handed to
    // the next driver object created.
    void Forget(const TSiteClient *client);

    // Locks the site for the slot's holder with comment; false when it is locked already.
    bool LockSite(const QString &comment);
    // Ends the lock; refused (false) while the site is blocked.
    bool UnlockClient();
    // The Block box: the site holds its own slot and lock until Unblock.
    void Block();
    void Unblock();

    // One tick of the time-outs: an uncollected result is dropped (not while blocked) and
    // an idle lock ends.
    void CountDown();

private:
    TSiteClient *const FSite;
    TSiteClient *FCommandClient = nullptr;
    int FCommandState = 0;
    QString FStatusText;
    QString FErrorText;
    QVariant FResultData;
    QVariant FRequest;
    int FPendingJob = jobNone;
    bool FBusy = false;
    int FCommandTimeout = 0;
    bool FLocked = false;
    TSiteClient *FLockOwner = nullptr;
    QString FLockComment;
    int FLockTimeout = 0;
    bool FBlocked = false;
};
