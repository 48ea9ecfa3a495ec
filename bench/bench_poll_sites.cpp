// Poll cycles of whole polling sets on generated networks: 1,000 points on 100 variables
// (10 devices of 10 variables, 10 points per variable) on one site and on many sites at
// once, ticked the way the main window ticks them. Figures: ticks per cycle against the
// least the poller's states allow (14 + 2V, one more with several points per variable),
// CPU time per tick (the simulated network's work included: it runs in this process) and
// heap bytes per point held by the polling set and the clients' lists.
#include "GeneratedNetwork.h"
#include "InProcessSite.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <algorithm>
#include <vector>

namespace {

// Ticks every site until each has just found its cycle complete; the ticks taken (-1: never).
int TickUntilEveryCycleEnds(std::vector<std::unique_ptr<TBenchSite>> &sites)
{
    std::vector<bool> ended(sites.size(), false);
    for (int ticks = 1; ticks <= 5000; ++ticks) {
        for (size_t i = 0; i < sites.size(); ++i) {
            sites[i]->Controller->ProcessTick();
            if (sites[i]->Controller->Poller().PollState() == 900)
                ended[i] = true;
        }
        if (std::all_of(ended.begin(), ended.end(), [](bool e) { return e; }))
            return ticks;
    }
    return -1;
}

QStringList PointsList(const TGeneratedNetwork &network, int pointsPerVariable)
{
    QStringList request{QStringLiteral("COMMAND=SENDPOINTSLIST")};
    for (int d = 0; d < network.Devices; ++d)
        for (int v = 0; v < network.Variables; ++v)
            for (int p = 0; p < pointsPerVariable; ++p)
                request.append(QStringLiteral("POINT%1={P%1}{0:%2:%3:%4:0:%5:0:0}")
                                   .arg(request.size() - 1)
                                   .arg(1 + d / 100)
                                   .arg(1 + d % 100)
                                   .arg(v)
                                   .arg(p));
    return request;
}

void BM_PollCycleSites(benchmark::State &state)
{
    const int siteCount = int(state.range(0));
    const int variables = int(state.range(1));
    const int pointsPerVariable = int(state.range(2));
    TGeneratedNetwork network;
    network.Devices = variables / 10;
    network.Variables = 10;
    network.VariableSize = std::max(pointsPerVariable, 2);
    QTemporaryDir dir;
    const QString path = network.Write(dir, QStringLiteral("POLL"));
    if (path.isEmpty()) {
        state.SkipWithError("could not write the network description");
        return;
    }

    std::vector<std::unique_ptr<TBenchSite>> sites;
    for (int s = 0; s < siteCount; ++s) {
        sites.push_back(std::make_unique<TBenchSite>());
        if (!sites.back()->Open(QStringLiteral("Site%1").arg(s), path)) {
            state.SkipWithError("a site did not open its interface");
            return;
        }
    }
    const QStringList request = PointsList(network, pointsPerVariable);
    const qint64 heapBefore = HeapInUse();
    for (auto &site : sites)
        site->Controller->ReceivePointsList(&site->Client, request);
    if (TickUntilEveryCycleEnds(sites) < 0) {
        state.SkipWithError("the first cycle did not end");
        return;
    }
    const qint64 heapAfter = HeapInUse();
    for (auto &site : sites)
        if (site->Controller->Poller().Points().Count() != request.size() - 1 || site->Controller->Poller().Points().IsEmpty()) {
            state.SkipWithError("the polling set is not the list sent");
            return;
        }

    int ticks = 0;
    double cpu = 0;
    qint64 cycles = 0;
    for (auto _ : state) {
        const double start = ProcessCpuMicroseconds();
        ticks = TickUntilEveryCycleEnds(sites);
        cpu += ProcessCpuMicroseconds() - start;
        ++cycles;
    }
    const int points = int(request.size() - 1) * siteCount;
    state.counters["ticks"] = ticks;
    state.counters["least"] = 14 + 2 * variables + (pointsPerVariable > 1 ? 1 : 0);
    state.counters["cpu_us_per_tick"] = cpu / double(cycles * std::max(ticks, 1));
    state.counters["cpu_us_per_site_tick"] = cpu / double(cycles * std::max(ticks, 1) * siteCount);
    state.counters["heap_bytes_per_point"] = double(heapAfter - heapBefore) / double(points);
    state.SetLabel(QStringLiteral("%1 site(s) x %2 points on %3 variables")
                       .arg(siteCount).arg(points / siteCount).arg(variables).toStdString());
}
BENCHMARK(BM_PollCycleSites)
    ->Args({1, 100, 10})
    ->Args({1, 100, 1})
    ->Args({100, 100, 10})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace
