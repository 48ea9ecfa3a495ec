// Point address parsing, value keys, the scale number rule and the POINTVERIFY checks.
#include "snvt/PointAddress.h"
#include "snvt/PointVerify.h"

#include <QLocale>
#include <QTest>

using Fields = QList<qint32>;

class TestPointAddress : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QLocale::setDefault(QLocale::c()); }
    void cleanupTestCase() { QLocale::setDefault(QLocale::c()); }

    void parseFields_data();
    void parseFields();
    void malformed_data();
    void malformed();
    void optionalFields_data();
    void optionalFields();
    void recordResetBetweenParses();
    void scaleUnderCommaLocale();
    void scaleNumber_data();
    void scaleNumber();
    void valueKey_data();
    void valueKey();
    void verify_data();
    void verify();
};

namespace {

Fields IntegerFields(const PointAddress &a)
{
    return {a.Domain,   a.Subnet,         a.Node,         a.VariableIndex,
            a.SnvtType, a.VariableOffset, a.VariableType, a.Parameter};
}

const QString kInvalid =
    QStringLiteral("Invalid Point Address. See the help file for proper formatting.");

} // namespace

void TestPointAddress::parseFields_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Fields>("fields");
    QTest::newRow("zeros") << "0:1:1:0:0:0:0:0" << Fields{0, 1, 1, 0, 0, 0, 0, 0};
    QTest::newRow("example") << "0:12:3:7:105:0:3:105" << Fields{0, 12, 3, 7, 105, 0, 3, 105};
    QTest::newRow("hex dollar") << "0:$0A:1:0:0:0:0:0" << Fields{0, 10, 1, 0, 0, 0, 0, 0};
    QTest::newRow("hex x forms") << "x1:0X10:0xff:X7:0:0:0:$7A"
                                 << Fields{1, 16, 255, 7, 0, 0, 0, 122};
    QTest::newRow("signs, leading blanks") << " 1: +2: -3:4:5:6:7:8"
                                           << Fields{1, 2, -3, 4, 5, 6, 7, 8};
    // Bounds are no concern of the parser.
    QTest::newRow("out of bounds") << "9:0:999:5000:200:300:12:123"
                                   << Fields{9, 0, 999, 5000, 200, 300, 12, 123};
    QTest::newRow("32-bit extremes") << "2147483647:-2147483648:0:0:0:0:0:0"
                                     << Fields{2147483647, qint32(-2147483647 - 1), 0, 0, 0, 0,
                                               0, 0};
}

void TestPointAddress::parseFields()
{
    QFETCH(QString, text);
    QFETCH(Fields, fields);
    PointAddress address;
    QVERIFY(ParsePointAddress(text, address));
    QCOMPARE(IntegerFields(address), fields);
    QCOMPARE(address.Scale, 0.0);
    QVERIFY(!address.HasObject);
    QVERIFY(address.ObjectName.isEmpty());
}

void TestPointAddress::malformed_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("seven fields") << "0:1:1:0:0:0:0";
    QTest::newRow("nine fields") << "0:1:1:0:0:0:0:0:9";
    QTest::newRow("empty") << "";
    QTest::newRow("empty field") << "0::1:0:0:0:0:0";
    QTest::newRow("trailing blank in field") << "0:1 :1:0:0:0:0:0";
    QTest::newRow("blank before comma") << "0:1:1:0:0:0:0:0 ,1";
    QTest::newRow("letter") << "0:1:a:0:0:0:0:0";
    QTest::newRow("fraction") << "0:1:1.5:0:0:0:0:0";
    QTest::newRow("overflow") << "0:4294967296:1:0:0:0:0:0";
    QTest::newRow("hex prefix only") << "0:$:1:0:0:0:0:0";
    QTest::newRow("only colons") << ":::::::";
    QTest::newRow("comma early") << "0:1:1:0,5:0:0:0:0";
}

void TestPointAddress::malformed()
{
    QFETCH(QString, text);
    PointAddress address;
    QVERIFY(!ParsePointAddress(text, address));
    QCOMPARE(VerifyPointAddress(text), kInvalid);
}

