// Type ranges from the catalogue's minimum, maximum and "no data" value.
#include "snvt/TypeRange.h"

#include "snvt/Catalogue.h"
#include "snvt/LonDefines.h"
#include "snvt/VariableTypes.h"
#include "support/StrLib.h"

#include <QStringList>

#include <cmath>
#include <limits>

namespace {

using SnvtCatalogue::Field;

bool NumericCode(int code)
{
    double low = 0;
    double high = 0;
    return code == VarFloat || IntegerCodeLimits(code, low, high);
}

// A float bound at the edge of the single-precision range means "any value".
double Bound(double value, double unbounded)
{
    if (std::isnan(value) || std::fabs(value) >= 3.4e38)
        return unbounded;
    return value;
}

// The catalogue's bounds as the raw numbers a point of the type holds: an integer field's
// raw steps, one step in from an end that means "no data"; a float field's values.
std::pair<double, double> RawBounds(const Field &field)
{
    constexpr double Infinity = std::numeric_limits<double>::infinity();
    double low = Bound(field.min, -Infinity);
    double high = Bound(field.max, Infinity);
    if (field.code == VarFloat)
        return {low, high};
    low = std::isinf(low) ? low : SnvtCatalogue::ToRaw(field, low);
    high = std::isinf(high) ? high : SnvtCatalogue::ToRaw(field, high);
    low = std::nearbyint(low);
    high = std::nearbyint(high);
    if (!std::isnan(field.invalid)) {
        const double invalid = std::nearbyint(SnvtCatalogue::ToRaw(field, field.invalid));
        if (invalid == high)
            high -= 1.0;
        else if (invalid == low)
            low += 1.0;
    }
    return {low, high};
}

QString TypeName(const SnvtCatalogue::Type &type, const Field &field)
{
    QString name = QString::fromLatin1(type.name);
    if (field.path[0] != '\0')
        name += QStringLiteral(".") + QLatin1String(field.path);
    return name;
}

// The type whose field `field` is (fields lie in the type's span of Fields()).
const SnvtCatalogue::Type *OwnerOf(const Field &field)
{
    const auto index = std::size_t(&field - SnvtCatalogue::Fields().data());
    for (const SnvtCatalogue::Type &type : SnvtCatalogue::Types()) {
        if (index >= type.firstField && index < std::size_t(type.firstField) + type.fieldCount)
            return &type;
    }
    return nullptr;
}

QString NumberText(double value)
{
    QString text = FormatFixed(value + 0.0, 4);
    const QChar point = text.at(text.size() - 5);
    while (text.endsWith(u'0'))
        text.chop(1);
    if (text.endsWith(point))
        text.chop(1);
    return text;
}

} // namespace

std::optional<TypeRange> PointTypeRange(int parameter, int offset, int code, bool tempsInF)
{
    if (!NumericCode(code))
        return std::nullopt;
    const bool integer = code != VarFloat;
    const Field *field = nullptr;
    const SnvtCatalogue::Type *type = nullptr;
    if (parameter > HighestOwnRuleType) {
        field = SnvtCatalogue::ConversionField(parameter, offset, code);
        type = field ? OwnerOf(*field) : nullptr;
    } else {
        // The driver's own rules read the value; the catalogue's range of the type that the
        // parameter names, if it is one value with a range, bounds it.
        type = SnvtCatalogue::FindType(parameter);
        if (type && (type->kind == SnvtCatalogue::TypeKind::Scaled
                     || type->kind == SnvtCatalogue::TypeKind::Float))
            field = &SnvtCatalogue::FieldsOf(*type).front();
    }
    if (!field || !type)
        return std::nullopt;

    TypeRange range;
    range.typeName = TypeName(*type, *field);
    if (field->enumeration >= 0 && parameter > HighestOwnRuleType) {
        range.enumeration = field->enumeration;
        return range;
    }
    if (field->enumeration >= 0)
        return std::nullopt;
    // A point reads its raw number by the catalogue's conversion above 122, by the driver's
    // own rule up to it; a float point of an integer type holds the same raw numbers.
    auto read = [&](double raw) {
        if (parameter > HighestOwnRuleType)
            return SnvtCatalogue::ToValue(*field, raw);
        return ScaleForReading(parameter, raw, tempsInF);
    };
    auto [rawLow, rawHigh] = RawBounds(*field);
    // Never wider than what the point's code holds (the driver reads some types up to 122
    // with another sign than the catalogue's).
    double codeLow = 0;
    double codeHigh = 0;
    if (field->code != VarFloat && IntegerCodeLimits(code, codeLow, codeHigh)) {
        rawLow = std::max(rawLow, codeLow);
        rawHigh = std::min(rawHigh, codeHigh);
    }
    if (std::isinf(rawLow) && std::isinf(rawHigh))
        return std::nullopt;
    range.low = std::isinf(rawLow) ? rawLow : read(rawLow);
    range.high = std::isinf(rawHigh) ? rawHigh : read(rawHigh);
    if (range.low > range.high)
        std::swap(range.low, range.high);
    if (integer && field->code != VarFloat && !std::isinf(rawLow))
        range.step = std::fabs(read(rawLow + 1.0) - read(rawLow));
    range.units = parameter > HighestOwnRuleType ? QString::fromUtf16(field->units)
                                                 : SnvtUnitsFor(parameter, tempsInF);
    return range;
}

bool InTypeRange(const TypeRange &range, double value)
{
    if (range.enumeration >= 0)
        return true;   // members are checked by name or number where they are written
    if (range.step <= 0.0)
        return value >= range.low && value <= range.high;
    // Less than half a step beyond an end still lands on it; half a step or more would
    // round to the step beyond (or to the value that means "no data").
    const double slack = range.step / 2.0;
    return value > range.low - slack && value < range.high + slack;
}

QString OutOfRangeText(const TypeRange &range)
{
    QString text = QStringLiteral("Value out of range for %1: ").arg(range.typeName);
    if (range.enumeration >= 0) {
        QStringList names;
        for (const SnvtCatalogue::EnumMember &member : SnvtCatalogue::MembersOf(range.enumeration))
            names.append(QString::fromLatin1(member.name));
        return text + QStringLiteral("one of ") + names.join(QStringLiteral(", ")) + u'.';
    }
    const QString low = std::isinf(range.low) ? QString() : NumberText(range.low);
    const QString high = std::isinf(range.high) ? QString() : NumberText(range.high);
    if (low.isEmpty())
        text += QStringLiteral("at most ") + high;
    else if (high.isEmpty())
        text += QStringLiteral("at least ") + low;
    else
        text += low + QStringLiteral(" to ") + high;
    const QString units = range.units.trimmed();
    return (units.isEmpty() ? text : text + u' ' + units) + u'.';
}
