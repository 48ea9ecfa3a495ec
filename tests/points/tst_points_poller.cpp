// The background poller on the tick: its states and their timings, one fetch per variable
// and cycle, failing and silent devices, communication status points, locks and pending
// jobs, and a points list that arrives while a fetch waits for its device.
#include "PointsFixture.h"

#include "snvt/PointAddress.h"

#include <QTest>
#include <QTimer>

class TestPointsPoller : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void statesAndTimingsOfOneCycle();
    void failedFetchIsRetriedSixTicksLaterThenSkipped_data();
    void failedFetchIsRetriedSixTicksLaterThenSkipped();
    void silentDeviceIsLeftAloneWhileOthersGoOn();
    void pointsOnOneVariableCostOneFetchPerCycle();
    void malformedAddressIsNeverFetched();
    void communicationStatusPoints();
    void lockAndPendingJobStopThePoller();
    void offlineSiteIsNotPolled();
    void pointsListDuringFetchDropsTheAnswer_data();
    void pointsListDuringFetchDropsTheAnswer();

private:
    QTemporaryDir FDir;
};

namespace {

const QString PanelTemp = QStringLiteral("0:1:10:0:105:0:3:105");
const QString DeadValue = QStringLiteral("0:1:12:0:0:0:2:0");
const QString SlowValue = QStringLiteral("0:1:11:0:0:0:2:0");

// The poller's state after each of `count` ticks.
QList<int> TickStates(TPointsSite &site, int count)
{
    QList<int> states;
    for (int i = 0; i < count; ++i) {
        Tick(*site.Controller);
        states.append(site.Controller->Poller().PollState());
    }
    return states;
}

QList<int> Pause(int ticks)
{
    return QList<int>(ticks, 901);
}

} // namespace

void TestPointsPoller::initTestCase()
{
    QVERIFY2(TPointsSite::Prepare(FDir), qPrintable(LDV32::ErrorText()));
}

void TestPointsPoller::statesAndTimingsOfOneCycle()
{
    TPointsSite site;
    QVERIFY(site.IsOnline());
    QVERIFY(site.SendPoints({PanelTemp}));

    // Rebuilt set: through 901 without a pause to 0; 0 -> 1; the walk finds the point (2);
    // the fetch on the next tick (back to 1); nothing left: 900.
    QCOMPARE(TickStates(site, 3), (QList<int>{0, 1, 2}));
    QCOMPARE(site.Fetches(PanelNode).size(), 0);
    QCOMPARE(TickStates(site, 1), QList<int>{1});
    QCOMPARE(site.Fetches(PanelNode), QList<int>{0});
    QCOMPARE(site.Point(PanelTemp).Value, QStringLiteral("21.5000"));
    QVERIFY(site.Point(PanelTemp).Fresh);
    QVERIFY(!site.Controller->CommandSlot().IsBusy());
    QCOMPARE(TickStates(site, 1), QList<int>{900});
    QCOMPARE(TickStates(site, 1), QList<int>{901});
    QVERIFY(!site.Point(PanelTemp).Fresh);
    QVERIFY(site.Controller->Poller().ValueCache().IsEmpty());

    // Ten ticks of pause, one to leave 901, one in 0: the walk is 13 ticks after 900.
    QCOMPARE(TickStates(site, 13), Pause(10) + QList<int>({0, 1, 2}));
    QCOMPARE(site.Fetches(PanelNode).size(), 1);
    QCOMPARE(TickStates(site, 1), QList<int>{1});
    QCOMPARE(site.Fetches(PanelNode).size(), 2);
    QCOMPARE(site.Point(PanelTemp).Value, QStringLiteral("21.5000"));
}

void TestPointsPoller::failedFetchIsRetriedSixTicksLaterThenSkipped_data()
{
    QTest::addColumn<QString>("network");
    QTest::addColumn<QString>("point");
    QTest::addColumn<int>("node");
    QTest::newRow("silent device") << "points.json" << DeadValue << DeadNode;
    // A device that answers with another variable's value fails the fetch as a lost answer does.
    QTest::newRow("another variable's answer") << "answers.json" << QStringLiteral("0:1:13:0:0:0:2:0") << ConfusedNode;
}

void TestPointsPoller::failedFetchIsRetriedSixTicksLaterThenSkipped()
{
    QFETCH(QString, network);
    QFETCH(QString, point);
    QFETCH(int, node);
    TPointsSite site(network);
    QVERIFY(site.SendPoints({point}));
    QCOMPARE(TickStates(site, 3), (QList<int>{0, 1, 2}));
    for (int attempt = 1; attempt <= 3; ++attempt) {
        // The failed fetch pauses 3 ticks; the walk comes back 6 ticks after it.
        QCOMPARE(TickStates(site, 1), QList<int>{901});
        QCOMPARE(site.Fetches(node).size(), attempt);
        QCOMPARE(site.Point(point).FailCount, attempt);
        QVERIFY(site.Controller->CommandSlot().IsBusy());
        const int next = attempt < 3 ? 2 : 900;
        QCOMPARE(TickStates(site, 6), Pause(3) + QList<int>({0, 1, next}));
    }
    QVERIFY(!site.Point(point).HasValue);
    // Skipped from now on: cycles go by without fetches.
    TickStates(site, 60);
    QCOMPARE(site.Fetches(node).size(), 3);
    QCOMPARE(site.Point(point).FailCount, 3);
}

