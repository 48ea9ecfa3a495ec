// types: the standard type catalogue as the driver applies it, every type or one in detail
// with its points, their ranges and an enumeration's members.
#include "tools/CommandContext.h"
#include "tools/Describe.h"
#include "tools/ExitCodes.h"
#include "tools/Output.h"

#include "snvt/Catalogue.h"
#include "snvt/FieldLayouts.h"
#include "snvt/LonDefines.h"
#include "snvt/TypeRange.h"
#include "support/StrLib.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cmath>

namespace {

using SnvtCatalogue::Type;
using SnvtCatalogue::TypeKind;

QString KindText(TypeKind kind)
{
    switch (kind) {
    case TypeKind::Scaled: return QStringLiteral("scaled");
    case TypeKind::Float: return QStringLiteral("float");
    case TypeKind::Enumeration: return QStringLiteral("enumeration");
    case TypeKind::Structure: return QStringLiteral("structure");
    case TypeKind::Unknown: break;
    }
    return QStringLiteral("name only");
}

const Type &RequireType(const QString &text)
{
    qint32 number = -1;
    const Type *type = ParseInteger(text, number) ? SnvtCatalogue::FindType(number)
                                                  : SnvtCatalogue::FindTypeByName(text);
    if (!type)
        throw UsageError(QStringLiteral("unknown type \"%1\": give a number from 1 to %2 or a name "
                                        "such as SNVT_temp_p (`lonctl types` lists them).")
                             .arg(text).arg(HighestSnvtNumber));
    return *type;
}

// The points a variable of the type gives, as discovery lists them.
QList<FieldRow> PointsOf(int number, bool fahrenheit)
{
    const SnvtTypeInfo *info = FindSnvtType(number);
    if (!info)
        return {};
    switch (info->expansion) {
    case ExpansionGroup::Single:
        return {FieldRow{QString(), 0, info->variableType, number, info->kind,
                         SnvtUnitsFor(number, fahrenheit), false}};
    case ExpansionGroup::Text:
        return {FieldRow{QString(), 0, 5, 31, KindString, QString(), false}};
    case ExpansionGroup::Opaque:
        return {FieldRow{QString(), 0, 8, 14, KindString, QString(), false}};
    case ExpansionGroup::Fields: {
        QList<FieldRow> rows = FieldLayout(number);
        for (FieldRow &row : rows) {
            if (row.temperatureUnits)
                row.units = TemperatureUnits(fahrenheit);
        }
        return rows;
    }
    case ExpansionGroup::None:
        break;
    }
    return {};
}

QString Number(double value)
{
    return QString::number(value, 'g', 12);
}

QString RangeText(const std::optional<TypeRange> &range)
{
    if (!range)
        return QStringLiteral("-");
    if (range->enumeration >= 0)
        return QStringLiteral("%1 names").arg(SnvtCatalogue::MembersOf(range->enumeration).size());
    const QString low = std::isinf(range->low) ? QStringLiteral("..") : Number(range->low);
    const QString high = std::isinf(range->high) ? QStringLiteral("..") : Number(range->high);
    return low + QStringLiteral(" to ") + high;
}

QJsonValue RangeJson(const std::optional<TypeRange> &range)
{
    if (!range)
        return QJsonValue::Null;
    if (range->enumeration >= 0)
        return QJsonObject{{QStringLiteral("enumeration"),
                            SnvtCatalogue::EnumerationName(range->enumeration)}};
    QJsonObject object{{QStringLiteral("step"), range->step}};
    if (!std::isinf(range->low))
        object.insert(QStringLiteral("min"), range->low);
    if (!std::isinf(range->high))
        object.insert(QStringLiteral("max"), range->high);
    return object;
}

std::optional<TypeRange> RangeOf(const FieldRow &row, bool fahrenheit)
{
    return PointTypeRange(row.parameter, row.offset, row.variableType, fahrenheit);
}

QString UnitsOf(const QList<FieldRow> &points)
{
    return points.size() == 1 && !points.front().units.trimmed().isEmpty() ? points.front().units
                                                                           : QStringLiteral("-");
}

QJsonObject TypeJson(const Type &type, bool fahrenheit, bool detailed)
{
    const QList<FieldRow> points = PointsOf(type.number, fahrenheit);
    QJsonObject object{{QStringLiteral("number"), type.number},
                       {QStringLiteral("name"), QString::fromLatin1(type.name)},
                       {QStringLiteral("kind"), KindText(type.kind)},
                       {QStringLiteral("size"), type.size >= 0 ? QJsonValue(type.size) : QJsonValue()},
                       {QStringLiteral("obsolete"), type.obsolete},
                       {QStringLiteral("pointCount"), points.size()}};
    if (points.size() == 1) {
        object.insert(QStringLiteral("units"), points.front().units);
        object.insert(QStringLiteral("range"), RangeJson(RangeOf(points.front(), fahrenheit)));
    }
    if (!detailed)
        return object;
    QJsonArray array;
    for (const FieldRow &row : points)
        array.append(QJsonObject{{QStringLiteral("suffix"), row.suffix},
                                 {QStringLiteral("offset"), row.offset},
                                 {QStringLiteral("variableType"), row.variableType},
                                 {QStringLiteral("parameter"), row.parameter},
                                 {QStringLiteral("kind"), PointKindName(row.kind)},
                                 {QStringLiteral("units"), row.units},
                                 {QStringLiteral("range"), RangeJson(RangeOf(row, fahrenheit))}});
    object.insert(QStringLiteral("points"), array);
    QJsonObject enumerations;
    for (const SnvtCatalogue::Field &field : SnvtCatalogue::FieldsOf(type)) {
        if (field.enumeration < 0)
            continue;
        QJsonArray members;
        for (const SnvtCatalogue::EnumMember &member : SnvtCatalogue::MembersOf(field.enumeration))
            members.append(QJsonObject{{QStringLiteral("value"), member.value},
                                       {QStringLiteral("name"), QLatin1String(member.name)}});
        enumerations.insert(SnvtCatalogue::EnumerationName(field.enumeration), members);
    }
    if (!enumerations.isEmpty())
        object.insert(QStringLiteral("enumerations"), enumerations);
    return object;
}

void PrintAll(bool json, bool fahrenheit)
{
    if (json) {
        QJsonArray array;
        for (const Type &type : SnvtCatalogue::Types())
            array.append(TypeJson(type, fahrenheit, false));
        PrintJson(array);
        return;
    }
    TTable table({QStringLiteral("NUMBER"), QStringLiteral("NAME"), QStringLiteral("KIND"),
                  QStringLiteral("SIZE"), QStringLiteral("POINTS"), QStringLiteral("UNITS"),
                  QStringLiteral("RANGE")});
    for (const Type &type : SnvtCatalogue::Types()) {
        const QList<FieldRow> points = PointsOf(type.number, fahrenheit);
        table.AddRow({QString::number(type.number), QString::fromLatin1(type.name),
                      KindText(type.kind),
                      type.size >= 0 ? QString::number(type.size) : QStringLiteral("-"),
                      QString::number(points.size()), UnitsOf(points),
                      points.size() == 1 ? RangeText(RangeOf(points.front(), fahrenheit))
                                         : QStringLiteral("-")});
    }
    table.Print();
}

void PrintOne(const Type &type, bool json, bool fahrenheit)
{
    if (json) {
        PrintJson(TypeJson(type, fahrenheit, true));
        return;
    }
    const QList<FieldRow> points = PointsOf(type.number, fahrenheit);
    PrintLine(QStringLiteral("%1 (%2)%3").arg(QLatin1String(type.name)).arg(type.number)
                  .arg(type.obsolete ? QStringLiteral(", obsolete") : QString()));
    QString size;
    if (type.size >= 0)
        size = type.size == 1 ? QStringLiteral(", 1 byte") : QStringLiteral(", %1 bytes").arg(type.size);
    PrintLine(QStringLiteral("Kind:    ") + KindText(type.kind) + size);
    if (points.isEmpty()) {
        PrintLine(QStringLiteral("Points:  none (the driver lists no points for it)"));
        return;
    }
    TTable table({QStringLiteral("POINT"), QStringLiteral("OFFSET"), QStringLiteral("TYPE"),
                  QStringLiteral("PARAMETER"), QStringLiteral("KIND"), QStringLiteral("UNITS"),
                  QStringLiteral("RANGE")});
    for (const FieldRow &row : points)
        table.AddRow({row.suffix.isEmpty() ? QStringLiteral("(name)") : row.suffix,
                      QString::number(row.offset),
                      QStringLiteral("%1 %2").arg(row.variableType).arg(VariableTypeName(row.variableType)),
                      QString::number(row.parameter), PointKindName(row.kind),
                      row.units.trimmed().isEmpty() ? QStringLiteral("-") : row.units,
                      RangeText(RangeOf(row, fahrenheit))});
    PrintLine(QString());
    table.Print();
    QList<int> shown;
    for (const SnvtCatalogue::Field &field : SnvtCatalogue::FieldsOf(type)) {
        if (field.enumeration < 0 || shown.contains(field.enumeration))
            continue;
        shown.append(field.enumeration);
        PrintLine(QString());
        TTable members({SnvtCatalogue::EnumerationName(field.enumeration), QStringLiteral("VALUE")});
        for (const SnvtCatalogue::EnumMember &member : SnvtCatalogue::MembersOf(field.enumeration))
            members.AddRow({QLatin1String(member.name), QString::number(member.value)});
        members.Print();
    }
}

} // namespace

int RunTypes(TCommandContext &context)
{
    if (context.Arguments.isEmpty())
        PrintAll(context.Json, context.Fahrenheit);
    else
        PrintOne(RequireType(context.Arguments.at(0)), context.Json, context.Fahrenheit);
    return ExitSuccess;
}
