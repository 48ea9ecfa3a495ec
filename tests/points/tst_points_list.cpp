// Points lists: reading POINT0, POINT1, ..., the rebuild of the polling set from every
// client's list, what GETPOINTSLIST answers, and how values are stored and scaled.
#include "PointsFixture.h"

#include "site/DriverLimits.h"
#include "site/PointEntry.h"
#include "snvt/PointAddress.h"

#include <QTest>

class TestPointsList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void readsUpToTheFirstMissingOrEmptyPoint_data();
    void readsUpToTheFirstMissingOrEmptyPoint();
    void splitPointEntry_data();
    void splitPointEntry();
    void twoClientsMergeInOrderWithoutDuplicates();
    void rebuildKeepsValueAndFailCountOfPointsThatStay();
    void unreadableListLeavesThePollingSetAlone();
    void pointsListLimits_data();
    void pointsListLimits();
    void sendPointsListJobWithoutClientFails();
    void sendPointsListJobRebuilds();
    void getPointsListAnswersPointsWithValues();
    void storePointValue_data();
    void storePointValue();
    void storePointValueIgnoredWhileChangedOrUnknown();
    void decodeCachedPointScales_data();
    void decodeCachedPointScales();

private:
    QTemporaryDir FDir;
};

void TestPointsList::initTestCase()
{
    QVERIFY2(TPointsSite::Prepare(FDir), qPrintable(LDV32::ErrorText()));
}

void TestPointsList::readsUpToTheFirstMissingOrEmptyPoint_data()
{
    QTest::addColumn<QStringList>("request");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("POINT2 absent") << QStringList{"POINT0={a}{0:1:10:0:0:0:0:0}", "POINT1={b}{0:1:10:1:0:0:0:0}",
                                                  "POINT3={d}{0:1:10:3:0:0:0:0}"}
                                   << QStringList{"{a}{0:1:10:0:0:0:0:0}", "{b}{0:1:10:1:0:0:0:0}"};
    QTest::newRow("POINT1 empty") << QStringList{"POINT0={a}{x}", "POINT1=", "POINT2={c}{y}"}
                                  << QStringList{"{a}{x}"};
    QTest::newRow("order of the names in the request")
        << QStringList{"POINT1={b}{y}", "COMMAND=SENDPOINTSLIST", "POINT0={a}{x}"}
        << QStringList{"{a}{x}", "{b}{y}"};
    QTest::newRow("no points") << QStringList{"COMMAND=SENDPOINTSLIST"} << QStringList{};
}

void TestPointsList::readsUpToTheFirstMissingOrEmptyPoint()
{
    QFETCH(QStringList, request);
    QFETCH(QStringList, entries);
    TPointsSite site;
    site.Client.SetPointEntries({QStringLiteral("{old}{0:1:10:7:0:0:0:0}")});
    QVERIFY(site.Controller->ReceivePointsList(&site.Client, request));
    QCOMPARE(site.Client.PointEntries(), entries);
    QCOMPARE(site.Controller->Poller().Points().Count(), entries.size());
    QVERIFY(site.Controller->Poller().PointsChanged());
}

void TestPointsList::splitPointEntry_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("address");
    QTest::newRow("two groups") << "{Temp}{0:1:2:3:105:0:3:105}" << "Temp" << "0:1:2:3:105:0:3:105";
    QTest::newRow("more groups") << "{T}{0:1:2:3:0:0:0:0,10,D-X1}{x}{y}" << "T" << "0:1:2:3:0:0:0:0,10,D-X1";
    QTest::newRow("empty name") << "{}{0:1:2:3:0:0:0:0}" << "" << "0:1:2:3:0:0:0:0";
    QTest::newRow("one group") << "{Temp}" << "Temp" << "";
    QTest::newRow("no braces") << "Temp" << "" << "";
    QTest::newRow("second unclosed") << "{Temp}{0:1" << "Temp" << "";
}

void TestPointsList::splitPointEntry()
{
    QFETCH(QString, entry);
    QFETCH(QString, name);
    QFETCH(QString, address);
    QString gotName;
    QString gotAddress;
    SplitPointEntry(entry, gotName, gotAddress);
    QCOMPARE(gotName, name);
    QCOMPARE(gotAddress, address);
}

void TestPointsList::twoClientsMergeInOrderWithoutDuplicates()
{
    TPointsSite site;
    TTestClient second;
    site.Controller->AddClient(&second, QStringLiteral("Points"));
    QVERIFY(site.SendPoints({"0:1:10:0:0:0:0:0", "0:1:10:1:0:0:0:0", "0:1:10:0:0:0:0:0"}));
    QVERIFY(site.SendPoints(second, {"0:1:10:2:0:0:0:0", "0:1:10:1:0:0:0:0"}));
    QCOMPARE(site.Controller->Poller().Points().Keys(),
             (QStringList{"0:1:10:0:0:0:0:0", "0:1:10:1:0:0:0:0", "0:1:10:2:0:0:0:0"}));

    // An entry without an address adds nothing; the first client's new list drops a point.
    QVERIFY(site.Controller->ReceivePointsList(&site.Client, QStringList{"POINT0={x}", "POINT1={y}{0:1:10:3:0:0:0:0}"}));
    QCOMPARE(site.Controller->Poller().Points().Keys(), (QStringList{"0:1:10:3:0:0:0:0", "0:1:10:2:0:0:0:0", "0:1:10:1:0:0:0:0"}));
}

void TestPointsList::rebuildKeepsValueAndFailCountOfPointsThatStay()
{
    TPointsSite site;
    TTestClient second;
    site.Controller->AddClient(&second, QStringLiteral("Points"));
    const QString shared = QStringLiteral("0:1:10:0:0:0:0:0");
    const QString failed = QStringLiteral("0:1:12:0:0:0:0:0");
    QVERIFY(site.SendPoints({shared, failed}));
    QVERIFY(site.SendPoints(second, {shared}));
    TSiteTestHook::TakePointsChange(*site.Controller);
    site.Controller->StorePointValue(shared, QStringLiteral("21.5000"));
    TSiteTestHook::Point(*site.Controller, failed).FailCount = 3;

    // The first client drops the shared point: the second still lists it, with its value.
    QVERIFY(site.SendPoints({failed}));
    QCOMPARE(site.Controller->Poller().Points().Keys(), (QStringList{failed, shared}));
    QCOMPARE(site.Point(shared).Value, QStringLiteral("21.5000"));
    QVERIFY(site.Point(shared).HasValue);
    QVERIFY(site.Point(shared).Fresh);
    QCOMPARE(site.Point(failed).FailCount, 3);

    // A point dropped by every client and listed again starts afresh.
    QVERIFY(site.SendPoints(second, {}));
    QVERIFY(site.SendPoints({}));
    QVERIFY(site.Controller->Poller().Points().IsEmpty());
    QVERIFY(site.SendPoints({failed, shared}));
    QCOMPARE(site.Point(failed).FailCount, 0);
    QVERIFY(!site.Point(shared).HasValue);
}

void TestPointsList::unreadableListLeavesThePollingSetAlone()
{
    TPointsSite site;
    QVERIFY(site.SendPoints({"0:1:10:0:0:0:0:0"}));
    TSiteTestHook::TakePointsChange(*site.Controller);
    // A nested list is no NAME=VALUE entry: reading stops there with an error.
    const QVariantList request{QStringLiteral("POINT0={a}{0:1:10:5:0:0:0:0}"), QVariant(QVariantList{1, 2})};
    QVERIFY(!site.Controller->ReceivePointsList(&site.Client, request));
    QCOMPARE(site.Controller->Poller().Points().Keys(), QStringList{"0:1:10:0:0:0:0:0"});
    QVERIFY(!site.Controller->Poller().PointsChanged());
    QCOMPARE(site.Client.PointEntries(), QStringList{"{a}{0:1:10:5:0:0:0:0}"});
    QVERIFY(!site.Controller->ReceivePointsList(nullptr, QStringList{"POINT0={a}{b}"}));
}

void TestPointsList::pointsListLimits_data()
{
    QTest::addColumn<int>("count");           // entries in the list
    QTest::addColumn<int>("length");          // characters of each address
    QTest::addColumn<int>("secondCount");     // entries of a second client's list sent before
    QTest::addColumn<QString>("error");       // empty: taken
    QTest::newRow("100000 entries") << 100'000 << 0 << 0 << "";
    QTest::newRow("100001 entries") << 100'001 << 0 << 0
                                    << "Limit exceeded: entries per points list (at most 100000)";
    QTest::newRow("8 Mi characters") << 2 << 5'000'000 << 0
                                     << "Limit exceeded: characters per points list (at most 8388608)";
    QTest::newRow("site's union over 100000") << 60'000 << 0 << 60'000
                                             << "Limit exceeded: points polled per site (at most 100000)";
}

