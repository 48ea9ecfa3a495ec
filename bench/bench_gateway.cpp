// lonworks-gateway as a whole: the real driver and gateway processes on a private bus (the
// program runs itself under dbus-run-session when no session bus is set) and a real
// mosquitto on a free port, on generated networks opened by path.
//  - BM_PublishLatency/V/C: a device's variable is changed through the simulator's control
//    channel; the time until its new state arrives on the broker, against the driver's poll
//    cycle on that network ((14 + 2V) ticks of 100 ms for V variables), with the gateway
//    collecting every C ms.
//  - BM_GatewayPoints: the gateway's CPU time (share of one core while it collects every
//    second) and resident memory with 1,000 points (100 variables of 10 points), against
//    the same gateway with 10 points: the difference is the cost of 1,000 points.
#include "bench/GeneratedNetwork.h"
#include "bench/PrivateBus.h"
#include "gateway/MqttConnection.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr double kTickMs = 100.0;

void Spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

// Clock ticks of CPU time (user + system) of a process so far.
qint64 CpuTicks(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? fields.at(11).toLongLong() + fields.at(12).toLongLong() : -1;
}

// Resident memory of a process in bytes.
qint64 ResidentBytes(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}

// The driver, a broker, a gateway and a subscriber, for one generated network.
class TRig
{
public:
    ~TRig()
    {
        for (QProcess *process : {&FGateway, &FDriver, &FBroker}) {
            if (process->state() != QProcess::NotRunning) {
                process->terminate();
                if (!process->waitForFinished(15000))
                    process->kill();
                process->waitForFinished(5000);
            }
        }
    }

    bool Start(const TGeneratedNetwork &network, int pointsPerVariable, double collectSeconds)
    {
        if (!FDir.isValid())
            return false;
        const QString description = network.Write(FDir, QStringLiteral("GWBENCH"));
        QDir().mkpath(FDir.filePath(QStringLiteral("control")));
        FPort = FreePort();
        QFile conf(FDir.filePath(QStringLiteral("mosquitto.conf")));
        conf.open(QIODevice::WriteOnly);
        conf.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\npersistence false\n")
                       .arg(FPort).toUtf8());
        conf.close();
        const QString mosquitto = QStandardPaths::findExecutable(QStringLiteral("mosquitto"),
                                                                 {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
        if (mosquitto.isEmpty() || description.isEmpty())
            return false;
        FBroker.start(mosquitto, {QStringLiteral("-c"), conf.fileName()});

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), FDir.filePath(QStringLiteral("data")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), FDir.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("LONSIM_CONTROL"), FDir.filePath(QStringLiteral("control")));
        environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("lonworks.gateway*.info=false"));
        FDriver.setProcessEnvironment(environment);
        FDriver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        FDriver.start(QCoreApplication::applicationDirPath() + QStringLiteral("/lonworks-driver"), {});
        Spin(1500);

        QJsonArray points;
        for (int d = 0; d < network.Devices; ++d)
            for (int v = 0; v < network.Variables; ++v)
                for (int p = 0; p < pointsPerVariable; ++p)
                    points.append(QJsonObject{
                        {QStringLiteral("address"), QStringLiteral("0:%1:%2:%3:0:%4:0:0").arg(1 + d / 100).arg(1 + d % 100).arg(v).arg(p)},
                        {QStringLiteral("name"), QStringLiteral("d%1v%2p%3").arg(d).arg(v).arg(p)}});
        FPoints = int(points.size());
        const QJsonObject config{
            {QStringLiteral("broker"), QJsonObject{{QStringLiteral("url"), QStringLiteral("mqtt://127.0.0.1:%1").arg(FPort)},
                                                   {QStringLiteral("clientId"), QStringLiteral("bench")}}},
            {QStringLiteral("topicPrefix"), QStringLiteral("bench")},
            {QStringLiteral("collectSeconds"), collectSeconds},
            {QStringLiteral("sites"), QJsonArray{QJsonObject{{QStringLiteral("description"), QStringLiteral("Bench")},
                                                             {QStringLiteral("interface"), description},
                                                             {QStringLiteral("points"), points}}}}};
        QFile file(FDir.filePath(QStringLiteral("gateway.json")));
        file.open(QIODevice::WriteOnly);
        file.write(QJsonDocument(config).toJson());
        file.close();

        TMqttSettings settings;
        settings.Port = FPort;
        settings.ClientId = QStringLiteral("bench-subscriber");
        settings.ReconnectMinMs = 100;
        settings.ReconnectMaxMs = 500;
        FSubscriber = std::make_unique<TMqttConnection>(settings);
        QObject::connect(FSubscriber.get(), &TMqttConnection::Connected, FSubscriber.get(), [this] {
            FSubscriber->Subscribe(QStringLiteral("bench/Bench/+/state"), 1);
        });
        QObject::connect(FSubscriber.get(), &TMqttConnection::MessageReceived, FSubscriber.get(),
                         [this](const QString &topic, const QByteArray &payload) {
                             FStates.insert(topic.section(u'/', 2, 2), QString::fromUtf8(payload));
                             ++FMessages;
                         });
        FSubscriber->Start();

        FGateway.setProcessEnvironment(environment);
        FGateway.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        FGateway.start(QCoreApplication::applicationDirPath() + QStringLiteral("/lonworks-gateway"),
                       {QStringLiteral("--config"), file.fileName()});
        return FGateway.waitForStarted(10000);
    }

    // Waits until every point has a state on the broker.
    bool AwaitAllStates(int ms)
    {
        QElapsedTimer clock;
        clock.start();
        while (FStates.size() < FPoints && clock.elapsed() < ms)
            Spin(50);
        return FStates.size() >= FPoints;
    }

    // Writes control lines; the driver reads them on its next network call.
    void Control(const QString &line)
    {
        const QString name = QStringLiteral("b%1").arg(++FSequence, 5, 10, QLatin1Char('0'));
        QFile file(FDir.filePath(QStringLiteral("control/") + name + QStringLiteral(".part")));
        file.open(QIODevice::WriteOnly);
        file.write(line.toUtf8() + '\n');
        file.close();
        file.rename(FDir.filePath(QStringLiteral("control/") + name + QStringLiteral(".cmd")));
    }

    QHash<QString, QString> FStates;
    qint64 FMessages = 0;
    int FPoints = 0;
    QProcess FGateway;

