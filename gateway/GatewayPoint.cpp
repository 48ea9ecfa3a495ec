#include "gateway/GatewayPoint.h"

#include "client/PointEntries.h"
#include "gateway/GatewayConfig.h"
#include "snvt/FieldLayouts.h"
#include "support/StrLib.h"

namespace {

// Fields 5, 7 and 8 of an address (SNVT type, variable type, parameter).
void ReadTypeFields(TGatewayPoint &point)
{
    const QStringList fields = point.Address.section(u',', 0, 0).split(u':');
    qint32 value = 0;
    if (fields.size() == 8) {
        if (ParseInteger(fields.at(4), value))
            point.SnvtType = value;
        if (ParseInteger(fields.at(6), value))
            point.VariableType = value;
        if (ParseInteger(fields.at(7), value))
            point.Parameter = value;
    }
    point.Device = DeviceOfAddress(point.Address);
}

// The kind of a point that discovery did not describe, from how its bytes are read.
QString KindOf(const TGatewayPoint &point)
{
    switch (point.VariableType) {
    case 5:
    case 8:
        return QStringLiteral("String");
    case 9:
    case 10:
    case 11:
        return QStringLiteral("DateTime");
    case 7: {
        const int mask = point.Parameter & 0xFF;
        return mask != 0 && (mask & (mask - 1)) == 0 ? QStringLiteral("Digital") : QStringLiteral("Analog");
    }
    default:
        return point.Parameter == 95 ? QStringLiteral("Digital") : QStringLiteral("Analog");
    }
}

} // namespace

TGatewayPoint PointFromEntry(const TPointEntry &entry)
{
    TGatewayPoint point;
    point.Address = entry.Address;
    point.Name = entry.Name;
    point.Units = entry.Units.trimmed();
    point.Kind = entry.Kind;
    point.Writable = entry.Writable;
    ReadTypeFields(point);
    return point;
}

TGatewayPoint PointFromConfig(const TConfiguredPoint &configured, bool fahrenheit)
{
    TGatewayPoint point;
    point.Address = configured.Address;
    point.Name = configured.Name;
    point.Writable = configured.Writable;
    point.DeviceClass = configured.DeviceClass;
    ReadTypeFields(point);
    const QStringList fields = point.Address.section(u',', 0, 0).split(u':');
    qint32 offset = 0;
    ParseInteger(fields.value(5), offset);
    // A scaled value or a device object has no catalogue units.
    const bool plain = !point.Address.contains(u',');
    point.Units = !configured.Units.isEmpty() || !plain
        ? configured.Units
        : FieldUnits(point.SnvtType, offset, point.VariableType, point.Parameter, fahrenheit).trimmed();
    point.Kind = configured.Kind.isEmpty() ? KindOf(point) : configured.Kind;
    return point;
}
