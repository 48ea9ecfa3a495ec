// Text cutting, switch values and number parsing of the support library.
#include "support/StrLib.h"

#include <QLocale>
#include <QTest>

class TestStrLib : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QLocale::setDefault(QLocale::c()); }
    void cleanupTestCase() { QLocale::setDefault(QLocale::c()); }

    void cutting_data();
    void cutting();
    void textBeforeNth_data();
    void textBeforeNth();
    void textBetween_data();
    void textBetween();
    void splitBetween_data();
    void splitBetween();
    void posOf_data();
    void posOf();
    void characters();
    void readFlagOrInt_data();
    void readFlagOrInt();
    void readFlagOrDouble_data();
    void readFlagOrDouble();
    void readFlagOrSingle();
    void parseInteger_data();
    void parseInteger();
    void parseLocaleFloat_data();
    void parseLocaleFloat();
    void formatFixed_data();
    void formatFixed();
    void smallNumbers();
    void bitInBytes();
};

// One row per call: which routine, its text, its second argument, the expected result.
void TestStrLib::cutting_data()
{
    QTest::addColumn<QString>("routine");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("sub");
    QTest::addColumn<QString>("expected");

    QTest::newRow("before blank") << "TextBefore" << "ON 75%" << " " << "ON";
    QTest::newRow("before missing") << "TextBefore" << "abc" << ":" << "abc";
    QTest::newRow("before at start") << "TextBefore" << ":abc" << ":" << "";
    QTest::newRow("before empty sub") << "TextBefore" << "abc" << "" << "abc";
    QTest::newRow("from") << "TextFrom" << "a=b" << "=" << "=b";
    QTest::newRow("from missing") << "TextFrom" << "ab" << "=" << "ab";
    QTest::newRow("after") << "TextAfter" << "a-b-c" << "-" << "b-c";
    QTest::newRow("after long sub") << "TextAfter" << "abXYZcd" << "XYZ" << "YZcd";
    QTest::newRow("after missing") << "TextAfter" << "abc" << "-" << "abc";
    QTest::newRow("after last char") << "TextAfter" << "abc-" << "-" << "";
    QTest::newRow("remove first") << "RemoveFirst" << "{a}{a}" << "{a}" << "{a}";
    QTest::newRow("remove missing") << "RemoveFirst" << "abc" << "x" << "abc";
    QTest::newRow("up to last") << "TextUpToLast" << "C:\\dir\\prog.exe" << "\\" << "C:\\dir\\";
    QTest::newRow("up to last long") << "TextUpToLast" << "a::b::c" << "::" << "a::b:";
    QTest::newRow("up to last missing") << "TextUpToLast" << "prog.exe" << "\\" << "prog.exe";
    QTest::newRow("trim blanks") << "TrimLeadingBlanks" << "   x y " << "" << "x y ";
    QTest::newRow("trim keeps tab") << "TrimLeadingBlanks" << " \tx" << "" << "\tx";
    QTest::newRow("first 2") << "FirstChars" << "abc" << "2" << "ab";
    QTest::newRow("first beyond") << "FirstChars" << "abc" << "9" << "abc";
    QTest::newRow("first 0") << "FirstChars" << "abc" << "0" << "";
    QTest::newRow("first negative") << "FirstChars" << "abc" << "-1" << "";
}

void TestStrLib::cutting()
{
    QFETCH(QString, routine);
    QFETCH(QString, text);
    QFETCH(QString, sub);
    QFETCH(QString, expected);

    QString result;
    if (routine == u"TextBefore")
        result = TextBefore(text, sub);
    else if (routine == u"TextFrom")
        result = TextFrom(text, sub);
    else if (routine == u"TextAfter")
        result = TextAfter(text, sub);
    else if (routine == u"RemoveFirst")
        result = RemoveFirst(text, sub);
    else if (routine == u"TextUpToLast")
        result = TextUpToLast(text, sub);
    else if (routine == u"TrimLeadingBlanks")
        result = TrimLeadingBlanks(text);
    else if (routine == u"FirstChars")
        result = FirstChars(text, sub.toInt());
    else
        QFAIL("unknown routine");
    QCOMPARE(result, expected);
}

