// Encoding of written values into network-variable bytes: every variable type code,
// keywords, truncation, masks, the float range, texts, dates, and the bounds of the
// buffer and the fetched length. A failed write leaves every byte as it was.
#include "snvt/FieldDecoder.h"
#include "snvt/FieldEncoder.h"

#include <QLocale>
#include <QTest>

#include <limits>

using namespace Qt::StringLiterals;

class TestEncode : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void fields_data();
    void fields();
    void everyTruncatedLengthFails_data();
    void everyTruncatedLengthFails();
    void longText();
    void refusalsSayWhy_data();
    void refusalsSayWhy();
    void writableRange_data();
    void writableRange();
    void readsBackWhatItWrote_data();
    void readsBackWhatItWrote();
    void hostDecimalSeparator();
};

namespace {
QByteArray Hex(const char *hex) { return QByteArray::fromHex(hex); }
} // namespace

void TestEncode::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestEncode::fields_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("parameter");
    QTest::addColumn<bool>("tempsInF");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("after");
    const auto R = [](const char *name, const char *before, int length, int offset, int code,
                      int parameter, bool f, const QString &value, bool ok, const char *after) {
        QTest::newRow(name) << Hex(before) << length << offset << code << parameter << f << value
                            << ok << Hex(ok ? after : before);
    };
    // Truncation toward zero, then cut to the field's width
    R("u16 70000 refused", "AAAA", 2, 0, 2, 0, false, "70000", false, "");
    R("u16 65535", "AAAA", 2, 0, 2, 0, false, "65535", true, "FFFF");
    R("u16 -1 refused", "0000", 2, 0, 2, 0, false, "-1", false, "");
    R("s16 -2", "0000", 2, 0, 3, 0, false, "-2", true, "FFFE");
    R("byte 256 refused", "AA", 1, 0, 0, 0, false, "256", false, "");
    R("byte -1 refused", "00", 1, 0, 0, 0, false, "-1", false, "");
    R("byte -0.5 is 0", "11", 1, 0, 0, 0, false, "-0.5", true, "00");
    R("byte 3.9", "00", 1, 0, 0, 0, false, "3.9", true, "03");
    R("byte -3.9 refused", "00", 1, 0, 0, 0, false, "-3.9", false, "");
    R("byte code 1", "00", 1, 0, 1, 0, false, "7", true, "07");
    R("byte in the middle", "AABBCC", 3, 1, 0, 0, false, "1", true, "AA01CC");
    R("s32 -2", "00000000", 4, 0, 6, 0, false, "-2", true, "FFFFFFFE");
    R("s32 beyond 32 bits", "00000000", 4, 0, 6, 0, false, "4294967297", false, "");
    R("s32 lowest", "00000000", 4, 0, 6, 0, false, "-2147483648", true, "80000000");
    R("s32 9.2e18", "00000000", 4, 0, 6, 0, false, "9.2e18", false, "");
    R("s32 beyond 64 bits", "00000000", 4, 0, 6, 0, false, "1e19", false, "");
    R("s32 beyond 64 bits negative", "00000000", 4, 0, 6, 0, false, "-1e19", false, "");
    R("scaled beyond 64 bits", "0000", 2, 0, 3, 33, false, "1e300", false, "");
    // Float
    R("float 21.5", "00000000", 4, 0, 4, 0, false, "21.5", true, "41AC0000");
    R("float largest", "00000000", 4, 0, 4, 0, false, "3.4028234e38", true, "7F7FFFFF");
    R("float beyond range", "00000000", 4, 0, 4, 0, false, "1e39", false, "");
    R("float beyond range negative", "00000000", 4, 0, 4, 0, false, "-1e39", false, "");
    // Below the type's range (SNVT_count_f counts from 0): refused, not clamped.
    R("float non-negative", "11111111", 4, 0, 4, 51, false, "-3", false, "11111111");
    R("float non-negative zero", "11111111", 4, 0, 4, 51, false, "0", true, "00000000");
    R("float tenths", "00000000", 4, 0, 4, 1, false, "2.15", true, "41AC0000");
    // A float point of an integer type holds that type's raw steps: 20 °C is 2000.
    R("float hundredths temp", "00000000", 4, 0, 4, 105, false, "20", true, "44FA0000");
    R("float text nan", "11111111", 4, 0, 4, 0, false, "nan", true, "00000000");
    // Keywords and lenient numbers
    R("on", "00", 1, 0, 0, 0, false, "on", true, "01");
    R("On", "00", 1, 0, 0, 0, false, "On", true, "01");
    R("-ON unsigned", "00", 1, 0, 0, 0, false, "-ON", false, "");
    R("-ON signed", "0000", 2, 0, 3, 0, false, "-ON", true, "FFFF");
    R("OFF", "11", 1, 0, 0, 0, false, "OFF", true, "00");
    R("MONDAY", "00", 1, 0, 0, 0, false, "MONDAY", true, "01");
    R("Turn -on now", "0000", 2, 0, 3, 0, false, "Turn -on now", true, "FFFF");
    R("abc", "11", 1, 0, 0, 0, false, "abc", true, "00");
    R("empty", "11", 1, 0, 0, 0, false, "", true, "00");
    R("units after number", "00", 1, 0, 0, 0, false, "  12 degF", true, "0C");
    R("percent sign", "00", 1, 0, 0, 0, false, "50%", true, "32");
    R("hex", "0000", 2, 0, 2, 0, false, "$10", true, "0000");
    // Scaling rules
    R("switch ON", "0000", 2, 0, 2, 95, false, "ON", true, "C801");
    R("switch 5", "0000", 2, 0, 2, 95, false, "5", true, "C801");
    R("switch -3", "0000", 2, 0, 2, 95, false, "-3", true, "C801");
    R("switch 0", "C801", 2, 0, 2, 95, false, "0", true, "0000");
    R("switch OFF", "C801", 2, 0, 2, 95, false, "OFF", true, "0000");
    R("temperature C", "0000", 2, 0, 2, 39, false, "20", true, "0B7C");
    R("temperature F", "0000", 2, 0, 2, 39, true, "68", true, "0B7C");
    R("hundredths temp C", "0000", 2, 0, 3, 105, false, "21.5", true, "0866");
    R("hundredths temp F", "0000", 2, 0, 3, 105, true, "14", true, "FC18");
    // Beyond the type's 0..100 %: refused, not clamped.
    R("half steps beyond the type", "00", 1, 0, 0, 21, false, "150", false, "00");
    R("whole percent clamp", "00", 1, 0, 0, 22, false, "120", true, "64");
    R("0.005 steps", "0000", 2, 0, 3, 81, false, "100", true, "4E20");
    R("address range beyond the type", "0000", 2, 0, 2, 114, false, "70000", false, "0000");
    R("address range highest", "0000", 2, 0, 2, 114, false, "61951", true, "F1FF");
    // Bit fields
    R("nibble 9", "05", 1, 0, 7, 240, false, "9", true, "95");
    R("nibble 16", "05", 1, 0, 7, 240, false, "16", false, "");
    R("nibble -1", "05", 1, 0, 7, 240, false, "-1", false, "");
    R("low nibble", "95", 1, 0, 7, 15, false, "3", true, "93");
    R("bit 3 set", "00", 1, 0, 7, 8, false, "1", true, "08");
    R("bit 3 clear", "FF", 1, 0, 7, 8, false, "0", true, "F7");
    R("bit 3 value 2", "00", 1, 0, 7, 8, false, "2", false, "");
    R("bit ON", "00", 1, 0, 7, 1, false, "ON", true, "01");
    R("bit 256 refused", "FF", 1, 0, 7, 1, false, "256", false, "");
    R("bit no scaling", "00", 1, 0, 7, 1, false, "1", true, "01");
    R("mask from low 8 bits", "05", 1, 0, 7, 0x1F0, false, "9", true, "95");
    R("mask of no bits 0", "5A", 1, 0, 7, 256, false, "0", true, "5A");
    R("mask of no bits 1", "5A", 1, 0, 7, 256, false, "1", false, "");
    R("bit parameter 0", "00", 1, 0, 7, 0, false, "1", false, "");
    R("bit past end", "00", 1, 1, 7, 1, false, "1", false, "");
    R("bit past fetched length", "0000", 1, 1, 7, 1, false, "1", false, "");
    R("bit negative offset", "00", 1, -1, 7, 1, false, "1", false, "");
    R("bit beyond 64 bits", "00", 1, 0, 7, 1, false, "1e20", false, "");
    // Bounds of the numeric codes
    R("u16 at end", "0000", 2, 1, 2, 0, false, "1", false, "");
    R("u16 past fetched length", "000000", 2, 1, 2, 0, false, "1", false, "");
    R("u16 length beyond buffer", "0000", 10, 1, 2, 0, false, "1", false, "");
    R("u16 negative offset", "0000", 2, -1, 2, 0, false, "1", false, "");
    R("u16 offset most negative", "0000", 2, -2147483647 - 1, 2, 0, false, "1", false, "");
    R("s32 offset huge", "00000000", 4, 2147483647, 6, 0, false, "1", false, "");
    R("float negative length", "00000000", -4, 0, 4, 0, false, "1", false, "");
    // Texts
    R("text", "FFFFFFFFFFFFFFFF", 8, 1, 5, 31, false, "Hi", true, "FF486900FFFFFFFF");
    R("text parameter 1", "FFFF", 2, 0, 5, 1, false, "abc", false, "");
    R("text parameter 1 empty", "FFFF", 2, 0, 5, 1, false, "", true, "00FF");
    R("text parameter 0", "FFFF", 2, 0, 5, 0, false, "abc", false, "");
    R("text parameter negative", "FFFF", 2, 0, 5, -5, false, "abc", false, "");
    R("text parameter smallest int", "FFFF", 2, 0, 5, std::numeric_limits<int>::min(), false, "abc", false, "");
    R("text longer than parameter - 1", "FFFFFFFFFF", 5, 0, 5, 3, false, "abc", false, "");
    R("text of parameter - 1", "FFFFFFFFFF", 5, 0, 5, 3, false, "ab", true, "616200FFFF");
    R("text windows-1252", "FFFFFFFF", 4, 0, 5, 31, false, u"°€"_s, true, "B08000FF");
    R("text unknown character", "FFFF", 2, 0, 5, 31, false, u"中"_s, false, "");
    R("text replacement character", "FFFF", 2, 0, 5, 31, false, u"\uFFFD"_s, false, "");
    R("text no room for zero", "FFFF", 2, 0, 5, 31, false, "ab", false, "");
    R("text past fetched length", "FFFFFF", 2, 0, 5, 31, false, "ab", false, "");
    R("text negative offset", "FFFFFF", 3, -1, 5, 31, false, "a", false, "");
    R("text empty", "FFFF", 2, 1, 5, 31, false, "", true, "FF00");
    // Opaque and unknown codes
    R("opaque", "0000", 2, 0, 8, 14, false, "1", false, "");
    R("code 14", "0000", 2, 0, 14, 0, false, "1", false, "");
    R("code -1", "0000", 2, 0, -1, 0, false, "1", false, "");
    // Dates and times in the host's formats
    R("date", "00000000", 4, 0, 9, 0, false, "3/15/24", true, "07E8030F");
    R("date long format", "00000000", 4, 0, 9, 0, false, "Friday, March 15, 2024", true,
      "07E8030F");
    R("date with a time", "00000000", 4, 0, 9, 0, false, "3/15/24 12:30:45 PM", true, "07E8030F");
    R("date at offset", "FF00000000", 5, 1, 9, 0, false, "3/15/24", true, "FF07E8030F");
    R("date impossible", "00000000", 4, 0, 9, 0, false, "2/30/24", false, "");
    R("date no date", "00000000", 4, 0, 9, 0, false, "abc", false, "");
    R("date empty", "00000000", 4, 0, 9, 0, false, "", false, "");
    R("date number", "00000000", 4, 0, 9, 0, false, "45366", false, "");
    R("date past fetched length", "00000000", 3, 0, 9, 0, false, "3/15/24", false, "");
    R("date past buffer", "000000", 4, 0, 9, 0, false, "3/15/24", false, "");
    R("date negative offset", "00000000", 4, -1, 9, 0, false, "3/15/24", false, "");
    R("time", "000000", 3, 0, 10, 0, false, "3/15/24 12:30:45 PM", true, "0C1E2D");
    R("time alone", "000000", 3, 0, 10, 0, false, "1:05:09 PM", true, "0D0509");
    R("time alone short", "000000", 3, 0, 10, 0, false, "1:05 AM", true, "010500");
    R("time of a date", "FFFFFF", 3, 0, 10, 0, false, "3/15/24", true, "000000");
    R("time impossible", "000000", 3, 0, 10, 0, false, "25:00:00 PM", false, "");
    R("time past fetched length", "000000", 2, 0, 10, 0, false, "1:05:09 PM", false, "");
    R("date time", "00000000000000", 7, 0, 11, 0, false, "3/15/24 12:30:45 PM", true,
      "07E8030F0C1E2D");
    R("date time midnight", "FFFFFFFFFFFFFF", 7, 0, 11, 0, false, "3/15/24", true,
      "07E8030F000000");
    R("date time alone is no date", "00000000000000", 7, 0, 11, 0, false, "1:05:09 PM", false, "");
    R("date time past fetched length", "00000000000000", 6, 0, 11, 0, false,
      "3/15/24 12:30:45 PM", false, "");
}

