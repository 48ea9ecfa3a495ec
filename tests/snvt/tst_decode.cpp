// Decoding of point fields from network-variable bytes, every variable type code, with
// the bounds of the buffer and of the received length.
#include "snvt/FieldDecoder.h"
#include "snvt/FieldLayouts.h"

#include <QLocale>
#include <QTest>

using namespace Qt::StringLiterals;

class TestDecode : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void fields_data();
    void fields();
    void everyTruncatedLengthIsEmpty_data();
    void everyTruncatedLengthIsEmpty();
    void hostDecimalSeparator();
    void structuredVariables();
    void bufferLeftAlone();
};

namespace {
QByteArray Hex(const char *hex) { return QByteArray::fromHex(hex); }
} // namespace

void TestDecode::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestDecode::fields_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("parameter");
    QTest::addColumn<bool>("tempsInF");
    QTest::addColumn<QString>("expected");
    const auto R = [](const char *name, const char *hex, int length, int offset, int code,
                      int parameter, bool f, const QString &expected) {
        QTest::newRow(name) << Hex(hex) << length << offset << code << parameter << f << expected;
    };
    // Unsigned bytes (0 and 1)
    R("byte", "05", 1, 0, 0, 0, false, "5.0000");
    R("byte code 1", "FF", 1, 0, 1, 0, false, "255.0000");
    R("byte at offset", "0007", 2, 1, 0, 0, false, "7.0000");
    R("byte at end", "05", 1, 1, 0, 0, false, "");
    R("byte negative offset", "05", 1, -1, 0, 0, false, "");
    R("byte beyond received", "0506", 1, 1, 0, 0, false, "");
    R("byte beyond buffer", "05", 10, 1, 0, 0, false, "");
    R("byte negative length", "05", -1, 0, 0, 0, false, "");
    R("byte half steps", "C8", 1, 0, 0, 21, false, "100.0000");
    R("byte percent", "C8", 1, 0, 0, 22, false, "200.0000");
    // 16-bit
    R("u16 all ones", "FFFF", 2, 0, 2, 0, false, "65535.0000");
    R("s16 all ones", "FFFF", 2, 0, 3, 0, false, "-1.0000");
    R("u16 offset 2 of 4", "00000102", 4, 2, 2, 0, false, "258.0000");
    R("u16 offset 3 of 4", "00000102", 4, 3, 2, 0, false, "");
    R("s16 offset huge", "0000", 2, 2147483647, 3, 0, false, "");
    R("s16 offset most negative", "0000", 2, -2147483647 - 1, 3, 0, false, "");
    R("temperature C", "0B7C", 2, 0, 2, 39, false, "20.0000");
    R("temperature F", "0B7C", 2, 0, 2, 39, true, "68.0000");
    R("hundredths temp C", "0866", 2, 0, 3, 105, false, "21.5000");
    R("hundredths temp F", "0866", 2, 0, 3, 105, true, "70.7000");
    R("hundredths temp negative", "FC18", 2, 0, 3, 105, false, "-10.0000");
    R("hundredths temp negative F", "FC18", 2, 0, 3, 105, true, "14.0000");
    R("switch on", "C801", 2, 0, 2, 95, false, "1.0000");
    R("switch level 0", "0001", 2, 0, 2, 95, false, "0.0000");
    R("switch state off", "C800", 2, 0, 2, 95, false, "0.0000");
    R("0.005 steps", "4E20", 2, 0, 3, 81, false, "100.0000");
    R("0.005 steps negative", "FF38", 2, 0, 3, 81, false, "-1.0000");
    R("address low", "0064", 2, 0, 2, 114, false, "16384.0000");
    R("address high", "FFFF", 2, 0, 2, 114, false, "61951.0000");
    R("tenths", "00D7", 2, 0, 3, 1, false, "21.5000");
    R("parameter above 114", "04D2", 2, 0, 2, 120, false, "1234.0000");
    // Signed byte and unsigned 32-bit codes
    R("signed byte", "FF", 1, 0, 12, 0, false, "-1.0000");
    R("signed byte lowest", "80", 1, 0, 12, 0, false, "-128.0000");
    R("u32 all ones", "FFFFFFFF", 4, 0, 13, 0, false, "4294967295.0000");
    R("u32 short", "FFFFFF", 3, 0, 13, 0, false, "");
    // Parameters above 122: the catalogue's conversion of that type
    R("enthalpy hundredths", "0834", 2, 0, 3, 153, false, "21.0000");
    R("enthalpy at any offset", "000834", 3, 1, 3, 153, false, "21.0000");
    R("temperature rate halves", "FFFF", 2, 0, 3, 131, false, "-0.5000");
    R("temperature rate ignores F", "0002", 2, 0, 3, 131, true, "1.0000");
    R("count 32 near top", "FFFFFFFE", 4, 0, 13, 183, false, "4294967294.0000");
    R("smoke obscuration", "1388", 2, 0, 2, 129, false, "5.0000");
    R("kWh in 32 bits", "FFFFFFFF", 4, 0, 6, 146, false, "-0.1000");
    R("enumeration by name", "02", 1, 0, 12, 130, false, "FT_TEST");
    R("enumeration none member", "FF", 1, 0, 12, 130, false, "FT_NUL");
    R("enumeration without member", "07", 1, 0, 12, 130, false, "7");
    R("enumeration read unsigned", "FF", 1, 0, 0, 130, false, "255");
    R("structure field enumeration", "020300", 3, 0, 12, 127, false, "CHLR_RUN");
    R("structure second field", "020300", 3, 1, 12, 127, false, "HVAC_COOL");
    R("structure no field there", "020307", 3, 2, 0, 127, false, "7.0000");
    R("structure field other code", "0203", 2, 0, 2, 127, false, "515.0000");
    R("known by name only", "0102", 2, 0, 2, 220, false, "258.0000");
    // Float
    R("level float", "42C80000", 4, 0, 4, 55, false, "100.0000");
    R("float", "41AC0000", 4, 0, 4, 0, false, "21.5000");
    R("float tenths", "41AC0000", 4, 0, 4, 1, false, "2.1500");
    R("float quiet nan", "7FC00000", 4, 0, 4, 0, false, "NaN");
    R("float infinity", "7F800000", 4, 0, 4, 0, false, "INF");
    R("float minus infinity", "FF800000", 4, 0, 4, 0, false, "-INF");
    R("float infinity scaled", "7F800000", 4, 0, 4, 81, false, "INF");
    R("float signalling nan", "7F800001", 4, 0, 4, 0, false, "0.0000");
    R("float negative signalling nan", "FFA00000", 4, 0, 4, 1, false, "0.0000");
    R("float nan through switch", "7FC00000", 4, 0, 4, 95, false, "0.0000");
    R("float huge through switch", "7F000000", 4, 0, 4, 95, false, "0.0000");
    R("float negative zero", "80000000", 4, 0, 4, 0, false, "0.0000");
    R("float tiny", "00000001", 4, 0, 4, 0, false, "0.0000");
    R("float short", "41AC00", 3, 0, 4, 0, false, "");
    // Signed 32-bit
    R("s32 negative", "FFFFFFFE", 4, 0, 6, 0, false, "-2.0000");
    R("s32 largest", "7FFFFFFF", 4, 0, 6, 0, false, "2147483647.0000");
    R("s32 smallest", "80000000", 4, 0, 6, 0, false, "-2147483648.0000");
    R("s32 at offset 1 of 4", "00000000", 4, 1, 6, 0, false, "");
    // Text
    R("text", "414243", 3, 0, 5, 31, false, "ABC");
    R("text stops at zero", "41004243", 4, 0, 5, 31, false, "A");
    R("text first byte zero", "0041", 2, 0, 5, 31, false, "");
    R("text at most parameter", "41424344", 4, 0, 5, 2, false, "AB");
    R("text parameter 1", "41424344", 4, 1, 5, 1, false, "B");
    R("text parameter 0", "414243", 3, 0, 5, 0, false, "");
    R("text parameter negative", "414243", 3, 0, 5, -4, false, "");
    R("text stops at received length", "41424344", 2, 0, 5, 31, false, "AB");
    R("text stops at buffer end", "4142", 200, 0, 5, 31, false, "AB");
    R("text offset at end", "414243", 3, 3, 5, 31, false, "");
    R("text negative offset", "414243", 3, -1, 5, 31, false, "");
    R("text windows-1252", "B080B5", 3, 0, 5, 31, false, u"°€µ"_s);
    // Bit fields
    R("bit set", "A5", 1, 0, 7, 128, false, "1");
    R("bit clear", "A5", 1, 0, 7, 64, false, "0");
    R("bit lowest", "A5", 1, 0, 7, 1, false, "1");
    R("high nibble", "93", 1, 0, 7, 240, false, "9");
    R("low nibble", "93", 1, 0, 7, 15, false, "3");
    R("mask from low 8 bits", "93", 1, 0, 7, 0x1F0, false, "9");
    R("mask of no bits", "FF", 1, 0, 7, 256, false, "0");
    R("negative parameter", "93", 1, 0, 7, -1, false, "147");
    R("bit parameter 0", "FF", 1, 0, 7, 0, false, "");
    R("bit past end", "FF", 1, 1, 7, 1, false, "");
    R("bit negative offset", "FF", 1, -1, 7, 1, false, "");
    // Opaque and unknown codes
    R("opaque", "41424344", 4, 0, 8, 14, false, "");
    R("code 14", "41424344", 4, 0, 14, 0, false, "");
    R("code -1", "41424344", 4, 0, -1, 0, false, "");
    // Dates
    R("date", "07E8030F", 4, 0, 9, 0, false, "45366.00000000");
    R("date 2000", "07D00101", 4, 0, 9, 0, false, "36526.00000000");
    R("date leap day", "07E8021D", 4, 0, 9, 0, false, "45351.00000000");
    R("date 29 Feb 2023", "07E7021D", 4, 0, 9, 0, false, "");
    R("date month 13", "07E80D01", 4, 0, 9, 0, false, "");
    R("date month 0", "07E80001", 4, 0, 9, 0, false, "");
    R("date day 0", "07E80300", 4, 0, 9, 0, false, "");
    R("date day 32", "07E80120", 4, 0, 9, 0, false, "");
    R("date year 0", "00000101", 4, 0, 9, 0, false, "");
    R("date year 9999", "270F0101", 4, 0, 9, 0, false, "2958101.00000000");
    R("date year 10000", "27100101", 4, 0, 9, 0, false, "");
    R("date year 1", "00010101", 4, 0, 9, 0, false, "-693593.00000000");
    R("date beyond received", "07E8030F", 3, 0, 9, 0, false, "");
    R("date negative offset", "07E8030F", 4, -1, 9, 0, false, "");
    R("date at offset", "0007E8030F", 5, 1, 9, 0, false, "45366.00000000");
    // Times
    R("time noon", "0C0000", 3, 0, 10, 0, false, "0.50000000");
    R("time six", "060000", 3, 0, 10, 0, false, "0.25000000");
    R("time last second", "173B3B", 3, 0, 10, 0, false, "0.99998843");
    R("time hour 24", "180000", 3, 0, 10, 0, false, "");
    R("time minute 60", "003C00", 3, 0, 10, 0, false, "");
    R("time second 60", "00003C", 3, 0, 10, 0, false, "");
    R("time beyond received", "0C0000", 2, 0, 10, 0, false, "");
    // Date and time
    R("date time", "07E8030F0C1E2D", 7, 0, 11, 0, false, "3/15/24 12:30:45 PM");
    R("date time midnight", "07E8030F000000", 7, 0, 11, 0, false, "3/15/24");
    R("date time one second", "07E8030F000001", 7, 0, 11, 0, false, "3/15/24 12:00:01 AM");
    R("date time daylight-saving gap", "07E8031F021E00", 7, 0, 11, 0, false, "3/31/24 2:30:00 AM");
    R("date time hour 24", "07E8030F180000", 7, 0, 11, 0, false, "");
    R("date time bad month", "07E80D0F0C0000", 7, 0, 11, 0, false, "");
    R("date time bad day", "07E8023E0C0000", 7, 0, 11, 0, false, "");
    R("date time short", "07E8030F0C1E2D", 6, 0, 11, 0, false, "");
}

