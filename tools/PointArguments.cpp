#include "tools/PointArguments.h"

#include "snvt/Catalogue.h"
#include "snvt/PointVerify.h"
#include "snvt/FieldLayouts.h"
#include "snvt/LonDefines.h"
#include "snvt/VariableTypes.h"
#include "support/StrLib.h"
#include "tools/Describe.h"
#include "tools/DriverSession.h"
#include "tools/ExitCodes.h"
#include "tools/Output.h"

#include <QJsonObject>
#include <QLocale>

PointAddress RequireAddress(const QString &text, bool checkBounds)
{
    PointAddress address;
    if (text.contains(u'{') || text.contains(u'}'))
        throw UsageError(QStringLiteral("the point address \"%1\" must not contain braces.").arg(text));
    if (!ParsePointAddress(text, address))
        throw UsageError(QStringLiteral("malformed point address \"%1\": expected "
                                        "domain:subnet:node:index:snvt:offset:type:parameter"
                                        "[,scale[,D-object]] with whole numbers, e.g. "
                                        "0:1:10:1:105:0:3:105.")
                             .arg(text));
    if (checkBounds) {
        const QString message = VerifyPointAddress(text);
        if (!message.isEmpty())
            throw UsageError(QStringLiteral("point address \"%1\": %2").arg(text, message));
    } else if (address.VariableType < 0 || address.VariableType > MaxVariableTypeCode) {
        throw UsageError(QStringLiteral("point address \"%1\": Variable Type in field 7 must be "
                                        "between 0 and %2.")
                             .arg(text).arg(MaxVariableTypeCode));
    }
    return address;
}

void PrintPointEntries(const QStringList &lines, bool json, const QHash<QString, QString> *deviceNames)
{
    const auto deviceOf = [deviceNames](const TPointEntry &entry) {
        const QString device = DeviceOfAddress(entry.Address);
        return deviceNames->value(device, device);
    };
    QList<TPointEntry> entries;
    for (const QString &line : lines) {
        TPointEntry entry;
        if (ParsePointEntry(line, entry))
            entries.append(entry);
    }
    if (json) {
        QJsonArray array;
        for (const TPointEntry &entry : entries) {
            QJsonObject object{{QStringLiteral("address"), entry.Address},
                               {QStringLiteral("name"), entry.Name},
                               {QStringLiteral("units"), entry.Units},
                               {QStringLiteral("writable"), entry.Writable},
                               {QStringLiteral("kind"), entry.Kind}};
            if (deviceNames)
                object.insert(QStringLiteral("device"), deviceOf(entry));
            array.append(object);
        }
        PrintJson(array);
        return;
    }
    QStringList headers{QStringLiteral("ADDRESS"), QStringLiteral("NAME"), QStringLiteral("UNITS"),
                        QStringLiteral("WRITABLE"), QStringLiteral("KIND")};
    if (deviceNames)
        headers.prepend(QStringLiteral("DEVICE"));
    TTable table(headers);
    for (const TPointEntry &entry : entries) {
        QStringList row{entry.Address, entry.Name, entry.Units,
                        entry.Writable ? QStringLiteral("yes") : QStringLiteral("no"), entry.Kind};
        if (deviceNames)
            row.prepend(deviceOf(entry));
        table.AddRow(row);
    }
    table.Print();
    PrintLine(entries.size() == 1 ? QStringLiteral("1 point")
                                  : QStringLiteral("%1 points").arg(entries.size()));
}

