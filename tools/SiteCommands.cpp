// status, time, verify, lock and unlock: the site commands that need no points.
#include "client/SiteCommands.h"
#include "tools/CommandContext.h"
#include "tools/Describe.h"
#include "tools/DriverSession.h"
#include "tools/ExitCodes.h"
#include "tools/Interrupt.h"
#include "tools/Output.h"
#include "tools/PointArguments.h"
#include "tools/ProgressLine.h"

#include "support/StrLib.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>

namespace {

// The lock lapses 30 s after its owner's last finished command; a command every 10 s keeps it.
constexpr int kLockKeepAliveMs = 10000;

QStringList WithoutTrailingEmpty(QStringList items)
{
    while (!items.isEmpty() && items.constLast().isEmpty())
        items.removeLast();
    return items;
}

QString ValueOf(const QStringList &items, const QString &key)
{
    for (const QString &item : items) {
        if (item.startsWith(key + u'='))
            return item.mid(key.size() + 1);
    }
    return QString();
}

QStringList LockRequest(const QString &driverCommand)
{
    return {QStringLiteral("COMMAND=GETDATA"), QStringLiteral("DRIVERCOMMAND=") + driverCommand};
}

void Unlock(TDriverSession &session, int timeoutMs)
{
    const TDriverAnswer answer = session.Run(LockRequest(QStringLiteral("UNLOCKCLIENT")), timeoutMs);
    if (answer.Type == TDriverAnswer::Locked)
        throw CommandFailed(TDriverSession::LockedMessage(answer.Error));
    if (answer.Type != TDriverAnswer::Done)
        throw CommandFailed(QStringLiteral("The driver refused to unlock the site: it is blocked "
                                           "(its Block box is checked in the driver's window)."));
}

// The poller's mode and figures (GETDATA POLLSTATUS); empty from a driver without them.
QJsonObject PollingFigures(TDriverSession &session, int timeoutMs)
{
    const TPollFigures figures = ReadPollFigures(session.Run(PollStatusRequest(), timeoutMs));
    if (!figures.Known)
        return {};
    return QJsonObject{{QStringLiteral("mode"), figures.Mode},
                       {QStringLiteral("fetchesPerSecond"), figures.FetchesPerSecond},
                       {QStringLiteral("cycleSeconds"), figures.CycleSeconds},
                       {QStringLiteral("inFlight"), figures.InFlight},
                       {QStringLiteral("stoppedPoints"), figures.StoppedPoints}};
}

void PrintPolling(const QJsonObject &polling)
{
    if (polling.isEmpty())
        return;
    const double cycle = polling.value(QStringLiteral("cycleSeconds")).toDouble();
    PrintLine(QString());
    PrintLine(QStringLiteral("Polling: ") + polling.value(QStringLiteral("mode")).toString());
    PrintLine(QStringLiteral("Measured: %1 fetches/s, last cycle %2, %3 stopped point(s)")
                  .arg(polling.value(QStringLiteral("fetchesPerSecond")).toDouble(), 0, 'f', 1)
                  .arg(cycle > 0 ? QString::number(cycle, 'f', 1) + QStringLiteral(" s") : QStringLiteral("not yet"))
                  .arg(polling.value(QStringLiteral("stoppedPoints")).toInt()));
}

} // namespace

int RunStatus(TCommandContext &context)
{
    TProgressLine progress;
    TDriverSession session(progress, context.Bus);
    session.Open(context.Site, context.TimeoutMs);
    const QStringList lines = WithoutTrailingEmpty(
        session.RunOrFail({QStringLiteral("COMMAND=SITESTATUS")}, context.TimeoutMs,
                          QStringLiteral("reading the site status")).Items);
    // An offline site answers its description and "Offline" alone.
    const bool online = !(lines.size() == 2 && lines.at(1) == QLatin1String("Offline"));
    // An online site whose interface the library has lost (an adapter unplugged) says so
    // after the interface's name.
    const bool lost = std::any_of(lines.cbegin(), lines.cend(), [](const QString &line) {
        return line.startsWith(QLatin1String("LON Device Name: ")) && line.contains(QLatin1String(" - interface lost ("));
    });
    const QJsonObject polling = online ? PollingFigures(session, context.TimeoutMs) : QJsonObject();

    if (context.Json) {
        QJsonObject fields;
        for (const QString &line : lines) {
            const qsizetype colon = line.indexOf(QStringLiteral(": "));
            if (colon > 0)
                fields.insert(line.left(colon), line.mid(colon + 2).trimmed());
        }
        QJsonObject status{{QStringLiteral("site"), context.Site.Description},
                           {QStringLiteral("online"), online},
                           {QStringLiteral("interfaceLost"), lost},
                           {QStringLiteral("fields"), fields},
                           {QStringLiteral("lines"), QJsonArray::fromStringList(lines)}};
        if (!polling.isEmpty())
            status.insert(QStringLiteral("polling"), polling);
        PrintJson(status);
    } else if (!online) {
        PrintLine(QStringLiteral("Site: ") + lines.at(0));
        PrintLine(QStringLiteral("Offline"));
    } else {
        for (const QString &line : lines)
            PrintLine(line);
    }
    if (!context.Json)
        PrintPolling(polling);
    return ExitSuccess;
}