void TestDecode::fields()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, length);
    QFETCH(int, offset);
    QFETCH(int, code);
    QFETCH(int, parameter);
    QFETCH(bool, tempsInF);
    QFETCH(QString, expected);
    QCOMPARE(DecodeField(bytes, length, offset, code, parameter, tempsInF), expected);
}

// A valid field read from any shorter received length gives the empty text, whether the
// buffer itself is cut or only the received length is.
void TestDecode::everyTruncatedLengthIsEmpty_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("parameter");
    QTest::newRow("byte") << Hex("0105") << 0 << 0;
    QTest::newRow("code 1") << Hex("0105") << 1 << 0;
    QTest::newRow("u16") << Hex("010203") << 2 << 0;
    QTest::newRow("s16") << Hex("010203") << 3 << 105;
    QTest::newRow("float") << Hex("0141AC0000") << 4 << 0;
    QTest::newRow("s32") << Hex("0101020304") << 6 << 0;
    QTest::newRow("bits") << Hex("01FF") << 7 << 240;
    QTest::newRow("date") << Hex("0107E8030F") << 9 << 0;
    QTest::newRow("time") << Hex("010C0000") << 10 << 0;
    QTest::newRow("date time") << Hex("0107E8030F0C1E2D") << 11 << 0;
    QTest::newRow("text") << Hex("0141") << 5 << 31;
}

