// The site's devices: reading one device's points with its template (for discovery and
// for GETDEVICEPOINTS), and the GETDATA driver commands that list the devices by name
// (GETDEVICESLIST) and one device's points (GETDEVICEPOINTS).
#include "site/SiteController.h"

#include "lonworks/LonInterface.h"
#include "lonworks/LonLib.h"
#include "site/DriverLimits.h"
#include "support/ParamList.h"
#include "xif/DeviceNames.h"
#include "xif/DevicePoints.h"
#include "xif/XifLog.h"

#include <algorithm>

namespace {

QString NeuronIdText(QStringView characters)
{
    QByteArray bytes;
    for (QChar c : characters)
        bytes.append(char(c.unicode() & 0xFF));
    return QString::fromLatin1(bytes.toHex(':')).toUpper();
}

} // namespace

QHash<QString, QString> TSiteController::DeviceNames() const
{
    QString error;
    const xif::DeviceNames names = xif::DeviceNames::load(xif::DeviceNames::defaultPath(), error);
    if (!error.isEmpty())
        qCWarning(xif::lcXif).noquote() << "names file refused:" << error;
    return names.forSite(FSite.Description);
}

TDeviceRecord TSiteController::ReadDevicePoints(const xif::TemplateCatalogue &templates, const QString &deviceKey,
                                                QStringList &entries, TDiscoveryBudget &budget)
{
    using namespace DriverLimits;
    const QStringList key = deviceKey.split(QLatin1Char(':'));
    const int domain = key.value(0).toInt();
    const int subnet = key.value(1).toInt();
    const int node = key.value(2).toInt();
    TDeviceRecord record;
    record.Address = QStringLiteral("%1:%2:%3").arg(domain).arg(subnet).arg(node);
    // The key's fourth part is the Neuron ID's six characters (FindDevices).
    const qsizetype idAt = deviceKey.indexOf(u':', deviceKey.indexOf(u':', deviceKey.indexOf(u':') + 1) + 1);
    if (idAt > 0 && deviceKey.size() - idAt - 1 == 6)
        record.NeuronId = NeuronIdText(QStringView(deviceKey).mid(idAt + 1));
    record.FirstEntry = entries.size();

    TDeviceSelfDoc doc;
    ReadDeviceSelfDoc(*FInterface, doc, quint8(domain), quint8(subnet), quint8(node), AllSelfDocLines);
    record.Answered = doc.HasProgramId;
    xif::DeviceReport report;
    report.address = record.Address;
    const xif::Template *tmpl = nullptr;
    if (doc.HasProgramId) {
        report.programId = doc.ProgramId;
        record.ProgramId = xif::programIdText(doc.ProgramId);
        tmpl = templates.find(doc.ProgramId);
    }
    if (tmpl)
        record.TemplateName = tmpl->name;
    const qsizetype semicolon = doc.Text.indexOf(u';');
    if (semicolon >= 0)
        record.Text = doc.Text.mid(semicolon + 1).trimmed();

    for (const TSelfDocVariable &variable : std::as_const(doc.Variables)) {
        // A variable without an extension record is listed only when a template names it.
        if (!variable.Documented && !tmpl)
            continue;
        for (int j = 0; j < variable.Count && variable.Index + j <= LonLib::MaxVariableIndex; ++j) {
            const xif::ReportedVariable reported{variable.Index + j, variable.Snvt, variable.Name,
                                                 variable.Count > 1 ? j : -1,
                                                 variable.Count > 1 ? variable.Index : -1};
            // A name with braces would break the entry line apart: such a variable is left out.
            const QString name = xif::variableName(reported, tmpl);
            if (name.contains(u'{') || name.contains(u'}'))
                continue;
            SetStatusText(name);
            const qsizetype before = entries.size();
            xif::expandVariable(report, reported, tmpl, templates.types(), FSite.TempsInF, entries);
            for (qsizetype i = before; i < entries.size(); ++i)
                budget.AnswerBytes += AnswerTextBytes(entries.at(i));
            // The answer must stay one the bus carries: stop as soon as it cannot.
            if (entries.size() > kMaxDiscoveryEntries)
                budget.Limit = TLimitExceeded::Text("point entries per discovery", kMaxDiscoveryEntries);
            else if (budget.AnswerBytes > kMaxAnswerBytes)
                budget.Limit = TLimitExceeded::Text("bytes per answer", kMaxAnswerBytes);
            if (!budget.Limit.isEmpty()) {
                record.EntryCount = entries.size() - record.FirstEntry;
                return record;
            }
        }
    }
    record.EntryCount = entries.size() - record.FirstEntry;
    return record;
}

