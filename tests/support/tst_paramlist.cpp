// Reading named values out of parameter lists and building answer entries.
#include "support/ParamList.h"

#include <QLocale>
#include <QTest>
#include <QVariantMap>

class TestParamList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QLocale::setDefault(QLocale::c()); }
    void cleanupTestCase() { QLocale::setDefault(QLocale::c()); }

    void findParam_data();
    void findParam();
    void indexFindsWhatFindParamFinds_data() { findParam_data(); }
    void indexFindsWhatFindParamFinds();
    void unconvertibleElements_data();
    void unconvertibleElements();
    void paramAsInteger_data();
    void paramAsInteger();
    void paramAsBoolean_data();
    void paramAsBoolean();
    void paramAsFloat_data();
    void paramAsFloat();
    void builders();
};

void TestParamList::findParam_data()
{
    QTest::addColumn<QVariant>("params");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("value");

    const QStringList commands{"COMMAND=GETDATA", "COMMAND=SENDDATA"};
    QTest::newRow("first match wins") << QVariant(commands) << "COMMAND" << true << "GETDATA";
    QTest::newRow("single string, = in value")
        << QVariant(QStringLiteral("DESCRIPTION=Plant A=North")) << "DESCRIPTION" << true
        << "Plant A=North";
    QTest::newRow("lower-case entry") << QVariant(QStringList{"name=x"}) << "NAME" << false << "";
    QTest::newRow("lower-case key") << QVariant(QStringList{"NAME=x"}) << "name" << false << "";
    QTest::newRow("prefix of longer name") << QVariant(QStringList{"SP10=5"}) << "SP1" << false
                                           << "";
    QTest::newRow("longer name then exact") << QVariant(QStringList{"SP10=5", "SP1=LON2"})
                                            << "SP1" << true << "LON2";
    QTest::newRow("empty value") << QVariant(QStringList{"SP1="}) << "SP1" << true << "";
    QTest::newRow("leading blank") << QVariant(QStringList{" SP1=x"}) << "SP1" << false << "";
    QTest::newRow("blanks kept") << QVariant(QStringList{"SP1= x "}) << "SP1" << true << " x ";
    QTest::newRow("name only") << QVariant(QStringList{"SP1"}) << "SP1" << false << "";
    QTest::newRow("name inside entry") << QVariant(QStringList{"XSP1=1"}) << "SP1" << false << "";
    QTest::newRow("empty string list") << QVariant(QStringList{}) << "SP1" << false << "";
    QTest::newRow("empty variant list") << QVariant(QVariantList{}) << "SP1" << false << "";
    QTest::newRow("empty variant") << QVariant() << "SP1" << false << "";
    QTest::newRow("variant list of strings")
        << QVariant(QVariantList{QStringLiteral("A=1"), QStringLiteral("B=2")}) << "B" << true
        << "2";
    QTest::newRow("numbers before the match")
        << QVariant(QVariantList{42, 1.5, true, QStringLiteral("IP1=7")}) << "IP1" << true << "7";
    QTest::newRow("number never matches") << QVariant(QVariantList{12}) << "12" << false << "";
    QTest::newRow("single number") << QVariant(5) << "5" << false << "";
    // The match stops the walk: an unreadable element after it is never looked at.
    QTest::newRow("match before bad element")
        << QVariant(QVariantList{QStringLiteral("A=1"), QVariant(QVariantList{})}) << "A" << true
        << "1";
}

void TestParamList::findParam()
{
    QFETCH(QVariant, params);
    QFETCH(QString, name);
    QFETCH(bool, found);
    QFETCH(QString, value);
    QString out = QStringLiteral("stale");
    QCOMPARE(FindParam(params, name, out), found);
    QCOMPARE(out, value);
}

void TestParamList::indexFindsWhatFindParamFinds()
{
    QFETCH(QVariant, params);
    QFETCH(QString, name);
    QFETCH(bool, found);
    QFETCH(QString, value);
    const TParamIndex index(params);
    QString out = QStringLiteral("stale");
    QCOMPARE(index.Find(name, out), found);
    QCOMPARE(out, value);
}

void TestParamList::unconvertibleElements_data()
{
    QTest::addColumn<QVariant>("params");
    QTest::newRow("nested list")
        << QVariant(QVariantList{QVariant(QStringList{"A=1"}), QStringLiteral("B=2")});
    QTest::newRow("map element") << QVariant(QVariantList{QVariantMap{{"A", 1}}});
    QTest::newRow("invalid element") << QVariant(QVariantList{QVariant(), QStringLiteral("B=2")});
    QTest::newRow("map list") << QVariant(QVariantMap{{"B", 2}});
}

void TestParamList::unconvertibleElements()
{
    QFETCH(QVariant, params);
    QString value;
    QVERIFY_THROWS_EXCEPTION(ParamListError, FindParam(params, QStringLiteral("B"), value));
    // The index fails where FindParam fails: for a name not found before the element.
    const TParamIndex index(params);
    QVERIFY_THROWS_EXCEPTION(ParamListError, index.Find(QStringLiteral("NONE"), value));

    // The typed readers never let it out.
    qint32 integer = 9;
    bool flag = true;
    double number = 9.0;
    QVERIFY(!ParamAsInteger(params, QStringLiteral("B"), integer));
    QVERIFY(!ParamAsBoolean(params, QStringLiteral("B"), flag));
    QVERIFY(!ParamAsFloat(params, QStringLiteral("B"), number));
    QCOMPARE(integer, 0);
    QCOMPARE(flag, false);
    QCOMPARE(number, 0.0);
}

