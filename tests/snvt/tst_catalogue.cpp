// The SNVT catalogue, row by row: units text, expansion group, variable type and scaling.
#include "snvt/FieldLayouts.h"
#include "snvt/LonDefines.h"

#include <QTest>

Q_DECLARE_METATYPE(ExpansionGroup)
Q_DECLARE_METATYPE(ScalingRule)

class TestCatalogue : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void rows_data();
    void rows();
    void outsideTheCatalogue();
    void unitsTexts();
    void unitsBytesAreWindows1252();
    void pointKindNames();
    void everyFieldsTypeHasALayout();
};

void TestCatalogue::rows_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("units");
    QTest::addColumn<ExpansionGroup>("expansion");
    QTest::addColumn<int>("variableType");
    QTest::addColumn<ScalingRule>("scaling");
    using G = ExpansionGroup;
    using S = ScalingRule;
    const auto R = [](int n, const char16_t *units, ExpansionGroup g, int vt, ScalingRule r) {
        QTest::addRow("%d", n) << n << QString::fromUtf16(units) << g << vt << r;
    };
    R(0, u"", G::None, -1, S::None);
    R(1, u"Amps", G::Single, 3, S::Tenths);
    R(2, u"mA", G::Single, 3, S::Tenths);
    R(3, u"radians", G::Single, 2, S::None);
    R(4, u"radians/sec", G::Single, 3, S::Tenths);
    R(5, u"kbtu", G::Single, 2, S::None);
    R(6, u"mbtu", G::Single, 2, S::None);
    R(7, u"", G::Single, 0, S::None);
    R(8, u"counts", G::Single, 2, S::None);
    R(9, u"counts", G::Single, 3, S::None);
    R(10, u"", G::None, -1, S::None);
    R(11, u"", G::Single, 0, S::None);
    R(12, u"", G::None, -1, S::None);
    R(13, u"kWH", G::Single, 2, S::None);
    R(14, u"WHR", G::Single, 2, S::Tenths);
    R(15, u"lt/sec", G::Single, 2, S::None);
    R(16, u"ml/sec ", G::Single, 2, S::None);
    R(17, u"meters", G::Single, 2, S::Tenths);
    R(18, u"km", G::Single, 2, S::Tenths);
    R(19, u"µm", G::Single, 2, S::Tenths);
    R(20, u"mm", G::Single, 2, S::Tenths);
    R(21, u"%", G::Single, 0, S::HalfSteps);
    R(22, u"", G::Single, 0, S::WholePercent);
    R(23, u"g", G::Single, 2, S::Tenths);
    R(24, u"kg", G::Single, 2, S::Tenths);
    R(25, u"tonnes", G::Single, 2, S::Tenths);
    R(26, u"mg", G::Single, 2, S::Tenths);
    R(27, u"W", G::Single, 2, S::Tenths);
    R(28, u"kW", G::Single, 2, S::Tenths);
    R(29, u"ppm", G::Single, 2, S::None);
    R(30, u"kPa", G::Single, 3, S::Tenths);
    R(31, u"ohms", G::Single, 2, S::Tenths);
    R(32, u"kohms", G::Single, 2, S::Tenths);
    R(33, u"dB", G::Single, 3, S::Hundredths);
    R(34, u"m/s", G::Single, 2, S::Tenths);
    R(35, u"m/s", G::Single, 2, S::Thousandths);
    R(36, u"", G::Text, -1, S::None);
    R(37, u"", G::Opaque, -1, S::None);
    R(38, u"", G::Single, 0, S::None);
    R(39, u"°C", G::Single, 2, S::Temperature);
    R(40, u"", G::None, -1, S::None);
    R(41, u"l", G::Single, 2, S::Tenths);
    R(42, u"kl", G::Single, 2, S::Tenths);
    R(43, u"ml", G::Single, 2, S::Tenths);
    R(44, u"V", G::Single, 3, S::Tenths);
    R(45, u"db µv", G::Single, 3, S::Hundredths);
    R(46, u"kV", G::Single, 3, S::Tenths);
    R(47, u"mV", G::Single, 3, S::Tenths);
    R(48, u"Amps", G::Single, 4, S::None);
    R(49, u"radians", G::Single, 4, S::None);
    R(50, u"radians/sec", G::Single, 4, S::None);
    R(51, u"counts", G::Single, 4, S::NonNegative);
    R(52, u"counts", G::Single, 4, S::None);
    R(53, u"l/sec", G::Single, 4, S::None);
    R(54, u"meters", G::Single, 4, S::NonNegative);
    R(55, u"%", G::Single, 4, S::None);     // a 4-byte float, as devices send it
    R(56, u"g", G::Single, 4, S::NonNegative);
    R(57, u"watts", G::Single, 4, S::None);
    R(58, u"ppm", G::Single, 4, S::NonNegative);
    R(59, u"pascals", G::Single, 4, S::NonNegative);
    R(60, u"ohms", G::Single, 4, S::None);
    R(61, u"dBspl", G::Single, 4, S::None);
    R(62, u"m/s", G::Single, 4, S::None);
    R(63, u"C", G::Single, 4, S::None);
    R(64, u"sec", G::Single, 4, S::NonNegative);
    R(65, u"l", G::Single, 4, S::NonNegative);
    R(66, u"volts", G::Single, 4, S::None);
    R(67, u"btu", G::Single, 4, S::NonNegative);
    R(68, u"watt-hour", G::Single, 4, S::NonNegative);
    R(69, u"", G::Single, 0, S::None);
    R(70, u"", G::Fields, -1, S::None);
    R(71, u"gsm", G::Single, 2, S::Tenths);
    R(72, u"gsm", G::Single, 4, S::NonNegative);
    R(73, u"", G::None, -1, S::None);
    R(74, u"", G::None, -1, S::None);
    R(75, u"Hz", G::Single, 4, S::NonNegative);
    R(76, u"Hz", G::Single, 2, S::Tenths);
    R(77, u"kHz", G::Single, 2, S::Tenths);
    R(78, u"Hz", G::Single, 2, S::Thousandths);
    R(79, u"lux", G::Single, 2, S::None);
    R(80, u"", G::None, -1, S::None);
    R(81, u"%", G::Single, 3, S::Steps0_005);
    R(82, u"", G::Single, 3, S::Steps0_005);
    R(83, u"", G::Fields, -1, S::None);
    R(84, u"", G::Fields, -1, S::None);
    R(85, u"", G::Fields, -1, S::None);
    R(86, u"", G::Fields, -1, S::None);
    R(87, u"", G::Fields, -1, S::None);
    R(88, u"", G::Fields, -1, S::None);
    R(89, u"", G::Fields, -1, S::None);
    R(90, u"", G::None, -1, S::None);
    R(91, u"", G::Fields, -1, S::None);
    R(92, u"", G::Fields, -1, S::None);
    R(93, u"", G::Fields, -1, S::None);
    R(94, u"", G::None, -1, S::None);
    R(95, u"", G::Fields, -1, S::Switch);
    R(96, u"", G::None, -1, S::None);
    R(97, u"", G::Single, 0, S::None);
    R(98, u"", G::Single, 3, S::Steps0_00005);
    R(99, u"", G::Single, 4, S::None);
    R(100, u"kg/m3", G::Single, 3, S::NonNegative);
    R(101, u"kg/m3", G::Single, 4, S::NonNegative);
    R(102, u"rpm", G::Single, 2, S::None);
    R(103, u"", G::Single, 0, S::None);
    R(104, u"degrees", G::Single, 3, S::Steps0_02);
    R(105, u"°C", G::Single, 3, S::HundredthsTemperature);
    R(106, u"", G::Fields, -1, S::None);
    R(107, u"secs", G::Single, 2, S::Tenths);
    R(108, u"", G::Single, 0, S::None);
    R(109, u"", G::Single, 0, S::None);
    R(110, u"m2", G::Single, 2, S::Steps0_0002);   // 0.0002 steps are square metres
    R(111, u"", G::Fields, -1, S::None);
    R(112, u"", G::Fields, -1, S::None);
    R(113, u"Pa", G::Single, 3, S::None);
    R(114, u"Hex", G::Single, 2, S::AddressRange);
    R(115, u"", G::Fields, -1, S::None);
    R(116, u"", G::Fields, -1, S::None);
    R(117, u"", G::Fields, -1, S::None);
    R(118, u"", G::Single, 0, S::None);
    R(119, u"", G::Single, 0, S::None);
    R(120, u"", G::Single, 0, S::None);
    R(121, u"", G::Single, 0, S::None);
    R(122, u"", G::Single, 0, S::None);
}