void TestDecode::everyTruncatedLengthIsEmpty()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, code);
    QFETCH(int, parameter);
    const int full = int(bytes.size());
    QVERIFY(!DecodeField(bytes, full, 1, code, parameter, false).isEmpty());
    for (int length = 0; length < full; ++length) {
        QCOMPARE(DecodeField(bytes, length, 1, code, parameter, false), QString());
        QCOMPARE(DecodeField(bytes.left(length), full, 1, code, parameter, false), QString());
    }
}

void TestDecode::hostDecimalSeparator()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString number = DecodeField(Hex("41AC0000"), 4, 0, 4, 0, false);
    const QString date = DecodeField(Hex("07E8030F"), 4, 0, 9, 0, false);
    const QString time = DecodeField(Hex("0C0000"), 3, 0, 10, 0, false);
    const QString moment = DecodeField(Hex("07E8030F0C1E2D"), 7, 0, 11, 0, false);
    const QString big = DecodeField(Hex("7FFFFFFF"), 4, 0, 6, 0, false);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(number, "21,5000");
    QCOMPARE(date, "45366,00000000");
    QCOMPARE(time, "0,50000000");
    QCOMPARE(moment, "15.03.24 12:30:45");
    QCOMPARE(big, "2147483647,0000");   // no group separators
}

