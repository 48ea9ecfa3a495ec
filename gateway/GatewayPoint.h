#pragma once
// One point the gateway publishes: what the driver and the configuration say about it, its
// topic level, and the last value the driver reported.

#include <QDateTime>
#include <QString>

struct TGatewayPoint
{
    QString Address;        // as sent in the points list and answered by GETPOINTSLIST
    QString Name;
    QString Units;
    QString Kind;           // Analog, Digital, String or DateTime
    bool Writable = false;
    QString DeviceClass;    // Home Assistant device class given in the configuration
    int SnvtType = 0;       // address field 5
    int VariableOffset = 0; // address field 6
    int VariableType = 3;   // address field 7
    int Parameter = 0;      // address field 8
    double Scale = 0.0;     // address field 9; 0: none
    bool HasObject = false; // the address names a device object
    bool TempsInF = false;  // its site shows temperatures in °F
    QString Device;         // domain:subnet:node
    QString Topic;          // its topic level, unique in the site

    bool HasValue = false;
    QString Value;          // the driver's text
    QDateTime Changed;      // when the gateway first saw this value (UTC)
};

struct TConfiguredPoint;
struct TPointEntry;

// A point from discovery's entry line.
TGatewayPoint PointFromEntry(const TPointEntry &entry, bool fahrenheit);
// A point of an explicit list; units and kind come from the SNVT catalogue (the field's
// own kind where the address names a field of a structured type, else the variable type)
// where the configuration leaves them out.
TGatewayPoint PointFromConfig(const TConfiguredPoint &configured, bool fahrenheit);
