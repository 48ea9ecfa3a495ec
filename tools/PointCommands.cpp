// discover, read, write, disabled and file: the site commands that work on points and
// devices.
#include "tools/CommandContext.h"
#include "tools/DriverSession.h"
#include "tools/ExitCodes.h"
#include "tools/HexText.h"
#include "tools/Output.h"
#include "tools/PointArguments.h"
#include "tools/ProgressLine.h"

#include "client/DeviceEntries.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QSaveFile>

#include <cstdio>

namespace {

const QString kClientPointName = QStringLiteral("lonctl");
const QString kModifyFailure = QStringLiteral("Could not modify point.");

QString ValueOf(const QStringList &items, const QString &key)
{
    for (const QString &item : items) {
        if (item.startsWith(key + u'='))
            return item.mid(key.size() + 1);
    }
    return QString();
}

void RequireNoBraces(const QString &what, const QString &text)
{
    if (text.contains(u'{') || text.contains(u'}'))
        throw UsageError(QStringLiteral("%1 must not contain braces: \"%2\".").arg(what, text));
}

int BoundedOption(const TCommandContext &context, const QString &name, int low, int high)
{
    if (!context.IsSet(name))
        throw UsageError(QStringLiteral("--%1 is required (%2-%3).").arg(name).arg(low).arg(high));
    bool ok = false;
    const int value = context.Option(name).toInt(&ok);
    if (!ok || value < low || value > high)
        throw UsageError(QStringLiteral("--%1 must be a whole number from %2 to %3, not \"%4\".")
                             .arg(name).arg(low).arg(high).arg(context.Option(name)));
    return value;
}

// The point argument as an address: given as one, or named "device/variable[.field]" and
// looked up through the driver, which opens the session (named is then true). An address
// is checked by the caller before the session opens, so a malformed one fails at once.
TPointEntry PointArgument(const TCommandContext &context, TDriverSession &session, bool &named)
{
    const QString text = context.Arguments.at(0);
    QString device, point;
    named = SplitNamedPoint(text, device, point);
    if (!named)
        return TPointEntry{text, {}, {}, false, {}};
    RequireNoBraces(QStringLiteral("the point name"), text);
    session.Open(context.Site, context.TimeoutMs);
    return NamedPoint(session, device, point, context.TimeoutMs);
}

} // namespace

int RunDiscover(TCommandContext &context)
{
    TProgressLine progress;
    TDriverSession session(progress, context.Bus);
    session.Open(context.Site, context.TimeoutMs);
    const TDriverAnswer answer = session.RunOrFail(
        {QStringLiteral("COMMAND=GETDATA"), QStringLiteral("DRIVERCOMMAND=GETPOINTSLIST")},
        context.TimeoutMs, QStringLiteral("discovering the network"));
    // The names of the devices just found (a driver without device names answers no list).
    const TDriverAnswer devices = session.Run(
        {QStringLiteral("COMMAND=GETDATA"), QStringLiteral("DRIVERCOMMAND=GETDEVICESLIST")}, context.TimeoutMs);
    const QHash<QString, QString> names = devices.Type == TDriverAnswer::Done
                                              ? DeviceNamesByAddress(ParseDeviceEntries(devices.Items))
                                              : QHash<QString, QString>();
    PrintPointEntries(answer.Items, context.Json, &names);
    return ExitSuccess;
}

int RunRead(TCommandContext &context)
{
    TProgressLine progress;
    TDriverSession session(progress, context.Bus);
    bool named = false;
    const TPointEntry entry = PointArgument(context, session, named);
    const QString addressText = entry.Address;
    const PointAddress address = RequireAddress(addressText, true);
    if (!named)
        session.Open(context.Site, context.TimeoutMs);
    const TDriverAnswer answer = session.RunOrFail(
        {QStringLiteral("COMMAND=POINTGETVALUE"),
         QStringLiteral("POINT=") + RequestEntry(kClientPointName, addressText)},
        context.TimeoutMs, QStringLiteral("reading the point (is the device on the network and "
                                          "the site online?)"));
    const QString value = ValueOf(answer.Items, QStringLiteral("VALUE"));
    const QString units = named ? entry.Units : UnitsForAddress(address, context.Fahrenheit);
    if (context.Json)
        PrintJson(QJsonObject{{QStringLiteral("address"), addressText},
                              {QStringLiteral("value"), value},
                              {QStringLiteral("units"), units}});
    else
        PrintLine(units.isEmpty() ? value : value + u' ' + units);
    return ExitSuccess;
}

void AddWriteOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        {QStringLiteral("object-value"),
         QStringLiteral("Value for a device object (address ending in D-<object>)."),
         QStringLiteral("V")},
        {QStringLiteral("state"),
         QStringLiteral("State of the device object: on or off (default: keep the present state)."),
         QStringLiteral("on|off")},
    });
}

