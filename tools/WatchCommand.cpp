// watch: hands the driver a points list and prints the polled values as they change.
#include "tools/CommandContext.h"
#include "tools/DriverSession.h"
#include "tools/ExitCodes.h"
#include "tools/Interrupt.h"
#include "tools/Output.h"
#include "tools/PointArguments.h"
#include "tools/ProgressLine.h"

#include "support/HostFormat.h"
#include "support/StrLib.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>

#include <algorithm>

namespace {

constexpr int kCollectIntervalMs = 1000;
// The driver's poll cycle is asked for every so many collections (each is a command, and
// commands come before the poller).
constexpr int kCycleEveryRounds = 10;

// " the driver's cycle 21.5 s;", or nothing from a driver that does not say.
QString ObservedCycle(TDriverSession &session, int timeoutMs)
{
    const TDriverAnswer answer =
        session.Run({QStringLiteral("COMMAND=GETDATA"), QStringLiteral("DRIVERCOMMAND=POLLSTATUS")}, timeoutMs);
    if (answer.Type != TDriverAnswer::Done)
        return QString();
    for (const QString &item : answer.Items) {
        if (item.startsWith(QLatin1String("POLLCYCLE=")) && item.mid(10).toDouble() > 0)
            return QStringLiteral(" the driver's cycle %1 s;").arg(item.mid(10));
    }
    return QString();
}

double NonNegativeOption(const TCommandContext &context, const QString &name)
{
    if (!context.IsSet(name))
        return -1;
    bool ok = false;
    const double number = context.Option(name).toDouble(&ok);
    if (!ok || number <= 0 || number > 86400.0 * 365)
        throw UsageError(QStringLiteral("--%1 must be a number above 0, not \"%2\".")
                             .arg(name, context.Option(name)));
    return number;
}

} // namespace

void AddWatchOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        {QStringLiteral("cycles"),
         QStringLiteral("Collect the values N times (once a second), then end."), QStringLiteral("N")},
        {QStringLiteral("seconds"), QStringLiteral("Watch for S seconds, then end."),
         QStringLiteral("S")},
    });
}

int RunWatch(TCommandContext &context)
{
    QStringList addresses;
    QHash<QString, QString> unitsOf;
    for (const QString &text : context.Arguments) {
        const PointAddress address = RequireAddress(text, true);
        if (!addresses.contains(text))
            addresses.append(text);
        unitsOf.insert(text, UnitsForAddress(address, context.Fahrenheit));
    }
    const double cyclesOption = NonNegativeOption(context, QStringLiteral("cycles"));
    if (cyclesOption > 0 && cyclesOption != qint64(cyclesOption))
        throw UsageError(QStringLiteral("--cycles must be a whole number."));
    const qint64 cycles = qint64(cyclesOption);
    const double seconds = NonNegativeOption(context, QStringLiteral("seconds"));

    TProgressLine progress;
    TDriverSession session(progress, context.Bus);
    session.Open(context.Site, context.TimeoutMs);

    const TDriverAnswer sent = session.Put(PointsListRequest(addresses));
    if (sent.Type != TDriverAnswer::Done)
        throw CommandFailed(QStringLiteral("The driver did not take the points list (SENDPOINTSLIST "
                                           "answered %1).").arg(sent.Status));

    const qsizetype addressWidth = std::max_element(addresses.cbegin(), addresses.cend(),
                                                    [](const QString &a, const QString &b) {
                                                        return a.size() < b.size();
                                                    })->size();
    QHash<QString, QString> shown;
    QString cycleText;
    QElapsedTimer watched;
    watched.start();
    for (qint64 cycle = 0; cycles < 0 || cycle < cycles; ++cycle) {
        if (seconds > 0 && watched.elapsed() >= qint64(seconds * 1000))
            break;
        QElapsedTimer round;
        round.start();
        const TDriverAnswer answer = session.RunOrFail({QStringLiteral("COMMAND=GETPOINTSLIST")},
                                                       context.TimeoutMs,
                                                       QStringLiteral("collecting the values"));
        const QHash<QString, QString> values = PolledValues(answer.Items);
        const QDateTime now = QDateTime::currentDateTime();
        for (const QString &address : addresses) {
            const auto found = values.constFind(address);
            if (found == values.constEnd() || (shown.contains(address) && shown.value(address) == *found))
                continue;
            shown.insert(address, *found);
            if (context.Json) {
                PrintJsonLine(QJsonObject{{QStringLiteral("time"), now.toString(Qt::ISODateWithMs)},
                                          {QStringLiteral("address"), address},
                                          {QStringLiteral("value"), *found},
                                          {QStringLiteral("units"), unitsOf.value(address)}});
            } else {
                const QString units = unitsOf.value(address);
                PrintLine(HostLongTime(now.time()) + QStringLiteral("  ")
                          + address.leftJustified(addressWidth) + QStringLiteral("  ") + *found
                          + (units.isEmpty() ? QString() : u' ' + units));
            }
        }
        if (cycles >= 0 && cycle + 1 >= cycles)
            break;
        qint64 wait = kCollectIntervalMs - round.elapsed();
        if (seconds > 0)
            wait = qMin(wait, qint64(seconds * 1000) - watched.elapsed());
        if (cycle % kCycleEveryRounds == kCycleEveryRounds - 1)
            cycleText = ObservedCycle(session, context.TimeoutMs);
        progress.Show(QStringLiteral("Watching %1 point%2;%3 Ctrl-C to end")
                          .arg(addresses.size()).arg(addresses.size() == 1 ? "" : "s").arg(cycleText));
        if (wait > 0 && !SleepUnlessInterrupted(int(wait)))
            break;
    }
    progress.Clear();
    if (Interrupted())
        AcknowledgeInterrupt();

    for (const QString &address : addresses) {
        if (!shown.contains(address))
            WriteErr(QStringLiteral("lonctl watch: no value for %1 yet (the driver polls it once "
                                    "its device answers; check the address with `lonctl read`).\n")
                         .arg(address));
    }
    return ExitSuccess;
}
