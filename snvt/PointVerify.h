#pragma once
// The checks of POINTVERIFY: a point address must parse and every field must lie within
// what the network and the value codes can carry. lonctl and the gateway's configuration
// use the same checks.

#include "snvt/Catalogue.h"

#include <QString>

// The highest SNVT number a point address may name (field 5, and field 8 of the scaled
// codes): POINTVERIFY, lonctl and the gateway's configuration check against it.
inline constexpr int MaxSnvtTypeNumber = HighestSnvtNumber;

// The bound of field 8 (the parameter) depends on the variable type code of field 7:
//  - numeric codes and dates: an SNVT number whose scaling applies, 0 to MaxSnvtTypeNumber;
//  - the bit field (7): its bit mask, 1 to 255;
//  - text (5) and the opaque code (8): the field's length in bytes, 1 to 255.
struct ParameterBound
{
    int Low = 0;
    int High = 0;
    QString Message;   // what the client is told when field 8 lies outside
};
ParameterBound ParameterBoundFor(int variableType);

// The empty text for a valid address, otherwise the message for the client.
QString VerifyPointAddress(const QString &text);
