#include "gateway/GatewayPoint.h"

#include "client/PointEntries.h"
#include "gateway/GatewayConfig.h"
#include "snvt/FieldLayouts.h"
#include "snvt/PointAddress.h"
#include "snvt/VariableTypes.h"

namespace {

// Fields 5 to 9 of the address and its object.
void ReadTypeFields(TGatewayPoint &point)
{
    PointAddress address;
    if (ParsePointAddress(point.Address, address)) {
        point.SnvtType = address.SnvtType;
        point.VariableOffset = address.VariableOffset;
        point.VariableType = address.VariableType;
        point.Parameter = address.Parameter;
        point.Scale = address.Scale;
        point.HasObject = address.HasObject;
    }
    point.Device = DeviceOfAddress(point.Address);
}

// The kind of a point from how its bytes are read, where the catalogue names none.
QString KindOfCode(const TGatewayPoint &point)
{
    switch (point.VariableType) {
    case VarText:
    case VarOpaque:
        return QStringLiteral("String");
    case VarDate:
    case VarTime:
    case VarDateTime:
        return QStringLiteral("DateTime");
    case VarBitField: {
        const int mask = point.Parameter & 0xFF;
        return mask != 0 && (mask & (mask - 1)) == 0 ? QStringLiteral("Digital") : QStringLiteral("Analog");
    }
    default:
        return point.Parameter == 95 ? QStringLiteral("Digital") : QStringLiteral("Analog");
    }
}

// The kind discovery gives the field the address names, as the gateway's four kinds.
QString KindOf(const TGatewayPoint &point)
{
    if (point.Scale != 0.0 || point.HasObject)
        return KindOfCode(point);
    switch (FieldKind(point.SnvtType, point.VariableOffset, point.VariableType, point.Parameter)) {
    case KindDigital: return QStringLiteral("Digital");
    case KindAnalog: return QStringLiteral("Analog");
    case KindString: return QStringLiteral("String");
    case KindDate: case KindTime: case KindDateTime: return QStringLiteral("DateTime");
    default: return KindOfCode(point);
    }
}

} // namespace

TGatewayPoint PointFromEntry(const TPointEntry &entry, bool fahrenheit)
{
    TGatewayPoint point;
    point.Address = entry.Address;
    point.Name = entry.Name;
    point.Units = entry.Units.trimmed();
    point.Kind = entry.Kind;
    point.Writable = entry.Writable;
    point.TempsInF = fahrenheit;
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
    point.TempsInF = fahrenheit;
    ReadTypeFields(point);
    // A scaled value or a device object has no catalogue units.
    const bool plain = point.Scale == 0.0 && !point.HasObject && !point.Address.contains(u',');
    point.Units = !configured.Units.isEmpty() || !plain
        ? configured.Units
        : FieldUnits(point.SnvtType, point.VariableOffset, point.VariableType, point.Parameter, fahrenheit).trimmed();
    point.Kind = configured.Kind.isEmpty() ? KindOf(point) : configured.Kind;
    return point;
}
