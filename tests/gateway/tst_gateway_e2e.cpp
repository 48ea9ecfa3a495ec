// lonworks-gateway end to end: the driver on the test's own bus (started by D-Bus activation,
// LON1 on the simulator with its control channel), a real mosquitto on a free port, the
// gateway as its own process, and what arrives checked by mosquitto_sub, mosquitto_pub,
// lonctl and a paho-mqtt script. The cases run in order on one broker and one driver; the
// later ones restart the broker, kill the driver and stop or kill the gateway.
#include "DriverClient.h"
#include "DriverProcess.h"
#include "MqttBroker.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

namespace {

const QString kBusName = QStringLiteral("QelLonWorks.QelLonWorksCom");
// Generous bounds: the values arrive within about one poll cycle of the driver; how long
// that takes is measured by the benchmark, not here.
constexpr int kValueWaitMs = 30000;
constexpr int kStateWaitMs = 60000;

// The points the Plant site lists, by topic level; Meters discovers four more.
const QStringList kPlantTopics{QStringLiteral("Space_temperature"), QStringLiteral("Setpoint"),
                               QStringLiteral("Lamp"), QStringLiteral("Lamp_state"),
                               QStringLiteral("Fan_speed"), QStringLiteral("Alarm_location"),
                               QStringLiteral("Alarm_time"), QStringLiteral("Duct_pressure")};
// nvoAlarm of the AirHandler (index 10) as LON1 has it, and with an empty location text.
const QString kAlarm = QStringLiteral("4148553100000003010200000000011D07E8030F081E00000000000118");
const QString kAlarmWithoutLocation = QStringLiteral("0000000000000003010200000000011D07E8030F081E00000000000118");
const QStringList kMetersTopics{QStringLiteral("nvoEnergy"), QStringLiteral("nvoPhaseVolt_0"),
                                QStringLiteral("nvoPhaseVolt_1"), QStringLiteral("nvoPhaseVolt_2")};

QString Program(const QString &name)
{
    return QCoreApplication::applicationDirPath() + u'/' + name;
}

} // namespace

