#include "client/SiteSession.h"

#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QDateTime>
#include <QTimer>

const QString TSiteSession::BusName = QStringLiteral("QelLonWorks.QelLonWorksCom");
const QString TSiteSession::FactoryPath = QStringLiteral("/QelLonWorksCom");

namespace {

const QString kDeviceInterface = QStringLiteral("QelDevice.IQelDeviceDriver");
const QString kFactoryInterface = QStringLiteral("QelLonWorks.ClassFactory");
const QString kObjectInterface = QStringLiteral("QelLonWorks.Object");
const QString kLimitsExceeded = QStringLiteral("org.freedesktop.DBus.Error.LimitsExceeded");
constexpr int kCloseTimeoutMs = 10000;
// A command dropped by other clients' connects is sent again at most this often.
constexpr int kMaxRestarts = 3;

const QString kStartHint = QStringLiteral(
    "Start it with `lonworks-driver &`, or register it once with `lonworks-driver -regserver` "
    "so that D-Bus starts it when a client calls.");
const QString kSystemHint = QStringLiteral(
    "On the system bus the driver is a system service: install the lonworks-driver package "
    "(the bus then starts it on the first call) and see `systemctl status lonworks-driver`.");

qint64 Now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

TSessionError Error(TSessionError::Kind kind, const QString &message)
{
    TSessionError error;
    error.Type = kind;
    error.Message = message;
    return error;
}

// The error of the first call, when nothing is known about the driver yet.
TSessionError FirstCallError(const QDBusMessage &reply, TDriverBus bus)
{
    const QString name = reply.errorName();
    const QString message = reply.errorMessage();
    const bool system = bus == TDriverBus::System;
    if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")
        || name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
        return Error(TSessionError::NoDriver,
                     QStringLiteral("The LonWorks driver is not running on the %1 bus and is "
                                    "not registered for D-Bus activation (nobody owns %2). ")
                             .arg(DriverBusName(bus), TSiteSession::BusName)
                         + (system ? kSystemHint : kStartHint));
    if (name == QLatin1String("org.freedesktop.DBus.Error.AccessDenied"))
        return Error(TSessionError::AccessDenied,
                     system ? QStringLiteral("The system bus refused the call (%1). Only root and "
                                             "the members of the group lonworks may call the driver "
                                             "there: `sudo adduser $USER lonworks`, then log in again.")
                                  .arg(message)
                            : QStringLiteral("The bus refused the call: %1.").arg(message));
    if (name.startsWith(QLatin1String("org.freedesktop.DBus.Error.Spawn")))
        return Error(TSessionError::NoDriver,
                     system ? QStringLiteral("D-Bus could not start the driver's system service (%1). "
                                             "See `journalctl -u lonworks-driver`.")
                                  .arg(message)
                            : QStringLiteral("D-Bus could not start the registered driver (%1). "
                                             "Register it again with `lonworks-driver -regserver`, "
                                             "or start `lonworks-driver &` yourself.")
                                  .arg(message));
    if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply")
        || name == QLatin1String("org.freedesktop.DBus.Error.Timeout"))
        return Error(TSessionError::NoDriver,
                     QStringLiteral("The driver did not answer (%1). If `lonworks-driver` is "
                                    "hanging, end it and start it again.")
                         .arg(message));
    if (name == kLimitsExceeded)
        return Error(TSessionError::LimitsExceeded,
                     QStringLiteral("The driver refused a new driver object: %1").arg(message));
    if (name.startsWith(QLatin1String("org.freedesktop.DBus.Error.Unknown")))
        return Error(TSessionError::NoDriver,
                     QStringLiteral("The program that owns %1 is not a LonWorks driver that this "
                                    "client understands (%2).")
                         .arg(TSiteSession::BusName, message));
    return Error(TSessionError::NoDriver,
                 QStringLiteral("Calling the driver failed: %1 (%2).").arg(message, name));
}

QVariant Request(const QStringList &request)
{
    return QVariant::fromValue(QDBusVariant(request));
}

} // namespace

TSiteSession::TSiteSession(const QDBusConnection &bus, QObject *parent)
    : QObject(parent), FBus(bus)
{
}

TSiteSession::TSiteSession(TDriverBus bus, QObject *parent)
    : QObject(parent), FBus(DriverBusConnection(bus)), FBusKind(bus)
{
}

