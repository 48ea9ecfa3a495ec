// Every site command of lonctl against the real driver on the built-in network LON1:
// status, time, verify, lock and unlock, discover, read, write, watch, disabled and file,
// with their table and JSON output, and the failures the driver reports; and the standard
// types above 122 on a small network of their own (tests/fixtures/networks/types.json).
#include "DriverClient.h"
#include "DriverProcess.h"
#include "LonctlRun.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

// Addresses on LON1: RoomController (domain 0, 1/10), AirHandler (0, 1/20), LightingController
// (0, 1/40) and PlantController (domain 1, 3/5).
const QString kSetpoint = QStringLiteral("0:1:10:1:105:0:3:105");
const QString kAirFlow = QStringLiteral("0:1:20:5:15:0:2:15");
const QString kSilent = QStringLiteral("0:1:99:1:105:0:3:105");

QStringList Site(const QString &description, QStringList arguments)
{
    return arguments << QStringLiteral("--site") << description;
}

QJsonDocument Json(const QString &text)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError)
        qWarning("not JSON: %s", qPrintable(text));
    return document;
}

// Reads stdout of a running lonctl until a line containing `text` came, or the time is up.
bool WaitForOutput(QProcess &process, const QString &text, QString &seen, int ms = 60000)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        seen += QString::fromUtf8(process.readAllStandardOutput());
        if (seen.contains(text))
            return true;
        if (process.state() == QProcess::NotRunning)
            return false;
        process.waitForReadyRead(100);
    }
    return false;
}

} // namespace

class TestLonctlSite : public QObject
{
    Q_OBJECT

private:
    TDriverProcess FDriver;

    static void ExpectSuccess(const TLonctlResult &result)
    {
        QVERIFY2(result.Finished, "lonctl hung or crashed");
        QVERIFY2(result.ExitCode == 0, qPrintable(QStringLiteral("exit %1: %2").arg(result.ExitCode).arg(result.Err)));
    }

    static void ExpectFailure(const TLonctlResult &result, int exitCode, const QString &message)
    {
        QVERIFY2(result.Finished, "lonctl hung or crashed");
        QCOMPARE(result.ExitCode, exitCode);
        QVERIFY2(result.Err.contains(message), qPrintable(result.Err));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(FDriver.Start(), "lonworks-driver did not start");
    }

    void status()
    {
        const TLonctlResult result = RunLonctl(Site("Plant", {"status"}));
        ExpectSuccess(result);
        QVERIFY(result.Out.startsWith(QStringLiteral("Site: Plant\n\nDate: ")));
        for (const char *line : {"\nLON Device Name: LON1", "\nNeuron ID: 05 00 00 4C 10 01 \n",
                                 "\nID String: 80 00 01 28 00 00 00 00 \n", "\nDomain 1 ID: [12 34 56 ]\n"})
            QVERIFY2(result.Out.contains(QLatin1String(line)), line);
        QCOMPARE(result.Err, QString());
    }

    void statusJson()
    {
        const TLonctlResult result = RunLonctl(Site("Plant", {"status", "--json"}));
        ExpectSuccess(result);
        const QJsonObject status = Json(result.Out).object();
        QCOMPARE(status.value("site").toString(), QStringLiteral("Plant"));
        QCOMPARE(status.value("online").toBool(), true);
        const QJsonObject fields = status.value("fields").toObject();
        QCOMPARE(fields.value("Neuron ID").toString(), QStringLiteral("05 00 00 4C 10 01"));
        QCOMPARE(fields.value("Domain 0 ID").toString(), QStringLiteral("[4C ]"));
        QCOMPARE(status.value("lines").toArray().size(), 17);
    }

    void statusOffline()
    {
        const TLonctlResult result = RunLonctl(Site("Desk", {"status", "--offline"}));
        ExpectSuccess(result);
        QCOMPARE(result.Out, QStringLiteral("Site: Desk\nOffline\n"));
    }

    void unknownInterface()
    {
        const TLonctlResult result = RunLonctl(Site("Nowhere", {"status", "--interface", "NOPE"}));
        ExpectFailure(result, 1, QStringLiteral("Could not connect to the LonWorks Interface named \"NOPE\""));
        QVERIFY(result.Err.contains(QStringLiteral("Check --interface \"NOPE\"")));
        QCOMPARE(result.Out, QString());
    }

