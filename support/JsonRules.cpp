#include "support/JsonRules.h"

namespace jsonrules {

void refuse(const QString &why)
{
    throw Refusal{why};
}

void onlyKeys(const QJsonObject &o, const QStringList &allowed, const QString &where)
{
    for (const QString &key : o.keys())
        if (!allowed.contains(key))
            refuse(QStringLiteral("%1: unknown key \"%2\"").arg(where, key));
}

int number(const QJsonValue &v, int low, int high, const QString &where)
{
    const double d = v.toDouble(-1);
    if (!v.isDouble() || d != double(int(d)) || d < low || d > high)
        refuse(where + QStringLiteral(": a whole number %1..%2 expected").arg(low).arg(high));
    return int(d);
}

} // namespace jsonrules
