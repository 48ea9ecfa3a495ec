#pragma once
// The POINT text of a POINTMODIFY request: five brace groups, the point's name, its
// address, VALUE=<text>, the state word and OBJECTVALUE=<text>.

#include <QString>

struct TPointModifyRequest
{
    QString Name;
    QString Address;
    QString Value;          // the text after the first "=", quotes around it dropped
    qint32 StateFlag = -1;  // TRUE 1, FALSE 0, anything else -1 (keep the device's state)
    QString ObjectValue;    // as Value
};

TPointModifyRequest ParsePointModify(const QString &point);