TPointEntry NamedPoint(TDriverSession &session, const QString &device, const QString &point, int timeoutMs)
{
    if (device.isEmpty() || point.isEmpty())
        throw UsageError(QStringLiteral("a named point is DEVICE/VARIABLE[.FIELD], e.g. \"Boiler room/nvoTemp\"."));
    const TDriverAnswer answer = session.RunOrFail(
        {QStringLiteral("COMMAND=GETDATA"), QStringLiteral("DRIVERCOMMAND=GETDEVICEPOINTS"),
         QStringLiteral("DEVICE=") + device},
        timeoutMs, QStringLiteral("finding the device \"%1\"").arg(device));
    QList<TPointEntry> entries;
    for (const QString &line : answer.Items.mid(1)) {
        TPointEntry entry;
        if (ParsePointEntry(line, entry))
            entries.append(entry);
    }
    QList<TPointEntry> folded;
    QStringList fields;
    for (const TPointEntry &entry : entries) {
        if (entry.Name == point)
            return entry;
        if (entry.Name.compare(point, Qt::CaseInsensitive) == 0)
            folded.append(entry);
        if (entry.Name.startsWith(point + u'.', Qt::CaseInsensitive))
            fields.append(entry.Name);
    }
    if (folded.size() == 1)
        return folded.first();
    if (!fields.isEmpty())
        throw UsageError(QStringLiteral("%1/%2 has %3 points: name one of %4.")
                             .arg(device, point).arg(fields.size()).arg(fields.join(QStringLiteral(", "))));
    QStringList names;
    for (const TPointEntry &entry : entries)
        names.append(entry.Name);
    throw CommandFailed(QStringLiteral("the device \"%1\" has no point \"%2\"%3")
                            .arg(device, point,
                                 names.isEmpty() ? QStringLiteral(" (it lists none).")
                                                 : QStringLiteral("; its points: %1.").arg(names.join(QStringLiteral(", ")))));
}

QString UnitsForAddress(const PointAddress &address, bool fahrenheit)
{
    if (address.Scale != 0.0 || address.HasObject)
        return QString();
    return FieldUnits(address.SnvtType, address.VariableOffset, address.VariableType,
                      address.Parameter, fahrenheit);
}

TDeviceObject RequireObject(const QString &addressText, const PointAddress &address,
                            const QString &letters)
{
    // The object ranges the driver accepts.
    auto highest = [](QChar letter) {
        switch (letter.unicode()) {
        case u'V': case u'C': return 50;
        case u'I': case u'O': return 12;
        case u'P': return 10;
        default: return 0;
        }
    };
    QStringList allowed;
    for (QChar letter : letters)
        allowed.append(QStringLiteral("%1 1-%2").arg(letter).arg(highest(letter)));
    const QString expected = QStringLiteral("the address must end in \",D-<object>\" with the "
                                            "object one of %1 (e.g. 0:3:5:22:0:0:0:0,0,D-V1).")
                                 .arg(allowed.join(QStringLiteral(", ")));
    if (!address.HasObject)
        throw UsageError(QStringLiteral("\"%1\" names no device object: %2").arg(addressText, expected));
    const QString name = address.ObjectName.toUpper();
    TDeviceObject object;
    object.Letter = name.isEmpty() ? QChar() : name.at(0);
    qint32 number = 0;
    if (name.isEmpty() || !letters.contains(object.Letter) || !ParseInteger(name.mid(1), number)
        || number < 1 || number > highest(object.Letter))
        throw UsageError(QStringLiteral("\"%1\" is not a device object lonctl can address: %2")
                             .arg(address.ObjectName, expected));
    object.Number = number;
    return object;
}

void RequireWritableNumber(const PointAddress &address, const QString &value)
{
    switch (address.VariableType) {
    case VarText: case VarOpaque: case VarDate: case VarTime: case VarDateTime:
        return;
    default:
        break;
    }
    // An enumeration of the catalogue is written by its members' names; the driver checks them.
    if (const SnvtCatalogue::Field *field = SnvtCatalogue::ConversionField(
            address.Parameter, address.VariableOffset, address.VariableType);
        field && field->enumeration >= 0)
        return;
    const QString upper = value.toUpper();
    if (upper.contains(QLatin1String("ON")) || upper.contains(QLatin1String("OFF")))
        return;
    // The number may be followed by units ("12 degF", "50%"), as the driver reads it.
    const QString decimal = QLocale().decimalPoint();
    const QString start = TrimLeadingBlanks(value);
    qsizetype i = (start.startsWith(u'+') || start.startsWith(u'-')) ? 1 : 0;
    if (start.mid(i).startsWith(decimal))
        i += decimal.size();
    if (i < start.size() && start.at(i).isDigit() && start.at(i).unicode() < 128)
        return;
    throw UsageError(QStringLiteral("VALUE \"%1\" is no number (nor ON or OFF): the driver would "
                                    "write it as 0 into this %2 field.")
                         .arg(value, VariableTypeName(address.VariableType)));
}
