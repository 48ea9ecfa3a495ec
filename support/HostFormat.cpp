#include "support/HostFormat.h"

#include <QLocale>

namespace {

// The locale's format with every unquoted time-zone field ("t" runs) and the blanks
// that joined it to the rest removed: answers carry the clock time only.
QString WithoutTimeZone(const QString &format)
{
    QString result;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == u't') {
            while (i + 1 < format.size() && format.at(i + 1) == u't')
                ++i;
            while (!result.isEmpty() && result.back().isSpace())
                result.chop(1);
            continue;
        }
        result.append(c);
    }
    return result.trimmed();
}

QString LongTimeFormat(const QLocale &locale)
{
    return WithoutTimeZone(locale.timeFormat(QLocale::LongFormat));
}

QString ShortTimeFormat(const QLocale &locale)
{
    return WithoutTimeZone(locale.timeFormat(QLocale::ShortFormat));
}

bool HasTwoDigitYear(const QString &format)
{
    return format.contains(QLatin1String("yy")) && !format.contains(QLatin1String("yyyy"));
}

// A two-digit year names the year of that ending nearest to today (within 50 years),
// as the desktop's own date entry does; Qt alone would read 24 as 1924.
QDate InNearestCentury(const QDate &date)
{
    const int current = QDate::currentDate().year();
    int year = current - current % 100 + date.year() % 100;
    if (year > current + 50)
        year -= 100;
    else if (year <= current - 50)
        year += 100;
    return QDate(year, date.month(), date.day());
}

bool TryFormat(const QLocale &locale, const QString &text, const QString &dateFormat,
               const QString &timeFormat, QDateTime &moment)
{
    const QString format = timeFormat.isEmpty() ? dateFormat : dateFormat + u' ' + timeFormat;
    QDateTime parsed = locale.toDateTime(text, format);
    if (!parsed.isValid())
        return false;
    if (HasTwoDigitYear(dateFormat))
        parsed.setDate(InNearestCentury(parsed.date()));
    moment = parsed;
    return moment.isValid();
}

} // namespace

QString HostShortDate(const QDate &date)
{
    return QLocale().toString(date, QLocale::ShortFormat);
}

QString HostLongTime(const QTime &time)
{
    const QLocale locale;
    return locale.toString(time, LongTimeFormat(locale));
}

QString HostDateTimeText(const QDateTime &moment)
{
    const QString date = HostShortDate(moment.date());
    if (moment.time() == QTime(0, 0))
        return date;
    return date + u' ' + HostLongTime(moment.time());
}

bool ParseHostDateTime(const QString &text, QDateTime &moment)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return false;
    const QLocale locale;
    const QString dates[] = {locale.dateFormat(QLocale::ShortFormat),
                             locale.dateFormat(QLocale::LongFormat)};
    const QString times[] = {LongTimeFormat(locale), ShortTimeFormat(locale), QString()};
    for (const QString &time : times) {
        for (const QString &date : dates) {
            if (TryFormat(locale, trimmed, date, time, moment))
                return true;
        }
    }
    QDateTime iso = QDateTime::fromString(trimmed, Qt::ISODate);
    if (!iso.isValid())
        iso = QDate::fromString(trimmed, Qt::ISODate).startOfDay();
    if (!iso.isValid())
        return false;
    moment = iso;
    return true;
}

double DateSerial(const QDate &date)
{
    return date.isValid() ? double(QDate(1899, 12, 30).daysTo(date)) : 0.0;
}

double TimeFraction(const QTime &time)
{
    return time.isValid() ? time.msecsSinceStartOfDay() / 86400000.0 : 0.0;
}
