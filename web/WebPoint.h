#pragma once
// One point the console shows: what discovery says about it, where it sits in the device
// tree, the range its field can hold, its last value and its trend.

#include "web/TrendRing.h"

#include <QString>

struct TWebPoint
{
    QString Address;
    QString Name;
    QString Units;
    QString Kind;            // Analog, Digital, String, ...
    bool Writable = false;
    QString Device;          // domain:subnet:node
    QString Variable;        // domain:subnet:node:index
    bool HasRange = false;   // Analog points of a whole-number or float field
    double Min = 0;
    double Max = 0;

    bool HasValue = false;
    QString Value;           // the driver's text
    qint64 ChangedMs = 0;    // when the console first saw this value
    bool Disabled = false;   // POINTGETDISABLED answered TRUE (points with a device object)
    TTrendRing Trend;
};

// The values a point's field can hold, scaled as the driver reads them; false for points
// without such a range (text, dates, bit fields, addresses with a scale of their own).
bool PointRange(const QString &address, bool fahrenheit, double &min, double &max);
// A point from discovery's entry fields.
TWebPoint MakeWebPoint(const QString &address, const QString &name, const QString &units,
                       const QString &kind, bool writable, bool fahrenheit);
// The driver's value text as a number for the trend (TRUE/ON 1, FALSE/OFF 0); false for text.
bool TrendNumber(const QString &text, double &value);
// A value text from the page checked against the point: false with the reason.
bool CheckWriteValue(const TWebPoint &point, const QString &text, QString &value, QString &refusal);
