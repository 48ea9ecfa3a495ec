// The poller's budget mode and the retry of stopped points, on a fake clock shared by the
// site and the simulated network (libldv32-testclock.so): fetches paced to the budget
// (never more in any second), several in flight but one per device, a job preempting the
// poller, a slow device not holding the others back, the poll classes' intervals, a stopped
// point retried and recovered, an interface that refuses writes for a while; and the
// Connect keywords that ask for all this.

#include "../site_form/SiteFormFixture.h"

#include "lonworks/LDV32.h"
#include "lonworks/LonLib.h"
#include "lonworks/LonWait.h"
#include "site/DriverLimits.h"
#include "site/PollSettings.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <cstring>
#include <dlfcn.h>

namespace {

qint64 gNowUs = 1'000'000'000;

long long FakeNow()
{
    return gNowUs;
}

void FakePause(int ms)
{
    gNowUs += qint64(ms) * 1000;
}

// Until then the interface has no buffer for a frame (as a USB interface setting layer 5
// again after a reset): every write is refused with LDV_NO_BUFF_AVAIL.
qint64 gBusyUntilUs = 0;

short BusyGate(const unsigned char *, int)
{
    return gNowUs < gBusyUntilUs ? LDV32::NoBufferAvailable : 0;
}

// The frames the host wrote and read, on the fake clock.
struct TFrame
{
    qint64 AtUs = 0;
    bool Written = false;
    QByteArray Bytes;
    int Node() const { return quint8(Bytes[6]) & 0x7F; }
    int Tag() const { return quint8(Bytes[2]) & 0x0F; }
    bool IsFetch() const { return Written && Bytes.size() > 17 && quint8(Bytes[16]) == 0x73 && quint8(Bytes[5]) == 1; }
    bool IsCompletion() const { return !Written && (quint8(Bytes[0]) & 0x0F) == 6 && !(quint8(Bytes[3]) & 0x01) && ((quint8(Bytes[3]) >> 4) & 3) != 0; }
};
QList<TFrame> gFrames;

void Observe(const char *direction, const unsigned char *bytes, int length)
{
    const bool written = std::strcmp(direction, "write") == 0;
    if (written || std::strcmp(direction, "read") == 0)
        gFrames.append({gNowUs, written, QByteArray(reinterpret_cast<const char *>(bytes), length)});
}

constexpr int FirstNode = 10;
constexpr int FastDevices = 10;
constexpr int SlowNode = 30;        // answers after 1 s
constexpr int VariablesPerDevice = 4;

// Ten devices (nodes 10..19) of four 2-byte variables (value node * 16 + index), a slow one
// (node 30), on a TP/FT-10 channel.
QString WriteNetwork(const QTemporaryDir &dir)
{
    QJsonArray devices;
    auto device = [&](int node, int delayMs) {
        QJsonArray variables;
        for (int v = 0; v < VariablesPerDevice; ++v)
            variables.append(QJsonObject{{"name", QStringLiteral("nvo%1").arg(v)}, {"direction", "out"},
                                         {"value", QJsonObject{{"u16", node * 16 + v}}}});
        QJsonObject d{{"name", QStringLiteral("Node%1").arg(node)},
                      {"neuronId", QStringLiteral("05:00:00:00:00:%1").arg(node, 2, 16, QLatin1Char('0'))},
                      {"domains", QJsonArray{QJsonObject{{"id", "4C"}, {"subnet", 1}, {"node", node}}}},
                      {"variables", variables}};
        if (delayMs > 0)
            d.insert("behaviour", QJsonObject{{"delayMs", delayMs}});
        devices.append(d);
    };
    for (int n = 0; n < FastDevices; ++n)
        device(FirstNode + n, 0);
    device(SlowNode, 1000);
    const QJsonObject root{{"name", "BUDGET"},
                           {"channel", QJsonObject{{"kind", "TP/FT-10"}}},
                           {"interface", QJsonObject{{"neuronId", "05:00:00:00:00:01"},
                                                     {"domains", QJsonArray{QJsonObject{{"id", "4C"}, {"subnet", 1}, {"node", 126}}}}}},
                           {"devices", devices}};
    const QString path = dir.filePath(QStringLiteral("budget.json"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(QJsonDocument(root).toJson());
    return path;
}

QString Address(int node, int index, const QString &suffix = QString())
{
    return QStringLiteral("0:1:%1:%2:0:0:2:0").arg(node).arg(index) + suffix;
}

// The text the poller stores for an unsigned value.
QString Number(int value)
{
    return QStringLiteral("%1.0000").arg(value);
}

QStringList Connect(const QStringList &settings)
{
    return QStringList{QStringLiteral("DESCRIPTION=Budget")} + settings;
}

// A site of one client on the network, polling the addresses with the Connect settings.
class TBudgetSite
{
public:
    TBudgetSite(const QString &network, const QStringList &settings, const QStringList &entries)
    {
        TSite site;
        site.Description = QStringLiteral("Budget");
        site.LonDeviceName = network;
        site.PollSettings = ReadPollSettings(Connect(settings));
        Controller = std::make_unique<TSiteController>();
        Controller->AssignSite(site);
        TSiteTestHook::SetPollClock(*Controller, [] { return gNowUs; });
        Attach(*Controller, Client);
        TSiteTestHook::StopPollTimer(*Controller);
        Controller->ReleaseCommand(&Client);
        QStringList request{QStringLiteral("COMMAND=SENDPOINTSLIST")};
        for (int i = 0; i < entries.size(); ++i)
            request.append(QStringLiteral("POINT%1=%2").arg(i).arg(entries.at(i)));
        Controller->ReceivePointsList(&Client, request);
        gFrames.clear();
    }

    // Runs the site for ms of the fake clock: a pump every 10 ms, a tick every 100 ms.
    void Run(qint64 ms)
    {
        for (qint64 step = 0; step < ms / 10; ++step) {
            gNowUs += 10'000;
            if (FTicks.isActive()) {
                QCoreApplication::processEvents();
                TSiteTestHook::PumpPoller(*Controller);
            } else if (++FSteps % 10 == 0) {
                Controller->ProcessTick();
            } else {
                TSiteTestHook::PumpPoller(*Controller);
            }
        }
    }

    // From now on the site's tick comes as the driver's timer gives it: whenever events are
    // processed (between pumps, and inside any wait of the site's own) and 100 ms of the
    // fake clock have passed since the last one; never inside a tick.
    void TickWhenEventsRun()
    {
        FNextTickUs = gNowUs + 100'000;
        FTicks.setInterval(0);
        QObject::connect(&FTicks, &QTimer::timeout, [this] {
            if (gNowUs >= FNextTickUs)
                Tick();
        });
        FTicks.start();
    }
    // The tick now (TickWhenEventsRun's next one comes 100 ms later).
    void Tick()
    {
        FNextTickUs = gNowUs + 100'000;
        FTicks.stop();
        Controller->ProcessTick();
        FTicks.start();
    }

    TPointData Point(const QString &address) const
    {
        const TPointData *point = Controller->Poller().Points().Find(address);
        return point ? *point : TPointData();
    }

    std::unique_ptr<TSiteController> Controller;
    TTestClient Client;

private:
    qint64 FSteps = 0;
    QTimer FTicks;
    qint64 FNextTickUs = 0;
};

// The times of the fetches written, to node (or to any node: -1), from fromUs on.
QList<qint64> FetchTimes(int node = -1, qint64 fromUs = 0)
{
    QList<qint64> times;
    for (const TFrame &f : std::as_const(gFrames))
        if (f.IsFetch() && (node < 0 || f.Node() == node) && f.AtUs >= fromUs)
            times.append(f.AtUs);
    return times;
}

// The most fetches written in any second.
int MostInOneSecond(const QList<qint64> &times)
{
    int most = 0;
    for (qsizetype first = 0, last = 0; last < times.size(); ++last) {
        while (times[last] - times[first] >= 1'000'000)
            ++first;
        most = std::max(most, int(last - first + 1));
    }
    return most;
}

// The first fetch written to a device or under a tag that has a fetch in flight; empty when
// none (one fetch per device and per tag at a time).
QString SecondFetchInFlight(qsizetype fromFrame = 0)
{
    QHash<int, int> open;       // node -> tag of its fetch in flight
    QHash<int, int> nodeOfTag;
    for (qsizetype i = fromFrame; i < gFrames.size(); ++i) {
        const TFrame &f = gFrames.at(i);
        if (f.IsFetch()) {
            if (open.contains(f.Node()) || nodeOfTag.contains(f.Tag()))
                return QStringLiteral("a second fetch to node %1 (tag %2) at %3 us").arg(f.Node()).arg(f.Tag()).arg(f.AtUs);
            open.insert(f.Node(), f.Tag());
            nodeOfTag.insert(f.Tag(), f.Node());
        } else if (f.IsCompletion() && nodeOfTag.contains(f.Tag())) {
            open.remove(nodeOfTag.take(f.Tag()));
        }
    }
    return QString();
}

QStringList AllPoints()
{
    QStringList entries;
    for (int n = 0; n < FastDevices; ++n)
        for (int v = 0; v < VariablesPerDevice; ++v)
            entries.append(QStringLiteral("{P}{%1}").arg(Address(FirstNode + n, v)));
    return entries;
}

} // namespace

class TestPollBudget : public QObject
{
    Q_OBJECT

    QTemporaryDir FDir;
    QString FNetwork;

private Q_SLOTS:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        qputenv("LDV32_LIBRARY", LW_TESTCLOCK_LIBRARY);
        qputenv("LONSIM_CONTROL", QFile::encodeName(FDir.path()));
        QVERIFY2(LDV32::Load(), qPrintable(LDV32::ErrorText()));
        void *library = dlopen(LW_TESTCLOCK_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
        QVERIFY(library);
        auto setClock = reinterpret_cast<void (*)(long long (*)())>(dlsym(library, "lonsim_test_set_clock"));
        auto setObserver = reinterpret_cast<void (*)(void (*)(const char *, const unsigned char *, int))>(
            dlsym(library, "lonsim_test_set_frame_observer"));
        auto setGate = reinterpret_cast<void (*)(short (*)(const unsigned char *, int))>(
            dlsym(library, "lonsim_test_set_write_gate"));
        QVERIFY(setClock && setObserver && setGate);
        setClock(&FakeNow);
        setObserver(&Observe);
        setGate(&BusyGate);
        LonLib::SetPauseFunction(&FakePause);
        FNetwork = WriteNetwork(FDir);
        QVERIFY(!FNetwork.isEmpty());
    }

    void settingsFromConnect_data()
    {
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<QString>("outcome");    // Describe(), or the refusal
        QTest::newRow("none") << QStringList() << "one fetch per tick";
        QTest::newRow("budget") << QStringList{"POLLBUDGET=25"} << "25 fetches/s";
        QTest::newRow("share") << QStringList{"POLLSHARE=20", "CHANNEL=TP/FT-10"} << "20 % of TP/FT-10 at 78125 bit/s";
        QTest::newRow("share, own rate") << QStringList{"POLLSHARE=50", "CHANNEL=pl-20", "CHANNELBITRATE=3600"}
                                         << "50 % of PL-20 at 3600 bit/s";
        QTest::newRow("share without channel") << QStringList{"POLLSHARE=20"} << "refused: POLLSHARE needs CHANNEL";
        QTest::newRow("share on IP") << QStringList{"POLLSHARE=20", "CHANNEL=IP"} << "refused: POLLSHARE needs CHANNEL";
        QTest::newRow("budget too high") << QStringList{"POLLBUDGET=5000"} << "limit: POLLBUDGET";
        QTest::newRow("budget not a number") << QStringList{"POLLBUDGET=fast"} << "refused: POLLBUDGET is not a number";
        QTest::newRow("retry of zero") << QStringList{"POLLRETRY=0"} << "limit: POLLRETRY";
        QTest::newRow("unknown channel") << QStringList{"CHANNEL=RS-485"} << "refused: CHANNEL is not";
    }
    void settingsFromConnect()
    {
        QFETCH(QStringList, settings);
        QFETCH(QString, outcome);
        QString got;
        try {
            got = ReadPollSettings(Connect(settings)).Describe();
        } catch (const TLimitExceeded &e) {
            got = QStringLiteral("limit: ") + e.Message();
        } catch (const std::invalid_argument &e) {
            got = QStringLiteral("refused: ") + QString::fromUtf8(e.what());
        }
        QVERIFY2(got.startsWith(outcome) || (outcome.startsWith("limit: ") && got.contains(outcome.mid(7))), qPrintable(got));
    }

    void pacedToTheBudget_data()
    {
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<double>("perSecond");
        QTest::newRow("25 fetches/s") << QStringList{"POLLBUDGET=25"} << 25.0;
        QTest::newRow("7.5 fetches/s") << QStringList{"POLLBUDGET=7.5"} << 7.5;
        // 20 % of TP/FT-10: one fetch of a 2-byte value takes 13.5 ms of the channel.
        QTest::newRow("20 % of TP/FT-10") << QStringList{"POLLSHARE=20", "CHANNEL=TP/FT-10"} << 0.2 / 0.013530;
    }
    void pacedToTheBudget()
    {
        QFETCH(QStringList, settings);
        QFETCH(double, perSecond);
        TBudgetSite site(FNetwork, settings, AllPoints());
        const qint64 start = gNowUs;
        site.Run(20'000);
        const QList<qint64> times = FetchTimes(-1, start);
        QVERIFY2(MostInOneSecond(times) <= int(perSecond), qPrintable(QString::number(MostInOneSecond(times))));
        // No second holds more than the budget: a fractional one gives its whole number.
        QVERIFY2(times.size() >= int(std::floor(perSecond) * 20 * 0.97), qPrintable(QString::number(times.size())));
        // Every point has its device's value.
        for (int n = 0; n < FastDevices; ++n)
            for (int v = 0; v < VariablesPerDevice; ++v)
                QCOMPARE(site.Point(Address(FirstNode + n, v)).Value, Number((FirstNode + n) * 16 + v));
    }

    void severalInFlightButOnePerDevice()
    {
        // Each device's variables, and a slow device: fetches overlap, never two to one device.
        QStringList entries = AllPoints();
        entries.append(QStringLiteral("{S}{%1}").arg(Address(SlowNode, 0)));
        TBudgetSite site(FNetwork, {QStringLiteral("POLLBUDGET=200")}, entries);
        site.Run(10'000);
        const QString second = SecondFetchInFlight();
        QVERIFY2(second.isEmpty(), qPrintable(second));
        QHash<int, int> nodeOfTag;
        int most = 0;
        for (const TFrame &f : std::as_const(gFrames)) {
            if (f.IsFetch())
                nodeOfTag.insert(f.Tag(), f.Node());
            else if (f.IsCompletion())
                nodeOfTag.remove(f.Tag());
            most = std::max(most, int(nodeOfTag.size()));
        }
        QVERIFY2(most > 1 && most <= 12, qPrintable(QString::number(most)));
    }

    void slowDeviceDoesNotHoldOthersBack()
    {
        QStringList entries = AllPoints();
        entries.append(QStringLiteral("{S}{%1}").arg(Address(SlowNode, 0)));
        TBudgetSite site(FNetwork, {QStringLiteral("POLLBUDGET=50")}, entries);
        site.Run(10'000);
        // The slow device answers once a second; the others share the rest of the budget.
        const int slow = int(FetchTimes(SlowNode).size());
        QVERIFY2(slow >= 8 && slow <= 11, qPrintable(QString::number(slow)));
        QVERIFY2(FetchTimes().size() - slow >= 480, qPrintable(QString::number(FetchTimes().size())));
        QCOMPARE(site.Point(Address(SlowNode, 0)).Value, Number(SlowNode * 16));
    }

    void jobsPreemptThePoller()
    {
        TBudgetSite site(FNetwork, {QStringLiteral("POLLBUDGET=100")}, AllPoints());
        site.Run(2'000);
        // A read of the slow device runs on the next tick while fetches are in flight; their
        // answers come during its wait and reach them.
        QVERIFY(site.Controller->PollFigures().InFlight > 0);
        auto read = [&](int node, int index) {
            const QString point = QStringLiteral("{Q}{%1}").arg(Address(node, index));
            return site.Controller->StartCommand(&site.Client, jobPointGetValue,
                                                 QStringList{QStringLiteral("COMMAND=POINTGETVALUE"), QStringLiteral("POINT=") + point});
        };
        QVERIFY(read(SlowNode, 2));
        site.Controller->ProcessTick();
        QCOMPARE(site.Controller->CommandSlot().CommandState(), 2);
        QCOMPARE(site.Controller->CommandSlot().ResultData().toStringList().value(0),
                 QStringLiteral("VALUE=") + Number(SlowNode * 16 + 2));
        site.Controller->ReleaseCommand(&site.Client);
        // Every device is polled again at once: none waits for an answer the job took.
        const qint64 afterJob = gNowUs;
        site.Run(1'000);
        for (int n = 0; n < FastDevices; ++n)
            QVERIFY2(!FetchTimes(FirstNode + n, afterJob).isEmpty(), qPrintable(QString::number(FirstNode + n)));
        // While a job is pending the pumps start nothing.
        QVERIFY(read(FirstNode + 3, 2));
        const qsizetype before = gFrames.size();
        for (int i = 0; i < 9; ++i) {
            gNowUs += 10'000;
            TSiteTestHook::PumpPoller(*site.Controller);
        }
        for (qsizetype i = before; i < gFrames.size(); ++i)
            QVERIFY(!gFrames[i].IsFetch());
        site.Controller->ProcessTick();
        QCOMPARE(site.Controller->CommandSlot().ResultData().toStringList().value(0),
                 QStringLiteral("VALUE=") + Number((FirstNode + 3) * 16 + 2));
        site.Controller->ReleaseCommand(&site.Client);
        // The fetches that were in flight ended well (past their deadline), and polling goes on.
        site.Run(5'000);
        for (int n = 0; n < FastDevices; ++n)
            for (int v = 0; v < VariablesPerDevice; ++v)
                QCOMPARE(site.Point(Address(FirstNode + n, v)).FailCount, 0);
        QVERIFY(FetchTimes(-1, gNowUs - 1'000'000).size() > 50);
    }

    void reconnectedSiteGoesOnPolling()
    {
        // The only client leaves while fetches are in flight; the interface closes with them.
        TBudgetSite site(FNetwork, {QStringLiteral("POLLBUDGET=100")}, AllPoints());
        site.Run(1'000);
        QVERIFY(site.Controller->PollFigures().InFlight > 0);
        QVERIFY(site.Controller->DisconnectClient(&site.Client));
        site.Controller->ProcessTick();
        site.Controller->ReleaseCommand(&site.Client);
        QVERIFY(!site.Controller->IsConnected());
        // Back again: every device is polled, none waits for a fetch the old handle had.
        QVERIFY(site.Controller->ConnectClient(&site.Client));
        site.Controller->ReleaseCommand(&site.Client);
        TSiteTestHook::StopPollTimer(*site.Controller);
        const qint64 back = gNowUs;
        site.Run(2'000);
        for (int n = 0; n < FastDevices; ++n)
            QVERIFY2(!FetchTimes(FirstNode + n, back).isEmpty(), qPrintable(QString::number(FirstNode + n)));
    }

    void interfaceBusyForAWhile()
    {
        // The interface refuses every write for 400 ms; the tick comes whenever events run,
        // and the client's points list arrives again meanwhile, in another order. The poller
        // waits for the interface between its pumps, not inside one: never a second fetch in
        // flight to its device or under its tag, and no point ever shows another's value.
        QStringList entries;
        for (int v = 0; v < VariablesPerDevice; ++v)
            entries.append(QStringLiteral("{P%1}{%2}").arg(v).arg(Address(FirstNode, v)));
        TBudgetSite site(FNetwork, {QStringLiteral("POLLBUDGET=100")}, entries);
        site.TickWhenEventsRun();
        site.Run(2'000);
        gBusyUntilUs = gNowUs + 400'000;
        // The list comes with the first events 50 ms into that while.
        QTimer arrival;
        arrival.setInterval(0);
        QObject::connect(&arrival, &QTimer::timeout, [&] {
            if (gNowUs < gBusyUntilUs - 350'000)
                return;
            arrival.stop();
            QStringList request{QStringLiteral("COMMAND=SENDPOINTSLIST")};
            for (qsizetype i = entries.size() - 1; i >= 0; --i)
                request.append(QStringLiteral("POINT%1=%2").arg(request.size() - 1).arg(entries.at(i)));
            QVERIFY(site.Controller->ReceivePointsList(&site.Client, request));
        });
        arrival.start();
        const qsizetype busyFrom = gFrames.size();
        auto runChecked = [&](qint64 ms) {
            for (qint64 step = 0; step < ms / 10 && !QTest::currentTestFailed(); ++step) {
                site.Run(10);
                for (int v = 0; v < VariablesPerDevice; ++v) {
                    const TPointData point = site.Point(Address(FirstNode, v));
                    QVERIFY2(!point.HasValue || point.Value == Number(FirstNode * 16 + v),
                             qPrintable(QStringLiteral("variable %1 shows %2").arg(v).arg(point.Value)));
                    QVERIFY2(point.FailCount == 0, qPrintable(QStringLiteral("variable %1 failed").arg(v)));
                }
            }
        };
        runChecked(3'000);
        const QString second = SecondFetchInFlight(busyFrom);
        QVERIFY2(second.isEmpty(), qPrintable(second));
        QVERIFY(!QTest::currentTestFailed());

        // A client's read meets the busy interface (its write is tried again until the
        // interface takes it), then the site's status reads the interface while the answer
        // of a fetch in flight waits there: both hand such answers to their fetches.
        auto runJob = [&](int job, const QStringList &request) {
            QVERIFY(site.Controller->StartCommand(&site.Client, job, request));
            site.Tick();
            QCOMPARE(site.Controller->CommandSlot().CommandState(), 2);
        };
        gBusyUntilUs = gNowUs + 300'000;
        runJob(jobPointGetValue, {QStringLiteral("COMMAND=POINTGETVALUE"),
                                  QStringLiteral("POINT={Q}{%1}").arg(Address(FirstNode + 3, 2))});
        QCOMPARE(site.Controller->CommandSlot().ResultData().toStringList().value(0),
                 QStringLiteral("VALUE=") + Number((FirstNode + 3) * 16 + 2));
        site.Controller->ReleaseCommand(&site.Client);
        runChecked(100);
        int probed = 0;
        for (int attempt = 0; attempt < 20 && probed == 0; ++attempt) {
            runChecked(20);
            if (site.Controller->PollFigures().InFlight == 0)
                continue;
            gNowUs += 50'000;     // the answer comes while nothing reads it
            const qsizetype statusFrom = gFrames.size();
            runJob(jobSiteStatus, {QStringLiteral("COMMAND=SITESTATUS")});
            site.Controller->ReleaseCommand(&site.Client);
            probed = int(std::count_if(gFrames.cbegin() + statusFrom, gFrames.cend(), [](const TFrame &f) { return !f.Written; }));
        }
        QVERIFY(probed > 0);
        runChecked(2'000);
    }

    void classesKeepTheirIntervals()
    {
        // Budget 10/s: the fast variable comes every 2 s, the slow one once in 60 s, the 39
        // normal ones share the rest; with 11 fast variables wanting 5.5/s of a 5/s budget,
        // the normal ones still come within their minute.
        QStringList entries = AllPoints();
        entries[0] += QStringLiteral("{POLL=FAST}");
        entries[1] += QStringLiteral("{poll=slow}");
        TBudgetSite site(FNetwork, {QStringLiteral("POLLBUDGET=10")}, entries);
        site.Run(60'000);
        int fastCount = 0, slowCount = 0;
        for (const TFrame &f : std::as_const(gFrames)) {
            if (f.IsFetch() && f.Node() == FirstNode) {
                fastCount += quint8(f.Bytes[17]) == 0;
                slowCount += quint8(f.Bytes[17]) == 1;
            }
        }
        QVERIFY2(fastCount >= 29 && fastCount <= 31, qPrintable(QString::number(fastCount)));
        QCOMPARE(slowCount, 1);
        // Normal ones: about (10 - 0.5) fetches/s over 38 variables: each some 15 times.
        const int normal = int(FetchTimes(FirstNode + 5).size());
        QVERIFY2(normal >= 4 * 13, qPrintable(QString::number(normal)));

        QStringList crowded = AllPoints();
        for (int n = 0; n < FastDevices; ++n)
            crowded[n * VariablesPerDevice] += QStringLiteral("{POLL=FAST}");
        crowded.append(QStringLiteral("{S}{%1}{POLL=FAST}").arg(Address(SlowNode, 1)));
        TBudgetSite busy(FNetwork, {QStringLiteral("POLLBUDGET=5")}, crowded);
        const qint64 start = gNowUs;
        busy.Run(130'000);
        for (int n = 0; n < FastDevices; ++n) {
            QList<qint64> times;
            for (const TFrame &f : std::as_const(gFrames))
                if (f.IsFetch() && f.Node() == FirstNode + n && quint8(f.Bytes[17]) == 3 && f.AtUs >= start)
                    times.append(f.AtUs);
            QVERIFY2(times.size() >= 2, qPrintable(QStringLiteral("node %1: %2").arg(FirstNode + n).arg(times.size())));
        }
    }

    void stoppedPointRetried_data()
    {
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<bool>("recovers");
        QTest::newRow("ticks, stays stopped") << QStringList() << false;
        QTest::newRow("ticks, retried") << QStringList{"POLLRETRY=30"} << true;
        QTest::newRow("budget, stays stopped") << QStringList{"POLLBUDGET=20"} << false;
        QTest::newRow("budget, retried") << QStringList{"POLLBUDGET=20", "POLLRETRY=30"} << true;
    }
    void stoppedPointRetried()
    {
        QFETCH(QStringList, settings);
        QFETCH(bool, recovers);
        const QString point = Address(FirstNode + 7, 1);
        const QString other = Address(FirstNode + 8, 1);
        TBudgetSite site(FNetwork, settings, {QStringLiteral("{A}{%1}").arg(point), QStringLiteral("{B}{%1}").arg(other)});
        site.Run(3'000);
        QCOMPARE(site.Point(point).Value, Number((FirstNode + 7) * 16 + 1));
        Control(site, QStringLiteral("silent Node%1 on").arg(FirstNode + 7));
        site.Run(30'000);
        QCOMPARE(site.Point(point).FailCount >= 3, true);
        // The device is back (as after a power cycle) with another value.
        Control(site, QStringLiteral("answer Node%1\nset Node%1 1 0777").arg(FirstNode + 7));
        site.Run(40'000);
        if (recovers) {
            QCOMPARE(site.Point(point).Value, Number(0x0777));
            QCOMPARE(site.Point(point).FailCount, 0);
        } else {
            QCOMPARE(site.Point(point).Value, Number((FirstNode + 7) * 16 + 1));
            QVERIFY(site.Point(point).FailCount >= 3);
        }
        QCOMPARE(site.Point(other).FailCount, 0);
        Control(site, QStringLiteral("set Node%1 1 %2").arg(FirstNode + 7).arg((FirstNode + 7) * 16 + 1, 4, 16, QLatin1Char('0')));
    }

private:
    // Carries out control commands through the simulated network's control channel.
    void Control(TBudgetSite &site, const QString &commands)
    {
        const QString name = QStringLiteral("c%1").arg(++FCommands);
        QFile file(FDir.filePath(name + QStringLiteral(".cmd")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(commands.toUtf8());
        file.close();
        const QString done = FDir.filePath(name + QStringLiteral(".done"));
        // A read of nothing on the site's handle lets the library look at the folder.
        QVERIFY(QTest::qWaitFor([&] {
            LDV32::Read(site.Controller->InterfaceHandle(), nullptr, 0);
            return QFile::exists(done);
        }, 5000));
        QFile result(done);
        QVERIFY(result.open(QIODevice::ReadOnly));
        QVERIFY2(!result.readAll().contains("error"), qPrintable(commands));
    }
    int FCommands = 0;
};

QTEST_GUILESS_MAIN(TestPollBudget)
#include "tst_poll_budget.moc"
