#pragma once
// Point addresses and point entries on lonctl's command line and in the driver's answers:
// checking an address before it is sent, and reading discovery's entry lines.

#include "client/PointEntries.h"
#include "snvt/PointAddress.h"

#include <QHash>
#include <QJsonArray>
#include <QString>
#include <QStringList>

// The address parsed; throws a usage error naming the problem when it is malformed or
// carries braces. With checkBounds, every field must also pass the driver's bounds
// (POINTVERIFY's messages); without, only the variable type code is checked.
PointAddress RequireAddress(const QString &text, bool checkBounds);

// A table (ADDRESS NAME UNITS WRITABLE KIND) or a JSON array of the entries. With
// deviceNames, a DEVICE column (key "device") first: the name of the point's device by its
// address (the address when unnamed).
void PrintPointEntries(const QStringList &lines, bool json, const QHash<QString, QString> *deviceNames = nullptr);

// The entry of a point named "device/variable[.field]": the device's points, from the
// driver (GETDEVICEPOINTS), searched for the name (exactly, else without regard to letter
// case when only one matches). Throws a command failure naming what is missing.
class TDriverSession;
TPointEntry NamedPoint(TDriverSession &session, const QString &device, const QString &point, int timeoutMs);

// The units of a point's value as discovery names them (from the variable's SNVT type and,
// for a structured type, the field at the address's offset); empty when unknown or when
// the address scales the value or names a device object.
QString UnitsForAddress(const PointAddress &address, bool fahrenheit);

// The device object of an address (V1, C3, ...): letter and number. Throws a usage error
// naming the allowed objects when the address has none or it is not one of `letters`.
struct TDeviceObject
{
    QChar Letter;
    int Number = 0;
};
TDeviceObject RequireObject(const QString &addressText, const PointAddress &address,
                            const QString &letters);

// A value for a numeric field (codes 0-4, 6, 7, 12, 13) must be a number or contain ON or
// OFF: the driver writes any other text as 0. An enumeration above 122 takes its members'
// names. Throws a usage error naming the value otherwise.
void RequireWritableNumber(const PointAddress &address, const QString &value);
