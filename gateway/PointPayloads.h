#pragma once
// What the gateway publishes for a point and what it accepts on its set topic.
//  - state: Digital "ON"/"OFF"; Analog the number with "." and without trailing zeros
//    ("21.5000" gives "21.5"); String and DateTime the driver's text;
//  - attributes: a JSON object (site, name, address, device, units, kind, writable, time,
//    value as the driver wrote it);
//  - a set payload becomes the value text of POINTMODIFY, or is refused with a reason.

#include "gateway/GatewayPoint.h"

#include <QByteArray>
#include <QString>

QByteArray StatePayload(const TGatewayPoint &point);
QByteArray AttributesPayload(const TGatewayPoint &point, const QString &site);

// The driver's number text (host decimal separator, or "."), as a double.
bool ReadDriverNumber(const QString &text, double &value);

// The value text for POINTMODIFY, or false with the refusal. Digital points take ON, OFF,
// TRUE, FALSE, 1, 0 (any case); Analog points a number with "." (as Home Assistant and
// most programs write it) or the host's decimal separator; String and DateTime points text
// without braces.
bool WriteValueFor(const TGatewayPoint &point, const QByteArray &payload, QString &value,
                   QString &refusal);
