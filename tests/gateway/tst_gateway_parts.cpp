// The gateway's pieces without a bus or broker: the configuration file and its refusals,
// topic levels and their uniqueness, state payloads, what a set payload becomes, the Home
// Assistant mapping, and the program's answers to bad usage and a bad configuration.
#include "client/PointEntries.h"
#include "gateway/GatewayConfig.h"
#include "gateway/GatewayPoint.h"
#include "gateway/HomeAssistant.h"
#include "gateway/PointPayloads.h"
#include "gateway/TopicNames.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const char *const kMinimalSite = "\"sites\": [{\"description\": \"Plant\"}]";

TGatewayPoint Point(const QString &kind, bool writable, const QString &units = QString(), int type = 3,
                    int parameter = 105)
{
    TGatewayPoint point;
    point.Address = QStringLiteral("0:1:10:1:105:0:%1:%2").arg(type).arg(parameter);
    point.Name = QStringLiteral("nviSetpoint");
    point.Kind = kind;
    point.Writable = writable;
    point.Units = units;
    point.VariableType = type;
    point.Parameter = parameter;
    point.Device = QStringLiteral("0:1:10");
    point.Topic = QStringLiteral("nviSetpoint");
    return point;
}

} // namespace

class TestGatewayParts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // The driver's dates and numbers are in the host's formats: pin them.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void refusedConfigurations_data()
    {
        QTest::addColumn<QString>("json");
        QTest::addColumn<QString>("message");
        QTest::newRow("not JSON") << "{\n\"sites\": [\n,]}" << "line 3: not valid JSON";
        QTest::newRow("not an object") << "[]" << "one JSON object";
        QTest::newRow("misspelt key") << QString::fromUtf8("{\"brokr\": {}, %1}").arg(kMinimalSite) << "brokr: unknown setting";
        QTest::newRow("http url") << QString::fromUtf8("{\"broker\": {\"url\": \"http://h\"}, %1}").arg(kMinimalSite)
                                  << "broker.url: \"http://h\" is not a broker address";
        QTest::newRow("url with password") << QString::fromUtf8("{\"broker\": {\"url\": \"mqtt://u:p@h\"}, %1}").arg(kMinimalSite)
                                           << "broker.url:";
        QTest::newRow("missing password file") << QString::fromUtf8("{\"broker\": {\"user\": \"u\", \"passwordFile\": \"/nonexistent/pw\"}, %1}").arg(kMinimalSite)
                                               << "broker.passwordFile: cannot read \"/nonexistent/pw\"";
        QTest::newRow("CA without TLS") << QString::fromUtf8("{\"broker\": {\"caFile\": \"/etc/hostname\"}, %1}").arg(kMinimalSite)
                                        << "broker.caFile: is for mqtts:// brokers only";
        QTest::newRow("backoff upside down") << QString::fromUtf8("{\"broker\": {\"reconnectMinSeconds\": 5, \"reconnectMaxSeconds\": 1}, %1}").arg(kMinimalSite)
                                             << "broker.reconnectMaxSeconds: must not be below";
        QTest::newRow("no sites") << "{\"sites\": []}" << "sites: must list 1 to 32 sites";
        QTest::newRow("wildcard prefix") << QString::fromUtf8("{\"topicPrefix\": \"a/#\", %1}").arg(kMinimalSite) << "topicPrefix:";
        QTest::newRow("empty prefix level") << QString::fromUtf8("{\"topicPrefix\": \"a//b\", %1}").arg(kMinimalSite) << "topicPrefix:";
        QTest::newRow("site without description") << "{\"sites\": [{\"interface\": \"LON1\"}]}" << "sites[0].description: is required";
        QTest::newRow("site named gateway") << "{\"sites\": [{\"description\": \"gateway\"}]}" << "is taken by the gateways' own status topics";
        QTest::newRow("same topic twice") << "{\"sites\": [{\"description\": \"A b\"}, {\"description\": \"A/b\"}]}"
                                          << "sites[1]: its topic \"A_b\" is already another site's";
        QTest::newRow("same description in other case") << "{\"sites\": [{\"description\": \"Plant\"}, {\"description\": \"PLANT\", \"topic\": \"p2\"}]}"
                                                        << "sites[1].description: \"PLANT\" is listed twice";
        QTest::newRow("points neither list nor discover") << "{\"sites\": [{\"description\": \"P\", \"points\": \"all\"}]}"
                                                         << "sites[0].points: must be \"discover\" or a list";
        QTest::newRow("malformed address") << "{\"sites\": [{\"description\": \"P\", \"points\": [{\"address\": \"0:1:10:0:105:0:3:105\"}, {\"address\": \"0:1:10\"}]}]}"
                                           << "sites[0].points[1].address: \"0:1:10\" is not a point address";
        QTest::newRow("node out of range") << "{\"sites\": [{\"description\": \"P\", \"points\": [{\"address\": \"0:1:200:0:105:0:3:105\"}]}]}"
                                           << "sites[0].points[0].address: \"0:1:200:0:105:0:3:105\": Node# in field 3 must be between 1 and 127.";
        // Field 8 is bounded as POINTVERIFY bounds it: by the variable type of field 7.
        QTest::newRow("mask beyond a byte") << "{\"sites\": [{\"description\": \"P\", \"points\": [{\"address\": \"0:1:40:4:83:0:7:256\"}]}]}"
                                            << "Parameter in field 8 must be a bit mask between 1 and 255 for variable type 7.";
        QTest::newRow("parameter 226") << "{\"sites\": [{\"description\": \"P\", \"points\": [{\"address\": \"0:1:10:1:105:0:3:226\"}]}]}"
                                       << "Parameter in field 8 must be between 0 and 225.";
        QTest::newRow("address twice") << "{\"sites\": [{\"description\": \"P\", \"points\": [{\"address\": \"0:1:10:0:105:0:3:105\"}, {\"address\": \"0:1:10:0:105:0:3:105\"}]}]}"
                                       << "sites[0].points[1]: the address 0:1:10:0:105:0:3:105 is listed twice";
        QTest::newRow("bad kind") << "{\"sites\": [{\"description\": \"P\", \"points\": [{\"address\": \"0:1:10:0:105:0:3:105\", \"kind\": \"Float\"}]}]}"
                                  << "sites[0].points[0].kind: must be one of Analog, Digital, String, DateTime";
        QTest::newRow("writable as text") << "{\"sites\": [{\"description\": \"P\", \"points\": [{\"address\": \"0:1:10:0:105:0:3:105\", \"writable\": \"yes\"}]}]}"
                                          << "sites[0].points[0].writable: must be true or false";
        QTest::newRow("bad domain id") << "{\"sites\": [{\"description\": \"P\", \"domains\": [{\"id\": \"4C:1\"}]}]}"
                                       << "sites[0].domains[0].id: must be 1, 3 or 6 hex bytes";
        QTest::newRow("subnet without node") << "{\"sites\": [{\"description\": \"P\", \"domains\": [{\"subnet\": 3}]}]}"
                                             << "sites[0].domains[0]: subnet and node go together";
        QTest::newRow("filter not text") << "{\"sites\": [{\"description\": \"P\", \"include\": [3]}]}"
                                         << "sites[0].include[0]: must be a name pattern";
        QTest::newRow("description too long") << QString::fromUtf8("{\"sites\": [{\"description\": \"%1\"}]}").arg(QString(300, u'x'))
                                              << "sites[0].description: is longer than the driver's 255 characters";
        QTest::newRow("collect interval") << QString::fromUtf8("{\"collectSeconds\": 0, %1}").arg(kMinimalSite)
                                          << "collectSeconds: must be a number from 0.05 to 3600";
    }

    void refusedConfigurations()
    {
        QFETCH(QString, json);
        QFETCH(QString, message);
        TGatewayConfig config;
        QString problem;
        QVERIFY(!ReadGatewayConfig(json.toUtf8(), QStringLiteral("/tmp"), config, problem));
        QVERIFY2(problem.contains(message), qPrintable(problem));
    }

    void acceptedConfiguration()
    {
        QTemporaryDir dir;
        QFile password(dir.filePath(QStringLiteral("password")));
        QVERIFY(password.open(QIODevice::WriteOnly));
        password.write("s3cret\nignored second line\n");
        password.close();
        const QByteArray json = "{\n"
        "          \"broker\": {\"url\": \"mqtts://broker.example:8884\", \"clientId\": \"Gw 1\", \"user\": \"lon\",\n"
        "                     \"passwordFile\": \"password\", \"keepAliveSeconds\": 20},\n"
        "          \"topicPrefix\": \"site-2/lonworks\",\n"
        "          \"homeAssistant\": {\"discoveryPrefix\": \"ha\"},\n"
        "          \"sites\": [\n"
        "            {\"description\": \"Plant Room\", \"interface\": \"LON2\", \"fahrenheit\": true,\n"
        "             \"domains\": [{\"id\": \"12:34:56\", \"subnet\": 3, \"node\": 7}],\n"
        "             \"points\": [{\"address\": \"0:1:10:0:105:0:3:105\", \"name\": \"Temp\", \"scale\": 10, \"object\": \"V1\"},\n"
        "                        {\"address\": \"0:1:10:1:105:0:3:105\"}]},\n"
        "            {\"description\": \"Meters\", \"points\": \"discover\", \"include\": \"nvo*\", \"exclude\": [\"*.Bit*\"]}\n"
        "          ]}";
        TGatewayConfig config;
        QString problem;
        QVERIFY2(ReadGatewayConfig(json, dir.path(), config, problem), qPrintable(problem));
        QVERIFY(config.Broker.Tls);
        QCOMPARE(config.Broker.Host, QStringLiteral("broker.example"));
        QCOMPARE(config.Broker.Port, 8884);
        QCOMPARE(config.Broker.Password, QByteArray("s3cret"));
        QCOMPARE(config.GatewayId, QStringLiteral("Gw_1"));
        QCOMPARE(config.Broker.WillTopic, QStringLiteral("site-2/lonworks/gateway/Gw_1/status"));
        QCOMPARE(config.DiscoveryPrefix, QStringLiteral("ha"));
        QCOMPARE(config.Sites.size(), 2);
        const TSiteConfig &plant = config.Sites.at(0);
        QCOMPARE(plant.Topic, QStringLiteral("Plant_Room"));
        QCOMPARE(plant.Settings.ConnectRequest(),
                 (QStringList{"DESCRIPTION=Plant Room", "SP1=LON2", "BP1=TRUE", "SP2=12:34:56", "FP1=3", "IP1=7"}));
        QVERIFY(!plant.Discover);
        QCOMPARE(plant.Points.at(0).Address, QStringLiteral("0:1:10:0:105:0:3:105,10,D-V1"));
        QCOMPARE(plant.Points.at(1).Name, QStringLiteral("0:1:10:1:105:0:3:105"));
        const TSiteConfig &meters = config.Sites.at(1);
        QVERIFY(meters.Discover);
        QVERIFY(meters.Include.at(0).match(QStringLiteral("NVOENERGY")).hasMatch());
        QVERIFY(meters.Exclude.at(0).match(QStringLiteral("nvoLampState.Bit3")).hasMatch());
        QVERIFY(!meters.Exclude.at(0).match(QStringLiteral("nvoLampState.AllBits")).hasMatch());
    }

    void topicLevel_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("level");
        QTest::newRow("plain") << "nvoSpaceTemp" << "nvoSpaceTemp";
        QTest::newRow("array") << "nvoZoneTemp[0]" << "nvoZoneTemp_0";
        QTest::newRow("field") << "nvoPumpSwitch[1].State" << "nvoPumpSwitch_1_.State";
        QTest::newRow("wildcards and slash") << "a/b+c#d" << "a_b_c_d";
        QTest::newRow("blanks") << "  Space temperature  " << "Space_temperature";
        QTest::newRow("non-ASCII letters kept") << "Büro 2" << "Büro_2";
        QTest::newRow("nothing left") << "{}[]" << "";
    }

    void topicLevel()
    {
        QFETCH(QString, name);
        QFETCH(QString, level);
        QCOMPARE(TopicLevel(name), level);
        QVERIFY(!IdText(name).contains(u'.'));
    }

    void uniqueTopicLevels()
    {
        const QList<TNamedPoint> points{
            {QStringLiteral("nvoSpaceTemp"), QStringLiteral("0:1:10"), QStringLiteral("0:1:10:0:105:0:3:105")},
            {QStringLiteral("nvoSpaceTemp"), QStringLiteral("0:1:11"), QStringLiteral("0:1:11:0:105:0:3:105")},
            {QStringLiteral("a b"), QStringLiteral("0:1:12"), QStringLiteral("0:1:12:0:0:0:0:0")},
            {QStringLiteral("a/b"), QStringLiteral("0:1:12"), QStringLiteral("0:1:12:1:0:0:0:0")},
            {QStringLiteral("a_b_0-1-12_2"), QStringLiteral("0:1:13"), QStringLiteral("0:1:13:1:0:0:0:0")},
            {QStringLiteral("[]"), QStringLiteral("0:1:14"), QStringLiteral("0:1:14:2:0:0:0:0")},
        };
        const QStringList levels = UniqueTopicLevels(points);
        QCOMPARE(levels, (QStringList{"nvoSpaceTemp_0-1-10", "nvoSpaceTemp_0-1-11", "a_b_0-1-12",
                                      "a_b_0-1-12_3", "a_b_0-1-12_2", "0_1_14_2_0_0_0_0"}));
        // The same list gives the same levels (a restart keeps every topic).
        QCOMPARE(UniqueTopicLevels(points), levels);
    }

    void statePayload_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("payload");
        QTest::newRow("analog decimals") << "Analog" << 3 << "21.5000" << QByteArray("21.5");
        QTest::newRow("analog whole") << "Analog" << 3 << "1200.0000" << QByteArray("1200");
        QTest::newRow("analog negative") << "Analog" << 3 << "-0.2500" << QByteArray("-0.25");
        QTest::newRow("analog zero") << "Analog" << 3 << "-0.0000" << QByteArray("0");
        QTest::newRow("analog not a number kept") << "Analog" << 3 << "NaN" << QByteArray("NaN");
        QTest::newRow("digital one") << "Digital" << 3 << "1.0000" << QByteArray("ON");
        QTest::newRow("digital written on") << "Digital" << 3 << "TRUE" << QByteArray("ON");
        QTest::newRow("digital zero") << "Digital" << 3 << "0" << QByteArray("OFF");
        QTest::newRow("digital false") << "Digital" << 3 << "FALSE" << QByteArray("OFF");
        QTest::newRow("string") << "String" << 5 << "AHU 1" << QByteArray("AHU 1");
        // An empty retained message would delete the retained state.
        QTest::newRow("string empty") << "String" << 5 << "" << QByteArray("None");
        QTest::newRow("analog empty") << "Analog" << 3 << "" << QByteArray("None");
        QTest::newRow("date and time") << "DateTime" << 11 << "3/15/24 12:30:45 PM" << QByteArray("2024-03-15T12:30:45Z");
        QTest::newRow("date and time at midnight") << "DateTime" << 11 << "3/15/24" << QByteArray("2024-03-15T00:00:00Z");
        QTest::newRow("date") << "DateTime" << 9 << "45366.00000000" << QByteArray("2024-03-15");
        QTest::newRow("time of day") << "DateTime" << 10 << "0.52135417" << QByteArray("12:30:45");
        QTest::newRow("unreadable date kept") << "DateTime" << 11 << "someday" << QByteArray("someday");
    }

    void statePayload()
    {
        QFETCH(QString, kind);
        QFETCH(int, type);
        QFETCH(QString, value);
        QFETCH(QByteArray, payload);
        TGatewayPoint point = Point(kind, false, QString(), type, 0);
        point.Value = value;
        point.HasValue = true;
        QCOMPARE(StatePayload(point), payload);
    }

    void setPayload_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("value");     // empty: refused
        QTest::addColumn<QString>("refusal");
        QTest::newRow("number") << "Analog" << true << QByteArray("22.5") << "22.5" << "";
        QTest::newRow("number with blanks") << "Analog" << true << QByteArray(" -3 ") << "-3" << "";
        QTest::newRow("exponent") << "Analog" << true << QByteArray("2.5e1") << "25" << "";
        QTest::newRow("word") << "Analog" << true << QByteArray("warm") << "" << "is not a number";
        QTest::newRow("number with units") << "Analog" << true << QByteArray("12 degF") << "" << "is not a number";
        QTest::newRow("infinity") << "Analog" << true << QByteArray("inf") << "" << "is not a number";
        QTest::newRow("read-only") << "Analog" << false << QByteArray("20") << "" << "is read-only";
        QTest::newRow("braces") << "String" << true << QByteArray("a}b") << "" << "braces";
        QTest::newRow("too long") << "String" << true << QByteArray(300, 'x') << "" << "longer than 256 bytes";
        QTest::newRow("switch on") << "Digital" << true << QByteArray("ON") << "ON" << "";
        QTest::newRow("switch true") << "Digital" << true << QByteArray("true") << "ON" << "";
        QTest::newRow("switch zero") << "Digital" << true << QByteArray("0") << "OFF" << "";
        QTest::newRow("switch word") << "Digital" << true << QByteArray("MONDAY") << "" << "is not ON or OFF";
        QTest::newRow("text") << "String" << true << QByteArray("Hall") << "Hall" << "";
        QTest::newRow("empty text") << "String" << true << QByteArray("") << "" << "is empty";
        // What the field cannot hold is refused here, with the encoder's reason.
        QTest::newRow("beyond its type") << "Analog" << true << QByteArray("-300") << ""
                                         << QStringLiteral("Value out of range for SNVT_temp_p: -273.17 to 327.66 °C.");
        QTest::newRow("highest") << "Analog" << true << QByteArray("327.66") << "327.66" << "";
        QTest::newRow("text too long") << "String" << true << QByteArray(31, 'x') << ""
                                       << "this field holds at most 30";
        QTest::newRow("no Windows-1252 byte") << "String" << true << QByteArray("5 \xCE\xA9") << "" << "U+03A9";
        QTest::newRow("invalid UTF-8") << "String" << true << QByteArray("ab\xff\xfe" "cd") << ""
                                       << "not valid UTF-8";
        QTest::newRow("ISO date and time") << "DateTime" << true << QByteArray("2024-03-15T12:30:45Z")
                                           << "3/15/24 12:30:45 PM" << "";
        QTest::newRow("no date") << "DateTime" << true << QByteArray("soon") << "" << "is no date";
    }

    void setPayload()
    {
        QFETCH(QString, kind);
        QFETCH(bool, writable);
        QFETCH(QByteArray, payload);
        QFETCH(QString, value);
        QFETCH(QString, refusal);
        QString written;
        QString why;
        const TGatewayPoint point = kind == QLatin1String("String") ? Point(kind, writable, QString(), 5, 31)
            : kind == QLatin1String("DateTime")                     ? Point(kind, writable, QString(), 11, 0)
                                                                    : Point(kind, writable);
        const bool accepted = WriteValueFor(point, payload, written, why);
        QCOMPARE(accepted, !value.isEmpty());
        if (accepted)
            QCOMPARE(written, value);
        else
            QVERIFY2(why.contains(refusal) && why.contains(QStringLiteral("nothing was written"), Qt::CaseInsensitive),
                     qPrintable(why));
    }

    void homeAssistantUnits_data()
    {
        QTest::addColumn<QString>("units");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("deviceClass");
        QTest::newRow("celsius") << "°C" << "°C" << "temperature";
        QTest::newRow("fahrenheit") << "°F" << "°F" << "temperature";
        QTest::newRow("watts") << "watts" << "W" << "power";
        QTest::newRow("kilowatt hours") << "kWH" << "kWh" << "energy";
        QTest::newRow("pascals") << "pascals" << "Pa" << "pressure";
        QTest::newRow("ppm") << "ppm" << "ppm" << "carbon_dioxide";
        QTest::newRow("percent is no humidity") << "%" << "%" << "";
        QTest::newRow("trailing blank") << "ml/sec " << "ml/sec" << "";
        QTest::newRow("switch units") << "Off/On" << "" << "";
        QTest::newRow("none") << "" << "" << "";
    }

    void homeAssistantUnits()
    {
        QFETCH(QString, units);
        QFETCH(QString, unit);
        QFETCH(QString, deviceClass);
        const THaUnits mapped = HaUnitsFor(units);
        QCOMPARE(mapped.Unit, unit);
        QCOMPARE(mapped.DeviceClass, deviceClass);
    }

    void homeAssistantComponents_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<QString>("component");
        QTest::addColumn<QStringList>("keys");
        QTest::newRow("sensor") << "Analog" << false << "sensor" << QStringList{"unit_of_measurement", "device_class", "state_class"};
        QTest::newRow("number") << "Analog" << true << "number" << QStringList{"command_topic", "min", "max", "step"};
        QTest::newRow("binary_sensor") << "Digital" << false << "binary_sensor" << QStringList{"payload_on", "payload_off"};
        QTest::newRow("switch") << "Digital" << true << "switch" << QStringList{"command_topic", "payload_on", "state_off"};
        QTest::newRow("string sensor") << "String" << false << "sensor" << QStringList{};
        QTest::newRow("text") << "String" << true << "text" << QStringList{"command_topic"};
    }

    void homeAssistantComponents()
    {
        QFETCH(QString, kind);
        QFETCH(bool, writable);
        QFETCH(QString, component);
        QFETCH(QStringList, keys);
        const TTopicLayout layout{QStringLiteral("lonworks"), QStringLiteral("gw1"), QStringLiteral("homeassistant")};
        const TGatewayPoint point = Point(kind, writable, QStringLiteral("°C"));
        const TDiscoveryMessage message = PointDiscovery(layout, QStringLiteral("Plant"), QStringLiteral("Plant"), point);
        QCOMPARE(message.Topic, QStringLiteral("homeassistant/%1/gw1/Plant_nviSetpoint/config").arg(component));
        const QJsonObject config = QJsonDocument::fromJson(message.Payload).object();
        for (const QString &key : keys + QStringList{"name", "unique_id", "state_topic", "device", "availability"})
            QVERIFY2(config.contains(key), qPrintable(key));
        QCOMPARE(config.value(QStringLiteral("state_topic")).toString(), QStringLiteral("lonworks/Plant/nviSetpoint/state"));
        // Today's key for the entity id; object_id is no longer read by Home Assistant.
        QVERIFY(!config.contains(QStringLiteral("object_id")));
        QCOMPARE(config.value(QStringLiteral("default_entity_id")).toString(), component + QStringLiteral(".plant_nvisetpoint"));
        QCOMPARE(config.value(QStringLiteral("command_topic")).toString(),
                 writable ? QStringLiteral("lonworks/Plant/nviSetpoint/set") : QString());
        QCOMPARE(config.value(QStringLiteral("device")).toObject().value(QStringLiteral("identifiers")).toArray().at(0).toString(),
                 QStringLiteral("lonworks_gw1_Plant_0_1_10"));
        if (component == QLatin1String("number")) {
            // The °C setpoint's field after its scaling, not its raw 16 bits.
            // The type's own range (327.67 °C means "no data"), within the field's.
            QCOMPARE(config.value(QStringLiteral("min")).toDouble(), -273.17);
            QCOMPARE(config.value(QStringLiteral("max")).toDouble(), 327.66);
            QCOMPARE(config.value(QStringLiteral("step")).toDouble(), 0.01);
        }
    }

    // A writable enumeration of the catalogue is a select of its members' names, which is
    // what the driver writes and reads; its value and what Home Assistant sends are a name.
    void homeAssistantEnumerations_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("parameter");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<QString>("component");
        QTest::addColumn<QStringList>("options");
        QTest::newRow("type") << 0 << 171 << true << "select"
                              << QStringList{"FD_NUL", "FD_NONE", "FD_OUT", "FD_IN", "FD_ANY"};
        QTest::newRow("read-only") << 0 << 171 << false << "sensor" << QStringList{};
        QTest::newRow("field of a structure") << 0 << 127 << true << "select"
                                              << QStringList{"CHLR_NUL", "CHLR_OFF", "CHLR_START", "CHLR_RUN",
                                                             "CHLR_PRESHUTDN", "CHLR_SERVICE"};
        QTest::newRow("up to 122: numbers") << 0 << 108 << true << "text" << QStringList{};
    }
    void homeAssistantEnumerations()
    {
        QFETCH(int, offset);
        QFETCH(int, parameter);
        QFETCH(bool, writable);
        QFETCH(QString, component);
        QFETCH(QStringList, options);
        TGatewayPoint point = Point(QStringLiteral("String"), writable, QString(), 12, parameter);
        point.VariableOffset = offset;
        const TTopicLayout layout{QStringLiteral("lonworks"), QStringLiteral("gw1"), QStringLiteral("homeassistant")};
        const TDiscoveryMessage message = PointDiscovery(layout, QStringLiteral("Plant"), QStringLiteral("Plant"), point);
        QCOMPARE(message.Topic, QStringLiteral("homeassistant/%1/gw1/Plant_nviSetpoint/config").arg(component));
        const QJsonObject config = QJsonDocument::fromJson(message.Payload).object();
        QStringList shown;
        for (const QJsonValue &option : config.value(QStringLiteral("options")).toArray())
            shown.append(option.toString());
        QCOMPARE(shown, options);
        if (!writable)
            return;
        QString value;
        QString refusal;
        QVERIFY2(WriteValueFor(point, options.value(1, QStringLiteral("1")).toUtf8(), value, refusal),
                 qPrintable(refusal));
    }

    void configuredPointDescribedByCatalogue()
    {
        TConfiguredPoint configured;
        configured.Address = QStringLiteral("0:1:10:2:106:6:3:105");
        configured.Name = QStringLiteral("Heat");
        TGatewayPoint point = PointFromConfig(configured, true);
        QCOMPARE(point.Units, QStringLiteral("°F"));
        QCOMPARE(point.Kind, QStringLiteral("Analog"));
        QCOMPARE(point.Device, QStringLiteral("0:1:10"));
        QVERIFY(!point.Writable);
        configured.Address = QStringLiteral("0:1:10:6:95:0:2:95");
        QCOMPARE(PointFromConfig(configured, false).Kind, QStringLiteral("Digital"));
        configured.Address = QStringLiteral("0:1:40:4:83:0:7:16");
        QCOMPARE(PointFromConfig(configured, false).Kind, QStringLiteral("Digital"));
        configured.Address = QStringLiteral("0:1:20:10:88:0:5:6");
        QCOMPARE(PointFromConfig(configured, false).Kind, QStringLiteral("String"));
        // A field's kind is the catalogue's, as discovery lists it, not its byte's code.
        configured.Address = QStringLiteral("0:1:10:6:95:1:0:0");      // nviLampSwitch.State
        QCOMPARE(PointFromConfig(configured, false).Kind, QStringLiteral("Digital"));
        configured.Address = QStringLiteral("0:1:10:3:112:11:0:0");    // nvoUnitStatus.InAlarm
        QCOMPARE(PointFromConfig(configured, false).Kind, QStringLiteral("Digital"));
        configured.Address = QStringLiteral("0:1:10:3:112:1:3:81");    // nvoUnitStatus.HeatOutputPrimary
        QCOMPARE(PointFromConfig(configured, false).Kind, QStringLiteral("Analog"));
        configured.Address = QStringLiteral("0:1:10:6:0:1:0:0");       // no catalogue type: the code says
        QCOMPARE(PointFromConfig(configured, false).Kind, QStringLiteral("Analog"));
        // A scaled value has no catalogue units.
        configured.Address = QStringLiteral("0:1:10:0:105:0:3:105,10");
        QCOMPARE(PointFromConfig(configured, false).Units, QString());
    }

    void programRefusesBadInput_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("config");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing file") << QStringList{"--config", "/nonexistent/gateway.json"} << "" << 64
                                      << "/nonexistent/gateway.json: cannot read the configuration";
        QTest::newRow("bad item") << QStringList{"--check"} << "{\"sites\": [{\"description\": \"P\", \"points\": [{\"address\": \"1:2\"}]}]}"
                                  << 64 << "sites[0].points[0].address";
        QTest::newRow("unknown option") << QStringList{"--bogus"} << "" << 64 << "Unknown option 'bogus'";
        QTest::newRow("stray argument") << QStringList{"extra"} << "" << 64 << "unexpected argument \"extra\"";
        QTest::newRow("timeout without once") << QStringList{"--once-timeout", "5"} << "" << 64 << "--once-timeout goes with --once";
        // The sample that README and the package offer is a valid start.
        QTest::newRow("sample") << QStringList{"--check", "--config", LW_GATEWAY_SAMPLE} << "" << 0
                                << "Site \"Plant\" on LON1 -> lonworks/Plant/: 4 listed points";
        QTest::newRow("check") << QStringList{"--check"} << QString::fromUtf8("{\"broker\": {\"user\": \"u\", \"passwordFile\": \"pw\"}, %1}").arg(kMinimalSite)
                               << 0 << "Site \"Plant\" on LON1 -> lonworks/Plant/";
    }

    void programRefusesBadInput()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, config);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QFile password(dir.filePath(QStringLiteral("pw")));
        QVERIFY(password.open(QIODevice::WriteOnly));
        password.write("topsecret\n");
        password.close();
        if (!config.isEmpty()) {
            QFile file(dir.filePath(QStringLiteral("gateway.json")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(config.toUtf8());
            arguments << QStringLiteral("--config") << file.fileName();
        }
        QProcess gateway;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        gateway.setProcessEnvironment(environment);
        gateway.start(QCoreApplication::applicationDirPath() + QStringLiteral("/lonworks-gateway"), arguments);
        QVERIFY(gateway.waitForFinished(30000));
        const QString output = QString::fromUtf8(gateway.readAllStandardOutput() + gateway.readAllStandardError());
        QCOMPARE(gateway.exitCode(), exitCode);
        QVERIFY2(output.contains(message), qPrintable(output));
        QVERIFY2(!output.contains(QStringLiteral("topsecret")), "the password was printed");
    }
};

QTEST_GUILESS_MAIN(TestGatewayParts)
#include "tst_gateway_parts.moc"
