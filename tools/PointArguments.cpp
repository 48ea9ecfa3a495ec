#include "tools/PointArguments.h"

#include "snvt/PointVerify.h"
#include "snvt/FieldLayouts.h"
#include "snvt/LonDefines.h"
#include "snvt/VariableTypes.h"
#include "support/StrLib.h"
#include "tools/Describe.h"
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

void PrintPointEntries(const QStringList &lines, bool json)
{
    QList<TPointEntry> entries;
    for (const QString &line : lines) {
        TPointEntry entry;
        if (ParsePointEntry(line, entry))
            entries.append(entry);
    }
    if (json) {
        QJsonArray array;
        for (const TPointEntry &entry : entries)
            array.append(QJsonObject{{QStringLiteral("address"), entry.Address},
                                     {QStringLiteral("name"), entry.Name},
                                     {QStringLiteral("units"), entry.Units},
                                     {QStringLiteral("writable"), entry.Writable},
                                     {QStringLiteral("kind"), entry.Kind}});
        PrintJson(array);
        return;
    }
    TTable table({QStringLiteral("ADDRESS"), QStringLiteral("NAME"), QStringLiteral("UNITS"),
                  QStringLiteral("WRITABLE"), QStringLiteral("KIND")});
    for (const TPointEntry &entry : entries)
        table.AddRow({entry.Address, entry.Name, entry.Units,
                      entry.Writable ? QStringLiteral("yes") : QStringLiteral("no"), entry.Kind});
    table.Print();
    PrintLine(entries.size() == 1 ? QStringLiteral("1 point")
                                  : QStringLiteral("%1 points").arg(entries.size()));
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
