// The bus round trip of GetValue with COMMAND=COMMANDSTATUS against the bus's own
// org.freedesktop.DBus.Peer.Ping to the same driver process: the real lonworks-driver
// started on a private bus (the program runs itself under dbus-run-session when no
// session bus is set). BM_RoundTripRatio times both calls alternately in one run and
// reports their ratio, so load on the machine affects both sides alike.
#include "bench/PrivateBus.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <unistd.h>

#include <vector>

namespace {

const QString kBusName = QStringLiteral("QelLonWorks.QelLonWorksCom");
const QString kDevice = QStringLiteral("QelDevice.IQelDeviceDriver");
QString gObjectPath;

QDBusMessage Call(const QString &path, const QString &interface, const QString &method,
                  const QVariantList &arguments = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(kBusName, path, interface, method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 30000);
}

QDBusMessage GetValue(const QString &request)
{
    return Call(gObjectPath, kDevice, QStringLiteral("GetValue"),
                {QVariant::fromValue(QDBusVariant(QStringList{request}))});
}

QDBusMessage Ping()
{
    return Call(QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"));
}

// A driver object on an offline site, its connect result collected.
bool OpenObject()
{
    const QDBusMessage created = Call(QStringLiteral("/QelLonWorksCom"), QStringLiteral("QelLonWorks.ClassFactory"),
                                      QStringLiteral("CreateInstance"));
    if (created.type() != QDBusMessage::ReplyMessage || created.arguments().isEmpty())
        return false;
    gObjectPath = created.arguments().first().value<QDBusObjectPath>().path();
    const auto list = [](const QStringList &l) { return QVariantList{QVariant::fromValue(QDBusVariant(l))}; };
    Call(gObjectPath, kDevice, QStringLiteral("Setup"), list({QStringLiteral("VERSIONCHECK=1.8")}));
    const QDBusMessage connected = Call(gObjectPath, kDevice, QStringLiteral("Connect"),
                                        list({QStringLiteral("DESCRIPTION=Bench"), QStringLiteral("OFFLINE=TRUE")}));
    GetValue(QStringLiteral("COMMAND=COMMANDSTATUS"));
    return connected.type() == QDBusMessage::ReplyMessage;
}

void BM_PeerPing(benchmark::State &state)
{
    for (auto _ : state)
        if (Ping().type() != QDBusMessage::ReplyMessage)
            state.SkipWithError("Ping failed");
}
BENCHMARK(BM_PeerPing)->Unit(benchmark::kMicrosecond);

void BM_GetValueCommandStatus(benchmark::State &state)
{
    for (auto _ : state)
        if (GetValue(QStringLiteral("COMMAND=COMMANDSTATUS")).type() != QDBusMessage::ReplyMessage)
            state.SkipWithError("GetValue failed");
}
BENCHMARK(BM_GetValueCommandStatus)->Unit(benchmark::kMicrosecond);

void BM_RoundTripRatio(benchmark::State &state)
{
    qint64 pingNs = 0;
    qint64 getValueNs = 0;
    QElapsedTimer timer;
    for (auto _ : state) {
        timer.start();
        Ping();
        pingNs += timer.nsecsElapsed();
        timer.start();
        GetValue(QStringLiteral("COMMAND=COMMANDSTATUS"));
        getValueNs += timer.nsecsElapsed();
    }
    const double n = double(state.iterations());
    state.counters["ping_us"] = double(pingNs) / n / 1000.0;
    state.counters["getvalue_us"] = double(getValueNs) / n / 1000.0;
    state.counters["ratio"] = pingNs > 0 ? double(getValueNs) / double(pingNs) : 0.0;
}
BENCHMARK(BM_RoundTripRatio)->Unit(benchmark::kMicrosecond);

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

    QTemporaryDir dataHome;
    QProcess driver;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    driver.setProcessEnvironment(environment);
    driver.setProcessChannelMode(QProcess::ForwardedChannels);
    driver.start(QCoreApplication::applicationDirPath() + QStringLiteral("/lonworks-driver"), {});
    bool owned = false;
    for (int i = 0; i < 200 && !owned && driver.state() != QProcess::NotRunning; ++i) {
        owned = QDBusConnection::sessionBus().interface()->isServiceRegistered(kBusName).value();
        if (!owned)
            QThread::msleep(50);
    }
    int result = 1;
    if (owned && OpenObject()) {
        benchmark::RunSpecifiedBenchmarks();
        result = 0;
    } else {
        fprintf(stderr, "bench_bus_roundtrip: the driver did not start on the private bus\n");
    }
    benchmark::Shutdown();
    driver.terminate();
    if (!driver.waitForFinished(5000))
        driver.kill();
    driver.waitForFinished(5000);
    return result;
}
