#pragma once
// TDriverSession: one driver object of lonworks-driver used for one lonctl command. It waits
// for the shared client session (client/SiteSession) step by step, shows the driver's
// progress on the terminal, stops on Ctrl-C, and turns every failure into a TLonctlError
// with a message that says what to do. The driver is reached on the bus it is given.

#include "client/DriverAnswer.h"
#include "client/SiteSession.h"

#include <QString>
#include <QStringList>

#include <functional>

class TProgressLine;

class TDriverSession
{
public:
    TDriverSession(TProgressLine &progress, TDriverBus bus);
    ~TDriverSession();   // Close()
    TDriverSession(const TDriverSession &) = delete;
    TDriverSession &operator=(const TDriverSession &) = delete;

    // Creates the driver object and connects it to the site; returns once the driver has
    // opened the network interface (or throws with the driver's connect error).
    void Open(const TSiteSettings &site, int timeoutMs);

    // Starts a command and waits for its outcome: Done, Failed or Locked. Throws when the
    // time runs out, on Ctrl-C, and when the driver cannot be reached.
    TDriverAnswer Run(const QStringList &request, int timeoutMs);
    // Run, and throw a command failure unless the answer is Done. `what` names the work
    // for the message ("reading the point").
    TDriverAnswer RunOrFail(const QStringList &request, int timeoutMs, const QString &what);
    // Throws the command failure RunOrFail throws, unless the answer is Done.
    static void RequireDone(const TDriverAnswer &answer, const QString &what);
    // PutValue: answered at once.
    TDriverAnswer Put(const QStringList &request);

    // Disconnect (collecting its outcome) and Release; never throws.
    void Close();

    // The message for a LOCKED answer.
    static QString LockedMessage(const QString &comment) { return TSiteSession::LockedMessage(comment); }

private:
    // Starts an operation of the session and runs the event loop until it ends; rethrows
    // its failure as a TLonctlError.
    using Start = std::function<void(TSiteSession::Finished ended, TSiteSession::Failed failed)>;
    void Wait(const Start &start);

    TProgressLine &FProgress;
    TSiteSession FSession;
    QString FInterface;
    int FOpenTimeoutMs = 0;
};
