#pragma once
// Date and time texts in the host's locale (QLocale()): the short date, the long time
// without a time-zone name, date serials counted in days since 30 December 1899.

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

QString HostShortDate(const QDate &date);
QString HostLongTime(const QTime &time);
// Short date, a blank, long time; the time is left out when it is exactly midnight.
QString HostDateTimeText(const QDateTime &moment);
// Reads a date and time written in the host's formats (short or long date, with or
// without a time); false when the text is no date.
bool ParseHostDateTime(const QString &text, QDateTime &moment);

// Days since 30 December 1899 (the date serial of automation clients).
double DateSerial(const QDate &date);
double TimeFraction(const QTime &time);
