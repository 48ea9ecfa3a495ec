// The length of one poll cycle in ticks, for polling sets of V variables with P points
// each on the simulated POINTS network, against the least the poller's states allow:
// 14 + 2V ticks (the tick in state 900, ten ticks of pause, one to leave the pause, one in
// state 0, a walk and a fetch per variable, and the walk that finds the cycle done), and
// one more when P > 1 (the walk that decodes the last variable's other points from the
// cache stays in state 1, so another walk finds the cycle done).
// The time per iteration is the wall time of one cycle, fetches included.
#include "site/TypeSite.h"
#include "lonworks/LDV32.h"
#include "site/SiteController.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <memory>

namespace {

QCoreApplication &Application()
{
    static int argc = 1;
    static char name[] = "bench_poll_cycle";
    static char *argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    return application;
}

class TBenchClient : public TSiteClient
{
};

// Ticks until the poller has just found its cycle complete; the ticks taken (-1: never).
int TicksToCycleEnd(TSiteController &form)
{
    for (int ticks = 1; ticks <= 1000; ++ticks) {
        form.ProcessTick();
        if (form.Poller().PollState() == 900)
            return ticks;
    }
    return -1;
}

void BM_PollCycle(benchmark::State &state)
{
    Application();
    const int variables = int(state.range(0));
    const int pointsPerVariable = int(state.range(1));
    if (!LDV32::Load()) {
        state.SkipWithError("the driver library did not load");
        return;
    }
    TSite site;
    site.Description = QStringLiteral("Bench");
    site.LonDeviceName = QStringLiteral(LW_FIXTURES "/points.json");
    auto form = std::make_unique<TSiteController>();
    form->AssignSite(site);
    TBenchClient client;
    form->AddClient(&client, site.Description);
    form->ConnectClient(&client);
    form->ReleaseCommand(&client);
    if (!form->IsOnline()) {
        state.SkipWithError("the POINTS network did not open");
        return;
    }
    // The panel's variables 0..7; the points of one variable differ in offset and type.
    const char *const shapes[] = {"0:0:0", "1:0:0", "0:2:0"};
    QStringList request{QStringLiteral("COMMAND=SENDPOINTSLIST")};
    for (int v = 0; v < variables; ++v)
        for (int p = 0; p < pointsPerVariable; ++p)
            request.append(QStringLiteral("POINT%1={P}{0:1:10:%2:0:%3}")
                               .arg(request.size() - 1)
                               .arg(v)
                               .arg(QLatin1String(shapes[p % 3])));
    form->ReceivePointsList(&client, request);
    if (TicksToCycleEnd(*form) < 0) {
        state.SkipWithError("the first cycle did not end");
        return;
    }
    int ticks = 0;
    for (auto _ : state)
        ticks = TicksToCycleEnd(*form);
    state.counters["ticks"] = ticks;
    state.counters["least"] = 14 + 2 * variables + (pointsPerVariable > 1 ? 1 : 0);
    state.SetLabel(QStringLiteral("%1 variables x %2 points").arg(variables).arg(pointsPerVariable).toStdString());
}
BENCHMARK(BM_PollCycle)
    ->ArgsProduct({{1, 4, 8}, {1, 3}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace
