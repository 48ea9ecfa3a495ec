// Hostile files against the real driver on the test's own bus: an interfaces file that is
// a FIFO, a link to a device, a huge file or one with a key given twice, or a broken file
// in the default place, is refused at once with its reason, and the driver's memory stays
// where it was; a network description of 150,000 devices loads in time linear in its size,
// and one with a key given twice is refused.

#include "DriverClient.h"
#include "DriverProcess.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kTrue = QStringLiteral("COMMANDSTATUS=TRUE");
const QString kFalse = QStringLiteral("COMMANDSTATUS=FALSE");

// A field of /proc/<pid>/status in KiB (VmRSS, VmHWM); -1 when unreadable.
qint64 StatusKiB(qint64 pid, const char *field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field)) + 1).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A network of `devices` devices in domain 4C without variables, and one more in domain
// 4D (subnet 1, node 1) whose nvoTemp holds 12.34 °C: reading it shows every device was
// taken.
QByteArray LargeNetwork(int devices)
{
    QByteArray json = R"({"interface": {"neuronId": "05:00:00:00:00:01", "domains": [)"
                      R"({"id": "4C", "subnet": 1, "node": 126}, {"id": "4D", "subnet": 1, "node": 126}]},)"
                      R"( "devices": [)";
    json.reserve(devices * 90);
    for (int d = 0; d < devices; ++d)
        json += QStringLiteral(R"({"name":"D%1","neuronId":"%2","domains":[{"id":"4C","subnet":%3,"node":%4}]},)")
                    .arg(d)
                    .arg(d + 0x100000, 12, 16, QLatin1Char('0'))
                    .arg(1 + d % 250)
                    .arg(1 + d / 250 % 120)
                    .toLatin1();
    json += R"({"name": "Last", "neuronId": "050000000FFF", "domains": [{"id": "4D", "subnet": 1, "node": 1}],)"
            R"( "variables": [{"name": "nvoTemp", "snvt": 105, "direction": "out", "value": {"s16": 1234}}]}]})";
    return json;
}

} // namespace

class HostileFilesTest : public QObject
{
    Q_OBJECT

    QTemporaryDir FDir;

    // A driver whose environment has `more` on top of the test's, its stderr kept.
    static bool StartDriver(TDriverProcess &driver, const QStringList &more)
    {
        QProcessEnvironment environment = TDriverProcess::Environment(driver.DataHome());
        for (const QString &setting : more)
            environment.insert(setting.section(QLatin1Char('='), 0, 0), setting.section(QLatin1Char('='), 1));
        driver.SetEnvironment(environment);
        driver.Process().setProcessChannelMode(QProcess::SeparateChannels);
        return driver.Start();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QLocale::setDefault(QLocale::c());
        QVERIFY(FDir.isValid());
    }

