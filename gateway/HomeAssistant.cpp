#include "gateway/HomeAssistant.h"

#include "gateway/TopicNames.h"
#include "snvt/Catalogue.h"
#include "snvt/FieldEncoder.h"
#include "snvt/VariableTypes.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString kOrigin = QStringLiteral("lonworks-gateway");

struct TUnitRow
{
    const char *units;      // as the driver's catalogue writes them
    const char *unit;       // as Home Assistant expects them
    const char *deviceClass;
    const char *stateClass;
};

// Percent stays without a device class: the catalogue's percent types are levels and
// positions, not humidity (a configured point can name "humidity" itself).
const TUnitRow kUnitRows[] = {
    {"°C", "°C", "temperature", "measurement"},
    {"°F", "°F", "temperature", "measurement"},
    {"C", "°C", "temperature", "measurement"},       // the float temperature type
    {"W", "W", "power", "measurement"},
    {"watts", "W", "power", "measurement"},
    {"kW", "kW", "power", "measurement"},
    {"kWH", "kWh", "energy", "total_increasing"},
    {"WHR", "Wh", "energy", "total_increasing"},
    {"watt-hour", "Wh", "energy", "total_increasing"},
    {"Pa", "Pa", "pressure", "measurement"},
    {"pascals", "Pa", "pressure", "measurement"},
    {"kPa", "kPa", "pressure", "measurement"},
    {"ppm", "ppm", "carbon_dioxide", "measurement"},
    {"lux", "lx", "illuminance", "measurement"},
    {"V", "V", "voltage", "measurement"},
    {"volts", "V", "voltage", "measurement"},
    {"kV", "kV", "voltage", "measurement"},
    {"mV", "mV", "voltage", "measurement"},
    {"Amps", "A", "current", "measurement"},
    {"mA", "mA", "current", "measurement"},
    {"Hz", "Hz", "frequency", "measurement"},
    {"kHz", "kHz", "frequency", "measurement"},
    {"sec", "s", "duration", "measurement"},
    {"secs", "s", "duration", "measurement"},
    {"%", "%", "", "measurement"},
    {"m/s", "m/s", "speed", "measurement"},
    {"meters", "m", "distance", "measurement"},
    {"km", "km", "distance", "measurement"},
    {"mm", "mm", "distance", "measurement"},
    {"g", "g", "weight", "measurement"},
    {"kg", "kg", "weight", "measurement"},
    {"l", "L", "volume", "measurement"},
    {"ml", "mL", "volume", "measurement"},
    {"lt/sec", "L/s", "", "measurement"},
    {"l/sec", "L/s", "", "measurement"},
    {"counts", "", "", "total_increasing"},
    {"Off/On", "", "", ""},
};

// Home Assistant refuses a number config whose step is below this.
constexpr double kSmallestStep = 0.001;

