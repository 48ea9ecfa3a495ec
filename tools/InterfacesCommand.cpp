// interfaces: the table of interfaces libldv32.so resolves names through (the interfaces
// file and its entries) and the names that work without an entry, the LON network
// devices of this machine among them.
#include "tools/CommandContext.h"
#include "tools/ExitCodes.h"
#include "tools/Output.h"

#include "ldv/InterfaceTable.h"
#include "ldv/lonnet/NetDevices.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>

namespace {

struct TBuiltinName
{
    QString Name;
    QString Source;
    bool Shadowed = false;   // a table entry of the same name comes first
    bool Up = false;         // a LON network device: it is up
};

// The places looked in, in order, as ldv::interfacesFilePath() tries them.
QStringList SearchedPlaces()
{
    const QString given = qEnvironmentVariable("LDV_INTERFACES");
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    return {given.isEmpty() ? QStringLiteral("LDV_INTERFACES (not set)")
                            : QStringLiteral("LDV_INTERFACES=") + given,
            config + QStringLiteral("/lonworks/interfaces.json"),
            QStringLiteral("/etc/lonworks/interfaces.json")};
}

// LON1, then the <name>.json files of the LONSIM_PATH folders; a name found in an earlier
// folder hides the same name further on, as when a name is opened.
QList<TBuiltinName> BuiltinNames(const ldv::InterfaceTable &table)
{
    QList<TBuiltinName> names{{QStringLiteral("LON1"), QStringLiteral("the built-in demonstration network")}};
    QSet<QString> seen{QStringLiteral("LON1")};
    const QStringList folders = qEnvironmentVariable("LONSIM_PATH").split(u':', Qt::SkipEmptyParts);
    for (const QString &folder : folders) {
        const QDir dir(folder);
        for (const QString &file : dir.entryList({QStringLiteral("*.json")}, QDir::Files | QDir::Readable, QDir::Name)) {
            const QString name = file.chopped(5);
            if (name.isEmpty() || seen.contains(name) || name.compare(QLatin1String("LON1"), Qt::CaseInsensitive) == 0)
                continue;
            seen.insert(name);
            names.append({name, QDir::cleanPath(dir.absoluteFilePath(file)) + QStringLiteral(" (LONSIM_PATH)")});
        }
    }
    for (TBuiltinName &builtin : names)
        builtin.Shadowed = table.find(builtin.Name) != nullptr;
    return names;
}

// The lonN devices present: each opens under its own name unless a table entry takes it.
QList<TBuiltinName> DeviceNames(const ldv::InterfaceTable &table)
{
    QList<TBuiltinName> names;
    for (const ldv::lonnet::NetDevice &device : ldv::lonnet::lonDevices()) {
        QStringList users;
        for (const ldv::InterfaceEntry &entry : table.entries)
            if (entry.kind == ldv::InterfaceEntry::LonDevice && entry.device == device.name)
                users.append(entry.name);
        QString source = QStringLiteral("LON network device, ") + (device.up ? QStringLiteral("up") : QStringLiteral("down"));
        if (!users.isEmpty())
            source += QStringLiteral(", also as ") + users.join(QStringLiteral(", "));
        names.append({device.name, source, table.find(device.name) != nullptr, device.up});
    }
    return names;
}

QString KindName(ldv::InterfaceEntry::Kind kind)
{
    switch (kind) {
    case ldv::InterfaceEntry::Ip852:
        return QStringLiteral("ip852");
    case ldv::InterfaceEntry::LonDevice:
        return QStringLiteral("lon-device");
    default:
        return QStringLiteral("simulated");
    }
}

void PrintJsonListing(const ldv::InterfaceTable &table, const QList<TBuiltinName> &builtins,
                      const QList<TBuiltinName> &devices)
{
    QJsonArray entries;
    for (const ldv::InterfaceEntry &entry : table.entries) {
        QJsonObject object{{QStringLiteral("name"), entry.name},
                           {QStringLiteral("kind"), KindName(entry.kind)},
                           {QStringLiteral("summary"), entry.summary()}};
        if (!entry.comment.isEmpty())
            object.insert(QStringLiteral("comment"), entry.comment);
        entries.append(object);
    }
    QJsonArray builtinArray;
    for (const TBuiltinName &builtin : builtins)
        builtinArray.append(QJsonObject{{QStringLiteral("name"), builtin.Name},
                                        {QStringLiteral("source"), builtin.Source},
                                        {QStringLiteral("shadowed"), builtin.Shadowed}});
    QJsonArray deviceArray;
    for (const TBuiltinName &device : devices)
        deviceArray.append(QJsonObject{{QStringLiteral("name"), device.Name},
                                       {QStringLiteral("up"), device.Up},
                                       {QStringLiteral("shadowed"), device.Shadowed}});
    PrintJson(QJsonObject{{QStringLiteral("file"), table.path.isEmpty() ? QJsonValue() : QJsonValue(table.path)},
                          {QStringLiteral("searched"), QJsonArray::fromStringList(SearchedPlaces())},
                          {QStringLiteral("interfaces"), entries},
                          {QStringLiteral("builtin"), builtinArray},
                          {QStringLiteral("devices"), deviceArray}});
}

void PrintTextListing(const ldv::InterfaceTable &table, const QList<TBuiltinName> &builtins,
                      const QList<TBuiltinName> &devices)
{
    if (table.path.isEmpty()) {
        PrintLine(QStringLiteral("Interfaces file: none. Looked for, in order:"));
        for (const QString &place : SearchedPlaces())
            PrintLine(QStringLiteral("  ") + place);
    } else {
        PrintLine(QStringLiteral("Interfaces file: ") + table.path);
        TTable entries({QStringLiteral("NAME"), QStringLiteral("KIND"), QStringLiteral("SUMMARY"),
                        QStringLiteral("COMMENT")});
        for (const ldv::InterfaceEntry &entry : table.entries)
            entries.AddRow({entry.name, KindName(entry.kind), entry.summary(), entry.comment});
        PrintLine(QString());
        entries.Print();
        PrintLine(table.entries.size() == 1 ? QStringLiteral("1 interface")
                                            : QStringLiteral("%1 interfaces").arg(table.entries.size()));
    }
    PrintLine(QString());
    PrintLine(QStringLiteral("Names that work without an entry:"));
    TTable names({QStringLiteral("NAME"), QStringLiteral("NETWORK")});
    for (const TBuiltinName &builtin : builtins + devices)
        names.AddRow({builtin.Name, builtin.Shadowed ? builtin.Source + QStringLiteral(", taken by the table's entry")
                                                     : builtin.Source});
    names.Print();
    if (devices.isEmpty())
        PrintLine(QStringLiteral("No LON network devices (lon0, lon1, ...) on this machine."));
}

} // namespace

int RunInterfaces(TCommandContext &context)
{
    const ldv::InterfaceTable table = ldv::loadInterfaceTable();
    if (!table.ok())
        throw CommandFailed(QStringLiteral("interfaces file refused: %1\nWhile it is refused every "
                                           "interface fails to open, LON1 included; correct the file "
                                           "or move it away.").arg(table.error));
    const QList<TBuiltinName> builtins = BuiltinNames(table);
    const QList<TBuiltinName> devices = DeviceNames(table);
    if (context.Json)
        PrintJsonListing(table, builtins, devices);
    else
        PrintTextListing(table, builtins, devices);
    return ExitSuccess;
}