private:
    QTemporaryDir FDir;
    QProcess FBroker;
    QProcess FDriver;
    std::unique_ptr<TMqttConnection> FSubscriber;
    int FPort = 0;
    int FSequence = 0;
};

void BM_PublishLatency(benchmark::State &state)
{
    TGeneratedNetwork network;
    network.Devices = 1;
    network.Variables = int(state.range(0));
    network.VariableSize = 2;
    TRig rig;
    if (!rig.Start(network, 1, state.range(1) / 1000.0) || !rig.AwaitAllStates(60000)) {
        state.SkipWithError("the gateway did not publish every point");
        return;
    }
    std::vector<double> latencies;
    int value = 0;
    for (auto _ : state) {
        for (int sample = 0; sample < 8; ++sample) {
            const int variable = sample % network.Variables;
            const QString topic = QStringLiteral("d0v%1p0").arg(variable);
            value = (value + 37) % 250 + 1;
            QElapsedTimer clock;
            clock.start();
            rig.Control(QStringLiteral("set Device0 %1 %2 00").arg(variable).arg(value, 2, 16, QLatin1Char('0')));
            const QString expected = QString::number(value);
            while (rig.FStates.value(topic) != expected && clock.elapsed() < 60000)
                Spin(5);
            latencies.push_back(double(clock.elapsed()));
        }
    }
    const double cycleMs = (14 + 2 * network.Variables) * kTickMs;
    double sum = 0;
    for (double latency : latencies)
        sum += latency;
    const double mean = latencies.empty() ? 0 : sum / double(latencies.size());
    state.counters["cycle_ms"] = cycleMs;
    state.counters["latency_mean_ms"] = mean;
    state.counters["latency_max_ms"] = latencies.empty() ? 0 : *std::max_element(latencies.begin(), latencies.end());
    state.counters["mean_per_cycle"] = mean / cycleMs;
}
BENCHMARK(BM_PublishLatency)->Args({5, 200})->Args({5, 1000})->Args({20, 1000})->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_GatewayPoints(benchmark::State &state)
{
    const int variables = int(state.range(0));
    const int pointsPerVariable = int(state.range(1));
    TGeneratedNetwork network;
    network.Devices = std::max(1, variables / 10);
    network.Variables = std::min(variables, 10);
    network.VariableSize = std::max(2, pointsPerVariable);
    TRig rig;
    if (!rig.Start(network, pointsPerVariable, 1.0) || !rig.AwaitAllStates(120000)) {
        state.SkipWithError("the gateway did not publish every point");
        return;
    }
    const qint64 pid = rig.FGateway.processId();
    const long ticksPerSecond = sysconf(_SC_CLK_TCK);
    for (auto _ : state) {
        const qint64 before = CpuTicks(pid);
        QElapsedTimer clock;
        clock.start();
        Spin(10000);
        const double seconds = clock.elapsed() / 1000.0;
        const double cpuSeconds = double(CpuTicks(pid) - before) / double(ticksPerSecond);
        state.counters["points"] = rig.FPoints;
        state.counters["cpu_percent"] = 100.0 * cpuSeconds / seconds;
        state.counters["rss_MiB"] = double(ResidentBytes(pid)) / (1024.0 * 1024.0);
    }
}
BENCHMARK(BM_GatewayPoints)->Args({10, 1})->Args({100, 10})->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return RunUnderPrivateBus(argc, argv);
    QCoreApplication application(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