void TestPointAddress::optionalFields_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("scale");
    QTest::addColumn<bool>("hasObject");
    QTest::addColumn<QString>("objectName");
    QTest::newRow("blanks around") << "0:1:1:0:0:0:0:0, 2.5 , d-Pump1" << 2.5 << true << "Pump1";
    QTest::newRow("empty scale") << "0:1:1:0:0:0:0:0,,D-X1" << 0.0 << true << "X1";
    QTest::newRow("not D-") << "0:1:1:0:0:0:0:0,1,E-X1" << 1.0 << false << "";
    QTest::newRow("scale only") << "0:1:1:0:0:0:0:0,10" << 10.0 << false << "";
    QTest::newRow("trailing comma") << "0:1:1:0:0:0:0:0," << 0.0 << false << "";
    QTest::newRow("blank rest") << "0:1:1:0:0:0:0:0,   " << 0.0 << false << "";
    QTest::newRow("example") << "1:5:2:0:0:0:1:0,10,D-X1" << 10.0 << true << "X1";
    QTest::newRow("scale with unit") << "0:1:1:0:0:0:0:0,12 degF" << 12.0 << false << "";
    QTest::newRow("scale percent") << "0:1:1:0:0:0:0:0,50%" << 50.0 << false << "";
    QTest::newRow("scale word") << "0:1:1:0:0:0:0:0,abc" << 0.0 << false << "";
    QTest::newRow("scale ON") << "0:1:1:0:0:0:0:0,on" << 1.0 << false << "";
    QTest::newRow("scale -ON") << "0:1:1:0:0:0:0:0,-On" << -1.0 << false << "";
    QTest::newRow("extra fields ignored") << "0:1:1:0:0:0:0:0,2,D-V3,junk,more" << 2.0 << true
                                          << "V3";
    QTest::newRow("name keeps its dashes") << "0:1:1:0:0:0:0:0,1,D-a-b" << 1.0 << true << "a-b";
    QTest::newRow("D- alone") << "0:1:1:0:0:0:0:0,1,D-" << 1.0 << true << "";
    QTest::newRow("name with blank") << "0:1:1:0:0:0:0:0,1,D-Pump 1 " << 1.0 << true
                                     << "Pump 1 ";
    QTest::newRow("31 characters kept") << "0:1:1:0:0:0:0:0,1,D-" + QString(31, u'n') << 1.0
                                        << true << QString(31, u'n');
    QTest::newRow("40 cut to 31") << "0:1:1:0:0:0:0:0,1,D-" + QString(31, u'a') + "bbbbbbbbb"
                                  << 1.0 << true << QString(31, u'a');
}

void TestPointAddress::optionalFields()
{
    QFETCH(QString, text);
    QFETCH(double, scale);
    QFETCH(bool, hasObject);
    QFETCH(QString, objectName);
    PointAddress address;
    QVERIFY(ParsePointAddress(text, address));
    QCOMPARE(address.Scale, scale);
    QCOMPARE(address.HasObject, hasObject);
    QCOMPARE(address.ObjectName, objectName);
    // Fields 9 and 10 never make a well-formed address fail verification.
    QCOMPARE(VerifyPointAddress(text), QString());
}

void TestPointAddress::recordResetBetweenParses()
{
    PointAddress address;
    QVERIFY(ParsePointAddress(QStringLiteral("1:5:2:3:4:5:6:7,10,D-X1"), address));
    QVERIFY(ParsePointAddress(QStringLiteral("0:1:1:0:0:0:0:0"), address));
    QCOMPARE(IntegerFields(address), (Fields{0, 1, 1, 0, 0, 0, 0, 0}));
    QCOMPARE(address.Scale, 0.0);
    QVERIFY(!address.HasObject);
    QVERIFY(address.ObjectName.isEmpty());

    QVERIFY(ParsePointAddress(QStringLiteral("1:5:2:3:4:5:6:7,10,D-X1"), address));
    QVERIFY(!ParsePointAddress(QStringLiteral("0:1:x:0:0:0:0:0,3,D-Y"), address));
    QVERIFY(!address.HasObject);
    QCOMPARE(address.Scale, 0.0);
}

void TestPointAddress::scaleUnderCommaLocale()
{
    QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
    PointAddress address;
    QVERIFY(ParsePointAddress(QStringLiteral("0:1:1:0:0:0:0:0,2.5"), address));
    QCOMPARE(address.Scale, 0.0);
    // "2,5" is cut at its comma by the field split; the decimal comma cannot appear.
    QVERIFY(ParsePointAddress(QStringLiteral("0:1:1:0:0:0:0:0,2,5,D-X"), address));
    QCOMPARE(address.Scale, 2.0);
    QVERIFY(!address.HasObject);
}

void TestPointAddress::scaleNumber_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("plain") << "C" << "10" << 10.0;
    QTest::newRow("blanks") << "C" << "  0.5 x" << 0.5;
    QTest::newRow("percent") << "C" << "25%" << 25.0;
    QTest::newRow("empty") << "C" << "" << 0.0;
    QTest::newRow("TRUE") << "C" << "true" << 1.0;
    QTest::newRow("OFF") << "C" << "off" << 0.0;
    QTest::newRow("de comma") << "de_DE" << "0,1" << 0.1;
    QTest::newRow("de point") << "de_DE" << "0.1" << 0.0;
}

void TestPointAddress::scaleNumber()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(double, expected);
    QLocale::setDefault(QLocale(locale));
    QCOMPARE(ScaleNumber(text), expected);
}

void TestPointAddress::valueKey_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("key");
    QTest::newRow("full") << "0:12:3:7:105:0:3:105,10,D-X1" << "0:12:3:7";
    QTest::newRow("as written") << "0:$0C:3:07:105:0:3:105" << "0:$0C:3:07";
    QTest::newRow("four fields") << "0:1:2:3" << "0:1:2:3";
    QTest::newRow("fewer") << "0:1" << "0:1";
    QTest::newRow("empty") << "" << "";
}

