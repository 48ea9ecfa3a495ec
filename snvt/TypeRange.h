#pragma once
// The range of values a standard type allows, as a point shows it: the catalogue's minimum
// and maximum turned into the point's raw steps and read back by the point's own rules
// (so °F when the site shows Fahrenheit, the driver's own resolution for types 0..122). A
// value of "no data" at either end is left out: SNVT_temp_p runs -273.17 to 327.66 °C,
// since 327.67 means no data. Writes outside the range are refused.

#include <QString>

#include <optional>

struct TypeRange
{
    QString typeName;       // "SNVT_temp_p"; a structure's field: "SNVT_chlr_status.chlr_run_mode"
    double low = 0.0;       // in the point's units
    double high = 0.0;
    double step = 0.0;      // one raw step in those units; 0 for a float
    QString units;          // the point's units text
    int enumeration = -1;   // an enumeration's members instead of a range (Catalogue.h)
};

// The range a point's value must lie in, chosen as its conversion is: by the parameter,
// and above 122 by the field at the offset for a structure. Nothing when the parameter's
// type gives no range (none known, an enumeration read as numbers up to 122, a structure up
// to 122) or the code reads no number.
std::optional<TypeRange> PointTypeRange(int parameter, int offset, int code, bool tempsInF);

// True when `value` (in the point's units) lies in the range or less than half a step
// beyond an end, so that every value that lands on an allowed raw step is accepted.
bool InTypeRange(const TypeRange &range, double value);

// "Value out of range for SNVT_temp_p: -273.17 to 327.66 °C."; for an enumeration
// "Value out of range for SNVT_fire_test: one of FT_NUL, FT_NORMAL, ...".
QString OutOfRangeText(const TypeRange &range);
