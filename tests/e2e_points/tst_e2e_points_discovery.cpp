// Discovery and files end to end: GETDATA DRIVERCOMMAND=GETPOINTSLIST on LON1 answers
// every point entry of the demonstration network in order, and DRIVERCOMMAND=GETFILE
// answers a device's file as bytes.
#include "PointsSession.h"

#include <QtTest>

class TestE2EPointsDiscovery : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void discoveryListsEveryPointOfLon1();
    void getFile_data();
    void getFile();
    void getFileOfSilentDeviceIsEmpty();

private:
    QByteArray GetFile(TDriverClient &client, const QStringList &request);

    TPointsSession FSession;
};

void TestE2EPointsDiscovery::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    if (const QString why = TPointsSession::SkipReason(); !why.isEmpty())
        QSKIP(qPrintable(why));
    QVERIFY2(FSession.Start(), "lonworks-driver did not take its bus name");
}

void TestE2EPointsDiscovery::cleanupTestCase()
{
    FSession.Driver.Stop();
}

void TestE2EPointsDiscovery::discoveryListsEveryPointOfLon1()
{
    QFile fixture(QStringLiteral(LW_FIXTURES "/lon1-points.txt"));
    QVERIFY(fixture.open(QIODevice::ReadOnly | QIODevice::Text));
    QStringList expected = QString::fromUtf8(fixture.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);

    TDriverClient client;
    QVERIFY(OpenLon1(client, QStringLiteral("Discovery")));
    const QStringList answer = client.Run({"COMMAND=GETDATA", "DRIVERCOMMAND=GETPOINTSLIST"}, 1200, 100);
    QCOMPARE(answer.value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
    const QStringList entries = Result(answer);
    if (entries != expected) {
        for (const QString &entry : entries)
            qInfo().noquote() << entry;
    }
    QCOMPARE(entries.size(), expected.size());
    QCOMPARE(entries, expected);

    // The air handler answers on both domains and is read once, under domain 0.
    QVERIFY(!entries.join(QString()).contains(QLatin1String("{1:1:20:")));
    // The energy meter's self-documentation is reached only through Query SNVT.
    const auto nudge = [&client] { client.Run({"COMMAND=POINTGETVALUE", "POINT={S}{0:1:10:0:0:0:0:0,0,D-X1}"}); };
    QVERIFY(FSession.Control({QStringLiteral("network LON1")}, nudge).contains(QLatin1String("ok")));
    QVERIFY(FSession.Device(QStringLiteral("EnergyMeter"))[QLatin1String("counts")][QLatin1String("querySnvt")].toInt() > 0);
    QVERIFY(client.Disconnect());
}

QByteArray TestE2EPointsDiscovery::GetFile(TDriverClient &client, const QStringList &request)
{
    QStringList full{QStringLiteral("COMMAND=GETDATA"), QStringLiteral("DRIVERCOMMAND=GETFILE")};
    full += request;
    client.GetValue(full);
    for (int poll = 0; poll < 400; ++poll) {
        const QVariant answer = client.GetValue(QStringList{QStringLiteral("COMMAND=COMMANDSTATUS")});
        if (answer.userType() == QMetaType::QByteArray)
            return answer.toByteArray();
        if (TDriverClient::IsFinal(TDriverClient::Texts(answer)))
            return QByteArray("not bytes: ") + TDriverClient::Texts(answer).join(QLatin1Char('|')).toUtf8();
        SpinEvents(50);
    }
    return QByteArray("no answer");
}

void TestE2EPointsDiscovery::getFile_data()
{
    QTest::addColumn<QStringList>("request");
    QTest::addColumn<QByteArray>("bytes");
    QByteArray counted(500, '\0');
    for (int i = 0; i < counted.size(); ++i)
        counted[i] = char(i & 0xFF);
    QTest::newRow("500 bytes, many blocks")
        << QStringList{"DOMAIN=0", "SUBNET=1", "NODE=40", "FILEINDEX=0", "FILEREQVAR=7"} << counted;
    QTest::newRow("text file")
        << QStringList{"DOMAIN=0", "SUBNET=1", "NODE=40", "FILEINDEX=1", "FILEREQVAR=7"}
        << QByteArray("Scene 1: all on\nScene 2: presentation\nScene 3: cleaning\n");
}

void TestE2EPointsDiscovery::getFile()
{
    QFETCH(QStringList, request);
    QFETCH(QByteArray, bytes);
    TDriverClient client;
    QVERIFY(OpenLon1(client, QStringLiteral("Files")));
    QCOMPARE(GetFile(client, request), bytes);
    QVERIFY(client.Disconnect());
}

void TestE2EPointsDiscovery::getFileOfSilentDeviceIsEmpty()
{
    TDriverClient client;
    QVERIFY(OpenLon1(client, QStringLiteral("Files")));
    const auto nudge = [&client] {
        client.Run({"COMMAND=POINTGETVALUE", "POINT={S}{0:1:40:5:0:0:0:0,0,D-X1}"});
    };
    QVERIFY(FSession.Control({QStringLiteral("silent LightingController on")}, nudge).contains(QLatin1String("ok")));
    const int before = FSession.Fetches(1, 40);
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(GetFile(client, {"DOMAIN=0", "SUBNET=1", "NODE=40", "FILEINDEX=0", "FILEREQVAR=7"}), QByteArray());
    // Two attempts, with the second a second after the first.
    QVERIFY(timer.elapsed() >= 1000);
    QCOMPARE(FSession.Fetches(1, 40), before);
    QVERIFY(FSession.Control({QStringLiteral("answer LightingController")}, nudge).contains(QLatin1String("ok")));
    QVERIFY(client.Disconnect());
}

QTEST_MAIN(TestE2EPointsDiscovery)
#include "tst_e2e_points_discovery.moc"
