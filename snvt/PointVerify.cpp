#include "snvt/PointVerify.h"

#include "snvt/PointAddress.h"

namespace {

struct FieldBound
{
    qint32 PointAddress::*field;
    qint32 low;
    qint32 high;
    const char *message;
};

// In the order the client is told about them; the first field out of bounds wins.
constexpr FieldBound kBounds[] = {
    {&PointAddress::Domain, 0, 1, "Domain# in field 1 must be 0 or 1."},
    {&PointAddress::Subnet, 1, 255, "Subnet# in field 2 must be between 1 and 255."},
    {&PointAddress::Node, 1, 127, "Node# in field 3 must be between 1 and 127."},
    {&PointAddress::VariableIndex, 0, 4095,
     "Variable Index in field 4 must be between 0 and 4095."},
    {&PointAddress::SnvtType, 0, 122,
     "SNVT Type in field 5 must be between 0 and 122 (0=custom)."},
    {&PointAddress::VariableOffset, 0, 255,
     "Variable Offset in field 6 must be between 0 and 255."},
    {&PointAddress::VariableType, 0, 11, "Variable Type in field 7 must be between 0 and 11."},
    {&PointAddress::Parameter, 0, 122, "Parameter in field 8 must be between 0 and 122."},
};

} // namespace

QString VerifyPointAddress(const QString &text)
{
    PointAddress address;
    if (!ParsePointAddress(text, address))
        return QStringLiteral("Invalid Point Address. See the help file for proper formatting.");
    for (const FieldBound &bound : kBounds) {
        const qint32 value = address.*bound.field;
        if (value < bound.low || value > bound.high)
            return QString::fromLatin1(bound.message);
    }
    return QString();
}
