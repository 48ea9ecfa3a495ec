#include "site/PointModifyRequest.h"

#include "support/StrLib.h"

#include <array>

namespace {

// The text after the first "=" (a group without one loses its first character), without
// a leading and a trailing double quote.
QString GroupValue(const QString &group)
{
    QString value = TextFrom(group, QStringLiteral("=")).mid(1);
    if (value.startsWith(QLatin1Char('"')))
        value.remove(0, 1);
    if (value.endsWith(QLatin1Char('"')))
        value.chop(1);
    return value;
}

} // namespace

TPointModifyRequest ParsePointModify(const QString &point)
{
    // Group k is looked for from where it would start if the groups before it were written
    // back to back: each earlier group counts its text and its two braces.
    std::array<QString, 5> groups;
    int start = 0;
    for (QString &group : groups) {
        group = TextBetween(point, u'{', u'}', start);
        start += int(group.size()) + 2;
    }
    TPointModifyRequest request;
    request.Name = groups[0];
    request.Address = groups[1];
    request.Value = GroupValue(groups[2]);
    const QString state = groups[3].toUpper();
    if (state.contains(QLatin1String("TRUE")))
        request.StateFlag = 1;
    else if (state.contains(QLatin1String("FALSE")))
        request.StateFlag = 0;
    request.ObjectValue = GroupValue(groups[4]);
    return request;
}
