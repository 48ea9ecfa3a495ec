// Background polling end to end on LON1: two clients' lists merged, values that follow the
// devices, one fetch per variable and cycle, a silent device left alone after three tries,
// a communication status point, values held while the site is locked; and a site polling to
// a budget whose stopped point comes back when its device answers again.
#include "PointsSession.h"

#include <QtTest>

class TestE2EPointsPolling : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void twoClientsListsMergeAndFollowTheDevices();
    void pointsOnOneVariableCostOneFetchPerCycle();
    void silentDeviceIsTriedThreeTimesThenLeftAlone();
    void communicationStatusPointFollowsTheDevice();
    void valuesStopWhileLockedAndResumeAfter();
    void budgetModeReadsEveryValueAndStoppedPointsComeBack();

private:
    TPointsSession FSession;
};

namespace {

const QString RoomSetpoint = QStringLiteral("0:1:10:1:105:0:3:105");
const QString LightingLevel = QStringLiteral("0:1:40:5:0:0:0:0");
const QString RoomFanSpeed = QStringLiteral("0:1:10:5:0:0:3:0");
const QString MeterEnergy = QStringLiteral("1:2:30:0:0:0:2:0");

bool Ok(const QString &controlResult)
{
    return controlResult.contains(QLatin1String("=> ok")) && !controlResult.contains(QLatin1String("error"));
}

} // namespace

void TestE2EPointsPolling::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    if (const QString why = TPointsSession::SkipReason(); !why.isEmpty())
        QSKIP(qPrintable(why));
    // Changing values run ten times faster than on the description's clock.
    QVERIFY2(FSession.Start(0.1), "lonworks-driver did not take its bus name");
}

void TestE2EPointsPolling::cleanupTestCase()
{
    FSession.Driver.Stop();
}

