// The poll cycle at the channel's pace (docs/performance.md, "Polling to a budget").
//
// BM_CycleOnChannel: 1,000 variables of 10 bytes on 50 devices of a simulated TP/FT-10
// channel, one point each, polled by the default mode (one fetch per tick), at a budget of
// 25 fetches/s and at 80 % of the channel. The site and the simulated network share a fake
// clock (the test build of the library, libldv32-testclock.so): the bench steps it by 10 ms,
// pumps the poller as its timer would and ticks the site every 100 ms, so a cycle of minutes
// takes a fraction of a second and its length is exact. Counters: the cycle in seconds, the
// least the budget allows (V / budget; for the share V fetches of their channel time), the
// channel's load over the cycle (the simulator's busy time), wrong and missing values.
//
// BM_CycleOverIp852: 5,000 variables on 100 devices served by lonsim-channel on a loopback
// unicast IP-852 channel, polled at 200 fetches/s on the real clock (one cycle, about 25 s).
#include "GeneratedNetwork.h"
#include "LoopbackChannel.h"
#include "InProcessSite.h"

#include "lontalk/ChannelTiming.h"
#include "lonworks/LDV32.h"
#include "lonworks/LonWait.h"
#include "site/SiteTestHook.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <QTimer>

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

using TSetClock = void (*)(long long (*)());

