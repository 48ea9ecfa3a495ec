// Faults the driver must live through: a client killed while its command runs, a device
// that goes silent and comes back, interfaces that do not open, a device that answers
// with malformed frames, and the driver itself killed and started again by the bus.
#include "ActivationBus.h"
#include "PointsSession.h"

#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QProcess>
#include <QTest>

#include <csignal>

namespace {

const QString kZoneTemp = QStringLiteral("0:1:20:1:105:0:3:105");           // AirHandler nvoZoneTemp
const QString kAirStatus = QStringLiteral("0:1:20:0:0:0:0:0,0,D-X1");       // AirHandler reachable
const QString kRoomSetpoint = QStringLiteral("0:1:10:1:105:0:3:105");       // RoomController nviSetpoint

bool Ok(const QString &controlResult)
{
    return !controlResult.isEmpty() && !controlResult.contains(QLatin1String("error"))
           && !controlResult.startsWith(QLatin1String("no answer"));
}

// Fetches the driver wrote to subnet/node for one variable, from the session's trace.
int VariableFetches(const QString &tracePath, int subnet, int node, int index)
{
    QFile file(tracePath);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    int count = 0;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const qsizetype at = line.indexOf(" write ");
        const QByteArray f = at < 0 ? QByteArray() : QByteArray::fromHex(line.mid(at + 7));
        if (f.size() > 17 && quint8(f[16]) == 0x73 && quint8(f[17]) == index && (quint8(f[6]) & 0x7F) == node
            && quint8(f[9]) == subnet)
            ++count;
    }
    return count;
}

// A site that works: SITESTATUS answers the 17 lines of an online site.
bool SiteWorks(TDriverClient &client)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QStringList answer = client.Run({QStringLiteral("COMMAND=SITESTATUS")});
        if (answer.value(0) == QLatin1String("COMMANDSTATUS=TRUE"))
            return answer.size() == 3 + 17;
        SpinEvents(100);
    }
    return false;
}

// A client on a site of its own whose polling keeps the simulator's control channel
// looked at (it is read on the driver's network calls).
bool OpenAnchor(TDriverClient &anchor)
{
    return OpenLon1(anchor, QStringLiteral("Anchor"))
           && anchor.Put(PointsList({kRoomSetpoint})).value(0) == QLatin1String("COMMANDSTATUS=TRUE");
}

} // namespace

class FaultsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void clientKilledWhileItsCommandRuns_data()
    {
        QTest::addColumn<bool>("otherClientOnSite");
        QTest::newRow("the site's only client") << false;
        QTest::newRow("one of two clients") << true;
    }
    void clientKilledWhileItsCommandRuns()
    {
        QFETCH(bool, otherClientOnSite);
        TPointsSession session;
        // Real time: a fetch from a silent device waits 1.5 s for its failure.
        QVERIFY(session.Start(1.0));
        TDriverClient anchor;
        QVERIFY(OpenAnchor(anchor));
        QVERIFY(Ok(session.Control({QStringLiteral("silent AirHandler on")})));
        TDriverClient other;
        if (otherClientOnSite)
            QVERIFY(OpenLon1(other, QStringLiteral("Killed")));

        QProcess victim;
        victim.start(QCoreApplication::applicationDirPath() + QStringLiteral("/lw-fault-client"),
                     {QStringLiteral("DESCRIPTION=Killed"), QStringLiteral("SP1=LON1"), QStringLiteral("--"),
                      QStringLiteral("COMMAND=POINTGETVALUE"), QStringLiteral("POINT={Zone}{") + kZoneTemp + u'}'});
        QVERIFY(victim.waitForStarted());
        QByteArray output;
        for (int i = 0; i < 600 && !output.contains("STARTED"); ++i) {
            victim.waitForReadyRead(50);
            output += victim.readAllStandardOutput();
        }
        QVERIFY2(output.contains("COMMANDSTATUS=Reading Point Value..."), output.constData());
        // Past the next tick the job waits on the silent device; the client dies meanwhile.
        SpinEvents(400);
        ::kill(pid_t(victim.processId()), SIGKILL);
        QVERIFY(victim.waitForFinished(10000));

        // The driver lives on; the site frees up for the other client or a newcomer.
        QVERIFY(session.Driver.Process().state() == QProcess::Running);
        if (otherClientOnSite) {
            QVERIFY(SiteWorks(other));
        }
        TDriverClient newcomer;
        QVERIFY(OpenLon1(newcomer, QStringLiteral("Killed")));
        QVERIFY(SiteWorks(newcomer));
        QVERIFY(session.Driver.Process().state() == QProcess::Running);
    }

    void silentDeviceComesBackAfterANewList()
    {
        TPointsSession session;
        QVERIFY(session.Start(0.05));
        const QString trace = session.Driver.Process().processEnvironment().value(QStringLiteral("LONSIM_TRACE"));
        TDriverClient client;
        QVERIFY(OpenLon1(client, QStringLiteral("Silent")));
        QCOMPARE(client.Put(PointsList({kAirStatus, kZoneTemp})).value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
        QVERIFY(WaitForListedValue(client, kAirStatus, QStringLiteral("1")));
        // The value point is fetched on the tick after the status point: wait for it too.
        QTRY_VERIFY_WITH_TIMEOUT(!ListedValue(client, kZoneTemp).isEmpty(), 20000);
        const QString before = ListedValue(client, kZoneTemp);

        QVERIFY(Ok(session.Control({QStringLiteral("silent AirHandler on")})));
        QVERIFY(WaitForListedValue(client, kAirStatus, QStringLiteral("0")));
        // The value point is tried three times, then left alone.
        const int start = VariableFetches(trace, 1, 20, 1);
        int fetches = start;
        for (int quiet = 0, round = 0; quiet < 3 && round < 60; ++round) {
            SpinEvents(1000);
            const int now = VariableFetches(trace, 1, 20, 1);
            quiet = now == fetches ? quiet + 1 : 0;
            fetches = now;
        }
        QVERIFY2(fetches - start <= 4, qPrintable(QString::number(fetches - start)));
        QCOMPARE(client.Run({QStringLiteral("COMMAND=POINTGETVALUE"), QStringLiteral("POINT={Z}{") + kZoneTemp + u'}'})
                     .value(1),
                 QStringLiteral("COMMANDERROR=Could not read data from panel."));

        // Back again: the status point follows at once; the value point only once listed anew.
        QVERIFY(Ok(session.Control({QStringLiteral("answer AirHandler"), QStringLiteral("set AirHandler 1 07D0")})));
        QVERIFY(WaitForListedValue(client, kAirStatus, QStringLiteral("1")));
        QCOMPARE(ListedValue(client, kZoneTemp), before);
        QCOMPARE(client.Put(PointsList({kAirStatus})).value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
        QCOMPARE(client.Put(PointsList({kAirStatus, kZoneTemp})).value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
        QVERIFY(WaitForListedValue(client, kZoneTemp, QStringLiteral("20.0000")));
    }

    void interfaceThatFailsToOpen_data()
    {
        QTest::addColumn<QByteArray>("description");   // written to the file; empty: no file
        QTest::addColumn<int>("error");
        QTest::newRow("unknown name") << QByteArray() << 1;
        QTest::newRow("file that does not parse") << QByteArray("{ \"name\": ") << 5;
        QTest::newRow("file that breaks the format") << QByteArray("{ \"name\": \"X\", \"devices\": [] }") << 5;
    }
    void interfaceThatFailsToOpen()
    {
        QFETCH(QByteArray, description);
        QFETCH(int, error);
        TPointsSession session;
        QVERIFY(session.Start(0.05));
        TDriverClient working;
        QVERIFY(OpenLon1(working, QStringLiteral("Working")));

        QTemporaryDir dir;
        QString name = QStringLiteral("NOSUCHNETWORK");
        if (!description.isEmpty()) {
            name = dir.filePath(QStringLiteral("broken.json"));
            QFile file(name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(description);
        }
        TDriverClient failing;
        QVERIFY(failing.Open({QStringLiteral("DESCRIPTION=Failing"), QStringLiteral("SP1=") + name}));
        const QStringList answer = failing.WaitForStatus();
        QCOMPARE(answer.value(0), QStringLiteral("COMMANDSTATUS=FALSE"));
        QCOMPARE(answer.value(1), QStringLiteral("COMMANDERROR=Could not connect to the LonWorks Interface named \"%1\"...Error #%2")
                                      .arg(name).arg(error));
        // The failed site answers as offline; the other site goes on working.
        QCOMPARE(failing.Run({QStringLiteral("COMMAND=SITESTATUS")}).mid(3), (QStringList{"Failing", "Offline"}));
        QVERIFY(SiteWorks(working));
        QCOMPARE(working.Put(PointsList({kRoomSetpoint})).value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
        QVERIFY(WaitForListedValue(working, kRoomSetpoint, QStringLiteral("21.5000")));
    }

    void deviceSendingMalformedFrames_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char *kind : {"wrongLength", "wrongCode", "lyingLength", "oversized"})
            QTest::newRow(kind) << QString::fromLatin1(kind);
    }
    void deviceSendingMalformedFrames()
    {
        QFETCH(QString, kind);
        TPointsSession session;
        QVERIFY(session.Start(0.05));
        TDriverClient anchor;
        QVERIFY(OpenAnchor(anchor));
        QVERIFY(Ok(session.Control({QStringLiteral("malformed AirHandler %1 1").arg(kind)})));
        TDriverClient client;
        QVERIFY(OpenLon1(client, QStringLiteral("Malformed")));
        QCOMPARE(client.Put(PointsList({kZoneTemp, kRoomSetpoint})).value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
        QVERIFY(WaitForListedValue(client, kRoomSetpoint, QStringLiteral("21.5000")));
        // Reads and discovery meet the spoilt answers too.
        client.Run({QStringLiteral("COMMAND=POINTGETVALUE"), QStringLiteral("POINT={Z}{") + kZoneTemp + u'}'});
        const QStringList found = client.Run({QStringLiteral("COMMAND=GETDATA"), QStringLiteral("DRIVERCOMMAND=GETPOINTSLIST")}, 600);
        QCOMPARE(found.value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
        // The other devices' values keep coming.
        QVERIFY(Ok(session.Control({QStringLiteral("set RoomController 1 0898")})));
        QVERIFY(WaitForListedValue(client, kRoomSetpoint, QStringLiteral("22.0000")));
        QVERIFY(session.Driver.Process().state() == QProcess::Running);
    }

    void driverKilledIsStartedAgainByTheBus()
    {
        TActivationBus activation;
        QProcess registration;
        registration.setProcessEnvironment(TDriverProcess::Environment(activation.DataHome()));
        registration.start(TDriverProcess::DriverPath(), {QStringLiteral("-regserver")});
        QVERIFY(registration.waitForFinished(30000));
        QCOMPARE(registration.exitCode(), 0);
        QVERIFY(activation.Start());
        {
            QDBusConnection bus = activation.Connection();
            const auto driverPid = [&bus]() -> uint {
                const QDBusReply<uint> pid = bus.interface()->servicePid(TDriverClient::BusName);
                return pid.isValid() ? pid.value() : 0;
            };
            QString firstPath;
            uint firstPid = 0;
            {
                TDriverClient client(bus);
                QVERIFY2(client.Create(), qPrintable(client.LastError().message()));
                QVERIFY(client.Open({QStringLiteral("DESCRIPTION=Activated"), QStringLiteral("SP1=LON1")}));
                QCOMPARE(client.WaitForStatus().value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
                firstPath = client.Path();
                firstPid = driverPid();
                QVERIFY(firstPid != 0);
                ::kill(pid_t(firstPid), SIGKILL);
                // The dead driver's object is gone with it.
                QVERIFY(activation.WaitForDriver(false));
                QVERIFY(client.Get(QStringLiteral("COMMAND=COMMANDSTATUS")).isEmpty());
                QVERIFY(client.LastError().isValid());
                client.Attach(QString());
            }
            // The next call to the bus name starts a new driver, which serves from scratch.
            TDriverClient client(bus);
            QVERIFY2(client.Create(), qPrintable(client.LastError().message()));
            QVERIFY(driverPid() != 0 && driverPid() != firstPid);
            QVERIFY(client.Open({QStringLiteral("DESCRIPTION=Activated"), QStringLiteral("SP1=LON1")}));
            QCOMPARE(client.WaitForStatus().value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
            QVERIFY(SiteWorks(client));
            QVERIFY(client.Release());
            QVERIFY2(activation.WaitForDriver(false),
                     "the driver started by the bus did not end with its last object");
        }
    }
};

QTEST_GUILESS_MAIN(FaultsTest)
#include "tst_faults.moc"