class TestGatewayEndToEnd : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir FDir;
    TMqttBroker FBroker;
    std::unique_ptr<TMqttSubscriber> FSub;
    std::unique_ptr<QProcess> FGateway;
    int FControlSequence = 0;
    qsizetype FMark = 0;   // lines the subscriber had when the case (or data row) began

    QString ControlDir() const { return FDir.filePath(QStringLiteral("control")); }

    static QString DataHome() { return qEnvironmentVariable("XDG_DATA_HOME"); }

    QProcessEnvironment ChildEnvironment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), FDir.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), FDir.filePath(QStringLiteral("cache")));
        environment.insert(QStringLiteral("XDG_STATE_HOME"), FDir.filePath(QStringLiteral("state")));
        return environment;
    }

    // extraPoint: text after the last point of Plant (",\n{...}"), or nothing.
    QString WriteConfig(const QString &name, const QString &prefix, const QString &extraPoint = QString()) const
    {
        const QString json = QStringLiteral(R"({
  "broker": {"url": "%1", "clientId": "gw-%2", "reconnectMinSeconds": 0.2, "reconnectMaxSeconds": 1},
  "topicPrefix": "%2",
  "collectSeconds": 0.3,
  "siteRetryMinSeconds": 0.2,
  "siteRetryMaxSeconds": 1,
  "commandTimeoutSeconds": 15,
  "sites": [
    {"description": "Plant", "interface": "LON1", "points": [
      {"address": "0:1:10:0:105:0:3:105", "name": "Space temperature"},
      {"address": "0:1:10:1:105:0:3:105", "name": "Setpoint", "writable": true},
      {"address": "0:1:10:6:95:0:2:95", "name": "Lamp", "writable": true},
      {"address": "0:1:10:6:95:1:0:0", "name": "Lamp state"},
      {"address": "0:1:20:8:102:0:2:102", "name": "Fan speed"},
      {"address": "0:1:20:10:88:0:5:6", "name": "Alarm location", "writable": true},
      {"address": "0:1:20:10:88:16:11:0", "name": "Alarm time"},
      {"address": "0:1:20:4:113:0:3:113", "name": "Duct pressure"}%3
    ]},
    {"description": "Meters", "interface": "LON1", "include": ["nvoPhaseVolt*", "nvoEnergy"]}
  ]
})").arg(FBroker.Url(), prefix, extraPoint);
        const QString path = FDir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return QString();
        file.write(json.toUtf8());
        return path;
    }

    bool StartGateway(const QStringList &extra = {})
    {
        FGateway = std::make_unique<QProcess>();
        FGateway->setProcessEnvironment(ChildEnvironment());
        FGateway->setProcessChannelMode(QProcess::ForwardedChannels);
        FGateway->start(Program(QStringLiteral("lonworks-gateway")),
                        QStringList{QStringLiteral("--config"), FDir.filePath(QStringLiteral("gateway.json"))} + extra);
        return FGateway->waitForStarted(10000);
    }

    void EndGateway()
    {
        if (FGateway && FGateway->state() != QProcess::NotRunning) {
            FGateway->kill();
            FGateway->waitForFinished(10000);
        }
    }

    bool WaitLine(const QString &line, int ms = kValueWaitMs)
    {
        return FSub->WaitFor([&line](const QString &seen) { return seen == line; }, ms, nullptr, FMark);
    }

    // Every state of both sites, retained on the broker.
    bool AllStatesRetained(int ms)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) {
            const QStringList states = FBroker.Retained({QStringLiteral("lonworks/+/+/state")}, 1);
            if (states.size() == kPlantTopics.size() + kMetersTopics.size())
                return true;
            SpinEvents(200);
        }
        return false;
    }

    // Runs control lines at the simulator (the driver reads them on its next network call)
    // and returns the device's entry of state.json afterwards.
    QJsonObject Control(const QStringList &lines, const QString &device)
    {
        const QString name = QStringLiteral("g%1").arg(++FControlSequence, 4, 10, QLatin1Char('0'));
        QFile file(QDir(ControlDir()).filePath(name + QStringLiteral(".part")));
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write(lines.join(u'\n').toUtf8() + '\n');
        file.close();
        file.rename(QDir(ControlDir()).filePath(name + QStringLiteral(".cmd")));
        QFile done(QDir(ControlDir()).filePath(name + QStringLiteral(".done")));
        QElapsedTimer clock;
        clock.start();
        while (!done.exists() && clock.elapsed() < 20000)
            SpinEvents(50);
        QFile state(QDir(ControlDir()).filePath(QStringLiteral("state.json")));
        if (!done.exists() || !state.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(state.readAll())
            .object()[QLatin1String("networks")][QLatin1String("LON1")][QLatin1String("devices")][device]
            .toObject();
    }

    QString Lonctl(const QStringList &arguments)
    {
        QProcess lonctl;
        lonctl.setProcessEnvironment(ChildEnvironment());
        lonctl.start(Program(QStringLiteral("lonctl")), arguments);
        if (!lonctl.waitForFinished(60000)) {
            lonctl.kill();
            lonctl.waitForFinished(5000);
            return QStringLiteral("(lonctl hung)");
        }
        return QString::fromUtf8(lonctl.readAllStandardOutput()).trimmed()
            + QString::fromUtf8(lonctl.readAllStandardError()).trimmed();
    }

    // A call to the bus itself, answered at once.
    static QDBusMessage CallBus(const QString &method, const QVariantList &arguments)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), method);
        call.setArguments(arguments);
        return QDBusConnection::sessionBus().call(call, QDBus::Block, 10000);
    }

    static qint64 DriverPid()
    {
        const QDBusMessage pid = CallBus(QStringLiteral("GetConnectionUnixProcessID"), {kBusName});
        return pid.type() == QDBusMessage::ReplyMessage && !pid.arguments().isEmpty()
            ? qint64(pid.arguments().constFirst().toUInt()) : -1;
    }