void TestPointsPoller::silentDeviceIsLeftAloneWhileOthersGoOn()
{
    TPointsSite site;
    const QString setpoint = QStringLiteral("0:1:10:2:105:0:3:105");
    QVERIFY(site.SendPoints({DeadValue, PanelTemp, setpoint}));
    // Between the silent device's attempts the panel's points are served.
    const int ticks = site.TickUntilFetches(DeadNode, 2);
    QVERIFY(ticks > 0);
    QCOMPARE(site.Point(PanelTemp).Value, QStringLiteral("21.5000"));
    QCOMPARE(site.Point(setpoint).Value, QStringLiteral("20.0000"));

    TickStates(site, 120);
    QCOMPARE(site.Fetches(DeadNode).size(), 3);
    const QList<int> panel = site.Fetches(PanelNode);
    QVERIFY2(panel.count(0) >= 4, qPrintable(QString::number(panel.count(0))));
    QCOMPARE(panel.count(0), panel.count(2));
    QVERIFY(!site.Point(DeadValue).HasValue);
}

void TestPointsPoller::pointsOnOneVariableCostOneFetchPerCycle()
{
    TPointsSite site;
    const QStringList triple{PanelAddress(1, 0, 0, 0), PanelAddress(1, 1, 0, 0), PanelAddress(1, 2, 0, 0)};
    QVERIFY(site.SendPoints(triple));
    QCOMPARE(TickStates(site, 4), (QList<int>{0, 1, 2, 1}));
    QCOMPARE(site.Fetches(PanelNode), QList<int>{1});
    QCOMPARE(site.Point(triple[0]).Value, QStringLiteral("1.0000"));
    QVERIFY(!site.Point(triple[1]).HasValue);
    // The walk decodes the other two from the cache in one tick and finds nothing else.
    QCOMPARE(TickStates(site, 1), QList<int>{1});
    QCOMPARE(site.Point(triple[1]).Value, QStringLiteral("2.0000"));
    QCOMPARE(site.Point(triple[2]).Value, QStringLiteral("3.0000"));
    QCOMPARE(TickStates(site, 1), QList<int>{900});

    for (int cycle = 2; cycle <= 4; ++cycle) {
        int ticks = 0;
        do {
            Tick(*site.Controller);
        } while (site.Controller->Poller().PollState() != 900 && ++ticks < 100);
        QCOMPARE(site.Fetches(PanelNode), QList<int>(cycle, 1));
    }
}

void TestPointsPoller::malformedAddressIsNeverFetched()
{
    TPointsSite site;
    const QString bad = QStringLiteral("0:1:12:0:0:0:0");
    QVERIFY(site.SendPoints({bad, PanelTemp}));
    QCOMPARE(TickStates(site, 4), (QList<int>{0, 1, 2, 901}));
    QCOMPARE(site.Point(bad).FailCount, 3);
    QVERIFY(site.TickUntilFetches(PanelNode, 3) > 0);
    QVERIFY(site.Fetches(DeadNode).isEmpty());
    QVERIFY(site.Point(PanelTemp).HasValue);
    QVERIFY(!site.Point(bad).HasValue);
}

void TestPointsPoller::communicationStatusPoints()
{
    TPointsSite site;
    const QString panelStatus = QStringLiteral("0:1:10:6:0:0:0:0,0,D-X1");
    const QString deadStatus = QStringLiteral("0:1:12:0:0:0:0:0,0,d-x1");
    // Shares its variable with the temperature point: the fetch is shared, the status is 1.
    const QString sharedStatus = QStringLiteral("0:1:10:0:0:0:0:0,,D-COMX1");
    QVERIFY(site.SendPoints({panelStatus, deadStatus, PanelTemp, sharedStatus}));
    QVERIFY(site.TickUntilFetches(DeadNode, 5) > 0);
    QCOMPARE(site.Point(panelStatus).Value, QStringLiteral("1"));
    QCOMPARE(site.Point(deadStatus).Value, QStringLiteral("0"));
    QCOMPARE(site.Point(deadStatus).FailCount, 0);
    QCOMPARE(site.Point(PanelTemp).Value, QStringLiteral("21.5000"));
    QCOMPARE(site.Point(sharedStatus).Value, QStringLiteral("1"));
    QCOMPARE(site.Fetches(PanelNode).count(0), site.Fetches(PanelNode).count(6));
}

