// Hostile and heavy clients against the real driver on the test's own bus: every request
// is bounded in work, every resource a client can make the driver hold has a limit with a
// clear refusal, the driver leaves neither its bus nor its other clients, registration
// never writes through a link, and a newcomer who races the last client's leaving ends
// with a working site.

#include "ActivationBus.h"
#include "DriverClient.h"
#include "DriverProcess.h"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

namespace {

const QString kLimitsExceeded = QStringLiteral("org.freedesktop.DBus.Error.LimitsExceeded");
const QString kDevice = QStringLiteral("QelDevice.IQelDeviceDriver");
const QString kTrue = QStringLiteral("COMMANDSTATUS=TRUE");
const QString kZoneTemp = QStringLiteral("0:1:20:1:105:0:3:105");   // LON1 AirHandler nvoZoneTemp

// A network of devices with one 4,096-element array each: `devices` of them give more
// point entries than one discovery may answer once there are more than 24.
QString WriteArrayNetwork(const QTemporaryDir &dir, int devices)
{
    QJsonArray list;
    for (int d = 0; d < devices; ++d) {
        const QJsonObject variable{{"name", "nvoTemps"}, {"snvt", 105}, {"direction", "out"},
                                   {"arrayCount", 4096}, {"size", 2}};
        list.append(QJsonObject{
            {"name", QStringLiteral("Array%1").arg(d)},
            {"neuronId", QStringLiteral("05:00:00:00:%1:02").arg(d, 2, 16, QLatin1Char('0'))},
            {"domains", QJsonArray{QJsonObject{{"id", "4C"}, {"subnet", 1}, {"node", 1 + d}}}},
            {"variables", QJsonArray{variable}}});
    }
    const QJsonObject root{
        {"timeScale", 0.001},
        {"interface", QJsonObject{{"neuronId", "05:00:00:00:00:01"},
                                  {"domains", QJsonArray{QJsonObject{{"id", "4C"}, {"subnet", 1}, {"node", 126}}}}}},
        {"devices", list}};
    QFile file(dir.filePath(QStringLiteral("ARRAYS.json")));
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(QJsonDocument(root).toJson(QJsonDocument::Compact));
    return file.fileName();
}

QStringList PointsList(int count, const QString &address = kZoneTemp)
{
    QStringList request{QStringLiteral("COMMAND=SENDPOINTSLIST")};
    request.reserve(count + 1);
    for (int n = 0; n < count; ++n)
        request.append(QStringLiteral("POINT%1={P%1}{").arg(n) + address + QStringLiteral(",%1}").arg(n));
    return request;
}

bool OpenCollected(TDriverClient &client, const QStringList &request)
{
    return client.Open(request) && client.WaitForStatus().value(0) == kTrue;
}

// Starts a call without waiting for it.
QDBusPendingCall Send(TDriverClient &client, const QString &method, const QVariant &request = QStringList())
{
    QDBusMessage call = QDBusMessage::createMethodCall(TDriverClient::BusName, client.Path(),
                                                       method == QLatin1String("Release")
                                                           ? QStringLiteral("QelLonWorks.Object")
                                                           : kDevice,
                                                       method);
    if (method != QLatin1String("Release"))
        call.setArguments({QVariant::fromValue(QDBusVariant(request))});
    return client.Bus().asyncCall(call, 30000);
}

// Keeps the driver's thread busy for a while (a points list of 30,000 entries on a site
// of its own), so the calls sent right behind it are all waiting when it is free again
// and are handled one after the other, before the next tick.
QDBusPendingCall KeepBusy(TDriverClient &busy)
{
    static const QStringList list = PointsList(30'000);
    return Send(busy, QStringLiteral("PutValue"), list);
}

// Waits at most 30 s: a driver that does not answer fails the case, not the whole run.
bool WaitFor(QDBusPendingCall &call)
{
    for (int i = 0; i < 600 && !call.isFinished(); ++i)
        SpinEvents(50);
    return call.isFinished();
}

} // namespace

class HostileTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir FNetworks;
    QString FArrayNetwork;
    TDriverProcess FDriver;

