#pragma once
// TDriverSession: one driver object of lonworks-driver used for one lonctl command:
// CreateInstance, Setup VERSIONCHECK=1.8, Connect, commands polled through COMMANDSTATUS,
// then Disconnect and Release. Every failure becomes a TLonctlError with a message that
// says what to do.

#include "tools/DriverAnswer.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QStringList>

class TProgressLine;
struct TSiteOptions;

class TDriverSession
{
public:
    static const QString BusName;        // QelLonWorks.QelLonWorksCom
    static const QString FactoryPath;    // /QelLonWorksCom
    static constexpr int PollIntervalMs = 150;

    explicit TDriverSession(TProgressLine &progress);
    ~TDriverSession();   // Close()
    TDriverSession(const TDriverSession &) = delete;
    TDriverSession &operator=(const TDriverSession &) = delete;

    // Creates the driver object and connects it to the site; returns once the driver has
    // opened the network interface (or throws with the driver's connect error).
    void Open(const TSiteOptions &site, int timeoutMs);

    // Starts a command with GetValue (asking again while the driver answers "Waiting for
    // driver...") and polls COMMANDSTATUS until the outcome is known: Done, Failed or Locked.
    // Throws when the time runs out, on Ctrl-C, and when the driver cannot be reached.
    TDriverAnswer Run(const QStringList &request, int timeoutMs);
    // Run, and throw a command failure unless the answer is Done. `what` names the work
    // for the message ("reading the point").
    TDriverAnswer RunOrFail(const QStringList &request, int timeoutMs, const QString &what);
    // PutValue: answered at once.
    TDriverAnswer Put(const QStringList &request);

    // Disconnect (collecting its outcome) and Release; never throws.
    void Close();

    // The message for a LOCKED answer.
    static QString LockedMessage(const QString &comment);

private:
    QDBusMessage Call(const QString &interface, const QString &method, const QVariantList &args,
                      int timeoutMs);
    QVariant CallDevice(const QString &method, const QStringList &request, int timeoutMs);
    void WaitForConnect(const QString &interfaceName, int timeoutMs);

    TProgressLine &FProgress;
    QDBusConnection FBus;
    QString FPath;
    bool FConnected = false;
    bool FBusLost = false;
};
