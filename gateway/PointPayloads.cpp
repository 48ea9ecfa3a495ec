#include "gateway/PointPayloads.h"

#include "support/StrLib.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <cmath>

namespace {

constexpr qsizetype kMaxSetPayload = 256;

QString NumberText(double value)
{
    // Up to 10 significant digits, "." as separator, no exponent for ordinary values.
    QString text = QString::number(value, 'f', 6);
    if (text.contains(u'.')) {
        while (text.endsWith(u'0'))
            text.chop(1);
        if (text.endsWith(u'.'))
            text.chop(1);
    }
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

bool IsOn(const QString &text)
{
    const QString upper = text.trimmed().toUpper();
    if (upper == QLatin1String("TRUE") || upper.startsWith(QLatin1String("ON")))
        return true;
    double number = 0;
    return ReadDriverNumber(text, number) && number != 0;
}

} // namespace

bool ReadDriverNumber(const QString &text, double &value)
{
    if (ParseLocaleFloat(text, value))
        return true;
    bool ok = false;
    value = text.trimmed().toDouble(&ok);
    return ok;
}

QByteArray StatePayload(const TGatewayPoint &point)
{
    if (point.Kind == QLatin1String("Digital"))
        return IsOn(point.Value) ? QByteArrayLiteral("ON") : QByteArrayLiteral("OFF");
    if (point.Kind == QLatin1String("Analog")) {
        double number = 0;
        if (ReadDriverNumber(point.Value, number) && std::isfinite(number))
            return NumberText(number).toUtf8();
    }
    return point.Value.toUtf8();
}

QByteArray AttributesPayload(const TGatewayPoint &point, const QString &site)
{
    QJsonObject object{{QStringLiteral("site"), site},
                       {QStringLiteral("name"), point.Name},
                       {QStringLiteral("address"), point.Address},
                       {QStringLiteral("device"), point.Device},
                       {QStringLiteral("units"), point.Units},
                       {QStringLiteral("kind"), point.Kind},
                       {QStringLiteral("writable"), point.Writable}};
    if (point.HasValue) {
        object.insert(QStringLiteral("time"), point.Changed.toString(Qt::ISODateWithMs));
        object.insert(QStringLiteral("value"), point.Value);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

bool WriteValueFor(const TGatewayPoint &point, const QByteArray &payload, QString &value,
                   QString &refusal)
{
    if (!point.Writable) {
        refusal = QStringLiteral("The point %1 (%2) is read-only: nothing was written.")
                      .arg(point.Name, point.Address);
        return false;
    }
    if (payload.size() > kMaxSetPayload) {
        refusal = QStringLiteral("The value is longer than %1 bytes: nothing was written.").arg(kMaxSetPayload);
        return false;
    }
    const QString text = QString::fromUtf8(payload).trimmed();
    if (text.contains(u'{') || text.contains(u'}') || text.contains(QChar(0))) {
        refusal = QStringLiteral("The value must not contain braces: nothing was written.");
        return false;
    }
    if (point.Kind == QLatin1String("Digital")) {
        const QString upper = text.toUpper();
        if (upper == QLatin1String("ON") || upper == QLatin1String("TRUE") || upper == QLatin1String("1"))
            value = QStringLiteral("ON");
        else if (upper == QLatin1String("OFF") || upper == QLatin1String("FALSE") || upper == QLatin1String("0"))
            value = QStringLiteral("OFF");
        else {
            refusal = QStringLiteral("\"%1\" is not ON or OFF: nothing was written.").arg(text);
            return false;
        }
        return true;
    }
    if (point.Kind == QLatin1String("Analog")) {
        bool ok = false;
        double number = text.toDouble(&ok);
        if (!ok)
            ok = ParseLocaleFloat(text, number);
        if (!ok || !std::isfinite(number)) {
            refusal = QStringLiteral("\"%1\" is not a number: nothing was written.").arg(text);
            return false;
        }
        // The driver reads numbers in the host's format.
        value = QString::number(number, 'g', 15).replace(u'.', QLocale().decimalPoint());
        return true;
    }
    if (text.isEmpty()) {
        refusal = QStringLiteral("The value is empty: nothing was written.");
        return false;
    }
    value = text;
    return true;
}