// Fields read through their layouts: bits of type 83, digits of 86, the alarm of 88.
void TestDecode::structuredVariables()
{
    const auto read = [](int type, const QByteArray &bytes, const QString &suffix) {
        for (const FieldRow &row : FieldLayout(type)) {
            if (row.suffix == suffix)
                return DecodeField(bytes, int(bytes.size()), row.offset, row.variableType,
                                   row.parameter, false);
        }
        return u"no such field"_s;
    };
    const QByteArray states = Hex("A500");
    for (int k = 0; k < 16; ++k) {
        const bool set = k == 0 || k == 2 || k == 5 || k == 7;
        QCOMPARE(read(83, states, ".Bit" + QString::number(k)), set ? "1" : "0");
    }
    QCOMPARE(read(83, states, ".AllBits"), "42240.0000");

    const QByteArray digits = Hex("9300000000000000000000000000000000000000");
    QCOMPARE(read(86, digits, ".Digit1"), "9");
    QCOMPARE(read(86, digits, ".Digit2"), "3");
    QCOMPARE(read(86, digits, ".Digit40"), "0");
    QCOMPARE(read(86, digits.left(19), ".Digit40"), "");

    QByteArray alarm(29, '\0');
    alarm.replace(0, 6, QByteArray("Room1\0", 6));
    alarm.replace(16, 7, Hex("07E8030F0C1E2D"));
    QCOMPARE(read(88, alarm, ".Location"), "Room1");
    QCOMPARE(read(88, alarm, ".Date"), "45366.00000000");
    QCOMPARE(read(88, alarm, ".Year"), "2024.0000");
    QCOMPARE(read(88, alarm, ".Time"), "0.52135417");
    QCOMPARE(read(88, alarm, ".TimeStamp"), "3/15/24 12:30:45 PM");
    QCOMPARE(read(88, alarm, ".AlarmLimit"), "0.0000");
    QCOMPARE(read(88, alarm.left(28), ".AlarmLimit"), "");

    const QByteArray sw = Hex("C801");
    QCOMPARE(read(95, sw, ".Value"), "100.0000");
    QCOMPARE(read(95, sw, ".State"), "1.0000");
    QCOMPARE(read(95, sw, ""), "1.0000");
}

void TestDecode::bufferLeftAlone()
{
    const QByteArray bytes = Hex("41424300");
    const QByteArray copy = bytes;
    for (int code = -1; code <= 12; ++code)
        DecodeField(bytes, 4, 0, code, 31, true);
    QCOMPARE(bytes, copy);
}

QTEST_GUILESS_MAIN(TestDecode)
#include "tst_decode.moc"
