// A site on a LON network device, end to end: the driver on the test's bus opens lon0 by
// its own name (no interfaces-file entry); the device is taken away and made again while
// the site polls; the first read after an adapter reset or after the device came back
// succeeds, and lonctl status shows the interface lost while it is gone; a device that is
// not there and a driver without CAP_NET_RAW give the client a connect error with their
// own status.
#include "LonctlRun.h"
#include "PointsSession.h"

#include <QtTest>

namespace {

const QString AirStatus = QStringLiteral("0:1:20:0:0:0:0:0,0,D-X1");     // AirHandler answers: 1
const QString RoomSetpoint = QStringLiteral("0:1:10:1:105:0:3:105");

QStringList StandInArguments(const QString &folder)
{
    return {QStringLiteral("--network"), QStringLiteral("LON1"), QStringLiteral("--control"), folder,
            QStringLiteral("--trace"), QDir(folder).filePath(QStringLiteral("trace.txt"))};
}

// Adapter resets the stand-in has sent up so far ("up 50 00" in its trace).
int ResetsSent(const QString &folder)
{
    QFile file(QDir(folder).filePath(QStringLiteral("trace.txt")));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return int(file.readAll().count(" lon0 up 50 00"));
}

// lonctl status --json of the site Plant on lon0: whether it says the interface is lost.
QString InterfaceLost()
{
    const TLonctlResult status = RunLonctl({QStringLiteral("status"), QStringLiteral("--site"), QStringLiteral("Plant"),
                                            QStringLiteral("--interface"), QStringLiteral("lon0"), QStringLiteral("--json")});
    if (status.ExitCode != 0)
        return QStringLiteral("exit %1: %2").arg(status.ExitCode).arg(status.Err);
    return QJsonDocument::fromJson(status.Out.toUtf8()).object().value(QStringLiteral("interfaceLost")).toBool()
               ? QStringLiteral("lost")
               : QStringLiteral("open");
}

} // namespace

class TestE2ELonnetDevice : public QObject
{
    Q_OBJECT

    QTemporaryDir FDir;

    bool StartDriver(TDriverProcess &driver, const QStringList &launcher = {})
    {
        driver.SetEnvironment(TDriverProcess::Environment(driver.DataHome()));
        driver.SetLauncher(launcher);
        return driver.Start();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QLocale::setDefault(QLocale::c());
        if (const QString why = TPointsSession::SkipReason(); !why.isEmpty())
            QSKIP(qPrintable(why));
        QVERIFY(FDir.isValid());
    }