void TestPointsList::pointsListLimits()
{
    QFETCH(int, count);
    QFETCH(int, length);
    QFETCH(int, secondCount);
    QFETCH(QString, error);
    const auto list = [length](int from, int count) {
        QStringList request{QStringLiteral("COMMAND=SENDPOINTSLIST")};
        for (int n = 0; n < count; ++n)
            request.append(QStringLiteral("POINT%1={P}{%2}").arg(n).arg(length ? QString(length, u'7')
                                                                               : QString::number(from + n)));
        return request;
    };
    TPointsSite site;
    TTestClient second;
    site.Controller->AddClient(&second, QStringLiteral("Points"));
    QVERIFY(site.Controller->ReceivePointsList(&second, list(1'000'000, secondCount)));
    const QStringList before{QStringLiteral("{old}{0:1:10:7:0:0:0:0}")};
    site.Client.SetPointEntries(before);
    const QStringList request = list(0, count);
    if (error.isEmpty()) {
        QVERIFY(site.Controller->ReceivePointsList(&site.Client, request));
        QCOMPARE(site.Client.PointEntries().size(), count);
        return;
    }
    // At the call: refused, and the client keeps its last list.
    try {
        site.Controller->ReceivePointsList(&site.Client, request);
        QFAIL("the list was taken");
    } catch (const TLimitExceeded &limit) {
        QCOMPARE(limit.Message(), error);
    }
    QCOMPARE(site.Client.PointEntries(), before);
    QCOMPARE(site.Controller->Poller().Points().Count(), qsizetype(secondCount));
    // As a job: failed with the limit as its error.
    QCOMPARE(site.Run(jobSendPointsList, request), 3);
    QCOMPARE(site.Controller->CommandSlot().ErrorText(), error);
    QCOMPARE(site.Client.PointEntries(), before);
}

void TestPointsList::sendPointsListJobWithoutClientFails()
{
    TPointsSite site;
    site.Controller->StartCommand(&site.Client, jobSendPointsList, TPointsSite::PointsRequest({"0:1:10:0:0:0:0:0"}));
    // The client is released before the job runs.
    site.Controller->RemoveClient(&site.Client);
    QCOMPARE(site.Controller->CommandSlot().CommandClient(), nullptr);
    Tick(*site.Controller);
    QCOMPARE(site.Controller->CommandSlot().PendingJob(), int(jobNone));
    QCOMPARE(site.Controller->CommandSlot().CommandState(), 3);
    QVERIFY(site.Controller->Poller().Points().IsEmpty());
}

void TestPointsList::sendPointsListJobRebuilds()
{
    TPointsSite site;
    QCOMPARE(site.Run(jobSendPointsList, TPointsSite::PointsRequest({"0:1:10:0:0:0:0:0", "0:1:10:1:0:0:0:0"})), 2);
    QCOMPARE(site.Controller->Poller().Points().Count(), 2);
    QCOMPARE(site.Controller->CommandSlot().StatusText(), QString());
}

void TestPointsList::getPointsListAnswersPointsWithValues()
{
    TPointsSite site;
    const QString a = QStringLiteral("0:12:3:7:105:0:3:105");
    const QString b = QStringLiteral("0:12:3:8:0:0:0:0");
    const QString c = QStringLiteral("0:12:3:9:95:0:1:0,0,D-V3");
    QVERIFY(site.SendPoints({a, b, c}));
    QCOMPARE(site.Run(jobGetPointsList, {"COMMAND=GETPOINTSLIST"}), 2);
    QCOMPARE(site.Controller->CommandSlot().ResultData().toStringList(), QStringList());

    TSiteTestHook::TakePointsChange(*site.Controller);
    site.Controller->StorePointValue(a, QStringLiteral("21.5000"));
    site.Controller->StorePointValue(c, QStringLiteral("On"));
    TSiteTestHook::SetPendingJob(*site.Controller, jobNone);
    QCOMPARE(site.Run(jobGetPointsList, {"COMMAND=GETPOINTSLIST"}), 2);
    QCOMPARE(site.Controller->CommandSlot().ResultData().toStringList(),
             (QStringList{"POINT0={0:12:3:7:105:0:3:105}{VALUE=21.5000}", "POINT1={0:12:3:9:95:0:1:0,0,D-V3}{VALUE=TRUE}"}));
}