    void time()
    {
        const TLonctlResult result = RunLonctl(Site("Plant", {"time"}));
        ExpectSuccess(result);
        QVERIFY2(QRegularExpression(QStringLiteral("^\\S.*\\d\\d:\\d\\d.*\\n$")).match(result.Out).hasMatch(),
                 qPrintable(result.Out));
        const TLonctlResult json = RunLonctl(Site("Plant", {"time", "--json"}));
        ExpectSuccess(json);
        QVERIFY(!Json(json.Out).object().value("siteTime").toString().isEmpty());
    }

    void verify_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("valid") << kSetpoint << 0 << "";
        QTest::newRow("subnet 0") << "0:0:10:1:105:0:3:105" << 1 << "in field 2 must be between 1 and 255.";
        QTest::newRow("domain 2") << "2:1:10:1:105:0:3:105" << 1 << "Domain# in field 1 must be 0 or 1.";
        QTest::newRow("malformed") << "0:1:10" << 1 << "Invalid Point Address. See the help file for proper formatting.";
    }
    void verify()
    {
        QFETCH(QString, address);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const TLonctlResult result = RunLonctl(Site("Plant", {"verify", address, "--name", "Setpoint"}));
        QVERIFY(result.Finished);
        QCOMPARE(result.ExitCode, exitCode);
        if (exitCode == 0) {
            QVERIFY(result.Out.startsWith(QStringLiteral("Valid point address: ") + address + u'\n'));
            QVERIFY(result.Out.contains(QStringLiteral("type       3 (signed 16-bit)\n")));
        } else {
            QVERIFY2(result.Err.contains(message), qPrintable(result.Err));
        }
    }

    void verifyJson()
    {
        const TLonctlResult valid = RunLonctl(Site("Plant", {"verify", kSetpoint, "--name", "SP", "--json"}));
        ExpectSuccess(valid);
        const QJsonObject object = Json(valid.Out).object();
        QCOMPARE(object.value("valid").toBool(), true);
        QCOMPARE(object.value("name").toString(), QStringLiteral("SP"));
        QCOMPARE(object.value("fields").toObject().value("node").toInt(), 10);

        const TLonctlResult invalid = RunLonctl(Site("Plant", {"verify", "0:1:10:1:226:0:3:105", "--json"}));
        QCOMPARE(invalid.ExitCode, 1);
        const QJsonObject refused = Json(invalid.Out).object();
        QCOMPARE(refused.value("valid").toBool(), false);
        QCOMPARE(refused.value("message").toString(),
                 QStringLiteral("SNVT Type in field 5 must be between 0 and 225 (0=custom)."));
    }

    void lockAndUnlock()
    {
        const TLonctlResult locked = RunLonctl(Site("Locks", {"lock", "maintenance", "--seconds", "0"}));
        ExpectSuccess(locked);
        QCOMPARE(locked.Out, QStringLiteral("Site \"Locks\" locked (maintenance). Holding the lock for 0 s.\n"
                                            "Site \"Locks\" unlocked.\n"));
        const TLonctlResult unlocked = RunLonctl(Site("Locks", {"unlock"}));
        ExpectSuccess(unlocked);
        QCOMPARE(unlocked.Out, QStringLiteral("Site \"Locks\" unlocked.\n"));
    }

    void lockHoldsUntilInterrupted()
    {
        QProcess lonctl;
        lonctl.setProcessEnvironment(LonctlEnvironment());
        lonctl.start(LonctlPath(), Site("Held", {"lock", "backup running"}));
        QString seen;
        QVERIFY2(WaitForOutput(lonctl, QStringLiteral("Holding the lock until Ctrl-C."), seen), qPrintable(seen));

        // Another client is refused with the comment while lonctl holds the lock.
        TDriverClient other;
        QVERIFY(other.Open({"DESCRIPTION=Held"}));
        const QStringList connected = other.WaitForStatus();
        QCOMPARE(connected.value(0), QStringLiteral("COMMANDSTATUS=LOCKED"));
        QCOMPARE(connected.value(1), QStringLiteral("COMMANDERROR=backup running"));
        const TLonctlResult refused = RunLonctl(Site("Held", {"time"}));
        ExpectFailure(refused, 1, QStringLiteral("The site is locked by another client (backup running)."));
        const TLonctlResult notUnlocked = RunLonctl(Site("Held", {"unlock"}));
        ExpectFailure(notUnlocked, 1, QStringLiteral("locked by another client"));

        ::kill(pid_t(lonctl.processId()), SIGINT);
        QVERIFY(WaitForOutput(lonctl, QStringLiteral("unlocked."), seen));
        QVERIFY(lonctl.waitForFinished(30000));
        QCOMPARE(lonctl.exitCode(), 0);

        const QStringList time = other.Run({"COMMAND=SITETIME"});
        QCOMPARE(time.value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
    }

    void lockTakenByAnotherClient()
    {
        TDriverClient owner;
        QVERIFY(owner.Open({"DESCRIPTION=Taken"}));
        QCOMPARE(owner.WaitForStatus().value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
        QCOMPARE(owner.Run({"COMMAND=GETDATA", "DRIVERCOMMAND=LOCKCLIENT", "LOCKCOMMENT=commissioning"}).value(0),
                 QStringLiteral("COMMANDSTATUS=TRUE"));
        const TLonctlResult status = RunLonctl(Site("Taken", {"status"}));
        ExpectFailure(status, 1, QStringLiteral("The site is locked by another client (commissioning)."));
        const TLonctlResult lock = RunLonctl(Site("Taken", {"lock", "--seconds", "0"}));
        ExpectFailure(lock, 1, QStringLiteral("locked by another client"));
    }

    void discover()
    {
        const TLonctlResult result = RunLonctl(Site("Plant", {"discover"}));
        ExpectSuccess(result);
        const QStringList lines = result.Out.split(u'\n', Qt::SkipEmptyParts);
        QVERIFY(lines.size() > 10);
        QVERIFY(QRegularExpression(QStringLiteral("^DEVICE +ADDRESS +NAME +UNITS +WRITABLE +KIND$")).match(lines.first()).hasMatch());
        QVERIFY(QRegularExpression(QStringLiteral("^\\d+ points$")).match(lines.last()).hasMatch());
        // Each point with its device's name: the device's own text.
        QVERIFY2(QRegularExpression(QStringLiteral("\\nRoom controller, office 2.14 +0:1:10:1:105:0:3:105 +nviSetpoint +°C +yes +Analog\\n"))
                     .match(result.Out).hasMatch(), qPrintable(result.Out.left(2000)));
        // Domain 1 devices too.
        QVERIFY(result.Out.contains(QStringLiteral(" 1:3:5:")));
    }

    // What discovery lists, the tools accept: every point of every test network passes
    // POINTVERIFY, reads through lonctl read, and a gateway configuration takes it (bit
    // fields with masks above 122 were refused by all three). The driver and lonctl are
    // asked once per variable type and parameter, which is what decides.
    void discoveredPointsAreAccepted_data()
    {
        QTest::addColumn<QString>("site");
        QTest::addColumn<QString>("interface");
        QTest::addColumn<bool>("everyDeviceAnswers");
        QTest::newRow("LON1") << "Plant" << "LON1" << true;
        for (const char *network : {"points", "small", "selfdoc", "types"})
            QTest::newRow(network) << QStringLiteral("Net-%1").arg(QLatin1String(network))
                                   << QStringLiteral(LW_FIXTURES "/networks/%1.json").arg(QLatin1String(network)) << false;
    }

    void discoveredPointsAreAccepted()
    {
        QFETCH(QString, site);
        QFETCH(QString, interface);
        QFETCH(bool, everyDeviceAnswers);
        const QStringList siteOptions{"--site", site, "--interface", interface};
        const TLonctlResult discovered = RunLonctl(QStringList{"discover", "--json"} + siteOptions);
        ExpectSuccess(discovered);
        const QJsonArray points = Json(discovered.Out).array();
        QVERIFY(!points.isEmpty());

        TDriverClient client;
        QVERIFY(client.Open({"DESCRIPTION=" + site, "SP1=" + interface}));
        QCOMPARE(client.WaitForStatus().value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
        QMap<QString, QString> oneOfEachField;   // "type:parameter" -> an address
        QJsonArray configured;
        for (const QJsonValue &point : points) {
            const QString address = point.toObject().value("address").toString();
            oneOfEachField.insert(address.section(u':', 6, 7), address);
            configured.append(QJsonObject{{"address", address}});
        }
        for (const QString &address : std::as_const(oneOfEachField)) {
            const QStringList verified = client.Run({"COMMAND=POINTVERIFY", "POINTNAME=P", "POINTADDRESS=" + address});
            QVERIFY2(verified.value(0) == QLatin1String("COMMANDSTATUS=TRUE"),
                     qPrintable(address + u' ' + verified.join(u' ')));
            const TLonctlResult read = RunLonctl(QStringList{"read", address} + siteOptions);
            QVERIFY2(read.Finished && (read.ExitCode == 0 || (!everyDeviceAnswers && read.ExitCode == 1)),
                     qPrintable(QStringLiteral("%1: exit %2: %3").arg(address).arg(read.ExitCode).arg(read.Err)));
        }

        QTemporaryDir dir;
        QFile config(dir.filePath(QStringLiteral("gateway.json")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(QJsonDocument(QJsonObject{{"sites", QJsonArray{QJsonObject{{"description", site},
                                                                                 {"interface", interface},
                                                                                 {"points", configured}}}}})
                         .toJson());
        config.close();
        QProcess gateway;
        gateway.setProcessEnvironment(LonctlEnvironment());
        gateway.start(QCoreApplication::applicationDirPath() + QStringLiteral("/lonworks-gateway"),
                      {QStringLiteral("--check"), QStringLiteral("--config"), config.fileName()});
        QVERIFY(gateway.waitForFinished(30000));
        QVERIFY2(gateway.exitCode() == 0, gateway.readAllStandardError().constData());
    }

    void discoverJson()
    {
        const TLonctlResult result = RunLonctl(Site("Plant", {"discover", "--json"}));
        ExpectSuccess(result);
        const QJsonArray points = Json(result.Out).array();
        QVERIFY(points.size() > 10);
        bool found = false;
        for (const QJsonValue &point : points) {
            const QJsonObject entry = point.toObject();
            if (entry.value("address").toString() == kSetpoint) {
                found = true;
                QCOMPARE(entry.value("name").toString(), QStringLiteral("nviSetpoint"));
                QCOMPARE(entry.value("units").toString(), QStringLiteral("°C"));
                QCOMPARE(entry.value("writable").toBool(), true);
                QCOMPARE(entry.value("kind").toString(), QStringLiteral("Analog"));
            }
        }
        QVERIFY(found);
    }

    void discoverGivesUpAtItsTimeout()
    {
        const TLonctlResult result = RunLonctl(Site("Hurry", {"discover", "--timeout", "0.3"}));
        ExpectFailure(result, 1, QStringLiteral("did not finish within 0.3 s"));
        QVERIFY(result.Err.contains(QStringLiteral("Try a longer --timeout")));
    }

    void read()
    {
        const TLonctlResult result = RunLonctl(Site("Plant", {"read", kAirFlow}));
        ExpectSuccess(result);
        QCOMPARE(result.Out, QStringLiteral("1200.0000 lt/sec\n"));
        const TLonctlResult json = RunLonctl(Site("Plant", {"read", kAirFlow, "--json"}));
        ExpectSuccess(json);
        QCOMPARE(Json(json.Out).object().value("value").toString(), QStringLiteral("1200.0000"));
    }

    // A point named device/variable[.field], the device by its own text (any letter case
    // for the variable): the driver finds the address; a structured variable needs its field.
    void readAndWriteByName()
    {
        const QString room = QStringLiteral("Room controller, office 2.14");
        ExpectSuccess(RunLonctl(Site("Plant", {"write", room + QStringLiteral("/nviSetpoint"), "22.5"})));
        QCOMPARE(RunLonctl(Site("Plant", {"read", kSetpoint})).Out, QStringLiteral("22.5000 °C\n"));
        const TLonctlResult named = RunLonctl(Site("Plant", {"read", room + QStringLiteral("/NVISETPOINT"), "--json"}));
        ExpectSuccess(named);
        QCOMPARE(Json(named.Out).object().value("address").toString(), kSetpoint);
        QCOMPARE(Json(named.Out).object().value("value").toString(), QStringLiteral("22.5000"));
        QCOMPARE(RunLonctl(Site("Plant", {"read", room + QStringLiteral("/nviLampSwitch.State")})).Out,
                 QStringLiteral("1.0000 Off/On\n"));
        ExpectFailure(RunLonctl(Site("Plant", {"read", room + QStringLiteral("/nvoUnitStatus")})), 64,
                      QStringLiteral("has 7 points: name one of nvoUnitStatus.Mode"));
        ExpectFailure(RunLonctl(Site("Plant", {"read", room + QStringLiteral("/nvoNothing")})), 1,
                      QStringLiteral("has no point \"nvoNothing\"; its points: nvoSpaceTemp, nviSetpoint"));
        ExpectFailure(RunLonctl(Site("Plant", {"read", "Nobody/nvoTemp"})), 1, QStringLiteral("Unknown device: Nobody"));
    }

    void readSilentDevice()
    {
        const TLonctlResult result = RunLonctl(Site("Plant", {"read", kSilent}));
        ExpectFailure(result, 1, QStringLiteral("Could not read data from panel."));
    }

    void writeAndReadBack()
    {
        const TLonctlResult written = RunLonctl(Site("Plant", {"write", kSetpoint, "23.5"}));
        ExpectSuccess(written);
        QCOMPARE(written.Out, QStringLiteral("Wrote 23.5 to ") + kSetpoint + QStringLiteral(".\n"));
        QCOMPARE(RunLonctl(Site("Plant", {"read", kSetpoint})).Out, QStringLiteral("23.5000 °C\n"));

        // In Fahrenheit: 77 °F is 25 °C.
        ExpectSuccess(RunLonctl(Site("Plant", {"write", kSetpoint, "77", "--fahrenheit"})));
        QCOMPARE(RunLonctl(Site("Plant", {"read", kSetpoint})).Out, QStringLiteral("25.0000 °C\n"));
        QCOMPARE(RunLonctl(Site("Plant", {"read", kSetpoint, "--fahrenheit"})).Out, QStringLiteral("77.0000 °F\n"));

        const TLonctlResult negative = RunLonctl(Site("Plant", {"write", kSetpoint, "-2.5"}));
        ExpectSuccess(negative);
        QCOMPARE(RunLonctl(Site("Plant", {"read", kSetpoint})).Out, QStringLiteral("-2.5000 °C\n"));
        ExpectSuccess(RunLonctl(Site("Plant", {"write", kSetpoint, "21.5"})));
    }

    void writeRefusedByTheDriver_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        QTest::newRow("field beyond the variable") << "0:1:10:1:105:4:3:105" << "5"
                                                   << "The field needs 2 bytes from offset 4, but the variable has 2.";
        QTest::newRow("float beyond its range") << "0:1:20:9:57:0:4:57" << "1e40" << "1e40 does not fit this field";
        QTest::newRow("silent device") << kSilent << "20" << "Could not modify point.";
        // Refused, never wrapped or cut.
        QTest::newRow("°C setpoint below its type") << kSetpoint << "-300"
                                                     << QStringLiteral("nothing was written: Value out of range for "
                                                                       "SNVT_temp_p: -273.17 to 327.66 °C.");
        QTest::newRow("text beyond its field") << "1:2:30:11:36:0:5:31" << QString(40, u'x')
                                               << "The text has 40 characters; this field holds at most 30.";
    }
    void writeRefusedByTheDriver()
    {
        QFETCH(QString, address);
        QFETCH(QString, value);
        QFETCH(QString, message);
        const TLonctlResult result = RunLonctl(Site("Plant", {"write", address, value}));
        ExpectFailure(result, 1, message);
        QCOMPARE(result.Out, QString());
    }

    // Types above 122 through the driver and a simulated device (tests/fixtures/networks/
    // types.json): enumerations written by a member's name in any case or its number and read
    // back as the name, also as a structure's field; a scaled value with the catalogue's units;
    // a name the enumeration lacks and a value beyond the type are refused, nothing written.
    void catalogueTypesWriteAndRead_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<QString>("readBack");   // after a write that is not refused
        const QString hvacType = QStringLiteral("0:1:10:0:145:0:12:145");
        const QString runMode = QStringLiteral("0:1:10:1:127:0:12:127");
        const QString enthalpy = QStringLiteral("0:1:10:2:153:0:3:153");
        QTest::newRow("enumeration by name") << hvacType << "hvt_vav" << "" << "HVT_VAV";
        QTest::newRow("enumeration by number") << hvacType << "8" << "" << "HVT_AHU";
        QTest::newRow("no such member") << hvacType << "HVT_IGLOO"
                                        << "Value out of range for SNVT_hvac_type: one of HVT_NUL, HVT_GENERIC, "
                                           "HVT_FAN_COIL, HVT_VAV, HVT_HEAT_PUMP, HVT_ROOFTOP, HVT_UNIT_VENT, "
                                           "HVT_CHILL_CEIL, HVT_RADIATOR, HVT_AHU, HVT_SELF_CONT."
                                        << "";
        QTest::newRow("field of a structure") << runMode << "Chlr_Run" << "" << "CHLR_RUN";
        QTest::newRow("scaled") << enthalpy << "-12.34" << "" << "-12.3400 kJ/kg";
        QTest::newRow("beyond its type") << enthalpy << "327.67"
                                         << QStringLiteral("Value out of range for SNVT_enthalpy: -327.68 to 327.66 kJ/kg.")
                                         << "";
    }
    void catalogueTypesWriteAndRead()
    {
        QFETCH(QString, address);
        QFETCH(QString, value);
        QFETCH(QString, refusal);
        QFETCH(QString, readBack);
        const QStringList site{"--site", "Types", "--interface", LW_FIXTURES "/networks/types.json"};
        const TLonctlResult before = RunLonctl(QStringList{"read", address} + site);
        ExpectSuccess(before);
        const TLonctlResult written = RunLonctl(QStringList{"write", address, value} + site);
        if (refusal.isEmpty())
            ExpectSuccess(written);
        else
            ExpectFailure(written, 1, QStringLiteral("nothing was written: ") + refusal);
        const TLonctlResult after = RunLonctl(QStringList{"read", address} + site);
        ExpectSuccess(after);
        QCOMPARE(after.Out, refusal.isEmpty() ? readBack + u'\n' : before.Out);
    }

    void writeObject()
    {
        const TLonctlResult result = RunLonctl(Site("Plant", {"write", "1:3:5:23:0:0:0:0,0,D-V3",
                                                              "--object-value", "5", "--state", "on"}));
        ExpectSuccess(result);
        QCOMPARE(result.Out, QStringLiteral("Commanded object V3 at 1:3:5:23:0:0:0:0,0,D-V3: value 5, state on.\n"));
    }

    void disabled_data()
    {
        QTest::addColumn<QString>("object");
        QTest::addColumn<QString>("out");
        QTest::newRow("V2 disabled") << "V2" << "V2 is disabled.\n";
        QTest::newRow("V1 enabled") << "V1" << "V1 is enabled.\n";
        QTest::newRow("P10 disabled") << "P10" << "P10 is disabled.\n";
    }
    void disabled()
    {
        QFETCH(QString, object);
        QFETCH(QString, out);
        const TLonctlResult result = RunLonctl(Site("Plant", {"disabled", "1:3:5:22:0:0:0:0,0,D-" + object}));
        ExpectSuccess(result);
        QCOMPARE(result.Out, out);
    }

    void disabledJsonAndSilentDevice()
    {
        const TLonctlResult json = RunLonctl(Site("Plant", {"disabled", "1:3:5:22:0:0:0:0,0,D-V2", "--json"}));
        ExpectSuccess(json);
        QCOMPARE(Json(json.Out).object().value("disabled").toBool(), true);
        const TLonctlResult silent = RunLonctl(Site("Plant", {"disabled", "1:3:9:22:0:0:0:0,0,D-V2"}));
        ExpectFailure(silent, 1, QStringLiteral("Could not modify point."));
    }

    void fileToDisk()
    {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString path = folder.filePath(QStringLiteral("scenes.txt"));
        const TLonctlResult result = RunLonctl(Site("Plant", {"file", "--domain", "0", "--subnet", "1", "--node", "40",
                                                              "--file-index", "1", "--request-var", "7", "-o", path}));
        ExpectSuccess(result);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray contents = file.readAll();
        QVERIFY(contents.startsWith("Scene 1"));
        QCOMPARE(result.Out, QStringLiteral("Wrote %1 bytes to %2.\n").arg(contents.size()).arg(path));
    }

    void fileAsDumpAndJson()
    {
        const QStringList request{"file", "--domain", "0", "--subnet", "1", "--node", "40",
                                  "--file-index", "0", "--request-var", "7"};
        const TLonctlResult dump = RunLonctl(Site("Plant", request));
        ExpectSuccess(dump);
        QVERIFY(dump.Out.startsWith(QStringLiteral("00000000  00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F  ................\n")));
        QVERIFY(dump.Out.endsWith(QStringLiteral("500 bytes from device 0:1:40, file 0.\n")));
        const TLonctlResult json = RunLonctl(Site("Plant", QStringList(request) << "--json"));
        ExpectSuccess(json);
        const QJsonObject object = Json(json.Out).object();
        QCOMPARE(object.value("size").toInt(), 500);
        QVERIFY(object.value("hex").toString().startsWith(QStringLiteral("000102030405")));
    }

    void fileThatNeverCame()
    {
        const TLonctlResult result = RunLonctl(Site("Plant", {"file", "--domain", "0", "--subnet", "1", "--node", "10",
                                                              "--file-index", "1", "--request-var", "7"}));
        ExpectFailure(result, 1, QStringLiteral("No file came from device 0:1:10"));
        QCOMPARE(result.Out, QString());
    }

    void watch()
    {
        const TLonctlResult result = RunLonctl(Site("Watch", {"watch", kAirFlow, kSetpoint, "--cycles", "5"}));
        ExpectSuccess(result);
        QVERIFY2(QRegularExpression(QStringLiteral("(^|\\n)\\S+  0:1:20:5:15:0:2:15    1200.0000 lt/sec\\n"))
                     .match(result.Out).hasMatch(), qPrintable(result.Out));
        QVERIFY2(result.Out.contains(kSetpoint + QStringLiteral("  21.5000 °C\n")), qPrintable(result.Out));
        // A value that does not change is printed once.
        QCOMPARE(result.Out.count(kAirFlow), 1);
    }

    void watchJson()
    {
        const TLonctlResult result = RunLonctl(Site("Watch", {"watch", kAirFlow, "--seconds", "3", "--json"}));
        ExpectSuccess(result);
        const QStringList lines = result.Out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1);
        const QJsonObject change = Json(lines.first()).object();
        QCOMPARE(change.value("address").toString(), kAirFlow);
        QCOMPARE(change.value("value").toString(), QStringLiteral("1200.0000"));
        QCOMPARE(change.value("units").toString(), QStringLiteral("lt/sec"));
        QVERIFY(!change.value("time").toString().isEmpty());
    }

    void watchSilentDeviceSaysSo()
    {
        const TLonctlResult result = RunLonctl(Site("Watch", {"watch", kSilent, "--cycles", "2"}));
        ExpectSuccess(result);
        QCOMPARE(result.Out, QString());
        QVERIFY2(result.Err.contains(QStringLiteral("no value for ") + kSilent), qPrintable(result.Err));
    }

    void watchEndsOnCtrlC()
    {
        QProcess lonctl;
        lonctl.setProcessEnvironment(LonctlEnvironment());
        lonctl.start(LonctlPath(), Site("Watch", {"watch", kAirFlow}));
        QString seen;
        QVERIFY2(WaitForOutput(lonctl, QStringLiteral("1200.0000"), seen), qPrintable(seen));
        ::kill(pid_t(lonctl.processId()), SIGINT);
        QVERIFY(lonctl.waitForFinished(30000));
        QCOMPARE(lonctl.exitStatus(), QProcess::NormalExit);
        QCOMPARE(lonctl.exitCode(), 0);
    }

    void domainSettings()
    {
        const TLonctlResult result = RunLonctl(Site("Domains", {"status", "--domain0-subnet", "4", "--domain0-node", "7"}));
        ExpectSuccess(result);
        QVERIFY(result.Out.contains(QStringLiteral("\nDomain 0 Subnet: 4\nDomain 0 Node: 7\n")));
        // Back to the network's own settings for whoever comes next.
        ExpectSuccess(RunLonctl(Site("Domains", {"status", "--domain0-subnet", "1", "--domain0-node", "126"})));
    }
};

QTEST_GUILESS_MAIN(TestLonctlSite)
#include "tst_lonctl_site.moc"
