#pragma once
// The SNVT catalogue as discovery and the value codes use it: for each standard network
// variable type number its units text, how a variable of that type expands into points, and
// the scaling rule that turns raw integers into engineering values and back. Types 0..122
// have the driver's own table below; those above come from the standard type catalogue
// (Catalogue.h), whose conversions their parameters select. Constant for the life of the
// process.

#include <QString>
#include <QStringView>

#include <array>

inline constexpr int SnvtTypeCount = 123;   // the driver's own table: 0..122; 0 = not a standard type

enum class ExpansionGroup {
    None,       // no points
    Single,     // one point named as the variable, offset 0, parameter = type number
    Text,       // type 36: one String point, variable type 5, parameter 31
    Opaque,     // type 37: one String point, variable type 8, parameter 14
    Fields,     // one point per field of the type's layout (FieldLayouts.h)
};

enum class ScalingRule {
    None,
    Tenths,
    Hundredths,
    Thousandths,
    HalfSteps,              // 21
    WholePercent,           // 22
    NonNegative,
    Steps0_005,             // 81, 82
    Steps0_00005,           // 98
    Steps0_02,              // 104
    Steps0_0002,            // 110
    Temperature,            // 39: raw tenths of a degree above -274 °C
    HundredthsTemperature,  // 105
    Switch,                 // 95: level byte and state byte
    AddressRange,           // 114
};

enum PointKind { KindUnknown, KindDigital, KindAnalog, KindTriState, KindString,
                 KindDate, KindTime, KindDateTime };

inline constexpr std::array<QStringView, 8> PointKindNames{
    u"Unknown", u"Digital", u"Analog", u"Tri-state", u"String", u"Date", u"Time", u"DateTime"};

// One row of the catalogue.
struct SnvtTypeInfo {
    QStringView units;        // empty when the type has no units
    ExpansionGroup expansion;
    int variableType;         // variable type code of a Single point; -1 otherwise
    ScalingRule scaling;      // the rule applied to fields whose parameter is this number;
                              // None above 122, where the catalogue's conversion applies
    PointKind kind = KindAnalog;   // of a Single point: String for an enumeration's names
};

// The catalogue row of a type number; nullptr for a number the catalogue does not know.
// A type known by name only has no points.
const SnvtTypeInfo *FindSnvtType(int typeNumber);

// Units text of a type number (empty for an unknown number and where the type has none).
// SnvtUnitsFor chooses "°F" for type 105 when temperatures are shown in Fahrenheit.
QString SnvtUnits(int typeNumber);
QString SnvtUnitsFor(int typeNumber, bool tempsInF);
QString TemperatureUnits(bool tempsInF);   // "°C" or "°F"

QString PointKindName(int kind);           // "Unknown" outside 0..7

// Scaling rules, looked up by the field's parameter (never by the variable's own type);
// a parameter that names no rule leaves the value unchanged.
ScalingRule ScalingRuleOf(int parameter);
// Raw to engineering value. Rules that compare or truncate (switch, address range) give 0
// for a value they cannot compare or truncate (a not-a-number, or an infinity for the
// switch), as a floating-point fault would; the arithmetic rules pass infinities and
// not-a-numbers through.
double ScaleForReading(int parameter, double value, bool tempsInF);
// Engineering value to raw, before the value is truncated and packed into its field.
double ScaleForWriting(int parameter, double value, bool tempsInF);