void TestEncode::fields()
{
    QFETCH(QByteArray, before);
    QFETCH(int, length);
    QFETCH(int, offset);
    QFETCH(int, code);
    QFETCH(int, parameter);
    QFETCH(bool, tempsInF);
    QFETCH(QString, value);
    QFETCH(bool, ok);
    QFETCH(QByteArray, after);
    QByteArray buffer = before;
    QCOMPARE(EncodeField(value, buffer, length, offset, code, parameter, tempsInF).Ok, ok);
    QCOMPARE(buffer.toHex(' '), after.toHex(' '));
}

// A write whose field does not lie wholly inside the fetched bytes fails and changes
// nothing, whether the fetched length or the buffer itself is short.
void TestEncode::everyTruncatedLengthFails_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("parameter");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("width");
    QTest::newRow("byte") << 0 << 0 << "5" << 1;
    QTest::newRow("code 1") << 1 << 0 << "5" << 1;
    QTest::newRow("u16") << 2 << 0 << "5" << 2;
    QTest::newRow("s16") << 3 << 105 << "21.5" << 2;
    QTest::newRow("float") << 4 << 0 << "21.5" << 4;
    QTest::newRow("s32") << 6 << 0 << "-5" << 4;
    QTest::newRow("bits") << 7 << 240 << "9" << 1;
    QTest::newRow("text") << 5 << 31 << "abc" << 4;
    QTest::newRow("date") << 9 << 0 << "3/15/24" << 4;
    QTest::newRow("time") << 10 << 0 << "1:05:09 PM" << 3;
    QTest::newRow("date time") << 11 << 0 << "3/15/24 12:30:45 PM" << 7;
}

void TestEncode::everyTruncatedLengthFails()
{
    QFETCH(int, code);
    QFETCH(int, parameter);
    QFETCH(QString, value);
    QFETCH(int, width);
    const QByteArray pattern(width + 1, char(0xA5));
    QByteArray buffer = pattern;
    QVERIFY(EncodeField(value, buffer, width + 1, 1, code, parameter, false));
    QCOMPARE(buffer.at(0), char(0xA5));
    for (int length = 0; length <= width; ++length) {
        buffer = pattern;
        QVERIFY(!EncodeField(value, buffer, length, 1, code, parameter, false));
        QCOMPARE(buffer, pattern);
        QByteArray shortBuffer = pattern.left(length);
        const QByteArray shortCopy = shortBuffer;
        QVERIFY(!EncodeField(value, shortBuffer, width + 1, 1, code, parameter, false));
        QCOMPARE(shortBuffer, shortCopy);
    }
}

// A text longer than its field is refused, never cut; one that fits is written whole.
void TestEncode::longText()
{
    const QString forty = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn"_s;
    QByteArray buffer(256, char(0xFF));
    const EncodeResult refused = EncodeField(forty, buffer, 31, 0, 5, 31, false);
    QVERIFY(!refused);
    QCOMPARE(refused.Reason, u"The text has 40 characters; this field holds at most 30."_s);
    QCOMPARE(buffer, QByteArray(256, char(0xFF)));
    QVERIFY(EncodeField(forty.left(30), buffer, 31, 0, 5, 31, false));
    QCOMPARE(buffer.left(31), forty.left(30).toLatin1() + '\0');
    QCOMPARE(buffer.mid(31), QByteArray(225, char(0xFF)));
    QCOMPARE(DecodeField(buffer, 31, 0, 5, 31, false), forty.left(30));

    QByteArray shortFetch(256, char(0xFF));
    QVERIFY(!EncodeField(forty.left(30), shortFetch, 30, 0, 5, 31, false));
    QCOMPARE(shortFetch, QByteArray(256, char(0xFF)));
}

