// The layout tables of the structured SNVTs. Literal tables where the fields are named
// one by one; the bit and digit runs of types 83, 86 and 93 are generated from their rule;
// the structures above 122 come from the standard type catalogue.
#include "snvt/FieldLayouts.h"

#include "snvt/Catalogue.h"
#include "snvt/VariableTypes.h"

#include <QHash>

#include <cmath>

namespace {

using Layout = QList<FieldRow>;

constexpr PointKind A = KindAnalog;
constexpr PointKind D = KindDigital;
constexpr PointKind S = KindString;
constexpr PointKind T = KindDateTime;

FieldRow Row(const char16_t *suffix, int offset, int type, int parameter,
             PointKind kind = A, const char16_t *units = u"")
{
    return FieldRow{QString::fromUtf16(suffix), offset, type, parameter, kind,
                    QString::fromUtf16(units), false};
}

FieldRow Setpoint(const char16_t *suffix, int offset)
{
    FieldRow row = Row(suffix, offset, 3, 105);
    row.temperatureUnits = true;
    return row;
}

Layout SixteenStates()   // 83
{
    Layout layout;
    for (int k = 0; k < 16; ++k)
        layout.append({QStringLiteral(".Bit%1").arg(k), k / 8, 7, 128 >> (k % 8), D, {}, false});
    layout.append(Row(u".AllBits", 0, 2, 0));
    return layout;
}

Layout CardDigits()      // 86
{
    Layout layout;
    for (int k = 1; k <= 40; ++k)
        layout.append({QStringLiteral(".Digit%1").arg(k), (k - 1) / 2, 7, k % 2 ? 240 : 15, A, {},
                       false});
    return layout;
}

Layout ObjectStatus()    // 93
{
    static const char16_t *const Flags[24] = {
        u".InvalidID", u".InvalidRequest", u".Disabled", u".OutOfLimits",
        u".OpenCircuit", u".OutOfService", u".MechanicalFault", u".FeedbackFailure",
        u".OverRange", u".UnderRange", u".ElectricalFault", u".UnableToMeasure",
        u".CommFailure", u".FailSelfTest", u".SelfTestInProgress", u".LockedOut",
        u".ManualControl", u".InAlarm", u".InOverride", u".ReportMask",
        u".ProgrammingMode", u".ProgrammingFail", u".AlarmNotifyDisable", u".Reserved1"};
    Layout layout{Row(u".ObjectID", 0, 2, 0)};
    for (int i = 0; i < 24; ++i)
        layout.append(Row(Flags[i], 2 + i / 8, 7, 128 >> (i % 8), D));
    layout.append(Row(u".Reserved2", 5, 0, 0));
    layout.append(Row(u".AllBits", 2, 6, 0));
    return layout;
}

bool SameConversion(const SnvtCatalogue::Field *a, const SnvtCatalogue::Field &b)
{
    auto same = [](double x, double y) { return x == y || (std::isnan(x) && std::isnan(y)); };
    return a && a->multiplier == b.multiplier && a->exponent == b.exponent && a->bias == b.bias
           && same(a->min, b.min) && same(a->max, b.max) && same(a->invalid, b.invalid)
           && QStringView(a->units) == QStringView(b.units) && a->enumeration == b.enumeration;
}

// The scalar type above 122 a field reuses, when it converts exactly as the field does.
int ReusedScalar(const SnvtCatalogue::Field &field)
{
    if (field.reuses <= HighestOwnRuleType)
        return 0;
    const SnvtCatalogue::Field *own = SnvtCatalogue::ConversionField(field.reuses, 0, field.code);
    return own && own->code == field.code && SameConversion(own, field) ? field.reuses : 0;
}

// One point per field of a catalogue structure. A numeric field's parameter is the type's
// number, whose conversion then finds the field by its offset and code. A union member that
// shares both with an earlier member converted otherwise takes the number of the scalar type
// it reuses, if any, else it is listed raw (parameter 0). Absolute temperatures take the
// parameter of the type they reuse (39, 105), whose rules follow the site's
// Celsius/Fahrenheit choice.
Layout CatalogueLayout(const SnvtCatalogue::Type &type)
{
    Layout layout;
    for (const SnvtCatalogue::Field &field : SnvtCatalogue::FieldsOf(type)) {
        FieldRow row{QStringLiteral(".") + QLatin1String(field.path), field.offset, field.code, 0,
                     KindAnalog, QString::fromUtf16(field.units), false};
        if (field.code == VarBitField || field.code == VarText) {
            row.parameter = field.extent;
        } else if (field.reuses == 39 || field.reuses == 105) {
            row.parameter = field.reuses;
            row.temperatureUnits = true;
        } else if (SameConversion(SnvtCatalogue::ConversionField(type.number, field.offset,
                                                                 field.code), field)) {
            row.parameter = type.number;
        } else if (const int reused = ReusedScalar(field)) {
            row.parameter = reused;
        } else {
            row.units.clear();
        }
        if (field.code == VarText || (field.enumeration >= 0 && row.parameter != 0))
            row.kind = KindString;
        else if (field.code == VarBitField && field.boolean)
            row.kind = KindDigital;
        layout.append(row);
    }
    return layout;
}

QHash<int, Layout> BuildLayouts()
{
    QHash<int, Layout> layouts;
    layouts[70] = {Row(u".LStar", 0, 2, 0), Row(u".AStar", 2, 3, 0), Row(u".BStar", 4, 3, 0)};
    layouts[83] = SixteenStates();
    layouts[84] = {Row(u".Year", 0, 2, 0), Row(u".Month", 2, 0, 0), Row(u".Day", 3, 0, 0),
                   Row(u".Hour", 4, 0, 0), Row(u".Minute", 5, 0, 0), Row(u".Second", 6, 0, 0),
                   Row(u".DateTime", 0, 11, 0, T)};
    layouts[85] = {Row(u".Zero", 0, 3, 0), Row(u".Span", 2, 2, 0)};
    layouts[86] = CardDigits();
    layouts[87] = {Row(u".Day", 0, 2, 0), Row(u".Hour", 2, 0, 0), Row(u".Minute", 3, 0, 0),
                   Row(u".Second", 4, 0, 0), Row(u".Millisecond", 5, 2, 0)};
    layouts[88] = {Row(u".Location", 0, 5, 6, S), Row(u".ObjectID", 6, 2, 0),
                   Row(u".AlarmType", 8, 0, 0), Row(u".PriorityLevel", 9, 0, 0),
                   Row(u".IndexToSNVT", 10, 2, 0), Row(u".Value", 12, 6, 0),
                   Row(u".Year", 16, 2, 0), Row(u".Month", 18, 0, 0), Row(u".Day", 19, 0, 0),
                   Row(u".Hour", 20, 0, 0), Row(u".Minute", 21, 0, 0), Row(u".Second", 22, 0, 0),
                   Row(u".Millisecond", 23, 2, 0), Row(u".AlarmLimit", 25, 6, 0),
                   Row(u".Date", 16, 9, 0, T), Row(u".Time", 20, 10, 0, T),
                   Row(u".TimeStamp", 16, 11, 0, T)};
    layouts[89] = {Row(u".Currency", 0, 0, 0), Row(u".PowerOf10", 1, 1, 0), Row(u".Value", 2, 6, 0)};
    layouts[91] = {Row(u".Multiplier", 0, 2, 0), Row(u".Divisor", 2, 2, 0)};
    layouts[92] = {Row(u".ObjectID", 0, 2, 0), Row(u".ObjectRequest", 2, 0, 0)};
    layouts[93] = ObjectStatus();
    layouts[95] = {Row(u".Value", 0, 0, 21, A, u"%"), Row(u".State", 1, 0, 0, D, u"Off/On"),
                   Row(u"", 0, 2, 95, D, u"Off/On")};
    layouts[106] = {Setpoint(u".OccupiedCool", 0), Setpoint(u".StandbyCool", 2),
                    Setpoint(u".UnoccupiedCool", 4), Setpoint(u".OccupiedHeat", 6),
                    Setpoint(u".StandbyHeat", 8), Setpoint(u".UnoccupiedHeat", 10)};
    layouts[111] = {Row(u".State", 0, 0, 0), Row(u".Percent", 1, 3, 81, A, u"%"),
                    Row(u".Flow", 3, 2, 15, A, u"lt/sec")};
    layouts[112] = {Row(u".Mode", 0, 0, 0), Row(u".HeatOutputPrimary", 1, 3, 81, A, u"%"),
                    Row(u".HeatOutputSecondary", 3, 3, 81, A, u"%"),
                    Row(u".CoolOutput", 5, 3, 81, A, u"%"), Row(u".EconOutput", 7, 3, 81, A, u"%"),
                    Row(u".FanOutput", 9, 3, 81, A, u"%"), Row(u".InAlarm", 11, 0, 0, D)};
    layouts[115] = {Row(u".Function", 0, 0, 0), Row(u".SceneNumber", 1, 0, 0)};
    layouts[116] = {Row(u".Function", 0, 0, 0), Row(u".SceneNumber", 1, 0, 0),
                    Row(u".Setting", 2, 0, 0), Row(u".Rotation", 3, 3, 0),
                    Row(u".FadeTime", 5, 2, 0), Row(u".DelayTime", 7, 2, 0),
                    Row(u".Priority", 9, 0, 0)};
    layouts[117] = {Row(u".Function", 0, 0, 0), Row(u".Setting", 1, 0, 0), Row(u".Rotation", 2, 3, 0)};
    for (const SnvtCatalogue::Type &type : SnvtCatalogue::Types()) {
        if (type.number > HighestOwnRuleType && type.kind == SnvtCatalogue::TypeKind::Structure)
            layouts[type.number] = CatalogueLayout(type);
    }
    return layouts;
}

} // namespace

const QList<FieldRow> &FieldLayout(int typeNumber)
{
    static const QHash<int, Layout> Layouts = BuildLayouts();
    static const Layout Empty;
    const auto found = Layouts.constFind(typeNumber);
    return found == Layouts.cend() ? Empty : *found;
}

namespace {

const FieldRow *FindRow(int typeNumber, int offset, int variableType, int parameter)
{
    for (const FieldRow &row : FieldLayout(typeNumber)) {
        if (row.offset == offset && row.variableType == variableType && row.parameter == parameter)
            return &row;
    }
    return nullptr;
}

} // namespace

QString FieldUnits(int typeNumber, int offset, int variableType, int parameter, bool tempsInF)
{
    const SnvtTypeInfo *info = FindSnvtType(typeNumber);
    if (!info)
        return QString();
    if (info->expansion == ExpansionGroup::Single)
        return SnvtUnitsFor(typeNumber, tempsInF);
    const FieldRow *row = FindRow(typeNumber, offset, variableType, parameter);
    if (!row)
        return QString();
    return row->temperatureUnits ? TemperatureUnits(tempsInF) : row->units;
}

PointKind FieldKind(int typeNumber, int offset, int variableType, int parameter)
{
    const SnvtTypeInfo *info = FindSnvtType(typeNumber);
    if (!info)
        return KindUnknown;
    switch (info->expansion) {
    case ExpansionGroup::Single:
        return offset == 0 && variableType == info->variableType ? info->kind : KindUnknown;
    case ExpansionGroup::Text:
        return offset == 0 && variableType == VarText ? KindString : KindUnknown;
    case ExpansionGroup::Opaque:
        return offset == 0 && variableType == VarOpaque ? KindString : KindUnknown;
    case ExpansionGroup::Fields:
        if (const FieldRow *row = FindRow(typeNumber, offset, variableType, parameter))
            return row->kind;
        return KindUnknown;
    case ExpansionGroup::None:
        break;
    }
    return KindUnknown;
}
