// Device discovery (GETDATA with DRIVERCOMMAND=GETPOINTSLIST) on generated networks of
// D devices with V variables each, run as the site's job in this process. Figures: the
// time of one discovery, the frames the driver wrote to the network (counted from the
// simulator's trace in a run of its own, so the trace does not slow the timed runs) and
// the least number of exchanges: on the domain with devices one wake-up and two Query ID
// passes (one that finds the devices, one that finds none), on the empty domain the
// wake-up nobody acknowledges; per device one unselect, its 35-byte read-only structure
// and its self-documentation, each in reads of at most 16 bytes.
#include "GeneratedNetwork.h"
#include "InProcessSite.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <map>

namespace {

// Runs one discovery to its end; the number of point entries, -1 when it failed.
int Discover(TBenchSite &site)
{
    TSiteController &form = *site.Controller;
    form.StartCommand(&site.Client, jobGetData,
                      QStringList{QStringLiteral("COMMAND=GETDATA"), QStringLiteral("DRIVERCOMMAND=GETPOINTSLIST")});
    for (int tick = 0; tick < 100 && form.CommandSlot().CommandState() == 1; ++tick)
        form.ProcessTick();
    const int state = form.CommandSlot().CommandState();
    const int entries = int(form.CommandSlot().ResultData().toStringList().size());
    form.ReleaseCommand(&site.Client);
    return state == 2 ? entries : -1;
}

// Frames written to the network per LonTalk code, from a trace file.
std::map<int, int> WrittenCodes(const QString &tracePath)
{
    std::map<int, int> codes;
    QFile file(tracePath);
    if (!file.open(QIODevice::ReadOnly))
        return codes;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const qsizetype at = line.indexOf(" write ");
        if (at < 0)
            continue;
        const QByteArray frame = QByteArray::fromHex(line.mid(at + 7));
        if (frame.size() > 16)
            ++codes[quint8(frame[16])];
    }
    return codes;
}

