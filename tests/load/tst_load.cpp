// Load: 16 clients, each on a bus connection of its own, four to a site on four sites of
// the POINTS network, start SITETIME, SITESTATUS, POINTVERIFY and GETPOINTSLIST, poll
// COMMANDSTATUS and send points lists, all at once, for LW_LOAD_SECONDS (default 20),
// while a hostile client (THostileClient) sends requests past every limit. Every started
// command must end at its own client with that client's own answer, every abuse must be
// refused, and the driver's resident memory must stay bounded over the steady phase.
// LW_LOAD_CLIENTS, LW_LOAD_SITES and LW_LOAD_HOSTILE set the numbers for a full-size run
// outside CI (docs/performance.md).
#include "DriverClient.h"
#include "DriverProcess.h"
#include "HostileClient.h"
#include "LoadClient.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <memory>
#include <vector>

namespace {

int Setting(const char *name, int fallback)
{
    return qEnvironmentVariableIsSet(name) ? qEnvironmentVariableIntValue(name) : fallback;
}

// VmRSS of a process in KiB (0 when unknown).
qint64 ResidentKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

void RunFor(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        SpinEvents(100);
}

} // namespace

class LoadTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void concurrentClientsKeepTheirOwnResults()
    {
        TDriverProcess driver;
        QVERIFY(driver.Start());
        const int seconds = Setting("LW_LOAD_SECONDS", 20);
        const int kClients = Setting("LW_LOAD_CLIENTS", 16);
        const int kSites = Setting("LW_LOAD_SITES", 4);
        const int kHostile = Setting("LW_LOAD_HOSTILE", 1);

        // Every client connects first, one after another: a Connect takes the site's
        // command slot for its own result.
        std::vector<std::unique_ptr<TDriverClient>> objects;
        std::vector<std::unique_ptr<TLoadClient>> clients;
        for (int id = 0; id < kClients; ++id) {
            const QString name = QStringLiteral("load%1").arg(id);
            QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
            QVERIFY(bus.isConnected());
            objects.push_back(std::make_unique<TDriverClient>(bus));
            TDriverClient &object = *objects.back();
            const int site = id % kSites;
            QVERIFY(object.Open({QStringLiteral("DESCRIPTION=Load%1").arg(site),
                                 QStringLiteral("SP1=" LW_FIXTURES "/networks/points.json")}));
            QStringList connected;
            for (int attempt = 0; attempt < 100 && !TDriverClient::IsFinal(connected); ++attempt) {
                connected = object.WaitForStatus();
                // Another client of the site may still hold the slot with its own result.
                if (!TDriverClient::IsFinal(connected))
                    SpinEvents(50);
            }
            QCOMPARE(connected.value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
            clients.push_back(std::make_unique<TLoadClient>(id, site, bus, object.Path()));
        }

        std::vector<std::unique_ptr<THostileClient>> hostile;
        for (int id = 0; id < kHostile; ++id)
            hostile.push_back(std::make_unique<THostileClient>(
                id, QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("hostile%1").arg(id))));

        const qint64 pid = driver.Process().processId();
        for (auto &client : clients)
            client->Begin();
        for (auto &client : hostile)
            client->Begin();
        // A quarter of the time to warm up (sites' lists, caches, bus buffers), then the
        // steady phase whose start and end memory are compared.
        RunFor(seconds * 1000 / 4);
        const qint64 rssStart = ResidentKiB(pid);
        RunFor(seconds * 1000 * 3 / 4);
        const qint64 rssEnd = ResidentKiB(pid);
        for (auto &client : clients)
            client->Stop();
        for (auto &client : hostile)
            client->Stop();
        const auto idle = [](const auto &list) {
            return std::all_of(list.begin(), list.end(), [](const auto &c) { return c->Idle(); });
        };
        QElapsedTimer drain;
        drain.start();
        while (drain.elapsed() < 30000 && !(idle(clients) && idle(hostile)))
            SpinEvents(50);

        int started = 0, completed = 0, lists = 0, waits = 0;
        QStringList faults;
        for (const auto &client : clients) {
            started += client->Started;
            completed += client->Completed;
            lists += client->ListsSent;
            waits += client->Waits;
            faults += client->Faults;
            QVERIFY2(client->Idle(), "a client's last command never ended");
            QVERIFY2(client->Completed > 0, "a client never got a command through");
        }
        int abuses = 0, refusals = 0;
        for (const auto &client : hostile) {
            abuses += client->Calls;
            refusals += client->Refusals;
            faults += client->Faults;
            QVERIFY2(client->Idle(), "a hostile call never got an answer");
        }
        qInfo("%d clients on %d sites, %d hostile; %d commands started, %d ended, %d points lists, "
              "%d waits; %d hostile calls, %d refused; driver RSS %lld KiB -> %lld KiB",
              kClients, kSites, kHostile, started, completed, lists, waits, abuses, refusals, rssStart, rssEnd);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
        QCOMPARE(completed, started);
        QVERIFY(driver.Process().state() == QProcess::Running);
        // Generous: the steady phase may grow by half or 16 MiB, whichever is more. Under
        // AddressSanitizer freed memory sits in its quarantine, so the resident size says
        // nothing about leaks there (LeakSanitizer checks those instead).
        QVERIFY(rssStart > 0);
#ifndef LW_SANITIZE_BUILD
        QVERIFY2(rssEnd <= rssStart + std::max<qint64>(rssStart / 2, 16 * 1024),
                 qPrintable(QStringLiteral("%1 KiB -> %2 KiB").arg(rssStart).arg(rssEnd)));
#endif
        for (auto &object : objects)
            QVERIFY(object->Release());
    }
};

QTEST_GUILESS_MAIN(LoadTest)
#include "tst_load.moc"
