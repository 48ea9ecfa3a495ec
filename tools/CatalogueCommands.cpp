// expand and snvt: the SNVT catalogue and the points a variable of a type expands into.
#include "tools/CommandContext.h"
#include "tools/Describe.h"
#include "tools/ExitCodes.h"
#include "tools/Output.h"
#include "tools/PointArguments.h"

#include "snvt/Catalogue.h"
#include "snvt/FieldLayouts.h"
#include "snvt/LonDefines.h"
#include "snvt/PointExpansion.h"
#include "support/StrLib.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>

namespace {

int RequireSnvtNumber(const QString &text)
{
    qint32 number = -1;
    if (!ParseInteger(text, number) || !FindSnvtType(number))
        throw UsageError(QStringLiteral("unknown SNVT \"%1\": type numbers run from 0 to %2 "
                                        "(0 = not a standard type; `lonctl types` lists them).")
                             .arg(text).arg(HighestSnvtNumber));
    return number;
}

// Every number the catalogue has a row for, in order.
QList<int> KnownTypeNumbers()
{
    QList<int> numbers;
    for (int number = 0; number <= HighestSnvtNumber; ++number) {
        if (FindSnvtType(number))
            numbers.append(number);
    }
    return numbers;
}

// What a type's points are: the single point's code, the text/opaque rule or the field count.
QString PointsText(int number)
{
    const SnvtTypeInfo *info = FindSnvtType(number);
    switch (info->expansion) {
    case ExpansionGroup::Single: return VariableTypeName(info->variableType);
    case ExpansionGroup::Text: return QStringLiteral("text, 31 characters");
    case ExpansionGroup::Opaque: return QStringLiteral("not decoded, 14 bytes");
    case ExpansionGroup::Fields: return QStringLiteral("%1 fields").arg(FieldLayout(number).size());
    case ExpansionGroup::None: break;
    }
    return QStringLiteral("-");
}

// The scaling of a type's single value: the driver's own rule up to 122, the catalogue's
// conversion above ("per field" for a structure).
QString ScalingOf(int number)
{
    const SnvtTypeInfo *info = FindSnvtType(number);
    if (number <= HighestOwnRuleType)
        return ScalingRuleText(info->scaling);
    const SnvtCatalogue::Type *type = SnvtCatalogue::FindType(number);
    if (info->expansion == ExpansionGroup::Fields)
        return QStringLiteral("per field");
    return type && type->fieldCount ? ConversionText(SnvtCatalogue::FieldsOf(*type).front())
                                    : QStringLiteral("none");
}

QJsonObject TypeObject(int number, bool fahrenheit)
{
    const SnvtTypeInfo *info = FindSnvtType(number);
    QJsonObject object{{QStringLiteral("number"), number},
                       {QStringLiteral("units"), SnvtUnitsFor(number, fahrenheit)},
                       {QStringLiteral("expansion"), ExpansionText(info->expansion)},
                       {QStringLiteral("points"), PointsText(number)},
                       {QStringLiteral("scaling"), ScalingOf(number)}};
    if (info->expansion == ExpansionGroup::Single)
        object.insert(QStringLiteral("variableType"), info->variableType);
    return object;
}

QString FieldUnits(const FieldRow &row, bool fahrenheit)
{
    return row.temperatureUnits ? TemperatureUnits(fahrenheit) : row.units;
}

void PrintCatalogue(bool json, bool fahrenheit)
{
    if (json) {
        QJsonArray array;
        for (int number : KnownTypeNumbers())
            array.append(TypeObject(number, fahrenheit));
        PrintJson(array);
        return;
    }
    TTable table({QStringLiteral("SNVT"), QStringLiteral("UNITS"), QStringLiteral("EXPANSION"),
                  QStringLiteral("POINTS"), QStringLiteral("SCALING")});
    for (int number : KnownTypeNumbers()) {
        const QJsonObject type = TypeObject(number, fahrenheit);
        table.AddRow({QString::number(number), type.value(QStringLiteral("units")).toString(),
                      type.value(QStringLiteral("expansion")).toString(),
                      type.value(QStringLiteral("points")).toString(),
                      type.value(QStringLiteral("scaling")).toString()});
    }
    table.Print();
}

void PrintType(int number, bool json, bool fahrenheit)
{
    QJsonObject type = TypeObject(number, fahrenheit);
    const QList<FieldRow> &layout = FieldLayout(number);
    if (json) {
        QJsonArray fields;
        for (const FieldRow &row : layout)
            fields.append(QJsonObject{
                {QStringLiteral("suffix"), row.suffix},
                {QStringLiteral("offset"), row.offset},
                {QStringLiteral("variableType"), row.variableType},
                {QStringLiteral("parameter"), row.parameter},
                {QStringLiteral("kind"), PointKindName(row.kind)},
                {QStringLiteral("units"), FieldUnits(row, fahrenheit)}});
        if (!fields.isEmpty())
            type.insert(QStringLiteral("fields"), fields);
        PrintJson(type);
        return;
    }
    const QString units = type.value(QStringLiteral("units")).toString();
    PrintLine(QStringLiteral("SNVT %1").arg(number));
    PrintLine(QStringLiteral("Units:      ") + (units.isEmpty() ? QStringLiteral("-") : units));
    PrintLine(QStringLiteral("Expansion:  ") + type.value(QStringLiteral("expansion")).toString());
    PrintLine(QStringLiteral("Points:     ") + type.value(QStringLiteral("points")).toString());
    PrintLine(QStringLiteral("Scaling:    ") + type.value(QStringLiteral("scaling")).toString());
    if (layout.isEmpty())
        return;
    PrintLine(QString());
    TTable table({QStringLiteral("FIELD"), QStringLiteral("OFFSET"), QStringLiteral("TYPE"),
                  QStringLiteral("PARAMETER"), QStringLiteral("KIND"), QStringLiteral("UNITS")});
    for (const FieldRow &row : layout)
        table.AddRow({row.suffix.isEmpty() ? QStringLiteral("(name)") : row.suffix,
                      QString::number(row.offset),
                      QStringLiteral("%1 %2").arg(row.variableType).arg(VariableTypeName(row.variableType)),
                      QString::number(row.parameter), PointKindName(row.kind),
                      FieldUnits(row, fahrenheit)});
    table.Print();
}

} // namespace

