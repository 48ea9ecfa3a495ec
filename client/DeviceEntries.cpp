#include "client/DeviceEntries.h"

#include "support/StrLib.h"

bool ParseDeviceEntry(const QString &line, TDeviceEntry &entry)
{
    QStringList fields;
    SplitBetween(line, fields, u'{', u'}');
    if (fields.size() != 6)
        return false;
    entry = {fields.at(0), fields.at(1), fields.at(2), fields.at(3), fields.at(4), fields.at(5)};
    return true;
}

QList<TDeviceEntry> ParseDeviceEntries(const QStringList &lines)
{
    QList<TDeviceEntry> devices;
    for (const QString &line : lines) {
        TDeviceEntry entry;
        if (ParseDeviceEntry(line, entry))
            devices.append(entry);
    }
    return devices;
}

QHash<QString, QString> DeviceNamesByAddress(const QList<TDeviceEntry> &devices)
{
    QHash<QString, QString> names;
    for (const TDeviceEntry &device : devices)
        names.insert(device.Address, device.Name);
    return names;
}

bool SplitNamedPoint(const QString &text, QString &device, QString &point)
{
    const qsizetype slash = text.indexOf(u'/');
    if (slash < 0)
        return false;
    device = text.left(slash).trimmed();
    point = text.mid(slash + 1).trimmed();
    return true;
}
