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

// A service file's lines with the marker line, which names the driver as the file's
// writer, taken out and checked apart.
QStringList ServiceLines(const QString &text)
{
    QStringList lines = text.split(u'\n');
    const qsizetype marker = lines.indexOf(QRegularExpression(QStringLiteral("^# Written by lonworks-driver; .*")));
    if (marker >= 0)
        lines[marker] = QStringLiteral("<marker>");
    return lines;
}

// What the driver writes for itself.
QStringList OwnServiceLines()
{
    return {"[D-BUS Service]", "<marker>", "Name=QelLonWorks.QelLonWorksCom",
            "Exec=" + QFileInfo(TDriverProcess::DriverPath()).canonicalFilePath() + " -embedding", ""};
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
        QCOMPARE(ServiceLines(ReadText(service)), OwnServiceLines());
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

    // Each start refreshes the driver's own activation file, and only that: a user's own
    // file outlives any number of sessions, and with the package's system-wide file there
    // is nothing to write for the user.
    void startsKeepWhatIsTheUsers_data()
    {
        QTest::addColumn<QString>("before");      // the user's service file; empty: none
        QTest::addColumn<bool>("systemWideFile"); // the package's file is installed
        QTest::addColumn<QString>("after");       // "own": the driver's own file; "none"; or the text
        const QString wrapper = "[D-BUS Service]\nName=QelLonWorks.QelLonWorksCom\n"
                                "Exec=/home/user/own-driver -embedding\n";
        const QString environment = "[D-BUS Service]\nName=QelLonWorks.QelLonWorksCom\n"
                                    "Exec=/usr/bin/env LDV32_LIBRARY=/opt/vendor/libldv32.so "
                                    "/usr/lib/lonworks-driver/lonworks-driver -embedding\n";
        QTest::newRow("nothing yet") << "" << false << "own";
        QTest::newRow("the user's wrapper") << wrapper << false << wrapper;
        QTest::newRow("the user's environment setting") << environment << false << environment;
        QTest::newRow("the driver's own, from another build")
            << "[D-BUS Service]\n# Written by lonworks-driver; refreshed when it starts.\n"
               "Name=QelLonWorks.QelLonWorksCom\nExec=/old/build/bin/lonworks-driver -embedding\n"
            << false << "own";
        QTest::newRow("an earlier driver's, without the marker")
            << "[D-BUS Service]\nName=QelLonWorks.QelLonWorksCom\nExec=/old/build/bin/lonworks-driver -embedding\n"
            << false << "own";
        QTest::newRow("the package's file serves every user") << "" << true << "none";
    }
    void startsKeepWhatIsTheUsers()
    {
        QFETCH(QString, before);
        QFETCH(bool, systemWideFile);
        QFETCH(QString, after);
        QTemporaryDir dataDirs;
        if (systemWideFile) {
            QVERIFY(QDir().mkpath(dataDirs.path() + "/dbus-1/services"));
            QFile installed(dataDirs.path() + "/dbus-1/services/QelLonWorks.QelLonWorksCom.service");
            QVERIFY(installed.open(QIODevice::WriteOnly));
            installed.write("[D-BUS Service]\nName=QelLonWorks.QelLonWorksCom\nExec=/usr/lib/lonworks-driver/lonworks-driver -embedding\n");
        }
        QTemporaryDir dataHome;
        const QString service = dataHome.path() + "/dbus-1/services/QelLonWorks.QelLonWorksCom.service";
        if (!before.isEmpty()) {
            QVERIFY(QDir().mkpath(QFileInfo(service).path()));
            QFile file(service);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(before.toUtf8());
        }
        QProcessEnvironment environment = TDriverProcess::Environment(dataHome.path());
        environment.insert("XDG_DATA_DIRS", dataDirs.path());
        for (int session = 0; session < 2; ++session) {
            TDriverProcess driver;
            driver.SetEnvironment(environment);
            QVERIFY(driver.Start());
            driver.Stop();
            if (after == QLatin1String("none"))
                QVERIFY2(!QFile::exists(service), qPrintable(ReadText(service)));
            else if (after == QLatin1String("own"))
                QCOMPARE(ServiceLines(ReadText(service)), OwnServiceLines());
            else
                QCOMPARE(ReadText(service), after);
        }
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
