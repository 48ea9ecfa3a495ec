#include "client/PointEntries.h"

#include "support/StrLib.h"

bool ParsePointEntry(const QString &line, TPointEntry &entry)
{
    QStringList fields;
    SplitBetween(line, fields, u'{', u'}');
    if (fields.size() != 6)
        return false;
    entry.Address = fields.at(0);
    entry.Name = fields.at(1);
    entry.Units = fields.at(2);
    entry.Writable = fields.at(3) == QLatin1String("TRUE");
    entry.Kind = fields.at(4);
    return true;
}

QString RequestEntry(const QString &name, const QString &address, const QStringList &more)
{
    QString entry = u'{' + name + QStringLiteral("}{") + address + u'}';
    for (const QString &group : more)
        entry += u'{' + group + u'}';
    return entry;
}

QStringList PointsListRequest(const QStringList &addresses, const QStringList &names)
{
    QStringList request{QStringLiteral("COMMAND=SENDPOINTSLIST")};
    request.reserve(addresses.size() + 1);
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        const QString name = i < names.size() ? names.at(i) : QStringLiteral("P%1").arg(i);
        request.append(QStringLiteral("POINT%1=").arg(i) + RequestEntry(name, addresses.at(i)));
    }
    return request;
}

bool PolledValueOf(QStringView item, QStringView &address, QStringView &value)
{
    // {address}{VALUE=value}: the groups as SplitBetween finds them, without copies.
    const qsizetype open = item.indexOf(u'{');
    const qsizetype close = open < 0 ? -1 : item.indexOf(u'}', open + 1);
    if (close < 0 || close + 1 >= item.size() || item.at(close + 1) != u'{')
        return false;
    const qsizetype end = item.indexOf(u'}', close + 2);
    const QStringView second = item.mid(close + 2, end < 0 ? -1 : end - close - 2);
    if (!second.startsWith(QLatin1String("VALUE=")))
        return false;
    address = item.mid(open + 1, close - open - 1);
    value = second.mid(6);
    return true;
}

QHash<QString, QString> PolledValues(const QStringList &items)
{
    QHash<QString, QString> values;
    QStringView address;
    QStringView value;
    for (const QString &item : items) {
        if (PolledValueOf(item, address, value))
            values.insert(address.toString(), value.toString());
    }
    return values;
}

QString DeviceOfAddress(const QString &address)
{
    const QStringList fields = address.split(u':');
    if (fields.size() < 4)
        return QString();
    return fields.mid(0, 3).join(u':').trimmed();
}