void TestE2EPointsPolling::twoClientsListsMergeAndFollowTheDevices()
{
    TDriverClient first;
    TDriverClient second;
    QVERIFY(OpenLon1(first, QStringLiteral("Merge")));
    QVERIFY(OpenLon1(second, QStringLiteral("Merge")));
    QCOMPARE(first.Put(PointsList({RoomSetpoint, RoomFanSpeed})).value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
    QCOMPARE(second.Put(PointsList({LightingLevel, RoomSetpoint})).value(0), QStringLiteral("COMMANDSTATUS=TRUE"));

    // Either client collects the values of the merged set.
    QVERIFY(WaitForListedValue(first, LightingLevel, QStringLiteral("100.0000")));
    QVERIFY(WaitForListedValue(second, RoomSetpoint, QStringLiteral("21.5000")));
    QVERIFY(!ListedValue(second, RoomFanSpeed).isEmpty());
    const QStringList all = Result(first.Run({"COMMAND=GETPOINTSLIST"}));
    QCOMPARE(all.size(), 3);
    QVERIFY(all.value(0).startsWith(QStringLiteral("POINT0={") + RoomSetpoint + QStringLiteral("}{VALUE=")));

    // A value set at the device shows up, and so do both halves of a toggling variable.
    QVERIFY(Ok(FSession.Control({QStringLiteral("set RoomController 1 0898")})));
    QVERIFY(WaitForListedValue(second, RoomSetpoint, QStringLiteral("22.0000")));
    QVERIFY(WaitForListedValue(first, RoomFanSpeed, QStringLiteral("10000.0000")));
    QVERIFY(WaitForListedValue(first, RoomFanSpeed, QStringLiteral("20000.0000")));
    QVERIFY(Ok(FSession.Control({QStringLiteral("set RoomController 1 0866")})));
    QVERIFY(WaitForListedValue(first, RoomSetpoint, QStringLiteral("21.5000")));
}

void TestE2EPointsPolling::pointsOnOneVariableCostOneFetchPerCycle()
{
    TDriverClient client;
    QVERIFY(OpenLon1(client, QStringLiteral("OneFetch")));
    // Three fields of the room controller's unit status against three variables of the
    // lighting controller, in one set, so both run through the same cycles.
    const QStringList shared{"0:1:10:3:0:0:0:0", "0:1:10:3:0:1:3:0", "0:1:10:3:0:3:3:0"};
    const QStringList separate{"0:1:40:0:0:0:0:0", "0:1:40:1:0:0:0:0", "0:1:40:2:0:0:0:0"};
    QCOMPARE(client.Put(PointsList(shared + separate)).value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
    QVERIFY(WaitForListedValue(client, shared.at(2), QStringLiteral("0.0000")));
    QCOMPARE(ListedValue(client, shared.at(0)), QStringLiteral("1.0000"));
    QCOMPARE(ListedValue(client, shared.at(1)), QStringLiteral("6000.0000"));

    const int roomBefore = FSession.Fetches(1, 10);
    const int lightingBefore = FSession.Fetches(1, 40);
    SpinEvents(8000);
    const int room = FSession.Fetches(1, 10) - roomBefore;
    const int lighting = FSession.Fetches(1, 40) - lightingBefore;
    QVERIFY2(room >= 3, qPrintable(QString::number(room)));
    QVERIFY2(lighting >= 3 * room - 3 && lighting <= 3 * room + 3,
             qPrintable(QStringLiteral("room %1, lighting %2").arg(room).arg(lighting)));
}

void TestE2EPointsPolling::silentDeviceIsTriedThreeTimesThenLeftAlone()
{
    TDriverClient client;
    QVERIFY(OpenLon1(client, QStringLiteral("Silent")));
    QCOMPARE(client.Put(PointsList({MeterEnergy, RoomSetpoint})).value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
    QVERIFY(WaitForListedValue(client, RoomSetpoint, QStringLiteral("21.5000")));
    QVERIFY(!ListedValue(client, MeterEnergy).isEmpty());

    QVERIFY(Ok(FSession.Control({QStringLiteral("silent EnergyMeter on")})));
    const int meterBefore = FSession.Fetches(2, 30);
    // Wait until the meter's fetches have stopped for a while.
    int meter = meterBefore;
    for (int quiet = 0, round = 0; quiet < 4 && round < 60; ++round) {
        SpinEvents(1000);
        const int now = FSession.Fetches(2, 30);
        quiet = now == meter ? quiet + 1 : 0;
        meter = now;
    }
    // Three failed tries (one more when the silence began during a fetch).
    QVERIFY2(meter - meterBefore >= 3 && meter - meterBefore <= 4, qPrintable(QString::number(meter - meterBefore)));
    const QString lastValue = ListedValue(client, MeterEnergy);
    QVERIFY(!lastValue.isEmpty());

    // The room controller goes on being polled; the meter is left alone.
    const int roomBefore = FSession.Fetches(1, 10);
    SpinEvents(5000);
    QVERIFY(FSession.Fetches(1, 10) >= roomBefore + 2);
    QCOMPARE(FSession.Fetches(2, 30), meter);
    QCOMPARE(ListedValue(client, MeterEnergy), lastValue);
    QVERIFY(Ok(FSession.Control({QStringLiteral("answer EnergyMeter")})));
}

void TestE2EPointsPolling::communicationStatusPointFollowsTheDevice()
{
    TDriverClient client;
    QVERIFY(OpenLon1(client, QStringLiteral("Status")));
    const QString status = QStringLiteral("0:1:20:0:0:0:0:0,0,D-X1");
    QCOMPARE(client.Put(PointsList({status, RoomSetpoint})).value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
    QVERIFY(WaitForListedValue(client, status, QStringLiteral("1")));
    QVERIFY(Ok(FSession.Control({QStringLiteral("silent AirHandler on")})));
    QVERIFY(WaitForListedValue(client, status, QStringLiteral("0")));
    // Polled on: more than three tries, and back to 1 when the device answers again.
    const int before = FSession.Fetches(1, 20);
    QElapsedTimer timer;
    timer.start();
    while (FSession.Fetches(1, 20) < before + 4 && timer.elapsed() < 30000)
        SpinEvents(500);
    QVERIFY(FSession.Fetches(1, 20) >= before + 4);
    QCOMPARE(ListedValue(client, status), QStringLiteral("0"));
    QVERIFY(Ok(FSession.Control({QStringLiteral("answer AirHandler")})));
    QVERIFY(WaitForListedValue(client, status, QStringLiteral("1")));
}

void TestE2EPointsPolling::valuesStopWhileLockedAndResumeAfter()
{
    TDriverClient client;
    QVERIFY(OpenLon1(client, QStringLiteral("Locked")));
    QCOMPARE(client.Put(PointsList({RoomSetpoint})).value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
    QVERIFY(WaitForListedValue(client, RoomSetpoint, QStringLiteral("21.5000")));
    QCOMPARE(client.Run({"COMMAND=GETDATA", "DRIVERCOMMAND=LOCKCLIENT", "LOCKCOMMENT=test"}).value(0),
             QStringLiteral("COMMANDSTATUS=TRUE"));

    // The poller is stopped: the owner's own reads carry the control command to the device.
    const QStringList read{"COMMAND=POINTGETVALUE", "POINT={S}{" + RoomSetpoint + "}"};
    QVERIFY(Ok(FSession.Control({QStringLiteral("set RoomController 1 0898")}, [&client, &read] { client.Run(read); })));
    QCOMPARE(Result(client.Run(read)).value(0), QStringLiteral("VALUE=22.0000"));
    const int fetches = FSession.Fetches(1, 10);
    SpinEvents(4000);
    QCOMPARE(ListedValue(client, RoomSetpoint), QStringLiteral("21.5000"));
    QCOMPARE(FSession.Fetches(1, 10), fetches);

    QCOMPARE(client.Run({"COMMAND=GETDATA", "DRIVERCOMMAND=UNLOCKCLIENT"}).value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
    QVERIFY(WaitForListedValue(client, RoomSetpoint, QStringLiteral("22.0000")));
    QVERIFY(Ok(FSession.Control({QStringLiteral("set RoomController 1 0866")})));
}

QTEST_MAIN(TestE2EPointsPolling)
#include "tst_e2e_points_polling.moc"

void TestE2EPointsPolling::budgetModeReadsEveryValueAndStoppedPointsComeBack()
{
    TDriverClient client;
    QVERIFY(client.Open({QStringLiteral("DESCRIPTION=Budget"), QStringLiteral("SP1=LON1"),
                         QStringLiteral("POLLBUDGET=20"), QStringLiteral("POLLRETRY=1")}));
    QCOMPARE(client.WaitForStatus().value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
    const QString status = QStringLiteral("1:2:30:0:0:0:0:0,0,D-X1");
    QCOMPARE(client.Put(PointsList({RoomSetpoint, LightingLevel, MeterEnergy, status})).value(0),
             QStringLiteral("COMMANDSTATUS=TRUE"));
    QVERIFY(WaitForListedValue(client, RoomSetpoint, QStringLiteral("21.5000")));
    QVERIFY(WaitForListedValue(client, LightingLevel, QStringLiteral("100.0000")));
    QVERIFY(WaitForListedValue(client, status, QStringLiteral("1")));
    const QStringList figures = Result(client.Run({"COMMAND=GETDATA", "DRIVERCOMMAND=POLLSTATUS"}));
    QCOMPARE(figures.value(0), QStringLiteral("POLLMODE=20 fetches/s"));

    // The meter goes silent long enough to be stopped, then answers with another value, as
    // after a power cycle: the retry brings the point back.
    QVERIFY(Ok(FSession.Control({QStringLiteral("silent EnergyMeter on")})));
    QVERIFY(WaitForListedValue(client, status, QStringLiteral("0")));
    SpinEvents(3000);
    QVERIFY(Ok(FSession.Control({QStringLiteral("set EnergyMeter 0 0400"), QStringLiteral("answer EnergyMeter")})));
    QVERIFY(WaitForListedValue(client, MeterEnergy, QStringLiteral("1024.0000")));
    QVERIFY(WaitForListedValue(client, status, QStringLiteral("1")));
    QCOMPARE(ListedValue(client, RoomSetpoint), QStringLiteral("21.5000"));
}
