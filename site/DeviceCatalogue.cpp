#include "site/DeviceCatalogue.h"

#include "xif/DeviceNames.h"

void TDeviceCatalogue::Assign(QList<TDeviceRecord> devices, QStringList entries)
{
    FDevices = std::move(devices);
    FEntries = std::move(entries);
    FByAddress.clear();
    for (qsizetype i = 0; i < FDevices.size(); ++i)
        FByAddress.insert(FDevices.at(i).Address, i);
}

void TDeviceCatalogue::Put(TDeviceRecord device, const QStringList &entries)
{
    // The entries of a device read again replace nothing in place: the list only grows
    // until the next discovery starts it over.
    device.FirstEntry = FEntries.size();
    device.EntryCount = entries.size();
    FEntries += entries;
    const auto known = FByAddress.find(device.Address);
    if (known != FByAddress.end()) {
        FDevices[*known] = std::move(device);
        return;
    }
    FByAddress.insert(device.Address, FDevices.size());
    FDevices.append(std::move(device));
}

const TDeviceRecord *TDeviceCatalogue::Find(const QString &address) const
{
    const auto it = FByAddress.find(address);
    return it == FByAddress.end() ? nullptr : &FDevices.at(*it);
}

QStringList TDeviceCatalogue::EntriesOf(const TDeviceRecord &device) const
{
    return FEntries.mid(device.FirstEntry, device.EntryCount);
}

TDeviceName TDeviceCatalogue::NameOf(const TDeviceRecord &device, const QHash<QString, QString> &names)
{
    if (const auto it = names.find(device.Address); it != names.end())
        return {*it, QStringLiteral("names file")};
    // A text that could not stand as a name (too long, braces, "/") is passed over.
    if (xif::deviceNameProblem(device.Text).isEmpty())
        return {device.Text, QStringLiteral("device")};
    if (xif::deviceNameProblem(device.TemplateName).isEmpty())
        return {device.TemplateName, QStringLiteral("template")};
    return {device.Address, QStringLiteral("address")};
}

QString TDeviceCatalogue::DeviceLine(const TDeviceRecord &device, const QHash<QString, QString> &names)
{
    const TDeviceName name = NameOf(device, names);
    return u'{' + device.Address + u"}{" + name.Name + u"}{" + name.Source + u"}{" + device.ProgramId + u"}{"
           + device.NeuronId + u"}{" + device.TemplateName + u'}';
}
