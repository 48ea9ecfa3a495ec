#pragma once
// TSiteSession: one driver object of lonworks-driver connected to one site, driven without
// blocking from the event loop: CreateInstance, Setup VERSIONCHECK=1.8, Connect and its
// outcome; commands started with GetValue (asked again while the driver answers "Waiting
// for driver...") and polled through COMMANDSTATUS until done, failed or locked; PutValue;
// Disconnect and Release. One operation at a time; each ends in exactly one of its two
// callbacks, unless Abort() drops it.

#include "client/DriverAnswer.h"
#include "client/DriverBus.h"
#include "client/SiteSettings.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

// Why an operation of the session failed, with a message for the user.
struct TSessionError
{
    enum Kind {
        NoBus,            // the bus cannot be reached
        NoDriver,         // the first call failed: no driver, activation failed, a stranger
        AccessDenied,     // the bus refused the call (the system bus: not in group lonworks)
        Lost,             // a later call failed: the driver stopped or left the bus
        LimitsExceeded,   // the driver turned the call away by one of its limits; the object lives
        VersionRefused,   // Setup VERSIONCHECK=1.8 answered false
        ConnectRefused,   // Connect answered false (the site is blocked)
        ConnectFailed,    // the connect's outcome was FALSE (the interface did not open)
        Locked,           // the site is locked by another client (while connecting)
        TimedOut,         // the driver did not finish in time
        Invalid,          // an answer that is no answer of the driver
    };
    Kind Type = Lost;
    bool Connecting = false;   // it happened while the session was being opened
    QString Message;           // a whole sentence for the user
    QString DriverText;        // COMMANDERROR or the lock comment, when the driver gave one
    QString LastStatus;        // the last progress text of a command that timed out
};

class TSiteSession : public QObject
{
    Q_OBJECT
public:
    static const QString BusName;        // QelLonWorks.QelLonWorksCom
    static const QString FactoryPath;    // /QelLonWorksCom
    static constexpr int DefaultPollIntervalMs = 150;

    using Finished = std::function<void()>;
    using Answered = std::function<void(const TDriverAnswer &)>;
    using Failed = std::function<void(const TSessionError &)>;

    // A driver on the given connection (the session bus by default, or a test's own bus).
    explicit TSiteSession(const QDBusConnection &bus = QDBusConnection::sessionBus(),
                          QObject *parent = nullptr);
    // The driver on the session or the system bus; messages name that bus and what to do.
    explicit TSiteSession(TDriverBus bus, QObject *parent = nullptr);
    // Releases the object without waiting for the answer.
    ~TSiteSession() override;

    // The pause between two COMMANDSTATUS polls.
    void SetPollInterval(int ms) { FPollIntervalMs = ms; }
    // How long a single D-Bus call may take before the driver counts as lost.
    void SetCallTimeout(int ms) { FCallTimeoutMs = ms; }
    // Each D-Bus call waits for its reply (the callbacks then run inside the operation's
    // start or the poll timer): for a program that waits for the outcome anyway, such as
    // lonctl. Otherwise calls are asynchronous and their replies come through the event loop.
    void SetBlockingCalls(bool blocking) { FBlockingCalls = blocking; }

    bool Busy() const { return FBusy; }
    bool IsOpen() const { return FConnected && !FLost; }
    QString ObjectPath() const { return FPath; }
    // The unique bus name of the driver that made the object (empty before Open).
    QString DriverName() const { return FDriverName; }
    const QDBusConnection &Connection() const { return FBus; }
    TDriverBus Bus() const { return FBusKind; }

    // Creates the driver object and connects it to the site; `opened` once the driver has
    // opened the network interface.
    void Open(const TSiteSettings &site, int timeoutMs, Finished opened, Failed failed);
    // Runs a command to its outcome: `answered` with Done, Failed or Locked.
    void Run(const QStringList &request, int timeoutMs, Answered answered, Failed failed);
    // PutValue: answered at once.
    void Put(const QStringList &request, Answered answered, Failed failed);
    // Disconnect (collecting its outcome) and Release; `closed` in every case.
    void Close(Finished closed);
    // Drops the operation under way: none of its callbacks is called.
    void Abort();

    // The message for a LOCKED answer.
    static QString LockedMessage(const QString &comment);

Q_SIGNALS:
    // What the driver is doing (a COMMANDSTATUS progress text, or the session's own step).
    void Progress(const QString &text);

private:
    using Replied = std::function<void(const QDBusMessage &)>;

    void Call(const QString &interface, const QString &method, const QVariantList &args,
              int timeoutMs, Replied replied);
    void CallDevice(const QString &method, const QStringList &request, Replied replied);
    // The reply's first argument, or a failure (Lost or LimitsExceeded) through `failed`.
    bool TakeReply(const QDBusMessage &reply, const QString &method, QVariant &value);
    void Poll(const QStringList &request, qint64 deadline, int timeoutMs);
    void Fail(TSessionError error);
    void Succeed();
    void Answer(const TDriverAnswer &answer);
    void Begin(Failed failed);
    void ReleaseObject(Finished closed);
    void AwaitDisconnect(qint64 deadline, Finished closed);

    QDBusConnection FBus;
    TDriverBus FBusKind = TDriverBus::Session;
    QString FPath;
    QString FDriverName;   // the unique bus name of the driver that made the object
    int FPollIntervalMs = DefaultPollIntervalMs;
    int FCallTimeoutMs = 60000;
    bool FBlockingCalls = false;
    bool FConnected = false;
    bool FLost = false;
    bool FBusy = false;
    bool FOpening = false;
    quint64 FGeneration = 0;   // bumped by Abort: replies of dropped operations are ignored
    QString FLastStatus;
    // The command under way: taken into the site's command slot; how often it was sent
    // again after a failure without a reason (a client connecting or disconnecting takes the
    // slot at once and drops whatever command was in it).
    bool FTaken = false;
    int FRestarts = 0;
    Finished FOnFinished;
    Answered FOnAnswered;
    Failed FOnFailed;
};
