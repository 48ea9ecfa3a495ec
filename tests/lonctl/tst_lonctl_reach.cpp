// Reaching the driver: no driver on the bus, no bus at all, a driver started by D-Bus
// activation after `lonworks-driver -regserver` (the test's bus reads its service files
// from the test's own XDG_DATA_HOME), a registration that cannot start, and a driver that
// ends while lonctl works with it.
#include "DriverProcess.h"
#include "LonctlRun.h"

#include <QFile>
#include <QProcess>
#include <QTest>

class TestLonctlReach : public QObject
{
    Q_OBJECT

private:
    static QString ServiceFile()
    {
        return qEnvironmentVariable("XDG_DATA_HOME")
               + QStringLiteral("/dbus-1/services/QelLonWorks.QelLonWorksCom.service");
    }

    static int RunDriver(const QString &switchText)
    {
        QProcess process;
        process.setProcessEnvironment(LonctlEnvironment());
        process.start(TDriverProcess::DriverPath(), {switchText});
        if (!process.waitForFinished(30000)) {
            process.kill();
            process.waitForFinished(5000);
            return -1;
        }
        return process.exitCode();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("XDG_DATA_HOME"), "the test needs its own data folder");
        RunDriver(QStringLiteral("-unregserver"));
        QVERIFY(!QFile::exists(ServiceFile()));
        QVERIFY(!TDriverProcess::BusNameOwned());
    }

    void cleanupTestCase()
    {
        RunDriver(QStringLiteral("-unregserver"));
    }

    void noDriverOnTheBus_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("status") << QStringList{"status", "--site", "S"};
        QTest::newRow("discover") << QStringList{"discover", "--site", "S", "--json"};
        QTest::newRow("watch") << QStringList{"watch", "--site", "S", "0:1:10:1:105:0:3:105"};
    }
    void noDriverOnTheBus()
    {
        QFETCH(QStringList, arguments);
        const TLonctlResult result = RunLonctl(arguments);
        QVERIFY2(result.Finished, "lonctl hung or crashed");
        QCOMPARE(result.ExitCode, 2);
        QCOMPARE(result.Out, QString());
        QVERIFY2(result.Err.contains(QStringLiteral("The LonWorks driver is not running on the session bus")),
                 qPrintable(result.Err));
        QVERIFY(result.Err.contains(QStringLiteral("`lonworks-driver &`")));
        QVERIFY(result.Err.contains(QStringLiteral("`lonworks-driver -regserver`")));
    }

    void noBusAtAll_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("lonworksBus");   // LONWORKS_BUS
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("hint");
        QTest::newRow("session") << QStringList{"time", "--site", "S"} << ""
                                 << "Cannot reach the D-Bus session bus" << "dbus-run-session";
        QTest::newRow("system") << QStringList{"time", "--site", "S", "--system"} << ""
                                << "Cannot reach the D-Bus system bus" << "systemctl status dbus";
        QTest::newRow("system by LONWORKS_BUS") << QStringList{"time", "--site", "S"} << "system"
                                                << "Cannot reach the D-Bus system bus" << "systemctl status dbus";
        QTest::newRow("session over LONWORKS_BUS") << QStringList{"time", "--site", "S", "--session"} << "system"
                                                   << "Cannot reach the D-Bus session bus" << "dbus-run-session";
    }
    void noBusAtAll()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, lonworksBus);
        QFETCH(QString, message);
        QFETCH(QString, hint);
        QProcessEnvironment environment = LonctlEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                           QStringLiteral("unix:path=/nonexistent/lonctl-test-bus"));
        environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"),
                           QStringLiteral("unix:path=/nonexistent/lonctl-test-system-bus"));
        if (!lonworksBus.isEmpty())
            environment.insert(QStringLiteral("LONWORKS_BUS"), lonworksBus);
        const TLonctlResult result = RunLonctl(arguments, environment);
        QVERIFY(result.Finished);
        QCOMPARE(result.ExitCode, 2);
        QVERIFY2(result.Err.contains(message), qPrintable(result.Err));
        QVERIFY(result.Err.contains(hint));
    }

    void activationStartsTheDriver()
    {
        QCOMPARE(RunDriver(QStringLiteral("-regserver")), 0);
        QVERIFY(QFile::exists(ServiceFile()));
        // The bus notices the new service file by itself; give it a moment.
        SpinEvents(500);

        const TLonctlResult result = RunLonctl({"status", "--site", "Activated"});
        QVERIFY2(result.Finished, "lonctl hung or crashed");
        QVERIFY2(result.ExitCode == 0, qPrintable(result.Err));
        QVERIFY(result.Out.startsWith(QStringLiteral("Site: Activated\n")));
        QVERIFY(result.Out.contains(QStringLiteral("Neuron ID: 05 00 00 4C 10 01 \n")));

        // Started by the bus, the driver ends once lonctl has released its object.
        QVERIFY(TDriverProcess::WaitForBusName(false, 200));
    }

    void brokenRegistration()
    {
        // A service file whose program does not exist: the bus cannot start it.
        QFile file(ServiceFile());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[D-BUS Service]\nName=QelLonWorks.QelLonWorksCom\nExec=/nonexistent/lonworks-driver -embedding\n");
        file.close();
        SpinEvents(500);

        const TLonctlResult result = RunLonctl({"time", "--site", "S"});
        QVERIFY(result.Finished);
        QCOMPARE(result.ExitCode, 2);
        QVERIFY2(result.Err.contains(QStringLiteral("D-Bus could not start the registered driver")),
                 qPrintable(result.Err));
        QVERIFY(result.Err.contains(QStringLiteral("-regserver")));
        QFile::remove(ServiceFile());
    }

    void driverEndsDuringAWatch()
    {
        TDriverProcess driver;
        QVERIFY(driver.Start());
        QProcess lonctl;
        lonctl.setProcessEnvironment(LonctlEnvironment());
        lonctl.start(LonctlPath(), {"watch", "--site", "Gone", "0:1:20:5:15:0:2:15"});
        QString seen;
        for (int i = 0; i < 600 && !seen.contains(QStringLiteral("1200.0000")); ++i) {
            lonctl.waitForReadyRead(100);
            seen += QString::fromUtf8(lonctl.readAllStandardOutput());
        }
        QVERIFY2(seen.contains(QStringLiteral("1200.0000")), qPrintable(seen));

        driver.Stop();
        QVERIFY2(lonctl.waitForFinished(60000), "lonctl kept waiting for a driver that has gone");
        const QString errors = QString::fromUtf8(lonctl.readAllStandardError());
        QVERIFY2(lonctl.exitStatus() == QProcess::NormalExit, qPrintable(errors));
        QCOMPARE(lonctl.exitCode(), 2);
        QVERIFY2(errors.contains(QStringLiteral("Lost contact with the driver")), qPrintable(errors));
    }
};

QTEST_GUILESS_MAIN(TestLonctlReach)
#include "tst_lonctl_reach.moc"
