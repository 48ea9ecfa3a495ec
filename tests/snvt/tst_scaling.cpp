// The scaling rules in both directions: factors, clamps, truncation, rounding, Fahrenheit.
#include "snvt/LonDefines.h"

#include <QTest>

#include <cmath>
#include <limits>

class TestScaling : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void reading_data();
    void reading();
    void writing_data();
    void writing();
    void nonFiniteValues();
};

namespace {
void Columns()
{
    QTest::addColumn<int>("parameter");
    QTest::addColumn<bool>("tempsInF");
    QTest::addColumn<double>("input");
    QTest::addColumn<double>("expected");
}
void Row(const char *name, int parameter, bool f, double input, double expected)
{
    QTest::newRow(name) << parameter << f << input << expected;
}
} // namespace

void TestScaling::reading_data()
{
    Columns();
    Row("none 0", 0, false, 1234, 1234);
    Row("above 114", 115, false, 1234, 1234);
    Row("122", 122, false, 1234, 1234);
    Row("negative parameter", -5, false, 1234, 1234);
    Row("type 3 no rule", 3, false, 1234, 1234);
    Row("tenths 1", 1, false, 215, 21.5);
    Row("tenths 107", 107, false, -7, -0.7);
    Row("hundredths 33", 33, false, 12345, 123.45);
    Row("hundredths 45", 45, false, -100, -1);
    Row("thousandths 35", 35, false, 1500, 1.5);
    Row("thousandths 78", 78, false, 1, 0.001);
    Row("half steps", 21, false, 201, 100.5);
    Row("whole percent unchanged", 22, false, 250, 250);
    Row("non-negative unchanged", 51, false, -3, -3);
    Row("0.005 steps", 81, false, 20000, 100);
    Row("0.005 steps 82", 82, false, -200, -1);
    Row("0.00005 steps", 98, false, 20000, 1);
    Row("0.02 steps", 104, false, 4500, 90);
    Row("0.0002 steps", 110, false, 5000, 1);
    Row("temperature C", 39, false, 2940, 20);
    Row("temperature F", 39, true, 2940, 68);
    Row("temperature below zero", 39, false, 2735, -0.5);
    Row("hundredths temp C", 105, false, -1000, -10);
    Row("hundredths temp F", 105, true, -1000, 14);
    Row("hundredths temp 2150 F", 105, true, 2150, 21.5 * 1.8 + 32);
    Row("switch on", 95, false, 0xC801, 1);
    Row("switch level 0", 95, false, 0x0001, 0);
    Row("switch state off", 95, false, 0xC800, 0);
    Row("switch low 16 bits", 95, false, 0x1C801, 1);
    Row("switch truncates", 95, false, 51201.9, 1);
    Row("switch negative", 95, false, -1, 1);   // 0xFFFF: level and state both set
    Row("address low", 114, false, 100, 16384);
    Row("address high", 114, false, 65535, 61951);
    Row("address inside", 114, false, 20000, 20000);
}

void TestScaling::reading()
{
    QFETCH(int, parameter);
    QFETCH(bool, tempsInF);
    QFETCH(double, input);
    QFETCH(double, expected);
    QCOMPARE(ScaleForReading(parameter, input, tempsInF), expected);
}

void TestScaling::writing_data()
{
    Columns();
    Row("none 0", 0, false, 1234, 1234);
    Row("above 114", 118, false, -5, -5);
    Row("tenths", 1, false, 21.5, 215);
    Row("hundredths", 33, false, 1.25, 125);
    Row("thousandths", 35, false, 1.5, 1500);
    Row("half steps", 21, false, 50, 100);
    Row("half steps clamp", 21, false, 150, 200);
    Row("half steps no lower clamp", 21, false, -5, -10);
    Row("whole percent high", 22, false, 120, 100);
    Row("whole percent low", 22, false, -5, 0);
    Row("whole percent inside", 22, false, 55.5, 55.5);
    Row("non-negative 51", 51, false, -3, 0);
    Row("non-negative 101", 101, false, -0.1, 0);
    Row("non-negative positive", 75, false, 3.5, 3.5);
    Row("0.005 steps", 81, false, 100, 20000);
    Row("0.005 steps 82", 82, false, 33.3, 6660);
    Row("0.00005 steps", 98, false, 1, 20000);
    Row("0.02 steps", 104, false, 90, 4500);
    Row("0.0002 steps", 110, false, 1, 5000);
    Row("temperature C", 39, false, 20, 2940);
    Row("temperature F", 39, true, 68, 2940);
    Row("temperature truncates up", 39, false, 20.57, 2945);
    Row("temperature truncates toward zero", 39, false, -0.57, 2735);
    Row("temperature F below zero", 39, true, 31, 2735);   // -0.555.. °C: -5.55.. tenths -> -5
    Row("hundredths temp C", 105, false, 21.5, 2150);
    Row("hundredths temp F", 105, true, 14, -1000);
    Row("hundredths temp ties to even down", 105, false, 0.125, 12);
    Row("hundredths temp ties to even up", 105, false, 0.375, 38);
    Row("hundredths temp negative tie", 105, false, -0.125, -12);
    Row("hundredths temp rounds", 105, false, 0.126, 13);
    Row("switch on", 95, false, 1, 51201);
    Row("switch any number", 95, false, 0.5, 51201);
    Row("switch negative", 95, false, -7, 51201);
    Row("switch off", 95, false, 0, 0);
    Row("address low", 114, false, 0, 16384);
    Row("address high", 114, false, 70000, 61951);
}

void TestScaling::writing()
{
    QFETCH(int, parameter);
    QFETCH(bool, tempsInF);
    QFETCH(double, input);
    QFETCH(double, expected);
    QCOMPARE(ScaleForWriting(parameter, input, tempsInF), expected);
}

void TestScaling::nonFiniteValues()
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QCOMPARE(ScaleForReading(1, inf, false), inf);
    QVERIFY(std::isnan(ScaleForReading(81, nan, false)));
    QCOMPARE(ScaleForReading(39, -inf, true), -inf);
    // Rules that truncate or compare read what they cannot handle as 0.
    QCOMPARE(ScaleForReading(95, nan, false), 0.0);
    QCOMPARE(ScaleForReading(95, inf, false), 0.0);
    QCOMPARE(ScaleForReading(95, 1e30, false), 0.0);
    QCOMPARE(ScaleForReading(114, nan, false), 0.0);
    QCOMPARE(ScaleForReading(114, inf, false), 61951.0);
}

QTEST_GUILESS_MAIN(TestScaling)
#include "tst_scaling.moc"
