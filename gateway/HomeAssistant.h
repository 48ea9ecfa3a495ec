#pragma once
// Home Assistant MQTT discovery for the gateway's points: one retained config message per
// point under <discovery>/<component>/<gateway id>/<object id>/config.
//  - Analog: `sensor` (read-only, state class measurement unless the units only grow) or
//    `number` (writable, the range and step of its field after scaling), with the unit and
//    a device class where the units say what is measured (°C/°F temperature, W/kW power,
//    kWh/Wh energy, Pa/kPa pressure, ppm carbon dioxide, lux illuminance, V voltage,
//    A current, Hz, s);
//  - Digital: `binary_sensor` or `switch` (payloads ON and OFF);
//  - String and DateTime: `sensor` (a date and time with device class timestamp, a date
//    with date), or `text` when writable.
// The entity id Home Assistant makes comes from `default_entity_id` (<component>.<object
// id>), the key that replaced `object_id`.
// Every point belongs to the Home Assistant device of its LonWorks device (domain:subnet:node
// in its site), reached through the gateway's own device, and is available while both the
// gateway and its site are online. The gateway's device carries one connectivity sensor per
// site.

#include "gateway/GatewayPoint.h"
#include "gateway/TopicLayout.h"

#include <QByteArray>
#include <QString>

struct TDiscoveryMessage
{
    QString Topic;
    QByteArray Payload;
};

// What Home Assistant makes of a units text.
struct THaUnits
{
    QString Unit;          // unit_of_measurement; empty: none
    QString DeviceClass;   // empty: none
    QString StateClass;    // measurement, total_increasing; empty: none
};
THaUnits HaUnitsFor(const QString &units);

// The component a point becomes (sensor, number, binary_sensor, switch, text, select: a
// writable enumeration of the catalogue, with its members' names as options).
QString HaComponentFor(const TGatewayPoint &point);

TDiscoveryMessage PointDiscovery(const TTopicLayout &layout, const QString &siteTopic,
                                 const QString &siteDescription, const TGatewayPoint &point);
TDiscoveryMessage SiteDiscovery(const TTopicLayout &layout, const QString &siteTopic,
                                const QString &siteDescription);