    void openErrorsReachTheClient_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QStringList>("launcher");
        QTest::addColumn<int>("status");
        QTest::newRow("no such device") << QStringLiteral("lon7") << QStringList() << 1;
        // The driver as root, but without the capability a packet socket needs.
        QTest::newRow("no CAP_NET_RAW")
            << QStringLiteral("lon0")
            << QStringList{QStringLiteral("setpriv"), QStringLiteral("--inh-caps=-net_raw"),
                           QStringLiteral("--bounding-set=-net_raw"), QStringLiteral("--")}
            << 19;
    }
    void openErrorsReachTheClient()
    {
        QFETCH(QString, device);
        QFETCH(QStringList, launcher);
        QFETCH(int, status);
        TStandIn standIn;
        QVERIFY(standIn.Start(StandInArguments(FDir.path())));
        TDriverProcess driver;
        QVERIFY2(StartDriver(driver, launcher), "lonworks-driver did not take its bus name");
        TDriverClient client;
        QVERIFY(client.Open({QStringLiteral("DESCRIPTION=Plant"), QStringLiteral("SP1=") + device}));
        const QStringList answer = client.WaitForStatus(200);
        QCOMPARE(answer.value(0), QStringLiteral("COMMANDSTATUS=FALSE"));
        QCOMPARE(answer.value(1), QStringLiteral("COMMANDERROR=Could not connect to the LonWorks Interface named "
                                                 "\"%1\"...Error #%2")
                                      .arg(device)
                                      .arg(status));
        client.Release();
        driver.Stop();
    }

    // Each read comes right after an adapter reset (the stand-in has sent 50 00) or right
    // after lon0 came back: the interface is setting layer 5 again, and the read waits for
    // it instead of failing.
    void firstReadAfterResetOrReplug_data()
    {
        QTest::addColumn<QString>("module");
        QTest::addColumn<bool>("replug");
        QTest::newRow("reset, u61") << QStringLiteral("u61") << false;
        QTest::newRow("reset, u50") << QStringLiteral("u50") << false;
        QTest::newRow("replug, u50") << QStringLiteral("u50") << true;
    }
    void firstReadAfterResetOrReplug()
    {
        QFETCH(QString, module);
        QFETCH(bool, replug);
        const QStringList arguments = StandInArguments(FDir.path()) + QStringList{QStringLiteral("--module"), module};
        TStandIn standIn;
        QVERIFY(standIn.Start(arguments));
        TDriverProcess driver;
        QVERIFY2(StartDriver(driver), "lonworks-driver did not take its bus name");
        TDriverClient client;
        QVERIFY(client.Open({QStringLiteral("DESCRIPTION=Plant"), QStringLiteral("SP1=lon0")}));
        QCOMPARE(client.WaitForStatus(200).value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
        const QStringList read{QStringLiteral("COMMAND=POINTGETVALUE"), QStringLiteral("POINT={T}{") + RoomSetpoint + '}'};
        QCOMPARE(client.Run(read).value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
        QStringList failed;
        for (int round = 0; round < 3; ++round) {
            if (replug) {
                standIn.Stop();
                QCOMPARE(InterfaceLost(), QStringLiteral("lost"));
                QVERIFY(standIn.Start(arguments));
            } else {
                const int resets = ResetsSent(FDir.path());
                standIn.Signal(SIGUSR1);
                QTRY_VERIFY_WITH_TIMEOUT(ResetsSent(FDir.path()) > resets, 5000);
            }
            const QStringList answer = client.Run(read);
            if (answer.value(0) != QLatin1String("COMMANDSTATUS=TRUE") || Result(answer).value(0) != QLatin1String("VALUE=21.5000"))
                failed.append(answer.join(QLatin1Char('|')));
        }
        QVERIFY2(failed.isEmpty(), qPrintable(failed.join(QLatin1Char('\n'))));
        if (replug)
            QCOMPARE(InterfaceLost(), QStringLiteral("open"));
        client.Release();
        driver.Stop();
    }

    void deviceTakenAwayAndBack()
    {
        TStandIn standIn;
        QVERIFY(standIn.Start(StandInArguments(FDir.path())));
        TDriverProcess driver;
        QVERIFY2(StartDriver(driver), "lonworks-driver did not take its bus name");
        TDriverClient client;
        QVERIFY(client.Open({QStringLiteral("DESCRIPTION=Plant"), QStringLiteral("SP1=lon0")}));
        QCOMPARE(client.WaitForStatus(200).value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
        QCOMPARE(client.Put(PointsList({AirStatus, RoomSetpoint})).value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
        QVERIFY(WaitForListedValue(client, AirStatus, QStringLiteral("1")));
        QVERIFY(WaitForListedValue(client, RoomSetpoint, QStringLiteral("21.5000")));

        // The adapter is unplugged: lon0 goes away. The site reports the loss.
        standIn.Stop();
        QVERIFY(WaitForListedValue(client, AirStatus, QStringLiteral("0")));
        const QStringList gone = client.Run({QStringLiteral("COMMAND=POINTGETVALUE"), QStringLiteral("POINT={T}{") + RoomSetpoint + '}'});
        QCOMPARE(gone.value(0), QStringLiteral("COMMANDSTATUS=FALSE"));

        // Plugged in again: the library reopens lon0 by name and the site polls again.
        QVERIFY(standIn.Start(StandInArguments(FDir.path())));
        QVERIFY(WaitForListedValue(client, AirStatus, QStringLiteral("1")));
        const QStringList back = client.Run({QStringLiteral("COMMAND=POINTGETVALUE"), QStringLiteral("POINT={T}{") + RoomSetpoint + '}'});
        QCOMPARE(back.value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
        QCOMPARE(Result(back).value(0), QStringLiteral("VALUE=21.5000"));
        client.Release();
        driver.Stop();
    }
};

QTEST_GUILESS_MAIN(TestE2ELonnetDevice)
#include "tst_e2e_lonnet_device.moc"
