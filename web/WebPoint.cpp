#include "web/WebPoint.h"

#include "client/PointEntries.h"
#include "snvt/LonDefines.h"
#include "snvt/PointAddress.h"
#include "snvt/VariableTypes.h"

#include <QLocale>

#include <cfloat>
#include <cmath>

namespace {

QString NumberText(double value)
{
    return QString::number(value, 'g', 10);
}

} // namespace

bool PointRange(const QString &address, bool fahrenheit, double &min, double &max)
{
    PointAddress parsed;
    if (!ParsePointAddress(address, parsed) || parsed.Scale != 0.0)
        return false;
    double low = 0;
    double high = 0;
    switch (parsed.VariableType) {
    case VarUnsignedByte: case VarByte: high = 255; break;
    case VarUnsigned16: high = 65535; break;
    case VarSigned16: low = -32768; high = 32767; break;
    case VarSigned32: low = -2147483648.0; high = 2147483647.0; break;
    case VarFloat: low = -FLT_MAX; high = FLT_MAX; break;
    default: return false;
    }
    if (parsed.VariableType != VarFloat) {
        low = ScaleForReading(parsed.Parameter, low, fahrenheit);
        high = ScaleForReading(parsed.Parameter, high, fahrenheit);
    }
    if (!std::isfinite(low) || !std::isfinite(high))
        return false;
    min = qMin(low, high);
    max = qMax(low, high);
    return true;
}

TWebPoint MakeWebPoint(const QString &address, const QString &name, const QString &units,
                       const QString &kind, bool writable, bool fahrenheit)
{
    TWebPoint point;
    point.Address = address;
    point.Name = name;
    point.Units = units;
    point.Kind = kind;
    point.Writable = writable;
    point.Device = DeviceOfAddress(address);
    point.Variable = PointValueKey(address);
    if (kind == QLatin1String("Analog"))
        point.HasRange = PointRange(address, fahrenheit, point.Min, point.Max);
    return point;
}

bool TrendNumber(const QString &text, double &value)
{
    const QString trimmed = text.trimmed();
    if (trimmed == QLatin1String("TRUE")) {
        value = 1;
        return true;
    }
    if (trimmed == QLatin1String("FALSE")) {
        value = 0;
        return true;
    }
    // The driver writes numbers in the host's format, and a unit may follow.
    const QString number = trimmed.section(u' ', 0, 0);
    bool ok = false;
    value = QLocale::system().toDouble(number, &ok);
    if (!ok)
        value = QLocale::c().toDouble(number, &ok);
    return ok && std::isfinite(value);
}

bool CheckWriteValue(const TWebPoint &point, const QString &text, QString &value, QString &refusal)
{
    const QString trimmed = text.trimmed();
    if (!point.Writable) {
        refusal = QStringLiteral("%1 is read-only.").arg(point.Name);
        return false;
    }
    if (trimmed.isEmpty() || trimmed.size() > 255 || trimmed.contains(u'{') || trimmed.contains(u'}')) {
        refusal = QStringLiteral("A value is 1 to 255 characters without braces.");
        return false;
    }
    if (point.Kind == QLatin1String("Digital")) {
        const QString upper = trimmed.toUpper();
        if (upper == QLatin1String("ON") || upper == QLatin1String("TRUE") || upper == QLatin1String("1"))
            value = QStringLiteral("ON");
        else if (upper == QLatin1String("OFF") || upper == QLatin1String("FALSE") || upper == QLatin1String("0"))
            value = QStringLiteral("OFF");
        else {
            refusal = QStringLiteral("\"%1\" is not ON or OFF.").arg(trimmed);
            return false;
        }
        return true;
    }
    if (point.Kind == QLatin1String("Analog")) {
        bool ok = false;
        const double number = QLocale::c().toDouble(trimmed, &ok);
        if (!ok || !std::isfinite(number)) {
            refusal = QStringLiteral("\"%1\" is not a number.").arg(trimmed);
            return false;
        }
        if (point.HasRange && (number < point.Min || number > point.Max)) {
            refusal = QStringLiteral("%1 is out of range for this point: %2 to %3%4.")
                          .arg(trimmed, NumberText(point.Min), NumberText(point.Max),
                               point.Units.isEmpty() ? QString() : u' ' + point.Units);
            return false;
        }
        // The driver reads numbers in the host's format.
        value = QString::number(number, 'g', 15).replace(u'.', QLocale().decimalPoint());
        return true;
    }
    value = trimmed;
    return true;
}