// Loads the test build of the library once; its clock entry, or nullptr.
TSetClock LibraryClock()
{
    static TSetClock setClock = [] {
        EnsureApplication();
        qputenv("LDV32_LIBRARY", LW_TESTCLOCK_LIBRARY);
        if (!LDV32::Load())
            return TSetClock(nullptr);
        void *library = dlopen(LW_TESTCLOCK_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
        return library ? reinterpret_cast<TSetClock>(dlsym(library, "lonsim_test_set_clock")) : nullptr;
    }();
    return setClock;
}

QStringList PointsRequest(int devices, int variables)
{
    QStringList request{QStringLiteral("COMMAND=SENDPOINTSLIST")};
    for (int d = 0; d < devices; ++d)
        for (int v = 0; v < variables; ++v)
            request.append(QStringLiteral("POINT%1={P}{0:%2:%3:%4:0:0:0:0}")
                               .arg(request.size() - 1).arg(1 + d / 100).arg(1 + d % 100).arg(v));
    return request;
}

// Points whose value is not the generated one (byte 0 of variable v is v & 0x7F), and
// points without a value.
std::pair<int, int> WrongAndLost(TSiteController &site, int devices, int variables)
{
    int wrong = 0;
    int lost = 0;
    for (int d = 0; d < devices; ++d) {
        for (int v = 0; v < variables; ++v) {
            const TPointData *point = site.Poller().Points().Find(
                QStringLiteral("0:%1:%2:%3:0:0:0:0").arg(1 + d / 100).arg(1 + d % 100).arg(v));
            if (!point || !point->HasValue)
                ++lost;
            else if (point->Value != QStringLiteral("%1.0000").arg(v & 0x7F))
                ++wrong;
        }
    }
    return {wrong, lost};
}

// A control command to the simulated network, and its state once carried out.
QJsonObject Control(TSiteController &site, const QDir &folder, const QString &command)
{
    static int count = 0;
    const QString name = QStringLiteral("bench%1").arg(++count);
    QFile file(folder.filePath(name + QStringLiteral(".cmd")));
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(command.toUtf8());
    file.close();
    for (int wait = 0; wait < 200 && !QFile::exists(folder.filePath(name + QStringLiteral(".done"))); ++wait) {
        QThread::msleep(10);
        LDV32::Read(site.InterfaceHandle(), nullptr, 0);
    }
    QFile state(folder.filePath(QStringLiteral("state.json")));
    if (!state.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(state.readAll()).object();
}

enum TMode { TickMode = 0, Budget25 = 1, Share80 = 2 };

void BM_CycleOnChannel(benchmark::State &state)
{
    const TSetClock setClock = LibraryClock();
    if (!setClock) {
        state.SkipWithError("the test build of the library did not load");
        return;
    }
    setClock(&FakeNow);
    LonLib::SetPauseFunction(&FakePause);
    const int devices = 50;
    const int variables = 20;
    const int mode = int(state.range(0));
    QTemporaryDir dir;
    qputenv("LONSIM_CONTROL", QFile::encodeName(dir.path()));
    TGeneratedNetwork network;
    network.Devices = devices;
    network.Variables = variables;
    network.Channel = QStringLiteral("TP/FT-10");
    const QString path = network.Write(dir, QStringLiteral("FT10-%1").arg(mode));

    TSite site;
    site.Description = QStringLiteral("Budget");
    site.LonDeviceName = path;
    if (mode == Budget25)
        site.PollSettings.Budget = 25;
    if (mode == Share80) {
        site.PollSettings.Share = 80;
        site.PollSettings.Channel = *lontalk::channel::parseChannel(QStringLiteral("TP/FT-10"));
    }
    TSiteController controller;
    controller.AssignSite(site);
    TSiteTestHook::SetPollClock(controller, [] { return gNowUs; });
    TBenchSiteClient client;
    controller.AddClient(&client, site.Description);
    controller.ConnectClient(&client);
    controller.ReleaseCommand(&client);
    TSiteTestHook::StopPollTimer(controller);
    if (!controller.IsOnline()) {
        state.SkipWithError("the network did not open");
        return;
    }
    controller.ReceivePointsList(&client, PointsRequest(devices, variables));
    qint64 steps = 0;
    // Runs until the poller has ended `cycles` more cycles; false when it never does.
    auto runCycles = [&](int cycles) {
        const qint64 until = controller.PollFigures().Cycles + cycles;
        for (qint64 limit = steps + 10'000'000; steps < limit; ++steps) {
            gNowUs += 10'000;
            if (steps % 10 == 9)
                controller.ProcessTick();
            else
                TSiteTestHook::PumpPoller(controller);
            if (controller.Poller().CyclesEnded() >= until)
                return true;
        }
        return false;
    };
    // The first cycle after the list, then the one measured.
    if (!runCycles(1)) {
        state.SkipWithError("the first cycle did not end");
        return;
    }
    const QDir folder(dir.path());
    Control(controller, folder, QStringLiteral("reset-channel"));
    double cycle = 0;
    for (auto _ : state) {
        if (!runCycles(1)) {
            state.SkipWithError("a cycle did not end");
            return;
        }
        cycle = controller.PollFigures().CycleSeconds;
    }
    QJsonObject channel;
    const QJsonObject networks = Control(controller, folder, QStringLiteral("# state")).value(QStringLiteral("networks")).toObject();
    for (auto it = networks.begin(); it != networks.end(); ++it)
        if (it->toObject().value(QStringLiteral("name")).toString() == QStringLiteral("FT10-%1").arg(mode))
            channel = it->toObject().value(QStringLiteral("channel")).toObject();
    const auto [wrong, lost] = WrongAndLost(controller, devices, variables);
    const double fetchSeconds = double(lontalk::channel::fetchTimeNs(site.PollSettings.Channel.timed()
                                                                        ? site.PollSettings.Channel
                                                                        : *lontalk::channel::parseChannel(QStringLiteral("FT-10")),
                                                                    1, 0, network.VariableSize)) / 1e9;
    const int v = devices * variables;
    const double least = mode == TickMode ? (14 + 2 * v) * 0.1 : mode == Budget25 ? v / 25.0 : v * fetchSeconds / 0.8;
    state.counters["cycle_s"] = cycle;
    state.counters["least_s"] = least;
    state.counters["ratio"] = cycle / least;
    state.counters["load_pct"] = 100.0 * channel.value(QStringLiteral("busyNs")).toDouble()
                                 / std::max(1.0, channel.value(QStringLiteral("countedNs")).toDouble());
    state.counters["wrong"] = wrong;
    state.counters["lost"] = lost;
    state.SetLabel(mode == TickMode ? "one fetch per tick" : mode == Budget25 ? "25 fetches/s" : "80 % of TP/FT-10");
    setClock(nullptr);
    LonLib::SetPauseFunction(nullptr);
    qunsetenv("LONSIM_CONTROL");
}
BENCHMARK(BM_CycleOnChannel)->DenseRange(TickMode, Share80)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_CycleOverIp852(benchmark::State &state)
{
    const TSetClock setClock = LibraryClock();
    if (!setClock) {
        state.SkipWithError("the test build of the library did not load");
        return;
    }
    setClock(nullptr);
    const int devices = 100;
    const int variables = 50;
    const double budget = 200;
    QTemporaryDir dir;
    TGeneratedNetwork network;
    network.Devices = devices;
    network.Variables = variables;
    TLoopbackChannel server;
    if (!server.Start(QStringLiteral(LW_CHANNEL_PROGRAM), network.Write(dir, QStringLiteral("IP5000")), dir)) {
        state.SkipWithError("lonsim-channel did not start");
        return;
    }
    TSite site;
    site.Description = QStringLiteral("Ip852");
    site.LonDeviceName = QStringLiteral("LONIP");
    site.PollSettings.Budget = budget;
    TSiteController controller;
    controller.AssignSite(site);
    TBenchSiteClient client;
    controller.AddClient(&client, site.Description);
    controller.ConnectClient(&client);
    controller.ReleaseCommand(&client);
    if (!controller.IsOnline()) {
        state.SkipWithError("the channel did not open");
        return;
    }
    controller.ReceivePointsList(&client, PointsRequest(devices, variables));
    // The site's own pump timer runs; the bench ticks it every 100 ms as the registry does.
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, &controller, &TSiteController::ProcessTick);
    ticks.start(100);
    auto untilCycles = [&](int cycles) {
        QElapsedTimer waited;
        waited.start();
        const qint64 until = controller.Poller().CyclesEnded() + cycles;
        while (controller.Poller().CyclesEnded() < until && waited.elapsed() < 120'000) {
            QEventLoop loop;
            QTimer::singleShot(50, &loop, &QEventLoop::quit);
            loop.exec();
        }
        return controller.Poller().CyclesEnded() >= until;
    };
    if (!untilCycles(1)) {
        state.SkipWithError("the first cycle did not end");
        return;
    }
    double cycle = 0;
    for (auto _ : state) {
        if (!untilCycles(1)) {
            state.SkipWithError("a cycle did not end");
            return;
        }
        cycle = controller.PollFigures().CycleSeconds;
    }
    const auto [wrong, lost] = WrongAndLost(controller, devices, variables);
    state.counters["cycle_s"] = cycle;
    state.counters["least_s"] = devices * variables / budget;
    state.counters["ratio"] = cycle / (devices * variables / budget);
    state.counters["wrong"] = wrong;
    state.counters["lost"] = lost;
}
BENCHMARK(BM_CycleOverIp852)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
