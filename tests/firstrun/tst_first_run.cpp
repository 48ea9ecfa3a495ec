// The first run as a new user meets it, through the programs themselves: a driver library
// that cannot be used, a points list written the way the docs once said, lonip-config-server
// on an account that never ran it, and settings given to lonctl that a driver started by the
// bus never sees.
#include "ChildProcess.h"
#include "DriverClient.h"
#include "DriverProcess.h"
#include "LonctlRun.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

namespace {

// What a running program writes on stderr, gathered as it comes.
class TErrorLog
{
public:
    explicit TErrorLog(QProcess &process) : FProcess(process) {}
    // Everything so far, read until it holds text or ms have passed.
    QString Until(const QString &text, int ms = 10000)
    {
        QElapsedTimer timer;
        timer.start();
        do {
            FText += QString::fromLocal8Bit(FProcess.readAllStandardError());
            if (FText.contains(text))
                break;
            FProcess.waitForReadyRead(100);
        } while (timer.elapsed() < ms);
        return FText;
    }

private:
    QProcess &FProcess;
    QString FText;
};

quint16 FreeUdpPort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

} // namespace

class TestFirstRun : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void unusableLibrary_data()
    {
        QTest::addColumn<QString>("library");
        QTest::addColumn<QString>("reason");   // in the driver's log and in lonctl's message
        QTest::newRow("missing file") << "/nonexistent/lonworks/libldv32.so"
                                      << "cannot open shared object file";
        QTest::newRow("entries missing") << QStringLiteral(LW_PARTIAL_LIBRARY)
                                         << "lacks the entries ldv_open, ldv_write, ldv_xlate_device_name_std";
    }
    void unusableLibrary()
    {
        QFETCH(QString, library);
        QFETCH(QString, reason);
        TDriverProcess driver;
        QProcessEnvironment environment = TDriverProcess::Environment(driver.DataHome());
        environment.insert(QStringLiteral("LDV32_LIBRARY"), library);
        driver.SetEnvironment(environment);
        driver.Process().setProcessChannelMode(QProcess::SeparateChannels);
        QVERIFY(driver.Start());
        const QString log = TErrorLog(driver.Process()).Until(reason);
        QVERIFY2(log.contains(QStringLiteral("lonworks-driver: error: the driver library %1").arg(library)), qPrintable(log));
        QVERIFY2(log.contains(reason), qPrintable(log));

        const TLonctlResult result = RunLonctl({"status", "--site", "NoLibrary"});
        QVERIFY2(result.Finished, "lonctl hung or crashed");
        QCOMPARE(result.ExitCode, 1);
        QVERIFY2(result.Err.contains(QStringLiteral("Error #-1 (the driver library %1").arg(library)), qPrintable(result.Err));
        QVERIFY2(result.Err.contains(reason), qPrintable(result.Err));
    }

    void pointsListEntryWithoutName()
    {
        TDriverProcess driver;
        driver.Process().setProcessChannelMode(QProcess::SeparateChannels);
        QVERIFY(driver.Start());
        TDriverClient client;
        QVERIFY(client.Create());
        QVERIFY(client.Open({QStringLiteral("DESCRIPTION=Lists"), QStringLiteral("SP1=LON1")}));
        QCOMPARE(client.WaitForStatus().value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
        const QStringList answer = client.Put(QStringList{QStringLiteral("COMMAND=SENDPOINTSLIST"),
                                                          QStringLiteral("POINT0=0:1:10:0:105:0:3:105"),
                                                          QStringLiteral("POINT1={Temp}{0:1:10:0:105:0:3:105}")});
        QCOMPARE(answer.value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
        const QString log = TErrorLog(driver.Process()).Until(QStringLiteral("ignored"));
        QVERIFY2(log.contains(QStringLiteral("lonworks-driver: warning: site \"Lists\": points list entry "
                                             "POINT0=0:1:10:0:105:0:3:105 ignored: an entry is {name}{address}")),
                 qPrintable(log));
        QVERIFY2(!log.contains(QStringLiteral("POINT1=")), qPrintable(log));
    }

    void configServerOnAFreshAccount_data()
    {
        QTest::addColumn<QString>("link");      // a folder of the home that links elsewhere
        QTest::addColumn<QString>("stateFile"); // where the state lands; empty: refused
        QTest::newRow("fresh account") << "" << "home/.local/state/lonworks/config-server-channel.json";
        QTest::newRow("state folder linked by the user") << ".local/state"
                                                         << "elsewhere/lonworks/config-server-channel.json";
        QTest::newRow("its own folder a link") << ".local/state/lonworks" << "";
    }
    void configServerOnAFreshAccount()
    {
        QFETCH(QString, link);
        QFETCH(QString, stateFile);
        QTemporaryDir dir;
        const QDir top(dir.path());
        QVERIFY(top.mkpath(QStringLiteral("home")) && top.mkpath(QStringLiteral("elsewhere")));
        if (!link.isEmpty()) {
            QVERIFY(top.mkpath(QFileInfo(top.filePath(QStringLiteral("home/") + link)).path()));
            QVERIFY(QFile::link(top.filePath(QStringLiteral("elsewhere")), top.filePath(QStringLiteral("home/") + link)));
        }
        const QJsonObject channel{
            {QStringLiteral("server"), QJsonObject{{QStringLiteral("address"), QStringLiteral("127.0.0.1")},
                                                   {QStringLiteral("port"), int(FreeUdpPort())}}},
            {QStringLiteral("members"), QJsonArray{QJsonObject{{QStringLiteral("address"), QStringLiteral("127.0.0.1")},
                                                               {QStringLiteral("port"), int(FreeUdpPort())}}}}};
        QFile file(top.filePath(QStringLiteral("channel.json")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(channel).toJson());
        file.close();

        QProcess server;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), top.filePath(QStringLiteral("home")));
        environment.remove(QStringLiteral("XDG_STATE_HOME"));
        server.setProcessEnvironment(environment);
        server.start(QCoreApplication::applicationDirPath() + QStringLiteral("/lonip-config-server"),
                     {QStringLiteral("--channel"), file.fileName()});
        const QString ready = WaitForReadyLine(server);
        const QString errors = QString::fromLocal8Bit(server.readAllStandardError());
        server.terminate();
        server.waitForFinished(5000);
        QVERIFY2(ready.startsWith(QLatin1String("lonip-config-server: ready")), qPrintable(ready + errors));
        if (stateFile.isEmpty()) {
            QVERIFY2(errors.contains(QStringLiteral("state not saved")), qPrintable(errors));
            QVERIFY2(QDir(top.filePath(QStringLiteral("elsewhere"))).isEmpty(), "written through a link");
        } else {
            QVERIFY2(!errors.contains(QStringLiteral("state not saved")), qPrintable(errors));
            QVERIFY2(QFile::exists(top.filePath(stateFile)), qPrintable(errors));
        }
    }

    void settingsOfAnActivatedDriver_data()
    {
        QTest::addColumn<bool>("handedToTheBus");
        QTest::newRow("only lonctl has it") << false;
        QTest::newRow("handed to the bus") << true;
    }
    void settingsOfAnActivatedDriver()
    {
        QFETCH(bool, handedToTheBus);
        // The bus of this test reads its activation files from XDG_DATA_HOME.
        QProcess registration;
        registration.start(TDriverProcess::DriverPath(), {QStringLiteral("-regserver")});
        QVERIFY(registration.waitForFinished(30000) && registration.exitCode() == 0);
        SpinEvents(500);
        const QString networks = QStringLiteral(LW_FIXTURES "/networks");
        if (handedToTheBus) {
            QProcess update;
            update.start(QStringLiteral("dbus-update-activation-environment"),
                         {QStringLiteral("LONSIM_PATH=") + networks});
            QVERIFY(update.waitForFinished(30000) && update.exitCode() == 0);
        }
        QProcessEnvironment environment = LonctlEnvironment();
        environment.insert(QStringLiteral("LONSIM_PATH"), networks);
        const TLonctlResult result = RunLonctl({"status", "--site", "Small", "--interface", "small"}, environment);
        QVERIFY2(result.Finished, "lonctl hung or crashed");
        QVERIFY2(TDriverProcess::WaitForBusName(false), "the activated driver did not end with its client");
        if (handedToTheBus) {
            QVERIFY2(result.ExitCode == 0, qPrintable(result.Err));
            QVERIFY2(!result.Err.contains(QStringLiteral("note:")), qPrintable(result.Err));
            return;
        }
        QCOMPARE(result.ExitCode, 1);
        QVERIFY2(result.Err.contains(QStringLiteral("note: LONSIM_PATH is set here, but the driver")), qPrintable(result.Err));
        QVERIFY2(result.Err.contains(QStringLiteral("`dbus-update-activation-environment LONSIM_PATH`")), qPrintable(result.Err));
    }
};

QTEST_GUILESS_MAIN(TestFirstRun)
#include "tst_first_run.moc"