    void interfacesFileRefusedAtOnce_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("defaultPlace");
        QTest::addColumn<QString>("reason");
        QTest::newRow("FIFO") << "fifo" << false << "cannot be read (not a regular file (a FIFO))";
        QTest::newRow("link to /dev/zero") << "zero" << false << "cannot be read (not a regular file (a device))";
        QTest::newRow("1 GiB file") << "huge" << false << "cannot be read (larger than 1 MiB)";
        QTest::newRow("key given twice") << "twice" << false << "key \"name\" twice in one object, at offset 51";
        QTest::newRow("FIFO in the default place") << "fifo" << true << "cannot be read (not a regular file (a FIFO))";
        QTest::newRow("link to nowhere in the default place")
            << "nowhere" << true << "cannot be read (No such file or directory)";
    }
    // Every open fails with status 5 and the file's reason on stderr, at once: nothing
    // blocks, nothing large is read.
    void interfacesFileRefusedAtOnce()
    {
        QFETCH(QString, kind);
        QFETCH(bool, defaultPlace);
        QFETCH(QString, reason);
        const QString config = FDir.filePath(QStringLiteral("config-") + QTest::currentDataTag());
        QVERIFY(QDir().mkpath(config + QStringLiteral("/lonworks")));
        const QString path = defaultPlace ? config + QStringLiteral("/lonworks/interfaces.json")
                                          : FDir.filePath(QStringLiteral("interfaces-") + kind);
        QFile::remove(path);
        if (kind == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (kind == QLatin1String("zero"))
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
        else if (kind == QLatin1String("nowhere"))
            QVERIFY(QFile::link(FDir.filePath(QStringLiteral("moved-away.json")), path));
        else if (kind == QLatin1String("huge"))
            QVERIFY(WriteFile(path, "{") && ::truncate(QFile::encodeName(path).constData(), 1LL << 30) == 0);
        else
            QVERIFY(WriteFile(path, R"({"interfaces": [{"name": "A", "type": "simulated", "name": "LON1", )"
                                    R"("network": "LON1"}]})"));

        TDriverProcess driver;
        QStringList environment{QStringLiteral("XDG_CONFIG_HOME=") + config};
        if (!defaultPlace)
            environment.append(QStringLiteral("LDV_INTERFACES=") + path);
        QVERIFY2(StartDriver(driver, environment), "lonworks-driver did not take its bus name");
        const qint64 pid = driver.Process().processId();
        const qint64 before = StatusKiB(pid, "VmRSS:");

        TDriverClient client;
        QVERIFY(client.Open({QStringLiteral("DESCRIPTION=Hostile"), QStringLiteral("SP1=LON1")}));
        const QStringList answer = client.WaitForStatus(200);
        QCOMPARE(answer.value(0), kFalse);
        QCOMPARE(answer.value(1), QStringLiteral("COMMANDERROR=Could not connect to the LonWorks Interface named "
                                                 "\"LON1\"...Error #5"));
        // The driver never held more than a few MiB beyond what it had.
        const qint64 peak = StatusKiB(pid, "VmHWM:");
        QVERIFY2(peak - before < 64 * 1024, qPrintable(QStringLiteral("%1 KiB before, peak %2 KiB").arg(before).arg(peak)));
        client.Release();
        driver.Stop();
        const QString errors = QString::fromLocal8Bit(driver.Process().readAllStandardError());
        QVERIFY2(errors.contains(QStringLiteral("libldv32: interfaces file refused: %1: %2").arg(path, reason)),
                 qPrintable(errors));
        QFile::remove(path);
    }

    void descriptionLoadedOrRefused_data()
    {
        QTest::addColumn<QByteArray>("description");
        QTest::addColumn<QString>("value");
        QTest::newRow("150,000 devices") << LargeNetwork(150'000) << QStringLiteral("VALUE=12.3400");
        QByteArray twice = LargeNetwork(3);
        twice.replace(R"("name": "Last")", R"("name": "Last", "name": "Other")");
        QTest::newRow("key given twice") << twice << QString();
    }
    // The large one connects and its last device answers; the other is refused. Either
    // way the outcome comes (the driver is deaf while it loads, so a load that does not
    // end makes the connect call time out).
    void descriptionLoadedOrRefused()
    {
        QFETCH(QByteArray, description);
        QFETCH(QString, value);
        const QString path = FDir.filePath(QStringLiteral("network.json"));
        QVERIFY(WriteFile(path, description));
        TDriverProcess driver;
        QVERIFY2(StartDriver(driver, {}), "lonworks-driver did not take its bus name");
        TDriverClient client;
        QVERIFY2(client.Open({QStringLiteral("DESCRIPTION=Large"), QStringLiteral("SP1=") + path}),
                 qPrintable(client.LastError().message()));
        const QStringList connected = client.WaitForStatus(600);
        if (value.isEmpty()) {
            QCOMPARE(connected.value(0), kFalse);
            client.Release();
            driver.Stop();
            const QString errors = QString::fromLocal8Bit(driver.Process().readAllStandardError());
            QVERIFY2(errors.contains(path + QStringLiteral(": key \"name\" twice in one object")), qPrintable(errors));
            return;
        }
        QCOMPARE(connected.value(0), kTrue);
        const QStringList read = client.Run({QStringLiteral("COMMAND=POINTGETVALUE"),
                                             QStringLiteral("POINT={T}{1:1:1:0:105:0:3:105}")}, 400);
        QCOMPARE(read.value(0), kTrue);
        QVERIFY2(read.contains(value), qPrintable(read.join(QLatin1Char('|'))));
        client.Release();
        driver.Stop();
    }
};

QTEST_GUILESS_MAIN(HostileFilesTest)
#include "tst_hostile_files.moc"