void TestPointAddress::valueKey()
{
    QFETCH(QString, address);
    QFETCH(QString, key);
    QCOMPARE(PointValueKey(address), key);
}

void TestPointAddress::verify_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");

    const QString domain = QStringLiteral("Domain# in field 1 must be 0 or 1.");
    const QString subnet = QStringLiteral("Subnet# in field 2 must be between 1 and 255.");
    const QString node = QStringLiteral("Node# in field 3 must be between 1 and 127.");
    const QString index = QStringLiteral("Variable Index in field 4 must be between 0 and 4095.");
    const QString snvt = QStringLiteral("SNVT Type in field 5 must be between 0 and 225 (0=custom).");
    const QString offset = QStringLiteral("Variable Offset in field 6 must be between 0 and 255.");
    const QString type = QStringLiteral("Variable Type in field 7 must be between 0 and 13.");
    const QString parameter = QStringLiteral("Parameter in field 8 must be between 0 and 225.");

    QTest::newRow("valid lowest") << "0:1:1:0:0:0:0:0" << "";
    QTest::newRow("valid highest") << "1:255:127:4095:225:255:13:225" << "";
    QTest::newRow("valid, catalogue type") << "0:1:1:0:153:0:3:153" << "";
    QTest::newRow("hex subnet") << "0:$0A:1:0:0:0:0:0" << "";
    QTest::newRow("domain -1") << "-1:1:1:0:0:0:0:0" << domain;
    QTest::newRow("domain 2") << "2:1:1:0:0:0:0:0" << domain;
    QTest::newRow("subnet 0") << "0:0:1:0:0:0:0:0" << subnet;
    QTest::newRow("subnet 256") << "0:256:1:0:0:0:0:0" << subnet;
    QTest::newRow("node 0") << "0:1:0:0:0:0:0:0" << node;
    QTest::newRow("node 128") << "0:1:128:0:0:0:0:0" << node;
    QTest::newRow("subnet 255 node 127") << "0:255:127:0:0:0:0:0" << "";
    QTest::newRow("index -1") << "0:1:1:-1:0:0:0:0" << index;
    QTest::newRow("index 4096") << "0:1:1:4096:0:0:0:0" << index;
    QTest::newRow("snvt -1") << "0:1:1:0:-1:0:0:0" << snvt;
    QTest::newRow("snvt 226") << "0:1:1:0:226:0:0:0" << snvt;
    QTest::newRow("offset -1") << "0:1:1:0:0:-1:0:0" << offset;
    QTest::newRow("offset 256") << "0:1:1:0:0:256:0:0" << offset;
    QTest::newRow("type -1") << "0:1:1:0:0:0:-1:0" << type;
    QTest::newRow("type 14") << "0:1:1:0:0:0:14:0" << type;
    QTest::newRow("parameter -1") << "0:1:1:0:0:0:0:-1" << parameter;
    QTest::newRow("parameter 226") << "0:1:1:0:0:0:0:226" << parameter;
    // Field 8's bound follows field 7: a bit field's mask, a text's length.
    const QString mask = QStringLiteral("Parameter in field 8 must be a bit mask between 1 and 255 for variable type 7.");
    const QString length = QStringLiteral("Parameter in field 8 must be a length between 1 and 255 for variable type 5.");
    QTest::newRow("mask 128") << "0:1:1:0:83:0:7:128" << "";
    QTest::newRow("mask 240") << "0:1:1:0:86:0:7:240" << "";
    QTest::newRow("mask 0") << "0:1:1:0:0:0:7:0" << mask;
    QTest::newRow("mask 256") << "0:1:1:0:0:0:7:256" << mask;
    QTest::newRow("text 31") << "0:1:1:0:36:0:5:31" << "";
    QTest::newRow("text 0") << "0:1:1:0:0:0:5:0" << length;
    QTest::newRow("text 256") << "0:1:1:0:0:0:5:256" << length;
    QTest::newRow("opaque 0") << "0:1:1:0:37:0:8:0"
                              << "Parameter in field 8 must be a length between 1 and 255 for variable type 8.";
    // Values that would pass after truncation to 8 or 16 bits still fail.
    QTest::newRow("subnet 257") << "0:257:1:0:0:0:0:0" << subnet;
    QTest::newRow("domain 2^32-1 overflow") << "$FFFFFFFF:1:1:0:0:0:0:0" << kInvalid;
    QTest::newRow("domain 65536") << "65536:1:1:0:0:0:0:0" << domain;
    // The first field out of bounds names the message.
    QTest::newRow("first of several") << "0:0:0:9999:999:999:99:999" << subnet;
    QTest::newRow("last of several") << "0:1:1:0:0:0:14:226" << type;
    QTest::newRow("bad scale passes") << "0:1:1:0:0:0:0:0,abc,D-" << "";
    QTest::newRow("malformed") << "0:1:1:0:0:0:0" << kInvalid;
}

void TestPointAddress::verify()
{
    QFETCH(QString, text);
    QFETCH(QString, message);
    QCOMPARE(VerifyPointAddress(text), message);
}

QTEST_GUILESS_MAIN(TestPointAddress)
#include "tst_pointaddress.moc"