int RunTime(TCommandContext &context)
{
    TProgressLine progress;
    TDriverSession session(progress, context.Bus);
    session.Open(context.Site, context.TimeoutMs);
    const TDriverAnswer answer = session.RunOrFail({QStringLiteral("COMMAND=SITETIME")},
                                                   context.TimeoutMs,
                                                   QStringLiteral("reading the site time"));
    const QString time = ValueOf(answer.Items, QStringLiteral("SITETIME"));
    if (context.Json)
        PrintJson(QJsonObject{{QStringLiteral("site"), context.Site.Description},
                              {QStringLiteral("siteTime"), time}});
    else
        PrintLine(time);
    return ExitSuccess;
}

void AddVerifyOptions(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("name"),
                      QStringLiteral("The point's name, echoed by the driver."),
                      QStringLiteral("NAME")});
}

int RunVerify(TCommandContext &context)
{
    const QString addressText = context.Arguments.at(0);
    const QString name = context.Option(QStringLiteral("name"));
    TProgressLine progress;
    TDriverSession session(progress, context.Bus);
    session.Open(context.Site, context.TimeoutMs);
    const TDriverAnswer answer = session.Run({QStringLiteral("COMMAND=POINTVERIFY"),
                                              QStringLiteral("POINTNAME=") + name,
                                              QStringLiteral("POINTADDRESS=") + addressText},
                                             context.TimeoutMs);
    if (answer.Type == TDriverAnswer::Locked)
        throw CommandFailed(TDriverSession::LockedMessage(answer.Error));
    const bool valid = answer.Type == TDriverAnswer::Done;

    PointAddress address;
    ParsePointAddress(addressText, address);
    const QStringList fieldNames{
        QStringLiteral("domain"), QStringLiteral("subnet"), QStringLiteral("node"),
        QStringLiteral("index"), QStringLiteral("snvt"), QStringLiteral("offset"),
        QStringLiteral("type"), QStringLiteral("parameter"), QStringLiteral("scale"),
        QStringLiteral("object")};
    const QStringList fieldValues{
        QString::number(address.Domain), QString::number(address.Subnet),
        QString::number(address.Node), QString::number(address.VariableIndex),
        QString::number(address.SnvtType), QString::number(address.VariableOffset),
        QStringLiteral("%1 (%2)").arg(address.VariableType).arg(VariableTypeName(address.VariableType)),
        QString::number(address.Parameter),
        address.Scale == 0.0 ? QStringLiteral("none") : FormatFixed(address.Scale, 4),
        address.HasObject ? address.ObjectName : QStringLiteral("none")};

    if (context.Json) {
        QJsonObject object{{QStringLiteral("valid"), valid},
                           {QStringLiteral("address"), addressText},
                           {QStringLiteral("name"), valid ? ValueOf(answer.Items, QStringLiteral("POINTNAME")) : name}};
        if (valid) {
            object.insert(QStringLiteral("fields"), QJsonObject{
                {QStringLiteral("domain"), address.Domain},
                {QStringLiteral("subnet"), address.Subnet},
                {QStringLiteral("node"), address.Node},
                {QStringLiteral("index"), address.VariableIndex},
                {QStringLiteral("snvt"), address.SnvtType},
                {QStringLiteral("offset"), address.VariableOffset},
                {QStringLiteral("type"), address.VariableType},
                {QStringLiteral("typeName"), VariableTypeName(address.VariableType)},
                {QStringLiteral("parameter"), address.Parameter},
                {QStringLiteral("scale"), address.Scale},
                {QStringLiteral("object"), address.HasObject ? QJsonValue(address.ObjectName)
                                                             : QJsonValue()}});
        } else {
            object.insert(QStringLiteral("message"), answer.Error);
        }
        PrintJson(object);
    } else if (valid) {
        PrintLine(QStringLiteral("Valid point address: ") + addressText);
        TTable table({QStringLiteral("FIELD"), QStringLiteral("VALUE")});
        for (qsizetype i = 0; i < fieldNames.size(); ++i)
            table.AddRow({fieldNames.at(i), fieldValues.at(i)});
        table.Print();
    }
    if (!valid)
        throw CommandFailed(answer.Error.isEmpty()
                                ? QStringLiteral("The driver found the address invalid.")
                                : answer.Error);
    return ExitSuccess;
}

