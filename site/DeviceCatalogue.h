#pragma once
// TDeviceCatalogue: the devices the site's last discovery found (and those read one by one
// since), each with what identifies it and the range of its point entries, and the names
// they go by. A device's name is the site's own (the names file), else the device's
// documentation text, else its template's name, else its address.

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

struct TDeviceRecord
{
    QString Address;        // "domain:subnet:node"
    QString NeuronId;       // 12 hex digits with ":" between bytes; empty when not known
    QString ProgramId;      // "9F:FF:FF:05:01:84:04:60"; empty when not known
    QString Text;           // the device's documentation text (after its ";")
    QString TemplateName;   // the template that matched its program ID
    qsizetype FirstEntry = 0;
    qsizetype EntryCount = 0;
    bool Answered = false;  // the device answered its read-only structure
};

// What a discovery may still add to its answer; Limit names the limit once one is met.
struct TDiscoveryBudget
{
    qint64 AnswerBytes = 0;
    QString Limit;
};

struct TDeviceName
{
    QString Name;
    QString Source;         // "names file", "device", "template" or "address"
};

class TDeviceCatalogue
{
public:
    // Starts over with the result of a new discovery: its devices and all their entries.
    void Assign(QList<TDeviceRecord> devices, QStringList entries);
    // Adds (or replaces) one device read on its own, with its entries.
    void Put(TDeviceRecord device, const QStringList &entries);
    const QList<TDeviceRecord> &Devices() const { return FDevices; }
    const TDeviceRecord *Find(const QString &address) const;
    QStringList EntriesOf(const TDeviceRecord &device) const;

    static TDeviceName NameOf(const TDeviceRecord &device, const QHash<QString, QString> &names);
    // {address}{name}{source}{program ID}{Neuron ID}{template}
    static QString DeviceLine(const TDeviceRecord &device, const QHash<QString, QString> &names);

private:
    QList<TDeviceRecord> FDevices;
    QHash<QString, qsizetype> FByAddress;
    QStringList FEntries;
};
