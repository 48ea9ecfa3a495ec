#pragma once
// Field layouts of the structured SNVTs: for each such type the points it expands into,
// in order, with each field's offset, variable type, parameter, kind and units.

#include "snvt/LonDefines.h"

#include <QList>
#include <QString>

struct FieldRow {
    QString suffix;             // appended to the variable's name; empty: the name alone
    int offset = 0;
    int variableType = 0;
    int parameter = 0;
    PointKind kind = KindAnalog;
    QString units;              // ignored when temperatureUnits is set
    bool temperatureUnits = false;   // "°C", or "°F" when temperatures are in Fahrenheit
};

// The layout of a structured type (those of ExpansionGroup::Fields); empty for any other.
const QList<FieldRow> &FieldLayout(int typeNumber);

// The units of one point as discovery names them: the type's units for a single-value type,
// the field's for a structured type (the row at that offset, variable type and parameter);
// empty when the type is unknown or has none.
QString FieldUnits(int typeNumber, int offset, int variableType, int parameter, bool tempsInF);

// The kind discovery gives the point at this offset, variable type and parameter: Analog
// for the point of a single-value type, String for those of the text and opaque types, the
// field's own for a structured type; KindUnknown when discovery lists no such point.
PointKind FieldKind(int typeNumber, int offset, int variableType, int parameter);