void TestPointsPoller::lockAndPendingJobStopThePoller()
{
    TPointsSite site;
    QVERIFY(site.SendPoints({PanelTemp}));
    QVERIFY(site.TickUntilFetches(PanelNode, 1) > 0);

    site.Controller->LockSite(QString());
    site.Mark();
    QCOMPARE(TickStates(site, 40), QList<int>(40, 0));
    QVERIFY(site.Fetches(PanelNode).isEmpty());
    // Unlocked: the walk finds the point still fresh from the cycle the lock cut short, so
    // that cycle completes first and the next one fetches again.
    site.Controller->UnlockClient();
    QCOMPARE(TickStates(site, 3), (QList<int>{1, 900, 901}));
    QCOMPARE(site.TickUntilFetches(PanelNode, 1), 14);

    // A job finished in the tick leaves the tick's poll step to the poller.
    site.Controller->StartCommand(&site.Client, jobGetPointsList, QStringList{"COMMAND=GETPOINTSLIST"});
    QCOMPARE(TickStates(site, 1), QList<int>{900});
    QCOMPARE(site.Controller->CommandSlot().CommandState(), 2);
    QCOMPARE(site.Controller->CommandSlot().ResultData().toStringList(), QStringList{"POINT0={0:1:10:0:105:0:3:105}{VALUE=21.5000}"});

    // A job still pending after the job step resets the poller on every tick.
    TSiteTestHook::SetPendingJob(*site.Controller, 1);
    QCOMPARE(TickStates(site, 5), QList<int>(5, 0));
    TSiteTestHook::SetPendingJob(*site.Controller, jobNone);
    QCOMPARE(TickStates(site, 1), QList<int>{1});
}

void TestPointsPoller::offlineSiteIsNotPolled()
{
    auto form = MakeSite(QStringLiteral("Offline"), true);
    TTestClient client;
    QVERIFY(Attach(*form, client));
    QVERIFY(form->ReceivePointsList(&client, TPointsSite::PointsRequest({PanelTemp})));
    Tick(*form, 20);
    QCOMPARE(form->Poller().PollState(), 0);
    QVERIFY(form->Poller().PointsChanged());
}

void TestPointsPoller::pointsListDuringFetchDropsTheAnswer_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("after");
    QTest::newRow("set emptied") << QStringList{SlowValue} << QStringList{};
    QTest::newRow("another point at the index") << QStringList{SlowValue} << QStringList{PanelTemp, SlowValue};
    QTest::newRow("index past the end") << QStringList{PanelTemp, SlowValue} << QStringList{SlowValue};
}

void TestPointsPoller::pointsListDuringFetchDropsTheAnswer()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, after);
    TPointsSite site;
    QVERIFY(site.SendPoints(before));
    // Up to the tick before the slow device's fetch.
    int ticks = 0;
    while (!(site.Controller->Poller().PollState() == 2 && site.Controller->Poller().PollKey() == PointValueKey(SlowValue)) && ++ticks < 50)
        Tick(*site.Controller);
    QCOMPARE(site.Controller->Poller().PollState(), 2);

    // The list arrives while the fetch waits for the device's delayed answer.
    bool duringFetch = false;
    QTimer::singleShot(0, site.Controller.get(), [&] {
        duringFetch = site.Controller->Poller().PollState() == 2 && site.Controller->CommandSlot().IsBusy();
        QVERIFY(site.SendPoints(after));
    });
    Tick(*site.Controller);
    QVERIFY(duringFetch);
    QCOMPARE(site.Fetches(SlowNode).size(), 1);
    QCOMPARE(site.Controller->Poller().Points().Keys(), after);
    for (const QString &address : after) {
        QVERIFY(!site.Point(address).HasValue);
        QCOMPARE(site.Point(address).FailCount, 0);
    }
    QVERIFY(site.Controller->Poller().PointsChanged());
    QVERIFY(site.Controller->CommandSlot().IsBusy());

    // The next tick starts over, with the 30-tick pause of a set rebuilt while busy.
    Tick(*site.Controller);
    QCOMPARE(site.Controller->Poller().PollState(), 901);
    QCOMPARE(site.Controller->Poller().PollDelay(), 29);
    QVERIFY(site.Controller->Poller().ValueCache().IsEmpty());
    if (after.isEmpty())
        return;
    Tick(*site.Controller, 40);
    for (const QString &address : after)
        QVERIFY2(site.Point(address).HasValue, qPrintable(address));
    QCOMPARE(site.Point(SlowValue).Value, QStringLiteral("7.0000"));
}

QTEST_MAIN(TestPointsPoller)
#include "tst_points_poller.moc"
