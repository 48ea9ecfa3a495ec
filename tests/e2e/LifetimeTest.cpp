// The driver process from start to end: help, registration and unregistration, the bus
// name taken only once, ending with the last release when the bus started it, releasing
// the objects of a client that dies, and D-Bus activation through the registration.

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
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString dataHome = dir.path() + "/data";
        const QString address = "unix:path=" + dir.path() + "/bus";
        QFile config(dir.path() + "/session.conf");
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(QStringLiteral(
            "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
            " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
            "<busconfig>\n  <type>session</type>\n  <listen>%1</listen>\n"
            "  <servicedir>%2/dbus-1/services</servicedir>\n"
            "  <policy context=\"default\">\n    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
            "    <allow eavesdrop=\"true\"/>\n    <allow own=\"*\"/>\n  </policy>\n</busconfig>\n")
                         .arg(address, dataHome).toUtf8());
        config.close();

        QCOMPARE(RunDriver({"-regserver"}, dataHome), 0);

        QProcess daemon;
        QProcessEnvironment environment = TDriverProcess::Environment(dataHome);
        environment.insert("DBUS_SESSION_BUS_ADDRESS", address);
        daemon.setProcessEnvironment(environment);
        daemon.start("dbus-daemon", {"--nofork", "--config-file=" + config.fileName(),
                                     "--print-address"});
        QVERIFY(daemon.waitForStarted());
        QVERIFY(daemon.waitForReadyRead(30000));

        const QString name = QStringLiteral("activation");
        {
            QDBusConnection bus = QDBusConnection::connectToBus(address, name);
            QVERIFY2(bus.isConnected(), qPrintable(bus.lastError().message()));
            QVERIFY(!bus.interface()->isServiceRegistered(TDriverClient::BusName).value());
            {
                TDriverClient client(bus);
                QVERIFY2(client.Create(), qPrintable(client.LastError().message()));
                QVERIFY(client.Open({"DESCRIPTION=Activated", "OFFLINE=TRUE"}));
                QCOMPARE(client.WaitForStatus().value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
                QVERIFY(client.Release());
            }
            // Started by the bus: it ends with its last object.
            bool gone = false;
            for (int i = 0; i < 200 && !gone; ++i) {
                gone = !bus.interface()->isServiceRegistered(TDriverClient::BusName).value();
                if (!gone)
                    SpinEvents(50);
            }
            QVERIFY(gone);

            QCOMPARE(RunDriver({"-unregserver"}, dataHome), 0);
            QDBusMessage reload = QDBusMessage::createMethodCall(
                "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "ReloadConfig");
            bus.call(reload);
            TDriverClient client(bus);
            QVERIFY(!client.Create());
            QCOMPARE(client.LastError().type(), QDBusError::ServiceUnknown);
        }
        QDBusConnection::disconnectFromBus(name);
        daemon.terminate();
        QVERIFY(daemon.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(LifetimeTest)
#include "LifetimeTest.moc"