void AddLockOptions(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("seconds"),
                      QStringLiteral("Hold the lock this long, then unlock and end (default: "
                                     "until Ctrl-C)."),
                      QStringLiteral("S")});
}

int RunLock(TCommandContext &context)
{
    const QString comment = context.Arguments.value(0);
    double seconds = -1;
    if (context.IsSet(QStringLiteral("seconds"))) {
        bool ok = false;
        seconds = context.Option(QStringLiteral("seconds")).toDouble(&ok);
        if (!ok || seconds < 0 || seconds > 86400 * 365)
            throw UsageError(QStringLiteral("--seconds must be a number of seconds (0 or more), "
                                            "not \"%1\".").arg(context.Option(QStringLiteral("seconds"))));
    }
    TProgressLine progress;
    TDriverSession session(progress, context.Bus);
    session.Open(context.Site, context.TimeoutMs);
    const TDriverAnswer answer = session.Run(
        LockRequest(QStringLiteral("LOCKCLIENT")) << QStringLiteral("LOCKCOMMENT=") + comment,
        context.TimeoutMs);
    if (answer.Type == TDriverAnswer::Locked)
        throw CommandFailed(TDriverSession::LockedMessage(answer.Error));
    if (answer.Type != TDriverAnswer::Done)
        throw CommandFailed(QStringLiteral("The site is already locked (by another client, or by "
                                           "the Block box in the driver's window)."));

    if (context.Json)
        PrintJsonLine(QJsonObject{{QStringLiteral("site"), context.Site.Description},
                                  {QStringLiteral("locked"), true},
                                  {QStringLiteral("comment"), comment}});
    else
        PrintLine(QStringLiteral("Site \"%1\" locked%2. %3")
                      .arg(context.Site.Description,
                           comment.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(comment),
                           seconds < 0 ? QStringLiteral("Holding the lock until Ctrl-C.")
                                       : QStringLiteral("Holding the lock for %1 s.").arg(seconds)));

    QElapsedTimer held;
    held.start();
    QElapsedTimer sinceKeepAlive;
    sinceKeepAlive.start();
    while (seconds < 0 || held.elapsed() < qint64(seconds * 1000)) {
        const qint64 untilEnd = seconds < 0 ? kLockKeepAliveMs : qint64(seconds * 1000) - held.elapsed();
        if (!SleepUnlessInterrupted(int(qMin<qint64>(qMin<qint64>(untilEnd, kLockKeepAliveMs), 200))))
            break;
        if (sinceKeepAlive.elapsed() >= kLockKeepAliveMs) {
            session.RunOrFail({QStringLiteral("COMMAND=SITETIME")}, context.TimeoutMs,
                              QStringLiteral("keeping the lock"));
            sinceKeepAlive.restart();
        }
    }
    if (Interrupted())
        AcknowledgeInterrupt();

    Unlock(session, context.TimeoutMs);
    if (context.Json)
        PrintJsonLine(QJsonObject{{QStringLiteral("site"), context.Site.Description},
                                  {QStringLiteral("locked"), false}});
    else
        PrintLine(QStringLiteral("Site \"%1\" unlocked.").arg(context.Site.Description));
    return ExitSuccess;
}

int RunUnlock(TCommandContext &context)
{
    TProgressLine progress;
    TDriverSession session(progress, context.Bus);
    session.Open(context.Site, context.TimeoutMs);
    Unlock(session, context.TimeoutMs);
    if (context.Json)
        PrintJson(QJsonObject{{QStringLiteral("site"), context.Site.Description},
                              {QStringLiteral("locked"), false}});
    else
        PrintLine(QStringLiteral("Site \"%1\" unlocked.").arg(context.Site.Description));
    return ExitSuccess;
}