void TestPointsList::storePointValue_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("stored");
    QTest::newRow("on") << "on" << "TRUE";
    QTest::newRow("On") << "On" << "TRUE";
    QTest::newRow("ONLINE") << "ONLINE" << "TRUE";
    QTest::newRow("off") << "off" << "FALSE";
    QTest::newRow("Offline") << "Offline" << "FALSE";
    QTest::newRow("number") << "21.5000" << "21.5000";
    QTest::newRow("MONDAY") << "MONDAY" << "MONDAY";
    QTest::newRow("-ON") << "-ON" << "-ON";
    QTest::newRow("empty") << "" << "";
}

void TestPointsList::storePointValue()
{
    QFETCH(QString, value);
    QFETCH(QString, stored);
    TPointsSite site;
    const QString address = QStringLiteral("0:1:10:0:0:0:0:0");
    QVERIFY(site.SendPoints({address}));
    TSiteTestHook::TakePointsChange(*site.Controller);
    TSiteTestHook::Point(*site.Controller, address).FailCount = 2;
    site.Controller->StorePointValue(address, value);
    const TPointData point = site.Point(address);
    QCOMPARE(point.Value, stored);
    QVERIFY(point.HasValue);
    QVERIFY(point.Fresh);
    QCOMPARE(point.FailCount, 0);
}

void TestPointsList::storePointValueIgnoredWhileChangedOrUnknown()
{
    TPointsSite site;
    const QString address = QStringLiteral("0:1:10:0:0:0:0:0");
    QVERIFY(site.SendPoints({address}));
    site.Controller->StorePointValue(address, QStringLiteral("1"));
    QVERIFY(!site.Point(address).HasValue);
    TSiteTestHook::TakePointsChange(*site.Controller);
    site.Controller->StorePointValue(QStringLiteral("0:1:10:1:0:0:0:0"), QStringLiteral("1"));
    QVERIFY(!site.Point(address).HasValue);
    QCOMPARE(site.Controller->Poller().Points().Count(), 1);
}

void TestPointsList::decodeCachedPointScales_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("stored");
    QTest::newRow("scale 10") << "0:1:10:0:0:0:2:0,10" << QByteArray::fromHex("00D7") << "21.5000";
    QTest::newRow("scale 0.5") << "0:1:10:0:0:1:0:0,0.5" << QByteArray::fromHex("0003") << "6.0000";
    QTest::newRow("no scale") << "0:1:10:0:0:0:2:0" << QByteArray::fromHex("00D7") << "215.0000";
    QTest::newRow("scale not a number") << "0:1:10:0:0:0:2:0,abc" << QByteArray::fromHex("00D7") << "215.0000";
    QTest::newRow("SNVT 105 and scale 2") << "0:1:10:0:105:0:3:105,2" << QByteArray::fromHex("0866") << "10.7500";
    QTest::newRow("field beyond the bytes") << "0:1:10:0:0:4:2:0,10" << QByteArray::fromHex("00D7") << "";
    QTest::newRow("bad address") << "0:1:10:0:0:0:2" << QByteArray::fromHex("00D7") << "";
}

void TestPointsList::decodeCachedPointScales()
{
    QFETCH(QString, address);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, stored);
    TPointsSite site;
    QVERIFY(site.SendPoints({address}));
    TSiteTestHook::TakePointsChange(*site.Controller);
    TPointIndexData entry;
    entry.ValueLength = quint8(bytes.size());
    std::copy(bytes.cbegin(), bytes.cend(), entry.ValueBytes.begin());
    const qsizetype index = TSiteTestHook::CacheValue(*site.Controller, PointValueKey(address), entry);
    site.Controller->DecodeCachedPoint(address, index);
    QCOMPARE(site.Point(address).Value, stored);
    QVERIFY(site.Point(address).HasValue);
}

QTEST_MAIN(TestPointsList)
#include "tst_points_list.moc"
