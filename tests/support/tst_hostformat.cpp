// Windows-1252 conversion and host date/time texts under pinned locales.
#include "support/HostFormat.h"
#include "support/Windows1252.h"

#include <QLocale>
#include <QTest>

class TestHostFormat : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void windows1252RoundTrip_data();
    void windows1252RoundTrip();
    void windows1252AllBytes();
    void windows1252Unmappable();

    void dateTimeText_data();
    void dateTimeText();
    void parseRoundTrip_data();
    void parseRoundTrip();
    void parseAccepts_data();
    void parseAccepts();
    void parseRejects_data();
    void parseRejects();
    void serials_data();
    void serials();
};

void TestHostFormat::windows1252RoundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("degC") << QString::fromUtf8("°C") << QByteArray("\xB0" "C");
    QTest::newRow("micro") << QString::fromUtf8("µm") << QByteArray("\xB5" "m");
    QTest::newRow("euro") << QString::fromUtf8("€") << QByteArray("\x80");
    QTest::newRow("quotes") << QString::fromUtf8("„x“ – ™") << QByteArray("\x84x\x93 \x96 \x99");
    QTest::newRow("ascii") << "Temp 1" << QByteArray("Temp 1");
    QTest::newRow("y diaeresis") << QString::fromUtf8("Ÿÿ") << QByteArray("\x9F\xFF");
}

void TestHostFormat::windows1252RoundTrip()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(ToWindows1252(text), bytes);
    QCOMPARE(FromWindows1252(bytes), text);
}

void TestHostFormat::windows1252AllBytes()
{
    // Every byte decodes to one character and encodes back to itself.
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QString text = FromWindows1252(all);
    QCOMPARE(text.size(), 256);
    QCOMPARE(ToWindows1252(text), all);
}

void TestHostFormat::windows1252Unmappable()
{
    QCOMPARE(ToWindows1252(QString::fromUtf8("a€Ωb")), QByteArray("a\x80?b"));
    QCOMPARE(ToWindows1252(QString::fromUtf8("x😀y")), QByteArray("x?y"));
    QCOMPARE(ToWindows1252(QString()), QByteArray());
}

void TestHostFormat::dateTimeText_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QDateTime>("moment");
    QTest::addColumn<QString>("expected");
    const QDate day(2024, 3, 15);
    QTest::newRow("de time") << "de_DE" << QDateTime(day, QTime(14, 5, 9)) << "15.03.24 14:05:09";
    QTest::newRow("de midnight") << "de_DE" << QDateTime(day, QTime(0, 0)) << "15.03.24";
    QTest::newRow("de one second") << "de_DE" << QDateTime(day, QTime(0, 0, 1))
                                   << "15.03.24 00:00:01";
    QTest::newRow("C time") << "C" << QDateTime(day, QTime(14, 5, 9)) << "15 Mar 2024 14:05:09";
    QTest::newRow("en time") << "en_US" << QDateTime(day, QTime(14, 5, 9)) << "3/15/24 2:05:09 PM";
}

void TestHostFormat::dateTimeText()
{
    QFETCH(QString, locale);
    QFETCH(QDateTime, moment);
    QFETCH(QString, expected);
    QLocale::setDefault(QLocale(locale));
    QCOMPARE(HostDateTimeText(moment), expected);
}

void TestHostFormat::parseRoundTrip_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QDateTime>("moment");
    const QDate day(2024, 3, 15);
    for (const char *name : {"C", "en_US", "de_DE", "fr_FR", "ja_JP"}) {
        QTest::addRow("%s time", name) << name << QDateTime(day, QTime(14, 5, 9));
        QTest::addRow("%s midnight", name) << name << QDateTime(day, QTime(0, 0));
        QTest::addRow("%s morning", name) << name << QDateTime(QDate(1999, 12, 31), QTime(9, 0, 1));
    }
}

void TestHostFormat::parseRoundTrip()
{
    // What the host writes it reads back (what a client got from a read, it may write).
    QFETCH(QString, locale);
    QFETCH(QDateTime, moment);
    QLocale::setDefault(QLocale(locale));
    const QString text = HostDateTimeText(moment);
    QDateTime parsed;
    QVERIFY2(ParseHostDateTime(text, parsed), qPrintable(text));
    QCOMPARE(parsed, moment);
}

void TestHostFormat::parseAccepts_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("expected");
    const QDate day(2024, 3, 15);
    QTest::newRow("de short time") << "de_DE" << "15.03.24 14:05" << QDateTime(day, QTime(14, 5));
    QTest::newRow("de blanks") << "de_DE" << "  15.03.24  " << QDateTime(day, QTime(0, 0));
    QTest::newRow("de long date") << "de_DE" << "Freitag, 15. März 2024"
                                  << QDateTime(day, QTime(0, 0));
    QTest::newRow("en short") << "en_US" << "3/15/24" << QDateTime(day, QTime(0, 0));
    QTest::newRow("iso") << "de_DE" << "2024-03-15T14:05:09" << QDateTime(day, QTime(14, 5, 9));
    QTest::newRow("iso date") << "C" << "2024-03-15" << QDateTime(day, QTime(0, 0));
}

void TestHostFormat::parseAccepts()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(QDateTime, expected);
    QLocale::setDefault(QLocale(locale));
    QDateTime parsed;
    QVERIFY(ParseHostDateTime(text, parsed));
    QCOMPARE(parsed, expected);
}

void TestHostFormat::parseRejects_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "de_DE" << "";
    QTest::newRow("number") << "de_DE" << "21,5";
    QTest::newRow("impossible day") << "de_DE" << "31.02.24";
    QTest::newRow("impossible hour") << "de_DE" << "15.03.24 25:00:00";
    QTest::newRow("words") << "C" << "yesterday";
}

void TestHostFormat::parseRejects()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QLocale::setDefault(QLocale(locale));
    QDateTime parsed;
    QVERIFY(!ParseHostDateTime(text, parsed));
}

void TestHostFormat::serials_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QTime>("time");
    QTest::addColumn<double>("dateSerial");
    QTest::addColumn<double>("timeFraction");
    QTest::newRow("2000") << QDate(2000, 1, 1) << QTime(12, 0) << 36526.0 << 0.5;
    QTest::newRow("2024") << QDate(2024, 3, 15) << QTime(0, 0) << 45366.0 << 0.0;
    QTest::newRow("epoch") << QDate(1899, 12, 30) << QTime(6, 0) << 0.0 << 0.25;
    QTest::newRow("before epoch") << QDate(1899, 12, 29) << QTime(18, 0) << -1.0 << 0.75;
}

void TestHostFormat::serials()
{
    QFETCH(QDate, date);
    QFETCH(QTime, time);
    QFETCH(double, dateSerial);
    QFETCH(double, timeFraction);
    QCOMPARE(DateSerial(date), dateSerial);
    QCOMPARE(TimeFraction(time), timeFraction);
}

QTEST_GUILESS_MAIN(TestHostFormat)
#include "tst_hostformat.moc"