void TestCatalogue::rows()
{
    QFETCH(int, number);
    QFETCH(QString, units);
    QFETCH(ExpansionGroup, expansion);
    QFETCH(int, variableType);
    QFETCH(ScalingRule, scaling);
    const SnvtTypeInfo *info = FindSnvtType(number);
    QVERIFY(info);
    QCOMPARE(info->units.toString(), units);
    QCOMPARE(SnvtUnits(number), units);
    QCOMPARE(info->expansion, expansion);
    QCOMPARE(info->variableType, variableType);
    QCOMPARE(info->scaling, scaling);
    QCOMPARE(ScalingRuleOf(number), scaling);
}

void TestCatalogue::outsideTheCatalogue()
{
    for (int n : {-1, 140, 167, 226, 1000, INT_MIN, INT_MAX}) {
        QVERIFY(!FindSnvtType(n));
        QCOMPARE(SnvtUnits(n), QString());
        QCOMPARE(SnvtUnitsFor(n, true), QString());
        QCOMPARE(ScalingRuleOf(n), ScalingRule::None);
    }
}

void TestCatalogue::unitsTexts()
{
    QCOMPARE(SnvtUnitsFor(105, false), QStringLiteral("°C"));
    QCOMPARE(SnvtUnitsFor(105, true), QStringLiteral("°F"));
    QCOMPARE(SnvtUnitsFor(39, true), QStringLiteral("°C"));   // only type 105 follows the switch
    QCOMPARE(SnvtUnits(16), QString("ml/sec "));
    QCOMPARE(SnvtUnits(45), QStringLiteral("db µv"));
    QCOMPARE(SnvtUnits(63), QString("C"));
}

void TestCatalogue::unitsBytesAreWindows1252()
{
    QCOMPARE(SnvtUnits(39).toLatin1(), QByteArray("\xB0" "C"));
    QCOMPARE(SnvtUnits(19).toLatin1(), QByteArray("\xB5" "m"));
}

void TestCatalogue::pointKindNames()
{
    const QStringList expected{"Unknown", "Digital", "Analog", "Tri-state",
                               "String", "Date", "Time", "DateTime"};
    for (int k = 0; k < 8; ++k)
        QCOMPARE(PointKindName(k), expected.at(k));
    QCOMPARE(PointKindName(8), QString("Unknown"));
    QCOMPARE(PointKindName(-1), QString("Unknown"));
}

void TestCatalogue::everyFieldsTypeHasALayout()
{
    for (int n = -2; n < 230; ++n) {
        const SnvtTypeInfo *info = FindSnvtType(n);
        const bool fields = info && info->expansion == ExpansionGroup::Fields;
        QVERIFY2(FieldLayout(n).isEmpty() != fields, qPrintable(QString::number(n)));
    }
}

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