xif::TemplateCatalogue TSiteController::LoadTemplates()
{
    xif::TemplateCatalogue templates;
    templates.load(xif::TemplateCatalogue::defaultFolders());
    return templates;
}

bool TSiteController::ListDevices()
{
    const QHash<QString, QString> names = DeviceNames();
    QStringList items;
    for (const TDeviceRecord &device : FDevices.Devices())
        items.append(TDeviceCatalogue::DeviceLine(device, names));
    // The devices the names file names that no discovery has found (yet), by address.
    QStringList unseen;
    for (auto it = names.begin(); it != names.end(); ++it)
        if (!FDevices.Find(it.key()))
            unseen.append(it.key());
    std::sort(unseen.begin(), unseen.end());
    for (const QString &address : std::as_const(unseen)) {
        TDeviceRecord device;
        device.Address = address;
        items.append(TDeviceCatalogue::DeviceLine(device, names));
    }
    FSlot.SetResultData(items);
    return true;
}

QStringList TSiteController::DevicesNamed(const QString &name, const QHash<QString, QString> &names) const
{
    QStringList matches;
    for (const TDeviceRecord &device : FDevices.Devices())
        if (TDeviceCatalogue::NameOf(device, names).Name.compare(name, Qt::CaseInsensitive) == 0)
            matches.append(device.Address);
    for (auto it = names.begin(); it != names.end(); ++it)
        if (it.value().compare(name, Qt::CaseInsensitive) == 0 && !matches.contains(it.key()))
            matches.append(it.key());
    return matches;
}

bool TSiteController::ListDevicePoints()
{
    QString wanted;
    FindParam(FSlot.Request(), QStringLiteral("DEVICE"), wanted);
    const QHash<QString, QString> names = DeviceNames();
    QString address = xif::normalDeviceAddress(wanted);
    if (address.isEmpty()) {
        // By name: among the devices known and those the names file names; a name no one
        // goes by yet sends the site looking for its devices once.
        QStringList matches = DevicesNamed(wanted.trimmed(), names);
        if (matches.isEmpty() && IsOnline()) {
            QStringList entries;
            const bool found = DiscoverDevices(entries);
            ShowMessageText(QString());
            if (!found)
                return false;
            matches = DevicesNamed(wanted.trimmed(), names);
        }
        if (matches.isEmpty()) {
            FSlot.SetErrorText(QStringLiteral("Unknown device: %1 (no device found on the network, nor "
                                              "the names file, goes by that name)").arg(wanted));
            return false;
        }
        if (matches.size() > 1) {
            FSlot.SetErrorText(QStringLiteral("Device name %1 is ambiguous: %2").arg(wanted, matches.join(u", ")));
            return false;
        }
        address = matches.first();
    }
    if (!FDevices.Find(address)) {
        if (!IsOnline()) {
            FSlot.SetErrorText(QStringLiteral("Device %1 is not known and the site is offline").arg(address));
            return false;
        }
        ShowMessageText(QStringLiteral("Reading Points from %1").arg(address));
        QStringList entries;
        TDiscoveryBudget budget;
        const TDeviceRecord record = ReadDevicePoints(LoadTemplates(), address, entries, budget);
        ShowMessageText(QString());
        if (!record.Answered) {
            FSlot.SetErrorText(QStringLiteral("Device %1 does not answer").arg(address));
            return false;
        }
        FDevices.Put(record, entries);
    }
    const TDeviceRecord *device = FDevices.Find(address);
    FSlot.SetResultData(QStringList{TDeviceCatalogue::DeviceLine(*device, names)} + FDevices.EntriesOf(*device));
    return true;
}