int RunWrite(TCommandContext &context)
{
    TProgressLine progress;
    TDriverSession session(progress, context.Bus);
    bool named = false;
    const QString addressText = PointArgument(context, session, named).Address;
    const PointAddress address = RequireAddress(addressText, true);
    const bool objectForm = context.IsSet(QStringLiteral("object-value"));
    QString value;
    QString state;
    QString objectValue;
    if (address.HasObject) {
        RequireObject(addressText, address, QStringLiteral("VCIOP"));
        if (!objectForm || context.Arguments.size() > 1)
            throw UsageError(QStringLiteral("\"%1\" names the device object %2: write it with "
                                            "--object-value V [--state on|off], without VALUE.")
                                 .arg(addressText, address.ObjectName));
        objectValue = context.Option(QStringLiteral("object-value"));
        if (objectValue.isEmpty())
            throw UsageError(QStringLiteral("--object-value is empty: give the object's value."));
        RequireNoBraces(QStringLiteral("--object-value"), objectValue);
        if (context.IsSet(QStringLiteral("state"))) {
            const QString word = context.Option(QStringLiteral("state")).toLower();
            if (word == QLatin1String("on") || word == QLatin1String("true"))
                state = QStringLiteral("TRUE");
            else if (word == QLatin1String("off") || word == QLatin1String("false"))
                state = QStringLiteral("FALSE");
            else
                throw UsageError(QStringLiteral("--state must be on or off, not \"%1\".")
                                     .arg(context.Option(QStringLiteral("state"))));
        }
    } else {
        if (objectForm || context.IsSet(QStringLiteral("state")))
            throw UsageError(QStringLiteral("--object-value and --state are for device objects "
                                            "(addresses ending in D-<object>); \"%1\" names an "
                                            "ordinary point: give VALUE.").arg(addressText));
        if (context.Arguments.size() < 2 || context.Arguments.at(1).isEmpty())
            throw UsageError(QStringLiteral("missing argument: write needs ADDRESS VALUE."));
        value = context.Arguments.at(1);
        RequireNoBraces(QStringLiteral("VALUE"), value);
        RequireWritableNumber(address, value);
    }
    if (!named)
        session.Open(context.Site, context.TimeoutMs);

    const TDriverAnswer answer = session.Run(
        {QStringLiteral("COMMAND=POINTMODIFY"),
         QStringLiteral("POINT=") + RequestEntry(kClientPointName, addressText,
                                                 {QStringLiteral("VALUE=") + value, state,
                                                  QStringLiteral("OBJECTVALUE=") + objectValue})},
        context.TimeoutMs);
    // The driver names a value its field cannot hold after its usual failure text.
    if (answer.Type == TDriverAnswer::Failed && answer.Error.startsWith(kModifyFailure + u' '))
        throw CommandFailed(QStringLiteral("The driver refused the value, nothing was written: %1")
                                .arg(answer.Error.mid(kModifyFailure.size() + 1)));
    TDriverSession::RequireDone(answer, QStringLiteral("writing the point (does the device answer, "
                                                       "is the site online?)"));
    if (context.Json) {
        QJsonObject object{{QStringLiteral("address"), addressText},
                           {QStringLiteral("written"), true}};
        if (address.HasObject) {
            object.insert(QStringLiteral("objectValue"), objectValue);
            object.insert(QStringLiteral("state"), state.isEmpty() ? QStringLiteral("kept")
                                                                   : state.toLower());
        } else {
            object.insert(QStringLiteral("value"), value);
        }
        PrintJson(object);
    } else if (address.HasObject) {
        PrintLine(QStringLiteral("Commanded object %1 at %2: value %3, state %4.")
                      .arg(address.ObjectName, addressText, objectValue,
                           state.isEmpty() ? QStringLiteral("kept")
                                           : (state == QLatin1String("TRUE") ? QStringLiteral("on")
                                                                             : QStringLiteral("off"))));
    } else {
        PrintLine(QStringLiteral("Wrote %1 to %2.").arg(value, addressText));
    }
    return ExitSuccess;
}

int RunDisabled(TCommandContext &context)
{
    const QString addressText = context.Arguments.at(0);
    const PointAddress address = RequireAddress(addressText, true);
    RequireObject(addressText, address, QStringLiteral("VIOP"));
    TProgressLine progress;
    TDriverSession session(progress, context.Bus);
    session.Open(context.Site, context.TimeoutMs);
    const TDriverAnswer answer = session.RunOrFail(
        {QStringLiteral("COMMAND=POINTGETDISABLED"),
         QStringLiteral("POINT=") + RequestEntry(kClientPointName, addressText)},
        context.TimeoutMs, QStringLiteral("reading the object's state (does the device answer?)"));
    const QString flag = ValueOf(answer.Items, QStringLiteral("DISABLED"));
    if (flag != QLatin1String("TRUE") && flag != QLatin1String("FALSE"))
        throw CommandFailed(QStringLiteral("The driver answered without DISABLED=TRUE or FALSE."));
    const bool disabled = flag == QLatin1String("TRUE");
    if (context.Json)
        PrintJson(QJsonObject{{QStringLiteral("address"), addressText},
                              {QStringLiteral("object"), address.ObjectName},
                              {QStringLiteral("disabled"), disabled}});
    else
        PrintLine(QStringLiteral("%1 is %2.").arg(address.ObjectName,
                                                  disabled ? QStringLiteral("disabled")
                                                           : QStringLiteral("enabled")));
    return ExitSuccess;
}

void AddFileOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        {QStringLiteral("domain"), QStringLiteral("Domain index of the device (0 or 1)."), QStringLiteral("D")},
        {QStringLiteral("subnet"), QStringLiteral("Subnet of the device (1-255)."), QStringLiteral("S")},
        {QStringLiteral("node"), QStringLiteral("Node of the device (1-127)."), QStringLiteral("N")},
        {QStringLiteral("file-index"), QStringLiteral("Index of the file in the device (0-65535)."),
         QStringLiteral("F")},
        {QStringLiteral("request-var"),
         QStringLiteral("Index of the device's file request variable (0-4095)."), QStringLiteral("V")},
        {{QStringLiteral("o"), QStringLiteral("output")},
         QStringLiteral("Write the file's bytes to FILE (\"-\" for stdout) instead of a hex dump."),
         QStringLiteral("FILE")},
    });
}

int RunFile(TCommandContext &context)
{
    const int domain = BoundedOption(context, QStringLiteral("domain"), 0, 1);
    const int subnet = BoundedOption(context, QStringLiteral("subnet"), 1, 255);
    const int node = BoundedOption(context, QStringLiteral("node"), 1, 127);
    const int fileIndex = BoundedOption(context, QStringLiteral("file-index"), 0, 65535);
    const int requestVar = BoundedOption(context, QStringLiteral("request-var"), 0, 4095);
    const QString output = context.Option(QStringLiteral("output"));
    if (context.IsSet(QStringLiteral("output")) && output != QLatin1String("-")) {
        const QFileInfo target(output);
        if (output.isEmpty() || target.isDir() || !target.absoluteDir().exists())
            throw UsageError(QStringLiteral("cannot write the file to \"%1\": give a file name in "
                                            "an existing folder.").arg(output));
    }

    TProgressLine progress;
    TDriverSession session(progress, context.Bus);
    session.Open(context.Site, context.TimeoutMs);
    const TDriverAnswer answer = session.RunOrFail(
        {QStringLiteral("COMMAND=GETDATA"), QStringLiteral("DRIVERCOMMAND=GETFILE"),
         QStringLiteral("DOMAIN=%1").arg(domain), QStringLiteral("SUBNET=%1").arg(subnet),
         QStringLiteral("NODE=%1").arg(node), QStringLiteral("FILEINDEX=%1").arg(fileIndex),
         QStringLiteral("FILEREQVAR=%1").arg(requestVar)},
        context.TimeoutMs, QStringLiteral("reading the file"));
    const QString device = QStringLiteral("%1:%2:%3").arg(domain).arg(subnet).arg(node);
    // The driver reports a file that never came as an empty file.
    if (!answer.IsBytes || answer.Bytes.isEmpty())
        throw CommandFailed(QStringLiteral("No file came from device %1 (file index %2, request "
                                           "variable %3): the device did not answer, or it has no "
                                           "such file.")
                                .arg(device).arg(fileIndex).arg(requestVar));
    const QByteArray &bytes = answer.Bytes;

    if (output == QLatin1String("-")) {
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
        std::fflush(stdout);
    } else if (context.IsSet(QStringLiteral("output"))) {
        QSaveFile file(output);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
            throw CommandFailed(QStringLiteral("Cannot write \"%1\": %2.").arg(output, file.errorString()));
        if (context.Json)
            PrintJson(QJsonObject{{QStringLiteral("device"), device},
                                  {QStringLiteral("fileIndex"), fileIndex},
                                  {QStringLiteral("size"), bytes.size()},
                                  {QStringLiteral("output"), output}});
        else
            PrintLine(QStringLiteral("Wrote %1 bytes to %2.").arg(bytes.size()).arg(output));
    } else if (context.Json) {
        PrintJson(QJsonObject{{QStringLiteral("device"), device},
                              {QStringLiteral("fileIndex"), fileIndex},
                              {QStringLiteral("size"), bytes.size()},
                              {QStringLiteral("hex"), QString::fromLatin1(bytes.toHex().toUpper())}});
    } else {
        for (const QString &line : HexDump(bytes))
            PrintLine(line);
        PrintLine(QStringLiteral("%1 bytes from device %2, file %3.")
                      .arg(bytes.size()).arg(device).arg(fileIndex));
    }
    return ExitSuccess;
}