// Every refusal names its reason, and the checks without the bytes agree with the encoder.
void TestEncode::refusalsSayWhy_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("parameter");
    QTest::addColumn<double>("scale");
    QTest::addColumn<QString>("reason");
    // A °C setpoint below absolute zero fits the 16-bit field but not its type.
    QTest::newRow("setpoint -300") << u"-300"_s << 3 << 105 << 0.0 << u"Value out of range for SNVT_temp_p: -273.17 to 327.66 °C."_s;
    QTest::newRow("setpoint 1000") << u"1000"_s << 3 << 105 << 0.0 << u"Value out of range for SNVT_temp_p: -273.17 to 327.66 °C."_s;
    QTest::newRow("float setpoint 500") << u"500"_s << 4 << 105 << 0.0 << u"Value out of range for SNVT_temp_p: -273.17 to 327.66 °C."_s;
    QTest::newRow("setpoint half a step below") << u"-273.175"_s << 3 << 105 << 0.0 << u"Value out of range for SNVT_temp_p: -273.17 to 327.66 °C."_s;
    QTest::newRow("setpoint no data") << u"327.67"_s << 3 << 105 << 0.0 << u"Value out of range for SNVT_temp_p: -273.17 to 327.66 °C."_s;
    QTest::newRow("setpoint scaled") << u"200"_s << 3 << 105 << 2.0
                                     << u"Value out of range for SNVT_temp_p: -136.585 to 163.83."_s;
    QTest::newRow("field of a structure") << u"65535"_s << 2 << 200 << 0.0 << u"Value out of range for "
                                             "SNVT_environment.lampCurrent: 0 to 65534 mA."_s;
    QTest::newRow("enumeration") << u"FT_SOMETIMES"_s << 12 << 130 << 0.0
                                 << u"Value out of range for SNVT_fire_test: one of FT_NUL, FT_NORMAL, "
                                    "FT_RESET, FT_TEST, FT_NOTEST."_s;
    QTest::newRow("enumeration number") << u"7"_s << 12 << 130 << 0.0
                                        << u"Value out of range for SNVT_fire_test: one of FT_NUL, FT_NORMAL, "
                                           "FT_RESET, FT_TEST, FT_NOTEST."_s;
    QTest::newRow("scaled") << u"5000"_s << 3 << 0 << 10.0
                            << u"5000 does not fit this field: it holds -3276.8 to 3276.7."_s;
    QTest::newRow("bit mask") << u"16"_s << 7 << 240 << 0.0 << u"16 does not fit this field: it holds 0 to 15."_s;
    QTest::newRow("text too long") << QString(31, u'x') << 5 << 31 << 0.0
                                   << u"The text has 31 characters; this field holds at most 30."_s;
    QTest::newRow("omega") << u"5 \u03A9"_s << 5 << 31 << 0.0
                           << u"The character \"\u03A9\" (U+03A9) has no Windows-1252 byte: only "
                              "Windows-1252 characters can be written."_s;
    QTest::newRow("invalid UTF-8") << QString::fromUtf8("ab\xff\xfe" "cd") << 5 << 31 << 0.0
                                   << u"The text holds U+FFFD, the mark of bytes that were not valid UTF-8: "
                                      "only Windows-1252 characters can be written."_s;
    QTest::newRow("no date") << u"abc"_s << 9 << 0 << 0.0
                             << u"\"abc\" is no date in this host's format (such as \"3/15/24 12:30:45 PM\")."_s;
}

