// Expansion of network variables into point entries, driven by the catalogue groups and
// the structured layouts.
#include "snvt/PointExpansion.h"

#include "snvt/FieldLayouts.h"
#include "snvt/VariableTypes.h"
#include "support/StrLib.h"

QString BuildPointEntry(const QString &prefix, int offset, int variableType, int parameter,
                        const QString &name, const QString &units, int kind)
{
    const bool input = name.startsWith(u"NVI", Qt::CaseInsensitive)
                       || name.startsWith(u"NCI", Qt::CaseInsensitive);
    return u'{' + prefix + QString::number(offset) + u':' + QString::number(variableType) + u':'
           + QString::number(parameter) + u"}{" + name + u"}{" + units + u"}{"
           + (input ? u"TRUE" : u"FALSE") + u"}{" + PointKindName(kind) + u"}{Variable}";
}

void ExpandNetworkVariable(const QStringList &description, QStringList &entries, bool tempsInF)
{
    const int typeNumber = ReadFlagOrInt(description.value(4));
    QString prefix;
    for (int i = 0; i < 5; ++i)
        prefix += description.value(i) + u':';
    const QString name = description.value(5);

    const SnvtTypeInfo *info = FindSnvtType(typeNumber);
    if (!info)
        return;
    switch (info->expansion) {
    case ExpansionGroup::None:
        break;
    case ExpansionGroup::Single:
        entries.append(BuildPointEntry(prefix, 0, info->variableType, typeNumber, name,
                                       SnvtUnitsFor(typeNumber, tempsInF), info->kind));
        break;
    case ExpansionGroup::Text:
        entries.append(BuildPointEntry(prefix, 0, VarText, 31, name, {}, KindString));
        break;
    case ExpansionGroup::Opaque:
        entries.append(BuildPointEntry(prefix, 0, VarOpaque, 14, name, {}, KindString));
        break;
    case ExpansionGroup::Fields:
        for (const FieldRow &row : FieldLayout(typeNumber)) {
            const QString units = row.temperatureUnits ? TemperatureUnits(tempsInF) : row.units;
            entries.append(BuildPointEntry(prefix, row.offset, row.variableType, row.parameter,
                                           name + row.suffix, units, row.kind));
        }
        break;
    }
}