private Q_SLOTS:
    void init()
    {
        FMark = FSub ? FSub->Lines().size() : 0;
    }

    void initTestCase()
    {
        if (!TMqttBroker::Available())
            QSKIP("mosquitto and mosquitto-clients are not installed (scripts/bootstrap.sh installs them)");
        QVERIFY2(!DataHome().isEmpty(), "the test needs its own data folder for the bus");
        QVERIFY(FDir.isValid());
        QVERIFY(QDir().mkpath(ControlDir()));

        // Registered for activation: the gateway's first call starts the driver, and starts
        // it again after it was killed. The bus hands the simulator's control folder on.
        QProcess regserver;
        QProcessEnvironment environment = ChildEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), DataHome());
        regserver.setProcessEnvironment(environment);
        regserver.start(TDriverProcess::DriverPath(), {QStringLiteral("-regserver")});
        QVERIFY(regserver.waitForFinished(30000));
        QCOMPARE(regserver.exitCode(), 0);
        qDBusRegisterMetaType<QMap<QString, QString>>();
        const QMap<QString, QString> activation{
            {QStringLiteral("LONSIM_CONTROL"), ControlDir()},
            {QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen")},
            {QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8")}};
        const QDBusMessage updated = CallBus(QStringLiteral("UpdateActivationEnvironment"),
                                             {QVariant::fromValue(activation)});
        QVERIFY2(updated.type() == QDBusMessage::ReplyMessage, qPrintable(updated.errorMessage()));

        QVERIFY(FBroker.Start());
        FSub = std::make_unique<TMqttSubscriber>(FBroker.Port(), QStringList{QStringLiteral("lonworks/#")});
        QVERIFY(FSub->Started());
        QVERIFY(!WriteConfig(QStringLiteral("gateway.json"), QStringLiteral("lonworks")).isEmpty());
        QVERIFY(StartGateway());
    }

    void cleanupTestCase()
    {
        EndGateway();
        FSub.reset();
        FBroker.Stop();
        const qint64 pid = DriverPid();
        if (pid > 0)
            ::kill(pid_t(pid), SIGTERM);
        TDriverProcess::WaitForBusName(false);
    }

    void retainedStatesForEveryPoint()
    {
        QVERIFY2(WaitLine(QStringLiteral("lonworks/gateway/gw-lonworks/status online")), "the gateway never came online");
        QVERIFY2(WaitLine(QStringLiteral("lonworks/Plant/status online"), kStateWaitMs), "Plant never came online");
        QVERIFY2(WaitLine(QStringLiteral("lonworks/Meters/status online"), kStateWaitMs), "Meters never came online");
        QVERIFY2(AllStatesRetained(kStateWaitMs), qPrintable(FBroker.Retained({QStringLiteral("lonworks/+/+/state")}).join(u'\n')));

        const QStringList states = FBroker.Retained({QStringLiteral("lonworks/+/+/state")});
        for (const QString &topic : kPlantTopics)
            QVERIFY2(states.filter(QStringLiteral("lonworks/Plant/%1/state ").arg(topic)).size() == 1, qPrintable(topic));
        for (const QString &topic : kMetersTopics)
            QVERIFY2(states.filter(QStringLiteral("lonworks/Meters/%1/state ").arg(topic)).size() == 1, qPrintable(topic));
        QVERIFY(states.contains(QStringLiteral("lonworks/Plant/Setpoint/state 21.5")));
        QVERIFY(states.contains(QStringLiteral("lonworks/Plant/Lamp/state ON")));
        QVERIFY(states.contains(QStringLiteral("lonworks/Plant/Alarm_location/state AHU1")));
        // A field's kind is the catalogue's (nviLampSwitch.State is a switch state), and a
        // date and time is ISO 8601.
        QVERIFY(states.contains(QStringLiteral("lonworks/Plant/Lamp_state/state ON")));
        QVERIFY(states.contains(QStringLiteral("lonworks/Plant/Alarm_time/state 2024-03-15T08:30:00Z")));

        // The attributes say what the point is and when its value came.
        const QStringList attributes = FBroker.Retained({QStringLiteral("lonworks/Plant/Setpoint/attributes")});
        QCOMPARE(attributes.size(), 1);
        const QJsonObject object = QJsonDocument::fromJson(
            attributes.first().section(u' ', 1).toUtf8()).object();
        QCOMPARE(object.value(QStringLiteral("address")).toString(), QStringLiteral("0:1:10:1:105:0:3:105"));
        QCOMPARE(object.value(QStringLiteral("units")).toString(), QStringLiteral("°C"));
        QCOMPARE(object.value(QStringLiteral("kind")).toString(), QStringLiteral("Analog"));
        QCOMPARE(object.value(QStringLiteral("writable")).toBool(), true);
    }

    void changedValueArrives()
    {
        // nvoSpaceTemp to 25.00 °C: the next poll of the driver reads it, the next
        // collection of the gateway publishes it.
        QVERIFY(!Control({QStringLiteral("set RoomController 0 09C4")}, QStringLiteral("RoomController")).isEmpty());
        QVERIFY2(WaitLine(QStringLiteral("lonworks/Plant/Space_temperature/state 25")),
                 qPrintable(FSub->Lines().filter(QStringLiteral("Space_temperature/state")).join(u'\n')));
    }

    void setReachesTheDevice_data()
    {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QString>("payload");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("readBack");
        QTest::addColumn<QString>("state");
        QTest::newRow("number") << "Setpoint" << "22.75" << "0:1:10:1:105:0:3:105" << "22.7500 °C" << "22.75";
        QTest::newRow("switch off") << "Lamp" << "OFF" << "0:1:10:6:95:0:2:95" << "0.0000 Off/On" << "OFF";
        QTest::newRow("switch on") << "Lamp" << "ON" << "0:1:10:6:95:0:2:95" << "1.0000 Off/On" << "ON";
    }

    void setReachesTheDevice()
    {
        QFETCH(QString, topic);
        QFETCH(QString, payload);
        QFETCH(QString, address);
        QFETCH(QString, readBack);
        QFETCH(QString, state);
        const QString base = QStringLiteral("lonworks/Plant/%1/").arg(topic);
        QVERIFY(FBroker.Publish(base + QStringLiteral("set"), payload));
        QString result;
        QVERIFY(FSub->WaitFor([&](const QString &line) { return line.startsWith(base + QStringLiteral("result ")); },
                              kValueWaitMs, &result, FMark));
        QVERIFY2(result.contains(QStringLiteral("\"result\":\"done\"")), qPrintable(result));
        QCOMPARE(Lonctl({QStringLiteral("read"), QStringLiteral("--site"), QStringLiteral("Plant"), address}), readBack);
        QVERIFY(WaitLine(base + QStringLiteral("state ") + state));
    }

    void badSetWritesNothing_data()
    {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("device");
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("lock");
        QTest::addColumn<QString>("message");
        QTest::newRow("not a number") << "Setpoint" << QByteArray("warm") << "RoomController" << 1 << false << "is not a number";
        QTest::newRow("read-only point") << "Space_temperature" << QByteArray("20") << "RoomController" << 0 << false << "is read-only";
        QTest::newRow("not on or off") << "Lamp" << QByteArray("MONDAY") << "RoomController" << 6 << false << "is not ON or OFF";
        QTest::newRow("braces") << "Setpoint" << QByteArray("{20}") << "RoomController" << 1 << false << "braces";
        QTest::newRow("site locked") << "Setpoint" << QByteArray("19") << "RoomController" << 1 << true << "locked by another client (commissioning)";
        // What the field cannot hold is refused, never wrapped, cut or replaced.
        QTest::newRow("beyond its type") << "Setpoint" << QByteArray("-300") << "RoomController" << 1 << false
                                         << QStringLiteral("Value out of range for SNVT_temp_p: -273.17 to 327.66 °C.");
        QTest::newRow("text too long") << "Alarm_location" << QByteArray("AHU12345") << "AirHandler" << 10 << false
                                       << "The text has 8 characters; this field holds at most 5.";
        QTest::newRow("invalid UTF-8") << "Alarm_location" << QByteArray("ab\xff\xfe" "cd") << "AirHandler" << 10
                                       << false << "not valid UTF-8";
    }

    void badSetWritesNothing()
    {
        QFETCH(QString, topic);
        QFETCH(QByteArray, payload);
        QFETCH(QString, device);
        QFETCH(int, index);
        QFETCH(bool, lock);
        QFETCH(QString, message);
        TDriverClient locker;
        if (lock) {
            QVERIFY(locker.Create());
            QVERIFY(locker.Open({QStringLiteral("DESCRIPTION=Plant")}));
            QCOMPARE(locker.WaitForStatus(200, 50).value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
            // The gateway's commands share the slot: ask again until the lock is taken.
            bool locked = false;
            for (int attempt = 0; attempt < 50 && !locked; ++attempt)
                locked = locker.Run({QStringLiteral("COMMAND=GETDATA"), QStringLiteral("DRIVERCOMMAND=LOCKCLIENT"),
                                     QStringLiteral("LOCKCOMMENT=commissioning")}, 200, 50).value(0)
                    == QLatin1String("COMMANDSTATUS=TRUE");
            QVERIFY(locked);
        }
        const QJsonObject before = Control({QStringLiteral("reset-counts ") + device}, device);
        const QString valueBefore = before[QLatin1String("values")][QString::number(index)].toString();
        QVERIFY(!valueBefore.isEmpty());

        const QString base = QStringLiteral("lonworks/Plant/%1/").arg(topic);
        QVERIFY(FBroker.PublishBytes(base + QStringLiteral("set"), payload));
        QString result;
        QVERIFY(FSub->WaitFor([&](const QString &line) { return line.startsWith(base + QStringLiteral("result ")); },
                              kValueWaitMs, &result, FMark));
        QVERIFY2(result.contains(QStringLiteral("\"result\":\"refused\"")), qPrintable(result));
        QVERIFY2(result.contains(message), qPrintable(result));

        if (lock)   // the lock owner's commands are never kept waiting
            QCOMPARE(locker.Run({QStringLiteral("COMMAND=GETDATA"), QStringLiteral("DRIVERCOMMAND=UNLOCKCLIENT")}, 200, 50).value(0),
                     QStringLiteral("COMMANDSTATUS=TRUE"));
        const QJsonObject after = Control({QStringLiteral("# nothing")}, device);
        QCOMPARE(after[QLatin1String("counts")][QLatin1String("update")].toInt(), 0);
        QCOMPARE(after[QLatin1String("values")][QString::number(index)].toString(), valueBefore);
    }

    // A retained set message is acted on when it arrives, but never again when the broker
    // hands it over at the next connect: by then others may have written since.
    void retainedSetIsNotWrittenAgain()
    {
        const QString setpoint = QStringLiteral("lonworks/Plant/Setpoint/");
        QVERIFY(FBroker.Publish(setpoint + QStringLiteral("set"), QStringLiteral("24.5"), true));
        QVERIFY(WaitLine(setpoint + QStringLiteral("state 24.5")));
        const QString address = QStringLiteral("0:1:10:1:105:0:3:105");
        QCOMPARE(Lonctl({QStringLiteral("write"), QStringLiteral("--site"), QStringLiteral("Plant"), address,
                         QStringLiteral("23")}),
                 QStringLiteral("Wrote 23 to %1.").arg(address));

        // The gateway comes again: the broker hands it the retained set with its subscription.
        // (A client of our own keeps the bus-started driver, and the network it simulates,
        // alive while the gateway is away.)
        TDriverClient holder;
        QVERIFY(holder.Open({QStringLiteral("DESCRIPTION=Plant")}));
        EndGateway();
        const qsizetype mark = FSub->Lines().size();
        QVERIFY(StartGateway());
        QVERIFY(FSub->WaitFor([](const QString &line) { return line == QLatin1String("lonworks/Plant/status online"); },
                              kStateWaitMs, nullptr, mark));
        // A set after it is answered, so the retained one has been seen by then.
        QVERIFY(FBroker.Publish(QStringLiteral("lonworks/Plant/Lamp/set"), QStringLiteral("ON")));
        QVERIFY(FSub->WaitFor([](const QString &line) { return line.startsWith(QLatin1String("lonworks/Plant/Lamp/result ")); },
                              kValueWaitMs, nullptr, mark));
        QCOMPARE(Lonctl({QStringLiteral("read"), QStringLiteral("--site"), QStringLiteral("Plant"), address}),
                 QStringLiteral("23.0000 °C"));
        QVERIFY2(FSub->Lines().mid(mark).filter(setpoint + QStringLiteral("result ")).isEmpty(),
                 qPrintable(FSub->Lines().mid(mark).filter(setpoint).join(u'\n')));

        // Cleared: the empty message reaches the gateway as an ordinary set and is refused.
        QVERIFY(FBroker.Publish(setpoint + QStringLiteral("set"), QString(), true));
        QVERIFY(FSub->WaitFor([&](const QString &line) { return line.startsWith(setpoint + QStringLiteral("result ")); },
                              kValueWaitMs, nullptr, mark));
    }

    // An empty text has a state of its own: an empty retained message would delete it.
    void emptyTextPublishesNone()
    {
        QVERIFY(!Control({QStringLiteral("set AirHandler 10 ") + kAlarmWithoutLocation}, QStringLiteral("AirHandler")).isEmpty());
        QVERIFY2(WaitLine(QStringLiteral("lonworks/Plant/Alarm_location/state None")),
                 qPrintable(FSub->Lines().filter(QStringLiteral("Alarm_location/state")).join(u'\n')));
        QVERIFY(FBroker.Retained({QStringLiteral("lonworks/Plant/Alarm_location/state")})
                    .contains(QStringLiteral("lonworks/Plant/Alarm_location/state None")));
        QVERIFY(!Control({QStringLiteral("set AirHandler 10 ") + kAlarm}, QStringLiteral("AirHandler")).isEmpty());
        QVERIFY(WaitLine(QStringLiteral("lonworks/Plant/Alarm_location/state AHU1")));
    }

    void discoveryIsValidForHomeAssistant()
    {
        QProcess python;
        python.setProcessChannelMode(QProcess::MergedChannels);
        // Debian's python3, which has python3-paho-mqtt, before any other on the PATH.
        QString python3 = QStandardPaths::findExecutable(QStringLiteral("python3"), {QStringLiteral("/usr/bin")});
        if (python3.isEmpty())
            python3 = QStandardPaths::findExecutable(QStringLiteral("python3"));
        python.start(python3, {QStringLiteral(LW_GATEWAY_TESTS "/check_discovery.py"),
                                                 QString::number(FBroker.Port()), QStringLiteral("homeassistant"),
                                                 QString::number(kPlantTopics.size() + kMetersTopics.size() + 2)});
        QVERIFY(python.waitForFinished(60000));
        const QString report = QString::fromUtf8(python.readAll());
        QVERIFY2(python.exitStatus() == QProcess::NormalExit && python.exitCode() == 0, qPrintable(report));
    }

    void homeAssistantRestartGetsDiscoveryAgain()
    {
        // A broker that lost one config (emptied by a retained empty message) gets it back
        // when Home Assistant announces itself.
        const QString topic = QStringLiteral("homeassistant/sensor/gw-lonworks/Plant_Space_temperature/config");
        QCOMPARE(FBroker.Retained({topic}).size(), 1);
        QVERIFY(FBroker.Publish(topic, QString(), true));
        QVERIFY(FBroker.Retained({topic}, 1).isEmpty());
        QVERIFY(FBroker.Publish(QStringLiteral("homeassistant/status"), QStringLiteral("online")));
        QElapsedTimer clock;
        clock.start();
        while (FBroker.Retained({topic}, 1).isEmpty() && clock.elapsed() < kValueWaitMs)
            SpinEvents(100);
        QCOMPARE(FBroker.Retained({topic}).size(), 1);
    }

    // Home Assistant's announcement flooded: one republish for the burst, not one each.
    void homeAssistantFloodIsCoalesced()
    {
        const int configs = int(kPlantTopics.size() + kMetersTopics.size() + 2);
        TMqttSubscriber discovery(FBroker.Port(), {QStringLiteral("homeassistant/+/gw-lonworks/+/config")});
        QVERIFY(discovery.Started());
        QByteArray flood;
        for (int i = 0; i < 10000; ++i)
            flood += "online\n";
        QVERIFY(FBroker.PublishLines(QStringLiteral("homeassistant/status"), flood));
        QVERIFY2(discovery.WaitFor([&](const QString &) { return discovery.Lines().size() >= configs; }, kValueWaitMs),
                 "no discovery configs after the announcements");
        // Whatever else is still coming arrives within a few seconds; it must not be more
        // than one further round (the burst may outlast the longest wait under load).
        discovery.WaitFor([](const QString &) { return false; }, 5000);
        const qsizetype seen = discovery.Lines().size();
        QVERIFY2(seen <= 2 * configs, qPrintable(QStringLiteral("%1 configs for one burst of announcements").arg(seen)));
        // And the gateway still answers.
        QVERIFY(FBroker.Publish(QStringLiteral("lonworks/Plant/Lamp/set"), QStringLiteral("ON")));
        QVERIFY(WaitLine(QStringLiteral("lonworks/Plant/Lamp/state ON")));
    }

    void brokerRestartRepublishes()
    {
        FSub.reset();
        FBroker.Stop();
        SpinEvents(500);
        QVERIFY(FBroker.Start());   // same port, nothing retained
        QVERIFY(FBroker.Retained({QStringLiteral("lonworks/#")}, 1).isEmpty());
        FSub = std::make_unique<TMqttSubscriber>(FBroker.Port(), QStringList{QStringLiteral("lonworks/#")});
        FMark = 0;
        QVERIFY2(AllStatesRetained(kStateWaitMs), "the states were not published again");
        const QStringList statuses = FBroker.Retained({QStringLiteral("lonworks/+/status"),
                                                       QStringLiteral("lonworks/gateway/+/status")});
        QVERIFY2(statuses.contains(QStringLiteral("lonworks/Plant/status online")), qPrintable(statuses.join(u'\n')));
        QVERIFY(statuses.contains(QStringLiteral("lonworks/gateway/gw-lonworks/status online")));
        const QStringList configs = FBroker.Retained({QStringLiteral("homeassistant/#")});
        QCOMPARE(configs.size(), kPlantTopics.size() + kMetersTopics.size() + 2);
    }

    void driverKilledAndActivatedAgain()
    {
        const qint64 pid = DriverPid();
        QVERIFY(pid > 0);
        QVERIFY(::kill(pid_t(pid), SIGKILL) == 0);
        QVERIFY2(WaitLine(QStringLiteral("lonworks/Plant/status offline")), "the site did not go offline");
        QVERIFY2(WaitLine(QStringLiteral("lonworks/Plant/status online"), kStateWaitMs),
                 "the site did not come back with a new driver");
        QVERIFY(WaitLine(QStringLiteral("lonworks/Meters/status online"), kStateWaitMs));
        const qint64 again = DriverPid();
        QVERIFY(again > 0 && again != pid);
        // The new driver polls the points the gateway sent again.
        QVERIFY(!Control({QStringLiteral("set RoomController 0 0A28")}, QStringLiteral("RoomController")).isEmpty());
        QVERIFY(WaitLine(QStringLiteral("lonworks/Plant/Space_temperature/state 26")));
    }

    void sigtermPublishesOffline()
    {
        FGateway->terminate();
        QVERIFY2(FGateway->waitForFinished(30000), "the gateway did not end on SIGTERM");
        QCOMPARE(FGateway->exitStatus(), QProcess::NormalExit);
        QCOMPARE(FGateway->exitCode(), 0);
        const QStringList statuses = FBroker.Retained({QStringLiteral("lonworks/+/status"),
                                                       QStringLiteral("lonworks/gateway/+/status")});
        QVERIFY2(statuses.contains(QStringLiteral("lonworks/Plant/status offline")), qPrintable(statuses.join(u'\n')));
        QVERIFY(statuses.contains(QStringLiteral("lonworks/Meters/status offline")));
        QVERIFY(statuses.contains(QStringLiteral("lonworks/gateway/gw-lonworks/status offline")));
    }

    void killedGatewayLeavesItsWill()
    {
        QVERIFY(StartGateway());
        QVERIFY(WaitLine(QStringLiteral("lonworks/gateway/gw-lonworks/status online")));
        QVERIFY(WaitLine(QStringLiteral("lonworks/Plant/status online"), kStateWaitMs));
        FGateway->kill();
        QVERIFY(FGateway->waitForFinished(10000));
        // The broker publishes the will as soon as the connection is gone.
        QVERIFY(WaitLine(QStringLiteral("lonworks/gateway/gw-lonworks/status offline")));
        QVERIFY(FBroker.Retained({QStringLiteral("lonworks/gateway/+/status")})
                    .contains(QStringLiteral("lonworks/gateway/gw-lonworks/status offline")));
    }

    void onceSnapshotThenExit()
    {
        const QString config = WriteConfig(QStringLiteral("once.json"), QStringLiteral("snap"));
        QProcess once;
        once.setProcessEnvironment(ChildEnvironment());
        once.setProcessChannelMode(QProcess::ForwardedChannels);
        once.start(Program(QStringLiteral("lonworks-gateway")),
                   {QStringLiteral("--config"), config, QStringLiteral("--once"), QStringLiteral("--once-timeout"),
                    QStringLiteral("60")});
        QVERIFY2(once.waitForFinished(90000), "--once did not end");
        QCOMPARE(once.exitCode(), 0);
        const QStringList states = FBroker.Retained({QStringLiteral("snap/+/+/state")});
        QCOMPARE(states.size(), kPlantTopics.size() + kMetersTopics.size());
        QVERIFY(FBroker.Retained({QStringLiteral("snap/gateway/+/status")})
                    .contains(QStringLiteral("snap/gateway/gw-snap/status offline")));
    }

    // A point that never gets a value (its device does not answer) fails the snapshot.
    void onceWithoutEveryValueFails()
    {
        const QString config = WriteConfig(QStringLiteral("gaps.json"), QStringLiteral("gaps"),
                                           QStringLiteral(",\n      {\"address\": \"0:1:99:1:105:0:3:105\", \"name\": \"Nobody\"}"));
        QProcess once;
        once.setProcessEnvironment(ChildEnvironment());
        once.start(Program(QStringLiteral("lonworks-gateway")),
                   {QStringLiteral("--config"), config, QStringLiteral("--once"), QStringLiteral("--once-timeout"),
                    QStringLiteral("15")});
        QVERIFY2(once.waitForFinished(90000), "--once did not end");
        const QString log = QString::fromUtf8(once.readAllStandardError());
        QCOMPARE(once.exitCode(), 3);
        QVERIFY2(log.contains(QStringLiteral("1 point had no value")), qPrintable(log));
    }
};

QTEST_GUILESS_MAIN(TestGatewayEndToEnd)
#include "tst_gateway_e2e.moc"
