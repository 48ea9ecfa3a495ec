#pragma once
// The device lines of the driver's GETDEVICESLIST and GETDEVICEPOINTS answers:
// {address}{name}{source}{program ID}{Neuron ID}{template}, and what clients do with them.

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

struct TDeviceEntry
{
    QString Address;      // domain:subnet:node
    QString Name;
    QString Source;       // where the name comes from: names file, device, template, address
    QString ProgramId;
    QString NeuronId;
    QString Template;
};
// False for a line without six brace groups.
bool ParseDeviceEntry(const QString &line, TDeviceEntry &entry);
QList<TDeviceEntry> ParseDeviceEntries(const QStringList &lines);
// Name by address (domain:subnet:node).
QHash<QString, QString> DeviceNamesByAddress(const QList<TDeviceEntry> &devices);

// A point named "device/variable[.field]": the device part and the point's name; false
// when the text has no "/" (it is then an address).
bool SplitNamedPoint(const QString &text, QString &device, QString &point);
