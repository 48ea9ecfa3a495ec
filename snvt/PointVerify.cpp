#include "snvt/PointVerify.h"

#include "snvt/PointAddress.h"
#include "snvt/VariableTypes.h"

namespace {

struct FieldBound
{
    qint32 PointAddress::*field;
    qint32 low;
    qint32 high;
    QString message;
};

// Fields 1 to 7, in the order the client is told about them; the first field out of bounds
// wins. Field 8 follows, with the bound of field 7's code.
const FieldBound &Bound(int index)
{
    static const FieldBound Bounds[] = {
        {&PointAddress::Domain, 0, 1, QStringLiteral("Domain# in field 1 must be 0 or 1.")},
        {&PointAddress::Subnet, 1, 255, QStringLiteral("Subnet# in field 2 must be between 1 and 255.")},
        {&PointAddress::Node, 1, 127, QStringLiteral("Node# in field 3 must be between 1 and 127.")},
        {&PointAddress::VariableIndex, 0, 4095,
         QStringLiteral("Variable Index in field 4 must be between 0 and 4095.")},
        {&PointAddress::SnvtType, 0, MaxSnvtTypeNumber,
         QStringLiteral("SNVT Type in field 5 must be between 0 and %1 (0=custom).").arg(MaxSnvtTypeNumber)},
        {&PointAddress::VariableOffset, 0, 255,
         QStringLiteral("Variable Offset in field 6 must be between 0 and 255.")},
        {&PointAddress::VariableType, 0, MaxVariableTypeCode,
         QStringLiteral("Variable Type in field 7 must be between 0 and %1.").arg(MaxVariableTypeCode)},
    };
    return Bounds[index];
}

constexpr int FieldsBeforeParameter = 7;

} // namespace

ParameterBound ParameterBoundFor(int variableType)
{
    switch (variableType) {
    case VarBitField:
        return ParameterBound{1, 255, QStringLiteral("Parameter in field 8 must be a bit mask between 1 "
                                                     "and 255 for variable type 7.")};
    case VarText: case VarOpaque:
        return ParameterBound{1, 255, QStringLiteral("Parameter in field 8 must be a length between 1 "
                                                     "and 255 for variable type %1.").arg(variableType)};
    default:
        return ParameterBound{0, MaxSnvtTypeNumber,
                              QStringLiteral("Parameter in field 8 must be between 0 and %1.")
                                  .arg(MaxSnvtTypeNumber)};
    }
}

QString VerifyPointAddress(const QString &text)
{
    PointAddress address;
    if (!ParsePointAddress(text, address))
        return QStringLiteral("Invalid Point Address. See the help file for proper formatting.");
    for (int i = 0; i < FieldsBeforeParameter; ++i) {
        const FieldBound &bound = Bound(i);
        const qint32 value = address.*bound.field;
        if (value < bound.low || value > bound.high)
            return bound.message;
    }
    const ParameterBound parameter = ParameterBoundFor(address.VariableType);
    if (address.Parameter < parameter.Low || address.Parameter > parameter.High)
        return parameter.Message;
    return QString();
}