void TestParamList::paramAsInteger_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");
    QTest::newRow("decimal") << "IP1=12" << true << 12;
    QTest::newRow("trailing blank") << "IP1=12 " << false << 0;
    QTest::newRow("leading blank") << "IP1= 12" << true << 12;
    QTest::newRow("dollar hex") << "IP1=$1F" << true << 31;
    QTest::newRow("0x hex") << "IP1=0xff" << true << 255;
    QTest::newRow("negative") << "IP1=-3" << true << -3;
    QTest::newRow("empty") << "IP1=" << false << 0;
    QTest::newRow("fraction") << "IP1=1.5" << false << 0;
    QTest::newRow("overflow") << "IP1=4294967296" << false << 0;
    QTest::newRow("missing") << "IP2=5" << false << 0;
    QTest::newRow("word") << "IP1=five" << false << 0;
}

void TestParamList::paramAsInteger()
{
    QFETCH(QString, entry);
    QFETCH(bool, ok);
    QFETCH(int, value);
    qint32 out = 77;
    QCOMPARE(ParamAsInteger(QVariant(QStringList{entry}), QStringLiteral("IP1"), out), ok);
    QCOMPARE(out, value);
}

void TestParamList::paramAsBoolean_data()
{
    QTest::addColumn<QVariant>("params");
    QTest::addColumn<bool>("found");
    QTest::addColumn<bool>("value");
    QTest::newRow("TRUE") << QVariant(QStringList{"OFFLINE=TRUE"}) << true << true;
    QTest::newRow("true") << QVariant(QStringList{"OFFLINE=true"}) << true << false;
    QTest::newRow("True") << QVariant(QStringList{"OFFLINE=True"}) << true << false;
    QTest::newRow("1") << QVariant(QStringList{"OFFLINE=1"}) << true << false;
    QTest::newRow("ON") << QVariant(QStringList{"OFFLINE=ON"}) << true << false;
    QTest::newRow("blank TRUE") << QVariant(QStringList{"OFFLINE= TRUE"}) << true << false;
    QTest::newRow("empty") << QVariant(QStringList{"OFFLINE="}) << true << false;
    QTest::newRow("absent") << QVariant(QStringList{"DESCRIPTION=x"}) << false << false;
    QTest::newRow("single string") << QVariant(QStringLiteral("OFFLINE=TRUE")) << true << true;
}

void TestParamList::paramAsBoolean()
{
    QFETCH(QVariant, params);
    QFETCH(bool, found);
    QFETCH(bool, value);
    bool out = !value;
    QCOMPARE(ParamAsBoolean(params, QStringLiteral("OFFLINE"), out), found);
    QCOMPARE(out, value);
}

void TestParamList::paramAsFloat_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QVariant>("params");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");
    QTest::newRow("comma, C") << "C" << QVariant(QStringList{"FP1=1,5"}) << false << 0.0;
    QTest::newRow("comma, de") << "de_DE" << QVariant(QStringList{"FP1=1,5"}) << true << 1.5;
    QTest::newRow("point, de") << "de_DE" << QVariant(QStringList{"FP1=1.5"}) << false << 0.0;
    QTest::newRow("point, en") << "en_US" << QVariant(QStringList{"FP1=1.5"}) << true << 1.5;
    QTest::newRow("blanks around") << "C" << QVariant(QStringList{"FP1= -2.5 "}) << true << -2.5;
    QTest::newRow("exponent") << "C" << QVariant(QStringList{"FP1=1e2"}) << true << 100.0;
    QTest::newRow("empty") << "C" << QVariant(QStringList{"FP1="}) << false << 0.0;
    QTest::newRow("absent") << "C" << QVariant(QStringList{"FP2=1"}) << false << 0.0;
}

void TestParamList::paramAsFloat()
{
    QFETCH(QString, locale);
    QFETCH(QVariant, params);
    QFETCH(bool, ok);
    QFETCH(double, value);
    QLocale::setDefault(QLocale(locale));
    double out = 9.0;
    QCOMPARE(ParamAsFloat(params, QStringLiteral("FP1"), out), ok);
    QCOMPARE(out, value);
}

void TestParamList::builders()
{
    QCOMPARE(BoolParam(QStringLiteral("COMMANDSTATUS"), true), QStringLiteral("COMMANDSTATUS=TRUE"));
    QCOMPARE(BoolParam(QStringLiteral("COMMANDSTATUS"), false),
             QStringLiteral("COMMANDSTATUS=FALSE"));
    QCOMPARE(StrParam(QStringLiteral("COMMANDERROR"), QString()), QStringLiteral("COMMANDERROR="));
    QCOMPARE(StrParam(QStringLiteral("A"), QStringLiteral("b=c d")), QStringLiteral("A=b=c d"));

    // What the builders write, the reader finds again.
    const QVariant list(QStringList{StrParam(QStringLiteral("X"), QStringLiteral(" =v")),
                                    BoolParam(QStringLiteral("Y"), true)});
    QString value;
    QVERIFY(FindParam(list, QStringLiteral("X"), value));
    QCOMPARE(value, QStringLiteral(" =v"));
    bool flag = false;
    QVERIFY(ParamAsBoolean(list, QStringLiteral("Y"), flag));
    QVERIFY(flag);
}

QTEST_GUILESS_MAIN(TestParamList)
#include "tst_paramlist.moc"