void AddExpandOptions(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("at"),
                      QStringLiteral("Device and variable the entries name: domain:subnet:node:index "
                                     "(default 0:1:1:0)."),
                      QStringLiteral("D:S:N:I"), QStringLiteral("0:1:1:0")});
}

int RunExpand(TCommandContext &context)
{
    const int number = RequireSnvtNumber(context.Arguments.at(0));
    const QString name = context.Arguments.at(1);
    if (name.isEmpty() || name.contains(u'{') || name.contains(u'}'))
        throw UsageError(QStringLiteral("NAME must be a variable name without braces, such as "
                                        "nvoSpaceTemp."));
    const QStringList at = context.Option(QStringLiteral("at")).split(u':');
    qint32 field = 0;
    if (at.size() != 4 || !std::all_of(at.cbegin(), at.cend(), [&field](const QString &piece) {
            return ParseInteger(piece, field) && field >= 0;
        }))
        throw UsageError(QStringLiteral("--at must be domain:subnet:node:index in whole numbers, "
                                        "such as 0:1:1:0, not \"%1\".")
                             .arg(context.Option(QStringLiteral("at"))));

    QStringList entries;
    ExpandNetworkVariable(at + QStringList{QString::number(number), name}, entries,
                          context.Fahrenheit);
    PrintPointEntries(entries, context.Json);
    return ExitSuccess;
}

int RunSnvt(TCommandContext &context)
{
    if (context.Arguments.isEmpty())
        PrintCatalogue(context.Json, context.Fahrenheit);
    else
        PrintType(RequireSnvtNumber(context.Arguments.at(0)), context.Json, context.Fahrenheit);
    return ExitSuccess;
}
