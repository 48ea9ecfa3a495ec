// A standard unicast channel run by lonip-config-server, end to end: the driver's interface
// names only the server (no member list) and reaches LON1's devices, served by a
// lonsim-channel that joined through the same server, for discovery, polling, reads and
// writes. A member that starts late is reached once the server lists it; a member the
// channel file does not list is not, until the file lists it; the server stopped and
// started again keeps its state and the channel keeps working; a driver started again
// for each command keeps the channel (the server sends it no membership, and the members
// are reached while the server is away); tshark decodes every configuration packet the
// server exchanged.

#include "ChildProcess.h"
#include "PointsSession.h"

#include <QStandardPaths>
#include <QtTest>

namespace {

// A network of one device at subnet 1 / node in domain 4C whose nvoSpaceTemp holds
// hundredths (SNVT_temp_p).
QByteArray OneDeviceNetwork(const QString &name, int node, int hundredths)
{
    const QJsonObject device{
        {QStringLiteral("name"), name},
        {QStringLiteral("neuronId"), QStringLiteral("05:00:00:00:0E:%1").arg(node, 2, 16, QLatin1Char('0'))},
        {QStringLiteral("programId"), QStringLiteral("9F:FF:FF:05:00:0A:04:01")},
        {QStringLiteral("domains"), QJsonArray{QJsonObject{{QStringLiteral("id"), QStringLiteral("4C")},
                                                           {QStringLiteral("subnet"), 1},
                                                           {QStringLiteral("node"), node}}}},
        {QStringLiteral("variables"),
         QJsonArray{QJsonObject{{QStringLiteral("name"), QStringLiteral("nvoSpaceTemp")},
                                {QStringLiteral("snvt"), 105},
                                {QStringLiteral("direction"), QStringLiteral("out")},
                                {QStringLiteral("value"), QJsonObject{{QStringLiteral("s16"), hundredths}}}}}}};
    const QJsonObject network{
        {QStringLiteral("name"), name.toUpper()},
        {QStringLiteral("interface"),
         QJsonObject{{QStringLiteral("neuronId"), QStringLiteral("05:00:00:00:0E:01")},
                     {QStringLiteral("domains"), QJsonArray{QJsonObject{{QStringLiteral("id"), QStringLiteral("4C")},
                                                                        {QStringLiteral("subnet"), 1},
                                                                        {QStringLiteral("node"), 126}}}}}},
        {QStringLiteral("devices"), QJsonArray{device}}};
    return QJsonDocument(network).toJson();
}

// A lonsim-channel serving a one-device network as a member of the managed channel.
class TMemberChannel
{
public:
    ~TMemberChannel() { Stop(); }

    bool Start(const QString &folder, const QString &name, int node, int hundredths, quint16 port, const QString &server)
    {
        const QString description = QDir(folder).filePath(name + QStringLiteral(".json"));
        QFile file(description);
        if (!file.open(QIODevice::WriteOnly) || file.write(OneDeviceNetwork(name, node, hundredths)) < 0)
            return false;
        file.close();
        FProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        FProcess.start(TIp852Channel::ProgramPath(),
                       {QStringLiteral("--network"), description, QStringLiteral("--mode"), QStringLiteral("unicast"),
                        QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port),
                        QStringLiteral("--config-server"), server});
        return WaitForReadyLine(FProcess).contains(QLatin1String("ready"));
    }

    void Stop() { StopProcess(FProcess); }

private:
    QProcess FProcess;
};

const QString RoomTemp = QStringLiteral("0:1:10:0:105:0:3:105");
const QString RoomSetpoint = QStringLiteral("0:1:10:1:105:0:3:105");
const QString LateTemp = QStringLiteral("0:1:50:0:105:0:3:105");
// tshark's expert severity "error" (PI_ERROR).
constexpr int ErrorSeverity = 0x00800000;

const QString StrangerTemp = QStringLiteral("0:1:60:0:105:0:3:105");

} // namespace