void BM_Discovery(benchmark::State &state)
{
    TGeneratedNetwork network;
    network.Devices = int(state.range(0));
    network.Variables = int(state.range(1));
    network.VariableSize = 2;
    network.Snvt = 105;   // SNVT_temp_p: one point entry per variable
    QTemporaryDir dir;
    const QString path = network.Write(dir, QStringLiteral("DISC%1x%2").arg(network.Devices).arg(network.Variables));
    TBenchSite site;
    if (path.isEmpty() || !site.Open(QStringLiteral("Discovery"), path)) {
        state.SkipWithError("the generated network did not open");
        return;
    }

    const QString tracePath = dir.filePath(QStringLiteral("trace.txt"));
    const QByteArray formerTrace = qgetenv("LONSIM_TRACE");
    qputenv("LONSIM_TRACE", tracePath.toLocal8Bit());
    const int entries = Discover(site);
    if (formerTrace.isEmpty())
        qunsetenv("LONSIM_TRACE");
    else
        qputenv("LONSIM_TRACE", formerTrace);
    if (entries != network.Devices * network.Variables) {
        state.SkipWithError(QStringLiteral("discovery found %1 entries").arg(entries).toStdString().c_str());
        return;
    }
    const std::map<int, int> codes = WrittenCodes(tracePath);
    int exchanges = 0;
    for (const auto &[code, count] : codes)
        exchanges += count;

    for (auto _ : state)
        benchmark::DoNotOptimize(Discover(site));

    const int selfDocReads = (network.SelfDocBytes() + 15) / 16;
    state.counters["entries"] = entries;
    state.counters["exchanges"] = exchanges;
    state.counters["least"] = 3 + 1 + network.Devices * (1 + 3 + selfDocReads);
    state.counters["queryId"] = codes.count(0x61) ? codes.at(0x61) : 0;
    state.counters["readMemory"] = codes.count(0x6D) ? codes.at(0x6D) : 0;
    state.SetLabel(QStringLiteral("%1 devices x %2 variables").arg(network.Devices).arg(network.Variables).toStdString());
}
BENCHMARK(BM_Discovery)
    ->ArgsProduct({{1, 4, 16}, {4, 16, 64}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

// Fills a template folder: the real files of the fixtures and `copies` more files made from
// gc_sw.xif (82 variables) with program IDs of their own, plus the template of the
// generated devices (program ID 0, its variables named as the devices name them).
bool WriteTemplates(const QString &folder, int copies, int variables)
{
    if (!QDir().mkpath(folder))
        return false;
    const QDir fixtures(QStringLiteral(LW_FIXTURES "/xif"));
    QByteArray gcSw;
    for (const QString &name : fixtures.entryList({QStringLiteral("*.xif")}, QDir::Files)) {
        QFile in(fixtures.filePath(name));
        if (!in.open(QIODevice::ReadOnly))
            return false;
        const QByteArray bytes = in.readAll();
        if (name.endsWith(QLatin1String("gc_sw.xif")))
            gcSw = bytes;
        QFile out(folder + u'/' + name);
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
            return false;
    }
    for (int i = 0; i < copies; ++i) {
        QByteArray copy = gcSw;
        copy.replace("90:00:01:06:00:04:85:A8", QStringLiteral("90:00:01:06:00:04:%1:%2")
                                                     .arg(i / 256, 2, 16, QLatin1Char('0'))
                                                     .arg(i % 256, 2, 16, QLatin1Char('0')).toUpper().toLatin1());
        QFile out(folder + QStringLiteral("/copy%1.xif").arg(i));
        if (!out.open(QIODevice::WriteOnly) || out.write(copy) != copy.size())
            return false;
    }
    QByteArray own = "File: generated.xif\n\n00:00:00:00:00:00:00:00\n2 15 1 " + QByteArray::number(variables)
                     + " 0\n*\n*\n\n";
    for (int v = 0; v < variables; ++v)
        own += "VAR " + TGeneratedNetwork::VariableName(v).toLatin1() + ' ' + QByteArray::number(v)
               + " 0 0 0\n0 1 63 1 0 1 0 1 0 1 0 0 0\n*\n105 * 1\n2 0 0 1 0\n";
    QFile out(folder + QStringLiteral("/generated.xif"));
    return out.open(QIODevice::WriteOnly) && out.write(own) == own.size();
}

// Discovery of a few hundred devices, without templates and with a template folder of a
// few hundred files (one of them the devices' own): the cost of reading the templates at
// the start of each discovery and of looking each device up.
void BM_DiscoveryTemplates(benchmark::State &state)
{
    TGeneratedNetwork network;
    network.Devices = int(state.range(0));
    network.Variables = 16;
    network.VariableSize = 2;
    network.Snvt = 105;
    const int templates = int(state.range(1));
    QTemporaryDir dir;
    const QByteArray formerDataHome = qgetenv("XDG_DATA_HOME");
    const QByteArray formerDataDirs = qgetenv("XDG_DATA_DIRS");
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toLocal8Bit());
    qputenv("XDG_DATA_DIRS", dir.filePath(QStringLiteral("none")).toLocal8Bit());
    if (templates > 0 && !WriteTemplates(dir.filePath(QStringLiteral("data/lonworks/templates")), templates, network.Variables)) {
        state.SkipWithError("the templates were not written");
        return;
    }
    const QString path = network.Write(dir, QStringLiteral("TPL%1x%2").arg(network.Devices).arg(templates));
    TBenchSite site;
    if (path.isEmpty() || !site.Open(QStringLiteral("Templates"), path)) {
        state.SkipWithError("the generated network did not open");
        return;
    }
    int entries = 0;
    for (auto _ : state)
        entries = Discover(site);
    if (entries != network.Devices * network.Variables)
        state.SkipWithError(QStringLiteral("discovery found %1 entries").arg(entries).toStdString().c_str());
    state.counters["entries"] = entries;
    state.SetLabel(QStringLiteral("%1 devices x 16 variables, %2 templates").arg(network.Devices)
                       .arg(templates > 0 ? templates + 13 : 0).toStdString());
    qputenv("XDG_DATA_HOME", formerDataHome);
    qputenv("XDG_DATA_DIRS", formerDataDirs);
}
BENCHMARK(BM_DiscoveryTemplates)
    ->ArgsProduct({{300}, {0, 300}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace
