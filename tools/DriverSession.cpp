#include "tools/DriverSession.h"

#include "tools/ExitCodes.h"
#include "tools/Interrupt.h"
#include "tools/ProgressLine.h"
#include "tools/SiteOptions.h"

#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QThread>

const QString TDriverSession::BusName = QStringLiteral("QelLonWorks.QelLonWorksCom");
const QString TDriverSession::FactoryPath = QStringLiteral("/QelLonWorksCom");

namespace {

const QString kDeviceInterface = QStringLiteral("QelDevice.IQelDeviceDriver");
const QString kFactoryInterface = QStringLiteral("QelLonWorks.ClassFactory");
const QString kObjectInterface = QStringLiteral("QelLonWorks.Object");
constexpr int kCallTimeoutMs = 60000;
constexpr int kCloseTimeoutMs = 10000;

const QString kStartHint = QStringLiteral(
    "Start it with `lonworks-driver &`, or register it once with `lonworks-driver -regserver` "
    "so that D-Bus starts it when a client calls.");

QString SecondsText(int ms)
{
    return QString::number(ms / 1000.0, 'g', 4) + QStringLiteral(" s");
}

// The message for an error of the first call, when nothing is known about the driver yet.
TLonctlError FirstCallError(const QDBusMessage &reply)
{
    const QString name = reply.errorName();
    const QString message = reply.errorMessage();
    if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")
        || name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
        return Unreachable(QStringLiteral("The LonWorks driver is not running on the session bus "
                                          "and is not registered for D-Bus activation (nobody owns %1). ")
                               .arg(TDriverSession::BusName)
                           + kStartHint);
    if (name.startsWith(QLatin1String("org.freedesktop.DBus.Error.Spawn")))
        return Unreachable(QStringLiteral("D-Bus could not start the registered driver (%1). Register "
                                          "it again with `lonworks-driver -regserver`, or start "
                                          "`lonworks-driver &` yourself.")
                               .arg(message));
    if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply")
        || name == QLatin1String("org.freedesktop.DBus.Error.Timeout"))
        return Unreachable(QStringLiteral("The driver did not answer (%1). If `lonworks-driver` is "
                                          "hanging, end it and start it again.")
                               .arg(message));
    if (name.startsWith(QLatin1String("org.freedesktop.DBus.Error.Unknown")))
        return Unreachable(QStringLiteral("The program that owns %1 is not a LonWorks driver that "
                                          "lonctl understands (%2).")
                               .arg(TDriverSession::BusName, message));
    return Unreachable(QStringLiteral("Calling the driver failed: %1 (%2).").arg(message, name));
}

} // namespace

TDriverSession::TDriverSession(TProgressLine &progress)
    : FProgress(progress), FBus(QDBusConnection::sessionBus())
{
}

TDriverSession::~TDriverSession()
{
    // Also runs while an error unwinds the command: closing must never throw from here.
    try {
        Close();
    } catch (...) {
    }
}

QString TDriverSession::LockedMessage(const QString &comment)
{
    return QStringLiteral("The site is locked by another client (%1). Try again once it is "
                          "unlocked; an idle lock lapses 30 s after its owner's last command.")
        .arg(comment.isEmpty() ? QStringLiteral("no comment") : comment);
}

QDBusMessage TDriverSession::Call(const QString &interface, const QString &method,
                                  const QVariantList &args, int timeoutMs)
{
    const QString path = interface == kFactoryInterface ? FactoryPath : FPath;
    QDBusMessage call = QDBusMessage::createMethodCall(BusName, path, interface, method);
    call.setArguments(args);
    return FBus.call(call, QDBus::Block, timeoutMs);
}

QVariant TDriverSession::CallDevice(const QString &method, const QStringList &request,
                                    int timeoutMs)
{
    const QDBusMessage reply = Call(kDeviceInterface, method,
                                    {QVariant::fromValue(QDBusVariant(request))}, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        FBusLost = true;
        FProgress.Clear();
        throw Unreachable(QStringLiteral("Lost contact with the driver during %1 (%2). If "
                                         "`lonworks-driver` has stopped, start it again.")
                              .arg(method, reply.errorMessage()));
    }
    return reply.arguments().constFirst();
}

void TDriverSession::Open(const TSiteOptions &site, int timeoutMs)
{
    if (!FBus.isConnected())
        throw Unreachable(QStringLiteral("Cannot reach the D-Bus session bus (%1). lonctl talks to "
                                         "the driver over the session bus: run it in a desktop or "
                                         "login session, or start one with `dbus-run-session -- "
                                         "$SHELL`.")
                              .arg(FBus.lastError().message()));

    FProgress.Show(QStringLiteral("Contacting the driver..."));
    const QDBusMessage created = Call(kFactoryInterface, QStringLiteral("CreateInstance"), {},
                                      kCallTimeoutMs);
    if (created.type() != QDBusMessage::ReplyMessage || created.arguments().isEmpty()) {
        FProgress.Clear();
        throw FirstCallError(created);
    }
    FPath = created.arguments().constFirst().value<QDBusObjectPath>().path();
    if (FPath.isEmpty())
        throw Unreachable(QStringLiteral("The driver answered CreateInstance without an object."));

    if (!CallDevice(QStringLiteral("Setup"), {QStringLiteral("VERSIONCHECK=1.8")}, kCallTimeoutMs)
             .toBool())
        throw CommandFailed(QStringLiteral("The driver refused VERSIONCHECK=1.8: it is not the "
                                           "LonWorks Network Driver V1.80 that lonctl works with."));

    FProgress.Show(QStringLiteral("Connecting to %1...").arg(site.Interface));
    if (!CallDevice(QStringLiteral("Connect"), site.ConnectRequest(), kCallTimeoutMs).toBool())
        throw CommandFailed(QStringLiteral("The driver refused to connect site \"%1\": the site is "
                                           "blocked (its Block box is checked in the driver's "
                                           "window). Uncheck Block and try again.")
                                .arg(site.Description));
    FConnected = true;
    WaitForConnect(site.Interface, timeoutMs);
}

void TDriverSession::WaitForConnect(const QString &interfaceName, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const TDriverAnswer answer = ReadDriverAnswer(
            CallDevice(QStringLiteral("GetValue"), {QStringLiteral("COMMAND=COMMANDSTATUS")},
                       kCallTimeoutMs));
        switch (answer.Type) {
        case TDriverAnswer::Done:
            FProgress.Clear();
            return;
        case TDriverAnswer::Failed:
            FProgress.Clear();
            throw CommandFailed(
                (answer.Error.isEmpty() ? QStringLiteral("The driver could not connect the site.")
                                        : answer.Error + (answer.Error.endsWith(u'.') ? "" : "."))
                + QStringLiteral(" Check --interface \"%1\": LON1 is the built-in simulated "
                                 "network; lon0, lon1, ... are LON network devices (USB "
                                 "interfaces; see `lonctl interfaces`); other names come from "
                                 "the interfaces file (LDV_INTERFACES) or are network "
                                 "descriptions on LONSIM_PATH.")
                      .arg(interfaceName));
        case TDriverAnswer::Locked:
            FProgress.Clear();
            throw CommandFailed(LockedMessage(answer.Error));
        case TDriverAnswer::Invalid:
            FProgress.Clear();
            throw Unreachable(QStringLiteral("The driver gave an answer lonctl does not understand."));
        default:
            break;
        }
        if (clock.elapsed() > timeoutMs) {
            FProgress.Clear();
            throw CommandFailed(QStringLiteral("The driver did not finish connecting within %1. "
                                               "Try a longer --timeout.")
                                    .arg(SecondsText(timeoutMs)));
        }
        if (!SleepUnlessInterrupted(PollIntervalMs))
            throw TLonctlError(ExitInterrupted, QStringLiteral("Interrupted."));
    }
}

TDriverAnswer TDriverSession::Run(const QStringList &request, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    bool started = false;
    QString lastStatus;
    for (;;) {
        const QStringList sent = started ? QStringList{QStringLiteral("COMMAND=COMMANDSTATUS")}
                                         : request;
        const TDriverAnswer answer = ReadDriverAnswer(
            CallDevice(QStringLiteral("GetValue"), sent, kCallTimeoutMs));
        switch (answer.Type) {
        case TDriverAnswer::Done:
        case TDriverAnswer::Failed:
        case TDriverAnswer::Locked:
            FProgress.Clear();
            return answer;
        case TDriverAnswer::Invalid:
            FProgress.Clear();
            throw Unreachable(QStringLiteral("The driver gave an answer lonctl does not understand."));
        case TDriverAnswer::Waiting:
            // Before our command was taken this means "ask again"; after, the slot is ours
            // and the answer only says the driver is still busy.
            break;
        case TDriverAnswer::Running:
            started = true;
            break;
        }
        lastStatus = answer.Status;
        FProgress.Show(answer.Status);
        if (clock.elapsed() > timeoutMs) {
            FProgress.Clear();
            throw CommandFailed(QStringLiteral("The driver did not finish within %1 (last status: "
                                               "%2). Try a longer --timeout.")
                                    .arg(SecondsText(timeoutMs), lastStatus));
        }
        if (!SleepUnlessInterrupted(PollIntervalMs)) {
            FProgress.Clear();
            throw TLonctlError(ExitInterrupted, QStringLiteral("Interrupted."));
        }
    }
}

TDriverAnswer TDriverSession::RunOrFail(const QStringList &request, int timeoutMs,
                                        const QString &what)
{
    const TDriverAnswer answer = Run(request, timeoutMs);
    if (answer.Type == TDriverAnswer::Locked)
        throw CommandFailed(LockedMessage(answer.Error));
    if (answer.Type != TDriverAnswer::Done)
        throw CommandFailed(answer.Error.isEmpty()
                                ? QStringLiteral("The driver reported a failure %1 and gave no "
                                                 "reason.").arg(what)
                                : QStringLiteral("The driver reported a failure %1: %2")
                                      .arg(what, answer.Error));
    return answer;
}

TDriverAnswer TDriverSession::Put(const QStringList &request)
{
    return ReadDriverAnswer(CallDevice(QStringLiteral("PutValue"), request, kCallTimeoutMs));
}

void TDriverSession::Close()
{
    FProgress.Clear();
    if (FPath.isEmpty() || FBusLost || !FBus.isConnected())
        return;
    const QVariant noRequest = QVariant::fromValue(QDBusVariant(QStringList()));
    if (FConnected) {
        FConnected = false;
        const QDBusMessage reply = Call(kDeviceInterface, QStringLiteral("Disconnect"), {noRequest},
                                        kCloseTimeoutMs);
        // Collect the disconnect's outcome, so that the slot is free for the next client.
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
            && reply.arguments().constFirst().toBool()) {
            QElapsedTimer clock;
            clock.start();
            while (clock.elapsed() < kCloseTimeoutMs) {
                const QDBusMessage status = Call(
                    kDeviceInterface, QStringLiteral("GetValue"),
                    {QVariant::fromValue(QDBusVariant(QStringList{QStringLiteral("COMMAND=COMMANDSTATUS")}))},
                    kCloseTimeoutMs);
                if (status.type() != QDBusMessage::ReplyMessage || status.arguments().isEmpty())
                    break;
                const TDriverAnswer answer = ReadDriverAnswer(status.arguments().constFirst());
                if (answer.Type != TDriverAnswer::Running && answer.Type != TDriverAnswer::Waiting)
                    break;
                QThread::msleep(PollIntervalMs);
            }
        }
    }
    Call(kObjectInterface, QStringLiteral("Release"), {}, kCloseTimeoutMs);
    FPath.clear();
}
