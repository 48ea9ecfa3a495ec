// Heavy clients: a points list of 1 k to 100 k entries taken by a site, and the release
// of 1 k to 10 k driver objects when their connection leaves. Both should grow linearly:
// the time per entry and per object stays flat across the range.
#include "InProcessSite.h"

#include "automation/ClassFactory.h"
#include "automation/DriverBusObject.h"
#include "automation/SiteRegistry.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QEvent>
#include <QStringList>
#include <QTimer>

namespace {

QStringList PointsRequest(int count)
{
    QStringList request{QStringLiteral("COMMAND=SENDPOINTSLIST")};
    request.reserve(count + 1);
    for (int n = 0; n < count; ++n)
        request.append(QStringLiteral("POINT%1={Point %1}{0:%2:%3:%4:105:0:3:105}")
                           .arg(n)
                           .arg(1 + n / 25'000)
                           .arg(1 + (n / 200) % 125)
                           .arg(n % 200));
    return request;
}

// PutValue SENDPOINTSLIST as the site takes it: the list read and the polling set rebuilt.
void BM_ReceivePointsList(benchmark::State &state)
{
    EnsureApplication();
    TSiteController form;
    TBenchSiteClient client;
    form.AddClient(&client, QStringLiteral("Bench"));
    const QStringList request = PointsRequest(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(form.ReceivePointsList(&client, request));
    // CPU time per entry: flat across the range when the work is linear.
    state.counters["per_entry"] = benchmark::Counter(
        double(state.range(0)), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ReceivePointsList)
    ->Arg(1'000)->Arg(4'000)->Arg(16'000)->Arg(64'000)->Arg(100'000)
    ->Unit(benchmark::kMillisecond)->Complexity();

// A connection holding N driver objects, all on one site, leaves the bus: every object is
// released, the site form last of all.
void BM_ReleaseOwner(benchmark::State &state)
{
    EnsureApplication();
    const int count = int(state.range(0));
    TSiteRegistry registry;
    for (auto _ : state) {
        state.PauseTiming();
        TClassFactory factory(QDBusConnection(QStringLiteral("bench-none")), &registry);
        factory.SetObjectLimits(count, count);
        for (int i = 0; i < count; ++i)
            factory.CreateFor(QStringLiteral(":1.42"));
        for (TDriverBusObject *object : factory.findChildren<TDriverBusObject *>()) {
            object->Driver().Setup(QStringLiteral("VERSIONCHECK=1.8"));
            object->Driver().Connect(QStringList{QStringLiteral("DESCRIPTION=Bench"), QStringLiteral("OFFLINE=TRUE")});
        }
        state.ResumeTiming();
        factory.ReleaseOwner(QStringLiteral(":1.42"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        benchmark::DoNotOptimize(factory.ObjectCount());
    }
    state.counters["per_object"] = benchmark::Counter(
        double(count), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetComplexityN(count);
}
BENCHMARK(BM_ReleaseOwner)
    ->Arg(1'000)->Arg(2'000)->Arg(5'000)->Arg(10'000)
    ->Unit(benchmark::kMillisecond)->Iterations(3)->Complexity();

// One pass of the main thread's event loop publishes every site's command slot for the
// bus thread: the cost per pass for N sites, when nothing changed (the usual case) and when
// every site's slot changed since the last pass.
void BM_PublishStatuses(benchmark::State &state)
{
    EnsureApplication();
    const int count = int(state.range(0));
    const bool changing = state.range(1) != 0;
    TSiteRegistry registry;
    registry.ProcessTimer()->stop();
    QList<TSiteController *> sites;
    for (int i = 0; i < count; ++i) {
        TSite site;
        site.Description = QStringLiteral("Site %1").arg(i);
        sites.append(registry.FindOrCreateSite(site));
    }
    QCoreApplication::processEvents();
    bool blocked = false;
    for (auto _ : state) {
        if (changing) {
            state.PauseTiming();
            blocked = !blocked;
            for (TSiteController *site : std::as_const(sites))
                blocked ? site->Block() : site->Unblock();
            state.ResumeTiming();
        }
        registry.PublishStatuses();
    }
    state.counters["per_site"] = benchmark::Counter(
        double(count), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PublishStatuses)
    ->ArgsProduct({{1, 16, 128}, {0, 1}})->ArgNames({"sites", "changed"})
    ->Unit(benchmark::kMicrosecond);

} // namespace