void TestEncode::refusalsSayWhy()
{
    QFETCH(QString, value);
    QFETCH(int, code);
    QFETCH(int, parameter);
    QFETCH(double, scale);
    QFETCH(QString, reason);
    const EncodeResult checked = CheckFieldValue(value, code, parameter, false, scale, 0);
    QVERIFY(!checked);
    QCOMPARE(checked.Reason, reason);
    QByteArray buffer(64, char(0x5A));
    const EncodeResult encoded = EncodeField(value, buffer, 64, 0, code, parameter, false, scale);
    QCOMPARE(encoded.Reason, reason);
    QCOMPARE(buffer, QByteArray(64, char(0x5A)));
}

// The range a field reports is what the encoder takes: both ends are written, and where no
// writing rule clamps, one step beyond either end is refused.
void TestEncode::writableRange_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("parameter");
    QTest::addColumn<bool>("tempsInF");
    QTest::addColumn<double>("scale");
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::addColumn<double>("step");
    QTest::addColumn<bool>("clamps");
    // The type's own range within the field's: 327.67 means "no data" for SNVT_temp_p.
    QTest::newRow("°C setpoint") << 3 << 105 << false << 0.0 << -273.17 << 327.66 << 0.01 << false;
    QTest::newRow("°F setpoint") << 3 << 105 << true << 0.0 << -459.706 << 621.788 << 0.018 << false;
    QTest::newRow("°C setpoint, scale 2") << 3 << 105 << false << 2.0 << -136.585 << 163.83 << 0.005 << false;
    QTest::newRow("enthalpy, catalogue") << 3 << 153 << false << 0.0 << -327.68 << 327.66 << 0.01 << false;
    QTest::newRow("signed byte") << 12 << 0 << false << 0.0 << -128.0 << 127.0 << 1.0 << false;
    QTest::newRow("unsigned 32-bit") << 13 << 0 << false << 0.0 << 0.0 << 4294967295.0 << 1.0 << false;
    QTest::newRow("temperature") << 2 << 39 << false << 0.0 << -274.0 << 6279.5 << 0.1 << false;
    QTest::newRow("half steps") << 0 << 21 << false << 0.0 << 0.0 << 100.0 << 0.5 << true;
    QTest::newRow("nibble") << 7 << 240 << false << 0.0 << 0.0 << 15.0 << 1.0 << false;
    QTest::newRow("scale 10") << 3 << 0 << false << 10.0 << -3276.8 << 3276.7 << 0.1 << false;
    QTest::newRow("switch") << 2 << 95 << false << 0.0 << 0.0 << 1.0 << 1.0 << true;
}