class TestE2EIp852Managed : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void discoveryFindsTheListedDevicesOnly();
    void pollingReadAndWrite();
    void unlistedMemberIsNotReached();
    void lateMemberReachedOnceListed();
    void serverRestartedKeepsItsState();
    void memberListedLaterIsReached();
    void driverStartedAgainKeepsTheChannel();
    void tsharkDecodesTheConfigurationExchange();

private:
    // One read of address through the driver: "TRUE value" or "FALSE ...".
    QString Read(const QString &address) { return Read(FClient, address); }
    static QString Read(TDriverClient &client, const QString &address);
    // Reads address until it answers (the member joins the peers a moment after the server
    // lists it), at most about 20 s.
    QString ReadWhenReached(const QString &address);

    TPointsSession FSession;
    TDriverClient FClient;
    QTemporaryDir FDir;
    TMemberChannel FLate;
    TMemberChannel FStranger;
    quint16 FLatePort = 0;
    quint16 FStrangerPort = 0;
};

void TestE2EIp852Managed::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    QVERIFY(FDir.isValid());
    // The channel file lists the driver, LON1's channel and the late member from the start;
    // the stranger runs and asks to join, unlisted.
    FLatePort = TConfigServerProcess::FreePort();
    FStrangerPort = TConfigServerProcess::FreePort();
    FSession.Channel.ExtraMembers = {{FLatePort, QStringLiteral("late")}};
    qputenv("LW_E2E_IP852_MODE", "managed");
    const bool started = FSession.Start(0.2);
    qunsetenv("LW_E2E_IP852_MODE");
    QVERIFY2(started, qPrintable(FSession.Channel.Error()));
    QVERIFY(FStranger.Start(FDir.path(), QStringLiteral("Stranger"), 60, 5678, FStrangerPort,
                            FSession.Channel.Server.Address()));
    QVERIFY(FClient.Create());
    QVERIFY(OpenLon1(FClient, QStringLiteral("Managed channel")));
}

void TestE2EIp852Managed::cleanupTestCase()
{
    FClient.Release();
    FSession.Driver.Stop();
    FLate.Stop();
    FStranger.Stop();
    FSession.Channel.Stop();
}

QString TestE2EIp852Managed::Read(TDriverClient &client, const QString &address)
{
    const QStringList answer = client.Run({QStringLiteral("COMMAND=POINTGETVALUE"), QStringLiteral("POINT={T}{%1}").arg(address)}, 400);
    return answer.value(0) == QLatin1String("COMMANDSTATUS=TRUE") ? QStringLiteral("TRUE ") + Result(answer).value(0)
                                                                  : QStringLiteral("FALSE ") + answer.join(QLatin1Char('|'));
}

QString TestE2EIp852Managed::ReadWhenReached(const QString &address)
{
    QElapsedTimer timer;
    timer.start();
    QString answer;
    do
        answer = Read(address);
    while (!answer.startsWith(QLatin1String("TRUE")) && timer.elapsed() < 20000);
    return answer;
}

