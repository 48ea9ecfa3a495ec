#include "gateway/PointPayloads.h"

#include "snvt/FieldEncoder.h"
#include "snvt/VariableTypes.h"
#include "support/HostFormat.h"
#include "support/StrLib.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QStringDecoder>

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

// The driver writes a date as its serial (days since 30 December 1899), a time of day as
// the fraction of a day, a date and time in the host's formats (UTC). Empty when the text
// is none of these.
QString IsoMoment(const TGatewayPoint &point)
{
    double number = 0;
    switch (point.VariableType) {
    case VarDate:
        if (ReadDriverNumber(point.Value, number) && std::isfinite(number) && std::fabs(number) < 4e6)
            return QDate(1899, 12, 30).addDays(qint64(std::floor(number))).toString(Qt::ISODate);
        return QString();
    case VarTime:
        if (ReadDriverNumber(point.Value, number) && number >= 0 && number < 1)
            return QTime(0, 0).addSecs(int(std::lround(number * 86400.0)) % 86400).toString(Qt::ISODate);
        return QString();
    case VarDateTime: {
        QDateTime moment;
        if (!ParseHostDateTime(point.Value, moment))
            return QString();
        return QDateTime(moment.date(), moment.time(), Qt::UTC).toString(Qt::ISODate);
    }
    default:
        return QString();
    }
}

// ISO 8601 from a set payload, turned into the host's formats the driver reads; other
// texts pass unchanged.
QString HostMoment(const QString &text, int variableType)
{
    if (variableType == VarTime) {
        const QTime time = QTime::fromString(text, Qt::ISODate);
        return time.isValid() ? HostLongTime(time) : text;
    }
    QDateTime moment = QDateTime::fromString(text, Qt::ISODate);
    if (moment.isValid())
        return HostDateTimeText(moment.toUTC());
    const QDate date = QDate::fromString(text, Qt::ISODate);
    return date.isValid() ? HostShortDate(date) : text;
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
    if (point.Value.isEmpty())
        return QByteArray(EmptyStatePayload);
    if (point.Kind == QLatin1String("Analog")) {
        double number = 0;
        if (ReadDriverNumber(point.Value, number) && std::isfinite(number))
            return NumberText(number).toUtf8();
    }
    if (point.Kind == QLatin1String("DateTime")) {
        const QString iso = IsoMoment(point);
        if (!iso.isEmpty())
            return iso.toUtf8();
    }
    return point.Value.toUtf8();
}

QByteArray AttributesPayload(const TGatewayPoint &point, const QString &site)
{
    const QJsonObject object{{QStringLiteral("site"), site},
                             {QStringLiteral("name"), point.Name},
                             {QStringLiteral("address"), point.Address},
                             {QStringLiteral("device"), point.Device},
                             {QStringLiteral("units"), point.Units},
                             {QStringLiteral("kind"), point.Kind},
                             {QStringLiteral("writable"), point.Writable}};
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
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = QString(decoder(payload)).trimmed();
    if (decoder.hasError()) {
        refusal = QStringLiteral("The value is not valid UTF-8: nothing was written.");
        return false;
    }
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
    } else if (point.Kind == QLatin1String("Analog")) {
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
    } else if (text.isEmpty()) {
        refusal = QStringLiteral("The value is empty: nothing was written.");
        return false;
    } else {
        value = point.Kind == QLatin1String("DateTime") ? HostMoment(text, point.VariableType) : text;
    }
    // Object points are commanded, not encoded into a field.
    if (point.HasObject)
        return true;
    const EncodeResult fits = CheckFieldValue(value, point.VariableType, point.Parameter, point.TempsInF, point.Scale,
                                              point.VariableOffset);
    if (!fits) {
        refusal = fits.Reason + QStringLiteral(" Nothing was written.");
        return false;
    }
    return true;
}