// The entity id Home Assistant gives a new entity: <component>.<object id> in lower case
// with "_" for every other character (its own slug rule).
QString DefaultEntityId(const QString &component, const QString &objectId)
{
    QString slug = objectId.toLower();
    for (QChar &c : slug) {
        if (!((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')))
            c = u'_';
    }
    return component + u'.' + slug;
}

QJsonObject Device(const TTopicLayout &layout, const QString &siteTopic, const QString &siteDescription,
                   const QString &device)
{
    return QJsonObject{
        {QStringLiteral("identifiers"),
         QJsonArray{QStringLiteral("lonworks_%1_%2_%3")
                        .arg(layout.GatewayId, IdText(siteTopic), IdText(QString(device).replace(u':', u'_')))}},
        {QStringLiteral("name"), QStringLiteral("%1 %2").arg(siteDescription, device)},
        {QStringLiteral("manufacturer"), QStringLiteral("LonWorks")},
        {QStringLiteral("model"), QStringLiteral("LonWorks device %1").arg(device)},
        {QStringLiteral("via_device"), QStringLiteral("lonworks_%1").arg(layout.GatewayId)}};
}

QJsonObject GatewayDevice(const TTopicLayout &layout)
{
    return QJsonObject{{QStringLiteral("identifiers"), QJsonArray{QStringLiteral("lonworks_%1").arg(layout.GatewayId)}},
                       {QStringLiteral("name"), QStringLiteral("LonWorks gateway %1").arg(layout.GatewayId)},
                       {QStringLiteral("manufacturer"), QStringLiteral("LonWorks Network Driver")},
                       {QStringLiteral("model"), QStringLiteral("lonworks-gateway")},
                       {QStringLiteral("sw_version"), QStringLiteral("1.80")}};
}

// The names of the catalogue's enumeration a point reads as names (above 122); empty for
// any other point.
QStringList MemberNames(const TGatewayPoint &point)
{
    const SnvtCatalogue::Field *field =
        point.VariableType == VarFloat || point.VariableType == VarBitField || point.Scale != 0.0
            ? nullptr
            : SnvtCatalogue::ConversionField(point.Parameter, point.VariableOffset, point.VariableType);
    QStringList names;
    if (field && field->enumeration >= 0) {
        for (const SnvtCatalogue::EnumMember &member : SnvtCatalogue::MembersOf(field->enumeration))
            names.append(QString::fromLatin1(member.name));
    }
    return names;
}

} // namespace

THaUnits HaUnitsFor(const QString &units)
{
    static const QHash<QString, const TUnitRow *> rows = [] {
        QHash<QString, const TUnitRow *> byUnits;
        for (const TUnitRow &row : kUnitRows)
            byUnits.insert(QString::fromUtf8(row.units), &row);
        return byUnits;
    }();
    const QString trimmed = units.trimmed();
    const TUnitRow *row = rows.value(trimmed);
    if (!row)
        return THaUnits{trimmed, QString(), trimmed.isEmpty() ? QString() : QStringLiteral("measurement")};
    return THaUnits{QString::fromUtf8(row->unit), QString::fromUtf8(row->deviceClass),
                    QString::fromUtf8(row->stateClass)};
}

QString HaComponentFor(const TGatewayPoint &point)
{
    if (point.Kind == QLatin1String("Digital"))
        return point.Writable ? QStringLiteral("switch") : QStringLiteral("binary_sensor");
    if (point.Kind == QLatin1String("Analog"))
        return point.Writable ? QStringLiteral("number") : QStringLiteral("sensor");
    if (!point.Writable)
        return QStringLiteral("sensor");
    // A writable enumeration is a choice among its members' names.
    return MemberNames(point).isEmpty() ? QStringLiteral("text") : QStringLiteral("select");
}

TDiscoveryMessage PointDiscovery(const TTopicLayout &layout, const QString &siteTopic,
                                 const QString &siteDescription, const TGatewayPoint &point)
{
    const QString component = HaComponentFor(point);
    const QString objectId = IdText(siteTopic + u'_' + point.Topic);
    const QString uniqueId = QStringLiteral("lonworks_%1_%2_%3")
                                 .arg(layout.GatewayId, IdText(siteTopic), IdText(point.Address));
    QJsonObject config{
        {QStringLiteral("name"), point.Name},
        {QStringLiteral("unique_id"), uniqueId},
        {QStringLiteral("default_entity_id"), DefaultEntityId(component, objectId)},
        {QStringLiteral("state_topic"), layout.Point(siteTopic, point.Topic, "state")},
        {QStringLiteral("json_attributes_topic"), layout.Point(siteTopic, point.Topic, "attributes")},
        {QStringLiteral("availability"),
         QJsonArray{QJsonObject{{QStringLiteral("topic"), layout.GatewayStatus()}},
                    QJsonObject{{QStringLiteral("topic"), layout.SiteStatus(siteTopic)}}}},
        {QStringLiteral("availability_mode"), QStringLiteral("all")},
        {QStringLiteral("device"), Device(layout, siteTopic, siteDescription, point.Device)},
        {QStringLiteral("origin"), QJsonObject{{QStringLiteral("name"), kOrigin},
                                               {QStringLiteral("sw_version"), QStringLiteral("1.80")}}},
    };
    if (point.Writable) {
        config.insert(QStringLiteral("command_topic"), layout.Point(siteTopic, point.Topic, "set"));
        config.insert(QStringLiteral("qos"), 1);
    }
    if (component == QLatin1String("binary_sensor") || component == QLatin1String("switch")) {
        config.insert(QStringLiteral("payload_on"), QStringLiteral("ON"));
        config.insert(QStringLiteral("payload_off"), QStringLiteral("OFF"));
        if (component == QLatin1String("switch")) {
            config.insert(QStringLiteral("state_on"), QStringLiteral("ON"));
            config.insert(QStringLiteral("state_off"), QStringLiteral("OFF"));
        }
    } else if (point.Kind == QLatin1String("Analog")) {
        const THaUnits units = HaUnitsFor(point.Units);
        if (!units.Unit.isEmpty())
            config.insert(QStringLiteral("unit_of_measurement"), units.Unit);
        const QString deviceClass = point.DeviceClass.isEmpty() ? units.DeviceClass : point.DeviceClass;
        if (!deviceClass.isEmpty())
            config.insert(QStringLiteral("device_class"), deviceClass);
        // Every number is a measurement, unless its units say it only grows.
        if (component == QLatin1String("sensor"))
            config.insert(QStringLiteral("state_class"),
                          units.StateClass.isEmpty() ? QStringLiteral("measurement") : units.StateClass);
        // The values the point's field holds after its scaling: what a write may send.
        FieldRange range;
        if (component == QLatin1String("number")
            && WritableRange(point.VariableType, point.Parameter, point.TempsInF, point.Scale,
                             point.VariableOffset, range)) {
            config.insert(QStringLiteral("min"), range.Low);
            config.insert(QStringLiteral("max"), range.High);
            config.insert(QStringLiteral("step"), qMax(range.Step, kSmallestStep));
            config.insert(QStringLiteral("mode"), QStringLiteral("box"));
        }
    } else if (component == QLatin1String("select")) {
        config.insert(QStringLiteral("options"), QJsonArray::fromStringList(MemberNames(point)));
    } else if (component == QLatin1String("text") && point.VariableType == VarText) {
        config.insert(QStringLiteral("max"), qMax(1, point.Parameter - 1));
    } else if (component == QLatin1String("sensor") && point.Kind == QLatin1String("DateTime")) {
        // States are ISO 8601 (PointPayloads.h): a date and time, or a date.
        if (point.VariableType == VarDateTime)
            config.insert(QStringLiteral("device_class"), QStringLiteral("timestamp"));
        else if (point.VariableType == VarDate)
            config.insert(QStringLiteral("device_class"), QStringLiteral("date"));
    }
    return TDiscoveryMessage{layout.Discovery(component, objectId),
                             QJsonDocument(config).toJson(QJsonDocument::Compact)};
}

TDiscoveryMessage SiteDiscovery(const TTopicLayout &layout, const QString &siteTopic,
                                const QString &siteDescription)
{
    const QString objectId = IdText(siteTopic + QStringLiteral("_site"));
    const QJsonObject config{
        {QStringLiteral("name"), QStringLiteral("Site %1").arg(siteDescription)},
        {QStringLiteral("unique_id"), QStringLiteral("lonworks_%1_%2_site").arg(layout.GatewayId, IdText(siteTopic))},
        {QStringLiteral("default_entity_id"), DefaultEntityId(QStringLiteral("binary_sensor"), objectId)},
        {QStringLiteral("state_topic"), layout.SiteStatus(siteTopic)},
        {QStringLiteral("payload_on"), QStringLiteral("online")},
        {QStringLiteral("payload_off"), QStringLiteral("offline")},
        {QStringLiteral("device_class"), QStringLiteral("connectivity")},
        {QStringLiteral("entity_category"), QStringLiteral("diagnostic")},
        {QStringLiteral("availability_topic"), layout.GatewayStatus()},
        {QStringLiteral("device"), GatewayDevice(layout)},
        {QStringLiteral("origin"), QJsonObject{{QStringLiteral("name"), kOrigin},
                                               {QStringLiteral("sw_version"), QStringLiteral("1.80")}}},
    };
    return TDiscoveryMessage{layout.Discovery(QStringLiteral("binary_sensor"), objectId),
                             QJsonDocument(config).toJson(QJsonDocument::Compact)};
}
