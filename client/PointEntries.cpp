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

QHash<QString, QString> PolledValues(const QStringList &items)
{
    QHash<QString, QString> values;
    for (const QString &item : items) {
        QStringList groups;
        SplitBetween(item, groups, u'{', u'}');
        if (groups.size() >= 2 && groups.at(1).startsWith(QLatin1String("VALUE=")))
            values.insert(groups.at(0), groups.at(1).mid(6));
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