void TestE2EIp852Managed::discoveryFindsTheListedDevicesOnly()
{
    QFile fixture(QStringLiteral(LW_FIXTURES "/lon1-points.txt"));
    QVERIFY(fixture.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList expected = QString::fromUtf8(fixture.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QStringList answer = FClient.Run({"COMMAND=GETDATA", "DRIVERCOMMAND=GETPOINTSLIST"}, 1200, 100);
    QCOMPARE(answer.value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
    // LON1's devices, and not the stranger's (subnet 1, node 60).
    QCOMPARE(Result(answer), expected);
}

void TestE2EIp852Managed::pollingReadAndWrite()
{
    // The poller follows the setpoint as the device changes it.
    QCOMPARE(FClient.Put(PointsList({RoomSetpoint})).value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
    QVERIFY(WaitForListedValue(FClient, RoomSetpoint, QStringLiteral("21.5000")));
    QVERIFY(FSession.Control({QStringLiteral("set RoomController 1 0898")}).contains(QLatin1String("=> ok")));
    QVERIFY(WaitForListedValue(FClient, RoomSetpoint, QStringLiteral("22.0000")));

    QVERIFY(Read(RoomTemp).startsWith(QLatin1String("TRUE VALUE=")));
    const QStringList write = FClient.Run({"COMMAND=POINTMODIFY", "POINT={S}{0:1:10:1:0:0:3:0,100}{VALUE=22.5}{}{}"}, 400);
    QCOMPARE(write.value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
    QVERIFY(FSession.Control({QStringLiteral("network LON1")}).contains(QLatin1String("ok")));
    QCOMPARE(FSession.Value(QStringLiteral("RoomController"), 1).left(4), QStringLiteral("08CA"));
    QCOMPARE(Read(RoomSetpoint), QStringLiteral("TRUE VALUE=22.5000"));
}

void TestE2EIp852Managed::unlistedMemberIsNotReached()
{
    QVERIFY(Read(StrangerTemp).startsWith(QLatin1String("FALSE")));
    // It asked to join and was refused.
    QVERIFY(FSession.Channel.Server.Trace().contains(
        QStringLiteral("from 127.0.0.1:%1: not a member of the channel").arg(FStrangerPort).toUtf8()));
}

void TestE2EIp852Managed::lateMemberReachedOnceListed()
{
    QVERIFY(Read(LateTemp).startsWith(QLatin1String("FALSE")));
    QVERIFY(FLate.Start(FDir.path(), QStringLiteral("Late"), 50, 1234, FLatePort, FSession.Channel.Server.Address()));
    QCOMPARE(ReadWhenReached(LateTemp), QStringLiteral("TRUE VALUE=12.3400"));
}

void TestE2EIp852Managed::serverRestartedKeepsItsState()
{
    TConfigServerProcess &server = FSession.Channel.Server;
    server.Stop();
    const QJsonObject before = server.State();
    QCOMPARE(before.value(QStringLiteral("members")).toArray().size(), 3);
    QVERIFY(before.value(QStringLiteral("membershipDateTime")).toDouble() > 0);
    // Without the server the members keep the list they have.
    QCOMPARE(Read(LateTemp), QStringLiteral("TRUE VALUE=12.3400"));
    QVERIFY2(server.Restart(), qPrintable(server.Error()));
    QCOMPARE(server.State().value(QStringLiteral("membershipDateTime")), before.value(QStringLiteral("membershipDateTime")));
    QCOMPARE(Read(RoomTemp).left(4), QStringLiteral("TRUE"));
    QCOMPARE(Read(LateTemp), QStringLiteral("TRUE VALUE=12.3400"));
}

void TestE2EIp852Managed::memberListedLaterIsReached()
{
    TConfigServerProcess &server = FSession.Channel.Server;
    QVERIFY(server.SetMembers(server.Members() + QList<TConfigServerProcess::TMember>{{FStrangerPort, QStringLiteral("stranger")}}));
    QCOMPARE(ReadWhenReached(StrangerTemp), QStringLiteral("TRUE VALUE=56.7800"));
    // Taken off the list again, it is no longer reached.
    QVERIFY(server.SetMembers(server.Members().mid(0, server.Members().size() - 1)));
    QElapsedTimer timer;
    timer.start();
    QString answer;
    do
        answer = Read(StrangerTemp);
    while (answer.startsWith(QLatin1String("TRUE")) && timer.elapsed() < 20000);
    QVERIFY2(answer.startsWith(QLatin1String("FALSE")), qPrintable(answer));
}

// Each lonctl command starts a driver (the bus starts it, and it ends with its last
// client): the interface opens anew every time, with its routing unchanged.
void TestE2EIp852Managed::driverStartedAgainKeepsTheChannel()
{
    TConfigServerProcess &server = FSession.Channel.Server;
    const QByteArray toDriver = QStringLiteral(" to 127.0.0.1:%1").arg(server.Members().value(0).Port).toUtf8();
    const auto membershipsToDriver = [&server, &toDriver] {
        int count = 0;
        for (const QByteArray &line : server.Trace().split('\n'))
            count += line.contains("out channel membership (0x04)") && line.endsWith(toDriver);
        return count;
    };
    const auto runDriver = [this](const QString &address) {
        if (!FSession.Driver.Start())
            return QStringLiteral("lonworks-driver did not start");
        TDriverClient client;
        const QString answer = OpenLon1(client, QStringLiteral("Again")) ? Read(client, address) : QStringLiteral("no connect");
        client.Release();
        FSession.Driver.Stop();
        return answer;
    };
    FClient.Release();
    FSession.Driver.Stop();
    const int before = membershipsToDriver();
    const QJsonValue membershipDateTime = server.State().value(QStringLiteral("membershipDateTime"));
    for (int run = 0; run < 3; ++run)
        QCOMPARE(runDriver(RoomTemp).left(4), QStringLiteral("TRUE"));
    // Nothing changed: no new membership, none sent to the driver.
    QCOMPARE(membershipsToDriver(), before);
    QCOMPARE(server.State().value(QStringLiteral("membershipDateTime")), membershipDateTime);

    // The server away: a new driver reaches the members it kept.
    server.Stop();
    QCOMPARE(runDriver(LateTemp), QStringLiteral("TRUE VALUE=12.3400"));
    QVERIFY2(server.Restart(), qPrintable(server.Error()));

    QVERIFY(FSession.Driver.Start());
    QVERIFY(FClient.Create());
    QVERIFY(OpenLon1(FClient, QStringLiteral("Managed channel")));
}

void TestE2EIp852Managed::tsharkDecodesTheConfigurationExchange()
{
    const QString tshark = QStandardPaths::findExecutable(QStringLiteral("tshark"));
    if (tshark.isEmpty())
        QSKIP("tshark is not installed");
    TConfigServerProcess &server = FSession.Channel.Server;
    server.Stop();
    QSet<int> types;
    qsizetype packets = 0;
    for (int run = 1; run <= server.Runs(); ++run) {
        const QString port = server.Address().section(QLatin1Char(':'), 1);
        QProcess process;
        process.start(tshark, {QStringLiteral("-r"), server.CapturePath(run), QStringLiteral("-d"),
                               QStringLiteral("udp.port==%1,cnip").arg(port), QStringLiteral("-T"), QStringLiteral("fields"),
                               QStringLiteral("-e"), QStringLiteral("cnip.type"), QStringLiteral("-e"),
                               QStringLiteral("_ws.malformed"), QStringLiteral("-e"), QStringLiteral("_ws.expert.severity")});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);
        const QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        packets += lines.size();
        // Every packet decoded as CN/IP with nothing malformed; the dissector only notes that
        // it does not look inside configuration packets (a warning, below error).
        for (const QString &line : lines) {
            const QStringList fields = line.split(QLatin1Char('\t'));
            bool ok = false;
            QVERIFY2(fields.value(0).startsWith(QLatin1String("0x")) && fields.value(1).isEmpty()
                         && (fields.value(2).isEmpty() || fields.value(2).toInt(&ok, 0) < ErrorSeverity),
                     qPrintable(line));
            types.insert(fields.value(0).toInt(nullptr, 0));
        }
    }
    QVERIFY(packets > 10);
    // Registration, device configuration and its acknowledgement, routing, membership and
    // the requests for routing were all seen. (A member asks for the membership only when
    // the server's own does not come first; the codec's referee test covers that request.)
    for (int type : {0x03, 0x71, 0x07, 0x08, 0x04, 0x68})
        QVERIFY2(types.contains(type), qPrintable(QString::number(type, 16)));
}

QTEST_MAIN(TestE2EIp852Managed)
#include "tst_e2e_ip852_managed.moc"
