#include "tools/Describe.h"

#include <QStringList>

QString VariableTypeName(int code)
{
    static const QStringList names{
        QStringLiteral("unsigned byte"),   QStringLiteral("byte"),
        QStringLiteral("unsigned 16-bit"), QStringLiteral("signed 16-bit"),
        QStringLiteral("float"),           QStringLiteral("text"),
        QStringLiteral("signed 32-bit"),   QStringLiteral("bit field"),
        QStringLiteral("not decoded"),     QStringLiteral("date"),
        QStringLiteral("time of day"),     QStringLiteral("date and time"),
        QStringLiteral("signed byte"),     QStringLiteral("unsigned 32-bit"),
    };
    if (code < 0 || code >= names.size())
        return QStringLiteral("code %1").arg(code);
    return names.at(code);
}

QString ScalingRuleText(ScalingRule rule)
{
    switch (rule) {
    case ScalingRule::None: return QStringLiteral("none");
    case ScalingRule::Tenths: return QStringLiteral("÷ 10");
    case ScalingRule::Hundredths: return QStringLiteral("÷ 100");
    case ScalingRule::Thousandths: return QStringLiteral("÷ 1000");
    case ScalingRule::HalfSteps: return QStringLiteral("÷ 2 (writes at most 200)");
    case ScalingRule::WholePercent: return QStringLiteral("writes limited to 0..100");
    case ScalingRule::NonNegative: return QStringLiteral("writes below 0 become 0");
    case ScalingRule::Steps0_005: return QStringLiteral("× 0.005");
    case ScalingRule::Steps0_00005: return QStringLiteral("× 0.00005");
    case ScalingRule::Steps0_02: return QStringLiteral("× 0.02");
    case ScalingRule::Steps0_0002: return QStringLiteral("× 0.0002");
    case ScalingRule::Temperature: return QStringLiteral("tenths above -274 °C");
    case ScalingRule::HundredthsTemperature: return QStringLiteral("hundredths of a degree");
    case ScalingRule::Switch: return QStringLiteral("switch: level and state");
    case ScalingRule::AddressRange: return QStringLiteral("limited to 16384..61951");
    }
    return QStringLiteral("none");
}

QString ExpansionText(ExpansionGroup group)
{
    switch (group) {
    case ExpansionGroup::None: return QStringLiteral("none");
    case ExpansionGroup::Single: return QStringLiteral("single");
    case ExpansionGroup::Text: return QStringLiteral("text");
    case ExpansionGroup::Opaque: return QStringLiteral("opaque");
    case ExpansionGroup::Fields: return QStringLiteral("fields");
    }
    return QStringLiteral("none");
}

QString ConversionText(const SnvtCatalogue::Field &field)
{
    if (field.enumeration >= 0)
        return QStringLiteral("names of %1").arg(SnvtCatalogue::EnumerationName(field.enumeration));
    if (field.multiplier == 1 && field.exponent == 0 && field.bias == 0)
        return QStringLiteral("none");
    QString text = QStringLiteral("× ") + QString::number(SnvtCatalogue::ToValue(field, 1.0)
                                                         - SnvtCatalogue::ToValue(field, 0.0), 'g', 12);
    if (field.bias != 0)
        text += QStringLiteral(", raw %1%2").arg(field.bias > 0 ? u"+" : u"").arg(field.bias);
    return text;
}
