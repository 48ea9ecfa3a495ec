// The SNVT catalogue rows and its lookups.
#include "snvt/LonDefines.h"

#include "snvt/Catalogue.h"

#include <QHash>

namespace {

using G = ExpansionGroup;
using R = ScalingRule;

// One row per type number, in number order: units, expansion, variable type, scaling.
constexpr std::array<SnvtTypeInfo, SnvtTypeCount> Catalogue{{
    {u"", G::None, -1, R::None},                     // 0
    {u"Amps", G::Single, 3, R::Tenths},              // 1
    {u"mA", G::Single, 3, R::Tenths},                // 2
    {u"radians", G::Single, 2, R::None},             // 3
    {u"radians/sec", G::Single, 3, R::Tenths},       // 4
    {u"kbtu", G::Single, 2, R::None},                // 5
    {u"mbtu", G::Single, 2, R::None},                // 6
    {u"", G::Single, 0, R::None},                    // 7
    {u"counts", G::Single, 2, R::None},              // 8
    {u"counts", G::Single, 3, R::None},              // 9
    {u"", G::None, -1, R::None},                     // 10
    {u"", G::Single, 0, R::None},                    // 11
    {u"", G::None, -1, R::None},                     // 12
    {u"kWH", G::Single, 2, R::None},                 // 13
    {u"WHR", G::Single, 2, R::Tenths},               // 14
    {u"lt/sec", G::Single, 2, R::None},              // 15
    {u"ml/sec ", G::Single, 2, R::None},             // 16
    {u"meters", G::Single, 2, R::Tenths},            // 17
    {u"km", G::Single, 2, R::Tenths},                // 18
    {u"µm", G::Single, 2, R::Tenths},                // 19
    {u"mm", G::Single, 2, R::Tenths},                // 20
    {u"%", G::Single, 0, R::HalfSteps},              // 21
    {u"", G::Single, 0, R::WholePercent},            // 22
    {u"g", G::Single, 2, R::Tenths},                 // 23
    {u"kg", G::Single, 2, R::Tenths},                // 24
    {u"tonnes", G::Single, 2, R::Tenths},            // 25
    {u"mg", G::Single, 2, R::Tenths},                // 26
    {u"W", G::Single, 2, R::Tenths},                 // 27
    {u"kW", G::Single, 2, R::Tenths},                // 28
    {u"ppm", G::Single, 2, R::None},                 // 29
    {u"kPa", G::Single, 3, R::Tenths},               // 30
    {u"ohms", G::Single, 2, R::Tenths},              // 31
    {u"kohms", G::Single, 2, R::Tenths},             // 32
    {u"dB", G::Single, 3, R::Hundredths},            // 33
    {u"m/s", G::Single, 2, R::Tenths},               // 34
    {u"m/s", G::Single, 2, R::Thousandths},          // 35
    {u"", G::Text, -1, R::None},                     // 36
    {u"", G::Opaque, -1, R::None},                   // 37
    {u"", G::Single, 0, R::None},                    // 38
    {u"°C", G::Single, 2, R::Temperature},           // 39
    {u"", G::None, -1, R::None},                     // 40
    {u"l", G::Single, 2, R::Tenths},                 // 41
    {u"kl", G::Single, 2, R::Tenths},                // 42
    {u"ml", G::Single, 2, R::Tenths},                // 43
    {u"V", G::Single, 3, R::Tenths},                 // 44
    {u"db µv", G::Single, 3, R::Hundredths},         // 45
    {u"kV", G::Single, 3, R::Tenths},                // 46
    {u"mV", G::Single, 3, R::Tenths},                // 47
    {u"Amps", G::Single, 4, R::None},                // 48
    {u"radians", G::Single, 4, R::None},             // 49
    {u"radians/sec", G::Single, 4, R::None},         // 50
    {u"counts", G::Single, 4, R::NonNegative},       // 51
    {u"counts", G::Single, 4, R::None},              // 52
    {u"l/sec", G::Single, 4, R::None},               // 53
    {u"meters", G::Single, 4, R::NonNegative},       // 54
    {u"%", G::Single, 4, R::None},                   // 55: a 4-byte float on the network
    {u"g", G::Single, 4, R::NonNegative},            // 56
    {u"watts", G::Single, 4, R::None},               // 57
    {u"ppm", G::Single, 4, R::NonNegative},          // 58
    {u"pascals", G::Single, 4, R::NonNegative},      // 59
    {u"ohms", G::Single, 4, R::None},                // 60
    {u"dBspl", G::Single, 4, R::None},               // 61
    {u"m/s", G::Single, 4, R::None},                 // 62
    {u"C", G::Single, 4, R::None},                   // 63
    {u"sec", G::Single, 4, R::NonNegative},          // 64
    {u"l", G::Single, 4, R::NonNegative},            // 65
    {u"volts", G::Single, 4, R::None},               // 66
    {u"btu", G::Single, 4, R::NonNegative},          // 67
    {u"watt-hour", G::Single, 4, R::NonNegative},    // 68
    {u"", G::Single, 0, R::None},                    // 69
    {u"", G::Fields, -1, R::None},                   // 70
    {u"gsm", G::Single, 2, R::Tenths},               // 71
    {u"gsm", G::Single, 4, R::NonNegative},          // 72
    {u"", G::None, -1, R::None},                     // 73
    {u"", G::None, -1, R::None},                     // 74
    {u"Hz", G::Single, 4, R::NonNegative},           // 75
    {u"Hz", G::Single, 2, R::Tenths},                // 76
    {u"kHz", G::Single, 2, R::Tenths},               // 77
    {u"Hz", G::Single, 2, R::Thousandths},           // 78
    {u"lux", G::Single, 2, R::None},                 // 79
    {u"", G::None, -1, R::None},                     // 80
    {u"%", G::Single, 3, R::Steps0_005},             // 81
    {u"", G::Single, 3, R::Steps0_005},              // 82
    {u"", G::Fields, -1, R::None},                   // 83
    {u"", G::Fields, -1, R::None},                   // 84
    {u"", G::Fields, -1, R::None},                   // 85
    {u"", G::Fields, -1, R::None},                   // 86
    {u"", G::Fields, -1, R::None},                   // 87
    {u"", G::Fields, -1, R::None},                   // 88
    {u"", G::Fields, -1, R::None},                   // 89
    {u"", G::None, -1, R::None},                     // 90
    {u"", G::Fields, -1, R::None},                   // 91
    {u"", G::Fields, -1, R::None},                   // 92
    {u"", G::Fields, -1, R::None},                   // 93
    {u"", G::None, -1, R::None},                     // 94
    {u"", G::Fields, -1, R::Switch},                 // 95
    {u"", G::None, -1, R::None},                     // 96
    {u"", G::Single, 0, R::None},                    // 97
    {u"", G::Single, 3, R::Steps0_00005},            // 98
    {u"", G::Single, 4, R::None},                    // 99
    {u"kg/m3", G::Single, 3, R::NonNegative},        // 100
    {u"kg/m3", G::Single, 4, R::NonNegative},        // 101
    {u"rpm", G::Single, 2, R::None},                 // 102
    {u"", G::Single, 0, R::None},                    // 103
    {u"degrees", G::Single, 3, R::Steps0_02},        // 104
    {u"°C", G::Single, 3, R::HundredthsTemperature}, // 105
    {u"", G::Fields, -1, R::None},                   // 106
    {u"secs", G::Single, 2, R::Tenths},              // 107
    {u"", G::Single, 0, R::None},                    // 108
    {u"", G::Single, 0, R::None},                    // 109
    {u"m2", G::Single, 2, R::Steps0_0002},           // 110: 0.0002 steps of a square metre
    {u"", G::Fields, -1, R::None},                   // 111
    {u"", G::Fields, -1, R::None},                   // 112
    {u"Pa", G::Single, 3, R::None},                  // 113
    {u"Hex", G::Single, 2, R::AddressRange},         // 114
    {u"", G::Fields, -1, R::None},                   // 115
    {u"", G::Fields, -1, R::None},                   // 116
    {u"", G::Fields, -1, R::None},                   // 117
    {u"", G::Single, 0, R::None},                    // 118
    {u"", G::Single, 0, R::None},                    // 119
    {u"", G::Single, 0, R::None},                    // 120
    {u"", G::Single, 0, R::None},                    // 121
    {u"", G::Single, 0, R::None},                    // 122
}};

// Rows of the types above 122, from the standard type catalogue: a scalar type is one
// point read by its own code, a structure one point per field, a type known by name only
// has none.
QHash<int, SnvtTypeInfo> CatalogueRows()
{
    QHash<int, SnvtTypeInfo> rows;
    for (const SnvtCatalogue::Type &type : SnvtCatalogue::Types()) {
        if (type.number < SnvtTypeCount)
            continue;
        const auto fields = SnvtCatalogue::FieldsOf(type);
        SnvtTypeInfo row{u"", G::None, -1, R::None};
        if (type.kind == SnvtCatalogue::TypeKind::Structure && !fields.empty()) {
            row.expansion = G::Fields;
        } else if (type.kind != SnvtCatalogue::TypeKind::Unknown && !fields.empty()) {
            const SnvtCatalogue::Field &value = fields.front();
            row = {QStringView(value.units), G::Single, value.code, R::None,
                   value.enumeration >= 0 ? KindString : KindAnalog};
        }
        rows.insert(type.number, row);
    }
    return rows;
}

} // namespace