void TestStrLib::textBeforeNth_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("expected");
    QTest::newRow("fourth") << "1:2:3:4:5" << 4 << "1:2:3:4";
    QTest::newRow("first") << "1:2:3:4:5" << 1 << "1";
    QTest::newRow("too few") << "1:2:3:4:5" << 9 << "1:2:3:4:5";
    QTest::newRow("exactly n") << "1:2:3" << 2 << "1:2";
    QTest::newRow("n zero") << "1:2" << 0 << "1:2";
    QTest::newRow("n negative") << "1:2" << -3 << "1:2";
    QTest::newRow("empty") << "" << 2 << "";
}

void TestStrLib::textBeforeNth()
{
    QFETCH(QString, text);
    QFETCH(int, n);
    QFETCH(QString, expected);
    QCOMPARE(TextBeforeNth(text, u':', n), expected);
}

void TestStrLib::textBetween_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("expected");
    QTest::newRow("first field") << "{abc}{de}" << 0 << "abc";
    QTest::newRow("start 1") << "{abc}{de}" << 1 << "abc";
    QTest::newRow("second field") << "{abc}{de}" << 5 << "de";
    QTest::newRow("start at length") << "{abc}{de}" << 9 << "";
    QTest::newRow("start beyond") << "{abc}{de}" << 20 << "";
    QTest::newRow("negative start") << "{abc}" << -4 << "abc";
    QTest::newRow("adjacent") << "{}x" << 0 << "";
    QTest::newRow("no close") << "{abc" << 0 << "";
    QTest::newRow("no open") << "abc}" << 0 << "";
    QTest::newRow("close before open") << "}x{" << 0 << "";
    QTest::newRow("nested open kept") << "{a{b}c}" << 0 << "a{b";
}

void TestStrLib::textBetween()
{
    QFETCH(QString, text);
    QFETCH(int, start);
    QFETCH(QString, expected);
    QCOMPARE(TextBetween(text, u'{', u'}', start), expected);
}

void TestStrLib::splitBetween_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("three") << "{a}{b}x{c}" << QStringList{"a", "b", "c"};
    QTest::newRow("empty piece") << "{}{b}" << QStringList{"", "b"};
    QTest::newRow("none") << "abc" << QStringList{};
    QTest::newRow("empty text") << "" << QStringList{};
    // Both characters present but never an open before a close: must end.
    QTest::newRow("close before open") << "}x{" << QStringList{};
    QTest::newRow("tail without close") << "{a}}{b" << QStringList{"a"};
    QTest::newRow("same pieces") << "{a}{a}" << QStringList{"a", "a"};
}

void TestStrLib::splitBetween()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    QStringList list{"stale"};
    SplitBetween(text, list, u'{', u'}');
    QCOMPARE(list, expected);
}

void TestStrLib::posOf_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("sub");
    QTest::addColumn<int>("expected");
    QTest::newRow("first char") << "abc" << "a" << 1;
    QTest::newRow("middle") << "abcbc" << "bc" << 2;
    QTest::newRow("missing") << "abc" << "x" << 0;
    QTest::newRow("case sensitive") << "abc" << "B" << 0;
    QTest::newRow("empty sub") << "abc" << "" << 0;
}

void TestStrLib::posOf()
{
    QFETCH(QString, text);
    QFETCH(QString, sub);
    QFETCH(int, expected);
    QCOMPARE(PosOf(text, sub), expected);
}

void TestStrLib::characters()
{
    QVERIFY(IsDigitChar(u'0') && IsDigitChar(u'9'));
    QVERIFY(!IsDigitChar(u'a') && !IsDigitChar(QChar(0x0663)));   // Arabic-Indic three
    QVERIFY(IsLetterChar(u'a') && IsLetterChar(u'Z') && IsLetterChar(u'q'));
    QVERIFY(!IsLetterChar(u'1') && !IsLetterChar(u'_') && !IsLetterChar(QChar(0xE9)));
    QVERIFY(!IsLetterChar(u'@') && !IsLetterChar(u'[') && !IsLetterChar(u'`'));
}