void TestEncode::writableRange()
{
    QFETCH(int, code);
    QFETCH(int, parameter);
    QFETCH(bool, tempsInF);
    QFETCH(double, scale);
    QFETCH(double, low);
    QFETCH(double, high);
    QFETCH(double, step);
    QFETCH(bool, clamps);
    FieldRange range;
    QVERIFY(WritableRange(code, parameter, tempsInF, scale, 0, range));
    QCOMPARE(range.Low, low);
    QCOMPARE(range.High, high);
    QCOMPARE(range.Step, step);
    const auto text = [](double v) { return QString::number(v, 'f', 4); };
    QVERIFY2(CheckFieldValue(text(low), code, parameter, tempsInF, scale, 0), qPrintable(text(low)));
    QVERIFY2(CheckFieldValue(text(high), code, parameter, tempsInF, scale, 0), qPrintable(text(high)));
    if (!clamps) {
        QVERIFY(!CheckFieldValue(text(low - step), code, parameter, tempsInF, scale, 0));
        QVERIFY(!CheckFieldValue(text(high + step), code, parameter, tempsInF, scale, 0));
    }
    FieldRange none;
    QVERIFY(!WritableRange(5, 31, false, 0.0, 0, none));
}

// What is written reads back as the value written (within the field's resolution).
void TestEncode::readsBackWhatItWrote_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("parameter");
    QTest::addColumn<bool>("tempsInF");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("readBack");
    QTest::newRow("tenths") << 3 << 1 << false << "-21.5" << "-21.5000";
    QTest::newRow("temperature F") << 2 << 39 << true << "68" << "68.0000";
    QTest::newRow("hundredths temp F") << 3 << 105 << true << "70.7" << "70.7000";
    QTest::newRow("0.005 steps") << 3 << 81 << false << "100" << "100.0000";
    QTest::newRow("0.02 steps") << 3 << 104 << false << "90" << "90.0000";
    QTest::newRow("float") << 4 << 63 << false << "-0.5" << "-0.5000";
    QTest::newRow("s32") << 6 << 0 << false << "-2147483648" << "-2147483648.0000";
    QTest::newRow("date") << 9 << 0 << false << "3/15/24" << "45366.00000000";
    QTest::newRow("time") << 10 << 0 << false << "6:00:00 AM" << "0.25000000";
    QTest::newRow("date time") << 11 << 0 << false << "3/15/24 12:30:45 PM"
                               << "3/15/24 12:30:45 PM";
    QTest::newRow("text") << 5 << 6 << false << "Room1" << "Room1";
}

void TestEncode::readsBackWhatItWrote()
{
    QFETCH(int, code);
    QFETCH(int, parameter);
    QFETCH(bool, tempsInF);
    QFETCH(QString, value);
    QFETCH(QString, readBack);
    QByteArray buffer(16, '\0');
    QVERIFY(EncodeField(value, buffer, 16, 3, code, parameter, tempsInF));
    QCOMPARE(DecodeField(buffer, 16, 3, code, parameter, tempsInF), readBack);
}

void TestEncode::hostDecimalSeparator()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QByteArray number(4, '\0');
    const bool numberOk = EncodeField(u"21,5"_s, number, 4, 0, 4, 0, false).Ok;
    QByteArray date(4, '\0');
    const bool dateOk = EncodeField(u"15.03.24"_s, date, 4, 0, 9, 0, false).Ok;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QVERIFY(numberOk);
    QCOMPARE(number, Hex("41AC0000"));
    QVERIFY(dateOk);
    QCOMPARE(date, Hex("07E8030F"));
}

QTEST_GUILESS_MAIN(TestEncode)
#include "tst_encode.moc"
