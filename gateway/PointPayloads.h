#pragma once
// What the gateway publishes for a point and what it accepts on its set topic.
//  - state: Digital "ON"/"OFF"; Analog the number with "." and without trailing zeros
//    ("21.5000" gives "21.5"); DateTime as ISO 8601 (a date and time "2024-03-15T12:30:45Z",
//    a date "2024-03-15", a time of day "12:30:45"); String the driver's text. A value the
//    driver gives as empty text is published as "None" (an empty retained message would
//    delete the retained state instead);
//  - attributes: a JSON object describing the point (site, name, address, device, units,
//    kind, writable), unchanged while the point is;
//  - a set payload becomes the value text of POINTMODIFY, or is refused with a reason.

#include "gateway/GatewayPoint.h"

#include <QByteArray>
#include <QString>

// The state payload of a point whose value is empty text.
inline constexpr char EmptyStatePayload[] = "None";

QByteArray StatePayload(const TGatewayPoint &point);
QByteArray AttributesPayload(const TGatewayPoint &point, const QString &site);

// The driver's number text (host decimal separator, or "."), as a double.
bool ReadDriverNumber(const QString &text, double &value);

// The value text for POINTMODIFY, or false with the refusal. The payload must be UTF-8.
// Digital points take ON, OFF, TRUE, FALSE, 1, 0 (any case); Analog points a number with
// "." (as Home Assistant and most programs write it) or the host's decimal separator;
// DateTime points ISO 8601 or the host's date and time formats; String points text without
// braces. A value its field cannot hold (out of range after scaling, too long a text,
// characters without a Windows-1252 byte) is refused here with the encoder's reason.
bool WriteValueFor(const TGatewayPoint &point, const QByteArray &payload, QString &value,
                   QString &refusal);
