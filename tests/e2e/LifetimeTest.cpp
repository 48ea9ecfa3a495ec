// The driver process from start to end: help, registration and unregistration, the bus
// name taken only once, ending with the last release when the bus started it, releasing
// the objects of a client that dies, and D-Bus activation through the registration.

#include "ActivationBus.h"
#include "DriverClient.h"
#include "DriverProcess.h"

#include <csignal>
#include <QDBusConnectionInterface>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QStringList InterfaceNames()
{
    return {"QelLonWorks.ClassFactory", "QelDevice.IQelDeviceDriver", "QelLonWorks.IQelLonWorksCom",
            "QelLonWorks.Object"};
}

// Runs the driver to its end with XDG_DATA_HOME at dataHome; returns the exit code.
int RunDriver(const QStringList &arguments, const QString &dataHome, QByteArray *errors = nullptr)
{
    QProcess process;
    process.setProcessEnvironment(TDriverProcess::Environment(dataHome));
    process.start(TDriverProcess::DriverPath(), arguments);
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (errors)
        *errors = process.readAllStandardError();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QString ReadText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// A client process that holds one connected driver object until it is killed.
bool StartHolder(QProcess &holder, const QStringList &connectRequest)
{
    holder.start(QCoreApplication::applicationDirPath() + QStringLiteral("/lw-test-holder"),
                 connectRequest);
    for (int i = 0; i < 200 && holder.state() != QProcess::NotRunning; ++i) {
        holder.waitForReadyRead(50);
        if (holder.readAllStandardOutput().contains("READY"))
            return true;
    }
    return false;
}

} // namespace

class LifetimeTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void helpDescribesSwitches()
    {
        QProcess process;
        process.start(TDriverProcess::DriverPath(), {QStringLiteral("--help")});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 0);
        const QByteArray help = process.readAllStandardOutput();
        for (const char *word : {"regserver", "unregserver", "embedding", "automation"})
            QVERIFY2(help.contains(word), word);
    }

    void registration_data()
    {
        QTest::addColumn<QString>("registerSwitch");
        QTest::addColumn<QString>("unregisterSwitch");
        QTest::newRow("dash") << "-regserver" << "-unregserver";
        QTest::newRow("slash, lower case") << "/regserver" << "/unregserver";
        QTest::newRow("mixed case") << "/RegServer" << "-UNREGSERVER";
    }

    void registration()
    {
        QFETCH(QString, registerSwitch);
        QFETCH(QString, unregisterSwitch);
        QTemporaryDir dataHome;
        QVERIFY(dataHome.isValid());
        QCOMPARE(RunDriver({registerSwitch}, dataHome.path()), 0);
        // Registration ends the process without taking the bus name.
        QVERIFY(!TDriverProcess::BusNameOwned());

        const QString service = dataHome.path() + "/dbus-1/services/QelLonWorks.QelLonWorksCom.service";
        const QString program = QFileInfo(TDriverProcess::DriverPath()).canonicalFilePath();
        QCOMPARE(ReadText(service), "[D-BUS Service]\nName=QelLonWorks.QelLonWorksCom\nExec="
                                        + program + " -embedding\n");
        for (const QString &name : InterfaceNames()) {
            const QString xml = ReadText(dataHome.path() + "/dbus-1/interfaces/" + name + ".xml");
            QVERIFY2(xml.contains("<interface name=\"" + name + "\">"), qPrintable(name));
        }
        QVERIFY(ReadText(dataHome.path() + "/dbus-1/interfaces/QelDevice.IQelDeviceDriver.xml")
                    .contains("<method name=\"GetValue\">"));

        QCOMPARE(RunDriver({unregisterSwitch}, dataHome.path()), 0);
        QVERIFY(!QFile::exists(service));
        for (const QString &name : InterfaceNames())
            QVERIFY(!QFile::exists(dataHome.path() + "/dbus-1/interfaces/" + name + ".xml"));
    }

    void registrationFailureIsReported()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        // A data folder below a plain file cannot be made.
        QFile blocker(dir.path() + "/file");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QByteArray errors;
        QVERIFY(RunDriver({"-regserver"}, blocker.fileName() + "/data", &errors) != 0);
        QVERIFY(!errors.isEmpty());
    }

    void busNameIsTakenOnce()
    {
        TDriverProcess first;
        QVERIFY(first.Start());
        QTemporaryDir dataHome;
        QByteArray errors;
        QVERIFY(RunDriver({}, dataHome.path(), &errors) != 0);
        QVERIFY2(errors.contains("already owned"), errors.constData());
        QVERIFY(TDriverProcess::BusNameOwned());
    }

    void standaloneKeepsRunning()
    {
        TDriverProcess driver;
        QVERIFY(driver.Start());
        {
            TDriverClient client;
            QVERIFY(client.Open({"DESCRIPTION=Standalone", "OFFLINE=TRUE"}));
            QVERIFY(client.Release());
        }
        SpinEvents(300);
        QCOMPARE(driver.Process().state(), QProcess::Running);
        QVERIFY(TDriverProcess::BusNameOwned());
    }

    // A termination signal ends the driver cleanly, even while a client holds an object
    // on an online site (the close warning is for a user closing the window).
    void terminationSignalEndsTheDriver_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
    }

    void terminationSignalEndsTheDriver()
    {
        QFETCH(int, signalNumber);
        TDriverProcess driver;
        QVERIFY(driver.Start());
        TDriverClient client;
        QVERIFY(client.Open({"DESCRIPTION=Signalled", "SP1=LON1"}));
        QCOMPARE(client.WaitForStatus().value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
        ::kill(pid_t(driver.Process().processId()), signalNumber);
        QVERIFY(driver.WaitForExit());
        QCOMPARE(driver.Process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(driver.Process().exitCode(), 0);
    }

    void startedByBusEndsWithLastRelease_data()
    {
        QTest::addColumn<QString>("startSwitch");
        QTest::newRow("embedding") << "-embedding";
        QTest::newRow("automation") << "-automation";
        QTest::newRow("slash, mixed case") << "/Embedding";
    }

    void startedByBusEndsWithLastRelease()
    {
        QFETCH(QString, startSwitch);
        TDriverProcess driver({startSwitch});
        QVERIFY(driver.Start());
        TDriverClient first;
        TDriverClient second;
        QVERIFY(first.Open({"DESCRIPTION=Embedded", "OFFLINE=TRUE"}));
        QVERIFY(second.Open({"DESCRIPTION=Embedded", "OFFLINE=TRUE"}));
        QVERIFY(first.Release());
        SpinEvents(200);
        QCOMPARE(driver.Process().state(), QProcess::Running);
        QVERIFY(second.Release());
        QVERIFY(driver.WaitForExit());
        QCOMPARE(driver.Process().exitCode(), 0);
    }

    void killedClientIsReleased()
    {
        TDriverProcess driver({"-embedding"});
        QVERIFY(driver.Start());
        QProcess holder;
        QVERIFY(StartHolder(holder, {"DESCRIPTION=Held", "OFFLINE=TRUE"}));
        holder.kill();
        holder.waitForFinished();
        // Its only object was released with it, so the driver ends.
        QVERIFY(driver.WaitForExit());
        QCOMPARE(driver.Process().exitCode(), 0);
    }

    void killedClientLeavesItsSite()
    {
        TDriverProcess driver;
        QVERIFY(driver.Start());
        QProcess holder;
        QVERIFY(StartHolder(holder, {"DESCRIPTION=Left", "OFFLINE=TRUE"}));
        holder.kill();
        holder.waitForFinished();
        // Once the dead client's object is gone the offline site form goes with it, and a
        // new client gets a fresh, online site of that name.
        bool online = false;
        for (int attempt = 0; attempt < 100 && !online; ++attempt) {
            TDriverClient client;
            QVERIFY(client.Open({"DESCRIPTION=Left"}));
            client.WaitForStatus();
            online = client.Run({"COMMAND=SITESTATUS"}).size() == 3 + 17;
            if (!online) {
                QVERIFY(client.Release());
                SpinEvents(50);
            }
        }
        QVERIFY(online);
    }

    void activationAfterRegistration()
    {
        TActivationBus activation;
        QCOMPARE(RunDriver({"-regserver"}, activation.DataHome()), 0);
        QVERIFY(activation.Start());
        QDBusConnection bus = activation.Connection();
        QVERIFY(!bus.interface()->isServiceRegistered(TDriverClient::BusName).value());
        {
            TDriverClient client(bus);
            QVERIFY2(client.Create(), qPrintable(client.LastError().message()));
            QVERIFY(client.Open({"DESCRIPTION=Activated", "OFFLINE=TRUE"}));
            QCOMPARE(client.WaitForStatus().value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
            QVERIFY(client.Release());
        }
        // Started by the bus: it ends with its last object.
        QVERIFY(activation.WaitForDriver(false));

        QCOMPARE(RunDriver({"-unregserver"}, activation.DataHome()), 0);
        activation.Reload();
        TDriverClient client(bus);
        QVERIFY(!client.Create());
        QCOMPARE(client.LastError().type(), QDBusError::ServiceUnknown);
    }
};

QTEST_GUILESS_MAIN(LifetimeTest)
#include "LifetimeTest.moc"
