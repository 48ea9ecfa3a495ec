#pragma once
// Point addresses: the text domain:subnet:node:index:snvt:offset:type:parameter[,scale[,D-object]]
// that names one point, its parsed record, and the value key of its network variable.

#include <QString>

struct PointAddress
{
    qint32 Domain = 0;
    qint32 Subnet = 0;
    qint32 Node = 0;
    qint32 VariableIndex = 0;
    qint32 SnvtType = 0;
    qint32 VariableOffset = 0;
    qint32 VariableType = 0;
    qint32 Parameter = 0;
    double Scale = 0.0;      // 0 means no scaling
    QString ObjectName;      // at most PointObjectNameLength characters
    bool HasObject = false;
};

constexpr int PointObjectNameLength = 31;

// Resets the record, then fills it; true when the address is well formed. Bounds are not
// checked here (VerifyPointAddress does that). Never throws.
bool ParsePointAddress(const QString &text, PointAddress &address);

// domain:subnet:node:index as written in the address (the text before the fourth ":");
// the whole text when it has fewer.
QString PointValueKey(const QString &address);

// The number rule of scales: leading blanks dropped, cut at the first blank and the first
// "%", a host-locale number, else TRUE/ON 1, FALSE/OFF 0, -ON -1, anything else 0.
double ScaleNumber(const QString &text);