TSiteSession::~TSiteSession()
{
    // The driver also drops the object when this connection leaves the bus; releasing it
    // here frees it at once for a program that goes on.
    if (!FPath.isEmpty() && !FLost && FBus.isConnected()) {
        QDBusMessage release = QDBusMessage::createMethodCall(FDriverName.isEmpty() ? BusName : FDriverName,
                                                              FPath, kObjectInterface,
                                                              QStringLiteral("Release"));
        release.setAutoStartService(false);
        FBus.send(release);
    }
}

QString TSiteSession::LockedMessage(const QString &comment)
{
    return QStringLiteral("The site is locked by another client (%1). Try again once it is "
                          "unlocked; an idle lock lapses 30 s after its owner's last command.")
        .arg(comment.isEmpty() ? QStringLiteral("no comment") : comment);
}

void TSiteSession::Call(const QString &interface, const QString &method, const QVariantList &args,
                        int timeoutMs, Replied replied)
{
    const bool factory = interface == kFactoryInterface;
    const QString path = factory ? FactoryPath : FPath;
    // The object's calls go to the driver that made it: after a restart another driver
    // may have an object at the same path, and the call must fail instead of reaching it.
    const QString service = factory || FDriverName.isEmpty() ? BusName : FDriverName;
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(args);
    if (FBlockingCalls) {
        replied(FBus.call(call, QDBus::Block, timeoutMs));
        return;
    }
    auto *watcher = new QDBusPendingCallWatcher(FBus.asyncCall(call, timeoutMs), this);
    const quint64 generation = FGeneration;
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher, generation, replied = std::move(replied)] {
                watcher->deleteLater();
                if (generation == FGeneration)
                    replied(watcher->reply());
            });
}

void TSiteSession::CallDevice(const QString &method, const QStringList &request, Replied replied)
{
    Call(kDeviceInterface, method, {Request(request)}, FCallTimeoutMs, std::move(replied));
}

bool TSiteSession::TakeReply(const QDBusMessage &reply, const QString &method, QVariant &value)
{
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
        value = reply.arguments().constFirst();
        return true;
    }
    if (reply.errorName() == kLimitsExceeded) {
        Fail(Error(TSessionError::LimitsExceeded,
                   QStringLiteral("The driver turned %1 away: %2").arg(method, reply.errorMessage())));
        return false;
    }
    FLost = true;
    Fail(Error(TSessionError::Lost,
               QStringLiteral("Lost contact with the driver during %1 (%2). If `lonworks-driver` "
                              "has stopped, start it again.")
                   .arg(method, reply.errorMessage())));
    return false;
}

void TSiteSession::Begin(Failed failed)
{
    Q_ASSERT(!FBusy);
    FBusy = true;
    FOnFailed = std::move(failed);
    FOnFinished = nullptr;
    FOnAnswered = nullptr;
    FLastStatus.clear();
    FTaken = false;
    FRestarts = 0;
}

void TSiteSession::Fail(TSessionError error)
{
    error.Connecting = FOpening;
    FOpening = false;
    FBusy = false;
    Failed failed = std::move(FOnFailed);
    FOnFailed = nullptr;
    FOnFinished = nullptr;
    FOnAnswered = nullptr;
    if (failed)
        failed(error);
}

void TSiteSession::Succeed()
{
    FOpening = false;
    FBusy = false;
    Finished finished = std::move(FOnFinished);
    FOnFailed = nullptr;
    FOnFinished = nullptr;
    FOnAnswered = nullptr;
    if (finished)
        finished();
}

void TSiteSession::Answer(const TDriverAnswer &answer)
{
    Answered answered = std::move(FOnAnswered);
    FOnAnswered = nullptr;
    if (FOpening) {
        // The connect's outcome: its handler ends the open with Succeed or Fail.
        answered(answer);
        return;
    }
    FBusy = false;
    FOnFailed = nullptr;
    FOnFinished = nullptr;
    FOnAnswered = nullptr;
    if (answered)
        answered(answer);
}

void TSiteSession::Abort()
{
    ++FGeneration;
    FBusy = false;
    FOpening = false;
    FOnFailed = nullptr;
    FOnFinished = nullptr;
    FOnAnswered = nullptr;
}

void TSiteSession::Open(const TSiteSettings &site, int timeoutMs, Finished opened, Failed failed)
{
    Begin(std::move(failed));
    FOpening = true;
    if (!FBus.isConnected()) {
        Fail(Error(TSessionError::NoBus, FBus.lastError().message()));
        return;
    }
    const qint64 deadline = Now() + timeoutMs;
    Q_EMIT Progress(QStringLiteral("Contacting the driver..."));
    Call(kFactoryInterface, QStringLiteral("CreateInstance"), {}, FCallTimeoutMs,
         [this, site, deadline, timeoutMs, opened = std::move(opened)](const QDBusMessage &created) mutable {
             if (created.type() != QDBusMessage::ReplyMessage || created.arguments().isEmpty()) {
                 Fail(FirstCallError(created, FBusKind));
                 return;
             }
             FPath = created.arguments().constFirst().value<QDBusObjectPath>().path();
             FDriverName = created.service();
             if (FPath.isEmpty()) {
                 Fail(Error(TSessionError::Invalid,
                            QStringLiteral("The driver answered CreateInstance without an object.")));
                 return;
             }
             CallDevice(QStringLiteral("Setup"), {QStringLiteral("VERSIONCHECK=1.8")},
                        [this, site, deadline, timeoutMs, opened = std::move(opened)](const QDBusMessage &reply) mutable {
                 QVariant accepted;
                 if (!TakeReply(reply, QStringLiteral("Setup"), accepted))
                     return;
                 if (!accepted.toBool()) {
                     Fail(Error(TSessionError::VersionRefused,
                                QStringLiteral("The driver refused VERSIONCHECK=1.8: it is not the "
                                               "LonWorks Network Driver V1.80 that this client "
                                               "works with.")));
                     return;
                 }
                 Q_EMIT Progress(QStringLiteral("Connecting to %1...").arg(site.Interface));
                 CallDevice(QStringLiteral("Connect"), site.ConnectRequest(),
                            [this, site, deadline, timeoutMs, opened = std::move(opened)](const QDBusMessage &reply) mutable {
                     QVariant started;
                     if (!TakeReply(reply, QStringLiteral("Connect"), started))
                         return;
                     if (!started.toBool()) {
                         Fail(Error(TSessionError::ConnectRefused,
                                    QStringLiteral("The driver refused to connect site \"%1\": the "
                                                   "site is blocked (its Block box is checked in the "
                                                   "driver's window). Uncheck Block and try again.")
                                        .arg(site.Description)));
                         return;
                     }
                     FConnected = true;
                     // The connect's outcome comes with the first COMMANDSTATUS polls.
                     FOnAnswered = [this, opened = std::move(opened)](const TDriverAnswer &answer) mutable {
                         if (answer.Type == TDriverAnswer::Done) {
                             FOnFinished = std::move(opened);
                             Succeed();
                             return;
                         }
                         TSessionError error;
                         error.DriverText = answer.Error;
                         if (answer.Type == TDriverAnswer::Locked) {
                             error.Type = TSessionError::Locked;
                             error.Message = LockedMessage(answer.Error);
                         } else {
                             error.Type = TSessionError::ConnectFailed;
                             error.Message = answer.Error.isEmpty()
                                 ? QStringLiteral("The driver could not connect the site.")
                                 : answer.Error + (answer.Error.endsWith(u'.') ? "" : ".");
                         }
                         Fail(error);
                     };
                     FTaken = true;
                     Poll({QStringLiteral("COMMAND=COMMANDSTATUS")}, deadline, timeoutMs);
                 });
             });
         });
}

void TSiteSession::Run(const QStringList &request, int timeoutMs, Answered answered, Failed failed)
{
    Begin(std::move(failed));
    FOnAnswered = std::move(answered);
    Poll(request, Now() + timeoutMs, timeoutMs);
}

void TSiteSession::Poll(const QStringList &request, qint64 deadline, int timeoutMs)
{
    const QStringList sent = FTaken ? QStringList{QStringLiteral("COMMAND=COMMANDSTATUS")} : request;
    CallDevice(QStringLiteral("GetValue"), sent, [this, request, deadline, timeoutMs](const QDBusMessage &reply) {
        QVariant value;
        if (!TakeReply(reply, QStringLiteral("GetValue"), value))
            return;
        const TDriverAnswer answer = ReadDriverAnswer(value);
        QStringList next = request;
        switch (answer.Type) {
        case TDriverAnswer::Failed:
            if (FTaken && answer.Error.isEmpty() && FRestarts < kMaxRestarts) {
                // Without a reason this may be a command that another client's connect or
                // disconnect dropped from the slot (the driver then answers our poll as if
                // nothing were under way): send it again; a real failure repeats itself. A
                // connect whose outcome was dropped is checked with SITESTATUS, which an
                // unconnected object fails.
                ++FRestarts;
                FTaken = false;
                if (FOpening)
                    next = QStringList{QStringLiteral("COMMAND=SITESTATUS")};
                break;
            }
            Answer(answer);
            return;
        case TDriverAnswer::Done:
        case TDriverAnswer::Locked:
            Answer(answer);
            return;
        case TDriverAnswer::Invalid:
            Fail(Error(TSessionError::Invalid,
                       QStringLiteral("The driver gave an answer this client does not understand.")));
            return;
        case TDriverAnswer::Waiting:
            // Before our command was taken this means "ask again"; after, the slot is held
            // by another client or the driver is still busy.
            break;
        case TDriverAnswer::Running:
            FTaken = true;
            break;
        }
        if (answer.Type != TDriverAnswer::Failed) {
            FLastStatus = answer.Status;
            Q_EMIT Progress(answer.Status);
        }
        if (Now() > deadline) {
            TSessionError error = Error(
                TSessionError::TimedOut,
                QStringLiteral("The driver did not finish within %1 s (last status: %2).")
                    .arg(QString::number(timeoutMs / 1000.0, 'g', 4), FLastStatus));
            error.LastStatus = FLastStatus;
            Fail(error);
            return;
        }
        const quint64 generation = FGeneration;
        QTimer::singleShot(FPollIntervalMs, this, [this, next, deadline, timeoutMs, generation] {
            if (generation == FGeneration)
                Poll(next, deadline, timeoutMs);
        });
    });
}

void TSiteSession::Put(const QStringList &request, Answered answered, Failed failed)
{
    Begin(std::move(failed));
    FOnAnswered = std::move(answered);
    CallDevice(QStringLiteral("PutValue"), request, [this](const QDBusMessage &reply) {
        QVariant value;
        if (TakeReply(reply, QStringLiteral("PutValue"), value))
            Answer(ReadDriverAnswer(value));
    });
}

void TSiteSession::Close(Finished closed)
{
    Abort();
    if (FPath.isEmpty() || FLost || !FBus.isConnected()) {
        FConnected = false;
        if (closed)
            closed();
        return;
    }
    FBusy = true;
    if (!FConnected) {
        ReleaseObject(std::move(closed));
        return;
    }
    FConnected = false;
    Call(kDeviceInterface, QStringLiteral("Disconnect"), {Request({})}, kCloseTimeoutMs,
         [this, closed = std::move(closed)](const QDBusMessage &reply) mutable {
             // Collect the disconnect's outcome, so that the slot is free for the next client.
             if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
                 && reply.arguments().constFirst().toBool())
                 AwaitDisconnect(Now() + kCloseTimeoutMs, std::move(closed));
             else
                 ReleaseObject(std::move(closed));
         });
}

void TSiteSession::AwaitDisconnect(qint64 deadline, Finished closed)
{
    Call(kDeviceInterface, QStringLiteral("GetValue"), {Request({QStringLiteral("COMMAND=COMMANDSTATUS")})},
         kCloseTimeoutMs, [this, deadline, closed = std::move(closed)](const QDBusMessage &status) mutable {
             if (status.type() != QDBusMessage::ReplyMessage || status.arguments().isEmpty()) {
                 ReleaseObject(std::move(closed));
                 return;
             }
             const TDriverAnswer answer = ReadDriverAnswer(status.arguments().constFirst());
             if ((answer.Type != TDriverAnswer::Running && answer.Type != TDriverAnswer::Waiting)
                 || Now() > deadline) {
                 ReleaseObject(std::move(closed));
                 return;
             }
             QTimer::singleShot(FPollIntervalMs, this, [this, deadline, closed = std::move(closed)]() mutable {
                 AwaitDisconnect(deadline, std::move(closed));
             });
         });
}

void TSiteSession::ReleaseObject(Finished closed)
{
    Call(kObjectInterface, QStringLiteral("Release"), {}, kCloseTimeoutMs,
         [this, closed = std::move(closed)](const QDBusMessage &) {
             FPath.clear();
             FDriverName.clear();
             FBusy = false;
             if (closed)
                 closed();
         });
}