const SnvtTypeInfo *FindSnvtType(int typeNumber)
{
    if (typeNumber >= 0 && typeNumber < SnvtTypeCount)
        return &Catalogue[std::size_t(typeNumber)];
    static const QHash<int, SnvtTypeInfo> Rows = CatalogueRows();
    const auto found = Rows.constFind(typeNumber);
    return found == Rows.cend() ? nullptr : &*found;
}

QString SnvtUnits(int typeNumber)
{
    const SnvtTypeInfo *info = FindSnvtType(typeNumber);
    return info ? info->units.toString() : QString();
}

QString TemperatureUnits(bool tempsInF)
{
    return tempsInF ? QStringLiteral(u"°F") : QStringLiteral(u"°C");
}

QString SnvtUnitsFor(int typeNumber, bool tempsInF)
{
    return typeNumber == 105 ? TemperatureUnits(tempsInF) : SnvtUnits(typeNumber);
}

QString PointKindName(int kind)
{
    if (kind < 0 || kind >= int(PointKindNames.size()))
        kind = KindUnknown;
    return PointKindNames[std::size_t(kind)].toString();
}

ScalingRule ScalingRuleOf(int parameter)
{
    const SnvtTypeInfo *info = FindSnvtType(parameter);
    return info ? info->scaling : ScalingRule::None;
}