    // A connection of its own, as another process of a hostile user would have.
    static QDBusConnection OwnConnection(const QString &name)
    {
        return QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QLocale::setDefault(QLocale::c());
        FArrayNetwork = WriteArrayNetwork(FNetworks, 26);
        QVERIFY(!FArrayNetwork.isEmpty());
        QVERIFY2(FDriver.Start(), "lonworks-driver did not take its bus name");
    }

    void cleanupTestCase() { FDriver.Stop(); }

    // 1. A discovery larger than an answer may be stops at its limit; the driver stays on
    //    the bus and goes on serving.
    void discoveryPastItsLimitIsRefused()
    {
        TDriverClient client;
        QVERIFY(OpenCollected(client, {"DESCRIPTION=Arrays", "SP1=" + FArrayNetwork}));
        const QStringList answer =
            client.Run({QStringLiteral("COMMAND=GETDATA"), QStringLiteral("DRIVERCOMMAND=GETPOINTSLIST")}, 1200);
        QCOMPARE(answer.value(0), QStringLiteral("COMMANDSTATUS=FALSE"));
        QCOMPARE(answer.value(1), QStringLiteral("COMMANDERROR=Limit exceeded: point entries per discovery "
                                                 "(at most 100000)"));
        TDriverClient other;
        QVERIFY(OpenCollected(other, {"DESCRIPTION=Bystander", "OFFLINE=TRUE"}));
        QCOMPARE(other.Run({"COMMAND=SITESTATUS"}).value(0), kTrue);
    }

    // 2. A points list of 100,000 entries is taken while other clients are answered; one
    //    entry more is refused, at the call or inside the job.
    void largePointsListIsTakenWhileOthersAreServed()
    {
        TDriverClient heavy;
        TDriverClient other;
        QVERIFY(OpenCollected(heavy, {"DESCRIPTION=Heavy", "OFFLINE=TRUE"}));
        QVERIFY(OpenCollected(other, {"DESCRIPTION=Light", "OFFLINE=TRUE"}));
        QDBusPendingCall big = Send(heavy, QStringLiteral("PutValue"), PointsList(100'000));
        QDBusPendingCall small = Send(other, QStringLiteral("GetValue"), QStringLiteral("COMMAND=SITETIME"));
        QVERIFY(WaitFor(small));
        QVERIFY2(!small.isError(), qPrintable(small.error().message()));
        QVERIFY(WaitFor(big));
        QVERIFY2(!big.isError(), qPrintable(big.error().message()));
        QCOMPARE(TDriverClient::Texts(big.reply().arguments().value(0).value<QDBusVariant>().variant()).value(0),
                 kTrue);
    }

    void pointsListPastItsLimitIsRefused()
    {
        TDriverClient client;
        QVERIFY(OpenCollected(client, {"DESCRIPTION=TooMany", "OFFLINE=TRUE"}));
        QStringList request = PointsList(100'001);
        QVERIFY(client.PutValue(request).isNull());
        QCOMPARE(client.LastError().name(), kLimitsExceeded);
        QVERIFY(client.LastError().message().contains(QLatin1String("entries per points list")));
        // As a job: the limit is the command's error.
        request.first() = QStringLiteral("COMMAND=SENDPOINTSLIST");
        const QStringList answer = client.Run(request, 600);
        QCOMPARE(answer.value(0), QStringLiteral("COMMANDSTATUS=FALSE"));
        QCOMPARE(answer.value(1), QStringLiteral("COMMANDERROR=Limit exceeded: entries per points list "
                                                 "(at most 100000)"));
    }

    // 3. Long texts are refused before they reach a window caption or the network.
    void longTextsAreRefused_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QStringList>("request");
        QTest::addColumn<QString>("limit");
        const QString mega(1 << 20, u'x');
        QTest::newRow("DESCRIPTION of 256 characters")
            << "Connect" << QStringList{"DESCRIPTION=" + QString(256, u'd')} << "characters per site setting";
        QTest::newRow("DESCRIPTION of 10 MB")
            << "Connect" << QStringList{"DESCRIPTION=" + QString(10 << 20, u'd')} << "characters per request entry";
        QTest::newRow("SP2 of 5 M junk characters")
            << "Connect" << QStringList{"DESCRIPTION=Junk", "SP2=" + QString(5 << 20, u'?')}
            << "characters per request entry";
        QTest::newRow("SP1 of 1,000 characters")
            << "Connect" << QStringList{"DESCRIPTION=Junk", "SP1=" + QString(1000, u'L')}
            << "characters per site setting";
        QTest::newRow("D- object name of 100 k characters")
            << "GetValue"
            << QStringList{"COMMAND=POINTVERIFY", "POINT={P}{" + kZoneTemp + ",1,D-" + QString(100'000, u'V') + "}"}
            << "characters per request entry";
        QTest::newRow("1 MB command") << "GetValue" << QStringList{"COMMAND=" + mega} << "characters per request entry";
    }

    void longTextsAreRefused()
    {
        QFETCH(QString, method);
        QFETCH(QStringList, request);
        QFETCH(QString, limit);
        TDriverClient client;
        QVERIFY(OpenCollected(client, {"DESCRIPTION=Texts", "OFFLINE=TRUE"}));
        QDBusPendingCall call = Send(client, method, request);
        QVERIFY(WaitFor(call));
        QCOMPARE(call.error().name(), kLimitsExceeded);
        QVERIFY2(call.error().message().contains(limit), qPrintable(call.error().message()));
        // The object goes on working and its site is the one it had.
        QCOMPARE(client.Run({"COMMAND=SITESTATUS"}).value(3), QStringLiteral("Texts"));
    }

    // 4. Objects per connection, sites per process: refused past the limit, and free again
    //    once their holder has gone.
    void objectsPerConnectionAreLimited()
    {
        QDBusConnection bus = OwnConnection(QStringLiteral("objects"));
        std::vector<std::unique_ptr<TDriverClient>> clients;
        for (int i = 0; i < 64; ++i) {
            clients.push_back(std::make_unique<TDriverClient>(bus));
            QVERIFY2(clients.back()->Create(), qPrintable(clients.back()->LastError().message()));
        }
        TDriverClient tooMany(bus);
        QVERIFY(!tooMany.Create());
        QCOMPARE(tooMany.LastError().name(), kLimitsExceeded);
        QCOMPARE(tooMany.LastError().message(),
                 QStringLiteral("Limit exceeded: driver objects per connection (at most 64)"));
        // Another connection is not held back.
        TDriverClient other;
        QVERIFY(other.Create());
        // Releasing one makes room for one.
        QVERIFY(clients.back()->Release());
        clients.pop_back();
        QVERIFY(tooMany.Create());
        clients.clear();
        tooMany.Release();
        QDBusConnection::disconnectFromBus(QStringLiteral("objects"));
    }

    void sitesPerProcessAreLimited()
    {
        // Every connection may hold 64 objects: three connections reach the site limit.
        std::vector<std::unique_ptr<TDriverClient>> clients;
        QString refusal;
        for (int i = 0; i < 192 && refusal.isEmpty(); ++i) {
            QDBusConnection bus = OwnConnection(QStringLiteral("sites%1").arg(i / 64));
            clients.push_back(std::make_unique<TDriverClient>(bus));
            TDriverClient &client = *clients.back();
            QVERIFY(client.Create());
            QVERIFY(client.Setup(QStringLiteral("VERSIONCHECK=1.8")));
            if (!client.Connect(QStringList{QStringLiteral("DESCRIPTION=Many%1").arg(i), "OFFLINE=TRUE"}))
                refusal = client.LastError().name() + u' ' + client.LastError().message();
        }
        QCOMPARE(refusal, kLimitsExceeded + QStringLiteral(" Limit exceeded: sites per process (at most 128)"));
        // Once their clients are gone the sites are too, and a new one can be made.
        clients.clear();
        for (int i = 0; i < 3; ++i)
            QDBusConnection::disconnectFromBus(QStringLiteral("sites%1").arg(i));
        TDriverClient client;
        QVERIFY(OpenCollected(client, {"DESCRIPTION=AfterMany", "OFFLINE=TRUE"}));
    }

    // 5. Registration never follows a link placed where its files or folders belong.
    void registrationRefusesLinks_data()
    {
        QTest::addColumn<QString>("link");
        QTest::newRow("service file") << "dbus-1/services/QelLonWorks.QelLonWorksCom.service";
        QTest::newRow("interface description") << "dbus-1/interfaces/QelDevice.IQelDeviceDriver.xml";
        QTest::newRow("services folder") << "dbus-1/services";
    }

    void registrationRefusesLinks()
    {
        QFETCH(QString, link);
        QTemporaryDir dir;
        const QString dataHome = dir.filePath(QStringLiteral("data"));
        const QString victim = dir.filePath(QStringLiteral("victim"));
        QVERIFY(QDir().mkpath(dataHome + QStringLiteral("/dbus-1/interfaces")));
        QVERIFY(QDir().mkpath(victim));
        QFile precious(victim + QStringLiteral("/keep"));
        QVERIFY(precious.open(QIODevice::WriteOnly));
        precious.write("precious\n");
        precious.close();
        const QString linkPath = dataHome + u'/' + link;
        QVERIFY(QDir().mkpath(QFileInfo(linkPath).absolutePath()));
        const QString target = link.endsWith(QLatin1String("services")) ? victim : precious.fileName();
        QVERIFY(QFile::link(target, linkPath));

        for (const QString &mode : {QStringLiteral("-regserver"), QStringLiteral("-unregserver")}) {
            QProcess registration;
            registration.setProcessEnvironment(TDriverProcess::Environment(dataHome));
            registration.start(TDriverProcess::DriverPath(), {mode});
            QVERIFY(registration.waitForFinished(30000));
            QVERIFY2(registration.exitCode() != 0, qPrintable(mode));
            QVERIFY2(registration.readAllStandardError().contains("is a symbolic link"), qPrintable(mode));
        }
        QVERIFY(QFileInfo(linkPath).isSymLink());
        QVERIFY(precious.open(QIODevice::ReadOnly));
        QCOMPARE(precious.readAll(), QByteArray("precious\n"));
        QCOMPARE(QDir(victim).entryList(QDir::Files), QStringList{QStringLiteral("keep")});
    }

    // 6. The driver ends, with a reason and a failure status, when its bus goes away.
    void driverEndsWhenItsBusIsGone_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("standalone") << QStringList{};
        QTest::newRow("-embedding") << QStringList{QStringLiteral("-embedding")};
    }

    void driverEndsWhenItsBusIsGone()
    {
        QFETCH(QStringList, arguments);
        TActivationBus bus;
        QVERIFY(bus.Start());
        QProcess driver;
        QProcessEnvironment environment = TDriverProcess::Environment(bus.DataHome());
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.Address());
        driver.setProcessEnvironment(environment);
        driver.start(TDriverProcess::DriverPath(), arguments);
        QVERIFY(driver.waitForStarted());
        const auto stop = qScopeGuard([&driver] {
            driver.kill();
            driver.waitForFinished(5000);
        });
        QVERIFY(bus.WaitForDriver(true));
        bus.StopDaemon();
        QVERIFY(driver.waitForFinished(20000));
        QCOMPARE(driver.exitStatus(), QProcess::NormalExit);
        QVERIFY(driver.exitCode() != 0);
        QVERIFY(driver.readAllStandardError().contains("lost the connection to the session bus"));
    }

    // 7a. The last client disconnects and another connects before the tick: the newcomer
    //     keeps the interface open.
    void connectRacingTheLastDisconnect()
    {
        TDriverClient last;
        TDriverClient newcomer;
        TDriverClient busy;
        QVERIFY(OpenCollected(last, {"DESCRIPTION=RaceA"}));
        QVERIFY(OpenCollected(busy, {"DESCRIPTION=BusyA", "OFFLINE=TRUE"}));
        QVERIFY(newcomer.Create());
        QVERIFY(newcomer.Setup(QStringLiteral("VERSIONCHECK=1.8")));
        QDBusPendingCall work = KeepBusy(busy);
        QDBusPendingCall disconnect = Send(last, QStringLiteral("Disconnect"));
        QDBusPendingCall connect = Send(newcomer, QStringLiteral("Connect"), QStringList{"DESCRIPTION=RaceA"});
        QVERIFY(WaitFor(work) && WaitFor(disconnect) && WaitFor(connect));
        QVERIFY(connect.reply().arguments().value(0).toBool());
        QCOMPARE(newcomer.WaitForStatus().value(0), kTrue);
        last.Release();
        // The site is online and its points are read.
        SpinEvents(300);
        const QStringList status = newcomer.Run({"COMMAND=SITESTATUS"});
        QCOMPARE(status.value(0), kTrue);
        QVERIFY2(status.size() > 5, qPrintable(status.join(u'|')));
        const QStringList read = newcomer.Run({"COMMAND=POINTGETVALUE", "POINT={Z}{" + kZoneTemp + "}"});
        QCOMPARE(read.value(0), kTrue);
    }

    // 7b. The last client's release and another client's connect arrive together: the
    //     newcomer gets a working site, not the form on its way out.
    void connectRacingTheLastRelease()
    {
        auto last = std::make_unique<TDriverClient>();
        TDriverClient newcomer;
        TDriverClient busy;
        QVERIFY(OpenCollected(*last, {"DESCRIPTION=RaceB"}));
        QVERIFY(OpenCollected(busy, {"DESCRIPTION=BusyB", "OFFLINE=TRUE"}));
        QVERIFY(newcomer.Create());
        QVERIFY(newcomer.Setup(QStringLiteral("VERSIONCHECK=1.8")));
        QDBusPendingCall work = KeepBusy(busy);
        QDBusPendingCall release = Send(*last, QStringLiteral("Release"));
        QDBusPendingCall connect = Send(newcomer, QStringLiteral("Connect"), QStringList{"DESCRIPTION=RaceB"});
        QVERIFY(WaitFor(work) && WaitFor(release) && WaitFor(connect));
        last->Attach(QString());
        QVERIFY(connect.reply().arguments().value(0).toBool());
        QCOMPARE(newcomer.WaitForStatus().value(0), kTrue);
        SpinEvents(300);
        QCOMPARE(newcomer.Run({"COMMAND=SITESTATUS"}).value(0), kTrue);
        QCOMPARE(newcomer.Run({"COMMAND=POINTGETVALUE", "POINT={Z}{" + kZoneTemp + "}"}).value(0), kTrue);
    }

    // 8. Answers checked one by one (kept as they are).
    void scaleThatIsNoNumberDoesNotScale_data()
    {
        QTest::addColumn<QString>("scale");
        QTest::newRow("nan") << "nan";
        QTest::newRow("inf") << "inf";
    }

    void scaleThatIsNoNumberDoesNotScale()
    {
        QFETCH(QString, scale);
        TDriverClient client;
        QVERIFY(OpenCollected(client, {"DESCRIPTION=Scales"}));
        const QStringList plain = client.Run({"COMMAND=POINTGETVALUE", "POINT={Z}{" + kZoneTemp + "}"});
        const QStringList scaled = client.Run({"COMMAND=POINTGETVALUE", "POINT={Z}{" + kZoneTemp + u',' + scale + "}"});
        QCOMPARE(plain.value(0), kTrue);
        QCOMPARE(scaled.value(0), kTrue);
        // Unscaled: the zone temperature, not nan nor 0.
        bool plainOk = false;
        bool scaledOk = false;
        const double plainValue = plain.value(3).section(u'=', 1).toDouble(&plainOk);
        const double scaledValue = scaled.value(3).section(u'=', 1).toDouble(&scaledOk);
        QVERIFY2(plainOk && scaledOk, qPrintable(plain.value(3) + u' ' + scaled.value(3)));
        QVERIFY2(qAbs(plainValue - scaledValue) < 5.0 && qAbs(scaledValue) > 1.0, qPrintable(scaled.value(3)));
    }

    void bareNumberConnectsToTheUnnamedSite()
    {
        // A request that is one number is a list of one entry with no DESCRIPTION: the
        // site without a name, as for any Connect that names none.
        TDriverClient client;
        QVERIFY(client.Create());
        QVERIFY(client.Setup(QStringLiteral("VERSIONCHECK=1.8")));
        QVERIFY(client.Connect(QVariant(qint32(7))));
        QCOMPARE(client.WaitForStatus().value(0), kTrue);
        QCOMPARE(client.Run({"COMMAND=SITESTATUS"}).value(3), QStringLiteral("Site: "));
    }
};

QTEST_GUILESS_MAIN(HostileTest)
#include "tst_hostile.moc"