void TestStrLib::readFlagOrInt_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("leading blank on") << " on" << 1;
    QTest::newRow("-on") << "-on" << -1;
    QTest::newRow("off") << "OFF" << 0;
    QTest::newRow("true") << "True" << 1;
    QTest::newRow("false") << "false" << 0;
    QTest::newRow("fraction") << "7.5" << 0;
    QTest::newRow("unit") << "12 degF" << 12;
    QTest::newRow("percent") << "50%" << 50;
    QTest::newRow("on with percent") << "ON 75%" << 1;
    QTest::newRow("hex") << "$1F" << 31;
    QTest::newRow("0x hex") << "0x10" << 16;
    QTest::newRow("negative") << "-42" << -42;
    QTest::newRow("garbage") << "abc" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("overflow") << "2147483648" << 0;
}

void TestStrLib::readFlagOrInt()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(ReadFlagOrInt(text), expected);
}

void TestStrLib::readFlagOrDouble_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("unit") << "C" << "72.5 degF" << 72.5;
    QTest::newRow("off") << "C" << "Off" << 0.0;
    QTest::newRow("on") << "C" << "on" << 1.0;
    QTest::newRow("-on") << "C" << "-ON" << -1.0;
    QTest::newRow("garbage") << "C" << "abc" << 0.0;
    QTest::newRow("exponent") << "C" << "-1.5e2" << -150.0;
    QTest::newRow("percent") << "C" << "12.25%" << 12.25;
    QTest::newRow("comma in C") << "C" << "1,5" << 0.0;
    QTest::newRow("comma in de") << "de_DE" << "1,5 bar" << 1.5;
    QTest::newRow("point in de") << "de_DE" << "1.5" << 0.0;
}

void TestStrLib::readFlagOrDouble()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(double, expected);
    QLocale::setDefault(QLocale(locale));
    QCOMPARE(ReadFlagOrDouble(text), expected);
}

void TestStrLib::readFlagOrSingle()
{
    QCOMPARE(ReadFlagOrSingle(QStringLiteral("0.1")), 0.1f);
    QCOMPARE(ReadFlagOrSingle(QStringLiteral("TRUE")), 1.0f);
    QCOMPARE(ReadFlagOrSingle(QStringLiteral("x")), 0.0f);
}

void TestStrLib::parseInteger_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("expected");
    QTest::newRow("decimal") << "12" << true << 12;
    QTest::newRow("leading blanks") << "  12" << true << 12;
    QTest::newRow("trailing blank") << "12 " << false << 0;
    QTest::newRow("plus") << "+7" << true << 7;
    QTest::newRow("minus") << "-7" << true << -7;
    QTest::newRow("blank after sign") << "- 7" << false << 0;
    QTest::newRow("dollar") << "$1F" << true << 31;
    QTest::newRow("x") << "x1f" << true << 31;
    QTest::newRow("X") << "XFF" << true << 255;
    QTest::newRow("0x") << "0x7fffffff" << true << 2147483647;
    QTest::newRow("0X") << "0X10" << true << 16;
    QTest::newRow("negative hex") << "-$10" << true << -16;
    QTest::newRow("hex prefix alone") << "$" << false << 0;
    QTest::newRow("0x alone") << "0x" << false << 0;
    QTest::newRow("hex digit in decimal") << "1F" << false << 0;
    QTest::newRow("max") << "2147483647" << true << 2147483647;
    QTest::newRow("min") << "-2147483648" << true << int(-2147483647 - 1);
    QTest::newRow("above max") << "2147483648" << false << 0;
    QTest::newRow("below min") << "-2147483649" << false << 0;
    QTest::newRow("huge") << "99999999999999999999999" << false << 0;
    QTest::newRow("hex above max") << "$80000000" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("blanks only") << "   " << false << 0;
    QTest::newRow("sign only") << "-" << false << 0;
    QTest::newRow("fraction") << "1.0" << false << 0;
    QTest::newRow("leading zeros") << "007" << true << 7;
}

void TestStrLib::parseInteger()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, expected);
    qint32 value = 0;
    QCOMPARE(ParseInteger(text, value), ok);
    if (ok)
        QCOMPARE(value, expected);
}

void TestStrLib::parseLocaleFloat_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("expected");
    QTest::newRow("C point") << "C" << "1.5" << true << 1.5;
    QTest::newRow("C blanks") << "C" << "  -2.25  " << true << -2.25;
    QTest::newRow("C plus") << "C" << "+3" << true << 3.0;
    QTest::newRow("C exponent") << "C" << "1E3" << true << 1000.0;
    QTest::newRow("C negative exponent") << "C" << "25e-1" << true << 2.5;
    QTest::newRow("C comma") << "C" << "1,5" << false << 0.0;
    QTest::newRow("C group") << "C" << "1,500" << false << 0.0;
    QTest::newRow("C trailing text") << "C" << "1.5x" << false << 0.0;
    QTest::newRow("C empty") << "C" << "" << false << 0.0;
    QTest::newRow("C inf") << "C" << "inf" << false << 0.0;
    QTest::newRow("C nan") << "C" << "nan" << false << 0.0;
    QTest::newRow("C overflow") << "C" << "1e999" << false << 0.0;
    QTest::newRow("en point") << "en_US" << "21.5" << true << 21.5;
    QTest::newRow("de comma") << "de_DE" << "1,5" << true << 1.5;
    QTest::newRow("de point") << "de_DE" << "1.5" << false << 0.0;
    QTest::newRow("de group") << "de_DE" << "1.500" << false << 0.0;
    QTest::newRow("de exponent") << "de_DE" << "-1,5E2" << true << -150.0;
}

void TestStrLib::parseLocaleFloat()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(double, expected);
    QLocale::setDefault(QLocale(locale));
    double value = -99.0;
    QCOMPARE(ParseLocaleFloat(text, value), ok);
    QCOMPARE(value, ok ? expected : -99.0);
}

void TestStrLib::formatFixed_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("expected");
    QTest::newRow("C") << "C" << 21.5 << 4 << "21.5000";
    QTest::newRow("en no group") << "en_US" << 1234567.125 << 2 << "1234567.13";
    QTest::newRow("de comma") << "de_DE" << 21.5 << 4 << "21,5000";
    QTest::newRow("de no group") << "de_DE" << -1234.5 << 1 << "-1234,5";
    QTest::newRow("date serial") << "C" << 36526.5 << 8 << "36526.50000000";
    QTest::newRow("zero decimals") << "C" << 2.0 << 0 << "2";
}

void TestStrLib::formatFixed()
{
    QFETCH(QString, locale);
    QFETCH(double, value);
    QFETCH(int, decimals);
    QFETCH(QString, expected);
    QLocale::setDefault(QLocale(locale));
    QCOMPARE(FormatFixed(value, decimals), expected);
}

void TestStrLib::smallNumbers()
{
    QCOMPARE(ClampByte(5, 10, 20), quint8(10));
    QCOMPARE(ClampByte(25, 10, 20), quint8(20));
    QCOMPARE(ClampByte(15, 10, 20), quint8(15));
    QCOMPARE(ClampByte(10, 10, 20), quint8(10));
    QCOMPARE(ClampByte(20, 10, 20), quint8(20));

    QVERIFY(!InRange(0, 1, 255));
    QVERIFY(InRange(1, 1, 255));
    QVERIFY(InRange(255, 1, 255));
    QVERIFY(!InRange(256, 1, 255));
    QVERIFY(!InRange(-1, 0, 65535));
    QVERIFY(InRange(65535, 0, 65535));

    QVERIFY(WordBitSet(0x0001, 0));
    QVERIFY(WordBitSet(0x8000, 15));
    QVERIFY(!WordBitSet(0x7FFF, 15));
    QVERIFY(!WordBitSet(0xFFFF, 16));
    QVERIFY(!WordBitSet(0xFFFF, -1));
}

void TestStrLib::bitInBytes()
{
    const QByteArray bytes("\x80\x01", 2);
    for (int i = -2; i < 20; ++i)
        QCOMPARE(BitInBytes(bytes, i), i == 0 || i == 15);
    QVERIFY(!BitInBytes(QByteArrayView(), 0));
}

QTEST_GUILESS_MAIN(TestStrLib)
#include "tst_strlib.moc"
